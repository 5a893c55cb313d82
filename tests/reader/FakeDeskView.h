#pragma once

#include "reader/DeskView.h"

#include <QMutex>
#include <QMutexLocker>
#include <QStringList>

namespace velkar {

// Records what the link shows, from whichever thread, as the desk would after the fact.
class FakeDeskView : public DeskView {
public:
    void showBalance(const QString& text) override { add(balances, text); }
    void showStatus(const QString& text) override { add(statuses, text); }
    void showPortListed(bool listed) override {
        QMutexLocker lock(&mutex);
        portListed = listed;
    }
    void restartBalanceTimer() override {
        QMutexLocker lock(&mutex);
        ++timerRestarts;
    }
    void showMessage(const QString& text) override { add(messages, text); }
    void showCardholder(const CardholderLookup& lookup) override {
        add(lookups, lookup.holder.cardNo);
    }
    void showCardRecords(const QString& cardNo, const std::optional<CardRecordList>&) override {
        add(reloads, cardNo);
    }
    // Outcomes show as the desk would show them: a box where there is one.
    void showOutcome(const CommandOutcome& outcome) override {
        add(statuses, OutcomeStatus(outcome));
        const QString message = OutcomeMessage(outcome);
        if (!message.isEmpty())
            add(messages, message);
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
