#include "app/Startup.h"

#include "app/Dialogs.h"

#include <QApplication>
#include <QFont>
#include <QIcon>

void PrepareApplication(QApplication& app) {
    QApplication::setApplicationName(applicationName());
    QApplication::setApplicationDisplayName(QString());
    // fontconfig never maps the Song face names to a Chinese font by itself.
    for (const char* face : {"宋体", "SimSun"})
        QFont::insertSubstitution(QString::fromUtf8(face), QStringLiteral("AR PL UMing CN"));
    QFont font(QStringLiteral("宋体"));
    font.setPointSize(9);
    QApplication::setFont(font);
    app.setWindowIcon(QIcon(QStringLiteral(":/icons/velkar.png")));
}
