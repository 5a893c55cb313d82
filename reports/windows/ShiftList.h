#pragma once

#include "data/Shift.h"

#include <QWidget>

#include <vector>

class QPushButton;
class QTableView;

namespace velkar {

class Clock;
class Dialogs;
class TextTableModel;

// The shifts of the settlement's dates, shown under its days, with the Z report of the one
// chosen previewed or printed again (a copy, audited).
class ShiftList : public QWidget {
    Q_OBJECT
public:
    // `account`: who is logged in, for the trail of a reprint.
    ShiftList(Dialogs& dialogs, const Clock& clock, QString account, QWidget* parent = nullptr);

    // Lists the shifts of `from`..`to` (yyyy-MM-dd). False when the store failed (said).
    bool showRange(const QString& from, const QString& to);
    const std::vector<Shifts::Shift>& shifts() const { return m_shifts; }
    QTableView* list() const { return m_list; }

public slots:
    void OnPreviewZ();
    void OnPrintZ();

private:
    // The closed shift chosen in the list; none (and said why) otherwise.
    const Shifts::Shift* chosen();

    Dialogs& m_dialogs;
    const Clock& m_clock;
    const QString m_account;
    QTableView* m_list;
    TextTableModel* m_model;
    QPushButton* m_previewButton;
    QPushButton* m_printButton;
    std::vector<Shifts::Shift> m_shifts;
};

} // namespace velkar
