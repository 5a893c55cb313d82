#include "reader/CommandBook.h"

#include <algorithm>
#include <utility>

namespace velkar {

using Journal::Operation;
using Journal::State;

std::optional<CommandBook::Card> CommandBook::current(qint64 nowMs) const {
    if (!m_card || nowMs - m_cardAtMs > CardPresentMs)
        return std::nullopt;
    return m_card;
}

bool CommandBook::live(const Command& c, qint64 nowMs) const {
    return nowMs - c.sentAtMs.value_or(c.reservedAtMs) < ConfirmWaitMs;
}

State CommandBook::ownCard(Command& c, int balance, const Sighting& now, qint64 nowMs) const {
    const Journal::Entry& e = c.entry;
    if (!c.sentAtMs)
        return State::Pending; // nothing the card shows can answer a frame not yet out
    const bool stayed = now.presentSinceMs <= *c.sentAtMs;
    if (stayed && nowMs - *c.sentAtMs <= FollowUpMs)
        c.followedUp = true;
    if (balance == e.balanceExpected) {
        // A clear of an empty card changes nothing: only a card reported on and on since the
        // frame went out can have taken it.
        if (e.balanceExpected == e.balanceBefore && !(stayed && c.followedUp))
            return State::NotExecuted;
        return State::Booked;
    }
    if (balance == e.balanceBefore)
        return live(c, nowMs) ? State::Pending : State::NotExecuted;
    return State::Mismatch;
}

std::optional<Journal::Entry> CommandBook::swappedIn(const Command& c, const QString& cardNo,
                                                     const Sighting& before, int balance) const {
    // The frame carries no card number: a card laid on while the command went out, and
    // reported in between, is the one the reader changed. Known by exactly the command's
    // effect on its balance; a report from before the command proves nothing.
    const Journal::Entry& e = c.entry;
    if (!c.sentAtMs || before.atMs < c.reservedAtMs || before.balance == balance)
        return std::nullopt;
    const int effect = e.operation == Operation::Recharge
                           ? before.balance + (e.balanceExpected - e.balanceBefore)
                           : 0;
    const bool saturated = effect > MaxBalance && balance == MaxBalance;
    if (balance != effect && !saturated)
        return std::nullopt;
    Journal::Entry there = e;
    there.id = 0;
    there.cardNo = cardNo;
    there.balanceBefore = before.balance;
    there.balanceExpected = saturated ? MaxBalance : balance;
    if (e.operation == Operation::Clear)
        there.amount = before.balance / 10;
    return there;
}

CommandBook::Report CommandBook::report(const QString& cardNo, int balance, qint64 nowMs) {
    Report out;
    const bool replaced = std::exchange(m_replaced, false);
    out.arrived =
        replaced || !m_card || m_card->cardNo != cardNo || nowMs - m_cardAtMs > CardPresentMs;
    const auto found = m_sightings.constFind(cardNo);
    const std::optional<Sighting> before =
        found == m_sightings.cend() ? std::nullopt : std::optional<Sighting>(*found);
    const Sighting now{balance, nowMs, out.arrived || !before ? nowMs : before->presentSinceMs};
    m_sightings.insert(cardNo, now);
    m_card = Card{cardNo, balance};
    m_cardAtMs = nowMs;
    if (out.arrived)
        m_lookingUp.insert(cardNo);

    bool changeTaken = false; // one change of a card pays for one command only
    for (Command& c : m_commands) {
        if (!c.written || c.resolving)
            continue;
        Resolution r{c.key, c.entry, State::Pending, balance, {}};
        if (c.entry.cardNo == cardNo) {
            r.state = ownCard(c, balance, now, nowMs);
        } else if (!changeTaken && !out.arrived && before && live(c, nowMs)) {
            if (auto there = swappedIn(c, cardNo, *before, balance)) {
                r.state = State::NotExecuted;
                r.seen = c.entry.balanceBefore; // what the command's own card is taken to hold
                const bool saturated = c.entry.operation == Operation::Recharge &&
                                       there->balanceExpected - there->balanceBefore !=
                                           c.entry.balanceExpected - c.entry.balanceBefore;
                if (saturated)
                    r.elsewhereState = State::Mismatch; // the card took less than was sent
                r.elsewhere = std::move(there);
                changeTaken = true;
            }
        }
        if (r.state != State::Pending) {
            c.resolving = true;
            out.resolved.push_back(std::move(r));
        }
    }
    // A change no command of this desk explains was made elsewhere, however briefly the card
    // seemed away: what the ledger holds for the card is looked at again.
    const bool ownCommand = std::any_of(m_commands.begin(), m_commands.end(),
                                        [&](const Command& c) { return c.entry.cardNo == cardNo; });
    if (!out.arrived && before && before->balance != balance && !ownCommand && !changeTaken) {
        out.arrived = true;
        m_lookingUp.insert(cardNo);
    }
    return out;
}

CommandBook::Refusal CommandBook::reserve(Journal::Entry& entry, qint64 nowMs, std::uint64_t* key,
                                          const std::optional<Card>& confirmed, bool forPlan) {
    const std::optional<Card> card = current(nowMs);
    if (!card)
        return Refusal::NoCard;
    // The question named a card and its balance: a card swapped in while it was open, or
    // changed meanwhile, is not what the operator said yes to.
    if (confirmed && (confirmed->cardNo != card->cardNo || confirmed->balance != card->balance))
        return Refusal::NotConfirmed;
    if (m_lookingUp.contains(card->cardNo))
        return Refusal::Checking; // what other desks left for this card comes first
    if (m_lost.contains(card->cardNo))
        return Refusal::Lost;
    if (!forPlan && m_planned.contains(card->cardNo))
        return Refusal::Planned;
    // One command at a time: the reader may carry a command out on whatever card it holds,
    // so a second one before the first is known would be booked against the wrong balance.
    for (const Command& c : m_commands)
        if (!c.resolving &&
            (c.entry.cardNo == card->cardNo || live(c, nowMs) || !c.written || !c.sentAtMs))
            return Refusal::Busy;
    entry.cardNo = card->cardNo;
    entry.balanceBefore = card->balance;
    if (entry.operation == Operation::Recharge) {
        entry.balanceExpected = card->balance + entry.amount * 10;
        if (entry.balanceExpected > MaxBalance)
            return Refusal::OverLimit;
    } else {
        entry.balanceExpected = 0;
        entry.amount = card->balance / 10;
    }
    *key = m_nextKey++;
    m_commands.push_back({*key, entry, nowMs, std::nullopt, false, false});
    return Refusal::None;
}

void CommandBook::written(std::uint64_t key, qint64 id) {
    for (Command& c : m_commands)
        if (c.key == key) {
            c.entry.id = id;
            c.written = true;
        }
}

void CommandBook::sent(std::uint64_t key, qint64 nowMs) {
    for (Command& c : m_commands)
        if (c.key == key)
            c.sentAtMs = nowMs;
}

void CommandBook::drop(std::uint64_t key) {
    std::erase_if(m_commands, [key](const Command& c) { return c.key == key; });
}

std::optional<CommandBook::Resolution> CommandBook::failedWrite(std::uint64_t key) {
    for (Command& c : m_commands)
        if (c.key == key && !c.resolving) {
            c.resolving = true;
            return Resolution{key, c.entry, State::NotExecuted, c.entry.balanceBefore, {}};
        }
    return std::nullopt;
}

void CommandBook::resolved(std::uint64_t key) {
    drop(key);
}

void CommandBook::ledgerReplaced() {
    m_sightings.clear();
    m_replaced = true;
    if (m_card)
        m_lookingUp.insert(m_card->cardNo); // no command before the new ledger was asked
}

void CommandBook::lookedUp(const QString& cardNo, bool lost) {
    m_lookingUp.remove(cardNo);
    setLost(cardNo, lost);
}

void CommandBook::setLost(const QString& cardNo, bool lost) {
    if (lost)
        m_lost.insert(cardNo);
    else
        m_lost.remove(cardNo);
}

void CommandBook::setPlanned(const QString& cardNo, bool planned) {
    if (planned)
        m_planned.insert(cardNo);
    else
        m_planned.remove(cardNo);
}

std::vector<qint64> CommandBook::heldIds() const {
    std::vector<qint64> ids;
    for (const Command& c : m_commands)
        if (c.written)
            ids.push_back(c.entry.id);
    return ids;
}

} // namespace velkar
