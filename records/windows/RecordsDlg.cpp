#include "records/windows/RecordsDlg.h"

#include "base/Dialogs.h"
#include "base/Messages.h"
#include "data/AdoConn.h"
#include "data/ArchiveRows.h"
#include "data/Cardholder.h"
#include "data/Schema.h"
#include "data/Text.h"
#include "records/CardLoss.h"
#include "records/CardholderArchive.h"
#include "records/CardholderSheet.h"
#include "records/windows/SheetImportDlg.h"
#include "reports/Export.h"
#include "reports/TextTableModel.h"
#include "reports/windows/RecordList.h"

#include "ui_RecordsDlg.h"

#include <QCollator>
#include <QDir>
#include <QHeaderView>
#include <QKeyEvent>

namespace velkar {

namespace {

// The list is headed by the table's own column names.
const QStringList& ListHeaders = Schema::CardholderColumns;
const QList<int> ListWidths{60, 60, 60, 125, 110, 150};
constexpr int CardNumberColumn = 1;

// Says why when one of `texts` can't be stored, or searched for, as it was typed.
bool refusedAsUnstorable(Dialogs& dialogs, QObject* owner,
                         std::initializer_list<const QString*> texts) {
    for (const QString* text : texts) {
        if (!IsStorableText(*text)) {
            dialogs.plain(UnstorableTextMessage, owner);
            return true;
        }
    }
    return false;
}

} // namespace

CRecordsDlg::CRecordsDlg(Dialogs& dialogs, QString account, QWidget* parent)
    : QDialog(parent), ui(std::make_unique<Ui::CRecordsDlg>()), m_dialogs(dialogs),
      m_account(std::move(account)), m_store(&dialogs),
      m_model(new TextTableModel(ListHeaders, {0, 1, 2, 3, 4, 5}, this)) {
    ui->setupUi(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    setWindowFlag(Qt::WindowMaximizeButtonHint, true);
    StyleRecordList(ui->recordList);
    ui->recordList->setModel(m_model);
    WidenColumnsWithList(ui->recordList, ListWidths);

    // The field list is sorted as the user's locale sorts; nothing is chosen at first.
    QStringList fields = CardholderArchive::SearchFields();
    QCollator collator(QLocale::system());
    std::sort(fields.begin(), fields.end(), collator);
    ui->fieldCombo->addItems(fields);
    ui->fieldCombo->setCurrentIndex(-1);

    FollowCardLinks(ui->recordList, CardNumberColumn, ui->linkText, m_store);
    connect(ui->recordList, &QTableView::clicked, this, &CRecordsDlg::OnListClick);
    connect(ui->addButton, &QPushButton::clicked, this, &CRecordsDlg::OnAdd);
    connect(ui->modifyButton, &QPushButton::clicked, this, &CRecordsDlg::OnModify);
    connect(ui->deleteButton, &QPushButton::clicked, this, &CRecordsDlg::OnDelete);
    connect(ui->lostButton, &QPushButton::clicked, this, &CRecordsDlg::OnReportLost);
    connect(ui->clearButton, &QPushButton::clicked, this, &CRecordsDlg::OnClearFields);
    connect(ui->searchButton, &QPushButton::clicked, this, &CRecordsDlg::OnSearch);
    connect(ui->importButton, &QPushButton::clicked, this, &CRecordsDlg::OnImport);
    connect(ui->exportButton, &QPushButton::clicked, this, &CRecordsDlg::OnExport);

    LoadRecords();
}

CRecordsDlg::~CRecordsDlg() = default;

void CRecordsDlg::UpdateData(bool save) {
    const std::pair<QString*, QLineEdit*> fields[] = {
        {&m_cardSerial, ui->cardSerialEdit},   {&m_cardNumber, ui->cardNumberEdit},
        {&m_holderName, ui->holderNameEdit},   {&m_idNumber, ui->idNumberEdit},
        {&m_holderPhone, ui->holderPhoneEdit}, {&m_address, ui->addressEdit},
        {&m_searchText, ui->searchEdit},
    };
    for (const auto& [value, edit] : fields) {
        if (save)
            *value = edit->text();
        else
            edit->setText(*value);
    }
}

void CRecordsDlg::showTable(std::shared_ptr<const TextTable> table) {
    m_model->setTable(std::move(table));
}

int CRecordsDlg::selectedItem() const {
    const QModelIndexList rows = ui->recordList->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.constFirst().row();
}

// Throws DataError when the list's rows can't be read.
QString CRecordsDlg::listedText(int item, int column) const {
    const TextRows* rows = m_model->rows();
    return item < 0 || !rows ? QString() : rows->text(item, column);
}

QString CRecordsDlg::selectedCardNumber() const {
    return listedText(selectedItem(), CardNumberColumn);
}

QString CRecordsDlg::searchField() const {
    // A field counts only when it was chosen from the list, not typed.
    const int index = ui->fieldCombo->currentIndex();
    if (index < 0)
        return {};
    const QString item = ui->fieldCombo->itemText(index);
    return ui->fieldCombo->currentText() == item ? item : QString();
}

void CRecordsDlg::failed() {
    m_dialogs.plain(Messages::OperationFailed(), this);
}

void CRecordsDlg::LoadRecords() {
    // The whole archive is listed by position; its rows are read as they are shown.
    try {
        m_model->setRows(ArchiveRows::All(m_store.require()));
    } catch (const DataError&) {
        showTable(nullptr);
        failed();
    }
    connect(m_model, &TextTableModel::readFailed, this, &CRecordsDlg::failed, Qt::UniqueConnection);
}

void CRecordsDlg::OnListClick() {
    UpdateData(true); // keeps a search text typed since the last search
    const int item = selectedItem();
    QString* const fields[] = {&m_cardSerial, &m_cardNumber,  &m_holderName,
                               &m_idNumber,   &m_holderPhone, &m_address};
    try {
        for (int c = 0; c < 6; ++c)
            *fields[c] = listedText(item, c);
    } catch (const DataError&) {
        for (QString* field : fields)
            field->clear();
        failed();
    }
    UpdateData(false);
}

bool CRecordsDlg::fieldsRefused(bool serialRequired) {
    for (const QString* field :
         {&m_cardSerial, &m_cardNumber, &m_holderName, &m_idNumber, &m_holderPhone, &m_address}) {
        if (field->isEmpty() && (serialRequired || field != &m_cardSerial)) {
            m_dialogs.plain(Messages::BasicInfoEmpty(), this);
            return true;
        }
    }
    if (refusedAsUnstorable(
            m_dialogs, this,
            {&m_cardSerial, &m_cardNumber, &m_holderName, &m_idNumber, &m_holderPhone, &m_address}))
        return true;
    // Stored as the reader reports the card, so the desk finds its holder.
    const QString cardNo = CardNumberFromTyped(m_cardNumber);
    if (cardNo.isEmpty()) {
        m_dialogs.plain(Messages::CardNoInvalid(m_cardNumber), this);
        return true;
    }
    if (cardNo != m_cardNumber) {
        m_cardNumber = cardNo;
        ui->cardNumberEdit->setText(cardNo);
    }
    return false;
}

ArchiveOutcome
CRecordsDlg::onArchive(const std::function<ArchiveOutcome(CardholderArchive&)>& step) {
    CAdoConn conn(&m_dialogs);
    conn.OpenConnection();
    try {
        CardholderArchive archive(conn.require(), m_account);
        return step(archive);
    } catch (const DataError& e) {
        return ArchiveOutcome::From(e);
    }
}

void CRecordsDlg::OnAdd() {
    UpdateData(true);
    // The card serial is not required for a new cardholder.
    if (fieldsRefused(false))
        return;
    const ArchiveOutcome outcome =
        onArchive([this](CardholderArchive& archive) { return archive.add(fields()); });
    if (!outcome.ok()) {
        m_dialogs.plain(ArchiveMessage(outcome), this);
        return;
    }
    m_dialogs.plain(Messages::AddDone(), this);
    LoadRecords();
}

Cardholder CRecordsDlg::fields() const {
    return {m_cardSerial, m_cardNumber, m_holderName, m_idNumber, m_holderPhone, m_address};
}

bool CRecordsDlg::changeSelected(
    const std::function<ArchiveOutcome(CardholderArchive&, const QString&)>& change) {
    // The selected cardholder is found by its 卡号, whatever the list last showed.
    if (selectedItem() < 0) {
        failed();
        return false;
    }
    QString key;
    try {
        key = selectedCardNumber();
    } catch (const DataError&) {
        failed();
        return false;
    }
    const ArchiveOutcome outcome =
        onArchive([&](CardholderArchive& archive) { return change(archive, key); });
    if (!outcome.ok()) {
        m_dialogs.plain(ArchiveMessage(outcome), this);
        return false;
    }
    return true;
}

void CRecordsDlg::OnModify() {
    UpdateData(true);
    if (fieldsRefused(true))
        return;
    if (!changeSelected([this](CardholderArchive& archive, const QString& key) {
            return archive.change(key, fields());
        }))
        return;
    m_dialogs.plain(Messages::ChangeDone(), this);
    LoadRecords();
}

void CRecordsDlg::OnDelete() {
    if (!changeSelected(
            [](CardholderArchive& archive, const QString& key) { return archive.remove(key); }))
        return;
    m_dialogs.plain(Messages::DeleteDone(), this);
    OnClearFields();
    LoadRecords();
}

void CRecordsDlg::OnReportLost() {
    try {
        const QString cardNo = selectedCardNumber();
        if (cardNo.isEmpty()) {
            failed();
            return;
        }
        ToggleCardLost(m_dialogs, *m_store.require(), cardNo, listedText(selectedItem(), 2),
                       m_account, this);
    } catch (const DataError&) {
        failed();
    }
}

void CRecordsDlg::OnClearFields() {
    UpdateData(true);
    for (QString* field :
         {&m_cardSerial, &m_cardNumber, &m_holderName, &m_idNumber, &m_holderPhone, &m_address})
        field->clear();
    UpdateData(false);
}

void CRecordsDlg::OnSearch() {
    UpdateData(true);
    const QString field = searchField();
    if (field.isEmpty() || m_searchText.isEmpty()) {
        m_dialogs.plain(Messages::SearchEmpty(), this);
        return;
    }
    if (refusedAsUnstorable(m_dialogs, this, {&m_searchText}))
        return;
    // The matches are counted now and read as the list shows them.
    ArchiveListing found;
    try {
        found = CardholderArchive::Search(m_store.require(), field, m_searchText);
    } catch (const DataError& e) {
        found.outcome = ArchiveOutcome::From(e);
    }
    if (!found.outcome.ok()) {
        m_dialogs.plain(ArchiveMessage(found.outcome), this);
        return;
    }
    m_model->setRows(std::move(found.rows));
    UpdateData(false);
}

void CRecordsDlg::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        // Enter searches from the search text and does nothing anywhere else.
        if (focusWidget() == ui->searchEdit)
            OnSearch();
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void CRecordsDlg::OnImport() {
    const QString path = m_dialogs.chooseOpenFile(Messages::SheetFileFilter(),
                                                  QStringLiteral("xlsx"), QDir::homePath());
    if (path.isEmpty())
        return;
    try {
        const std::shared_ptr<Connection> db = m_store.require();
        const CardholderSheet::Preview preview = CardholderSheet::Read(path, *db);
        if (!preview.problem.isEmpty()) {
            m_dialogs.plain(Messages::SheetImportFailed(preview.problem), this);
            return;
        }
        CSheetImportDlg window(preview, this);
        if (window.exec() != QDialog::Accepted)
            return;
        const QString problem = CardholderSheet::Apply(*db, preview, m_account);
        if (!problem.isEmpty()) {
            m_dialogs.plain(Messages::SheetImportFailed(problem), this);
            return;
        }
        m_dialogs.plain(Messages::SheetImportDone(Messages::SheetSummary(
                            preview.added, preview.changed, preview.same, preview.refused)),
                        this);
    } catch (const DataError& e) {
        m_dialogs.plain(Messages::SheetImportFailed(e.description()), this);
        return;
    }
    LoadRecords();
}

void CRecordsDlg::OnExport() {
    const QString path =
        m_dialogs.chooseSaveFile(Export::FileFilter(), QStringLiteral("xlsx"), QDir::homePath());
    if (path.isEmpty())
        return;
    QString problem;
    try {
        problem = CardholderSheet::Export(*m_store.require(), path);
    } catch (const DataError& e) {
        problem = e.description();
    }
    m_dialogs.plain(problem.isEmpty() ? Messages::ExportDone() : Messages::ExportFailed(problem),
                    this);
}

} // namespace velkar
