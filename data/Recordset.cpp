#include "data/Recordset.h"

#include <algorithm>

namespace velkar {

namespace {

[[noreturn]] void raiseNoRow(const QString& why) {
    throw DataError(DataFailure::NoRow, why);
}

} // namespace

Recordset::Recordset(std::shared_ptr<Connection> connection, const Statement& statement,
                     QStringList parameters)
    : m_connection(std::move(connection)), m_statement(statement),
      m_parameters(std::move(parameters)) {
    load();
    m_open = true;
}

void Recordset::load() {
    if (!m_connection || !m_connection->isOpen())
        throw DataError(DataFailure::NotOpen, QStringLiteral("no open database connection"));
    // Rows are read on first use, so that opening a statement reads nothing yet.
    auto query = std::make_unique<Query>(*m_connection, QString::fromUtf8(m_statement.sql));
    int index = 1;
    for (const QString& p : m_parameters)
        query->bind(index++, p);
    QStringList columns;
    for (int c = 0; c < query->columnCount(); ++c)
        columns << query->columnName(c);
    m_columns = columns;
    m_pending = std::move(query);
    m_rows.clear();
    m_position = 0;
}

void Recordset::fetch() const {
    if (!m_pending)
        return;
    std::unique_ptr<Query> query = std::move(m_pending);
    const int count = query->columnCount();
    std::vector<std::pair<int, QString>> filter;
    for (const Criterion& c : m_filter)
        filter.emplace_back(int(m_columns.indexOf(c.column)), c.value);
    std::vector<Row> rows;
    while (query->next()) {
        const bool wanted = std::all_of(filter.begin(), filter.end(), [&](const auto& f) {
            return !query->isNull(f.first) && query->text(f.first) == f.second;
        });
        if (!wanted)
            continue;
        Row row;
        row.cells.reserve(count);
        row.present.reserve(count);
        for (int c = 0; c < count; ++c) {
            const bool present = !query->isNull(c);
            row.present << present;
            row.cells << (present ? query->text(c) : QString());
        }
        rows.push_back(std::move(row));
    }
    m_rows = std::move(rows);
}

void Recordset::requireOpen() const {
    if (!m_open)
        throw DataError(DataFailure::NotOpen, QStringLiteral("the recordset is not open"));
}

void Recordset::requireCurrent() const {
    requireOpen();
    fetch();
    if (m_position < 0 || m_position >= int(m_rows.size()))
        raiseNoRow(QStringLiteral("either BOF or EOF is true, or the current record has been "
                                  "deleted"));
}

int Recordset::columnIndex(const QString& column) const {
    const int i = int(m_columns.indexOf(column));
    if (i < 0)
        raiseNoRow(QStringLiteral("item cannot be found in the collection: %1").arg(column));
    return i;
}

bool Recordset::IsEOF() const {
    requireOpen();
    fetch();
    return m_position >= int(m_rows.size());
}

bool Recordset::IsBOF() const {
    requireOpen();
    fetch();
    return m_position < 0 || m_rows.empty();
}

int Recordset::RecordCount() const {
    requireOpen();
    fetch();
    return int(m_rows.size());
}

void Recordset::Filter(const Criterion& criterion) {
    requireOpen();
    columnIndex(criterion.column); // only the statement's own columns can be named
    m_filter.assign(1, criterion);
}

void Recordset::ClearFilter() {
    requireOpen();
    m_filter.clear();
}

void Recordset::Requery() {
    requireOpen();
    load();
}

void Recordset::MoveFirst() {
    requireOpen();
    m_position = 0;
}

void Recordset::MoveNext() {
    requireOpen();
    fetch();
    if (m_position >= int(m_rows.size()))
        raiseNoRow(QStringLiteral("cannot move past the last record"));
    ++m_position;
}

void Recordset::MovePrevious() {
    requireOpen();
    fetch();
    if (m_position < 0)
        raiseNoRow(QStringLiteral("cannot move before the first record"));
    --m_position;
}

void Recordset::MoveLast() {
    requireOpen();
    fetch();
    if (m_rows.empty())
        raiseNoRow(QStringLiteral("the recordset has no records"));
    m_position = int(m_rows.size()) - 1;
}

void Recordset::Move(int index) {
    requireOpen();
    fetch();
    if (index < 0)
        raiseNoRow(QStringLiteral("cannot move before the first record"));
    m_position = std::min(index, int(m_rows.size()));
}

QString Recordset::GetCollect(const QString& column) const {
    requireCurrent();
    const int c = columnIndex(column);
    const Row& row = m_rows[size_t(m_position)];
    if (!row.present[c])
        raiseNoRow(QStringLiteral("invalid use of null: %1").arg(column));
    return row.cells[c];
}

void Recordset::Close() {
    m_open = false;
    m_pending.reset();
    m_rows.clear();
    m_connection.reset();
}

} // namespace velkar
