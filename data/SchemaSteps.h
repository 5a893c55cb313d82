#pragma once

#include "data/PasswordHash.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <latch>
#include <vector>

struct sqlite3;

namespace velkar {

class Connection;

// The steps that make, upgrade and read a ledger's schema, shared by its making (Schema.cpp)
// and its check (SchemaCheck.cpp).
namespace SchemaSteps {

int readVersion(sqlite3* db, QString* problem);
int readVersion(const Connection& db, QString* problem);
// Runs `sql`; why it failed, or an empty text.
QString execute(sqlite3* db, const char* sql);
// Sets a connection up to read much of a large file: a check, or a copy.
QString prepareLargeReads(sqlite3* db);
// The rows of a statement without parameters, each as its columns' texts; a null cell reads as
// a null QString.
QList<QStringList> rows(sqlite3* db, const char* sql, QString* problem);
// Takes an open transaction from version `from` to `to`, stamping the version.
QString migrate(const Connection& db, int from, int to, PasswordHash::Cost cost);
QString createVersionZero(const Connection& connection);
// Every object of a server schema as one line of text.
QStringList serverObjects(const Connection& db, const QString& schema);
// Run in the caller's transaction.
void createOnServer(const Connection& db, int version, PasswordHash::Cost cost, bool accounts);
// An index of a table, matched against the table's rows on a connection of its own.
struct TableIndex {
    QByteArray table;
    QByteArray index;
    QList<QByteArray> columns;
    QByteArray lastColumn; // the table's right-most column
    bool unique = false;
    std::vector<bool> descending; // of each column
    std::vector<bool> nullable;   // each column not declared NOT NULL
};
// The table's indexes when each can be matched against the table apart from the others: a
// table with a rowid whose indexes are none of them partial, and each of table columns in
// SQLite's own order of texts (BINARY). Empty otherwise, or when the table has none.
std::vector<TableIndex> separateIndexes(sqlite3* db, const QByteArray& table);
// Indexes of one table matched against it as SQLite's integrity_check of the table matches
// them: each index's entries read apart, on any connection, then the table read once.
class IndexMatch {
public:
    // `rows`: about how many rows the table has, so that each index's entries are held at once
    // in the room they need. The table is read in `slices` parts of its rowids, which
    // connections of their own may read at the same time.
    explicit IndexMatch(std::vector<TableIndex> indexes, qint64 rows = 0, std::size_t slices = 1);
    ~IndexMatch();
    IndexMatch(const IndexMatch&) = delete;
    IndexMatch& operator=(const IndexMatch&) = delete;

    std::size_t size() const { return m_indexes.size(); }
    std::size_t slices() const;
    // Reads the entries of index `i`, held in memory until the match; `failed` says why they
    // could not be read. True for the last to be read.
    bool read(sqlite3* db, std::size_t i, QString* failed);
    // Reads slice `slice` of the table and looks for each row among the entries, once every
    // index is read (it waits for them); `failed` says why the slice could not finish. True for
    // the last slice to finish: findings() is the caller's then.
    bool matchSlice(sqlite3* db, std::size_t slice, QString* failed);
    // What integrity_check of the table finds in the indexes read, in its words, once every
    // slice is matched. Lets the entries go.
    QStringList findings();
    // Every slice, then the findings: for a caller that read every index itself.
    QStringList match(sqlite3* db, QString* failed);

private:
    struct Entries;
    struct Slice;
    std::pair<qint64, qint64> bounds(std::size_t slice) const;
    std::vector<TableIndex> m_indexes;
    std::vector<Entries> m_entries;
    std::vector<Slice> m_slices;
    std::size_t m_rows;
    std::atomic<std::size_t> m_unread;
    std::latch m_read;
    std::atomic<std::size_t> m_unmatched;
};
// SQLite's full check of the file `view` reads, shared among the cores; `alongside` runs
// meanwhile. The findings, none when all is sound.
QStringList pageFindings(sqlite3* view, QString* problem, const std::function<void()>& alongside);

} // namespace SchemaSteps

} // namespace velkar
