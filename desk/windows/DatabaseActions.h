#pragma once

#include "base/Clock.h"
#include "data/DatabaseCopy.h"

#include <QString>

#include <functional>

namespace velkar {

class Dialogs;
class Settings;

// The desk's backup and restore of its working database, with their choosers and messages. The
// copy runs on a worker thread behind a progress window, so the desk keeps repainting.
class DatabaseActions {
public:
    // `clock` names the files a restore keeps; null: the system's clock. `account`: who is
    // logged in, for the trail.
    explicit DatabaseActions(Dialogs& dialogs, const Clock* clock = nullptr, QString account = {});

    // From now on the last backup folder is taken from and kept in the settings, not only
    // for this run.
    void rememberIn(Settings& settings);

    // Asks for a folder and copies the working database into it. A cancelled chooser copies
    // nothing and says nothing.
    void BackupDatabase();
    // Asks for a database file and makes it the working database. True once restored;
    // `replaced` runs as soon as the new file is in place, before the box that says so.
    bool OnRestore(const std::function<void()>& replaced = {});
    // A backup into `folder` under a name that tells its time, the oldest there beyond `keep`
    // removed; audited, with no box. Returns why it failed, or an empty text.
    QString AutoBackupInto(const QString& folder, int keep);

    // The folder the chooser starts in: that of the last backup while it exists, else the home
    // folder.
    QString startFolder() const;

    // The working database: DataBase.mdb in the current directory at the time of the call.
    static QString workingPath();

    // How the copies run (lock time-out, password cost); tests shorten the time-out.
    DatabaseCopy::Options copyOptions;

private:
    // The chosen file is the legacy desk's Access database: offered as an import in the working
    // database's place, then its report shown. True once imported.
    bool RestoreLegacy(const QString& chosen, const std::function<void()>& replaced);
    // Runs `work` on a worker thread; the window thread serves events and shows the progress
    // until it ends.
    QString runWithProgress(const QString& label,
                            const std::function<QString(const DatabaseCopy::Options&)>& work);

    Dialogs& m_dialogs;
    Settings* m_settings = nullptr;
    SystemClock m_systemClock;
    const Clock& m_clock;
    const QString m_account;
    QString m_lastFolder;
};

// Runs `work` on a worker thread while the window thread serves events and, after a moment,
// shows `label` in a progress window that can't be closed until the work ends; returns what
// `work` returned. `options` go to `work` with their progress reported to the window.
QString RunWithProgress(const QString& label, const DatabaseCopy::Options& options,
                        const std::function<QString(const DatabaseCopy::Options&)>& work);

} // namespace velkar
