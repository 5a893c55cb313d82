#include "desk/windows/CardInitDlg.h"

#include "base/Clock.h"
#include "base/Messages.h"
#include "reader/Frames.h"
#include "reader/LinkState.h"
#include "reader/ReaderLink.h"

#include "ui_CardInitDlg.h"

namespace velkar {

CCardInitDlg::CCardInitDlg(ReaderLink& link, const Clock& clock, QWidget* parent)
    : QDialog(parent), ui(std::make_unique<Ui::CCardInitDlg>()), m_link(link),
      m_remaining(std::uint32_t(g_initRemaining.load())) {
    ui->setupUi(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    m_font = QFont(QStringLiteral("宋体"));
    m_font.setPointSize(10);
    for (QWidget* w :
         {static_cast<QWidget*>(ui->doneLabel), static_cast<QWidget*>(ui->remainingLabel),
          static_cast<QWidget*>(ui->doneValue), static_cast<QWidget*>(ui->remainingValue),
          static_cast<QWidget*>(ui->exitButton)})
        w->setFont(m_font);
    ui->instructionLabel->setText(Messages::PlaceNewCard());
    showCounts();
    m_timer = clock.ticker(TimerInitMs, [this] { OnTimer(); });
    connect(&link, &ReaderLink::cardReported, this, &CCardInitDlg::cardLaidOn);
    connect(ui->exitButton, &QPushButton::clicked, this, &CCardInitDlg::OnExit);
}

CCardInitDlg::~CCardInitDlg() = default;

void CCardInitDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (m_entered)
        return;
    m_entered = true;
    m_link.armInitCommand(1); // the desk's clock tick sends it
    m_timer->start();
}

void CCardInitDlg::OnExit() {
    reject();
}

// The close box, Escape and Enter all end here: each of them leaves the mode like 退出.
void CCardInitDlg::done(int result) {
    if (m_entered && !m_left) {
        m_left = true;
        m_link.armInitCommand(0);
    }
    QDialog::done(result);
}

void CCardInitDlg::OnTimer() {
    if (g_initCommand == CMD_INIT_MODE)
        return; // the armed command has not gone out yet
    const auto remaining = std::uint32_t(g_initRemaining.load());
    if (m_remaining > remaining)
        m_done += int(m_remaining - remaining);
    m_remaining = remaining;
    showCounts();
}

void CCardInitDlg::cardLaidOn(const QString& cardNo, int balance) {
    if (!m_entered || m_left)
        return;
    switch (m_round.seen(cardNo, balance)) {
    case CardInitRound::Seen::Again:
        return;
    case CardInitRound::Seen::Blank:
        ui->cardList->addItem(cardNo);
        break;
    case CardInitRound::Seen::Loaded:
        ui->cardList->addItem(Messages::CardWithBalance(cardNo, balance));
        emit loadedCard(cardNo, balance);
        break;
    }
    ui->cardList->scrollToBottom();
}

void CCardInitDlg::showCounts() {
    ui->doneValue->setText(QString::number(m_done));
    ui->remainingValue->setText(QString::number(std::int32_t(m_remaining)));
}

} // namespace velkar
