#pragma once

#include <QString>

// What the reader link needs of the desk window. The receive and send workers call it from
// their own threads; the desk carries each call out on its user-interface thread, in order.
class DeskView {
public:
    virtual ~DeskView() = default;

    virtual void showBalance(const QString& text) = 0; // the balance field; empty blanks it
    virtual void showStatus(const QString& text) = 0;  // the status line
    virtual void showPortListed(bool listed) = 0;      // port list: "USB" selected, or empty
    virtual void restartBalanceTimer() = 0;            // blanks the balance 2 s after the last report
    // A message box owned by the desk; a worker that calls it waits until it is closed.
    virtual void showMessage(const QString& text) = 0;
    // Refill the booked list and its total for the card of the latest report.
    virtual void reloadCardRecords(const QString& cardNo) = 0;
    // The card number the cardholder panel belongs to; a report of another card looks it up.
    virtual QString shownCardNo() const = 0;
    virtual void lookupCardholder(const QString& cardNo) = 0;
};
