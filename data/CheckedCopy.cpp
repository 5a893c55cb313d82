#include "data/CheckedCopy.h"

#include "base/Messages.h"
#include "base/PrivateFile.h"
#include "data/ReadView.h"
#include "data/SchemaSteps.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <sqlite3.h>

#include <cstdio>
#include <fcntl.h>
#include <future>
#include <thread>
#include <unistd.h>

namespace velkar::CheckedCopy {

namespace {

void syncFolder(const QString& file) {
    const int fd = ::open(QFile::encodeName(QFileInfo(file).absolutePath()).constData(),
                          O_RDONLY | O_DIRECTORY);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

// Copies every page the view reads into the new file `target`, a step at a time, on the
// connection `copy` is left holding. The view's read transaction keeps the source still, so the
// copy never starts over. The pages are left for syncPages() to write through to the disk.
QString copyPages(sqlite3* from, const QString& target, const DatabaseCopy::Options& options,
                  std::unique_ptr<Connection>& copy) {
    QString problem;
    copy = OpenUnread(target, &problem);
    if (!copy)
        return problem;
    sqlite3* to = copy->handle();
    problem = SchemaSteps::execute(to, "PRAGMA synchronous = OFF");
    if (!problem.isEmpty())
        return problem;
    sqlite3_backup* backup = sqlite3_backup_init(to, "main", from, "main");
    if (!backup)
        return QString::fromUtf8(sqlite3_errmsg(to));
    int rc;
    do {
        rc = sqlite3_backup_step(backup, std::max(1, options.pagesPerStep));
        if (options.progress) {
            const int total = sqlite3_backup_pagecount(backup);
            options.progress(total - sqlite3_backup_remaining(backup), total);
        }
    } while (rc == SQLITE_OK);
    sqlite3_backup_finish(backup);
    if (rc != SQLITE_DONE)
        return QString::fromUtf8(sqlite3_errstr(rc));
    // A copy of a file in another journal mode becomes an ordinary rollback-journal file.
    return SchemaSteps::execute(to, "PRAGMA journal_mode = DELETE");
}

// Writes the copy's pages through to the disk, through SQLite's own handle of the file: another
// handle's closing would let go of the locks the check's connections hold on it.
QString syncPages(sqlite3* copy) {
    sqlite3_file* file = nullptr;
    if (sqlite3_file_control(copy, "main", SQLITE_FCNTL_FILE_POINTER, &file) != SQLITE_OK ||
        !file || !file->pMethods)
        return QString::fromUtf8(sqlite3_errstr(SQLITE_IOERR_FSYNC));
    const int rc = file->pMethods->xSync(file, SQLITE_SYNC_NORMAL);
    return rc == SQLITE_OK ? QString() : QString::fromUtf8(sqlite3_errstr(rc));
}

} // namespace

PartFile::PartFile(const QString& finalPath) {
    QTemporaryFile file(finalPath + QStringLiteral(".XXXXXX.part"));
    file.setAutoRemove(false);
    if (file.open() && PrivateFile::Restrict(file))
        m_path = file.fileName();
}

PartFile::~PartFile() {
    if (!m_path.isEmpty()) {
        QFile::remove(m_path);
        QFile::remove(m_path + QStringLiteral("-journal"));
    }
}

bool PartFile::moveOnto(const QString& target) {
    if (std::rename(QFile::encodeName(m_path).constData(), QFile::encodeName(target).constData()) !=
        0)
        return false;
    m_path.clear();
    syncFolder(target);
    return true;
}

std::unique_ptr<Connection> OpenUnread(const QString& path, QString* problem) {
    try {
        return std::make_unique<Connection>(path, Connection::Open::Unread, 0);
    } catch (const DataError& e) {
        *problem = e.description();
        return nullptr;
    }
}

QString CopyChecked(const QString& source, const QString& part,
                    const DatabaseCopy::Options& options, Schema::Pages pages, Schema::Rows rows,
                    const std::function<void()>& alongside) {
    if (part.isEmpty())
        return Messages::CannotMakeTemporaryFile();
    ReadView view;
    QString problem = view.open(source, options.lockTimeoutMs);
    // The copy leaves a core free.
    std::thread beside;
    if (problem.isEmpty() && alongside)
        beside = std::thread(alongside);
    std::unique_ptr<Connection> copy;
    if (problem.isEmpty())
        problem = copyPages(view.handle(), part, options, copy);
    view.close();
    if (options.progress)
        options.progress(0, 0); // checking: no measure of how far
    // The pages go down to the disk while they are checked.
    std::future<QString> synced;
    if (problem.isEmpty())
        synced = std::async(std::launch::async, [&copy] { return syncPages(copy->handle()); });
    if (problem.isEmpty())
        problem = Schema::CheckDatabase(part, options.lockTimeoutMs, pages, rows);
    if (synced.valid()) {
        const QString unsynced = synced.get();
        if (problem.isEmpty())
            problem = unsynced;
    }
    copy.reset();
    if (beside.joinable())
        beside.join();
    return problem;
}

} // namespace velkar::CheckedCopy
