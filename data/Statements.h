#pragma once

#include <QString>

namespace velkar {

// A statement written once for each engine, where their dialects differ.
struct Dialects {
    const char* sqlite;
    const char* postgres;
};

// A statement a recordset can be opened on: its rows come in an order the windows rely on, and
// its values are bound as parameters.
struct Statement {
    const char* sql;
};

// A filter criterion: rows whose column equals the value exactly. The column must be one of the
// statement's own columns; the value is compared as text, so any character in it is ordinary.
struct Criterion {
    QString column;
    QString value;
};

// The columns each table is read by, written once for every statement that reads them.
#define VELKAR_CARDHOLDER_COLUMNS "卡序号, 卡号, 姓名, 身份证, 电话, 地址"
#define VELKAR_RECORD_COLUMNS "卡号, 日期, 金额"
#define VELKAR_ACCOUNT_COLUMNS "用户名, 密码"
#define VELKAR_AUDIT_COLUMNS "id, time, account, desk, action, details, hash"
#define VELKAR_SHIFT_COLUMNS                                                                       \
    "id, desk, operator, opened_at, first_record, closed_at, closed_by, last_record, z_number, "   \
    "expected, counted, seal, audit_id, cash_float, first_paid, last_paid"
#define VELKAR_JOURNAL_COLUMNS                                                                     \
    "id, card_no, operation, amount, balance_before, balance_expected, operator, desk, sent_at, "  \
    "state, resolved_at, balance_seen, record_id"

// Every statement the program issues: the recordsets' and the bulk reads', whose values are
// all bound.
namespace Statements {
inline constexpr const char* CardholderColumns = VELKAR_CARDHOLDER_COLUMNS;
inline constexpr const char* RecordColumns = VELKAR_RECORD_COLUMNS;
inline constexpr const char* AccountColumns = VELKAR_ACCOUNT_COLUMNS;
} // namespace Statements

} // namespace velkar

// The catalogue's parts, in the order their statements build on each other.
// clang-format off
#include "data/statements/Reads.h"
#include "data/statements/Bookings.h"
#include "data/statements/Accounting.h"
// clang-format on

#undef VELKAR_CARDHOLDER_COLUMNS
#undef VELKAR_RECORD_COLUMNS
#undef VELKAR_ACCOUNT_COLUMNS
#undef VELKAR_AUDIT_COLUMNS
#undef VELKAR_JOURNAL_COLUMNS
#undef VELKAR_SHIFT_COLUMNS
