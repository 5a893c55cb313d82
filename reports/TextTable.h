#pragma once

#include <QByteArrayView>
#include <QString>

#include <cstdint>
#include <vector>

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
