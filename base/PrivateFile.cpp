#include "base/PrivateFile.h"

#include <QDir>
#include <QFile>
#include <QFileDevice>
#include <QFileInfo>
#include <QStringList>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velkar {

namespace PrivateFile {

namespace {

constexpr QFileDevice::Permissions OwnerFile = QFileDevice::ReadOwner | QFileDevice::WriteOwner;

} // namespace

bool Restrict(const QString& path) {
    return QFile::setPermissions(path, OwnerFile);
}

bool Restrict(QFileDevice& file) {
    return file.setPermissions(OwnerFile);
}

bool Prepare(const QString& path) {
    // Opened with the owner's mode from the start, so no other user can open it meanwhile; an
    // existing file keeps its mode through open, hence the chmod after.
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, S_IRUSR | S_IWUSR);
    if (fd < 0)
        return false;
    const bool restricted = ::fchmod(fd, S_IRUSR | S_IWUSR) == 0;
    ::close(fd);
    return restricted;
}

bool MakeFolder(const QString& folder) {
    const QString target = QDir::cleanPath(QDir::current().absoluteFilePath(folder));
    QStringList missing;
    for (QString at = target; !QFileInfo::exists(at) && !QFileInfo(at).isSymLink();) {
        missing.prepend(at);
        const QString above = QFileInfo(at).absolutePath();
        if (above == at)
            break;
        at = above;
    }
    for (const QString& made : missing) {
        // Made with the owner's mode at once, so it never stands open to others; the mode is
        // set again as the umask may have taken from it.
        const QByteArray name = QFile::encodeName(made);
        if (::mkdir(name.constData(), S_IRWXU) == 0)
            ::chmod(name.constData(), S_IRWXU);
        else if (errno != EEXIST)
            return false;
    }
    return QFileInfo(target).isDir();
}

void RestrictNewFiles() {
    ::umask(S_IRWXG | S_IRWXO);
}

} // namespace PrivateFile

} // namespace velkar
