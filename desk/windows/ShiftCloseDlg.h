#pragma once

#include "data/Shift.h"

#include <QDialog>

#include <functional>
#include <memory>
#include <optional>

namespace Ui {
class CShiftCloseDlg;
}

namespace velkar {

class Clock;
class Dialogs;

// 交班: the shift's bookings per kind and the cash they moved; the operator types the cash
// counted in the drawer and sees the difference. Once closed the window shows the Z number and
// the seal, and previews and prints the Z report.
class CShiftCloseDlg : public QDialog {
    Q_OBJECT
public:
    // Closes the shift with the cash counted (none: not counted) and the drawer's float; the
    // closed shift, or nothing when it failed (the box said why).
    using Close = std::function<std::optional<Shifts::Shift>(std::optional<qint64> counted,
                                                             qint64 cashFloat)>;

    // `shift` with its figures as they stand.
    CShiftCloseDlg(Dialogs& dialogs, const Clock& clock, Shifts::Shift shift, Close close,
                   QWidget* parent = nullptr);
    ~CShiftCloseDlg() override;

    // The shift as closed; nothing before.
    const std::optional<Shifts::Shift>& closed() const { return m_closed; }

public slots:
    void OnCountedChanged();
    void OnCloseShift();
    void OnPreview();
    void OnPrint();

private:
    void showShift(const Shifts::Shift& shift);

    std::unique_ptr<Ui::CShiftCloseDlg> ui;
    Dialogs& m_dialogs;
    const Clock& m_clock;
    Shifts::Shift m_shift;
    Close m_close;
    std::optional<Shifts::Shift> m_closed;
};

} // namespace velkar
