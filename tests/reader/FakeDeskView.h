#pragma once

#include "reader/ReaderLink.h"

#include <QMutex>
#include <QMutexLocker>
#include <QStringList>

namespace velkar {

// Records what the link reports, on whichever thread reports it, as the desk would show it.
class FakeDeskView {
public:
    void attach(ReaderLink& link) {
        const auto direct = Qt::DirectConnection;
        QObject::connect(
            &link, &ReaderLink::cardReported, &link,
            [this](const QString&, int balance) {
                QMutexLocker lock(&mutex);
                balances << BalanceText(balance);
                ++timerRestarts;
            },
            direct);
        QObject::connect(
            &link, &ReaderLink::statusShown, &link, [this](const QString& t) { add(statuses, t); },
            direct);
        QObject::connect(
            &link, &ReaderLink::messageShown, &link, [this](const QString& t) { add(messages, t); },
            direct);
        QObject::connect(
            &link, &ReaderLink::portListed, &link,
            [this](bool listed) {
                QMutexLocker lock(&mutex);
                portListed = listed;
            },
            direct);
        QObject::connect(
            &link, &ReaderLink::cardholderFound, &link,
            [this](const CardholderLookup& l) {
                add(lookups, l.holder.cardNo + (l.lost ? QStringLiteral(" lost") : QString()));
            },
            direct);
        QObject::connect(
            &link, &ReaderLink::cardRecordsChanged, &link,
            [this](const Journal::CardTotals& t, bool) { add(reloads, t.cardNo); }, direct);
        // Outcomes show as the desk would show them: a box where there is one.
        QObject::connect(
            &link, &ReaderLink::outcomeReported, &link,
            [this](const CommandOutcome& outcome) {
                add(statuses, OutcomeStatus(outcome));
                const QString message = OutcomeMessage(outcome);
                if (!message.isEmpty())
                    add(messages, message);
            },
            direct);
        attachPlans(link);
    }

    void attachPlans(ReaderLink& link) {
        QObject::connect(
            &link, &ReaderLink::planReported, &link,
            [this](const PlanReport& r) { add(messages, PlanReportMessage(r)); },
            Qt::DirectConnection);
    }

    template <typename T> T get(const T& member) const {
        QMutexLocker lock(&mutex);
        return member;
    }

    mutable QMutex mutex;
    QStringList balances, statuses, messages, reloads, lookups;
    bool portListed = false;
    int timerRestarts = 0;

private:
    void add(QStringList& list, const QString& text) {
        QMutexLocker lock(&mutex);
        list << text;
    }
};

} // namespace velkar
