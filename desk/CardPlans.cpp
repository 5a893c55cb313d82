#include "desk/CardPlans.h"

#include "base/Dialogs.h"
#include "base/Messages.h"
#include "data/AdoConn.h"
#include "data/CashRule.h"
#include "data/PasswordHash.h"
#include "data/Statements.h"

namespace velkar {

namespace {

Plans::Start startOf(const PlanRequest& r) {
    return {r.account, r.desk, r.at};
}

// A refusal of the ledger is shown, and nothing started.
std::optional<Plans::Plan> shown(Dialogs& dialogs, const QString& problem, const Plans::Plan& plan,
                                 QObject* owner) {
    if (!problem.isEmpty()) {
        dialogs.plain(problem, owner);
        return std::nullopt;
    }
    return plan;
}

} // namespace

bool PasswordMatches(const Connection& connection, const QString& account,
                     const QString& password) {
    Query q(connection, QString::fromUtf8(Statements::AccountPassword));
    q.bind(1, account);
    return q.next() && PasswordHash::Verify(q.text(0), password);
}

std::optional<Plans::Plan> AskReplacement(Dialogs& dialogs, const Connection& connection,
                                          const PlanRequest& request, QObject* owner) {
    const std::vector<Plans::LostCard> lost = Plans::Replaceable(connection);
    if (lost.empty()) {
        dialogs.plain(Messages::NoLostCardToReplace(), owner);
        return std::nullopt;
    }
    QStringList items;
    for (const Plans::LostCard& c : lost)
        items << Messages::LostCardItem(c.cardNo, c.holder,
                                        c.lastBalance ? Messages::YuanText(*c.lastBalance)
                                                      : Messages::BalanceNeverSeen());
    const int picked = dialogs.choose(Messages::PickLostCard(request.cardNo), items, owner);
    if (picked < 0)
        return std::nullopt;
    const Plans::LostCard& old = lost[std::size_t(picked)];
    std::optional<int> entered;
    QString reason;
    int balance = old.lastBalance.value_or(0);
    if (!old.lastBalance) {
        if (request.account != Schema::AccountNames.front()) {
            dialogs.plain(Messages::BalanceUnknown(old.cardNo), owner);
            return std::nullopt;
        }
        const QString typed = dialogs.askText(Messages::EnterLostBalance(old.cardNo), owner);
        if (typed.isEmpty())
            return std::nullopt;
        const std::optional<qint64> tenths = Cash::TenthsFromText(typed);
        if (!tenths || *tenths > 65535) {
            dialogs.plain(Messages::EnteredBalanceWrong(), owner);
            return std::nullopt;
        }
        reason = dialogs.askText(Messages::EnterBalanceReason(old.cardNo), owner);
        if (reason.isEmpty())
            return std::nullopt;
        entered = int(*tenths);
        balance = *entered;
    }
    if (!dialogs.ask(Messages::ConfirmReplacement(old.cardNo, old.holder, request.cardNo, balance),
                     owner))
        return std::nullopt;
    Plans::Plan plan;
    const QString problem = Plans::StartReplacement(connection, old.cardNo, request.cardNo,
                                                    startOf(request), &plan, entered, reason);
    return shown(dialogs, problem, plan, owner);
}

namespace {

// Asks for the administrator's password again; false (told why) when it is not given right.
bool administratorConfirmed(Dialogs& dialogs, const Connection& connection,
                            const PlanRequest& request, const QString& prompt, QObject* owner) {
    if (request.account != Schema::AccountNames.front()) {
        dialogs.plain(Messages::NoAdministratorRights(), owner);
        return false;
    }
    const QString password = dialogs.askPassword(prompt, owner);
    if (password.isEmpty())
        return false;
    if (!PasswordMatches(connection, request.account, password)) {
        dialogs.plain(Messages::WrongAdministratorPassword(), owner);
        return false;
    }
    return true;
}

} // namespace

std::optional<Plans::Plan> AskClosePlan(Dialogs& dialogs, const Connection& connection,
                                        const PlanRequest& request, QObject* owner) {
    if (!administratorConfirmed(dialogs, connection, request, Messages::ClosePlanPassword(), owner))
        return std::nullopt;
    const std::vector<Plans::Plan> open = Plans::OpenPlans(connection);
    if (open.empty()) {
        dialogs.plain(Messages::NoOpenPlan(), owner);
        return std::nullopt;
    }
    QStringList items;
    for (const Plans::Plan& p : open)
        items << (p.kind == Plans::Kind::Replacement
                      ? Messages::OpenReplacementItem(p.cardNo, p.oldCard, p.balance)
                      : Messages::OpenCorrectionItem(p.cardNo, p.amount));
    const int picked = dialogs.choose(Messages::PickPlanToClose(), items, owner);
    if (picked < 0)
        return std::nullopt;
    const Plans::Plan& plan = open[std::size_t(picked)];
    const Plans::Closing closing = Plans::ClosingOf(plan, Plans::CommandsOf(connection, plan));
    if (closing.waiting) {
        dialogs.plain(Messages::PlanCommandWaiting(plan.cardNo), owner);
        return std::nullopt;
    }
    const bool replacement = plan.kind == Plans::Kind::Replacement;
    if (!dialogs.ask(Messages::ConfirmClosePlan(replacement, plan.cardNo, closing.target,
                                                closing.moved, closing.cash, closing.withdrawn,
                                                closing.unknown, closing.astray),
                     owner))
        return std::nullopt;
    Plans::Closing closed;
    const QString problem = Plans::Close(connection, plan, startOf(request), &closed);
    if (!problem.isEmpty()) {
        dialogs.plain(problem, owner);
        return std::nullopt;
    }
    dialogs.plain(Messages::PlanClosedDone(closed.cash), owner);
    return plan;
}

std::optional<Plans::Plan> AskCorrection(Dialogs& dialogs, const Connection& connection,
                                         const PlanRequest& request, QObject* owner) {
    if (!administratorConfirmed(dialogs, connection, request, Messages::AdministratorPassword(),
                                owner))
        return std::nullopt;
    const std::vector<Plans::Correctable> records =
        Plans::CorrectableOf(connection, request.cardNo);
    if (records.empty()) {
        dialogs.plain(Messages::NothingToCorrect(request.cardNo), owner);
        return std::nullopt;
    }
    QStringList items;
    for (const Plans::Correctable& r : records)
        items << Messages::CorrectableItem(r.date, r.amount);
    const int picked =
        dialogs.choose(Messages::PickRechargeToCorrect(request.cardNo), items, owner);
    if (picked < 0)
        return std::nullopt;
    const Plans::Correctable& record = records[std::size_t(picked)];
    // Refused before the question: the question would name a balance below zero.
    if (request.balance < record.amount * 10) {
        dialogs.plain(Messages::CorrectionBelowAmount(request.balance, record.amount), owner);
        return std::nullopt;
    }
    if (!dialogs.ask(Messages::ConfirmCorrection(request.cardNo, record.date, record.amount,
                                                 request.balance),
                     owner))
        return std::nullopt;
    Plans::Plan plan;
    const QString problem = Plans::StartCorrection(connection, request.cardNo, record.recordId,
                                                   request.balance, startOf(request), &plan);
    return shown(dialogs, problem, plan, owner);
}

} // namespace velkar
