#pragma once

#include "data/Cardholder.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <vector>

namespace velkar {

class Connection;

// Cardholder lists kept in spreadsheets, into the archive and out of it. An import is read and
// checked first, every row against the others and against the archive, and shows what it would
// add, change and refuse before anything is written; then it is written in one transaction with
// one audit entry. An export read back by the import changes nothing.
namespace CardholderSheet {

// The most rows an import takes; a longer sheet is refused as a whole, read no further than that.
inline constexpr std::int64_t MaxRows = 200000;

enum class Verdict { Add, Change, Same, Refuse };

struct Row {
    std::int64_t line = 0; // as the spreadsheet numbers it
    Verdict verdict = Verdict::Refuse;
    Cardholder holder; // as it would be stored
    Cardholder before; // a change: as the archive holds it now
    QString why;       // a refusal: why; a change: what changes; else what is worth knowing
};

struct Preview {
    QString problem; // the file can't be taken at all; nothing else counts then
    QString source;
    std::vector<Row> rows; // every row below the heading that holds anything, in the sheet's order
    int added = 0, changed = 0, same = 0, refused = 0;
    QStringList notes; // about the sheet as a whole: columns missing, merged headings, empty rows
};

// Reads an .xlsx or .csv file and checks it against the archive on `db`; writes nothing. The
// columns are found by their headings (卡序号, 卡号, 姓名, 身份证, 电话, 地址) in any order;
// only 卡号 is required. A column the sheet lacks is left as the archive has it, or empty for a
// new cardholder.
Preview Read(const QString& path, const Connection& db);

// Writes the preview's additions and changes in one transaction, with one audit entry giving the
// counts. Refused, writing nothing, when the archive changed since the preview was read. Why it
// failed, or an empty text.
QString Apply(const Connection& db, const Preview& preview, const QString& account,
              const QDateTime& at = {});

// Every cardholder of the archive, in 卡号 order, into an .xlsx workbook or (any other suffix) a
// .csv file. Why it failed, or an empty text.
QString Export(const Connection& db, const QString& path);

// The preview as a window lists it: line, verdict, the six columns, why.
QStringList PreviewHeadings();
QStringList PreviewTexts(const Row& row);
QString VerdictText(Verdict verdict);

} // namespace CardholderSheet

} // namespace velkar
