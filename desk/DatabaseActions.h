#pragma once

#include <QString>

class Dialogs;
class Settings;

// The desk's backup and restore of its working database, with their choosers and messages.
class DatabaseActions {
public:
    explicit DatabaseActions(Dialogs& dialogs);

    // From now on the last backup folder is taken from and kept in the settings, not only
    // for this run.
    void rememberIn(Settings& settings);

    // Asks for a folder and copies the working database into it. A cancelled chooser copies
    // nothing and says nothing.
    void BackupDatabase();
    // Asks for a database file and makes it the working database. True once restored.
    bool OnRestore();

    // The folder the chooser starts in: that of the last backup while it exists, else the home
    // folder.
    QString startFolder() const;

    // The working database: DataBase.mdb in the current directory at the time of the call.
    static QString workingPath();

private:
    Dialogs& m_dialogs;
    Settings* m_settings = nullptr;
    QString m_lastFolder;
};
