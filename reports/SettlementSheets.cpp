#include "reports/SettlementSheets.h"

#include "base/Messages.h"
#include "data/CashRule.h"

namespace velkar {

namespace SettlementSheets {

namespace {

// The columns of Settlement::RowTexts the printed tables take.
constexpr int PlainColumns = 7; // 日期 … 净额
constexpr int CorrectionSum = 8;
constexpr int ReplacementSum = 10;
constexpr int CashIn = 11;

QStringList pick(const QStringList& texts, std::initializer_list<int> columns) {
    QStringList picked;
    for (int c : columns)
        picked << texts.value(c);
    return picked;
}

QStringList cashColumns(const QStringList& texts) {
    return pick(texts, {0, 1, CorrectionSum, ReplacementSum, CashIn, CashIn + 1, CashIn + 2});
}

// A shift's times on paper: the day and the minute are enough beside its Z number.
QString shortTime(const QString& timestamp) {
    return timestamp.size() >= 16 ? timestamp.mid(5, 11) : timestamp;
}

} // namespace

QList<QStringList> Rows(const Settlement::Result& result) {
    QList<QStringList> rows;
    for (const Settlement::Row& row : result.rows)
        rows << Settlement::RowTexts(row);
    rows << Settlement::TotalTexts(result);
    return rows;
}

QList<Export::Sheet> Sheets(const Settlement::Result& result,
                            const std::vector<Shifts::Shift>& shifts) {
    QList<Export::Sheet> sheets{{Messages::SettlementSheet(), Settlement::ColumnHeadings(),
                                 Rows(result), Settlement::NumericColumns()}};
    if (shifts.empty())
        return sheets;
    Export::Sheet shiftSheet{Messages::ShiftSheet(), Shifts::ColumnHeadings(), {}, {}};
    // Z number, bookings and the three sums are numbers; the rest text.
    shiftSheet.numeric = {false, true, false, false, false, true, true, true, true, false};
    for (const Shifts::Shift& shift : shifts)
        shiftSheet.rows << Shifts::RowTexts(shift);
    sheets << shiftSheet;
    return sheets;
}

QStringList PrintedHeadings() {
    return Settlement::ColumnHeadings().first(PlainColumns);
}

std::vector<int> PrintedWidths() {
    return {700, 600, 500, 600, 500, 600, 500};
}

QList<QStringList> PrintedRows(const Settlement::Result& result) {
    QList<QStringList> rows;
    for (const QStringList& texts : Rows(result))
        rows << texts.first(PlainColumns);
    return rows;
}

std::vector<TableSection> PrintedSections(const Settlement::Result& result,
                                          const std::vector<Shifts::Shift>& shifts) {
    std::vector<TableSection> sections;
    if (Settlement::HasLinkedCash(result)) {
        TableSection cash{Messages::SettlementCashCaption(),
                          cashColumns(Settlement::ColumnHeadings()),
                          {700, 600, 540, 540, 540, 540, 540},
                          {}};
        for (const QStringList& texts : Rows(result))
            cash.rows << cashColumns(texts);
        sections.push_back(cash);
    }
    if (!shifts.empty()) {
        // 终端, Z 号, 操作员, 开班时间, 交班时间, 应有现金, 实点现金, 差额 of the shift list.
        TableSection list{Messages::SettlementShiftsCaption(),
                          pick(Shifts::ColumnHeadings(), {0, 1, 2, 3, 4, 6, 7, 8}),
                          {430, 290, 440, 720, 720, 480, 480, 440},
                          {}};
        for (const Shifts::Shift& shift : shifts) {
            QStringList texts = pick(Shifts::RowTexts(shift), {0, 1, 2, 3, 4, 6, 7, 8});
            texts[3] = shortTime(texts[3]);
            if (!shift.isOpen())
                texts[4] = shortTime(texts[4]);
            list.rows << texts;
        }
        sections.push_back(list);
    }
    return sections;
}

} // namespace SettlementSheets

} // namespace velkar
