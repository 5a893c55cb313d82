#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>
#include <vector>

namespace velkar {

// The database file counters kept before this program: Access 97 to 2003 (Jet3, Jet4), read
// through libmdb. Only reads; the file is never changed.
class LegacyFile {
public:
    // Whether the file begins as an Access database does, whatever it is called.
    static bool IsAccessFile(const QString& path);

    // A Jet4 text: UTF-16LE, or after FF FE runs of one-byte characters and of UTF-16LE units,
    // each 00 byte switching from one to the other. Characters that can't be read back (half a
    // unit, a surrogate alone) become U+FFFD and are counted in `lost`.
    static QString DecodeUnicode(QByteArrayView bytes, int* lost);

    enum class Kind : std::uint8_t { Null, Text, Integer, Real, DateTime };

    // One cell as the file holds it.
    struct Cell {
        Kind kind = Kind::Null;
        QString text;             // Text
        std::int64_t integer = 0; // Integer
        double real = 0;          // Real; DateTime: days since 1899-12-30, the time as the fraction
        // Characters the file holds that could not be read back (replaced by U+FFFD in `text`).
        int lost = 0;
    };

    struct Column {
        QString name;
        QString type; // as Access names it: Text, Memo, Long Integer, DateTime…
        bool text;    // Text or Memo
    };

    // The rows of one table in the file's order.
    class Table {
    public:
        ~Table();
        Table(const Table&) = delete;
        Table& operator=(const Table&) = delete;

        const std::vector<Column>& columns() const { return m_columns; }
        // Of `name`, compared as Access compares names (any letter case); -1 when there is none.
        int column(const QString& name) const;
        // The row count the file's table definition states.
        std::int64_t statedRows() const { return m_statedRows; }
        // The next row's cells, in column order; false at the end or on a failure (problem()).
        bool next(std::vector<Cell>* cells);
        QString problem() const { return m_problem; }

    private:
        friend class LegacyFile;
        struct Private;
        explicit Table(std::unique_ptr<Private> d);

        std::unique_ptr<Private> d;
        std::vector<Column> m_columns;
        std::int64_t m_statedRows = 0;
        QString m_problem;
    };

    LegacyFile();
    ~LegacyFile();
    LegacyFile(const LegacyFile&) = delete;
    LegacyFile& operator=(const LegacyFile&) = delete;

    // Empty text once open, else why the file can't be read.
    QString open(const QString& path);
    // Jet3, Jet4 or ACE.
    QString format() const;
    QStringList tables() const;
    // The table named so, in any letter case; null when there is none (problem set).
    std::unique_ptr<Table> table(const QString& name, QString* problem) const;

private:
    struct Private;
    std::unique_ptr<Private> d;
};

// An Access date and time as "yyyy-MM-dd HH:mm:ss", to the nearest second, into `out` (20 bytes
// with the terminating zero). False for a value outside the years 100 to 9999.
bool AccessDateText(double days, char* out);

// A cell as the text a text column stores: numbers plainly, dates as above; empty for null.
QString CellText(const LegacyFile::Cell& cell);
// "yyyy-MM-dd HH:mm:ss" from a date typed as text; empty when it is none.
QString DateFromTypedText(const QString& text);

} // namespace velkar
