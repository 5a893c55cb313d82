#include "data/SchemaSteps.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

namespace velkar::SchemaSteps {

namespace {

// As many findings of one index as SQLite's own check gives in all.
constexpr int MostFindings = 100;
// The entries whose keys tell how much room all will take.
constexpr std::size_t KeysSampled = 1024;
// Rowids spread over fewer than this many more than four to an entry are sorted by counting.
constexpr std::size_t CountedSpan = 1 << 16;
// A rowid far beyond the count of rows reserves no more room than this many entries.
constexpr qint64 MostRowsReserved = qint64(1) << 22;

QByteArray quoted(const QByteArray& name) {
    return '"' + QByteArray(name).replace('"', "\"\"") + '"';
}

struct Statement {
    sqlite3_stmt* stmt = nullptr;
    Statement() = default;
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    ~Statement() { sqlite3_finalize(stmt); }
};

// Prepares `sql` with the name bound as ?1, when given.
bool prepare(sqlite3* db, const QByteArray& sql, Statement& s, const QByteArray& name = {}) {
    if (sqlite3_prepare_v2(db, sql.constData(), int(sql.size()), &s.stmt, nullptr) != SQLITE_OK)
        return false;
    return name.isNull() || sqlite3_bind_text(s.stmt, 1, name.constData(), int(name.size()),
                                              SQLITE_TRANSIENT) == SQLITE_OK;
}

// Appends the column's value so that two values give the same bytes exactly when they are of
// the same type and equal: stricter than SQLite's comparison, which a sound file meets all the
// same since an index entry is made from its row's values.
void appendValue(std::string& to, sqlite3_stmt* stmt, int column) {
    const int type = sqlite3_column_type(stmt, column);
    to.push_back(char(type));
    if (type == SQLITE_INTEGER) {
        const sqlite3_int64 v = sqlite3_column_int64(stmt, column);
        to.append(reinterpret_cast<const char*>(&v), sizeof v);
    } else if (type == SQLITE_FLOAT) {
        const double v = sqlite3_column_double(stmt, column);
        to.append(reinterpret_cast<const char*>(&v), sizeof v);
    } else if (type == SQLITE_TEXT || type == SQLITE_BLOB) {
        const void* data = type == SQLITE_TEXT ? sqlite3_column_text(stmt, column)
                                               : sqlite3_column_blob(stmt, column);
        const int size = sqlite3_column_bytes(stmt, column);
        to.append(reinterpret_cast<const char*>(&size), sizeof size);
        to.append(static_cast<const char*>(data), std::size_t(size));
    }
}

// Appends the key of the row in columns 1 to `columns`.
void appendKey(std::string& to, sqlite3_stmt* stmt, int columns) {
    for (int c = 1; c <= columns; ++c)
        appendValue(to, stmt, c);
}

// An entry's rowid and where its columns are among the index's keys.
struct Entry {
    sqlite3_int64 rowid;
    std::uint32_t begin;
    std::uint32_t size;
};

// One value as appendValue wrote it.
struct Value {
    int type = SQLITE_NULL;
    sqlite3_int64 integer = 0;
    double real = 0;
    const char* bytes = nullptr;
    int size = 0;
};

// Reads the value at `at` and moves past it.
Value parseValue(const char*& at) {
    Value v;
    v.type = *at++;
    if (v.type == SQLITE_INTEGER) {
        std::memcpy(&v.integer, at, sizeof v.integer);
        at += sizeof v.integer;
    } else if (v.type == SQLITE_FLOAT) {
        std::memcpy(&v.real, at, sizeof v.real);
        at += sizeof v.real;
    } else if (v.type == SQLITE_TEXT || v.type == SQLITE_BLOB) {
        std::memcpy(&v.size, at, sizeof v.size);
        v.bytes = at + sizeof v.size;
        at = v.bytes + v.size;
    }
    return v;
}

int sign(auto difference) {
    return difference < 0 ? -1 : difference > 0 ? 1 : 0;
}

int rank(int type) {
    return type == SQLITE_NULL ? 0 : type == SQLITE_TEXT ? 2 : type == SQLITE_BLOB ? 3 : 1;
}

// Two numbers by value: a whole number against a real compares exactly.
int compareNumbers(const Value& a, const Value& b) {
    if (a.type == SQLITE_INTEGER && b.type == SQLITE_INTEGER)
        return a.integer < b.integer ? -1 : a.integer > b.integer ? 1 : 0;
    const long double x = a.type == SQLITE_INTEGER ? (long double)a.integer : a.real;
    const long double y = b.type == SQLITE_INTEGER ? (long double)b.integer : b.real;
    return x < y ? -1 : x > y ? 1 : 0;
}

// SQLite's order of two values under the BINARY collation: NULL, numbers by value, texts, then
// blobs, each by their bytes.
int compareValues(const Value& a, const Value& b) {
    if (rank(a.type) != rank(b.type))
        return sign(rank(a.type) - rank(b.type));
    if (rank(a.type) == 1)
        return compareNumbers(a, b);
    if (a.type == SQLITE_NULL)
        return 0;
    const int common = std::min(a.size, b.size);
    const int bytes = common > 0 ? std::memcmp(a.bytes, b.bytes, std::size_t(common)) : 0;
    return bytes != 0 ? sign(bytes) : sign(a.size - b.size);
}

// How the entry `b` follows `a` in the index: the order of their columns (each as the index
// sorts it), and whether they share a value that allows a twin in a unique index (NULL in a
// column that may hold it).
struct KeyOrder {
    int columns = 0;
    bool nullAllowed = false;
};
KeyOrder compareKeys(const std::string& keys, const Entry& a, const Entry& b,
                     const TableIndex& index) {
    const char* x = keys.data() + a.begin;
    const char* y = keys.data() + b.begin;
    KeyOrder order;
    for (std::size_t c = 0; c < std::size_t(index.columns.size()); ++c) {
        const Value u = parseValue(x);
        const Value v = parseValue(y);
        if (u.type == SQLITE_NULL && index.nullable[c])
            order.nullAllowed = true;
        if (order.columns == 0)
            order.columns = compareValues(u, v) * (index.descending[c] ? -1 : 1);
    }
    return order;
}

// The index's entries: the rowid at the end of each, then its columns.
QByteArray entriesSql(const TableIndex& index) {
    QByteArray sql = "SELECT rowid";
    for (const QByteArray& column : index.columns)
        sql += ", " + quoted(column);
    return sql + " FROM " + quoted(index.table) + " INDEXED BY " + quoted(index.index);
}

// Whether the entries are read from the index alone: read through the table, they would only
// be the table's own rows again.
bool readsIndexAlone(sqlite3* db, const TableIndex& index) {
    Statement plan;
    if (!prepare(db, "EXPLAIN QUERY PLAN " + entriesSql(index), plan))
        return false;
    int steps = 0;
    bool covering = false;
    while (sqlite3_step(plan.stmt) == SQLITE_ROW) {
        ++steps;
        const QByteArray step(reinterpret_cast<const char*>(sqlite3_column_text(plan.stmt, 3)));
        covering = step.endsWith("COVERING INDEX " + index.index);
    }
    return steps == 1 && covering;
}

bool byRowid(const Entry& a, const Entry& b) {
    return a.rowid < b.rowid;
}

// Puts the entries in rowid order, those of one rowid as they came. Rowids are mostly close
// together, so they are counted out rather than compared.
void sortByRowid(std::vector<Entry>& entries) {
    const auto [least, most] = std::minmax_element(entries.begin(), entries.end(), byRowid);
    const auto span = (unsigned long long)most->rowid - (unsigned long long)least->rowid;
    if (span >= 4 * entries.size() + CountedSpan) {
        std::stable_sort(entries.begin(), entries.end(), byRowid);
        return;
    }
    const sqlite3_int64 first = least->rowid;
    std::vector<std::uint32_t> starts(std::size_t(span) + 2);
    for (const Entry& entry : entries)
        ++starts[std::size_t(entry.rowid - first) + 1];
    for (std::size_t i = 1; i < starts.size(); ++i)
        starts[i] += starts[i - 1];
    std::vector<Entry> sorted(entries.size());
    for (const Entry& entry : entries)
        sorted[starts[std::size_t(entry.rowid - first)]++] = entry;
    entries.swap(sorted);
}

// Every entry of the index, ordered by rowid. The entries come in the index's order, which
// SQLite's seeks rely on: each must follow the one before, and in a unique index differ from it
// in its columns. What breaks that goes into `findings`.
QString readEntries(sqlite3* db, const TableIndex& index, std::vector<Entry>& entries,
                    std::string& keys, QStringList& findings) {
    Statement scan;
    if (!prepare(db, entriesSql(index), scan))
        return QString::fromUtf8(sqlite3_errmsg(db));
    const int columns = int(index.columns.size());
    const QString name = QString::fromUtf8(index.index);
    int rc;
    while ((rc = sqlite3_step(scan.stmt)) == SQLITE_ROW) {
        const std::size_t begin = keys.size();
        appendKey(keys, scan.stmt, columns);
        if (keys.size() > std::numeric_limits<std::uint32_t>::max())
            return QStringLiteral("index %1 too large to match").arg(name);
        entries.push_back({sqlite3_column_int64(scan.stmt, 0), std::uint32_t(begin),
                           std::uint32_t(keys.size() - begin)});
        // The room the keys will take, from the first ones, rather than doubled as they come.
        if (entries.size() == KeysSampled)
            keys.reserve(keys.size() / KeysSampled * entries.capacity() * 11 / 10);
        if (entries.size() < 2 || findings.size() >= MostFindings)
            continue;
        const Entry& before = entries[entries.size() - 2];
        const Entry& entry = entries.back();
        const KeyOrder order = compareKeys(keys, before, entry, index);
        if (order.columns > 0 || (order.columns == 0 && before.rowid >= entry.rowid))
            findings << QStringLiteral("entry of rowid %1 out of order in index %2")
                            .arg(entry.rowid)
                            .arg(name);
        else if (index.unique && order.columns == 0 && !order.nullAllowed)
            findings << QStringLiteral("non-unique entry in index %1").arg(name);
    }
    if (rc != SQLITE_DONE)
        return QString::fromUtf8(sqlite3_errmsg(db));
    // An index on the time of booking holds the rows in rowid order already: nothing to sort.
    if (std::is_sorted(entries.begin(), entries.end(), byRowid))
        return {};
    sortByRowid(entries);
    // The keys put in rowid order too, so that the table's read finds them one after another
    // rather than all over memory.
    std::string inOrder;
    inOrder.reserve(keys.size());
    for (Entry& entry : entries) {
        const auto begin = std::uint32_t(inOrder.size());
        inOrder.append(keys, entry.begin, entry.size);
        entry.begin = begin;
    }
    keys.swap(inOrder);
    return {};
}

// One row's values of the columns read, each as appendValue gives it.
class RowValues {
public:
    explicit RowValues(int columns) : m_bounds(std::size_t(columns) + 1) {}
    // Takes the values of columns 1 to `columns` of the statement's row.
    void take(sqlite3_stmt* stmt) {
        m_values.clear();
        for (std::size_t c = 0; c + 1 < m_bounds.size(); ++c) {
            m_bounds[c] = m_values.size();
            appendValue(m_values, stmt, int(c) + 1);
        }
        m_bounds.back() = m_values.size();
    }
    // Whether `key`, from `at` for `size` bytes, holds the values of the columns `positions`
    // one after the other, and nothing else.
    bool heldBy(const std::string& key, std::size_t at, std::size_t size,
                const std::vector<int>& positions) const {
        const std::size_t end = at + size;
        for (const int c : positions) {
            const std::size_t begin = m_bounds[std::size_t(c)];
            const std::size_t length = m_bounds[std::size_t(c) + 1] - begin;
            if (at + length > end || key.compare(at, length, m_values, begin, length) != 0)
                return false;
            at += length;
        }
        return at == end;
    }

private:
    std::string m_values;
    std::vector<std::size_t> m_bounds;
};

// The columns any of the indexes holds, each once, and where each index's columns are among
// them.
QList<QByteArray> columnsOf(const std::vector<TableIndex>& indexes,
                            std::vector<std::vector<int>>& positions) {
    QList<QByteArray> columns;
    for (const TableIndex& index : indexes) {
        std::vector<int> at;
        for (const QByteArray& column : index.columns) {
            if (!columns.contains(column))
                columns << column;
            at.push_back(int(columns.indexOf(column)));
        }
        positions.push_back(std::move(at));
    }
    return columns;
}

} // namespace

std::vector<TableIndex> separateIndexes(sqlite3* db, const QByteArray& table) {
    // A table without a rowid keeps its indexes in its own check.
    Statement hasRowid;
    if (!prepare(db, "SELECT rowid FROM " + quoted(table) + " LIMIT 0", hasRowid))
        return {};
    Statement info;
    if (!prepare(db, "SELECT name, \"notnull\" FROM pragma_table_info(?1) ORDER BY cid", info,
                 table))
        return {};
    QList<QByteArray> nullable;
    QByteArray lastColumn;
    while (sqlite3_step(info.stmt) == SQLITE_ROW) {
        lastColumn = reinterpret_cast<const char*>(sqlite3_column_text(info.stmt, 0));
        if (sqlite3_column_int(info.stmt, 1) == 0)
            nullable << lastColumn;
    }
    Statement list;
    if (lastColumn.isEmpty() ||
        !prepare(db, "SELECT name, \"unique\", partial FROM pragma_index_list(?1)", list, table))
        return {};
    std::vector<TableIndex> found;
    while (sqlite3_step(list.stmt) == SQLITE_ROW) {
        // A partial index holds only some rows: the table's own check keeps all its indexes.
        if (sqlite3_column_int(list.stmt, 2) != 0)
            return {};
        TableIndex index{table,
                         reinterpret_cast<const char*>(sqlite3_column_text(list.stmt, 0)),
                         {},
                         lastColumn,
                         sqlite3_column_int(list.stmt, 1) != 0,
                         {},
                         {}};
        Statement columns;
        if (!prepare(db, "SELECT cid, name, \"desc\", coll FROM pragma_index_xinfo(?1) WHERE key",
                     columns, index.index))
            return {};
        while (sqlite3_step(columns.stmt) == SQLITE_ROW) {
            const QByteArray column(
                reinterpret_cast<const char*>(sqlite3_column_text(columns.stmt, 1)));
            const QByteArray collation(
                reinterpret_cast<const char*>(sqlite3_column_text(columns.stmt, 3)));
            // An expression, or an order this match does not know.
            if (sqlite3_column_int(columns.stmt, 0) < 0 || collation != "BINARY")
                return {};
            index.columns << column;
            index.descending.push_back(sqlite3_column_int(columns.stmt, 2) != 0);
            index.nullable.push_back(nullable.contains(column));
        }
        if (index.columns.isEmpty() || !readsIndexAlone(db, index))
            return {};
        found.push_back(std::move(index));
    }
    return found;
}

struct IndexMatch::Entries {
    std::vector<Entry> list;
    std::string keys;
    QStringList findings; // of the index's order
    bool read = false;

