#include "records/windows/RecordsDlg.h"

#include "base/Dialogs.h"
#include "base/Messages.h"
#include "data/AdoConn.h"
#include "data/Audit.h"
#include "data/Cardholder.h"
#include "data/PagedRows.h"
#include "data/Schema.h"
#include "data/Text.h"
#include "records/CardLoss.h"
#include "records/CardholderSheet.h"
#include "records/windows/SheetImportDlg.h"
#include "reports/Export.h"
#include "reports/TextTableModel.h"
#include "reports/windows/RecordList.h"
#include "users/Accounts.h"

#include "ui_RecordsDlg.h"

#include <QCollator>
#include <QDir>
#include <QHeaderView>
#include <QKeyEvent>

#include <sqlite3.h>

namespace velkar {

namespace {

// The list is headed by the table's own column names.
const QStringList& ListHeaders = Schema::CardholderColumns;
const QList<int> ListWidths{60, 60, 60, 125, 110, 150};
constexpr int CardNumberColumn = 1;
const QStringList SearchFields{"卡号", "姓名", "身份证", "电话", "地址", "卡序号"};

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

// Reads the six cardholder columns of a statement into a table. Throws DataError.
std::shared_ptr<TextTable> readCardholders(const CAdoConn& conn, const char* sql,
                                           const QString* value = nullptr) {
    Query query(conn.require(), QString::fromUtf8(sql));
    if (value)
        query.bind(1, *value);
    auto table = std::make_shared<TextTable>(int(ListHeaders.size()));
    int length = 0;
    while (query.next()) {
        table->beginRow();
        for (int c = 0; c < table->columnCount(); ++c) {
            const char* bytes = query.utf8(c, &length);
            table->addCell(QByteArrayView(bytes, length));
        }
    }
    return table;
}

} // namespace

CRecordsDlg::CRecordsDlg(Dialogs& dialogs, QWidget* parent)
    : QDialog(parent), ui(new Ui::CRecordsDlg), m_dialogs(dialogs), m_store(&dialogs),
      m_model(new TextTableModel(ListHeaders, {0, 1, 2, 3, 4, 5}, this)) {
    ui->setupUi(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    setWindowFlag(Qt::WindowMaximizeButtonHint, true);
    StyleRecordList(ui->recordList);
    ui->recordList->setModel(m_model);
    WidenColumnsWithList(ui->recordList, ListWidths);

    // The field list is sorted as the user's locale sorts; nothing is chosen at first.
    QStringList fields = SearchFields;
    QCollator collator(QLocale::system());
    std::sort(fields.begin(), fields.end(), collator);
    ui->fieldCombo->addItems(fields);
    ui->fieldCombo->setCurrentIndex(-1);

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

CRecordsDlg::~CRecordsDlg() {
    delete ui;
}

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
        m_model->setRows(std::make_shared<PagedRows>(
            m_store.require(),
            PagedRows::Reads{Statements::CardholderPositions, Statements::CardholderBlock, 6},
            QStringList{}));
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

namespace {

// The row's change and its trail entry commit together.
Transaction writeOn(const CAdoConn& conn) {
    if (!conn.isConnected())
        throw DataError(-4, QStringLiteral("no open database connection"));
    return Transaction(*conn.connection(), Transaction::Write);
}

} // namespace

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

void CRecordsDlg::OnAdd() {
    UpdateData(true);
    // The card serial is not required for a new cardholder.
    if (fieldsRefused(false))
        return;
    CAdoConn conn(&m_dialogs);
    conn.OpenConnection();
    RecordsetPtr rs = conn.OpenRecordset(Statements::CardholderByCardNo, {m_cardNumber});
    try {
        Transaction tx = writeOn(conn);
        rs->AddNew();
        fields().Write(*rs);
        Audit::Append(*conn.connection(), g_account, Audit::ThisDesk(), Audit::CardholderAdded,
                      fields().DetailText());
        tx.commit();
        conn.CloseRecordset();
        conn.CloseConnection();
    } catch (const std::exception&) {
        m_dialogs.plain(Messages::DuplicateCardNo(), this);
        return;
    }
    m_dialogs.plain(Messages::AddDone(), this);
    LoadRecords();
}

Cardholder CRecordsDlg::fields() const {
    return {m_cardSerial, m_cardNumber, m_holderName, m_idNumber, m_holderPhone, m_address};
}

bool CRecordsDlg::changeSelected(
    const std::function<void(Recordset&)>& change,
    const std::function<void(const Connection&, const Cardholder&)>& audit) {
    // The selected cardholder is found by its 卡号, whatever the list last showed.
    const bool selected = selectedItem() >= 0;
    QString key;
    try {
        key = selectedCardNumber();
    } catch (const DataError&) {
        failed();
        return false;
    }
    CAdoConn conn(&m_dialogs);
    conn.OpenConnection();
    RecordsetPtr rs = conn.OpenRecordset(Statements::CardholderByCardNo, {key});
    try {
        if (!selected || rs->IsEOF())
            throw DataError(-2, QStringLiteral("no cardholder selected"));
        Transaction tx = writeOn(conn);
        const Cardholder before = Cardholder::Read(*rs);
        change(*rs);
        audit(*conn.connection(), before);
        tx.commit();
        conn.CloseRecordset();
        conn.CloseConnection();
    } catch (const std::exception&) {
        failed();
        return false;
    }
    return true;
}

void CRecordsDlg::OnModify() {
    UpdateData(true);
    if (fieldsRefused(true))
        return;
    const auto audit = [this](const Connection& db, const Cardholder& before) {
        Audit::Append(db, g_account, Audit::ThisDesk(), Audit::CardholderChanged,
                      Messages::ChangedFromTo(before.DetailText(), fields().DetailText()));
    };
    if (!changeSelected([this](Recordset& row) { fields().Write(row); }, audit))
        return;
    m_dialogs.plain(Messages::ChangeDone(), this);
    LoadRecords();
}

void CRecordsDlg::OnDelete() {
    const auto remove = [](Recordset& row) {
        row.Delete();
        row.Update();
    };
    const auto audit = [](const Connection& db, const Cardholder& before) {
        Audit::Append(db, g_account, Audit::ThisDesk(), Audit::CardholderDeleted,
                      before.DetailText());
    };
    if (!changeSelected(remove, audit))
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
                       g_account, this);
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
    // A card number typed in lower case or with blanks finds the card as it is stored.
    QString searched = m_searchText;
    if (field == ListHeaders[CardNumberColumn]) {
        const QString cardNo = CardNumberFromTyped(m_searchText);
        if (!cardNo.isEmpty())
            searched = cardNo;
    }
    const char* sql = nullptr;
    for (const Statements::CardholderSearch& search : Statements::CardholderSearches)
        if (field == QString::fromUtf8(search.column))
            sql = search.sql;
    CAdoConn conn(&m_dialogs);
    conn.OpenConnection();
    try {
        if (!sql)
            throw DataError(-3, QStringLiteral("unknown search field"));
        showTable(readCardholders(conn, sql, &searched));
    } catch (const DataError&) {
        failed();
    }
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
        const QString problem = CardholderSheet::Apply(*db, preview, g_account);
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
