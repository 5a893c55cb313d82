#include "data/DatabaseCopy.h"

#include "base/Messages.h"
#include "base/PrivateFile.h"
#include "data/AdoConn.h"
#include "data/ReadView.h"
#include "data/Schema.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTemporaryFile>

#include <sqlite3.h>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <memory>
#include <optional>
#include <ranges>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace velkar {

namespace {

// The file opened unread and without a busy handler: the caller waits for locks itself.
std::unique_ptr<Connection> open(const QString& path, QString* problem) {
    try {
        return std::make_unique<Connection>(path, Connection::Open::Unread, 0);
    } catch (const DataError& e) {
        *problem = e.description();
        return nullptr;
    }
}

// A file being written beside its final name; removed with its journal unless kept.
class PartFile {
public:
    // Takes over a file made elsewhere.
    struct Adopt {};
    PartFile(const QString& made, Adopt) : m_path(made) {}
    explicit PartFile(const QString& finalPath) {
        QTemporaryFile file(finalPath + QStringLiteral(".XXXXXX.part"));
        file.setAutoRemove(false);
        if (file.open() && PrivateFile::Restrict(file))
            m_path = file.fileName();
    }
    ~PartFile() {
        if (!m_path.isEmpty()) {
            QFile::remove(m_path);
            QFile::remove(m_path + QStringLiteral("-journal"));
        }
    }
    PartFile(const PartFile&) = delete;
    PartFile& operator=(const PartFile&) = delete;

    QString path() const { return m_path; }
    // Moves the finished file over `target` in one step: the target is always either the old
    // file or the new one, whole.
    bool moveOnto(const QString& target) {
        if (std::rename(QFile::encodeName(m_path).constData(),
                        QFile::encodeName(target).constData()) != 0)
            return false;
        m_path.clear();
        syncFolder(target);
        return true;
    }

