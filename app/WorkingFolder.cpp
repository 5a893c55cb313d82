#include "app/WorkingFolder.h"

#include "base/Messages.h"
#include "base/PrivateFile.h"
#include "base/Settings.h"
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

} // namespace velkar
