#include "app/WorkingFolder.h"

#include "base/Dialogs.h"
#include "base/Messages.h"
#include "base/PrivateFile.h"
#include "base/Settings.h"
#include "data/AdoConn.h"
#include "data/Schema.h"

#include <QDir>
#include <QFileInfo>

namespace velkar {

QString EnterWorkingFolder(const QString& folder) {
    if (!PrivateFile::MakeFolder(folder))
        return Messages::CannotCreateFolder(folder);
    if (!QDir::setCurrent(folder))
        return Messages::CannotEnterFolder(folder);
    // A chosen database is made by its administrator (velkar-db init), never at start.
    if (Schema::DatabaseLocation() != Schema::DatabaseFileName)
        return {};
    // A file an earlier version made readable to all is the desk's own: private from now on.
    if (QFileInfo(Schema::DatabaseFileName).isFile()) {
        PrivateFile::Restrict(Schema::DatabaseFileName);
        return {};
    }
    if (QFileInfo(Schema::DatabaseFileName).isSymLink())
        return {};
    const QString problem = Schema::CreateDatabase(Schema::DatabaseFileName);
    if (!problem.isEmpty())
        return Messages::CannotCreateDatabase(folder, problem);
    return {};
}

QString DamagedSettingsRefusal(const Settings& settings, Dialogs& dialogs) {
    const QString file = settings.damagedKeptAs();
    if (file.isEmpty())
        return {};
    const QString ledger = settings.damagedServerLedger();
    if (ledger.isEmpty()) {
        dialogs.warning(Messages::SettingsDamagedBox(settings.file(), file));
        return {};
    }
    const QString chosen = qEnvironmentVariable("VELKAR_DATABASE");
    if (!chosen.isEmpty()) {
        dialogs.warning(Messages::SettingsDamagedServerOverridden(file, ledger, chosen));
        return {};
    }
    const QString refusal = Messages::SettingsDamagedServerRefused(file, ledger);
    dialogs.warning(refusal);
    return refusal;
}

LedgerAtStart PrepareLedger(const QString& database) {
    LedgerAtStart ledger;
    if (EngineOf(database) != Engine::Postgres && !QFileInfo::exists(database))
        return ledger; // made by its administrator or not at all; the desk says so when used
    ledger.refusal = Schema::Upgrade(database);
    if (ledger.refusal.isEmpty())
        ledger.unsound = Schema::CheckDatabase(database, 10000, Schema::Pages::Full,
                                               Schema::Rows::Checked, &ledger.trail);
    if (!ledger.refusal.isEmpty() || !ledger.unsound.isEmpty())
        ledger.trail = {};
    return ledger;
}

} // namespace velkar
