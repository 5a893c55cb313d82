#include "data/PagedRows.h"

#include "data/AdoConn.h"

namespace velkar {

namespace {

// Enough for a screen of rows and a printed page that straddles two blocks.
constexpr std::size_t KeptBlocks = 4;

} // namespace

PagedRows::PagedRows(std::shared_ptr<const Connection> connection, const Reads& reads,
                     QStringList parameters)
    : m_connection(std::move(connection)), m_columns(reads.columns),
      m_parameters(std::move(parameters)) {
    Query positions(*m_connection, QString::fromUtf8(reads.positions));
    for (int i = 0; i < m_parameters.size(); ++i)
        positions.bind(i + 1, m_parameters[i]);
    int length = 0;
    while (positions.next()) {
        if (m_count % BlockRows == 0) {
            const char* text = positions.utf8(0, &length);
            m_sortTexts.emplace_back(text, length);
            m_rowids.push_back(positions.integer(1));
        }
        ++m_count;
    }
    m_read = std::make_unique<Query>(*m_connection, QString::fromUtf8(reads.block));
}

PagedRows::~PagedRows() = default;

QString PagedRows::text(qsizetype row, int column) const {
    if (row < 0 || row >= m_count || column < 0 || column >= m_columns)
        return {};
    const Block& b = block(row / BlockRows);
    const std::size_t cell = std::size_t(row % BlockRows) * std::size_t(m_columns) + column;
    return cell < b.cells.size() ? b.cells[cell] : QString();
}

const PagedRows::Block& PagedRows::block(qsizetype index) const {
    for (const Block& b : m_blocks)
        if (b.index == index)
            return b;
    Block b;
    const qsizetype rows = std::min<qsizetype>(BlockRows, m_count - index * BlockRows);
    b.cells.reserve(std::size_t(rows * m_columns));
    m_read->reset();
    int p = 1;
    for (const QString& parameter : m_parameters)
        m_read->bind(p++, parameter);
    const QByteArray& sortText = m_sortTexts[std::size_t(index)];
    m_read->bind(p++, QString::fromUtf8(sortText));
    m_read->bind(p++, std::int64_t(m_rowids[std::size_t(index)]));
    m_read->bind(p++, std::int64_t(rows));
    int length = 0;
    while (m_read->next()) {
        for (int c = 0; c < m_columns; ++c) {
            const char* text = m_read->utf8(c, &length);
            b.cells.push_back(QString::fromUtf8(text, length));
        }
    }
    m_read->reset();
    b.index = index;
    if (m_blocks.size() >= KeptBlocks)
        m_blocks.erase(m_blocks.begin());
    m_blocks.push_back(std::move(b));
    return m_blocks.back();
}

} // namespace velkar
