#pragma once

#include "desk/CardInitRound.h"

#include <QDialog>
#include <QFont>

#include <cstdint>
#include <memory>

namespace Ui {
class CCardInitDlg;
}

namespace velkar {

class Clock;
class ReaderLink;
class Ticker;

// Keeps the reader in card-initialisation mode while it is open, counts the cards it
// initialises and lists each as it comes. However it is closed, the reader is told to leave
// the mode. A card that still held a balance is named to the desk (loadedCard).
class CCardInitDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int TIMER_INIT = 4;
    static constexpr int TimerInitMs = 500;

    CCardInitDlg(ReaderLink& link, const Clock& clock, QWidget* parent = nullptr);
    ~CCardInitDlg() override;

    int doneCount() const { return m_done; }
    const CardInitRound& round() const { return m_round; }

    int remainingCount() const { return int(m_remaining); }

signals:
    void loadedCard(const QString& cardNo, int balance);

public slots:
    void OnExit();
    void OnTimer();

    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void showCounts();
    void cardLaidOn(const QString& cardNo, int balance);

    std::unique_ptr<Ui::CCardInitDlg> ui;
    ReaderLink& m_link;
    std::uint32_t m_remaining;
    int m_done = 0;
    QFont m_font;
    std::unique_ptr<Ticker> m_timer;
    bool m_entered = false;
    bool m_left = false;
    CardInitRound m_round;
};

} // namespace velkar
