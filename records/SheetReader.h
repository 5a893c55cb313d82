#pragma once

#include <QString>

#include <cstdint>
#include <vector>

namespace velkar {

// A spreadsheet as rows of texts: an .xlsx workbook (its first worksheet, read with QuaZip and
// QXmlStreamReader) or a .csv file (UTF-8 with or without a byte-order mark, or GB18030). Read as
// a stream, so that memory stays bounded by the rows kept, whatever the file's size.
namespace SheetReader {

struct Cell {
    enum class Kind : std::uint8_t {
        Text,
        Number,  // written as the number's plain decimal text
        Formula, // the text is the result the spreadsheet last worked out
        FormulaWithoutResult,
        Error, // #N/A and the like
    };
    QString text;
    Kind kind = Kind::Text;
    int shared = -1; // while reading: the index of a shared string still to be looked up
};

struct Row {
    std::int64_t line = 0;   // as the spreadsheet numbers it, from 1
    std::vector<Cell> cells; // by column, from A; empty cells in between are empty texts
};

// A range of cells merged into one, whose value stands in its first cell.
struct Merge {
    std::int64_t firstLine = 0, lastLine = 0;
    int firstColumn = 0, lastColumn = 0;
};

struct Sheet {
    QString problem;       // why the file can't be read; nothing else counts then
    bool tooLong = false;  // the problem is that it holds more rows than were allowed
    std::vector<Row> rows; // only rows with something in them, in their order
    std::vector<Merge> merges;
    QString encoding; // of a CSV file: UTF-8, UTF-8 with BOM, GB18030
};

// Reads the first `maxRows` rows that hold anything, columns A to the `maxColumns`th; a sheet with
// more such rows is refused (its problem says so) as soon as that shows, without reading on.
Sheet Read(const QString& path, std::int64_t maxRows, int maxColumns = 64);

// The column's letters: 0 is A, 26 is AA.
QString ColumnName(int column);

} // namespace SheetReader

} // namespace velkar