    static void syncFolder(const QString& file) {
        const int fd = ::open(QFile::encodeName(QFileInfo(file).absolutePath()).constData(),
                              O_RDONLY | O_DIRECTORY);
        if (fd >= 0) {
            ::fsync(fd);
            ::close(fd);
        }
    }

private:
    QString m_path;
};

// Copies every page the view reads into the new file `target`, a step at a time. The view's
// read transaction keeps the source still, so the copy never starts over.
QString copyPages(sqlite3* from, const QString& target, const DatabaseCopy::Options& options) {
    QString problem;
    const std::unique_ptr<Connection> connection = open(target, &problem);
    if (!connection)
        return problem;
    sqlite3* to = connection->handle();
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
    char* error = nullptr;
    if (sqlite3_exec(to, "PRAGMA journal_mode = DELETE", nullptr, nullptr, &error) != SQLITE_OK) {
        problem = QString::fromUtf8(error);
        sqlite3_free(error);
    }
    return problem;
}

// A checked copy of `source` in the new file `part`. `alongside`, when given, runs on a thread
// of its own while the copy is checked.
QString copyChecked(const QString& source, const QString& part,
                    const DatabaseCopy::Options& options, Schema::Pages pages,
                    Schema::Rows rows = Schema::Rows::Checked,
                    const std::function<void()>& alongside = {}) {
    if (part.isEmpty())
        return Messages::CannotMakeTemporaryFile();
    ReadView view;
    QString problem = view.open(source, options.lockTimeoutMs);
    if (problem.isEmpty())
        problem = copyPages(view.handle(), part, options);
    view.close();
    if (options.progress)
        options.progress(0, 0); // checking: no measure of how far
    if (problem.isEmpty()) {
        std::thread beside;
        if (alongside)
            beside = std::thread(alongside);
        problem = Schema::CheckDatabase(part, options.lockTimeoutMs, pages, rows);
        if (beside.joinable())
            beside.join();
    }
    return problem;
}

// ---- Between a file and a server -------------------------------------------------------------

// The tables a copy carries, each with the key that names its rows: SQLite's implicit rowid,
// which a server keeps as a column of that name, or the table's own id.
struct Table {
    const char* name = nullptr;
    const char* key = nullptr;
    bool numbered = true; // a number: a server's sequence goes on after the highest
};
const Table Tables[] = {
    {"userecord", "rowid"},
    {"employees", "rowid"},
    {"permission", "rowid"},
    {"journal", "id"},
    {"audit", "id"},
    {"shift", "id"},
    {"replacements", "id"},
    {"corrections", "id"},
    {"journal_links", "journal_id"},
    {"cash_paid", "id"},
    {"cards", "card_no", false},
    // Keyed by text or by two columns: ordered by a number of theirs, which no sequence hands out.
    {"shift_total", "shift_id"},
    {"shift_number", "last_z"},
};

constexpr int RowsPerInsert = 200;

// Copies every row of the tables, keys included, inside the callers' transactions. `progress`
// gets the rows copied and the rows to copy.
void copyRows(const Connection& from, const Connection& to,
              const std::function<void(int, int)>& progress) {
    const bool fromServer = from.engine() == Engine::Postgres;
    int total = 0;
    for (const Table& t : Tables) {
        Query count(from, QStringLiteral("SELECT count(*) FROM %1").arg(QLatin1String(t.name)));
        count.next();
        total += int(count.integer(0));
    }
    int done = 0;
    for (const Table& t : Tables) {
        // A server table holds its key as a column; a file's rowid is apart.
        const bool apart = !fromServer && QLatin1String(t.key) == QLatin1String("rowid");
        Query rows(from, QStringLiteral("SELECT %1* FROM %2 ORDER BY %3")
                             .arg(apart ? QStringLiteral("rowid, ") : QString(),
                                  QLatin1String(t.name), QLatin1String(t.key)));
        const int columns = rows.columnCount();
        QStringList names;
        for (int c = 0; c < columns; ++c)
            names << rows.columnName(c);
        const QString row = QLatin1Char('(') + QStringList(columns, QStringLiteral("?")).join(',') +
                            QLatin1Char(')');
        const auto insertFor = [&](int count) {
            return QStringLiteral("INSERT INTO %1 (%2) VALUES %3")
                .arg(QLatin1String(t.name), names.join(','), QStringList(count, row).join(','));
        };
        std::unique_ptr<Query> full;
        std::vector<std::vector<std::optional<QString>>> batch;
        const auto flush = [&] {
            if (batch.empty())
                return;
            std::unique_ptr<Query> partial;
            if (int(batch.size()) == RowsPerInsert && !full)
                full = std::make_unique<Query>(to, insertFor(RowsPerInsert));
            Query& insert =
                int(batch.size()) == RowsPerInsert
                    ? *full
                    : *(partial = std::make_unique<Query>(to, insertFor(int(batch.size()))));
            insert.reset();
            int index = 1;
            for (const auto& cells : batch)
                for (const std::optional<QString>& cell : cells) {
                    if (cell)
                        insert.bind(index, *cell);
                    ++index;
                }
            insert.next();
            insert.reset();
            done += int(batch.size());
            batch.clear();
            if (progress)
                progress(done, total);
        };
        while (rows.next()) {
            std::vector<std::optional<QString>> cells;
            cells.reserve(size_t(columns));
            for (int c = 0; c < columns; ++c)
                cells.push_back(rows.isNull(c) ? std::nullopt
                                               : std::optional<QString>(rows.text(c)));
            batch.push_back(std::move(cells));
            if (int(batch.size()) == RowsPerInsert)
                flush();
        }
        flush();
    }
    // A server hands out keys after the highest copied.
    if (to.engine() == Engine::Postgres)
        for (const Table& t : Tables | std::views::filter(&Table::numbered))
            Query(to, QStringLiteral("SELECT setval(pg_get_serial_sequence('%1', '%2'), "
                                     "coalesce(max(%2), 0) + 1, false) FROM %1")
                          .arg(QLatin1String(t.name), QLatin1String(t.key)))
                .next();
    Query given(from, Statements::AuditGivenId);
    const qint64 id = given.next() ? given.integer(0) : 0;
    Query set(to, Statements::SetAuditGivenId);
    set.bind(1, id);
    set.next();
}

// A snapshot of the server database `location` as a new Velkar file `part`.
QString snapshotServer(const QString& location, const QString& part,
                       const DatabaseCopy::Options& options) {
    if (part.isEmpty())
        return Messages::CannotMakeTemporaryFile();
    QFile::remove(part); // made empty by its name's reservation; the schema makes it anew
    // The accounts are replaced by the server's, so their hashes may be cheap.
    QString problem = Schema::CreateDatabase(part, PasswordHash::CheapestCost);
    if (!problem.isEmpty())
        return problem;
    try {
        const Connection server(location, options.lockTimeoutMs);
        const Connection file(part, options.lockTimeoutMs);
        const Transaction read(server, Transaction::Read);
        Transaction write(file, Transaction::Write);
        Query(file, QStringLiteral("DELETE FROM permission")).next();
        copyRows(server, file, options.progress);
        write.commit();
    } catch (const DataError& e) {
        return e.description();
    }
    if (options.progress)
        options.progress(0, 0);
    return Schema::CheckDatabase(part, options.lockTimeoutMs, Schema::Pages::Quick,
                                 Schema::Rows::Unchecked);
}

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
    const std::unique_ptr<Connection> connection = open(working, &problem);
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

// What replacing `working` by the restore's new file `part` gives up, read from both files.
DatabaseCopy::RestoreCost costOf(const QString& part, const QString& working, const QDateTime& now,
                                 int lockTimeoutMs) {
    DatabaseCopy::RestoreCost cost;
    try {
        const Connection db(part, lockTimeoutMs);
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
        QString problem = snapshotServer(workingPath, part.path(), options);
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
    QString problem = copyChecked(workingPath, part.path(), options, Schema::Pages::Quick,
                                  Schema::Rows::Unchecked);
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
    // A file of the current version is taken as it is: what replacing costs is counted while
    // it is checked, and counts only if it passes.
    std::optional<RestoreCost> counted;
    QString problem =
        copyChecked(m_chosen, path, options, Schema::Pages::Full, Schema::Rows::Checked, [&] {
            QString unread;
            if (Schema::FileVersion(path, &unread) == Schema::CurrentVersion)
                counted = costOf(path, m_working, m_now, options.lockTimeoutMs);
        });
    if (!problem.isEmpty())
        return problem;
    if (!counted) {
        if (Schema::FileVersion(path, &problem) != Schema::CurrentVersion) {
            problem = Schema::Upgrade(path, options.passwordCost);
            if (problem.isEmpty())
                problem = Schema::CheckDatabase(path, options.lockTimeoutMs, Schema::Pages::Quick);
            if (!problem.isEmpty())
                return problem;
        }
        counted = costOf(path, m_working, m_now, options.lockTimeoutMs);
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
        problem = snapshotServer(workingPath, part.path(), options);
    } else {
        if (!QFileInfo::exists(workingPath))
            return Messages::DatabaseFileMissing(workingPath);
        problem = copyChecked(workingPath, part.path(), options, Schema::Pages::Quick);
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

QString Import(const QString& file, const QString& location, const Options& options) {
    if (EngineOf(location) != Engine::Postgres)
        return Messages::NotAServerDatabase(location);
    if (!QFileInfo(file).isFile())
        return Messages::DoesNotExist(file);
    // The file is read from a checked copy brought up to date, as a restore reads it.
    QTemporaryDir folder;
    if (!folder.isValid())
        return Messages::CannotMakeTemporaryFolder();
    PartFile part(folder.filePath(Schema::DatabaseFileName));
    QString problem = copyChecked(file, part.path(), options, Schema::Pages::Full);
    if (problem.isEmpty() && Schema::FileVersion(part.path(), &problem) != Schema::CurrentVersion &&
        problem.isEmpty())
        problem = Schema::Upgrade(part.path(), options.passwordCost);
    if (!problem.isEmpty())
        return problem;
    // A blank server database is made first; one made before and still unused is taken too.
    if (Schema::FileVersion(location, &problem) < 0) {
        problem = Schema::CreateDatabase(location, PasswordHash::CheapestCost);
        if (!problem.isEmpty())
            return problem;
    }
    problem = Schema::CheckDatabase(location, options.lockTimeoutMs);
    if (!problem.isEmpty())
        return problem;
    try {
        const Connection source(part.path(), options.lockTimeoutMs);
        const Connection server(location, options.lockTimeoutMs);
        const Transaction read(source, Transaction::Read);
        Transaction write(server, Transaction::Write);
        for (const char* table : {"userecord", "employees", "journal", "audit", "shift"}) {
            Query rows(server, QStringLiteral("SELECT count(*) FROM %1").arg(QLatin1String(table)));
            if (rows.next() && rows.integer(0) != 0)
                return Messages::ServerDatabaseHasData(QLatin1String(table));
        }
        Query(server, QStringLiteral("DELETE FROM permission")).next();
        copyRows(source, server, options.progress);
        write.commit();
        // The planner's figures for the new rows, so the first queries don't guess.
        server.run(QStringLiteral("ANALYZE"));
    } catch (const DataError& e) {
        return e.description();
    }
    return Schema::CheckDatabase(location, options.lockTimeoutMs);
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
