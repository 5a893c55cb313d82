#include "reader/CommandOutcome.h"

#include "base/Messages.h"
#include "reader/Frames.h"

namespace velkar {

namespace {

QString bookedText(const Journal::Entry& e) {
    return e.operation == Journal::Operation::Clear ? Messages::ClearDone()
                                                    : Messages::RechargeDone();
}

} // namespace

QString OutcomeStatus(const CommandOutcome& o) {
    switch (o.kind) {
    case CommandOutcome::Kind::Booked:
        return bookedText(o.entry);
    case CommandOutcome::Kind::NotExecuted:
        return Messages::NotExecuted();
    case CommandOutcome::Kind::Mismatch:
        return Messages::BalanceMismatch();
    case CommandOutcome::Kind::Retrying:
        return Messages::BookingRetrying() + QStringLiteral("：") + o.reason;
    }
    return {};
}

QString OutcomeMessage(const CommandOutcome& o) {
    switch (o.kind) {
    case CommandOutcome::Kind::Booked:
        return o.planStep ? QString() : bookedText(o.entry);
    case CommandOutcome::Kind::NotExecuted:
        return {};
    case CommandOutcome::Kind::Mismatch:
        return Messages::MismatchDetails(o.entry.cardNo, BalanceText(o.entry.balanceBefore),
                                         BalanceText(o.entry.balanceExpected), BalanceText(o.seen));
    case CommandOutcome::Kind::Retrying:
        return o.firstFailure ? Messages::BookingRetrying() + QLatin1Char('\n') + o.reason
                              : QString();
    }
    return {};
}

QString PlanReportMessage(const PlanReport& r) {
    if (r.kind == PlanReport::Kind::Finished)
        return r.correction ? Messages::CorrectionFinished(r.cash)
                            : Messages::ReplacementFinished(r.cash);
    const QString head =
        r.correction ? Messages::CorrectionUnfinished() : Messages::ReplacementUnfinished();
    return r.problem.isEmpty() ? head : head + QLatin1Char('\n') + r.problem;
}

} // namespace velkar
