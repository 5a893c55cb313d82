#include "reader/windows/SimulatorWindow.h"

#include "base/Messages.h"
#include "reader/Frames.h"
#include "reader/SimulatedReader.h"

#include "ui_SimulatorWindow.h"

#include <QRegularExpressionValidator>

namespace velkar {

SimulatorWindow::SimulatorWindow(SimulatedReader& reader, QWidget* parent)
    : QWidget(parent, Qt::Window), m_reader(reader), ui(std::make_unique<Ui::SimulatorWindow>()) {
    ui->setupUi(this);
    ui->cardNoEdit->setValidator(new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("[0-9A-Fa-f]{1,8}")), ui->cardNoEdit));
    ui->remainingSpin->setValue(m_reader.remaining());

    connect(ui->plugButton, &QPushButton::clicked, this, &SimulatorWindow::togglePlugged);
    connect(ui->layButton, &QPushButton::clicked, this, &SimulatorWindow::layCard);
    connect(ui->removeButton, &QPushButton::clicked, this, [this] {
        m_reader.removeCard();
        refresh();
    });
    connect(ui->remainingButton, &QPushButton::clicked, this, [this] {
        m_reader.setRemaining(ui->remainingSpin->value());
        refresh();
    });
    connect(ui->cardNoEdit, &QLineEdit::textChanged, this, [this] {
        ui->layButton->setEnabled(ParseCardNumber(ui->cardNoEdit->text()).has_value());
    });
    connect(&m_refresh, &QTimer::timeout, this, &SimulatorWindow::refresh);
    m_refresh.start(250);
    refresh();
}

SimulatorWindow::~SimulatorWindow() = default;

void SimulatorWindow::togglePlugged() {
    if (m_reader.plugged())
        m_reader.unplug();
    else
        m_reader.plug();
    refresh();
}

void SimulatorWindow::layCard() {
    const auto cardNo = ParseCardNumber(ui->cardNoEdit->text());
    if (!cardNo)
        return;
    m_reader.layCard(*cardNo, std::uint16_t(qRound(ui->balanceSpin->value() * 10)));
    refresh();
}

void SimulatorWindow::refresh() {
    const bool plugged = m_reader.plugged();
    ui->pluggedLabel->setText(Messages::Plugged(plugged));
    ui->plugButton->setText(Messages::PlugAction(plugged));
    const auto card = m_reader.card();
    ui->cardLabel->setText(
        card ? Messages::CardOnReader(CardNumberText(card->cardNo), BalanceText(card->balance))
             : Messages::NoCardOnReader());
    ui->removeButton->setEnabled(card.has_value());
    ui->initModeLabel->setText(Messages::InitMode(m_reader.initMode()));
    ui->remainingCaption->setText(Messages::InitsRemaining(m_reader.remaining()));
}

} // namespace velkar
