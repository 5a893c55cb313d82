#pragma once

#include <QString>
#include <QStringList>

#include <functional>

namespace velkar {

// velkar's command line is decided before the application object is made, which needs a display.
// It takes no arguments of its own beyond --help and --version, and Qt's own options
// (-platform NAME, -style NAME, -reverse, ...), which it leaves to Qt.

// The first argument that is neither, or an option of Qt's without its value, said as a problem;
// empty when the command line is fine.
QString ArgumentProblem(const QStringList& arguments);

// Why the program would find no display to open its windows on, in one line; empty when there is
// one to try. Reads the platform from -platform, QT_QPA_PLATFORM or the session, and the display
// from -display, DISPLAY or WAYLAND_DISPLAY. `variable` reads the environment.
QString DisplayProblem(const QStringList& arguments,
                       const std::function<QString(const char*)>& variable);

// Qt ends a program that can't reach its display with a line about reinstalling and an abort;
// until the application object is made, that end is one line of ours and status 1 instead, and
// the platform's lines before it are not shown.
void ReportUnreachableDisplay(const char* program);
void ReportedDisplayReached();

} // namespace velkar
