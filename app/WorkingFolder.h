#pragma once

#include "base/Settings.h" // ChosenWorkingFolder
#include "data/Audit.h"

#include <QString>

namespace velkar {

class Dialogs;

// Says in a box that the settings file was damaged and where its text is kept. When it named
// a server ledger and VELKAR_DATABASE names none in its place, the desk must not start on a
// local file: returns why (the box said so and how to mend it), else an empty text.
QString DamagedSettingsRefusal(const Settings& settings, Dialogs& dialogs);

// Makes the folder current, creating it and the delivered database in it when they are missing;
// an existing database is never touched. Empty on success, else why not.
QString EnterWorkingFolder(const QString& folder);

// The database the desk is about to work on, before anyone logs in: an older one is brought
// up to date (a newer one is left alone), then it is given velkar-db check's own check.
struct LedgerAtStart {
    QString refusal;         // the desk can't start on it: why
    QString unsound;         // the desk starts, but the ledger failed its check: why
    Audit::Checkpoint trail; // a sound ledger's newest audit entry; id 0: none
};
LedgerAtStart PrepareLedger(const QString& database);

} // namespace velkar
