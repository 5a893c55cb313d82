#pragma once

#include <QByteArrayView>
#include <QString>

#include <cstdint>
#include <vector>

namespace velkar {

// Rows of text cells kept compactly (one UTF-8 buffer, a length before each cell), so that a
// year of records fits in a few dozen megabytes. Rows are appended cell by cell.
class TextTable {
public:
    explicit TextTable(int columns) : m_columns(columns) {}

    int columnCount() const { return m_columns; }
    qsizetype rowCount() const { return qsizetype(m_rowStart.size()); }

    void clear();
    void reserve(qsizetype rows, qsizetype bytes);

    // Starts a new row; its cells follow with addCell, exactly columnCount() of them.
    void beginRow() { m_rowStart.push_back(m_bytes.size()); }
    void addCell(QByteArrayView utf8);
    void appendRow(std::initializer_list<QString> cells);

    QByteArrayView utf8(qsizetype row, int column) const;
    QString text(qsizetype row, int column) const { return QString::fromUtf8(utf8(row, column)); }

private:
    int m_columns;
    std::vector<char> m_bytes;
    std::vector<std::size_t> m_rowStart;
};

// Rows of text cells however they are kept: in memory or read from the store when shown.
class TextRows {
public:
    virtual ~TextRows() = default;
    virtual qsizetype count() const = 0;
    // Throws DataError when the rows must be read and can't be.
    virtual QString text(qsizetype row, int column) const = 0;
};

// Rows kept in memory.
class TableRows : public TextRows {
public:
    explicit TableRows(int columns = 4) : m_table(columns) {}
    explicit TableRows(TextTable table) : m_table(std::move(table)) {}
    TextTable& table() { return m_table; }
    const TextTable& table() const { return m_table; }

    qsizetype count() const override { return m_table.rowCount(); }
    QString text(qsizetype row, int column) const override { return m_table.text(row, column); }

private:
    TextTable m_table;
};

} // namespace velkar
