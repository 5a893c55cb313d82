#include "data/Cards.h"

#include "base/Clock.h"
#include "base/Messages.h"
#include "data/AdoConn.h"
#include "data/Audit.h"

namespace velkar::Cards {

namespace {

Card read(const Query& q) {
    Card c;
    c.cardNo = q.text(0);
    c.state = q.text(1) == QLatin1String("lost") ? State::Lost : State::Active;
    c.since = q.text(2);
    c.account = q.text(3);
    c.reason = q.text(4);
    c.replacedBy = q.text(5);
    if (!q.isNull(6))
        c.lastBalance = int(q.integer(6));
    c.lastSeenAt = q.text(7);
    c.lastSeenDesk = q.text(8);
    return c;
}

QDateTime orNow(const QDateTime& at) {
    return at.isValid() ? at : QDateTime::currentDateTime();
}

} // namespace

QString StateText(State state) {
    return state == State::Lost ? Messages::CardStateLost() : Messages::CardStateActive();
}

std::optional<Card> Find(const Connection& connection, const QString& cardNo) {
    Query q(connection, QString::fromUtf8(Statements::CardByNumber));
    q.bind(1, cardNo);
    if (!q.next())
        return std::nullopt;
    return read(q);
}

std::vector<Card> List(const Connection& connection, std::optional<State> state) {
    Query q(connection,
            QString::fromUtf8(state ? Statements::CardListOfState : Statements::CardList));
    if (state)
        q.bind(1, *state == State::Lost ? QStringLiteral("lost") : QStringLiteral("active"));
    std::vector<Card> cards;
    while (q.next())
        cards.push_back(read(q));
    return cards;
}

void Seen(const Connection& connection, const QString& cardNo, int balance, const QString& at,
          const QString& desk) {
    Query q(connection, QString::fromUtf8(Statements::CardSeen));
    q.bind(1, cardNo);
    q.bind(2, std::int64_t(balance));
    q.bind(3, at);
    q.bind(4, desk);
    q.next();
}

QString ReportLost(const Connection& connection, const QString& cardNo, const QString& reason,
                   const QString& account, const QString& desk, const QDateTime& at) {
    if (reason.trimmed().isEmpty())
        return Messages::ReasonNeeded();
    Transaction transaction(connection, Transaction::Write);
    {
        Query holder(connection, QString::fromUtf8(Statements::CardholderOf));
        holder.bind(1, cardNo);
        if (!holder.next())
            return Messages::LostNotInArchive(cardNo);
    }
    if (const auto card = Find(connection, cardNo); card && card->state == State::Lost)
        return Messages::AlreadyLost(cardNo);
    const QDateTime when = orNow(at);
    Query q(connection, QString::fromUtf8(Statements::MarkCardLost));
    q.bind(1, cardNo);
    q.bind(2, TimestampText(when));
    q.bind(3, account);
    q.bind(4, reason.trimmed());
    q.next();
    Audit::Append(connection, account, desk, Audit::CardLost,
                  Messages::LostDetails(cardNo, reason.trimmed()), when);
    transaction.commit();
    return {};
}

QString Unmark(const Connection& connection, const QString& cardNo, const QString& account,
               const QString& desk, const QDateTime& at) {
    Transaction transaction(connection, Transaction::Write);
    const auto card = Find(connection, cardNo);
    if (!card || card->state != State::Lost)
        return Messages::NotLost(cardNo);
    const QDateTime when = orNow(at);
    Query q(connection, QString::fromUtf8(Statements::MarkCardActive));
    q.bind(1, cardNo);
    q.bind(2, TimestampText(when));
    q.bind(3, account);
    q.next();
    Audit::Append(connection, account, desk, Audit::CardUnmarked, Messages::UnmarkedDetails(cardNo),
                  when);
    transaction.commit();
    return {};
}

bool Known(const Connection& connection, const QString& cardNo) {
    Query q(connection, QString::fromUtf8(Statements::CardKnown));
    q.bind(1, cardNo);
    return q.next();
}

QString LinkText(const Connection& connection, const QString& cardNo) {
    Query q(connection, QString::fromUtf8(Statements::ReplacementsOfCard));
    q.bind(1, cardNo);
    QStringList parts;
    while (q.next()) {
        const bool replaces = q.text(1) == cardNo;
        const QString other = q.text(replaces ? 0 : 1);
        const QString shown =
            q.text(2) == QLatin1String("open") ? Messages::ReplacementOpenMark(other) : other;
        parts << (replaces ? Messages::ReplacedFrom(shown) : Messages::ReplacedBy(shown));
    }
    return parts.join(QStringLiteral("，"));
}

} // namespace velkar::Cards
