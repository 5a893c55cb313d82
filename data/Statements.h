#pragma once

#include <QString>

// Every statement the program issues. Each reads one table, optionally narrowed by a condition
// whose values are bound as parameters, in an order the windows rely on.
struct Statement {
    const char* table;
    const char* where;   // with ? placeholders; nullptr for none
    const char* orderBy; // the row order the windows rely on
};

namespace Statements {
// Cardholders in ascending 卡号 order: positions in this order name rows.
inline constexpr Statement Cardholders{"userecord", nullptr, "卡号"};
inline constexpr Statement CardholdersDescending{"userecord", nullptr, "卡号 DESC"};
// Recharge records in the order they were booked.
inline constexpr Statement Records{"employees", nullptr, "rowid"};
// Start and end bound as full timestamps, both included.
inline constexpr Statement RecordsBetween{"employees", "日期 BETWEEN ? AND ?", "rowid"};
// The seven accounts in list order.
inline constexpr Statement Accounts{"permission", nullptr, "rowid"};
inline constexpr Statement AccountByNameAndPassword{"permission", "用户名 = ? AND 密码 = ?",
                                                    "rowid"};
inline constexpr Statement AccountByName{"permission", "用户名 = ?", "rowid"};
} // namespace Statements

// A filter criterion: rows whose column equals the value exactly. The column must be one of the
// statement's own columns; the value is bound, so any character in it is ordinary text.
struct Criterion {
    QString column;
    QString value;
};
