#include "data/SeekRows.h"

#include "data/Connection.h"

#include <algorithm>

namespace velkar {

namespace {

// Enough for a screen of rows and a printed page that straddles two blocks.
constexpr std::size_t KeptBlocks = 4;

} // namespace

SeekRows::Position SeekRows::FirstPosition(Query& q) {
    Position position;
    if (q.next()) {
        int length = 0;
        const char* sort = q.utf8(0, &length);
        position = {QByteArray(sort, length), q.integer(1)};
    }
    q.reset();
    return position;
}

SeekRows::SeekRows(std::shared_ptr<const Connection> connection, qsizetype count, const char* block,
                   std::vector<Parameter> parameters, Locate locate)
    : m_connection(std::move(connection)), m_count(std::max<qsizetype>(count, 0)),
      m_blockSql(block), m_parameters(std::move(parameters)), m_locate(std::move(locate)) {}

SeekRows::~SeekRows() = default;

QString SeekRows::text(qsizetype row, int column) const {
    if (row < 0 || row >= m_count || column < 0)
        return {};
    const Block& b = block(row / BlockRows);
    if (column >= b.columns)
        return {};
    const std::size_t cell = std::size_t(row % BlockRows) * std::size_t(b.columns) + column;
    return cell < b.cells.size() ? b.cells[cell] : QString();
}

const SeekRows::Block& SeekRows::block(qsizetype index) const {
    for (const Block& b : m_blocks)
        if (b.index == index)
            return b;
    const qsizetype first = index * BlockRows;
    auto known = m_starts.find(index);
    if (known == m_starts.end())
        known = m_starts.emplace(index, m_locate(first)).first;
    const Position start = known->second;
    if (!m_read)
        m_read = std::make_unique<Query>(*m_connection, QString::fromUtf8(m_blockSql));
    const qsizetype rows = std::min<qsizetype>(BlockRows, m_count - first);
    // One row more than the block holds gives where the next block starts.
    const bool more = first + rows < m_count;
    m_read->reset();
    int p = 1;
    for (const Parameter& parameter : m_parameters)
        std::visit([&](const auto& value) { m_read->bind(p++, value); }, parameter);
    m_read->bind(p++, QString::fromUtf8(start.sort));
    m_read->bind(p++, start.rowid);
    m_read->bind(p++, std::int64_t(rows + (more ? 1 : 0)));
    Block b;
    b.index = index;
    b.columns = m_read->columnCount() - 2;
    b.cells.reserve(std::size_t(rows * b.columns));
    int length = 0;
    for (qsizetype r = 0; m_read->next(); ++r) {
        if (r == rows) {
            const char* sort = m_read->utf8(b.columns, &length);
            m_starts[index + 1] = {QByteArray(sort, length), m_read->integer(b.columns + 1)};
            break;
        }
        for (int c = 0; c < b.columns; ++c) {
            const char* text = m_read->utf8(c, &length);
            b.cells.push_back(QString::fromUtf8(text, length));
        }
    }
    m_read->reset();
    if (m_blocks.size() >= KeptBlocks)
        m_blocks.erase(m_blocks.begin());
    m_blocks.push_back(std::move(b));
    return m_blocks.back();
}

} // namespace velkar
