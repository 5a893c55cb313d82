#pragma once

#include "data/Journal.h"

#include <QHash>
#include <QSet>
#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

namespace velkar {

// The commands this desk sent and has not resolved yet, with the rules that resolve them by
// what the reader reports. Bookkeeping only: no thread, no store, no clock of its own; the
// reader link holds it under its lock.
//
// A change of a card is booked only when a command explains it: the command's own card shows
// the expected balance after the frame went out, or another card, laid on while the command
// was live and reported in between, changed by exactly the command's effect. A card that
// arrives (first report after it was away) first has the ledger's waiting rows for it
// resolved, whichever desk left them; until then no command goes to it.
class CommandBook {
public:
    static constexpr qint64 CardPresentMs = 2000; // a card counts as on the reader this long
    static constexpr qint64 ConfirmWaitMs = 5000; // how long the balance before may still show
    static constexpr int MaxBalance = 65535;      // tenths: the most a card holds
    // A reader that carried a command out reports the card at once; a card that stays is
    // reported again within this. Longer, and the card may have been away meanwhile.
    static constexpr qint64 FollowUpMs = 250;

    // Checking: the card's waiting rows in the ledger are not resolved yet. Lost: the ledger
    // has the card marked lost. NotConfirmed: the card on the reader is not the one the
    // operator confirmed the command for. Planned: a replacement or correction of the card is
    // open, and only its own commands go to the card until it is done.
    enum class Refusal { None, NoCard, Busy, OverLimit, Checking, Lost, NotConfirmed, Planned };

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

    struct Report {
        std::vector<Resolution> resolved;
        // The card's first report after it was away (or the first at all), or a change of it
        // that no command of this desk explains: the ledger's waiting rows for it are looked
        // up, and the card takes no command until lookedUp().
        bool arrived = false;
    };
    // Takes a card report; returns what it resolves. Each command is resolved once.
    Report report(const QString& cardNo, int balance, qint64 nowMs);

    // Reserves a command for the card on the reader. `entry` brings the operation, the
    // recharge amount and who sends it; gets the card, its balances and the amount booked.
    // With `confirmed`, only that card with that balance takes it.
    // `forPlan`: a step of the card's open plan.
    Refusal reserve(Journal::Entry& entry, qint64 nowMs, std::uint64_t* key,
                    const std::optional<Card>& confirmed = std::nullopt, bool forPlan = false);
    // Its journal row is in the ledger: the frame may go out.
    void written(std::uint64_t key, qint64 id);
    // The frame went out to the reader: from now on a report may resolve it.
    void sent(std::uint64_t key, qint64 nowMs);
    // It never went out and has no row: forget it.
    void drop(std::uint64_t key);
    // The frame was not written: resolve it as not executed.
    std::optional<Resolution> failedWrite(std::uint64_t key);
    // The ledger holds its resolution.
    void resolved(std::uint64_t key);

    // The ledger's waiting rows of the card were resolved (or could not be read and the card
    // left): it takes commands again, unless the ledger has it marked `lost`.
    void lookedUp(const QString& cardNo, bool lost = false);
    // The card was marked lost (or found again) on this desk since its arrival.
    void setLost(const QString& cardNo, bool lost);
    // The card has an open plan in the ledger (or no longer has one).
    void setPlanned(const QString& cardNo, bool planned);
    bool planned(const QString& cardNo) const { return m_planned.contains(cardNo); }
    bool lookingUp(const QString& cardNo) const { return m_lookingUp.contains(cardNo); }
    // The ledger was replaced: every card's next report counts as its arrival, so what the new
    // ledger has waiting for it is looked up before it takes a command. The card on the reader
    // stays current meanwhile.
    void ledgerReplaced();
    // Journal ids of this desk's own unresolved commands: the ledger lookup leaves them alone.
    std::vector<qint64> heldIds() const;
    int outstanding() const { return int(m_commands.size()); }

private:
    struct Command {
        std::uint64_t key = 0;
        Journal::Entry entry;
        qint64 reservedAtMs = 0;
        std::optional<qint64> sentAtMs; // the frame went out
        bool followedUp = false;        // its card was reported within FollowUpMs after that
        bool written = false;
        bool resolving = false;
    };
    struct Sighting {
        int balance = 0;
        qint64 atMs = 0;
        qint64 presentSinceMs = 0; // the start of its stay on the reader
    };

    bool live(const Command& c, qint64 nowMs) const;
    Journal::State ownCard(Command& c, int balance, const Sighting& now, qint64 nowMs) const;
    std::optional<Journal::Entry> swappedIn(const Command& c, const QString& cardNo,
                                            const Sighting& before, int balance) const;

    std::vector<Command> m_commands;
    std::optional<Card> m_card;
    qint64 m_cardAtMs = 0;
    QHash<QString, Sighting> m_sightings; // per card, its latest report
    QSet<QString> m_lookingUp;
    QSet<QString> m_lost; // as the ledger said at the card's last arrival
    QSet<QString> m_planned;
    std::uint64_t m_nextKey = 1;
    bool m_replaced = false; // the ledger was replaced since the last report
};

} // namespace velkar