    // The first entry of a rowid not below `rowid`.
    std::size_t from(sqlite3_int64 rowid) const {
        return std::size_t(
            std::lower_bound(list.begin(), list.end(), rowid,
                             [](const Entry& e, sqlite3_int64 r) { return e.rowid < r; }) -
            list.begin());
    }

    // Whether an entry of `rowid` holds the row's values. `next` is the first entry of a rowid
    // not yet matched; the entries of smaller rowids are passed over, as the rows come in rowid
    // order.
    bool holds(std::size_t& next, sqlite3_int64 rowid, const RowValues& row,
               const std::vector<int>& positions) const {
        while (next < list.size() && list[next].rowid < rowid)
            ++next;
        bool present = false;
        for (; next < list.size() && list[next].rowid == rowid; ++next)
            present = present || row.heldBy(keys, list[next].begin, list[next].size, positions);
        return present;
    }
};

// One slice's rows: how many, and which of them no entry of an index holds.
struct IndexMatch::Slice {
    std::size_t rows = 0;
    std::vector<std::pair<std::size_t, std::size_t>> missing; // row within the slice, index
    bool finished = false;
};

IndexMatch::IndexMatch(std::vector<TableIndex> indexes, qint64 rows, std::size_t slices)
    : m_indexes(std::move(indexes)), m_entries(m_indexes.size()),
      m_slices(std::max<std::size_t>(slices, 1)),
      m_rows(std::size_t(std::clamp<qint64>(rows, 0, MostRowsReserved))),
      m_unread(m_indexes.size()), m_read(std::ptrdiff_t(m_indexes.size())),
      m_unmatched(m_slices.size()) {}

IndexMatch::~IndexMatch() = default;

std::size_t IndexMatch::slices() const {
    return m_slices.size();
}

bool IndexMatch::read(sqlite3* db, std::size_t i, QString* failed) {
    Entries& entries = m_entries[i];
    entries.list.reserve(m_rows);
    *failed = readEntries(db, m_indexes[i], entries.list, entries.keys, entries.findings);
    entries.read = failed->isEmpty();
    if (!entries.read)
        entries = {};
    m_read.count_down();
    return m_unread.fetch_sub(1, std::memory_order_acq_rel) == 1;
}

// The rowids of slice `slice`, from the first to the last: the entries of an index read share
// them out evenly.
std::pair<qint64, qint64> IndexMatch::bounds(std::size_t slice) const {
    constexpr auto least = std::numeric_limits<sqlite3_int64>::min();
    constexpr auto most = std::numeric_limits<sqlite3_int64>::max();
    const auto read = std::find_if(m_entries.begin(), m_entries.end(),
                                   [](const Entries& e) { return e.read && !e.list.empty(); });
    if (read == m_entries.end())
        return {slice == 0 ? least : most, slice == 0 ? most : least};
    const std::vector<Entry>& list = read->list;
    const auto start = [&](std::size_t k) { return list[k * list.size() / m_slices.size()].rowid; };
    const sqlite3_int64 first = slice == 0 ? least : start(slice);
    const sqlite3_int64 last = slice + 1 == m_slices.size() ? most : start(slice + 1) - 1;
    return {first, last};
}

// Reads the slice's rows in rowid order, each looked for among the entries of its rowid.
bool IndexMatch::matchSlice(sqlite3* db, std::size_t slice, QString* failed) {
    m_read.wait();
    std::vector<std::vector<int>> positions;
    const QList<QByteArray> columns = columnsOf(m_indexes, positions);
    // The right-most column read decodes each row's whole header, as the table's check does.
    QByteArray sql = "SELECT rowid";
    for (const QByteArray& column : columns)
        sql += ", " + quoted(column);
    if (const QByteArray& last = m_indexes.front().lastColumn; !columns.contains(last))
        sql += ", typeof(" + quoted(last) + ")";
    sql += " FROM " + quoted(m_indexes.front().table) +
           " NOT INDEXED WHERE rowid BETWEEN ?1 AND ?2 ORDER BY rowid";
    Slice& part = m_slices[slice];
    const auto [first, last] = bounds(slice);
    Statement scan;
    if (!prepare(db, sql, scan) || sqlite3_bind_int64(scan.stmt, 1, first) != SQLITE_OK ||
        sqlite3_bind_int64(scan.stmt, 2, last) != SQLITE_OK) {
        *failed = QString::fromUtf8(sqlite3_errmsg(db));
    } else {
        std::vector<std::size_t> next;
        std::vector<int> missing(m_indexes.size());
        for (const Entries& entries : m_entries)
            next.push_back(entries.from(first));
        RowValues row(int(columns.size()));
        int rc;
        while ((rc = sqlite3_step(scan.stmt)) == SQLITE_ROW) {
            ++part.rows;
            const sqlite3_int64 rowid = sqlite3_column_int64(scan.stmt, 0);
            row.take(scan.stmt);
            for (std::size_t i = 0; i < m_indexes.size(); ++i) {
                const Entries& entries = m_entries[i];
                if (entries.read && !entries.holds(next[i], rowid, row, positions[i]) &&
                    ++missing[i] <= MostFindings)
                    part.missing.emplace_back(part.rows, i);
            }
        }
        part.finished = rc == SQLITE_DONE;
        if (!part.finished)
            *failed = QString::fromUtf8(sqlite3_errmsg(db));
    }
    return m_unmatched.fetch_sub(1, std::memory_order_acq_rel) == 1;
}

QStringList IndexMatch::findings() {
    QStringList findings;
    for (const Entries& entries : m_entries)
        findings << entries.findings;
    // SQLite counts the rows, whatever their rowids: a slice's rows follow those before it.
    std::size_t rows = 0;
    bool finished = true;
    std::vector<int> missing(m_indexes.size());
    for (const Slice& slice : m_slices) {
        for (const auto& [row, i] : slice.missing)
            if (++missing[i] <= MostFindings)
                findings << QStringLiteral("row %1 missing from index %2")
                                .arg(rows + row)
                                .arg(QString::fromUtf8(m_indexes[i].index));
        rows += slice.rows;
        finished = finished && slice.finished;
    }
    for (std::size_t i = 0; finished && i < m_indexes.size(); ++i)
        if (m_entries[i].read && m_entries[i].list.size() != rows)
            findings << QStringLiteral("wrong # of entries in index %1")
                            .arg(QString::fromUtf8(m_indexes[i].index));
    m_entries = std::vector<Entries>(m_indexes.size());
    return findings;
}

QStringList IndexMatch::match(sqlite3* db, QString* failed) {
    for (std::size_t slice = 0; slice < m_slices.size(); ++slice) {
        QString unmatched;
        matchSlice(db, slice, &unmatched);
        if (failed->isEmpty())
            *failed = unmatched;
    }
    return findings();
}

} // namespace velkar::SchemaSteps
