#include "app/Startup.h"

#include "base/Dialogs.h"
#include "res/Pictures.h"

#include <QApplication>
#include <QFont>
#include <QIcon>
#include <QProxyStyle>

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

} // namespace

void PrepareApplication(QApplication& app) {
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

} // namespace velkar
