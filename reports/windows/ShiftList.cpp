#include "reports/windows/ShiftList.h"

#include "base/Clock.h"
#include "base/Dialogs.h"
#include "base/Messages.h"
#include "data/AdoConn.h"
#include "data/Audit.h"
#include "reports/TextTableModel.h"
#include "reports/windows/RecordList.h"
#include "reports/windows/ZReportPrint.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

namespace velkar {

ShiftList::ShiftList(Dialogs& dialogs, const Clock& clock, QString account, QWidget* parent)
    : QWidget(parent), m_dialogs(dialogs), m_clock(clock), m_account(std::move(account)) {
    setObjectName(QStringLiteral("shiftPanel"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* row = new QHBoxLayout;
    auto* label = new QLabel(Messages::ShiftListCaption(), this);
    label->setObjectName(QStringLiteral("shiftLabel"));
    m_previewButton = new QPushButton(Messages::PreviewZButton(), this);
    m_previewButton->setObjectName(QStringLiteral("previewZButton"));
    m_printButton = new QPushButton(Messages::PrintZButton(), this);
    m_printButton->setObjectName(QStringLiteral("printZButton"));
    for (QPushButton* button : {m_previewButton, m_printButton})
        button->setAutoDefault(false);
    row->addWidget(label);
    row->addStretch(1);
    row->addWidget(m_previewButton);
    row->addWidget(m_printButton);
    layout->addLayout(row);

    m_list = new QTableView(this);
    m_list->setObjectName(QStringLiteral("shiftList"));
    m_model = ShowReviewList(m_list, Shifts::ColumnHeadings());
    layout->addWidget(m_list);
    setTabOrder(m_previewButton, m_printButton);
    setTabOrder(m_printButton, m_list);

    connect(m_previewButton, &QPushButton::clicked, this, &ShiftList::OnPreviewZ);
    connect(m_printButton, &QPushButton::clicked, this, &ShiftList::OnPrintZ);
    connect(m_list, &QTableView::doubleClicked, this, &ShiftList::OnPreviewZ);
}

bool ShiftList::showRange(const QString& from, const QString& to) {
    std::vector<Shifts::Shift> shifts;
    try {
        const Connection db(Schema::DatabaseLocation());
        shifts = Shifts::List(db, from, to);
    } catch (const DataError&) {
        m_dialogs.plain(Messages::OperationFailed(), this);
        return false;
    }
    m_shifts = std::move(shifts);
    const QStringList headings = Shifts::ColumnHeadings();
    auto table = std::make_shared<TextTable>(int(headings.size()));
    for (const Shifts::Shift& shift : m_shifts) {
        table->beginRow();
        for (const QString& cell : Shifts::RowTexts(shift))
            table->addCell(cell.toUtf8());
    }
    m_model->setTable(table);
    m_list->resizeColumnsToContents();
    if (!m_shifts.empty())
        m_list->selectRow(int(m_shifts.size()) - 1);
    return true;
}

const Shifts::Shift* ShiftList::chosen() {
    const QModelIndexList rows = m_list->selectionModel()->selectedRows();
    const int row = rows.isEmpty() ? -1 : rows.front().row();
    if (row < 0 || row >= int(m_shifts.size())) {
        m_dialogs.plain(Messages::ChooseAShift(), this);
        return nullptr;
    }
    if (m_shifts[std::size_t(row)].isOpen()) {
        m_dialogs.plain(Messages::ShiftNotClosedYet(), this);
        return nullptr;
    }
    return &m_shifts[std::size_t(row)];
}

void ShiftList::OnPreviewZ() {
    if (const Shifts::Shift* shift = chosen())
        PreviewZReport(*shift, TimestampText(m_clock.now()), true, window());
}

void ShiftList::OnPrintZ() {
    const Shifts::Shift* shift = chosen();
    if (!shift)
        return;
    if (PrintZReport(m_dialogs, *shift, TimestampText(m_clock.now()), true, window()))
        Audit::AppendTo(Schema::DatabaseLocation(), m_account, Audit::Reprinted,
                        Messages::ZReprintDetails(*shift->z, shift->desk, shift->id),
                        m_clock.now());
}

} // namespace velkar
