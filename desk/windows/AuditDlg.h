#pragma once

#include "data/Audit.h"

#include <QDate>
#include <QDialog>

#include <memory>
#include <optional>

namespace Ui {
class CAuditDlg;
}

namespace velkar {

class Dialogs;
class TextTable;
class TextTableModel;

// The administrator's view of the audit trail, newest first, filtered by dates, account and
// action. Reads one page at a time, so it opens as quickly at a million entries as at ten.
class CAuditDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int PageSize = 500;

    explicit CAuditDlg(Dialogs& dialogs, QWidget* parent = nullptr, QString databasePath = {},
                       QDate today = QDate::currentDate());
    ~CAuditDlg() override;

    int rowCount() const;
    QString cell(int row, int column) const;

public slots:
    void OnRefresh(); // the first page of the filter now set
    void OnMore();    // the next page below the rows shown

private:
    void load(bool more);

    std::unique_ptr<Ui::CAuditDlg> ui;
    Dialogs& m_dialogs;
    QString m_path;
    TextTableModel* m_model;
    std::shared_ptr<TextTable> m_table;
    std::optional<Audit::Entry> m_oldestShown;
};

} // namespace velkar
