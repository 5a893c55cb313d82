#include "data/DatabaseCopy.h"

#include "base/Messages.h"
#include "base/PrivateFile.h"
#include "data/AdoConn.h"
#include "data/CheckedCopy.h"
#include "data/LedgerTransfer.h"
#include "data/ReadView.h"
#include "data/Schema.h"
#include "data/SchemaSteps.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <sqlite3.h>

#include <cerrno>
#include <memory>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace velkar {

namespace {

using CheckedCopy::PartFile;

bool sameFile(const QString& a, const QString& b) {
    struct stat sa {
    }, sb{};
    if (::stat(QFile::encodeName(a).constData(), &sa) != 0 ||
        ::stat(QFile::encodeName(b).constData(), &sb) != 0)
        return false;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

// The name keep() would give the file now.
QString freeKeptName(const QString& file, const QDateTime& now) {
    for (int attempt = 1; attempt < 1000; ++attempt) {
        const QString name = DatabaseCopy::KeptName(file, now, attempt);
        if (!QFileInfo::exists(name) && !QFileInfo(name).isSymLink())
            return name;
    }
    return {};
}

// Keeps the file under a name of its own. A hard link costs no copy and, like the copy it
// falls back to, never replaces a file that has the name already.
QString keep(const QString& working, const QDateTime& now, QString* keptAs) {
    for (int attempt = 1; attempt < 1000; ++attempt) {
        const QString name = DatabaseCopy::KeptName(working, now, attempt);
        if (QFileInfo::exists(name))
            continue;
        if (::link(QFile::encodeName(working).constData(), QFile::encodeName(name).constData()) ==
            0) {
            PrivateFile::Restrict(name);
            *keptAs = name;
            return {};
        }
        if (errno == EEXIST)
            continue;
        // A file system without hard links: a copy, which never replaces a file either.
        if (!QFile::copy(working, name)) {
            if (QFileInfo::exists(name))
                continue;
            break;
        }
        PrivateFile::Restrict(name);
        *keptAs = name;
        return {};
    }
    return Messages::CannotKeepOriginal();
}

// Puts `part` in the place of the working file, keeping the file it replaces. The working
// file's write lock is held meanwhile, so no booking lands in the kept file once it is taken.
QString replaceWorking(PartFile& part, const QString& working, const QDateTime& now,
                       int lockTimeoutMs, QString* keptAs) {
    if (!QFileInfo::exists(working))
        return part.moveOnto(working) ? QString() : Messages::CannotWrite(working);
    QString problem;
    const std::unique_ptr<Connection> connection = CheckedCopy::OpenUnread(working, &problem);
    if (!connection)
        return problem;
    sqlite3* db = connection->handle();
    int rc;
    {
        LockWait wait(db, lockTimeoutMs);
        rc = sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    }
    if (rc == SQLITE_BUSY || rc == SQLITE_LOCKED)
        return LockedText(lockTimeoutMs);
    if (rc != SQLITE_OK)
        return QString::fromUtf8(sqlite3_errmsg(db));
    problem = keep(working, now, keptAs);
    if (problem.isEmpty() && !part.moveOnto(working))
        problem = Messages::CannotWrite(working);
    sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    if (!problem.isEmpty() && !keptAs->isEmpty()) {
        QFile::remove(*keptAs); // the working file is still in place
        keptAs->clear();
    }
    return problem;
}

// Moves the finished backup onto `target`; an earlier backup there is kept under its own name
// first, and named again if the move fails.
QString placeBackup(PartFile& part, const QString& target, const QDateTime& now, QString* keptAs) {
    if (QFileInfo::exists(target) || QFileInfo(target).isSymLink()) {
        if (!keep(target, now, keptAs).isEmpty())
            return Messages::CannotKeepEarlierBackup(target);
    }
    if (part.moveOnto(target))
        return {};
    if (!keptAs->isEmpty()) {
        QFile::remove(*keptAs); // the earlier backup is still in place under its name
        keptAs->clear();
    }
    return Messages::CannotWrite(target);
}

// What replacing `working` by `file` gives up, read from both files; nothing when `file` is
// not of the current version, or can't be read without being written (a hot journal).
std::optional<DatabaseCopy::RestoreCost> costOf(const QString& file, const QString& working,
                                                const QDateTime& now, int lockTimeoutMs) {
    sqlite3* handle = nullptr;
    // Read-only, so that the chosen file is never written, and for this thread alone.
    const bool opened =
        sqlite3_open_v2(file.toUtf8().constData(), &handle,
                        SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr) == SQLITE_OK;
    const std::unique_ptr<sqlite3, int (*)(sqlite3*)> closing(handle, &sqlite3_close);
    QString unread;
    if (!opened || SchemaSteps::readVersion(handle, &unread) != Schema::CurrentVersion)
        return std::nullopt;
    sqlite3_busy_timeout(handle, lockTimeoutMs);
    DatabaseCopy::RestoreCost cost;
    try {
        const Connection db(handle);
        {
            Query newest(db, QString::fromUtf8(Statements::NewestRecordTime));
            if (newest.next() && !newest.isNull(0))
                cost.newestRecord = newest.text(0);
        }
        if (!QFileInfo::exists(working))
            return cost;
        cost.keptName = freeKeptName(working, now);
        {
            Query attach(db, QString::fromUtf8(Statements::AttachWorking));
            attach.bind(1, working);
            attach.next();
        }
        // Every statement is done with before the file is let go again.
        try {
            const auto count = [&](const char* sql) {
                Query query(db, QString::fromUtf8(sql));
                query.next();
                return qint64(query.integer(0));
            };
            cost.recordsLost = count(Statements::RecordsOnlyInWorking);
            cost.journalLost = count(Statements::JournalOnlyInWorking);
        } catch (const DataError& e) {
            // A working file too damaged to count in is exactly one to restore over.
            cost.recordsLost = cost.journalLost = -1;
            cost.uncounted = e.description();
        }
        Query(db, QString::fromUtf8(Statements::DetachWorking)).next();
    } catch (const DataError& e) {
        cost.recordsLost = cost.journalLost = -1;
        cost.uncounted = e.description();
    }
    return cost;
}

} // namespace

namespace DatabaseCopy {

QString BackupTarget(const QString& folder) {
    return QDir(folder).filePath(Schema::DatabaseFileName);
}

QString KeptName(const QString& workingPath, const QDateTime& now, int attempt) {
    const QString stamp = now.toString(QStringLiteral("yyyy-MM-dd_HHmmss"));
    return attempt <= 1 ? QStringLiteral("%1.%2.bak").arg(workingPath, stamp)
                        : QStringLiteral("%1.%2-%3.bak").arg(workingPath, stamp).arg(attempt);
}

QString SameFileText() {
    return Messages::RestoreFromItself();
}

QString ServerRestoreText() {
    return Messages::ServerRestore();
}

QString Backup(const QString& workingPath, const QString& folder, const Options& options,
               const QDateTime& now, QString* keptAs) {
    QString kept;
    if (!keptAs)
        keptAs = &kept;
    keptAs->clear();
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        return Messages::FolderMissing(folder);
    if (EngineOf(workingPath) == Engine::Postgres) {
        const QString target = BackupTarget(folder);
        PartFile part(target);
        QString problem = LedgerTransfer::SnapshotServer(workingPath, part.path(), options);
        if (problem.isEmpty())
            problem = placeBackup(part, target, now, keptAs);
        return problem;
    }
    if (!QFileInfo::exists(workingPath))
        return Messages::DatabaseFileMissing(workingPath);
    const QString target = BackupTarget(folder);
    if (sameFile(target, workingPath))
        return Messages::BackupIntoDatabaseFolder();
    PartFile part(target);
    // A copy of the program's own file, page for page: its pages need no index-by-index check.
    QString problem = CheckedCopy::CopyChecked(workingPath, part.path(), options,
                                               Schema::Pages::Quick, Schema::Rows::Unchecked);
    if (problem.isEmpty())
        problem = placeBackup(part, target, now, keptAs);
    return problem;
}

struct PendingRestore::Part {
    explicit Part(const QString& working) : file(working) {}
    PartFile file;
};

PendingRestore::PendingRestore(QString chosen, QString workingPath, QDateTime now)
    : m_chosen(std::move(chosen)), m_working(std::move(workingPath)), m_now(std::move(now)) {}

PendingRestore::~PendingRestore() = default;

QString PendingRestore::prepare(const Options& options) {
    m_part.reset();
    m_cost = {};
    if (EngineOf(m_working) == Engine::Postgres)
        return ServerRestoreText();
    if (!QFileInfo(m_chosen).isFile())
        return Messages::DoesNotExist(m_chosen);
    if (sameFile(m_chosen, m_working) ||
        QFileInfo(m_chosen).absoluteFilePath() == QFileInfo(m_working).absoluteFilePath())
        return SameFileText();
    // The new working file is made whole beside the old one: copied, checked and brought up
    // to date before it takes the old one's place.
    auto part = std::make_unique<Part>(m_working);
    const QString path = part->file.path();
    // A file of the current version is taken as it is: what replacing costs is counted from
    // the chosen file while it is copied and checked, and counts only if the copy passes.
    std::optional<RestoreCost> counted;
    QString problem = CheckedCopy::CopyChecked(
        m_chosen, path, options, Schema::Pages::Full, Schema::Rows::Checked,
        [&] { counted = costOf(m_chosen, m_working, m_now, options.lockTimeoutMs); });
    if (!problem.isEmpty())
        return problem;
    // Counted again from the copy where the chosen file could not tell.
    if (counted && !counted->uncounted.isEmpty())
        counted.reset();
    if (!counted) {
        if (Schema::FileVersion(path, &problem) != Schema::CurrentVersion) {
            problem = Schema::Upgrade(path, options.passwordCost);
            if (problem.isEmpty())
                problem = Schema::CheckDatabase(path, options.lockTimeoutMs, Schema::Pages::Quick);
            if (!problem.isEmpty())
                return problem;
        }
        counted = costOf(path, m_working, m_now, options.lockTimeoutMs);
        if (!counted)
            return Messages::CannotRead(path);
    }
    m_cost = *counted;
    m_part = std::move(part);
    return {};
}

QString PendingRestore::replace(const Options& options, QString* keptAs) {
    QString kept;
    if (!keptAs)
        keptAs = &kept;
    keptAs->clear();
    if (!m_part)
        return Messages::RestoreNotPrepared();
    const QString problem =
        replaceWorking(m_part->file, m_working, m_now, options.lockTimeoutMs, keptAs);
    m_part.reset();
    return problem;
}

QString BackupFile(const QString& workingPath, const QString& target, const Options& options) {
    if (QFileInfo::exists(target))
        return Messages::AlreadyExists(target);
    PartFile part(target);
    QString problem;
    if (EngineOf(workingPath) == Engine::Postgres) {
        problem = LedgerTransfer::SnapshotServer(workingPath, part.path(), options);
    } else {
        if (!QFileInfo::exists(workingPath))
            return Messages::DatabaseFileMissing(workingPath);
        problem = CheckedCopy::CopyChecked(workingPath, part.path(), options, Schema::Pages::Quick);
    }
    if (problem.isEmpty() && !part.moveOnto(target))
        problem = Messages::CannotWrite(target);
    return problem;
}

QString Restore(const QString& chosen, const QString& workingPath, const QDateTime& now,
                const Options& options, QString* keptAs) {
    if (keptAs)
        keptAs->clear();
    PendingRestore restore(chosen, workingPath, now);
    const QString problem = restore.prepare(options);
    return problem.isEmpty() ? restore.replace(options, keptAs) : problem;
}

QString RestoreLegacy(const QString& chosen, const QString& workingPath, const QDateTime& now,
                      const QString& account, const Options& options, LegacyImport::Report* report,
                      QString* keptAs) {
    QString kept;
    if (!keptAs)
        keptAs = &kept;
    keptAs->clear();
    if (EngineOf(workingPath) == Engine::Postgres)
        return ServerRestoreText();
    // A name of its own beside the working file, free for the import to make its file under.
    QString made;
    {
        QTemporaryFile reserve(workingPath + QStringLiteral(".XXXXXX.legacy"));
        if (!reserve.open())
            return Messages::CannotMakeTemporaryFile();
        made = reserve.fileName();
    }
    LegacyImport::Options import;
    import.passwordCost = options.passwordCost;
    import.account = account;
    import.at = now;
    import.progress = options.progress;
    import.lockTimeoutMs = options.lockTimeoutMs;
    LegacyImport::Result result = LegacyImport::Import(chosen, made, import);
    // The new database's name is the working file's.
    result.report.target = QFileInfo(workingPath).absoluteFilePath();
    if (report)
        *report = result.report;
    if (!result.problem.isEmpty())
        return result.problem;
    PartFile part(made, PartFile::Adopt{});
    const QString problem = replaceWorking(part, workingPath, now, options.lockTimeoutMs, keptAs);
    if (problem.isEmpty())
        LegacyImport::WriteReport(LegacyImport::ReportPath(workingPath),
                                  LegacyImport::ReportText(result.report));
    return problem;
}

} // namespace DatabaseCopy

} // namespace velkar
