#include "desk/CardInitRound.h"

#include "base/Messages.h"

namespace velkar {

CardInitRound::Seen CardInitRound::seen(const QString& cardNo, int balance) {
    if (m_cards.contains(cardNo))
        return Seen::Again;
    m_cards << cardNo;
    if (balance <= 0)
        return Seen::Blank;
    m_loaded << Messages::CardWithBalance(cardNo, balance);
    return Seen::Loaded;
}

QString CardInitRound::auditText(int done) const {
    QString text = Messages::CardsInitialised(done);
    if (!m_cards.isEmpty())
        text += Messages::InitialisedCards(m_cards.join(QStringLiteral(", ")));
    if (!m_loaded.isEmpty())
        text += Messages::LoadedCardsWiped(m_loaded.join(QStringLiteral(", ")));
    return text;
}

} // namespace velkar
