#include "data/CashRule.h"

#include "base/Messages.h"

#include <QRegularExpression>

namespace velkar {

namespace Cash {

const std::vector<KindRule>& Kinds() {
    static const std::vector<KindRule> kinds{
        {Kind::Recharge, "recharge", Flow::Cash},
        {Kind::Clear, "clear", Flow::Cash},
        // A mistaken recharge taken back: the clear and the recharges that set the card right
        // pay the difference out.
        {Kind::Correction, "correction", Flow::Cash},
        // A lost card's balance carried to its new card: value, not cash.
        {Kind::Replacement, "replacement", Flow::Transfer},
    };
    return kinds;
}

const KindRule& RuleOf(Kind kind) {
    for (const KindRule& rule : Kinds())
        if (rule.kind == kind)
            return rule;
    return Kinds().front();
}

std::optional<Kind> KindFromKey(const QString& key) {
    for (const KindRule& rule : Kinds())
        if (key == QLatin1String(rule.key))
            return rule.kind;
    return std::nullopt;
}

QString KindText(Kind kind) {
    switch (kind) {
    case Kind::Recharge:
        return Messages::RechargeWord();
    case Kind::Clear:
        return Messages::ClearWord();
    case Kind::Correction:
        return Messages::CorrectionWord();
    case Kind::Replacement:
        return Messages::ReplacementWord();
    }
    return {};
}

namespace {

std::optional<Kind> linkedKind(const QString& link) {
    if (link.isEmpty())
        return std::nullopt;
    const std::optional<Kind> kind = KindFromKey(link);
    return kind == Kind::Correction || kind == Kind::Replacement ? kind : std::nullopt;
}

} // namespace

Kind KindOf(const Booking& booking) {
    if (const std::optional<Kind> linked = linkedKind(booking.link))
        return *linked;
    if (booking.operation)
        return *booking.operation == Journal::Operation::Clear ? Kind::Clear : Kind::Recharge;
    // A record booked before the journal is known by its sign alone.
    return booking.amount < 0 ? Kind::Clear : Kind::Recharge;
}

qint64 CashOf(const Booking& booking) {
    return RuleOf(KindOf(booking)).flow == Flow::Cash ? booking.amount * 10 : 0;
}

Kind KindOf(const Payout& payout) {
    return linkedKind(payout.link).value_or(Kind::Correction);
}

qint64 CashOf(const Payout& payout) {
    return -qAbs(payout.tenths);
}

QString YuanText(qint64 tenths) {
    const qint64 whole = (tenths < 0 ? -tenths : tenths);
    return QStringLiteral("%1%2.%3")
        .arg(tenths < 0 ? QStringLiteral("-") : QString())
        .arg(whole / 10)
        .arg(whole % 10);
}

std::optional<qint64> TenthsFromText(const QString& text) {
    static const QRegularExpression money(QStringLiteral("^([0-9]{1,9})(?:\\.([0-9]))?$"));
    const QRegularExpressionMatch m = money.match(text.trimmed());
    if (!m.hasMatch())
        return std::nullopt;
    return m.captured(1).toLongLong() * 10 + m.captured(2).toLongLong();
}

} // namespace Cash

} // namespace velkar
