#include "data/LedgerTransfer.h"

#include "base/Messages.h"
#include "data/CheckedCopy.h"
#include "data/Schema.h"

#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>
#include <optional>
#include <vector>

namespace velkar {

namespace {

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

using Cells = std::vector<std::optional<QString>>;

int rowsToCopy(const Connection& from) {
    int total = 0;
    for (const Table& t : Tables) {
        Query count(from, QStringLiteral("SELECT count(*) FROM %1").arg(QLatin1String(t.name)));
        count.next();
        total += int(count.integer(0));
    }
    return total;
}

// Writes one table's rows in inserts of up to RowsPerInsert rows; the insert of a full batch is
// prepared once.
class TableWriter {
public:
    TableWriter(const Connection& to, const Table& table, QStringList columns)
        : m_to(to), m_table(table), m_columns(std::move(columns)) {}

    // Returns the rows written by this call.
    int add(Cells cells) {
        m_batch.push_back(std::move(cells));
        return int(m_batch.size()) == RowsPerInsert ? flush() : 0;
    }

    int flush() {
        const int rows = int(m_batch.size());
        if (rows == 0)
            return 0;
        std::unique_ptr<Query> partial;
        if (rows == RowsPerInsert && !m_full)
            m_full = std::make_unique<Query>(m_to, insertFor(RowsPerInsert));
        if (rows != RowsPerInsert)
            partial = std::make_unique<Query>(m_to, insertFor(rows));
        Query& insert = partial ? *partial : *m_full;
        insert.reset();
        int index = 1;
        for (const Cells& cells : m_batch)
            for (const std::optional<QString>& cell : cells) {
                if (cell)
                    insert.bind(index, *cell);
                ++index;
            }
        insert.next();
        insert.reset();
        m_batch.clear();
        return rows;
    }

private:
    QString insertFor(int rows) const {
        const QString row = QLatin1Char('(') +
                            QStringList(m_columns.size(), QStringLiteral("?")).join(',') +
                            QLatin1Char(')');
        return QStringLiteral("INSERT INTO %1 (%2) VALUES %3")
            .arg(QLatin1String(m_table.name), m_columns.join(','),
                 QStringList(rows, row).join(','));
    }

    const Connection& m_to;
    const Table& m_table;
    const QStringList m_columns;
    std::unique_ptr<Query> m_full;
    std::vector<Cells> m_batch;
};

void copyTable(const Connection& from, const Connection& to, const Table& t,
               const std::function<void(int)>& copied) {
    // A server table holds its key as a column; a file's rowid is apart.
    const bool apart =
        from.engine() != Engine::Postgres && QLatin1String(t.key) == QLatin1String("rowid");
    Query rows(from, QStringLiteral("SELECT %1* FROM %2 ORDER BY %3")
                         .arg(apart ? QStringLiteral("rowid, ") : QString(), QLatin1String(t.name),
                              QLatin1String(t.key)));
    const int columns = rows.columnCount();
    QStringList names;
    for (int c = 0; c < columns; ++c)
        names << rows.columnName(c);
    TableWriter writer(to, t, names);
    while (rows.next()) {
        Cells cells;
        cells.reserve(size_t(columns));
        for (int c = 0; c < columns; ++c)
            cells.push_back(rows.isNull(c) ? std::nullopt : std::optional<QString>(rows.text(c)));
        if (const int written = writer.add(std::move(cells)))
            copied(written);
    }
    if (const int written = writer.flush())
        copied(written);
}

} // namespace

namespace LedgerTransfer {

void CopyRows(const Connection& from, const Connection& to,
              const std::function<void(int, int)>& progress) {
    const int total = rowsToCopy(from);
    int done = 0;
    for (const Table& t : Tables)
        copyTable(from, to, t, [&](int written) {
            done += written;
            if (progress)
                progress(done, total);
        });
    // A server hands out keys after the highest copied.
    if (to.engine() == Engine::Postgres)
        for (const Table& t : Tables)
            if (t.numbered)
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

QString SnapshotServer(const QString& location, const QString& part,
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
        CopyRows(server, file, options.progress);
        write.commit();
    } catch (const DataError& e) {
        return e.description();
    }
    if (options.progress)
        options.progress(0, 0);
    return Schema::CheckDatabase(part, options.lockTimeoutMs, Schema::Pages::Quick,
                                 Schema::Rows::Unchecked);
}

} // namespace LedgerTransfer

// Lives beside the copy it runs: the rest of DatabaseCopy is about files.
namespace DatabaseCopy {

QString Import(const QString& file, const QString& location, const Options& options) {
    if (EngineOf(location) != Engine::Postgres)
        return Messages::NotAServerDatabase(location);
    if (!QFileInfo(file).isFile())
        return Messages::DoesNotExist(file);
    // The file is read from a checked copy brought up to date, as a restore reads it.
    QTemporaryDir folder;
    if (!folder.isValid())
        return Messages::CannotMakeTemporaryFolder();
    CheckedCopy::PartFile part(folder.filePath(Schema::DatabaseFileName));
    QString problem = CheckedCopy::CopyChecked(file, part.path(), options, Schema::Pages::Full);
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
        LedgerTransfer::CopyRows(source, server, options.progress);
        write.commit();
        // The planner's figures for the new rows, so the first queries don't guess.
        server.run(QStringLiteral("ANALYZE"));
    } catch (const DataError& e) {
        return e.description();
    }
    return Schema::CheckDatabase(location, options.lockTimeoutMs);
}

} // namespace DatabaseCopy

} // namespace velkar
