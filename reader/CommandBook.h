#pragma once

#include "data/Journal.h"

#include <QHash>
#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

namespace velkar {

// The commands this desk sent and has not resolved yet, with the rules that resolve them by
// what the reader reports. Bookkeeping only: no thread, no store, no clock of its own; the
// reader link holds it under its lock.
class CommandBook {
public:
    static constexpr qint64 CardPresentMs = 2000; // a card counts as on the reader this long
    static constexpr qint64 ConfirmWaitMs = 5000; // how long the balance before may still show
    static constexpr int MaxBalance = 65535;      // tenths: the most a card holds

    enum class Refusal { None, NoCard, Busy, OverLimit };

    struct Resolution {
        std::uint64_t key = 0;
        Journal::Entry entry; // as sent
        Journal::State state = Journal::State::Pending;
        int seen = 0;
        // The reader carried the command out on another card (swapped in while the frame went
        // out): that card's change, booked in place of the entry.
        std::optional<Journal::Entry> elsewhere;
        // Booked, or Mismatch when that card saturated and took less than the command.
        Journal::State elsewhereState = Journal::State::Booked;
    };

    // The card on the reader now: reported within CardPresentMs.
    struct Card {
        QString cardNo;
        int balance = 0;
    };
    std::optional<Card> current(qint64 nowMs) const;

    // Takes a card report; returns what it resolves. Each command is resolved once.
    std::vector<Resolution> report(const QString& cardNo, int balance, qint64 nowMs);

    // Reserves a command for the card on the reader. `entry` brings the operation, the
    // recharge amount and who sends it; gets the card, its balances and the amount booked.
    Refusal reserve(Journal::Entry& entry, qint64 nowMs, std::uint64_t* key);
    // Its journal row is in the file: from now on a report may resolve it.
    void written(std::uint64_t key, qint64 id);
    // It never went out and has no row: forget it.
    void drop(std::uint64_t key);
    // The frame was not written: resolve it as not executed.
    std::optional<Resolution> failedWrite(std::uint64_t key);
    // The store holds its resolution.
    void resolved(std::uint64_t key);

    // Pending entries from an earlier run (or a desk that ended): resolved by the next report
    // of their card, without a grace time.
    void load(const std::vector<Journal::Entry>& pending);
    int outstanding() const { return int(m_commands.size()); }

private:
    struct Command {
        std::uint64_t key = 0;
        Journal::Entry entry;
        std::optional<qint64> sentAtMs; // none for commands of an earlier run
        bool written = false;
        bool resolving = false;
    };

    bool live(const Command& c, qint64 nowMs) const;

    std::vector<Command> m_commands;
    std::optional<Card> m_card;
    qint64 m_cardAtMs = 0;
    QHash<QString, int> m_lastBalance; // per card, the balance of its latest report
    std::uint64_t m_nextKey = 1;
};

} // namespace velkar
