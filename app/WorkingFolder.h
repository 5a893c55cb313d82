#pragma once

#include <QString>

namespace velkar {

class Settings;

// The folder the program works in: VELKAR_DIR when set, else the one the settings name.
QString ChosenWorkingFolder(const Settings& settings);

// Makes the folder current, creating it and the delivered database in it when they are missing;
// an existing database is never touched. Empty on success, else why not.
QString EnterWorkingFolder(const QString& folder);

} // namespace velkar
