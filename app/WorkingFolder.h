#pragma once

#include "base/Settings.h" // ChosenWorkingFolder

#include <QString>

namespace velkar {

// Makes the folder current, creating it and the delivered database in it when they are missing;
// an existing database is never touched. Empty on success, else why not.
QString EnterWorkingFolder(const QString& folder);

} // namespace velkar
