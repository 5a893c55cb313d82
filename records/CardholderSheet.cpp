#include "records/CardholderSheet.h"

#include "base/Messages.h"
#include "data/AdoConn.h"
#include "data/Audit.h"
#include "data/Schema.h"
#include "data/Statements.h"
#include "data/Text.h"
#include "records/SheetReader.h"
#include "reports/Export.h"

#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>

#include <algorithm>
#include <optional>

namespace velkar {

namespace CardholderSheet {

namespace {

using SheetReader::Cell;

// The heading is looked for among the first rows that hold anything (a title may stand above).
constexpr int HeadingWithin = 20;
constexpr int RowsPerStatement = 200;
constexpr int CardNoColumn = 1;

const QStringList& Columns = Schema::CardholderColumns;

QString headingText(const QString& text) {
    QString t = text;
    t.remove(QRegularExpression(QStringLiteral("\\s")));
    while (t.endsWith(u'：') || t.endsWith(u':'))
        t.chop(1);
    return t;
}

QString* slot(Cardholder& h, int column) {
    QString* fields[] = {&h.cardSerial, &h.cardNo, &h.name, &h.idNumber, &h.phone, &h.address};
    return fields[column];
}

const QString& field(const Cardholder& h, int column) {
    return *slot(const_cast<Cardholder&>(h), column);
}

bool sameHolder(const Cardholder& a, const Cardholder& b) {
    for (int c = 0; c < 6; ++c)
        if (field(a, c) != field(b, c))
            return false;
    return true;
}

using Archive = QHash<QString, Cardholder>;

Archive readArchive(const Connection& db) {
    Archive archive;
    Query q(db, QString::fromUtf8(Statements::CardholderList));
    while (q.next()) {
        Cardholder h{q.text(0), q.text(1), q.text(2), q.text(3), q.text(4), q.text(5)};
        archive.insert(h.cardNo, std::move(h));
    }
    return archive;
}

// Where the sheet's columns are: the heading row and the column of each cardholder column (-1
// where the sheet has none).
struct Layout {
    qsizetype headingRow = -1;
    std::int64_t dataFrom = 0; // the first line below the heading, merged heading cells included
    int at[6] = {-1, -1, -1, -1, -1, -1};
};

// The first row near the top with a 卡号 heading; -1 when there is none.
qsizetype headingRowOf(const SheetReader::Sheet& sheet) {
    const qsizetype within = std::min<qsizetype>(HeadingWithin, qsizetype(sheet.rows.size()));
    for (qsizetype r = 0; r < within; ++r)
        for (const Cell& cell : sheet.rows[size_t(r)].cells)
            if (headingText(cell.text) == Columns[CardNoColumn])
                return r;
    return -1;
}

Layout findLayout(const SheetReader::Sheet& sheet, QStringList* notes) {
    Layout layout;
    layout.headingRow = headingRowOf(sheet);
    if (layout.headingRow < 0)
        return layout;
    const SheetReader::Row& heading = sheet.rows[size_t(layout.headingRow)];
    layout.dataFrom = heading.line + 1;
    for (int column = 0; column < int(heading.cells.size()); ++column) {
        const int which = int(Columns.indexOf(headingText(heading.cells[size_t(column)].text)));
        if (which < 0)
            continue;
        if (layout.at[which] >= 0) {
            notes->append(
                Messages::HeadingTwice(Columns[which], SheetReader::ColumnName(layout.at[which])));
            continue;
        }
        layout.at[which] = column;
    }
    // A heading merged over several cells: its value stands in the first, and the rows it
    // spans downwards are heading too.
    for (const SheetReader::Merge& m : sheet.merges) {
        if (m.firstLine > heading.line || m.lastLine < heading.line)
            continue;
        layout.dataFrom = std::max(layout.dataFrom, m.lastLine + 1);
        for (int which = 0; which < 6; ++which)
            if (layout.at[which] == m.firstColumn)
                notes->append(Messages::HeadingMerged(
                    Columns[which],
                    SheetReader::ColumnName(m.firstColumn) + QString::number(m.firstLine) +
                        QLatin1Char(':') + SheetReader::ColumnName(m.lastColumn) +
                        QString::number(m.lastLine),
                    SheetReader::ColumnName(m.firstColumn)));
    }
    for (int which = 0; which < 6; ++which)
        if (layout.at[which] < 0 && which != CardNoColumn)
            notes->append(Messages::ColumnNotInSheet(Columns[which]));
    return layout;
}

// One sheet row as a cardholder, or why it can't be one.
Row readRow(const SheetReader::Row& sheetRow, const Layout& layout, const bool given[6]) {
    Row row;
    row.line = sheetRow.line;
    QStringList remarks;
    for (int which = 0; which < 6; ++which) {
        if (!given[which])
            continue;
        const int column = layout.at[which];
        const QString& name = Columns[which];
        if (column >= int(sheetRow.cells.size()))
            continue;
        const Cell& cell = sheetRow.cells[size_t(column)];
        switch (cell.kind) {
        case Cell::Kind::Error:
            row.why = Messages::CellError(name, cell.text);
            return row;
        case Cell::Kind::FormulaWithoutResult:
            row.why = Messages::CellFormulaWithoutResult(name);
            return row;
        case Cell::Kind::Formula:
            remarks << Messages::CellFormulaResult(name);
            break;
        default:
            break;
        }
        if (!IsStorableText(cell.text) || cell.text.contains(QChar(0))) {
            row.why = Messages::CellUnstorable(name);
            return row;
        }
        *slot(row.holder, which) = cell.text;
    }
    // The card number: blanks around it, lower case and full-width characters are plain slips.
    const QString asTyped = row.holder.cardNo;
    const QString cardNo = CardNumberFromTyped(asTyped);
    const int column = layout.at[CardNoColumn];
    const bool number = column < int(sheetRow.cells.size()) &&
                        sheetRow.cells[size_t(column)].kind == Cell::Kind::Number;
    if (asTyped.trimmed().isEmpty()) {
        row.why = Messages::CardNoEmpty();
        return row;
    }
    if (cardNo.isEmpty()) {
        row.why = number && asTyped.trimmed().size() < 8 ? Messages::CardNoNumber(asTyped)
                                                         : Messages::CardNoInvalid(asTyped);
        return row;
    }
    if (cardNo != asTyped)
        remarks << Messages::CardNoTakenAs(asTyped, cardNo);
    row.holder.cardNo = cardNo;
    row.verdict = Verdict::Add;
    row.why = remarks.join(QStringLiteral("；"));
    return row;
}

void count(Preview& preview) {
    preview.added = preview.changed = preview.same = preview.refused = 0;
    for (const Row& row : preview.rows) {
        switch (row.verdict) {
        case Verdict::Add:
            ++preview.added;
            break;
        case Verdict::Change:
            ++preview.changed;
            break;
        case Verdict::Same:
            ++preview.same;
            break;
        case Verdict::Refuse:
            ++preview.refused;
            break;
        }
    }
}

void bindHolder(Query& q, int* index, const Cardholder& h) {
    for (int c = 0; c < 6; ++c)
        q.bind((*index)++, field(h, c));
}

// Runs `head` with `count` rows of values (and `tail`) for the holders from `first` on.
void writeBatch(const Connection& db, const char* head, const char* tail,
                const std::vector<const Cardholder*>& holders) {
    for (size_t first = 0; first < holders.size(); first += RowsPerStatement) {
        const size_t count = std::min<size_t>(RowsPerStatement, holders.size() - first);
        const QString sql =
            QString::fromUtf8(head) +
            QStringList(qsizetype(count), QString::fromUtf8(Statements::CardholderValues))
                .join(QStringLiteral(", ")) +
            QString::fromUtf8(tail);
        Query q(db, sql);
        int index = 1;
        for (size_t i = first; i < first + count; ++i)
            bindHolder(q, &index, *holders[i]);
        q.next();
    }
}

// The same card twice in the sheet: the same content once more is harmless; other content
// leaves both rows in doubt.
void refuseRepeat(Row& earlier, Row& row) {
    if (sameHolder(earlier.holder, row.holder)) {
        row.why = Messages::DuplicateInSheet(earlier.line);
    } else {
        row.why = Messages::ConflictInSheet(earlier.line);
        if (earlier.verdict != Verdict::Refuse) {
            earlier.verdict = Verdict::Refuse;
            earlier.why = Messages::ConflictInSheet(row.line);
        }
    }
    row.verdict = Verdict::Refuse;
}

// A row whose card the archive holds: a change of the columns the sheet gives, the others kept.
void compareWithArchive(Row& row, const Cardholder& held, const bool given[6]) {
    row.before = held;
    QStringList changes;
    for (int which = 0; which < 6; ++which) {
        if (!given[which])
            *slot(row.holder, which) = field(held, which);
        else if (field(row.holder, which) != field(held, which))
            changes << Messages::FieldChange(Columns[which], field(held, which),
                                             field(row.holder, which));
    }
    row.verdict = changes.isEmpty() ? Verdict::Same : Verdict::Change;
    if (!changes.isEmpty()) {
        if (!row.why.isEmpty())
            changes.prepend(row.why);
        row.why = changes.join(QStringLiteral("；"));
    }
}

} // namespace

Preview Read(const QString& path, const Connection& db) {
    Preview preview;
    preview.source = path;
    const SheetReader::Sheet sheet = SheetReader::Read(path, MaxRows + HeadingWithin);
    if (!sheet.problem.isEmpty()) {
        preview.problem = sheet.tooLong ? Messages::SheetTooLong(MaxRows) : sheet.problem;
        return preview;
    }
    const Layout layout = findLayout(sheet, &preview.notes);
    if (layout.headingRow < 0) {
        preview.problem = Messages::SheetNoHeading();
        preview.notes.clear();
        return preview;
    }
    bool given[6];
    for (int which = 0; which < 6; ++which)
        given[which] = layout.at[which] >= 0;
    const Archive archive = readArchive(db);
    QHash<QString, size_t> seen; // card number -> its first row in the preview
    std::int64_t lastLine = layout.dataFrom - 1;
    std::int64_t dataRows = 0;
    for (const SheetReader::Row& sheetRow : sheet.rows) {
        if (sheetRow.line < layout.dataFrom)
            continue;
        if (dataRows++ >= MaxRows) {
            preview = Preview{};
            preview.source = path;
            preview.problem = Messages::SheetTooLong(MaxRows);
            return preview;
        }
        lastLine = sheetRow.line;
        Row row = readRow(sheetRow, layout, given);
        if (row.verdict == Verdict::Refuse) {
            preview.rows.push_back(std::move(row));
            continue;
        }
        if (const auto first = seen.find(row.holder.cardNo); first != seen.end()) {
            refuseRepeat(preview.rows[*first], row);
            preview.rows.push_back(std::move(row));
            continue;
        }
        seen.insert(row.holder.cardNo, preview.rows.size());
        if (const auto held = archive.find(row.holder.cardNo); held != archive.end())
            compareWithArchive(row, *held, given);
        preview.rows.push_back(std::move(row));
    }
    if (preview.rows.empty()) {
        preview.problem = Messages::SheetNoRows();
        return preview;
    }
    const std::int64_t empty = lastLine - layout.dataFrom + 1 - dataRows;
    if (empty > 0)
        preview.notes << Messages::EmptyRowsSkipped(empty);
    count(preview);
    return preview;
}

QString Apply(const Connection& db, const Preview& preview, const QString& account,
              const QDateTime& at) {
    if (!preview.problem.isEmpty())
        return preview.problem;
    std::vector<const Cardholder*> added, changed;
    for (const Row& row : preview.rows) {
        if (row.verdict == Verdict::Add)
            added.push_back(&row.holder);
        else if (row.verdict == Verdict::Change)
            changed.push_back(&row.holder);
    }
    if (added.empty() && changed.empty())
        return Messages::NothingToImport();
    try {
        Transaction write(db, Transaction::Write);
        // What the preview showed must still be so: another desk may have changed the archive.
        const Archive archive = readArchive(db);
        for (const Row& row : preview.rows) {
            const auto held = archive.find(row.holder.cardNo);
            const bool stillSo = row.verdict == Verdict::Add ? held == archive.end()
                                 : row.verdict == Verdict::Change
                                     ? held != archive.end() && sameHolder(*held, row.before)
                                     : true;
            if (!stillSo)
                return Messages::ArchiveChangedSincePreview();
        }
        writeBatch(db, Statements::AddCardholdersHead, "", added);
        writeBatch(db, Statements::ChangeCardholdersHead, Statements::ChangeCardholdersTail,
                   changed);
        Audit::Append(db, account, Audit::ThisDesk(), Audit::CardholdersImported,
                      Messages::CardholdersImportDetails(QFileInfo(preview.source).fileName(),
                                                         preview.added, preview.changed,
                                                         preview.same, preview.refused),
                      at);
        write.commit();
    } catch (const DataError& e) {
        return e.description();
    }
    return {};
}

QString Export(const Connection& db, const QString& path) {
    ::velkar::Export::Sheet sheet{Messages::CardholderSheetTitle(), Columns, {}, {}};
    try {
        Query q(db, QString::fromUtf8(Statements::CardholderList));
        while (q.next())
            sheet.rows << QStringList{q.text(0), q.text(1), q.text(2),
                                      q.text(3), q.text(4), q.text(5)};
    } catch (const DataError& e) {
        return e.description();
    }
    return ::velkar::Export::Write(path, sheet);
}

QString VerdictText(Verdict verdict) {
    switch (verdict) {
    case Verdict::Add:
        return Messages::VerdictAdd();
    case Verdict::Change:
        return Messages::VerdictChange();
    case Verdict::Same:
        return Messages::VerdictSame();
    case Verdict::Refuse:
        return Messages::VerdictRefuse();
    }
    return {};
}

QStringList PreviewHeadings() {
    return Messages::SheetPreviewHeadings();
}

QStringList PreviewTexts(const Row& row) {
    const Cardholder& h = row.holder;
    return {QString::number(row.line),
            VerdictText(row.verdict),
            h.cardSerial,
            h.cardNo,
            h.name,
            h.idNumber,
            h.phone,
            h.address,
            row.why};
}

} // namespace CardholderSheet

} // namespace velkar
