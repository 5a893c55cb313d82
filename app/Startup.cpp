#include "app/Startup.h"

#include "base/Dialogs.h"
#include "res/Pictures.h"

#include <QApplication>
#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QFont>
#include <QIcon>
#include <QLibraryInfo>
#include <QLocale>
#include <QProxyStyle>
#include <QScreen>
#include <QTranslator>
#include <QWidget>

#include <unistd.h>

namespace velkar {

namespace {

// The Song face draws the default mask bullet too wide; masked text shows asterisks.
class DeskStyle : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override {
        if (hint == SH_LineEdit_PasswordCharacter)
            return '*';
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

// A window opens no larger than the screen's free area (its controls permitting), whatever
// size its template asks for: a large window on a small screen or at a large scale factor
// would otherwise open with its buttons out of reach.
class ScreenFit : public QObject {
public:
    using QObject::QObject;

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::Show || !watched->isWidgetType())
            return false;
        auto* window = static_cast<QWidget*>(watched);
        if (!window->isWindow() || window->property(Fitted).toBool() || !window->screen())
            return false;
        window->setProperty(Fitted, true);
        // Room is left for the frame, which is not yet there to be measured.
        const QSize room = window->screen()->availableGeometry().size() - QSize(16, 40);
        const QSize size = window->size().boundedTo(room).expandedTo(window->minimumSizeHint());
        if (size != window->size())
            window->resize(size);
        return false;
    }

private:
    static constexpr const char* Fitted = "velkarFittedToScreen";
};

} // namespace

void PrepareApplication(QApplication& app) {
    app.installEventFilter(new ScreenFit(&app));
    LoadPictures();
    QApplication::setApplicationName(applicationName());
    QApplication::setApplicationDisplayName(QString());
    // fontconfig never maps the Song face names to a Chinese font by itself.
    for (const char* face : {"宋体", "SimSun"})
        QFont::insertSubstitution(QString::fromUtf8(face), QStringLiteral("AR PL UMing CN"));
    QFont font(QStringLiteral("宋体"));
    font.setPointSize(9);
    QApplication::setFont(font);
    QApplication::setStyle(new DeskStyle);
    app.setWindowIcon(QIcon(QStringLiteral(":/icons/velkar.png")));
}

void SpeakChinese(QApplication& app) {
    // The print, file and folder choosers are Qt's own: in the desk's language, dates and
    // calendars included.
    const QLocale chinese(QLocale::Chinese, QLocale::China);
    QLocale::setDefault(chinese);
    auto* translator = new QTranslator(&app);
    if (translator->load(chinese, QStringLiteral("qt"), QStringLiteral("_"),
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(translator);
}

void PrepareRuntimeFolder() {
    if (!qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR"))
        return;
    const QString folder =
        QDir::tempPath() + QStringLiteral("/runtime-") + QString::number(::getuid());
    QDir().mkpath(folder);
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QFileInfo info(folder);
    // Someone else's folder of that name is left to Qt to complain about.
    if (info.isDir() && info.ownerId() == ::getuid())
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(folder));
}

} // namespace velkar
