#include "desk/windows/DeskDlg.h"

#include "base/Clock.h"
#include "base/Dialogs.h"
#include "base/Log.h"
#include "base/Messages.h"
#include "base/Settings.h"
#include "data/AdoConn.h"
#include "data/Audit.h"
#include "data/PagedRows.h"
#include "desk/CardPlans.h"
#include "desk/DeskStatus.h"
#include "desk/windows/AboutDlg.h"
#include "desk/windows/AuditDlg.h"
#include "desk/windows/BackupPromptDlg.h"
#include "desk/windows/CardInitDlg.h"
#include "desk/windows/JournalDlg.h"
#include "reader/LinkState.h"
#include "reader/ReaderLink.h"
#include "records/CardLoss.h"
#include "records/windows/RecordsDlg.h"
#include "reports/TextTableModel.h"
#include "reports/windows/QueryDlg.h"
#include "reports/windows/RecordList.h"
#include "users/Accounts.h"
#include "users/windows/PasswordDlg.h"

#include "res/Pictures.h"
#include "ui_DeskDlg.h"

#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QIcon>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QScreen>
#include <QShortcut>
#include <QStatusBar>
#include <QThread>
#include <QTimer>

namespace velkar {

namespace {

struct ListColumn {
    const char* heading = nullptr;
    Qt::Alignment alignment;
    int width = 0;
};

const ListColumn ListColumns[] = {
    {"卡号", Qt::AlignLeft | Qt::AlignVCenter, 80},
    {"时间", Qt::AlignCenter, 160},
    {"金额", Qt::AlignCenter, 80},
    // A record a correction took back, or a command a correction or a replacement sent.
    {"备注", Qt::AlignCenter, 70},
};

// The function keys of the desk's main road, printed on what they press.
constexpr auto RechargeKey = Qt::Key_F2;
constexpr auto CardListKey = Qt::Key_F3;
constexpr auto ClearKey = Qt::Key_F8;

QString keyName(Qt::Key key) {
    return QKeySequence(key).toString(QKeySequence::NativeText);
}

QSize availableSize(const QWidget& window) {
    const QScreen* screen = window.screen();
    return screen ? screen->availableGeometry().size() : QSize(1024, 768);
}

} // namespace

CDeskDlg::CDeskDlg(Dialogs& dialogs, const Clock& clock, HidBridge& bridge, Session session,
                   QWidget* parent)
    : QDialog(parent), ui(std::make_unique<Ui::CDeskDlg>()), m_dialogs(dialogs), m_clock(clock),
      m_session(std::move(session)), m_bridge(bridge), m_panel(&dialogs, m_session.account),
      m_databaseActions(dialogs, &clock, m_session.account),
      m_shifts(
          dialogs, clock, m_databaseActions, m_session.account,
          [this] { return m_link ? m_link->outstandingCommands() : 0; }, this),
      m_store(&dialogs) {
    LoadPictures();
    ui->setupUi(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setWindowFlag(Qt::WindowMinimizeButtonHint, true);
    setWindowFlag(Qt::WindowMaximizeButtonHint, true);

    m_balanceTimer = m_clock.ticker(TimerBalanceMs, [this] { OnTimer(TIMER_BALANCE); });
    m_clockTimer = m_clock.ticker(TimerClockMs, [this] { OnTimer(TIMER_CLOCK); });

    connect(ui->cardInitButton, &QAbstractButton::clicked, this, &CDeskDlg::OnCardInit);
    connect(ui->recordsButton, &QAbstractButton::clicked, this, &CDeskDlg::OnRecords);
    connect(ui->userManageButton, &QAbstractButton::clicked, this, &CDeskDlg::OnUserManage);
    connect(ui->queryButton, &QAbstractButton::clicked, this, &CDeskDlg::OnQuery);
    connect(ui->backupButton, &QAbstractButton::clicked, this, &CDeskDlg::OnBackup);
    connect(ui->restoreButton, &QAbstractButton::clicked, this, &CDeskDlg::OnRestore);
    connect(ui->exitButton, &QAbstractButton::clicked, this, &CDeskDlg::OnExit);
    connect(ui->shiftButton, &QAbstractButton::clicked, this, &CDeskDlg::OnShift);
    connect(ui->reprintButton, &QPushButton::clicked, this, &CDeskDlg::OnReprint);
    connect(ui->connectButton, &QPushButton::clicked, this, &CDeskDlg::OnConnect);
    connect(ui->rechargeButton, &QPushButton::clicked, this, &CDeskDlg::OnRecharge);
    connect(ui->clearButton, &QPushButton::clicked, this, &CDeskDlg::OnClear);
    connect(ui->lostButton, &QPushButton::clicked, this, &CDeskDlg::OnReportLost);
    connect(ui->replaceButton, &QPushButton::clicked, this, &CDeskDlg::OnReplace);
    connect(ui->correctButton, &QPushButton::clicked, this, &CDeskDlg::OnCorrect);
    connect(ui->closePlanButton, &QPushButton::clicked, this, &CDeskDlg::OnClosePlan);
    connect(ui->profileButton, &QPushButton::clicked, this, &CDeskDlg::OnProfileUpdate);
    ui->recordList->viewport()->installEventFilter(this);

    m_link = std::make_unique<ReaderLink>(m_bridge, m_clock, Schema::DatabaseLocation(),
                                          m_session.account);
    ReaderLink* link = m_link.get();
    connect(link, &ReaderLink::cardReported, this, &CDeskDlg::showCard);
    connect(link, &ReaderLink::statusShown, this, &CDeskDlg::showStatus);
    connect(link, &ReaderLink::portListed, this, &CDeskDlg::showPortListed);
    connect(link, &ReaderLink::messageShown, this, &CDeskDlg::showMessage);
    connect(link, &ReaderLink::cardholderFound, this, &CDeskDlg::showCardholder);
    connect(link, &ReaderLink::cardRecordsChanged, this, &CDeskDlg::showCardRecords);
    connect(link, &ReaderLink::outcomeReported, this, &CDeskDlg::showOutcome);
    connect(link, &ReaderLink::planReported, this, &CDeskDlg::showPlan);
    link->announceWaiting();
    OnInitDialog();
    setUpCustomerPanel();
    setUpKeys();
    setUpStatusBar();
    resize(DefaultDeskSize(availableSize(*this), minimumSizeHint()));
    readyForAmount();
}

CDeskDlg::~CDeskDlg() {
    // The clock tick reaches into the link being taken down: it stops first.
    m_clockTimer->stop();
    m_link.reset();
}

void CDeskDlg::OnInitDialog() {
    UpdateData(false);
    // The about entry is offered by the window's context menu (contextMenuEvent).
    setWindowIcon(QIcon(QStringLiteral(":/icons/velkar.png")));
    // The link starts closed and follows device arrivals and removals from here on.
    m_link->startWatching();

    const std::pair<CPictureButton*, const char*> pictures[] = {
        {ui->cardInitButton, "card_init"}, {ui->userManageButton, "user_manage"},
        {ui->queryButton, "query"},        {ui->backupButton, "backup"},
        {ui->restoreButton, "restore"},    {ui->exitButton, "exit"},
        {ui->recordsButton, "records"},    {ui->shiftButton, "shift"},
    };
    for (const auto& [button, name] : pictures)
        button->setPicture(QPixmap(QStringLiteral(":/pictures/%1.png").arg(QLatin1String(name))));

    m_link->findReaderPath();

    QTableView* list = ui->recordList;
    QStringList headings;
    QList<Qt::Alignment> alignments;
    for (const ListColumn& column : ListColumns) {
        headings << QString::fromUtf8(column.heading);
        alignments << column.alignment;
    }
    m_records = new TextTableModel(headings, {0, 1, 2, 3}, this);
    m_records->setAlignments(alignments);
    connect(m_records, &TextTableModel::readFailed, this,
            [this] { m_dialogs.plain(Messages::OperationFailed(), this); });
    list->setModel(m_records);
    for (int c = 0; c < int(std::size(ListColumns)); ++c)
        list->setColumnWidth(c, ListColumns[c].width);
    list->horizontalHeader()->setSectionsMovable(true);
    list->horizontalHeader()->setStretchLastSection(false);
    list->verticalHeader()->setDefaultSectionSize(list->fontMetrics().height() + 6);
    QList<int> widths;
    for (const ListColumn& column : ListColumns)
        widths << column.width;
    WidenColumnsWithList(list, widths);

    LoadCardRecords();
}

void CDeskDlg::setUpCustomerPanel() {
    // Dark digits on white, large enough to read across the counter.
    ui->customerPanel->setStyleSheet(
        QStringLiteral("#customerPanel { background: white; }"
                       "#customerPanel QLabel { color: #102a54; background: transparent; }"));
    QFont digits = font();
    digits.setPointSize(40);
    digits.setBold(true);
    ui->bigBalanceLabel->setFont(digits);
    ui->bigBalanceLabel->setMinimumWidth(
        QFontMetrics(digits).horizontalAdvance(QStringLiteral("6553.5")));
    QFont unit = font();
    unit.setPointSize(20);
    ui->bigBalanceUnit->setFont(unit);
    QFont name = font();
    name.setPointSize(32);
    name.setBold(true);
    ui->bigNameLabel->setFont(name);
    ui->lostLabel->setFont(name);
    // A long name is cut at the panel's edge rather than widening the desk.
    QSizePolicy shared(QSizePolicy::Ignored, QSizePolicy::Preferred);
    shared.setHorizontalStretch(2);
    ui->bigNameLabel->setSizePolicy(shared);
    ui->bigNameLabel->setMinimumWidth(QFontMetrics(name).horizontalAdvance(QStringLiteral("张三")));
    connect(ui->balanceEdit, &QLineEdit::textChanged, this, &CDeskDlg::showBigBalance);
    connect(ui->nameEdit, &QLineEdit::textChanged, ui->bigNameLabel, &QLabel::setText);
    showBigBalance(ui->balanceEdit->text());
    ui->bigNameLabel->setText(ui->nameEdit->text());
}

void CDeskDlg::showBigBalance(const QString& text) {
    ui->bigBalanceLabel->setText(text);
    ui->bigBalanceUnit->setText(text.isEmpty() ? QString() : Messages::YuanUnit());
}

void CDeskDlg::setUpKeys() {
    ui->rechargeButton->setText(
        Messages::WithKey(ui->rechargeButton->text(), keyName(RechargeKey)));
    ui->clearButton->setText(Messages::WithKey(ui->clearButton->text(), keyName(ClearKey)));
    ui->listLabel->setText(Messages::WithKey(Messages::CardRecordsCaption(), keyName(CardListKey)));
    const auto shortcut = [this](Qt::Key key, auto action) {
        connect(new QShortcut(QKeySequence(key), this), &QShortcut::activated, this, action);
    };
    shortcut(RechargeKey, [this] { ui->rechargeButton->click(); });
    shortcut(ClearKey, [this] { ui->clearButton->click(); });
    shortcut(CardListKey, [this] { ui->recordList->setFocus(Qt::ShortcutFocusReason); });
    // Return and the keypad's Enter alike.
    connect(ui->amountEdit, &QLineEdit::returnPressed, ui->rechargeButton, &QPushButton::click);
    // 提示 is read whole: the longest of its texts fits.
    const QFontMetrics metrics = ui->statusEdit->fontMetrics();
    int longest = 0;
    for (const QString& text :
         {Messages::DeviceConnected(0xFFFF, 0xFFFF, 0xFFFF), Messages::DeviceNotConnected(),
          Messages::Waiting(99999), Messages::DeviceArrived(), Messages::DeviceLeft()})
        longest = std::max(longest, metrics.horizontalAdvance(text));
    ui->statusEdit->setMinimumWidth(longest + 2 * metrics.averageCharWidth() + 8);
}

void CDeskDlg::setUpStatusBar() {
    QStatusBar* bar = ui->statusBar;
    const auto field = [bar](const QString& text, int stretch) {
        auto* label = new QLabel(text, bar);
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
        bar->addWidget(label, stretch);
        return label;
    };
    field(Messages::OperatorStatus(m_session.account), 0);
    field(Messages::DeskStatus(Audit::ThisDesk()), 0);
    field(Messages::LedgerStatus(LedgerText(Schema::DatabaseLocation())), 1);
    m_readerState = field(QString(), 0);
    showReaderState();
    // The link says what changed before it sets the flag: the state is read once it is done.
    const auto later = [this] { QTimer::singleShot(0, this, &CDeskDlg::showReaderState); };
    connect(ui->statusEdit, &QLineEdit::textChanged, this, later);
    connect(ui->portCombo, &QComboBox::currentTextChanged, this, later);
}

void CDeskDlg::showReaderState() {
    m_readerState->setText(Messages::ReaderStatus(g_connected != 0));
}

void CDeskDlg::readyForAmount() {
    ui->amountEdit->setFocus(Qt::OtherFocusReason);
    ui->amountEdit->selectAll();
}

void CDeskDlg::rememberSizeIn(Settings& settings) {
    resize(FittedDeskSize(settings.deskSize(), availableSize(*this), minimumSizeHint()));
    connect(this, &QDialog::finished, this, [this, &settings] {
        settings.setDeskSize(isMaximized() ? normalGeometry().size() : size());
    });
}

bool CDeskDlg::UpdateData(bool save) {
    Cardholder& holder = m_panel.fields;
    if (!save) {
        ui->clockEdit->setText(m_timeText);
        ui->serialEdit->setText(holder.cardSerial);
        ui->cardNoEdit->setText(holder.cardNo);
        ui->nameEdit->setText(holder.name);
        ui->phoneEdit->setText(holder.phone);
        ui->balanceEdit->setText(m_balanceText);
        ui->amountEdit->setText(QString::number(m_amount));
        return true;
    }
    m_timeText = ui->clockEdit->text();
    holder.cardSerial = ui->serialEdit->text();
    holder.cardNo = ui->cardNoEdit->text();
    holder.name = ui->nameEdit->text();
    holder.phone = ui->phoneEdit->text();
    m_balanceText = ui->balanceEdit->text();
    // An emptied 金额 holds nothing to charge, as its 0 did.
    const QString typed = ui->amountEdit->text().trimmed();
    bool whole = typed.isEmpty();
    const int amount = whole ? 0 : typed.toInt(&whole, 10);
    if (!whole) {
        m_dialogs.warning(Messages::TypeAnInteger(), this);
        ui->amountEdit->setFocus();
        ui->amountEdit->selectAll();
        return false;
    }
    m_amount = amount;
    return true;
}

// ---- Reader connection, recharge and clear ------------------------------------------------

void CDeskDlg::OnConnect() {
    m_clockTimer->start();
    if (m_link->connect() == ReaderLink::Opened::Failed)
        m_dialogs.warning(Messages::OpenDeviceFailed(), this);
}

void CDeskDlg::OnRecharge() {
    // An amount that is no whole number stops here: nothing is asked of the reader.
    if (!UpdateData(true) || !ledgerUsable())
        return;
    // The amount asked about: another card laid on while the box is open empties 金额.
    const int amount = m_amount;
    std::optional<CommandBook::Card> confirmed;
    if (!confirm(false, amount, &confirmed))
        return;
    m_link->requestRecharge(amount, confirmed);
    readyForAmount();
}

void CDeskDlg::OnClear() {
    if (!UpdateData(true) || !ledgerUsable())
        return;
    std::optional<CommandBook::Card> confirmed;
    if (!confirm(true, 0, &confirmed))
        return;
    m_link->requestClear(confirmed);
    readyForAmount();
}

bool CDeskDlg::confirm(bool clear, int amount, std::optional<CommandBook::Card>* confirmed) {
    // Without a card, or with one reported lost, the link refuses the command by itself, with
    // its own words.
    const std::optional<CommandBook::Card> card = m_link->cardOnReader();
    if (!card || (m_cardLost && m_lookup.holder.cardNo == card->cardNo))
        return true;
    const QString question = CommandQuestion(clear, amount, card->cardNo, card->balance, m_lookup);
    if (question.isEmpty())
        return true;
    if (!m_dialogs.ask(question, this)) {
        readyForAmount();
        return false;
    }
    // The box took its time: the answer holds for the card it named only.
    *confirmed = card;
    return true;
}

bool CDeskDlg::ledgerUsable() {
    if (m_ledgerProblem.isEmpty())
        return true;
    m_dialogs.warning(Messages::LedgerUnsoundNoBooking(m_ledgerProblem), this);
    return false;
}

void CDeskDlg::refuseBookingsFor(const QString& problem) {
    m_ledgerProblem = problem;
}

void CDeskDlg::OnTimer(int id) {
    switch (id) {
    case TIMER_BALANCE:
        m_balanceTimer->stop();
        ui->balanceEdit->clear();
        break;
    case TIMER_CLOCK:
        m_timeText = TimestampText(m_clock.now());
        ui->clockEdit->setText(m_timeText);
        m_link->clockTick();
        break;
    default:
        break;
    }
}

// ---- What the reader link reports ---------------------------------------------------------

void CDeskDlg::showCard(const QString& cardNo, int balance) {
    if (cardNo != m_amountCard) {
        // What was typed and said for the card before belongs to it, not to this one.
        m_amountCard = cardNo;
        forgetAmount();
        ui->statusEdit->clear();
        showRecordsOf(cardNo);
    }
    ui->balanceEdit->setText(BalanceText(balance));
    m_balanceTimer->start();
}

void CDeskDlg::forgetAmount() {
    m_amount = 0;
    ui->amountEdit->clear();
}

void CDeskDlg::showStatus(const QString& text) {
    qCDebug(DeskLog).noquote() << text;
    ui->statusEdit->setText(text);
    ui->statusEdit->setCursorPosition(0); // the start of a long status is what matters
}

void CDeskDlg::showPortListed(bool listed) {
    ui->portCombo->clear();
    if (listed) {
        ui->portCombo->addItem(QStringLiteral("USB"));
        ui->portCombo->setCurrentIndex(0);
    }
}

void CDeskDlg::showMessage(const QString& text) {
    m_dialogs.plain(text, this);
}

void CDeskDlg::showCardholder(const CardholderLookup& lookup) {
    if (!lookup.ok)
        m_dialogs.plain(Messages::OperationFailed(), this);
    fillCardholder(lookup);
}

// The booking read the card's count and total in its own transaction: the list takes them and
// reads its rows only when they are shown, so a booking costs the window thread no statement.
void CDeskDlg::showCardRecords(const Journal::CardTotals& totals, bool ok) {
    if (!ok) {
        m_dialogs.plain(Messages::OperationFailed(), this);
        fillCardRecords({});
        return;
    }
    if (totals.cardNo != m_link->cardNo())
        return; // another card is on the reader by now; its own list stays
    CardRecordPages pages;
    pages.total = totals.total;
    const QString cardNo = totals.cardNo;
    pages.rows = std::make_shared<LazyRows>(totals.count, [this, cardNo] {
        return ReadCardRecordPages(m_store.require(), cardNo).rows;
    });
    fillCardRecords(pages);
}

void CDeskDlg::showOutcome(const CommandOutcome& outcome) {
    if (outcome.kind == CommandOutcome::Kind::Booked) {
        forgetAmount(); // booked: the next customer's amount is typed afresh
        readyForAmount();
    }
    ui->statusEdit->setText(OutcomeStatus(outcome));
    ui->statusEdit->setCursorPosition(0);
    qCDebug(DeskLog).noquote() << "card" << outcome.entry.cardNo << ui->statusEdit->text();
    const QString message = OutcomeMessage(outcome);
    if (!message.isEmpty())
        m_dialogs.plain(message, this);
}

// ---- Recharge list ------------------------------------------------------------------------

void CDeskDlg::LoadCardRecords() {
    LoadCardRecords(m_link->cardNo());
}

// The list reads the rows it shows through the desk's own connection, so that a card with any
// number of records costs what is on the screen.
void CDeskDlg::LoadCardRecords(const QString& cardNo) {
    std::optional<CardRecordPages> records;
    try {
        records = ReadCardRecordPages(m_store.require(), cardNo);
    } catch (const DataError&) {
        m_dialogs.plain(Messages::OperationFailed(), this);
    }
    fillCardRecords(records);
}

// Another card's rows under 本卡记录 would be taken for this card's. A ledger that cannot be read
// now empties the list without a box: the status already says so, and cards keep coming.
void CDeskDlg::showRecordsOf(const QString& cardNo) {
    try {
        fillCardRecords(ReadCardRecordPages(m_store.require(), cardNo));
    } catch (const DataError&) {
        fillCardRecords(std::nullopt);
    }
}

void CDeskDlg::fillCardRecords(const std::optional<CardRecordPages>& records) {
    if (!records) {
        m_records->setRows(nullptr);
        // A total of rows that could not be read would be a wrong total.
        ui->totalEdit->clear();
        return;
    }
    m_records->setRows(records->rows);
    ui->totalEdit->setText(QString::number(records->total));
}

void CDeskDlg::OnListClick() {
    UpdateData(false);
}

bool CDeskDlg::eventFilter(QObject* watched, QEvent* event) {
    if (watched == ui->recordList->viewport() && event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton)
        OnListClick();
    return QDialog::eventFilter(watched, event);
}

// ---- Cardholder panel ---------------------------------------------------------------------

void CDeskDlg::fillCardholder(const CardholderLookup& lookup) {
    m_lookup = lookup;
    m_panel.apply(lookup);
    showLost(lookup.lost);
    const Cardholder& holder = m_panel.fields;
    ui->cardNoEdit->setText(holder.cardNo);
    ui->nameEdit->setText(holder.name);
    ui->phoneEdit->setText(holder.phone);
    ui->serialEdit->setText(holder.cardSerial);
}

void CDeskDlg::OnProfileUpdate() {
    const HolderState state = m_panel.state();
    if (state == HolderExisting || state == HolderNew)
        UpdateData(
            true); // the panel's fields come before the amount, so a bad amount only complains
    const ProfileOutcome outcome = m_panel.save();
    switch (outcome) {
    case ProfileOutcome::Reset:
        ResetPanel();
        break;
    case ProfileOutcome::MissingFields:
    case ProfileOutcome::UnstorableText:
    case ProfileOutcome::InvalidCardNo:
    case ProfileOutcome::Duplicate:
    case ProfileOutcome::Failed:
        m_dialogs.plain(ProfileMessage(outcome, m_panel.fields.cardNo, m_panel.failure()), this);
        break;
    case ProfileOutcome::Updated:
    case ProfileOutcome::Added:
        m_dialogs.warning(ProfileMessage(outcome), this);
        ResetPanel();
        break;
    }
}

void CDeskDlg::ResetPanel() {
    m_panel.reset();
    // The card still on the reader now differs from the panel's, so its next report looks the
    // holder up again.
    m_link->forgetShownCardholder();
    ui->serialEdit->clear();
    ui->cardNoEdit->clear();
    ui->nameEdit->clear();
    ui->phoneEdit->clear();
    showLost(false);
}

void CDeskDlg::showLost(bool lost) {
    m_cardLost = lost;
    ui->lostLabel->setVisible(lost);
    ui->lostButton->setText(lost ? Messages::UnmarkWord() : Messages::ReportLostWord());
}

// 挂失 for the card on the reader, by anyone; 解挂 by the administrator.
void CDeskDlg::OnReportLost() {
    const QString cardNo = ui->cardNoEdit->text();
    if (cardNo.isEmpty() || cardNo != m_link->cardNo()) {
        m_dialogs.plain(Messages::PutCardOnReader(), this);
        return;
    }
    std::optional<bool> lost;
    try {
        lost = ToggleCardLost(m_dialogs, *m_store.require(), cardNo, ui->nameEdit->text(),
                              m_session.account, this);
    } catch (const DataError& e) {
        m_dialogs.plain(Messages::OperationFailedWith(e.description()), this);
    }
    if (!lost)
        return;
    m_link->noteCardLost(cardNo, *lost);
    showLost(*lost);
}

// 补卡 with the new card on the reader; 冲正 of a recharge of the card on the reader.
void CDeskDlg::OnReplace() {
    startPlan(false);
}

void CDeskDlg::OnCorrect() {
    startPlan(true);
}

// 结清 of a replacement or correction that can't go on by itself, on any card of the ledger.
void CDeskDlg::OnClosePlan() {
    if (!administratorOnly() || !ledgerUsable())
        return;
    const PlanRequest request{
        {}, 0, m_session.account, m_link->deskName(), TimestampText(m_clock.now())};
    std::optional<Plans::Plan> closed;
    try {
        closed = AskClosePlan(m_dialogs, *m_store.require(), request, this);
    } catch (const DataError& e) {
        m_dialogs.plain(Messages::OperationFailedWith(e.description()), this);
    }
    if (!closed)
        return;
    m_link->planClosed(closed->cardNo);
    ui->statusEdit->clear();
    LoadCardRecords();
}

void CDeskDlg::startPlan(bool correction) {
    if (!ledgerUsable())
        return;
    const std::optional<CommandBook::Card> card = m_link->cardOnReader();
    if (!card || m_link->checkingCard(card->cardNo)) {
        m_dialogs.plain(Messages::PutCardOnReader(), this);
        return;
    }
    if (m_link->planRunning(card->cardNo)) {
        m_dialogs.plain(Messages::PlanOpenOnCard(card->cardNo), this);
        return;
    }
    const PlanRequest request{card->cardNo, card->balance, m_session.account, m_link->deskName(),
                              TimestampText(m_clock.now())};
    std::optional<Plans::Plan> plan;
    try {
        const Connection& db = *m_store.require();
        plan = correction ? AskCorrection(m_dialogs, db, request, this)
                          : AskReplacement(m_dialogs, db, request, this);
    } catch (const DataError& e) {
        m_dialogs.plain(Messages::OperationFailedWith(e.description()), this);
    }
    if (!plan)
        return;
    // The holder moved to the new card: the panel shows it at once.
    m_link->forgetShownCardholder();
    m_link->startPlan(plan->cardNo);
}

void CDeskDlg::showPlan(const PlanReport& report) {
    ui->statusEdit->setText(PlanReportMessage(report).section(QLatin1Char('\n'), 0, 0));
    ui->statusEdit->setCursorPosition(0);
    m_dialogs.plain(PlanReportMessage(report), this);
    if (report.kind == PlanReport::Kind::Finished) {
        // The record a correction took back is marked done only now.
        LoadCardRecords();
        readyForAmount();
    }
}

// ---- Function buttons ---------------------------------------------------------------------

void CDeskDlg::OnCardInit() {
    if (!g_connected) {
        m_dialogs.notice(Messages::ConnectFirst(), this);
        return;
    }
    // The reader wipes whatever card lies on it once the mode is on: a loaded one goes first.
    if (const auto card = m_link->cardOnReader(); card && card->balance > 0) {
        m_dialogs.warning(Messages::CardInitRefusedLoaded(card->cardNo, card->balance), this);
        return;
    }
    Audit::AppendTo(Schema::DatabaseLocation(), m_session.account, Audit::CardInitEntered, {},
                    m_clock.now());
    CCardInitDlg dialog(*m_link, m_clock, this);
    connect(&dialog, &CCardInitDlg::loadedCard, this, [this](const QString& cardNo, int balance) {
        Audit::AppendTo(Schema::DatabaseLocation(), m_session.account, Audit::CardInitLoaded,
                        Messages::LoadedCardSighted(cardNo, balance), m_clock.now());
        m_dialogs.warning(Messages::LoadedCardInitialised(cardNo, balance), this);
    });
    // Blocks the desk only: cards are laid on the reader (or its simulator) meanwhile.
    dialog.setWindowModality(Qt::WindowModal);
    dialog.exec();
    Audit::AppendTo(Schema::DatabaseLocation(), m_session.account, Audit::CardInitLeft,
                    dialog.round().auditText(dialog.doneCount()), m_clock.now());
}

void CDeskDlg::OnRecords() {
    CRecordsDlg dialog(m_dialogs, m_session.account, this);
    dialog.exec();
}

bool CDeskDlg::administratorOnly() {
    if (!m_session.administrator)
        m_dialogs.notice(Messages::NoAdministratorRights(), this);
    return m_session.administrator;
}

void CDeskDlg::OnUserManage() {
    if (!administratorOnly())
        return;
    CPasswordDlg dialog(m_dialogs, m_session.account, this);
    dialog.exec();
}

void CDeskDlg::OnQuery() {
    CQueryDlg dialog(m_dialogs, m_clock, m_session.account, this);
    dialog.exec();
}

void CDeskDlg::OnBackup() {
    m_databaseActions.BackupDatabase();
}

void CDeskDlg::OnRestore() {
    // A command waiting for its card has its journal row in the file about to be replaced:
    // resolved into another file, it would land on a row that is not its own.
    if (m_link->outstandingCommands() > 0) {
        m_dialogs.notice(Messages::RestoreWhileCommandsWait(), this);
        return;
    }
    m_databaseActions.OnRestore([this] { ledgerReplaced(); });
}

void CDeskDlg::ledgerReplaced() {
    // The restored file is sound: it passed the check before it took the old one's place.
    m_ledgerProblem.clear();
    m_lookup = {};
    ResetPanel();
    ui->statusEdit->clear(); // what it said was of the ledger replaced
    m_link->ledgerReplaced();
    LoadCardRecords();
}

void CDeskDlg::OnExit() {
    close();
}

void CDeskDlg::beginShift(Settings& settings) {
    // Slips follow the bookings the desk is told of, after their commit, on this thread.
    connect(m_link.get(), &ReaderLink::outcomeReported, this,
            [this](const CommandOutcome& outcome) { m_shifts.booked(outcome); });
    m_shifts.begin(settings, ui->statusBar);
    ui->reprintButton->setEnabled(m_shifts.receipts() != nullptr);
}

void CDeskDlg::OnShift() {
    m_shifts.closeShift(true);
    readyForAmount();
}

void CDeskDlg::OnReprint() {
    m_shifts.reprint();
    readyForAmount();
}

void CDeskDlg::OnSysCommand(int command) {
    if ((command & 0xFFF0) == IDM_ABOUTBOX) {
        CAboutDlg about(this);
        about.exec();
    }
}

void CDeskDlg::OnAudit() {
    if (!administratorOnly())
        return;
    CAuditDlg dialog(m_dialogs, this);
    dialog.exec();
}

void CDeskDlg::OnJournal() {
    if (!administratorOnly())
        return;
    CJournalDlg dialog(m_dialogs, this);
    dialog.exec();
}

void CDeskDlg::contextMenuEvent(QContextMenuEvent* event) {
    QMenu menu(this);
    menu.addAction(Messages::JournalMenu(), this, &CDeskDlg::OnJournal);
    menu.addAction(Messages::AuditMenu(), this, &CDeskDlg::OnAudit);
    menu.addAction(Messages::AboutMenu(), this, [this] { OnSysCommand(IDM_ABOUTBOX); });
    menu.exec(event->globalPos());
}

// ---- Closing ------------------------------------------------------------------------------

void CDeskDlg::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        // Enter never ends the desk; in 金额 it charges the amount (setUpKeys).
        if (auto* button = qobject_cast<QAbstractButton*>(focusWidget()))
            button->click();
        return;
    case Qt::Key_Escape:
        close();
        return;
    default:
        QDialog::keyPressEvent(event);
    }
}

void CDeskDlg::closeEvent(QCloseEvent* event) {
    if (!m_exitPrompted) {
        m_exitPrompted = true;
        CBackupPromptDlg prompt([this] { m_databaseActions.BackupDatabase(); }, this);
        if (m_shifts.begun())
            prompt.offerHandOver([this] { return m_shifts.closeShift(false); });
        if (prompt.exec() != QDialog::Accepted) {
            // 取消 or Escape: back to the desk, and the prompt comes again next time.
            m_exitPrompted = false;
            event->ignore();
            readyForAmount();
            return;
        }
        Audit::AppendTo(Schema::DatabaseLocation(), m_session.account, Audit::LeaveDesk, {},
                        m_clock.now());
        m_shifts.atExit();
    }
    QDialog::closeEvent(event);
}

} // namespace velkar
