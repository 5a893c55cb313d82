#include "app/ProgramArguments.h"

#include "base/CommandLine.h"
#include "base/Messages.h"

#include <QLoggingCategory>

#include <cstdio>
#include <cstdlib>

namespace velkar {

namespace {

// Qt's own options (QGuiApplication's, QApplication's and the X11 platform's), with one or two
// dashes, as Qt reads them.
const char* const ValueOptions[] = {
    "platform",
    "platformpluginpath",
    "platformtheme",
    "plugin",
    "qwindowgeometry",
    "geometry",
    "qwindowicon",
    "icon",
    "qwindowtitle",
    "title",
    "session",
    "display",
    "name",
    "style",
    "stylesheet",
};
const char* const FlagOptions[] = {"reverse", "widgetcount", "nograb", "dograb", "sync"};
// Options that carry their value after "=".
const char* const JoinedOptions[] = {"style=", "stylesheet=", "qmljsdebugger="};

QString optionName(const QString& argument) {
    if (argument.startsWith(QLatin1String("--")))
        return argument.mid(2);
    if (argument.startsWith(QLatin1Char('-')))
        return argument.mid(1);
    return {};
}

template <std::size_t N> bool among(const QString& name, const char* const (&names)[N]) {
    for (const char* known : names)
        if (name == QLatin1String(known))
            return true;
    return false;
}

QString valueOf(const QStringList& arguments, const char* option) {
    QString value;
    for (qsizetype i = 0; i + 1 < arguments.size(); ++i)
        if (optionName(arguments[i]) == QLatin1String(option))
            value = arguments[i + 1];
    return value;
}

QtMessageHandler previousHandler = nullptr;
const char* reportingProgram = "velkar";

void displayHandler(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (type == QtFatalMsg) {
        std::fprintf(stderr, "%s: %s\n", reportingProgram,
                     qUtf8Printable(Messages::DisplayUnreachable(qEnvironmentVariable(
                         "DISPLAY", qEnvironmentVariable("WAYLAND_DISPLAY")))));
        std::fflush(stderr);
        std::_Exit(CommandLine::Refused);
    }
    // The platform's account of the failure comes before the fatal line; ours replaces both.
    if (context.category && QByteArray(context.category).startsWith("qt.qpa"))
        return;
    if (previousHandler)
        previousHandler(type, context, text);
}

} // namespace

QString ArgumentProblem(const QStringList& arguments) {
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        const QString name = optionName(argument);
        if (argument == QLatin1String("--") || name.isEmpty())
            return Messages::UnexpectedArgument(argument);
        if (among(name, FlagOptions))
            continue;
        if (among(name, ValueOptions)) {
            if (i + 1 >= arguments.size())
                return Messages::OptionNeedsValue(argument);
            ++i;
            continue;
        }
        bool joined = false;
        for (const char* prefix : JoinedOptions)
            joined = joined || name.startsWith(QLatin1String(prefix));
        if (!joined)
            return Messages::UnexpectedArgument(argument);
    }
    return {};
}

QString DisplayProblem(const QStringList& arguments,
                       const std::function<QString(const char*)>& variable) {
    QString platforms = valueOf(arguments, "platform");
    if (platforms.isEmpty())
        platforms = variable("QT_QPA_PLATFORM");
    if (platforms.isEmpty())
        platforms = variable("XDG_SESSION_TYPE") == QLatin1String("wayland")
                        ? QStringLiteral("wayland;xcb")
                        : QStringLiteral("xcb");
    QString display = valueOf(arguments, "display");
    if (display.isEmpty())
        display = variable("DISPLAY");
    // Any one of the platforms named that can be tried will do; Qt tries them in turn.
    for (QString platform : platforms.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        platform = platform.section(QLatin1Char(':'), 0, 0).trimmed();
        if (platform == QLatin1String("xcb")) {
            if (!display.isEmpty())
                return {};
        } else if (platform.startsWith(QLatin1String("wayland"))) {
            if (!variable("WAYLAND_DISPLAY").isEmpty())
                return {};
        } else {
            return {}; // offscreen, vnc, eglfs, ...: nothing to look for beforehand
        }
    }
    return Messages::NoDisplay();
}

void ReportUnreachableDisplay(const char* program) {
    reportingProgram = program;
    previousHandler = qInstallMessageHandler(displayHandler);
}

void ReportedDisplayReached() {
    qInstallMessageHandler(previousHandler);
    previousHandler = nullptr;
}

} // namespace velkar
