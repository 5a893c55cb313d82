#include "app/WorkingFolder.h"

#include "app/Settings.h"
#include "data/Schema.h"

#include <QDir>
#include <QFileInfo>

QString ChosenWorkingFolder(const Settings& settings) {
    const QString forced = qEnvironmentVariable("VELKAR_DIR").trimmed();
    if (!forced.isEmpty())
        return QDir::cleanPath(QDir::current().absoluteFilePath(forced));
    return settings.workingFolder();
}

QString EnterWorkingFolder(const QString& folder) {
    if (!QDir().mkpath(folder))
        return QStringLiteral("无法创建工作文件夹 %1").arg(folder);
    if (!QDir::setCurrent(folder))
        return QStringLiteral("无法进入工作文件夹 %1").arg(folder);
    // A chosen database is made by its administrator (velkar-db init), never at start.
    if (Schema::DatabaseLocation() != Schema::DatabaseFileName ||
        QFileInfo::exists(Schema::DatabaseFileName) ||
        QFileInfo(Schema::DatabaseFileName).isSymLink())
        return {};
    const QString problem = Schema::CreateDatabase(Schema::DatabaseFileName);
    if (!problem.isEmpty())
        return QStringLiteral("无法在 %1 创建数据库：%2").arg(folder, problem);
    return {};
}
