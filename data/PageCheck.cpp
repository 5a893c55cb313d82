#include "data/SchemaSteps.h"

#include <sqlite3.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <limits>
#include <memory>
#include <thread>
#include <vector>

#include <sys/vfs.h>

namespace velkar::SchemaSteps {

namespace {

// One part of the full check: a pragma, the read of one index of a match, or a slice of the
// match's read of the table.
struct Part {
    QByteArray pragma;
    std::shared_ptr<IndexMatch> match;
    std::size_t member = 0;
    bool slice = false; // `member` is the slice's
};

// What one match may hold in memory of its indexes' entries, at about 48 bytes an entry: a
// table too large for all its indexes at once is read once for each few of them.
constexpr qint64 MatchBytes = qint64(256) << 20;
// A table larger than this many rows stays in SQLite's own check, which holds nothing in memory.
constexpr qint64 MostMatchedRows = (MatchBytes << 3) / 48;

// How many rows the table can hold at most: its rowids' span, whatever their signs.
qint64 rowSpan(sqlite3* view, const QByteArray& quoted) {
    sqlite3_stmt* stmt = nullptr;
    qint64 span = 0;
    const QByteArray sql = "SELECT max(rowid), min(rowid) FROM " + quoted;
    if (sqlite3_prepare_v2(view, sql.constData(), -1, &stmt, nullptr) == SQLITE_OK &&
        sqlite3_step(stmt) == SQLITE_ROW && sqlite3_column_type(stmt, 0) != SQLITE_NULL) {
        const long double wide = (long double)sqlite3_column_int64(stmt, 0) -
                                 (long double)sqlite3_column_int64(stmt, 1) + 1;
        span = wide >= (long double)std::numeric_limits<qint64>::max()
                   ? std::numeric_limits<qint64>::max()
                   : qint64(wide);
    }
    sqlite3_finalize(stmt);
    return span;
}

// A table of fewer rows than this is read in one slice: its read costs less than a part's start.
constexpr qint64 SlicedRows = 100000;

// The parts that match the indexes against a table of about `rows` rows: the reads of the
// indexes in `parts`, the table's slices in `slices`, one for each of `cores`.
void matchParts(std::vector<TableIndex> indexes, qint64 rows, unsigned cores,
                std::vector<std::pair<qint64, Part>>& parts,
                std::vector<std::pair<qint64, Part>>& slices) {
    const std::size_t together =
        std::size_t(std::clamp<qint64>(MatchBytes / std::max<qint64>(rows * 48, 1), 1,
                                       std::max<qint64>(qint64(indexes.size()), 1)));
    for (std::size_t first = 0; first < indexes.size(); first += together) {
        const auto begin = indexes.begin() + std::ptrdiff_t(first);
        const auto end =
            indexes.begin() + std::ptrdiff_t(std::min(first + together, indexes.size()));
        auto match = std::make_shared<IndexMatch>(std::vector<TableIndex>(begin, end), rows,
                                                  rows < SlicedRows ? 1 : cores);
        for (std::size_t member = 0; member < match->size(); ++member)
            parts.emplace_back(rows, Part{{}, match, member});
        for (std::size_t slice = 0; slice < match->slices(); ++slice)
            slices.emplace_back(rows, Part{{}, match, slice, true});
    }
}

// The parts of the full check, the largest first so that no core is left with a large one at
// the end, and quick_check second: integrity_check of each table, except that a table whose
// indexes can be matched apart gives a part for each index and for each slice of the table, so
// that the cores share a large table's indexes and its read. The slices come after every read,
// so that a core waits for the last of a match's reads only when nothing else is left.
std::vector<Part> checkParts(sqlite3* view, unsigned cores, QString* problem) {
    const QList<QStringList> tables =
        rows(view,
             "SELECT name FROM sqlite_master WHERE type = 'table' AND "
             "coalesce(sql, '') NOT LIKE 'CREATE VIRTUAL%'",
             problem);
    if (!problem->isEmpty())
        return {};
    std::vector<std::pair<qint64, Part>> bySize, slices;
    for (const QStringList& table : tables) {
        const QByteArray name = table.value(0).toUtf8();
        const QByteArray quoted = '"' + QByteArray(name).replace('"', "\"\"") + '"';
        const qint64 size = rowSpan(view, quoted);
        std::vector<TableIndex> indexes;
        if (size <= MostMatchedRows)
            indexes = separateIndexes(view, name);
        if (indexes.empty())
            bySize.emplace_back(size, Part{"PRAGMA integrity_check(" + quoted + ")", {}});
        matchParts(std::move(indexes), size, cores, bySize, slices);
    }
    const auto largestFirst = [](const auto& a, const auto& b) { return a.first > b.first; };
    std::stable_sort(bySize.begin(), bySize.end(), largestFirst);
    std::stable_sort(slices.begin(), slices.end(), largestFirst);
    std::vector<Part> parts;
    for (auto& [size, part] : bySize)
        parts.push_back(std::move(part));
    for (auto& [size, part] : slices)
        parts.push_back(std::move(part));
    parts.insert(parts.begin() + std::min<std::ptrdiff_t>(1, std::ssize(parts)),
                 Part{"PRAGMA quick_check", {}});
    return parts;
}

// Whether `file` lies on a disk of this machine, by the kind of its file system.
bool onLocalDisk(const char* file) {
    struct statfs where {};
    if (!file || ::statfs(file, &where) != 0)
        return false;
    constexpr std::array<unsigned long, 5> local{
        0xEF53,     // ext2, ext3, ext4
        0x58465342, // xfs
        0x9123683E, // btrfs
        0xF2F52010, // f2fs
        0x01021994, // tmpfs
    };
    return std::find(local.begin(), local.end(), (unsigned long)where.f_type) != local.end();
}

// A connection of its own to `file` with its read started; null when it can't start one (a
// writer waiting to commit). Only the thread that reads uses it, so it does without SQLite's
// locking.
sqlite3* checkReader(const char* file) {
    sqlite3* db = nullptr;
    if (file && *file &&
        sqlite3_open_v2(file, &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr) ==
            SQLITE_OK &&
        execute(db, "BEGIN; SELECT count(*) FROM sqlite_master").isEmpty() &&
        prepareLargeReads(db).isEmpty())
        return db;
    sqlite3_close(db);
    return nullptr;
}

// What the part finds; `failed` says why it could not finish.
QStringList runPart(sqlite3* db, const Part& part, QString* failed) {
    QStringList found;
    if (part.slice) {
        // The last slice to finish gives the match's findings.
        if (part.match->matchSlice(db, part.member, failed))
            found = part.match->findings();
        return found;
    }
    if (part.match) {
        part.match->read(db, part.member, failed);
        return found;
    }
    for (const QStringList& line : rows(db, part.pragma.constData(), failed))
        if (line.value(0) != QLatin1String("ok"))
            found << line.value(0);
    return found;
}

// A part that could not finish counts as a finding beside the others'; alone, as its reason.
QStringList mergedFindings(const std::vector<QStringList>& found,
                           const std::vector<QString>& failed, QString* problem) {
    QStringList findings;
    QString firstFailure;
    for (std::size_t i = 0; i < found.size(); ++i) {
        findings << found[i];
        if (!failed[i].isEmpty() && firstFailure.isEmpty())
            firstFailure = failed[i];
    }
    if (findings.isEmpty())
        *problem = firstFailure;
    else if (!firstFailure.isEmpty())
        findings << firstFailure;
    return findings;
}

} // namespace

// A larger cache than the default 2 MB makes matching the indexes in key order a good deal
// faster on a large file; mapping a file into memory saves copying each page read, but only on
// a disk of this machine: elsewhere a read that fails would be a signal, not an error.
QString prepareLargeReads(sqlite3* db) {
    QString problem = execute(db, "PRAGMA cache_size = -65536");
    if (problem.isEmpty() && onLocalDisk(sqlite3_db_filename(db, "main")))
        problem = execute(db, "PRAGMA mmap_size = 1073741824");
    return problem;
}

// SQLite's full check, split so that the cores share it: quick_check over the whole file (each
// page's structure, which pages are in use, NOT NULL and CHECK) and what integrity_check adds,
// the match of each index against its table: integrity_check of each table, or of each index
// alone where the table allows. Together they are the full check. Each part reads on a
// connection of its own, started while `view` holds its read, so all see the same state;
// `alongside` runs on this thread meanwhile. Returns the findings, nothing when all is sound.
QStringList pageFindings(sqlite3* view, QString* problem, const std::function<void()>& alongside) {
    const unsigned cores = std::clamp(std::thread::hardware_concurrency(), 2u, 4u);
    const std::vector<Part> checks = checkParts(view, cores, problem);
    if (!problem->isEmpty())
        return {};
    const char* file = sqlite3_db_filename(view, "main");
    std::vector<QStringList> found(checks.size());
    std::vector<QString> failed(checks.size());
    std::atomic<std::size_t> next{0};
    const auto work = [&](sqlite3* db) {
        for (std::size_t i; (i = next++) < checks.size();)
            found[i] = runPart(db, checks[i], &failed[i]);
    };
    // A connection that can't start its read leaves its share to the others, the view itself
    // at the end.
    std::vector<std::thread> workers;
    for (unsigned w = 0; w < cores && w < checks.size(); ++w) {
        sqlite3* db = checkReader(file);
        if (!db)
            break;
        workers.emplace_back([&work, db] {
            work(db);
            sqlite3_close(db);
        });
    }
    if (alongside)
        alongside();
    for (std::thread& worker : workers)
        worker.join();
    work(view);
    return mergedFindings(found, failed, problem);
}

} // namespace velkar::SchemaSteps
