#include "desk/DatabaseActions.h"

#include "app/Dialogs.h"
#include "app/Settings.h"
#include "data/DatabaseCopy.h"
#include "data/Schema.h"

#include <QDir>
#include <QFileInfo>

DatabaseActions::DatabaseActions(Dialogs& dialogs) : m_dialogs(dialogs) {}

QString DatabaseActions::workingPath() {
    return QDir::current().filePath(Schema::DatabaseFileName);
}

void DatabaseActions::rememberIn(Settings& settings) {
    m_settings = &settings;
    m_lastFolder = settings.lastBackupFolder();
}

QString DatabaseActions::startFolder() const {
    // A remembered folder may be gone by now (a stick pulled out).
    return !m_lastFolder.isEmpty() && QFileInfo(m_lastFolder).isDir() ? m_lastFolder
                                                                      : QDir::homePath();
}

void DatabaseActions::BackupDatabase() {
    const QString folder =
        m_dialogs.chooseFolder(QStringLiteral("请选择备份文件夹"), startFolder());
    if (folder.isEmpty())
        return;
    const QString problem = DatabaseCopy::Backup(workingPath(), folder);
    if (!problem.isEmpty()) {
        m_dialogs.notice(QStringLiteral("备份失败！\n") + problem);
        return;
    }
    m_lastFolder = folder;
    if (m_settings)
        m_settings->setLastBackupFolder(folder);
    m_dialogs.notice(QStringLiteral("备份完成！"));
}

bool DatabaseActions::OnRestore() {
    const QString chosen =
        m_dialogs.chooseOpenFile(QStringLiteral("(*.mdb)"), QStringLiteral("mdb"), startFolder());
    if (chosen.isEmpty())
        return false;
    const QString problem = DatabaseCopy::Restore(chosen, workingPath());
    if (!problem.isEmpty()) {
        m_dialogs.notice(QStringLiteral("数据库还原失败！\n") + problem);
        return false;
    }
    m_dialogs.notice(QStringLiteral("数据库还原成功！"));
    return true;
}
