#include "desk/DeskStatus.h"

#include "base/Messages.h"
#include "data/Cardholder.h"
#include "reader/Frames.h"

#include <QDir>
#include <QFileInfo>
#include <QUrl>
#include <QUrlQuery>

namespace velkar {

namespace {

// The desk asks for this much and no more: more would only spread the controls apart.
constexpr QSize Preferred(1200, 780);

QString decoded(const QString& text) {
    return QUrl::fromPercentEncoding(text.toUtf8());
}

} // namespace

QString LedgerText(const QString& location) {
    const qsizetype scheme = location.indexOf(QLatin1String("://"));
    if (scheme < 0 || !location.startsWith(QLatin1String("postgres")))
        return QDir::cleanPath(QFileInfo(location).absoluteFilePath());
    QString rest = location.mid(scheme + 3);
    QUrlQuery query;
    if (const qsizetype q = rest.indexOf(QLatin1Char('?')); q >= 0) {
        query.setQuery(rest.mid(q + 1));
        rest.truncate(q);
    }
    QString database;
    if (const qsizetype slash = rest.indexOf(QLatin1Char('/')); slash >= 0) {
        database = decoded(rest.mid(slash + 1));
        rest.truncate(slash);
    }
    QString user;
    if (const qsizetype at = rest.lastIndexOf(QLatin1Char('@')); at >= 0) {
        user = decoded(rest.left(at).section(QLatin1Char(':'), 0, 0));
        rest = rest.mid(at + 1);
    }
    QString host = decoded(rest);
    QString port;
    // A port follows the last colon, unless it is part of a bracketed address.
    if (const qsizetype colon = host.lastIndexOf(QLatin1Char(':'));
        colon >= 0 && !host.startsWith(QLatin1Char('/')) &&
        host.indexOf(QLatin1Char(']')) < colon) {
        port = host.mid(colon + 1);
        host.truncate(colon);
    }
    const auto parameter = [&query](const char* name) {
        return query.queryItemValue(QLatin1String(name), QUrl::FullyDecoded);
    };
    if (host.isEmpty())
        host = parameter("host");
    if (port.isEmpty())
        port = parameter("port");
    if (database.isEmpty())
        database = parameter("dbname");
    if (user.isEmpty())
        user = parameter("user");
    if (database.isEmpty())
        database = user; // the server's own default
    QString server = host.isEmpty() ? Messages::LocalServer()
                     : host.startsWith(QLatin1Char('/'))
                         ? Messages::LocalServer() + QLatin1Char(' ') + host
                         : host;
    if (!port.isEmpty())
        server += QLatin1Char(':') + port;
    return Messages::LedgerOnServer(server, database);
}

QSize DefaultDeskSize(const QSize& available, const QSize& minimum) {
    // A margin of the screen stays free, so that the window's frame is in view too.
    const QSize room(available.width() * 9 / 10, available.height() * 9 / 10);
    return Preferred.boundedTo(room).expandedTo(minimum);
}

QSize FittedDeskSize(const QSize& remembered, const QSize& available, const QSize& minimum) {
    if (!remembered.isValid() || remembered.isEmpty())
        return DefaultDeskSize(available, minimum);
    return remembered.boundedTo(available).expandedTo(minimum);
}

QString CommandQuestion(bool clear, int amount, const QString& cardNo, int tenths,
                        const CardholderLookup& lookup) {
    // An amount the reader link refuses anyway is not worth a question.
    if (!clear && (amount < ConfirmedRechargeYuan || amount > MAX_RECHARGE_YUAN))
        return {};
    QString holder = Messages::HolderNotLookedUp();
    if (lookup.ok && lookup.holder.cardNo == cardNo)
        holder =
            lookup.state == HolderExisting ? lookup.holder.name : Messages::HolderNotRegistered();
    return clear ? Messages::ConfirmClear(cardNo, holder, tenths)
                 : Messages::ConfirmRecharge(cardNo, holder, amount, tenths);
}

} // namespace velkar
