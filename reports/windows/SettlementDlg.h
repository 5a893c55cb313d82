#pragma once

#include "base/Messages.h"
#include "data/Settlement.h"
#include "data/Shift.h"
#include "reports/ReportLayout.h"

#include <QDate>
#include <QDialog>
#include <memory>

class QChartView;
class QPrinter;
namespace Ui {
class CSettlementDlg;
}

namespace velkar {

class Clock;
class Dialogs;
class ShiftList;
class TextTableModel;

// The day settlement (日结) of a date range: per day and operator, with the daily net as a bar
// chart above the table; printed as the recharge report is, and exported.
class CSettlementDlg : public QDialog {
    Q_OBJECT
public:
    inline static const QString Title = Messages::SettlementReport();
    // What the chart takes of the first printed page, in the report's units of 1/600 inch.
    static constexpr int ChartHeight = 2000;

    // `account`: who is logged in, for the trail of what is reprinted.
    CSettlementDlg(Dialogs& dialogs, const Clock& clock, QDate from, QDate to,
                   const QString& account = {}, QWidget* parent = nullptr);
    ~CSettlementDlg() override;

    const Settlement::Result& result() const { return m_result; }
    ShiftList* shifts() const { return m_shifts; }
    // Settles the pickers' range afresh and prints it on `printer`, one job.
    void PrintSettlement(QPrinter& printer);

public slots:
    void OnRunQuery();
    void OnPrint();
    void OnPreview();
    void OnExport();

private:
    bool collect(Settlement::Result* result, std::vector<Shifts::Shift>* shifts = nullptr);
    // The printed pages of `result`: the chart above the table on the first, the cash and the
    // shifts after it.
    TableDocument document(const Settlement::Result& result,
                           const std::vector<Shifts::Shift>& shifts) const;

    std::unique_ptr<Ui::CSettlementDlg> ui;
    Dialogs& m_dialogs;
    const Clock& m_clock;
    TextTableModel* m_model;
    QChartView* m_chartView;
    ShiftList* m_shifts;
    Settlement::Result m_result;
};

} // namespace velkar
