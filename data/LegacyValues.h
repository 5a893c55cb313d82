#pragma once

#include "data/LegacyFile.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <vector>

// How the legacy import reads the values of the old file's rows, and the findings it reports.
namespace velkar::LegacyImport {

inline const QString Userecord = QStringLiteral("userecord");
inline const QString Employees = QStringLiteral("employees");
inline const QString Permission = QStringLiteral("permission");

// A report's lines of one kind, put in table and row order at the end.
class Lines {
public:
    void add(int table, qint64 row, const QString& text) { m_lines.push_back({table, row, text}); }
    QStringList sorted() {
        std::stable_sort(m_lines.begin(), m_lines.end(), [](const Line& a, const Line& b) {
            return a.table != b.table ? a.table < b.table : a.row < b.row;
        });
        QStringList texts;
        for (const Line& line : m_lines)
            texts << line.text;
        return texts;
    }

private:
    struct Line {
        int table;
        qint64 row;
        QString text;
    };
    std::vector<Line> m_lines;
};

enum TableOrder { AccountsTable, CardholdersTable, RecordsTable };

struct Findings {
    Lines repairs, setAside, notes, accounts;
};

// The text a cell of a text column is stored as; what that changed goes into the repairs.
QString StoredText(const LegacyFile::Cell& cell, TableOrder order, const QString& table, qint64 row,
                   const QString& column, Findings* findings);

// A record as read, named in the line that sets it aside; made only for such a record.
struct RecordValues {
    const QString& card;
    const LegacyFile::Cell& date;
    const LegacyFile::Cell& amount;
    QString operator()() const;
};

// 卡号 as stored, repaired where it was plainly mistyped; noted where it can't be. `asRead`
// receives it before the repair.
QString RecordCard(const LegacyFile::Cell& cell, qint64 row, Findings& findings, QString* asRead);
// Writes 日期 into `date`; else why the record is set aside.
QString RecordDate(const LegacyFile::Cell& cell, qint64 row, const RecordValues& values, char* date,
                   Findings& findings);
// Writes 金额 into `amount`, a whole number; else why the record is set aside.
QString RecordAmount(const LegacyFile::Cell& cell, const RecordValues& values,
                     std::int64_t* amount);

} // namespace velkar::LegacyImport
