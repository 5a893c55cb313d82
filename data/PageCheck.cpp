#include "data/SchemaSteps.h"

#include <sqlite3.h>

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

namespace velkar::SchemaSteps {

namespace {

// The parts of the full check: integrity_check of each table, the largest first so that no core
// is left with a large one at the end, and quick_check second.
std::vector<QByteArray> checkParts(sqlite3* view, QString* problem) {
    const QList<QStringList> tables =
        rows(view,
             "SELECT name FROM sqlite_master WHERE type = 'table' AND "
             "coalesce(sql, '') NOT LIKE 'CREATE VIRTUAL%'",
             problem);
    if (!problem->isEmpty())
        return {};
    std::vector<std::pair<qint64, QByteArray>> bySize;
    for (const QStringList& table : tables) {
        QString ignored;
        const QByteArray name = table.value(0).toUtf8();
        const QByteArray quoted = '"' + QByteArray(name).replace('"', "\"\"") + '"';
        const qint64 size = rows(view, ("SELECT max(rowid) FROM " + quoted).constData(), &ignored)
                                .value(0)
                                .value(0)
                                .toLongLong();
        bySize.emplace_back(size, "PRAGMA integrity_check(" + quoted + ")");
    }
    std::stable_sort(bySize.begin(), bySize.end(),
                     [](const auto& a, const auto& b) { return a.first > b.first; });
    std::vector<QByteArray> checks;
    for (auto& [size, sql] : bySize)
        checks.push_back(std::move(sql));
    checks.insert(checks.begin() + std::min<std::ptrdiff_t>(1, std::ssize(checks)),
                  QByteArray("PRAGMA quick_check"));
    return checks;
}

// A connection of its own to `file` with its read started; null when it can't start one (a
// writer waiting to commit).
sqlite3* checkReader(const char* file) {
    sqlite3* db = nullptr;
    if (file && *file && sqlite3_open_v2(file, &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK &&
        execute(db, "BEGIN; SELECT count(*) FROM sqlite_master").isEmpty() &&
        execute(db, "PRAGMA cache_size = -65536").isEmpty())
        return db;
    sqlite3_close(db);
    return nullptr;
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

// SQLite's full check, split so that the cores share it: quick_check over the whole file (each
// page's structure, which pages are in use, NOT NULL) and integrity_check of each table, which
// matches its indexes against it. Together they are the full check. Each part reads on a
// connection of its own, started while `view` holds its read, so all see the same state;
// `alongside` runs on this thread meanwhile. Returns the findings, nothing when all is sound.
QStringList pageFindings(sqlite3* view, QString* problem, const std::function<void()>& alongside) {
    const std::vector<QByteArray> checks = checkParts(view, problem);
    if (!problem->isEmpty())
        return {};
    const char* file = sqlite3_db_filename(view, "main");
    std::vector<QStringList> found(checks.size());
    std::vector<QString> failed(checks.size());
    std::atomic<std::size_t> next{0};
    const auto work = [&](sqlite3* db) {
        for (std::size_t i; (i = next++) < checks.size();) {
            for (const QStringList& line : rows(db, checks[i].constData(), &failed[i]))
                if (line.value(0) != QLatin1String("ok"))
                    found[i] << line.value(0);
        }
    };
    // A connection that can't start its read leaves its share to the others, the view itself
    // at the end.
    const unsigned cores = std::clamp(std::thread::hardware_concurrency(), 2u, 4u);
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
