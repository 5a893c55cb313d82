#include "data/Plans.h"

#include "base/Clock.h"
#include "base/Messages.h"
#include "data/AdoConn.h"
#include "data/Audit.h"
#include "data/Cards.h"
#include "data/Schema.h"
#include "data/Statements.h"

#include <algorithm>

namespace velkar::Plans {

namespace {

constexpr int MostPerCommand = 1999; // yuan: the most one recharge frame carries
constexpr int MaxBalance = 65535;    // tenths: the most a card holds

QDateTime when(const QString& at) {
    const QDateTime t = TimestampFromText(at);
    return t.isValid() ? t : QDateTime::currentDateTime();
}

Plan readReplacement(const Query& q) {
    Plan p;
    p.kind = Kind::Replacement;
    p.id = q.integer(0);
    p.oldCard = q.text(1);
    p.cardNo = q.text(2);
    p.balance = int(q.integer(3));
    p.done = q.text(4) == QLatin1String("done");
    p.operatorName = q.text(5);
    p.desk = q.text(6);
    p.startedAt = q.text(7);
    p.doneAt = q.text(8);
    return p;
}

Plan readCorrection(const Query& q) {
    Plan p;
    p.kind = Kind::Correction;
    p.id = q.integer(0);
    p.recordId = q.integer(1);
    p.cardNo = q.text(2);
    p.amount = int(q.integer(3));
    p.balance = int(q.integer(4));
    p.done = q.text(5) == QLatin1String("done");
    p.operatorName = q.text(6);
    p.desk = q.text(7);
    p.startedAt = q.text(8);
    p.doneAt = q.text(9);
    return p;
}

std::optional<Plan> one(const Connection& connection, const char* sql, Kind kind,
                        const QString& key) {
    Query q(connection, QString::fromUtf8(sql));
    q.bind(1, key);
    if (!q.next())
        return std::nullopt;
    return kind == Kind::Replacement ? readReplacement(q) : readCorrection(q);
}

bool isAdministrator(const QString& account) {
    return account == Schema::AccountNames.front();
}

} // namespace

QString KindKey(Kind kind) {
    return kind == Kind::Replacement ? QStringLiteral("replacement") : QStringLiteral("correction");
}

Step NextStep(const Plan& plan, const std::vector<Command>& commands, int balance) {
    Step step;
    for (const Command& c : commands) {
        if (c.state == Journal::State::Pending)
            return step; // resolved by the journal's rules first
        if (c.state == Journal::State::Mismatch) {
            // Whether the card took it is not known: going on could pay twice.
            step.what = Step::What::Stop;
            step.problem = Messages::PlanMismatch();
            return step;
        }
        if (c.state == Journal::State::Booked && !c.cardNo.isEmpty() && c.cardNo != plan.cardNo) {
            // The value went to a card laid on in its place: someone has to look at both.
            step.what = Step::What::Stop;
            step.problem = Messages::PlanCommandOnOtherCard(c.cardNo);
            return step;
        }
    }
    int target = plan.balance;
    if (plan.kind == Kind::Correction) {
        const auto clear = std::find_if(commands.begin(), commands.end(), [](const Command& c) {
            return c.operation == Journal::Operation::Clear && c.state == Journal::State::Booked;
        });
        if (clear == commands.end()) {
            // The card's balance as it is now, less the mistake: a card changed elsewhere
            // before the clear is set right from what it holds then.
            if (balance < plan.amount * 10) {
                step.what = Step::What::Stop;
                step.problem = Messages::CorrectionBelowAmount(balance, plan.amount);
                return step;
            }
            step.what = Step::What::Send;
            step.operation = Journal::Operation::Clear;
            step.amount = balance / 10;
            return step;
        }
        target = clear->balanceBefore - plan.amount * 10;
    }
    int booked = 0;
    for (const Command& c : commands)
        if (c.operation == Journal::Operation::Recharge && c.state == Journal::State::Booked)
            booked += c.amount;
    const int remaining = target / 10 - booked;
    if (remaining < 0) {
        step.what = Step::What::Stop;
        step.problem = Messages::PlanMismatch();
        return step;
    }
    if (remaining == 0) {
        step.what = Step::What::Finish;
        step.cash = target % 10;
        return step;
    }
    step.amount = std::min(remaining, MostPerCommand);
    if (balance + step.amount * 10 > MaxBalance) {
        step.what = Step::What::Stop;
        step.problem = Messages::BalanceOverLimit();
        return step;
    }
    step.what = Step::What::Send;
    step.operation = Journal::Operation::Recharge;
    return step;
}

std::optional<Plan> OpenOf(const Connection& connection, const QString& cardNo) {
    if (auto p = one(connection, Statements::OpenReplacementOfCard, Kind::Replacement, cardNo))
        return p;
    return one(connection, Statements::OpenCorrectionOfCard, Kind::Correction, cardNo);
}

std::optional<Plan> ReplacementOfOld(const Connection& connection, const QString& oldCard) {
    return one(connection, Statements::ReplacementOfOldCard, Kind::Replacement, oldCard);
}

std::optional<Plan> ReplacementOfNew(const Connection& connection, const QString& newCard) {
    return one(connection, Statements::ReplacementOfNewCard, Kind::Replacement, newCard);
}

std::optional<Plan> CorrectionOf(const Connection& connection, qint64 recordId) {
    Query q(connection, QString::fromUtf8(Statements::CorrectionOfRecord));
    q.bind(1, recordId);
    if (!q.next())
        return std::nullopt;
    return readCorrection(q);
}

std::vector<Command> CommandsOf(const Connection& connection, const Plan& plan) {
    Query q(connection, QString::fromUtf8(Statements::PlanCommands));
    q.bind(1, KindKey(plan.kind));
    q.bind(2, plan.id);
    std::vector<Command> commands;
    while (q.next()) {
        Command c;
        c.operation = q.text(0) == QLatin1String("clear") ? Journal::Operation::Clear
                                                          : Journal::Operation::Recharge;
        c.amount = int(q.integer(1));
        c.state = Journal::StateFromName(q.text(2)).value_or(Journal::State::Pending);
        c.balanceBefore = int(q.integer(3));
        c.cardNo = q.text(4);
        commands.push_back(c);
    }
    return commands;
}

std::optional<int> CashPaid(const Connection& connection, const Plan& plan) {
    Query q(connection, QString::fromUtf8(Statements::CashPaidOfPlan));
    q.bind(1, KindKey(plan.kind));
    q.bind(2, plan.id);
    if (!q.next())
        return std::nullopt;
    return int(q.integer(0));
}

void Link(const Connection& connection, qint64 journalId, const Plan& plan,
          const Journal::Entry& entry) {
    Query q(connection, QString::fromUtf8(Statements::AddJournalLink));
    q.bind(1, journalId);
    q.bind(2, KindKey(plan.kind));
    q.bind(3, plan.id);
    q.next();
    if (plan.kind == Kind::Correction && entry.operation == Journal::Operation::Clear) {
        Query target(connection, QString::fromUtf8(Statements::SetCorrectionTarget));
        target.bind(1, std::int64_t(entry.balanceBefore - plan.amount * 10));
        target.bind(2, plan.id);
        target.next();
    }
}

void Finish(const Connection& connection, const Plan& plan, int cash, const QString& account,
            const QString& desk, const QString& at) {
    if (cash > 0) {
        Query paid(connection, QString::fromUtf8(Statements::AddCashPaid));
        paid.bind(1, KindKey(plan.kind));
        paid.bind(2, plan.id);
        paid.bind(3, plan.cardNo);
        paid.bind(4, std::int64_t(cash));
        paid.bind(5, account);
        paid.bind(6, desk);
        paid.bind(7, at);
        paid.next();
    }
    const bool replacement = plan.kind == Kind::Replacement;
    Query done(connection, QString::fromUtf8(replacement ? Statements::FinishReplacement
                                                         : Statements::FinishCorrection));
    done.bind(1, at);
    done.bind(2, plan.id);
    done.next();
    QString details;
    if (replacement) {
        details =
            Messages::ReplacementDoneDetails(plan.oldCard, plan.cardNo, plan.balance / 10, cash);
    } else {
        int target = plan.balance;
        for (const Command& c : CommandsOf(connection, plan))
            if (c.operation == Journal::Operation::Clear && c.state == Journal::State::Booked)
                target = c.balanceBefore - plan.amount * 10;
        details = Messages::CorrectionDoneDetails(plan.cardNo, plan.recordId, target, cash);
    }
    Audit::Append(connection, account, desk,
                  replacement ? Audit::ReplacementDone : Audit::CorrectionDone, details, when(at));
}

QString StartReplacement(const Connection& connection, const QString& oldCard,
                         const QString& newCard, const Start& start, Plan* plan,
                         std::optional<int> entered, const QString& reason) {
    Transaction transaction(connection, Transaction::Write);
    const auto lost = Cards::Find(connection, oldCard);
    if (!lost || lost->state != Cards::State::Lost)
        return Messages::NotLostNoReplacement(oldCard);
    if (const auto earlier = ReplacementOfOld(connection, oldCard))
        return Messages::AlreadyReplaced(oldCard, earlier->cardNo);
    if (!lost->replacedBy.isEmpty())
        return Messages::AlreadyReplaced(oldCard, lost->replacedBy);
    if (newCard == oldCard || Cards::Known(connection, newCard) ||
        ReplacementOfNew(connection, newCard))
        return Messages::NewCardKnown(newCard);
    {
        Query holder(connection, QString::fromUtf8(Statements::CardholderOf));
        holder.bind(1, newCard);
        if (holder.next())
            return Messages::NewCardHasHolder(newCard);
    }
    int balance = 0;
    if (lost->lastBalance) {
        balance = *lost->lastBalance; // what a desk saw outweighs what anyone types
    } else {
        if (!entered || !isAdministrator(start.account))
            return Messages::BalanceUnknown(oldCard);
        if (*entered < 0 || *entered > MaxBalance)
            return Messages::EnteredBalanceWrong();
        if (reason.trimmed().isEmpty())
            return Messages::BalanceReasonNeeded();
        balance = *entered;
        Audit::Append(connection, start.account, start.desk, Audit::BalanceEntered,
                      Messages::BalanceEnteredDetails(oldCard, balance, reason.trimmed()),
                      when(start.at));
    }
    qint64 id = 0;
    {
        Query add(connection, QString::fromUtf8(Statements::AddReplacement));
        add.bind(1, oldCard);
        add.bind(2, newCard);
        add.bind(3, std::int64_t(balance));
        add.bind(4, start.account);
        add.bind(5, start.desk);
        add.bind(6, start.at);
        add.next();
        id = add.integer(0);
    }
    {
        Query replaced(connection, QString::fromUtf8(Statements::SetReplacedBy));
        replaced.bind(1, oldCard);
        replaced.bind(2, newCard);
        replaced.next();
    }
    {
        Query move(connection, QString::fromUtf8(Statements::MoveCardholder));
        move.bind(1, oldCard);
        move.bind(2, newCard);
        move.next();
    }
    Audit::Append(connection, start.account, start.desk, Audit::ReplacementStarted,
                  Messages::ReplacementDetails(oldCard, newCard, balance), when(start.at));
    transaction.commit();
    if (plan) {
        *plan = Plan{};
        plan->kind = Kind::Replacement;
        plan->id = id;
        plan->cardNo = newCard;
        plan->oldCard = oldCard;
        plan->balance = balance;
        plan->operatorName = start.account;
        plan->desk = start.desk;
        plan->startedAt = start.at;
    }
    return {};
}

QString StartCorrection(const Connection& connection, const QString& cardNo, qint64 recordId,
                        int balance, const Start& start, Plan* plan) {
    if (!isAdministrator(start.account))
        return Messages::NoAdministratorRights();
    Transaction transaction(connection, Transaction::Write);
    int amount = 0;
    {
        Query record(connection, QString::fromUtf8(Statements::RecordToCorrect));
        record.bind(1, recordId);
        if (!record.next() || record.text(0) != cardNo || record.integer(1) <= 0 ||
            record.text(2) == QLatin1String("clear"))
            return Messages::NotARechargeOfCard(cardNo);
        if (record.integer(3) != 0)
            return Messages::PlanRechargeNotCorrectable();
        amount = int(record.integer(1));
    }
    if (CorrectionOf(connection, recordId))
        return Messages::AlreadyCorrected();
    if (const auto card = Cards::Find(connection, cardNo);
        card && card->state == Cards::State::Lost)
        return Messages::LostCardRefused();
    if (OpenOf(connection, cardNo))
        return Messages::PlanOpenOnCard(cardNo);
    if (balance < amount * 10)
        return Messages::CorrectionBelowAmount(balance, amount);
    qint64 id = 0;
    {
        Query add(connection, QString::fromUtf8(Statements::AddCorrection));
        add.bind(1, recordId);
        add.bind(2, cardNo);
        add.bind(3, std::int64_t(amount));
        add.bind(4, std::int64_t(balance - amount * 10));
        add.bind(5, start.account);
        add.bind(6, start.desk);
        add.bind(7, start.at);
        add.next();
        id = add.integer(0);
    }
    Audit::Append(connection, start.account, start.desk, Audit::CorrectionStarted,
                  Messages::CorrectionDetails(cardNo, recordId, amount, balance), when(start.at));
    transaction.commit();
    if (plan) {
        *plan = Plan{};
        plan->kind = Kind::Correction;
        plan->id = id;
        plan->cardNo = cardNo;
        plan->recordId = recordId;
        plan->amount = amount;
        plan->balance = balance - amount * 10;
        plan->operatorName = start.account;
        plan->desk = start.desk;
        plan->startedAt = start.at;
    }
    return {};
}

Closing ClosingOf(const Plan& plan, const std::vector<Command>& commands) {
    Closing closing;
    closing.target = plan.balance;
    bool cleared = plan.kind == Kind::Replacement;
    for (const Command& c : commands) {
        closing.waiting = closing.waiting || c.state == Journal::State::Pending;
        closing.unknown += c.state == Journal::State::Mismatch ? 1 : 0;
        if (c.state != Journal::State::Booked)
            continue;
        if (!c.cardNo.isEmpty() && c.cardNo != plan.cardNo) {
            closing.astray << c.cardNo;
            continue;
        }
        if (c.operation == Journal::Operation::Clear) {
            cleared = true;
            closing.target = c.balanceBefore - plan.amount * 10;
        } else {
            closing.moved += c.amount * 10;
        }
    }
    if (!cleared) {
        // The card still holds what it held: nothing to make up in cash.
        closing.withdrawn = true;
        closing.target = 0;
        return closing;
    }
    closing.cash = std::max(0, closing.target - closing.moved);
    return closing;
}

std::vector<Plan> OpenPlans(const Connection& connection) {
    std::vector<Plan> plans;
    {
        Query q(connection, QString::fromUtf8(Statements::OpenReplacements));
        while (q.next())
            plans.push_back(readReplacement(q));
    }
    Query q(connection, QString::fromUtf8(Statements::OpenCorrections));
    while (q.next())
        plans.push_back(readCorrection(q));
    return plans;
}

QString Close(const Connection& connection, const Plan& plan, const Start& by, Closing* closing) {
    if (!isAdministrator(by.account))
        return Messages::NoAdministratorRights();
    Transaction transaction(connection, Transaction::Write);
    // Read again under the write lock: a desk may have carried it on meanwhile.
    const std::optional<Plan> open = OpenOf(connection, plan.cardNo);
    if (!open || open->kind != plan.kind || open->id != plan.id)
        return Messages::PlanAlreadyDone();
    const Closing c = ClosingOf(*open, CommandsOf(connection, *open));
    if (c.waiting)
        return Messages::PlanCommandWaiting(open->cardNo);
    if (c.cash > 0) {
        Query paid(connection, QString::fromUtf8(Statements::AddCashPaid));
        paid.bind(1, KindKey(open->kind));
        paid.bind(2, open->id);
        paid.bind(3, open->cardNo);
        paid.bind(4, std::int64_t(c.cash));
        paid.bind(5, by.account);
        paid.bind(6, by.desk);
        paid.bind(7, by.at);
        paid.next();
    }
    const bool replacement = open->kind == Kind::Replacement;
    {
        Query done(connection, QString::fromUtf8(replacement ? Statements::FinishReplacement
                                                             : Statements::FinishCorrection));
        done.bind(1, by.at);
        done.bind(2, open->id);
        done.next();
    }
    Audit::Append(
        connection, by.account, by.desk, Audit::PlanClosed,
        Messages::PlanClosedDetails(replacement, open->cardNo, c.target, c.moved, c.cash, c.astray),
        when(by.at));
    transaction.commit();
    if (closing)
        *closing = c;
    return {};
}

std::vector<Correctable> CorrectableOf(const Connection& connection, const QString& cardNo) {
    Query q(connection, QString::fromUtf8(Statements::CorrectableRecords));
    q.bind(1, cardNo);
    std::vector<Correctable> records;
    while (q.next())
        records.push_back({q.integer(0), q.text(1), int(q.integer(2))});
    return records;
}

std::vector<LostCard> Replaceable(const Connection& connection) {
    Query q(connection, QString::fromUtf8(Statements::ReplaceableCards));
    std::vector<LostCard> cards;
    while (q.next()) {
        LostCard c{q.text(0), q.text(1), std::nullopt};
        if (!q.isNull(2))
            c.lastBalance = int(q.integer(2));
        cards.push_back(c);
    }
    return cards;
}

} // namespace velkar::Plans
