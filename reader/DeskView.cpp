#include "reader/DeskView.h"

#include "reader/Frames.h"

namespace {

QString bookedText(const Journal::Entry& e) {
    return e.operation == Journal::Operation::Clear ? QStringLiteral("清零成功")
                                                    : QStringLiteral("充值成功");
}

const QString Mismatch = QStringLiteral("卡内余额与预期不符，请核对");
const QString Retrying = QStringLiteral("记账失败，正在重试");

} // namespace

QString OutcomeStatus(const CommandOutcome& o) {
    switch (o.kind) {
    case CommandOutcome::Kind::Booked:
        return bookedText(o.entry);
    case CommandOutcome::Kind::NotExecuted:
        return QStringLiteral("操作未完成，请重试");
    case CommandOutcome::Kind::Mismatch:
        return Mismatch;
    case CommandOutcome::Kind::Retrying:
        return Retrying + QStringLiteral("：") + o.reason;
    }
    return {};
}

QString OutcomeMessage(const CommandOutcome& o) {
    switch (o.kind) {
    case CommandOutcome::Kind::Booked:
        return bookedText(o.entry);
    case CommandOutcome::Kind::NotExecuted:
        return {};
    case CommandOutcome::Kind::Mismatch:
        return QStringLiteral("%1\n卡号：%2\n原余额：%3\n预期余额：%4\n实际余额：%5")
            .arg(Mismatch, o.entry.cardNo, BalanceText(o.entry.balanceBefore),
                 BalanceText(o.entry.balanceExpected), BalanceText(o.seen));
    case CommandOutcome::Kind::Retrying:
        return o.firstFailure ? Retrying + QLatin1Char('\n') + o.reason : QString();
    }
    return {};
}
