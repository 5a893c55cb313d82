#pragma once

#include <QString>
#include <QStringList>

namespace velkar {

// The cards laid on the reader while it initialises them, each counted once, in the order
// they came; those that still held a balance are named, since the reader has wiped it.
class CardInitRound {
public:
    enum class Seen { Again, Blank, Loaded };
    // A card report while the mode is on: the balance it held as it was laid on (tenths).
    Seen seen(const QString& cardNo, int balance);

    QStringList cards() const { return m_cards; }
    // What the trail keeps of the round: how many and which, the loaded ones with balances.
    QString auditText(int done) const;

private:
    QStringList m_cards;
    QStringList m_loaded;
};

} // namespace velkar
