#include "desk/windows/AuditDlg.h"

#include "base/Dialogs.h"
#include "base/Messages.h"
#include "data/AdoConn.h"
#include "data/Audit.h"
#include "reports/TextTableModel.h"
#include "reports/windows/RecordList.h"

#include "ui_AuditDlg.h"

#include <QHeaderView>

namespace velkar {

CAuditDlg::CAuditDlg(Dialogs& dialogs, QWidget* parent, QString databasePath, QDate today)
    : QDialog(parent), ui(std::make_unique<Ui::CAuditDlg>()), m_dialogs(dialogs),
      m_path(databasePath.isEmpty() ? Schema::DatabaseLocation() : std::move(databasePath)) {
    ui->setupUi(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    m_model = ShowReviewList(ui->entryList, Audit::ColumnHeadings());

    ui->fromDate->setDate(today);
    ui->toDate->setDate(today);
    // The dates narrow the list only while 日期 is ticked.
    for (QDateEdit* date : {ui->fromDate, ui->toDate}) {
        date->setEnabled(false);
        connect(ui->dateCheck, &QCheckBox::toggled, date, &QWidget::setEnabled);
    }
    ui->accountCombo->addItem(Messages::All(), QString());
    for (const QString& name : Schema::AccountNames)
        ui->accountCombo->addItem(name, name);
    ui->actionCombo->addItem(Messages::All(), QString());
    for (const QString& action : Audit::Actions())
        ui->actionCombo->addItem(action, action);
    connect(ui->refreshButton, &QPushButton::clicked, this, &CAuditDlg::OnRefresh);
    connect(ui->moreButton, &QPushButton::clicked, this, &CAuditDlg::OnMore);
    connect(ui->closeButton, &QPushButton::clicked, this, &QDialog::accept);
    OnRefresh();
}

CAuditDlg::~CAuditDlg() = default;

int CAuditDlg::rowCount() const {
    return m_model->rowCount();
}

QString CAuditDlg::cell(int row, int column) const {
    return m_table ? m_table->text(row, column) : QString();
}

void CAuditDlg::OnRefresh() {
    load(false);
}

void CAuditDlg::OnMore() {
    load(true);
}

void CAuditDlg::load(bool more) {
    Audit::Filter filter;
    if (ui->dateCheck->isChecked()) {
        filter.from = ui->fromDate->date().toString(QStringLiteral("yyyy-MM-dd"));
        filter.to = ui->toDate->date().toString(QStringLiteral("yyyy-MM-dd"));
    }
    filter.account = ui->accountCombo->currentData().toString();
    filter.action = ui->actionCombo->currentData().toString();
    // The model keeps the table it was given; a longer list is a new table.
    auto table = std::make_shared<TextTable>(int(Audit::ColumnHeadings().size()));
    if (more && m_table)
        *table = *m_table;
    else
        m_oldestShown.reset();
    int read = 0;
    try {
        Connection db(m_path);
        const Audit::Entry* after = m_oldestShown ? &*m_oldestShown : nullptr;
        for (const Audit::Entry& entry : Audit::Page(db, filter, after, PageSize)) {
            table->beginRow();
            for (const QString& text : Audit::RowTexts(entry))
                table->addCell(text.toUtf8());
            m_oldestShown = entry;
            ++read;
        }
    } catch (const DataError& e) {
        m_dialogs.plain(Messages::OperationFailedWith(e.description()), this);
    }
    m_table = table;
    m_model->setTable(table);
    if (!more)
        ui->entryList->resizeColumnsToContents();
    ui->moreButton->setEnabled(read == PageSize);
    ui->countLabel->setText(Messages::ShownCount(table->rowCount()));
}

} // namespace velkar
