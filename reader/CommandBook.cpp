#include "reader/CommandBook.h"

#include <algorithm>

namespace velkar {

using Journal::Operation;
using Journal::State;

std::optional<CommandBook::Card> CommandBook::current(qint64 nowMs) const {
    if (!m_card || nowMs - m_cardAtMs > CardPresentMs)
        return std::nullopt;
    return m_card;
}

bool CommandBook::live(const Command& c, qint64 nowMs) const {
    return c.sentAtMs && nowMs - *c.sentAtMs < ConfirmWaitMs;
}

std::vector<CommandBook::Resolution> CommandBook::report(const QString& cardNo, int balance,
                                                         qint64 nowMs) {
    const int previous = m_lastBalance.value(cardNo, -1); // -1: not seen in this run
    m_lastBalance.insert(cardNo, balance);
    m_card = Card{cardNo, balance};
    m_cardAtMs = nowMs;

    std::vector<Resolution> done;
    bool changeTaken = false; // one change of this card pays for one command only
    for (Command& c : m_commands) {
        if (!c.written || c.resolving)
            continue;
        const Journal::Entry& e = c.entry;
        Resolution r{c.key, e, State::Pending, balance, {}};
        if (e.cardNo == cardNo) {
            if (balance == e.balanceExpected)
                r.state = State::Booked;
            else if (balance == e.balanceBefore)
                r.state = live(c, nowMs) ? State::Pending : State::NotExecuted;
            else
                r.state = State::Mismatch;
        } else if (!changeTaken && live(c, nowMs) && previous >= 0 && previous != balance) {
            // The frame carries no card number: a card swapped in while it went out is the
            // one the reader changed. Known by exactly the command's effect on its balance.
            const int effect = e.operation == Operation::Recharge
                                   ? previous + (e.balanceExpected - e.balanceBefore)
                                   : 0;
            const bool saturated = effect > MaxBalance && balance == MaxBalance;
            if (balance == effect || saturated) {
                Journal::Entry there = e;
                there.id = 0;
                there.cardNo = cardNo;
                there.balanceBefore = previous;
                there.balanceExpected = balance;
                if (e.operation == Operation::Clear)
                    there.amount = previous / 10;
                r.state = State::NotExecuted;
                r.seen = e.balanceBefore; // what the command's own card is taken to hold
                if (saturated) {
                    there.balanceExpected = MaxBalance;
                    r.elsewhereState = State::Mismatch;
                }
                r.elsewhere = there;
                changeTaken = true;
            }
        }
        if (r.state != State::Pending) {
            c.resolving = true;
            done.push_back(std::move(r));
        }
    }
    return done;
}

CommandBook::Refusal CommandBook::reserve(Journal::Entry& entry, qint64 nowMs, std::uint64_t* key) {
    const std::optional<Card> card = current(nowMs);
    if (!card)
        return Refusal::NoCard;
    // One command at a time: the reader may carry a command out on whatever card it holds,
    // so a second one before the first is known would be booked against the wrong balance.
    for (const Command& c : m_commands)
        if (!c.resolving && (c.entry.cardNo == card->cardNo || live(c, nowMs) || !c.written))
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
    m_commands.push_back({*key, entry, nowMs, false, false});
    return Refusal::None;
}

void CommandBook::written(std::uint64_t key, qint64 id) {
    for (Command& c : m_commands)
        if (c.key == key) {
            c.entry.id = id;
            c.written = true;
        }
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

void CommandBook::load(const std::vector<Journal::Entry>& pending) {
    for (const Journal::Entry& e : pending) {
        const bool known = std::any_of(m_commands.begin(), m_commands.end(),
                                       [&](const Command& c) { return c.entry.id == e.id; });
        if (!known)
            m_commands.push_back({m_nextKey++, e, std::nullopt, true, false});
    }
}

} // namespace velkar
