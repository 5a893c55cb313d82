#pragma once

#include "reader/DeskView.h"

#include <QMutex>
#include <QMutexLocker>
#include <QStringList>

// Records what the link shows, from whichever thread, as the desk would after the fact. The
// cardholder lookup makes the card the shown one, as the desk's panel does.
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
    void reloadCardRecords(const QString& cardNo) override { add(reloads, cardNo); }
    QString shownCardNo() const override {
        QMutexLocker lock(&mutex);
        return shown;
    }
    void lookupCardholder(const QString& cardNo) override {
        add(lookups, cardNo);
        QMutexLocker lock(&mutex);
        shown = cardNo;
    }

    template <typename T> T get(const T& member) const {
        QMutexLocker lock(&mutex);
        return member;
    }

    mutable QMutex mutex;
    QStringList balances, statuses, messages, reloads, lookups;
    bool portListed = false;
    int timerRestarts = 0;
    QString shown;

private:
    void add(QStringList& list, const QString& text) {
        QMutexLocker lock(&mutex);
        list << text;
    }
};
