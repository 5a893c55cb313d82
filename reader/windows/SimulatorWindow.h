#pragma once

#include <QTimer>
#include <QWidget>
#include <memory>

namespace Ui {
class SimulatorWindow;
}

namespace velkar {

class SimulatedReader;

// The simulated reader's own window beside the desk: a person lays cards on and takes them
// off, plugs and unplugs the reader, and sees its card and initialisation mode.
class SimulatorWindow : public QWidget {
    Q_OBJECT

public:
    explicit SimulatorWindow(SimulatedReader& reader, QWidget* parent = nullptr);
    ~SimulatorWindow() override;

    // Shows what the reader holds now; also runs four times a second by itself.
    void refresh();

private:
    void togglePlugged();
    void layCard();

    SimulatedReader& m_reader;
    std::unique_ptr<Ui::SimulatorWindow> ui;
    QTimer m_refresh;
};

} // namespace velkar
