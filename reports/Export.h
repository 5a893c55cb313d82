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

// RFC 4180 in UTF-8 with a byte-order mark, which Excel, WPS and Calc read back row for row. A
// number column's numbers are written bare; a text a spreadsheet would read as a number (card
// numbers with leading zeros) as ="…", which is that text to every spreadsheet; a text that would
// start a formula (GuardFormula) after an apostrophe. The file is its owner's alone.
QString WriteCsv(const QString& path, const Sheet& sheet);
QString WriteXlsx(const QString& path, const Sheet& sheet);
// By the file's suffix: .xlsx a workbook, anything else CSV. Either is its owner's alone.
QString Write(const QString& path, const Sheet& sheet);
// Several tables in one file: a workbook's worksheets, or in CSV one after another, each under
// its headings and apart from the one before by an empty line.
QString WriteCsv(const QString& path, const QList<Sheet>& sheets);
QString WriteXlsx(const QString& path, const QList<Sheet>& sheets);
QString Write(const QString& path, const QList<Sheet>& sheets);

// True when a spreadsheet would take the text for a formula: it begins with =, +, -, @, a tab or
// a carriage return (after blanks and line feeds, which some drop first).
bool StartsFormula(QStringView text);
// The text as a CSV cell holds it: after an apostrophe when it would start a formula, or when it
// already is such a text after apostrophes; UnguardFormula reads it back exactly.
QString GuardFormula(const QString& text);
QString UnguardFormula(const QString& text);

// The chooser's filter for both forms.
QString FileFilter();

} // namespace Export

} // namespace velkar
