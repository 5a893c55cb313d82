#include "base/TextTable.h"

namespace velkar {

namespace {

// Cell lengths as 7-bit groups, low first: short cells cost one byte.
std::size_t readLength(const char*& p) {
    std::size_t length = 0;
    int shift = 0;
    unsigned char byte;
    do {
        byte = static_cast<unsigned char>(*p++);
        length |= std::size_t(byte & 0x7f) << shift;
        shift += 7;
    } while (byte & 0x80);
    return length;
}

} // namespace

void TextTable::clear() {
    m_bytes.clear();
    m_rowStart.clear();
}

void TextTable::reserve(qsizetype rows, qsizetype bytes) {
    m_rowStart.reserve(std::size_t(rows));
    m_bytes.reserve(std::size_t(bytes));
}

void TextTable::addCell(QByteArrayView utf8) {
    std::size_t length = std::size_t(utf8.size());
    do {
        unsigned char byte = length & 0x7f;
        length >>= 7;
        if (length)
            byte |= 0x80;
        m_bytes.push_back(char(byte));
    } while (length);
    m_bytes.insert(m_bytes.end(), utf8.begin(), utf8.end());
}

void TextTable::appendRow(std::initializer_list<QString> cells) {
    beginRow();
    for (const QString& cell : cells)
        addCell(cell.toUtf8());
}

QByteArrayView TextTable::utf8(qsizetype row, int column) const {
    if (row < 0 || row >= rowCount() || column < 0 || column >= m_columns)
        return {};
    const char* p = m_bytes.data() + m_rowStart[std::size_t(row)];
    for (int c = 0; c < column; ++c)
        p += readLength(p);
    const std::size_t length = readLength(p);
    return QByteArrayView(p, qsizetype(length));
}

} // namespace velkar
