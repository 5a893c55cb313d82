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
// Opened only to append a row: reads none.
inline constexpr Statement AppendRecord{"employees", "0", nullptr};
inline constexpr Statement AppendCardholder{"userecord", "0", nullptr};
// Recharge records in the order they were booked.
inline constexpr Statement Records{"employees", nullptr, "rowid"};
// Start and end bound as full timestamps, both included.
inline constexpr Statement RecordsBetween{"employees", "日期 BETWEEN ? AND ?", "rowid"};
// The seven accounts in list order.
inline constexpr Statement Accounts{"permission", nullptr, "rowid"};
inline constexpr Statement AccountByName{"permission", "用户名 = ?", "rowid"};
} // namespace Statements

// A filter criterion: rows whose column equals the value exactly. The column must be one of the
// statement's own columns; the value is bound, so any character in it is ordinary text.
struct Criterion {
    QString column;
    QString value;
};

// Bulk reads that bypass the recordset; every value is bound.
namespace Sql {
// Cardholders for the archive list, in ascending 卡号 order (卡号 compares as text). "+卡号"
// sorts the rows read in table order: walking the 卡号 index instead visits the table's pages
// in random order, several times slower on a large archive.
inline constexpr const char* CardholderList =
    "SELECT 卡序号, 卡号, 姓名, 身份证, 电话, 地址 FROM userecord ORDER BY +卡号";

// Cardholders whose chosen column equals the bound text exactly; one statement per column a
// search may name, so no column name ever comes from the user.
struct CardholderSearch {
    const char* column;
    const char* sql;
};
inline constexpr CardholderSearch CardholderSearches[] = {
    {"卡序号", "SELECT 卡序号, 卡号, 姓名, 身份证, 电话, 地址 FROM userecord "
               "WHERE 卡序号 = ? ORDER BY +卡号"},
    {"卡号", "SELECT 卡序号, 卡号, 姓名, 身份证, 电话, 地址 FROM userecord "
             "WHERE 卡号 = ? ORDER BY +卡号"},
    {"姓名", "SELECT 卡序号, 卡号, 姓名, 身份证, 电话, 地址 FROM userecord "
             "WHERE 姓名 = ? ORDER BY +卡号"},
    {"身份证", "SELECT 卡序号, 卡号, 姓名, 身份证, 电话, 地址 FROM userecord "
               "WHERE 身份证 = ? ORDER BY +卡号"},
    {"电话", "SELECT 卡序号, 卡号, 姓名, 身份证, 电话, 地址 FROM userecord "
             "WHERE 电话 = ? ORDER BY +卡号"},
    {"地址", "SELECT 卡序号, 卡号, 姓名, 身份证, 电话, 地址 FROM userecord "
             "WHERE 地址 = ? ORDER BY +卡号"},
};

// The records of RecordsBetween, each with its cardholder's name, in one statement: the
// reference the report's collection is timed against. Its name (empty when no cardholder has the
// card; the first such row when several have), in time order. Columns: 卡号, 日期, 金额, 姓名.
inline constexpr const char* RecordsBetweenWithNames =
    "SELECT e.卡号, e.日期, e.金额, "
    "coalesce((SELECT u.姓名 FROM userecord u WHERE u.卡号 = e.卡号 ORDER BY u.rowid LIMIT 1), "
    "'') FROM employees e WHERE e.日期 BETWEEN ? AND ? ORDER BY e.日期, e.rowid";

// Recharge records from the start bound to the end bound (full timestamps, both included), in
// time order. Columns: 卡号, 日期, 金额.
inline constexpr const char* RecordsBetween =
    "SELECT 卡号, 日期, 金额 FROM employees WHERE 日期 BETWEEN ? AND ? ORDER BY 日期, rowid";

// The name of the cardholder with the bound 卡号: the first such row when several have it.
inline constexpr const char* CardholderName =
    "SELECT 姓名 FROM userecord WHERE 卡号 = ? ORDER BY rowid LIMIT 1";

// One card's records in the order they were booked. Columns: 卡号, 日期, 金额.
inline constexpr const char* CardRecords =
    "SELECT 卡号, 日期, 金额 FROM employees WHERE 卡号 = ? ORDER BY rowid";

// The cardholder of one card. Columns: 卡序号, 卡号, 姓名, 身份证, 电话, 地址.
inline constexpr const char* CardholderByCardNo =
    "SELECT 卡序号, 卡号, 姓名, 身份证, 电话, 地址 FROM userecord WHERE 卡号 = ? ORDER BY rowid "
    "LIMIT 1";

// The newest recharge record: tells a reader whether the records changed since it last looked
// (records are only ever appended).
inline constexpr const char* NewestRecord = "SELECT coalesce(max(rowid), 0) FROM employees";
} // namespace Sql

namespace Statements {
// One cardholder by 卡号: the row a change or delete acts on; also the recordset an add
// appends to without reading the whole table.
inline constexpr Statement CardholderByCardNo{"userecord", "卡号 = ?", "rowid"};
} // namespace Statements
