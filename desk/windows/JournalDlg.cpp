#include "desk/windows/JournalDlg.h"

#include "base/Dialogs.h"
#include "base/Messages.h"
#include "data/AdoConn.h"
#include "data/Journal.h"
#include "reports/TextTableModel.h"
#include "reports/windows/RecordList.h"

#include "ui_JournalDlg.h"

#include <QHeaderView>

namespace velkar {

CJournalDlg::CJournalDlg(Dialogs& dialogs, QWidget* parent, QString databasePath)
    : QDialog(parent), ui(std::make_unique<Ui::CJournalDlg>()), m_dialogs(dialogs),
      m_path(databasePath.isEmpty() ? Schema::DatabaseLocation() : std::move(databasePath)) {
    ui->setupUi(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    m_model = ShowReviewList(ui->entryList, Journal::ColumnHeadings());

    ui->stateCombo->addItem(Messages::All(), QString());
    for (Journal::State state : {Journal::State::Pending, Journal::State::Mismatch,
                                 Journal::State::NotExecuted, Journal::State::Booked})
        ui->stateCombo->addItem(Journal::StateText(state), Journal::StateName(state));
    connect(ui->stateCombo, &QComboBox::currentIndexChanged, this, &CJournalDlg::OnRefresh);
    connect(ui->refreshButton, &QPushButton::clicked, this, &CJournalDlg::OnRefresh);
    connect(ui->closeButton, &QPushButton::clicked, this, &QDialog::accept);
    OnRefresh();
}

CJournalDlg::~CJournalDlg() = default;

int CJournalDlg::rowCount() const {
    return m_model->rowCount();
}

void CJournalDlg::OnRefresh() {
    const auto state = Journal::StateFromName(ui->stateCombo->currentData().toString());
    auto table = std::make_shared<TextTable>(int(Journal::ColumnHeadings().size()));
    try {
        Connection db(m_path);
        for (const Journal::Entry& entry : Journal::List(db, state, ListLimit)) {
            const QStringList cells = Journal::RowTexts(entry);
            table->beginRow();
            for (const QString& cell : cells)
                table->addCell(cell.toUtf8());
        }
    } catch (const DataError& e) {
        m_dialogs.plain(Messages::OperationFailedWith(e.description()), this);
    }
    m_model->setTable(table);
    ui->entryList->resizeColumnsToContents();
    ui->countLabel->setText(Messages::TotalCount(table->rowCount()));
}

} // namespace velkar
