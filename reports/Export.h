#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace velkar {

// A table as an accountant's spreadsheet gets it: CSV that Excel and WPS open with the Chinese
// intact, or an XLSX workbook.
namespace Export {

struct Sheet {
    QString title; // the worksheet's name
    QStringList headings;
    QList<QStringList> rows; // the total line included, last
    QList<bool> numeric;     // per column: written as a number; others stay text
};

// UTF-8 with a byte-order mark; a text column whose cells a spreadsheet would read as numbers
// (card numbers with leading zeros) is written as a formula of its text. Empty text: written.
QString WriteCsv(const QString& path, const Sheet& sheet);
QString WriteXlsx(const QString& path, const Sheet& sheet);
// By the file's suffix: .xlsx a workbook, anything else CSV.
QString Write(const QString& path, const Sheet& sheet);

// The chooser's filter for both forms.
QString FileFilter();

} // namespace Export

} // namespace velkar
