#pragma once

#include "data/AdoConn.h"

#include <QDate>
#include <QDialog>
#include <memory>

class QPrinter;
namespace Ui {
class CQueryDlg;
}

namespace velkar {

class Clock;
class Dialogs;
class TextTableModel;

// The recharge records of a date range with their cardholders' names and the total; prints
// them as a report and opens its preview.
class CQueryDlg : public QDialog {
    Q_OBJECT
public:
    // `account`: who is logged in, for the trail of what the settlement reprints.
    CQueryDlg(Dialogs& dialogs, const Clock& clock, QString account = {},
              QWidget* parent = nullptr);
    ~CQueryDlg() override;

    // Lists the records between the pickers' dates and shows their total.
    void QueryRecords();
    // Collects the rows afresh for the pickers' dates and prints every page on `printer`.
    void PrintReport(QPrinter& printer);

    QString startBound() const;
    QString endBound() const;

public slots:
    void OnRunQuery();
    void OnPrint();
    void OnPreview();
    // The records between the pickers' dates with their total, to CSV or XLSX.
    void OnExport();
    // The day settlement of the pickers' range.
    void OnSettlement();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void UpdateData(bool save);
    void failed();

    std::unique_ptr<Ui::CQueryDlg> ui;
    Dialogs& m_dialogs;
    const Clock& m_clock;
    const QString m_account;
    HeldConnection m_store;
    HeldConnection m_totals; // sums while m_store reads the rows
    TextTableModel* m_model;

    QString m_title;
    QString m_reportDate;
    QDate m_dateTo;
    QDate m_dateFrom;
    QString m_totalText = QStringLiteral("0");
    QString m_cashText;
    qsizetype m_recordCount = 0;
};

} // namespace velkar
