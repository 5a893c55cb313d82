#include "data/LegacyValues.h"

#include "base/Messages.h"
#include "data/Cardholder.h"
#include "data/Schema.h"

#include <cmath>
#include <cstring>

namespace velkar::LegacyImport {

using Cell = LegacyFile::Cell;
using Kind = LegacyFile::Kind;

QString StoredText(const Cell& cell, TableOrder order, const QString& table, qint64 row,
                   const QString& column, Findings* findings) {
    QString text = CellText(cell);
    if (cell.kind == Kind::Null)
        findings->repairs.add(order, row,
                              Messages::LegacyRow(table, row, Messages::RepairNull(column)));
    if (cell.lost > 0)
        findings->repairs.add(
            order, row, Messages::LegacyRow(table, row, Messages::RepairLost(column, cell.lost)));
    if (text.contains(QChar(0))) {
        // Neither engine's text holds it alike.
        text.remove(QChar(0));
        findings->repairs.add(order, row,
                              Messages::LegacyRow(table, row, Messages::RepairNul(column)));
    }
    return text;
}

QString RecordValues::operator()() const {
    return Messages::RecordValues(card, CellText(date), CellText(amount));
}

QString RecordCard(const Cell& cell, qint64 row, Findings& findings, QString* asRead) {
    const QString& column = Schema::RecordColumns[0];
    // Most records' card numbers need nothing: read them without the repairs' detours.
    const QString& card = *asRead =
        cell.kind == Kind::Text && cell.lost == 0 && IsCardNumber(cell.text)
            ? cell.text
            : StoredText(cell, RecordsTable, Employees, row, column, &findings);
    if (IsCardNumber(card))
        return card;
    const QString repaired = CardNumberFromTyped(card);
    if (!repaired.isEmpty()) {
        findings.repairs.add(
            RecordsTable, row,
            Messages::LegacyRow(Employees, row, Messages::RepairCardNo(card, repaired)));
        return repaired;
    }
    if (cell.kind != Kind::Null)
        findings.notes.add(RecordsTable, row,
                           Messages::LegacyRow(Employees, row, Messages::FlagCardNo(card)));
    return card;
}

QString RecordDate(const Cell& cell, qint64 row, const RecordValues& values, char* date,
                   Findings& findings) {
    switch (cell.kind) {
    case Kind::DateTime:
        return AccessDateText(cell.real, date)
                   ? QString()
                   : Messages::SetAsideBadDate(CellText(cell), values());
    case Kind::Text: {
        const QString text = DateFromTypedText(cell.text);
        if (text.isEmpty())
            return Messages::SetAsideBadDate(cell.text, values());
        if (text != cell.text)
            findings.repairs.add(
                RecordsTable, row,
                Messages::LegacyRow(Employees, row, Messages::RepairDate(cell.text, text)));
        std::memcpy(date, text.toLatin1().constData(), 20);
        return {};
    }
    case Kind::Null:
        return Messages::SetAsideNoDate(values());
    default:
        return Messages::SetAsideBadDate(CellText(cell), values());
    }
}

QString RecordAmount(const Cell& cell, const RecordValues& values, std::int64_t* amount) {
    bool whole = true;
    switch (cell.kind) {
    case Kind::Integer:
        *amount = cell.integer;
        break;
    case Kind::Real:
        whole = std::trunc(cell.real) == cell.real && std::fabs(cell.real) < 9.0e15;
        *amount = whole ? std::int64_t(cell.real) : 0;
        break;
    case Kind::Text:
        *amount = cell.text.trimmed().toLongLong(&whole, 10);
        break;
    case Kind::Null:
        return Messages::SetAsideNoAmount(values());
    case Kind::DateTime:
        whole = false;
        break;
    }
    return whole ? QString() : Messages::SetAsideBadAmount(CellText(cell), values());
}

} // namespace velkar::LegacyImport
