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

// Cardholders in ascending 卡号 order: positions in this order name rows.
inline constexpr Statement Cardholders{"SELECT " VELKAR_CARDHOLDER_COLUMNS
                                       " FROM userecord ORDER BY 卡号"};
inline constexpr Statement CardholdersDescending{"SELECT " VELKAR_CARDHOLDER_COLUMNS
                                                 " FROM userecord ORDER BY 卡号 DESC"};
// One cardholder by 卡号.
inline constexpr Statement CardholderByCardNo{"SELECT " VELKAR_CARDHOLDER_COLUMNS
                                              " FROM userecord WHERE 卡号 = ? ORDER BY rowid"};
// Recharge records in the order they were booked.
inline constexpr Statement Records{"SELECT " VELKAR_RECORD_COLUMNS
                                   " FROM employees ORDER BY rowid"};
// Start and end bound as full timestamps, both included.
inline constexpr Statement RecordsBetween{
    "SELECT " VELKAR_RECORD_COLUMNS " FROM employees WHERE 日期 BETWEEN ? AND ? ORDER BY rowid"};
// The seven accounts in list order.
inline constexpr Statement Accounts{"SELECT " VELKAR_ACCOUNT_COLUMNS
                                    " FROM permission ORDER BY rowid"};
inline constexpr Statement AccountByName{"SELECT " VELKAR_ACCOUNT_COLUMNS
                                         " FROM permission WHERE 用户名 = ? ORDER BY rowid"};

// ---- The archive's writes ---------------------------------------------------------------

// One cardholder by 卡号, as a change finds it before it writes. Columns: the six.
inline constexpr const char* CardholderOf =
    "SELECT " VELKAR_CARDHOLDER_COLUMNS " FROM userecord WHERE 卡号 = ? ORDER BY rowid LIMIT 1";
inline constexpr const char* AddCardholder =
    "INSERT INTO userecord (" VELKAR_CARDHOLDER_COLUMNS ") VALUES (?, ?, ?, ?, ?, ?)";
// Every column of the cardholder of 卡号 ?7, the key included. Returns a row when one changed.
inline constexpr const char* ChangeCardholder =
    "UPDATE userecord SET 卡序号 = ?1, 卡号 = ?2, 姓名 = ?3, 身份证 = ?4, 电话 = ?5, 地址 = ?6 "
    "WHERE 卡号 = ?7 RETURNING 卡号";
// Returns a row when one was deleted.
inline constexpr const char* DeleteCardholder =
    "DELETE FROM userecord WHERE 卡号 = ? RETURNING 卡号";

// ---- Bulk reads: no recordset, rows read as they come -------------------------------------

// Cardholders for the archive list, in ascending 卡号 order (卡号 compares as text). Sorting
// by the expression sorts the rows read in table order: walking the 卡号 index instead visits
// the table's pages in random order, several times slower on a large archive.
inline constexpr const char* CardholderList =
    "SELECT " VELKAR_CARDHOLDER_COLUMNS " FROM userecord ORDER BY 卡号 || ''";

// How many cardholders there are, from the counts kept for each 卡号's first three characters.
inline constexpr const char* CardholderCount =
    "SELECT coalesce(sum(count), 0) FROM cardholder_prefixes";
// Those counts in 卡号 order: the cardholders of a prefix come together, the prefixes in order.
// Columns: prefix, count.
inline constexpr const char* CardholderPrefixes =
    "SELECT prefix, count FROM cardholder_prefixes ORDER BY prefix";
// The position of the cardholder ?2 places after the first whose 卡号 is ?1 or after it.
// Columns: 卡号, rowid.
inline constexpr const char* CardholderPositionFrom =
    "SELECT 卡号, rowid FROM userecord WHERE 卡号 >= ?1 ORDER BY 卡号 LIMIT 1 OFFSET ?2";
// The rows of CardholderList from the 卡号 ?1 on, at most ?3 of them (?2, the rowid, is not
// needed: no two rows share a 卡号), each followed by its position.
inline constexpr const char* CardholderBlock =
    "SELECT " VELKAR_CARDHOLDER_COLUMNS ", 卡号, rowid FROM userecord WHERE 卡号 >= ?1 AND ?2 IS "
    "NOT NULL ORDER BY 卡号 LIMIT ?3";

// Cardholders whose chosen column equals the bound text exactly; one set of statements per
// column a search may name, so no column name ever comes from the user. Each column has an
// index that ends in 卡号, so a search costs the rows it shows: `count` counts the matches,
// `position` finds the ?2nd of them, `block` reads from the 卡号 ?2 on at most ?4 of them, each
// followed by its position (?3, the rowid, is not needed).
struct CardholderSearch {
    const char* column;
    const char* sql;
    const char* count;
    const char* position;
    const char* block;
};
#define VELKAR_CARDHOLDER_SEARCH(column)                                                           \
    {column,                                                                                       \
     "SELECT " VELKAR_CARDHOLDER_COLUMNS " FROM userecord WHERE " column " = ? ORDER BY 卡号",   \
     "SELECT count(*) FROM userecord WHERE " column " = ?1",                                     \
     "SELECT 卡号, rowid FROM userecord WHERE " column " = ?1 ORDER BY 卡号 LIMIT 1 OFFSET ?2",  \
     "SELECT " VELKAR_CARDHOLDER_COLUMNS ", 卡号, rowid FROM userecord WHERE " column " = ?1 AND " \
     "卡号 >= ?2 AND ?3 IS NOT NULL ORDER BY 卡号 LIMIT ?4"}
inline constexpr CardholderSearch CardholderSearches[] = {
    VELKAR_CARDHOLDER_SEARCH("卡序号"), VELKAR_CARDHOLDER_SEARCH("卡号"),
    VELKAR_CARDHOLDER_SEARCH("姓名"),   VELKAR_CARDHOLDER_SEARCH("身份证"),
    VELKAR_CARDHOLDER_SEARCH("电话"),   VELKAR_CARDHOLDER_SEARCH("地址"),
};
#undef VELKAR_CARDHOLDER_SEARCH

// A record's cardholder name (empty when no cardholder has the card; the first such row when
// several have), then who booked it and at which desk (empty for a record booked before the
// command journal, or written by anything but a desk).
#define VELKAR_RECORD_NAME_AND_BOOKER                                                                  \
    "coalesce((SELECT u.姓名 FROM userecord u WHERE u.卡号 = e.卡号 ORDER BY u.rowid LIMIT 1), " \
    "''), coalesce((SELECT j.operator FROM journal j WHERE j.state = 'booked' AND j.record_id = "      \
    "e.rowid LIMIT 1), ''), coalesce((SELECT j.desk FROM journal j WHERE j.state = 'booked' AND "      \
    "j.record_id = e.rowid LIMIT 1), '')"

// What a record's command was and what it served (a correction, a replacement), through its
// booked journal row and that row's link, each found by key: empty for a record booked before
// the journal, or for a plain command.
#define VELKAR_RECORD_OPERATION_AND_LINK                                                           \
    "coalesce((SELECT j.operation FROM journal j WHERE j.state = 'booked' AND j.record_id = "      \
    "e.rowid LIMIT 1), ''), coalesce((SELECT l.kind FROM journal j JOIN journal_links l ON "       \
    "l.journal_id = j.id WHERE j.state = 'booked' AND j.record_id = e.rowid LIMIT 1), '')"

// The records of RecordsBetween, each with its cardholder's name, its booker and what its
// command served, in one statement: the reference the report's collection is timed against.
// In time order. Columns: 卡号, 日期, 金额, 姓名, operator, desk, operation, link.
inline constexpr const char* RecordsBetweenWithNames =
    "SELECT e.卡号, e.日期, e.金额, " VELKAR_RECORD_NAME_AND_BOOKER
    ", " VELKAR_RECORD_OPERATION_AND_LINK
    " FROM employees e WHERE e.日期 BETWEEN ? AND ? ORDER BY e.日期, e.rowid";

// One card's records in the order they were booked. Columns: 卡号, 日期, 金额.
inline constexpr const char* CardRecords =
    "SELECT " VELKAR_RECORD_COLUMNS " FROM employees WHERE 卡号 = ? ORDER BY rowid";

// What a 金额 adds to a report's total, the rule of AmountValue on the text the column reads
// as: at most five characters, an optional leading "-", then digits; anything else adds 0. A
// whole number reads as at most five characters exactly from -9999 to 99999. A server's 金额
// holds whole numbers only.
#define VELKAR_AMOUNT_RULE                                                                         \
    "CASE WHEN typeof(金额) = 'integer' THEN "                                                   \
    "CASE WHEN 金额 BETWEEN -9999 AND 99999 THEN 金额 ELSE 0 END "                             \
    "WHEN length(CAST(金额 AS TEXT)) NOT BETWEEN 1 AND 5 THEN 0 "                                \
    "WHEN CAST(金额 AS TEXT) NOT GLOB '*[^0-9]*' THEN CAST(CAST(金额 AS TEXT) AS INTEGER) "    \
    "WHEN substr(CAST(金额 AS TEXT), 1, 1) = '-' AND substr(CAST(金额 AS TEXT), 2) NOT GLOB "  \
    "'*[^0-9]*' THEN -CAST(substr(CAST(金额 AS TEXT), 2) AS INTEGER) ELSE 0 END"
#define VELKAR_SERVER_AMOUNT_RULE "CASE WHEN 金额 BETWEEN -9999 AND 99999 THEN 金额 ELSE 0 END"

// The desk's rule, CardAmountValue: one to four digits, optionally after a "-".
#define VELKAR_CARD_AMOUNT_RULE                                                                       \
    "CASE WHEN typeof(金额) = 'integer' THEN "                                                      \
    "CASE WHEN 金额 BETWEEN -9999 AND 9999 THEN 金额 ELSE 0 END "                                 \
    "WHEN substr(CAST(金额 AS TEXT), 1, 1) = '-' THEN "                                             \
    "CASE WHEN length(CAST(金额 AS TEXT)) BETWEEN 2 AND 5 AND substr(CAST(金额 AS TEXT), 2) NOT " \
    "GLOB '*[^0-9]*' THEN -CAST(substr(CAST(金额 AS TEXT), 2) AS INTEGER) ELSE 0 END "              \
    "WHEN length(CAST(金额 AS TEXT)) BETWEEN 1 AND 4 AND CAST(金额 AS TEXT) NOT GLOB '*[^0-9]*' " \
    "THEN CAST(CAST(金额 AS TEXT) AS INTEGER) ELSE 0 END"
#define VELKAR_SERVER_CARD_AMOUNT_RULE "CASE WHEN 金额 BETWEEN -9999 AND 9999 THEN 金额 ELSE 0 END"

inline constexpr Dialects AmountRule{VELKAR_AMOUNT_RULE, VELKAR_SERVER_AMOUNT_RULE};
inline constexpr Dialects CardAmountRule{VELKAR_CARD_AMOUNT_RULE, VELKAR_SERVER_CARD_AMOUNT_RULE};

// Count and total of RecordsBetween booked up to the rowid ?3, in one read of an index, and the
// part of the total the negative amounts make. Only an amount below 0, or a text that begins
// with "-", can count negative, so the rule is worked out again for those alone.
#define VELKAR_RECORDS_BETWEEN_TOTAL(rule, negative)                                               \
    "SELECT count(*), coalesce(sum(" rule "), 0), coalesce(sum(CASE WHEN " negative " THEN (" rule \
    ") ELSE 0 END), 0) FROM employees WHERE 日期 BETWEEN ?1 AND ?2 AND rowid <= ?3"
inline constexpr Dialects RecordsBetweenTotal{
    VELKAR_RECORDS_BETWEEN_TOTAL(VELKAR_AMOUNT_RULE, "金额 < 0 OR (金额 >= '-' AND 金额 < '.')"),
    VELKAR_RECORDS_BETWEEN_TOTAL(VELKAR_SERVER_AMOUNT_RULE, "金额 < 0")};

// The records of RecordsBetween up to the rowid ?3 whose commands served a correction or a
// replacement, read from the few links rather than looked up for every record: CROSS JOIN keeps
// SQLite from starting at the range's records, which cost a year of them. Columns: kind, amount
// by the reports' rule.
#define VELKAR_LINKED_RECORDS_BETWEEN(rule)                                                        \
    "SELECT l.kind, " rule " FROM journal_links l CROSS JOIN journal j CROSS JOIN employees e "    \
    "WHERE j.id = l.journal_id AND e.rowid = j.record_id AND j.state = 'booked' AND e.日期 "     \
    "BETWEEN ?1 AND ?2 AND e.rowid <= ?3"
inline constexpr Dialects LinkedRecordsBetween{
    VELKAR_LINKED_RECORDS_BETWEEN(VELKAR_AMOUNT_RULE),
    VELKAR_LINKED_RECORDS_BETWEEN(VELKAR_SERVER_AMOUNT_RULE)};
// The cash paid out in the range ?1..?2 up to the payout ?3. Columns: kind, amount (tenths).
inline constexpr const char* PayoutsBetween =
    "SELECT kind, amount FROM cash_paid WHERE paid_at BETWEEN ?1 AND ?2 AND id <= ?3";

// The kept spans of records (a day each, or one odd 日期 text) that meet the range ?1..?2, in
// order: ?3 is a text no greater than the first ten characters of ?1, where a span that holds ?1
// begins. Columns: lo, hi, count, total, negative.
inline constexpr const char* RecordDaysBetween =
    "SELECT lo, hi, count, total, negative FROM record_days WHERE lo >= ?3 AND lo <= ?2 AND "
    "hi >= ?1 ORDER BY lo";
// The position of the record ?4 places after the first of those from ?1 to ?2 booked up to the
// rowid ?3, read from the date index alone. Columns: 日期, rowid.
inline constexpr const char* RecordPositionBetween =
    "SELECT 日期, rowid FROM employees WHERE 日期 BETWEEN ?1 AND ?2 AND rowid <= ?3 ORDER BY "
    "日期, rowid LIMIT 1 OFFSET ?4";

// The records of RecordsBetweenWithNames from ?1 to ?2 booked up to the rowid ?3, from the
// position (?4, ?5) on, at most ?6 of them, each followed by its position. The position's date
// is the lower bound, so the read starts at the position in the date index.
inline constexpr const char* RecordBlockBetween =
    "SELECT e.卡号, e.日期, e.金额, " VELKAR_RECORD_NAME_AND_BOOKER
    ", " VELKAR_RECORD_OPERATION_AND_LINK
    ", e.日期, e.rowid FROM employees e WHERE e.日期 >= ?4 AND e.日期 <= ?2 AND ?4 >= ?1 AND "
    "(e.日期 > ?4 OR e.rowid >= ?5) AND e.rowid <= ?3 ORDER BY e.日期, e.rowid LIMIT ?6";

// Count and total of CardRecords by the desk's rule.
#define VELKAR_CARD_RECORDS_TOTAL(rule)                                                            \
    "SELECT count(*), coalesce(sum(" rule "), 0) FROM employees WHERE 卡号 = ?"
inline constexpr Dialects CardRecordsTotal{
    VELKAR_CARD_RECORDS_TOTAL(VELKAR_CARD_AMOUNT_RULE),
    VELKAR_CARD_RECORDS_TOTAL(VELKAR_SERVER_CARD_AMOUNT_RULE)};

// What a record is to a plan, as a key: a recharge taken back by a correction (open,
// corrected, or withdrawn before its clear), or a command a correction or a replacement sent.
// Empty for a plain record.
#define VELKAR_RECORD_PLAN_MARK                                                                    \
    "coalesce((SELECT CASE WHEN c.state = 'open' THEN 'correcting' WHEN EXISTS (SELECT 1 FROM "    \
    "journal_links cl JOIN journal cj ON cj.id = cl.journal_id WHERE cl.kind = 'correction' AND "  \
    "cl.ref = c.id AND cj.state = 'booked' AND cj.operation = 'clear') THEN 'corrected' ELSE "     \
    "'withdrawn' END FROM corrections c WHERE c.record_id = e.rowid), (SELECT l.kind FROM "        \
    "journal j JOIN journal_links l ON l.journal_id = j.id WHERE j.state = 'booked' AND "          \
    "j.record_id = e.rowid LIMIT 1), '')"

// The position of each of a card's records, in booking order. Columns: '', rowid.
inline constexpr const char* CardRecordPositions =
    "SELECT '', rowid FROM employees WHERE 卡号 = ?1 ORDER BY rowid";

// CardRecords from the rowid ?3 on, at most ?4 of them (?2 is the empty sort text), each with
// its mark. Columns: 卡号, 日期, 金额, mark.
inline constexpr const char* CardRecordBlock =
    "SELECT e.卡号, e.日期, e.金额, " VELKAR_RECORD_PLAN_MARK " FROM employees e WHERE e.卡号 = ?1 "
    "AND ?2 = '' AND e.rowid >= ?3 ORDER BY e.rowid LIMIT ?4";
#undef VELKAR_RECORD_PLAN_MARK

// The replacements a card took part in, either end. Columns: old card, new card, state.
inline constexpr const char* ReplacementsOfCard =
    "SELECT old_card, new_card, state FROM replacements WHERE old_card = ?1 OR new_card = ?1 "
    "ORDER BY id";

#undef VELKAR_AMOUNT_RULE
#undef VELKAR_SERVER_AMOUNT_RULE
#undef VELKAR_CARD_AMOUNT_RULE
#undef VELKAR_SERVER_CARD_AMOUNT_RULE
#undef VELKAR_RECORDS_BETWEEN_TOTAL
#undef VELKAR_LINKED_RECORDS_BETWEEN
#undef VELKAR_RECORD_OPERATION_AND_LINK
#undef VELKAR_CARD_RECORDS_TOTAL
#undef VELKAR_RECORD_NAME_AND_BOOKER

// The highest audit id ever given, kept apart so that deleting the last entries shows. SQLite
// keeps it for an AUTOINCREMENT table; a server's sequences ignore rollbacks (a rolled-back entry
// would leave a gap), so a server database keeps it in a table of its own, and its sequence only
// numbers a row added by hand after the others, as SQLite would.
inline constexpr Dialects AuditGivenId{
    "SELECT coalesce(max(seq), 0) FROM sqlite_sequence WHERE name = 'audit'",
    "SELECT seq FROM audit_sequence"};
// What a new entry builds on, in one read: the highest id ever given (also when the last entry
// was deleted since) and the newest entry's hash, null in an empty trail.
inline constexpr Dialects AuditTail{
    "SELECT max((SELECT coalesce(max(seq), 0) FROM sqlite_sequence WHERE name = 'audit'), "
    "(SELECT coalesce(max(id), 0) FROM audit)), "
    "(SELECT hash FROM audit ORDER BY id DESC LIMIT 1)",
    "SELECT greatest((SELECT coalesce(max(seq), 0) FROM audit_sequence), "
    "(SELECT coalesce(max(id), 0) FROM audit)), "
    "(SELECT hash FROM audit ORDER BY id DESC LIMIT 1)"};
// An operator's trail entry, its id and hash worked out by the caller; on a server the id
// given is counted in the same statement.
inline constexpr Dialects AppendAuditEntry{
    "INSERT INTO audit (id, time, account, desk, action, details, hash) "
    "VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7)",
    "WITH added AS (INSERT INTO audit (id, time, account, desk, action, details, hash) "
    "VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7) RETURNING id), "
    "given AS (UPDATE audit_sequence SET seq = greatest(seq, (SELECT id FROM added)) "
    "RETURNING seq) "
    "SELECT setval(pg_get_serial_sequence('audit', 'id'), (SELECT seq FROM given))"};
// Sets the highest audit id given to ?1 in a copy, once the entries are in.
inline constexpr Dialects SetAuditGivenId{
    "INSERT OR REPLACE INTO sqlite_sequence (rowid, name, seq) VALUES "
    "((SELECT rowid FROM sqlite_sequence WHERE name = 'audit'), 'audit', ?1)",
    "WITH given AS (UPDATE audit_sequence SET seq = ?1 RETURNING seq) "
    "SELECT setval(pg_get_serial_sequence('audit', 'id'), "
    "greatest((SELECT seq FROM given), (SELECT coalesce(max(id), 0) FROM audit)) + 1, false)"};

// ---- The ledger's writes ------------------------------------------------------------------

// A command's journal row, pending until the reader answers. Returns its id.
inline constexpr const char* AddJournalEntry =
    "INSERT INTO journal (card_no, operation, amount, balance_before, "
    "balance_expected, operator, desk, sent_at, state) "
    "VALUES (?, ?, ?, ?, ?, ?, ?, ?, 'pending') RETURNING id";
// The record a booked command adds. Returns its rowid.
inline constexpr const char* BookRecord =
    "INSERT INTO employees (" VELKAR_RECORD_COLUMNS ") VALUES (?, ?, ?) RETURNING rowid";
// How the reader answered: state, time, balance seen, the record booked (null for none), id.
inline constexpr const char* ResolveJournalEntry =
    "UPDATE journal SET state = ?, resolved_at = ?, balance_seen = ?, record_id = ? WHERE id = ?";
// An operator's trail entry, its id and hash worked out by the caller.
inline constexpr const char* AddAuditEntry = "INSERT INTO audit (id, time, account, desk, action, "
                                             "details, hash) VALUES (?, ?, ?, ?, ?, ?, ?)";

// ---- Imports: a new database filled in one go -----------------------------------------

inline constexpr const char* ImportCardholder =
    "INSERT INTO userecord (" VELKAR_CARDHOLDER_COLUMNS ") VALUES (?, ?, ?, ?, ?, ?)";
inline constexpr const char* ImportRecord =
    "INSERT INTO employees (" VELKAR_RECORD_COLUMNS ") VALUES (?, ?, ?)";
// A server takes the rows as one stream of tab-separated lines.
inline constexpr const char* CopyCardholders =
    "COPY userecord (" VELKAR_CARDHOLDER_COLUMNS ") FROM STDIN";
inline constexpr const char* CopyRecords = "COPY employees (" VELKAR_RECORD_COLUMNS ") FROM STDIN";
inline constexpr const char* RemoveAccounts = "DELETE FROM permission";
// Cardholders added and changed by the hundred: the head, then as many rows of values as
// there are cardholders, separated by commas, then (for a change) the tail. A change keeps the
// row's 卡号 and sets the other five columns.
inline constexpr const char* AddCardholdersHead =
    "INSERT INTO userecord (" VELKAR_CARDHOLDER_COLUMNS ") VALUES ";
inline constexpr const char* CardholderValues = "(?, ?, ?, ?, ?, ?)";
inline constexpr const char* ChangeCardholdersHead =
    "UPDATE userecord SET 卡序号 = v.column1, 姓名 = v.column3, 身份证 = v.column4, "
    "电话 = v.column5, 地址 = v.column6 FROM (VALUES ";
inline constexpr const char* ChangeCardholdersTail = ") AS v WHERE userecord.卡号 = v.column2";
// The indexes of the records, each with the statement that makes it. Columns: name, sql.
inline constexpr const char* RecordIndexes =
    "SELECT name, sql FROM sqlite_master WHERE type = 'index' AND tbl_name = 'employees' AND "
    "sql IS NOT NULL ORDER BY rowid";

// ---- Accounts --------------------------------------------------------------------------

// One account's stored password hash, read again inside a password change's write.
inline constexpr const char* AccountPassword =
    "SELECT 密码 FROM permission WHERE 用户名 = ? ORDER BY rowid LIMIT 1";
// The account ?1's new password hash ?2, on its first row as the list gives it.
inline constexpr const char* SetAccountPassword =
    "UPDATE permission SET 密码 = ?2 WHERE rowid = (SELECT rowid FROM permission WHERE 用户名 = ?1 "
    "ORDER BY rowid LIMIT 1)";
// The accounts of a new database: name, hash.
inline constexpr const char* AddAccount =
    "INSERT INTO permission (" VELKAR_ACCOUNT_COLUMNS ") VALUES (?, ?)";
// Every account in list order, as a check compares them. Columns: 用户名, 密码.
inline constexpr const char* AccountList =
    "SELECT " VELKAR_ACCOUNT_COLUMNS " FROM permission ORDER BY rowid";

// ---- The command journal ----------------------------------------------------------------

// The journal's columns, in the order its entries are read.
inline constexpr const char* JournalColumns = VELKAR_JOURNAL_COLUMNS;
// The state of the entry with this id, when it is this very command (id, then the command's
// fields): a replaced file may hold another command under the same number.
inline constexpr const char* JournalEntryState =
    "SELECT state FROM journal WHERE id = ? AND card_no = ? AND operation = ? AND amount = ? AND "
    "balance_before = ? AND balance_expected = ? AND operator = ? AND desk = ? AND sent_at = ?";
// Commands sent whose answer was never booked, oldest first.
inline constexpr const char* PendingJournalEntries =
    "SELECT " VELKAR_JOURNAL_COLUMNS " FROM journal WHERE state = 'pending' ORDER BY id";
// One card's commands whose answer was never booked, by any desk, oldest first.
inline constexpr const char* PendingJournalEntriesOfCard =
    "SELECT " VELKAR_JOURNAL_COLUMNS " FROM journal WHERE state = 'pending' AND card_no = ? "
    "ORDER BY id";
// Whether a command sent after ?3 changed the card ?1 from the same balance (?2) and was
// booked: the card's change is then that command's. Only the entries written since ?3 are
// read.
inline constexpr const char* BookedLaterFromSameBalance =
    "SELECT 1 FROM journal WHERE id > ?3 AND card_no = ?1 AND balance_before = ?2 "
    "AND state = 'booked' LIMIT 1";
// Every entry; the caller adds "WHERE state = ?", the newest-first order and a limit.
inline constexpr const char* JournalEntries = "SELECT " VELKAR_JOURNAL_COLUMNS " FROM journal";

// ---- Cards: lost, replaced, last seen -------------------------------------------------------

#define VELKAR_CARD_COLUMNS                                                                        \
    "card_no, state, since, account, reason, replaced_by, last_balance, last_seen_at, "            \
    "last_seen_desk"
inline constexpr const char* CardByNumber =
    "SELECT " VELKAR_CARD_COLUMNS " FROM cards WHERE card_no = ?";
// Every card the ledger knows, in card order; and those of one state.
inline constexpr const char* CardList =
    "SELECT " VELKAR_CARD_COLUMNS " FROM cards ORDER BY card_no";
inline constexpr const char* CardListOfState =
    "SELECT " VELKAR_CARD_COLUMNS " FROM cards WHERE state = ? ORDER BY card_no";
// The latest balance a desk saw on the card: ?1 card, ?2 balance, ?3 time, ?4 desk.
inline constexpr const char* CardSeen =
    "INSERT INTO cards (card_no, last_balance, last_seen_at, last_seen_desk) "
    "VALUES (?1, ?2, ?3, ?4) ON CONFLICT (card_no) DO UPDATE SET last_balance = ?2, "
    "last_seen_at = ?3, last_seen_desk = ?4";
// ?1 card, ?2 since, ?3 account, ?4 reason.
inline constexpr const char* MarkCardLost =
    "INSERT INTO cards (card_no, state, since, account, reason) VALUES (?1, 'lost', ?2, ?3, ?4) "
    "ON CONFLICT (card_no) DO UPDATE SET state = 'lost', since = ?2, account = ?3, reason = ?4";
// ?1 card, ?2 since, ?3 account.
inline constexpr const char* MarkCardActive =
    "UPDATE cards SET state = 'active', since = ?2, account = ?3, reason = NULL "
    "WHERE card_no = ?1";
// Whether the ledger has ever seen the card: a record, a journal row or a card row.
inline constexpr const char* CardKnown =
    "SELECT 1 WHERE EXISTS (SELECT 1 FROM employees WHERE 卡号 = ?1) OR "
    "EXISTS (SELECT 1 FROM journal WHERE card_no = ?1) OR "
    "EXISTS (SELECT 1 FROM cards WHERE card_no = ?1 AND (state = 'lost' OR replaced_by IS NOT "
    "NULL))";

// ---- Plans: replacements and corrections ----------------------------------------------------

#define VELKAR_REPLACEMENT_COLUMNS                                                                 \
    "id, old_card, new_card, balance, state, operator, desk, started_at, coalesce(done_at, '')"
inline constexpr const char* OpenReplacementOfCard =
    "SELECT " VELKAR_REPLACEMENT_COLUMNS " FROM replacements WHERE new_card = ? AND state = 'open'";
inline constexpr const char* ReplacementOfNewCard =
    "SELECT " VELKAR_REPLACEMENT_COLUMNS " FROM replacements WHERE new_card = ?";
inline constexpr const char* ReplacementOfOldCard =
    "SELECT " VELKAR_REPLACEMENT_COLUMNS " FROM replacements WHERE old_card = ? ORDER BY id DESC "
    "LIMIT 1";
inline constexpr const char* OpenReplacements =
    "SELECT " VELKAR_REPLACEMENT_COLUMNS " FROM replacements WHERE state = 'open' ORDER BY id";
// Every replacement's cards. Columns: old card, new card, state.
inline constexpr const char* ReplacementLinks =
    "SELECT old_card, new_card, state FROM replacements ORDER BY id";
inline constexpr const char* AddReplacement =
    "INSERT INTO replacements (old_card, new_card, balance, operator, desk, started_at) "
    "VALUES (?, ?, ?, ?, ?, ?) RETURNING id";
inline constexpr const char* FinishReplacement =
    "UPDATE replacements SET state = 'done', done_at = ? WHERE id = ? AND state = 'open'";
// ?1 the lost card, ?2 the card that took its place.
inline constexpr const char* SetReplacedBy = "UPDATE cards SET replaced_by = ?2 WHERE card_no = ?1";
// The cardholder goes with the balance to the new card.
inline constexpr const char* MoveCardholder = "UPDATE userecord SET 卡号 = ?2 WHERE 卡号 = ?1";
// Lost cards no replacement took the place of, with their holders. Columns: card, holder,
// last balance.
inline constexpr const char* ReplaceableCards =
    "SELECT c.card_no, coalesce((SELECT u.姓名 FROM userecord u WHERE u.卡号 = c.card_no), ''), "
    "c.last_balance FROM cards c WHERE c.state = 'lost' AND c.replaced_by IS NULL ORDER BY "
    "c.card_no";

#define VELKAR_CORRECTION_COLUMNS                                                                  \
    "id, record_id, card_no, amount, target, state, operator, desk, started_at, "                  \
    "coalesce(done_at, '')"
inline constexpr const char* OpenCorrectionOfCard =
    "SELECT " VELKAR_CORRECTION_COLUMNS " FROM corrections WHERE card_no = ? AND state = 'open'";
inline constexpr const char* OpenCorrections =
    "SELECT " VELKAR_CORRECTION_COLUMNS " FROM corrections WHERE state = 'open' ORDER BY id";
inline constexpr const char* CorrectionOfRecord =
    "SELECT " VELKAR_CORRECTION_COLUMNS " FROM corrections WHERE record_id = ?";
inline constexpr const char* AddCorrection =
    "INSERT INTO corrections (record_id, card_no, amount, target, operator, desk, started_at) "
    "VALUES (?, ?, ?, ?, ?, ?, ?) RETURNING id";
inline constexpr const char* SetCorrectionTarget = "UPDATE corrections SET target = ? WHERE id = ?";
inline constexpr const char* FinishCorrection =
    "UPDATE corrections SET state = 'done', done_at = ? WHERE id = ? AND state = 'open'";
// A record as a correction sees it. Columns: card, amount, the booking command's operation
// (empty for a record from before the journal), whether that command served a plan.
inline constexpr const char* RecordToCorrect =
    "SELECT e.卡号, e.金额, coalesce((SELECT j.operation FROM journal j WHERE j.record_id = "
    "e.rowid AND j.state = 'booked'), ''), CASE WHEN EXISTS (SELECT 1 FROM journal j "
    "JOIN journal_links l ON l.journal_id = j.id WHERE j.record_id = e.rowid AND "
    "j.state = 'booked') THEN 1 ELSE 0 END FROM employees e WHERE e.rowid = ?";
// The card's recharges a correction may take back, newest first. Columns: rowid, 日期, 金额.
inline constexpr const char* CorrectableRecords =
    "SELECT e.rowid, e.日期, e.金额 FROM employees e WHERE e.卡号 = ? AND e.金额 > 0 AND "
    "NOT EXISTS (SELECT 1 FROM corrections c WHERE c.record_id = e.rowid) AND NOT EXISTS "
    "(SELECT 1 FROM journal j JOIN journal_links l ON l.journal_id = j.id WHERE j.record_id = "
    "e.rowid AND j.state = 'booked') AND NOT EXISTS (SELECT 1 FROM journal j WHERE j.record_id = "
    "e.rowid AND j.state = 'booked' AND j.operation = 'clear') ORDER BY e.rowid DESC LIMIT 100";

// ?1 journal id, ?2 kind, ?3 plan id.
inline constexpr const char* AddJournalLink =
    "INSERT INTO journal_links (journal_id, kind, ref) VALUES (?, ?, ?)";
// ?1 the journal row written for a command the reader carried out on another card, ?2 the
// command it was sent as: whatever that one served, this one served.
inline constexpr const char* CopyJournalLink =
    "INSERT INTO journal_links (journal_id, kind, ref) SELECT ?1, kind, ref FROM journal_links "
    "WHERE journal_id = ?2";
// A plan's commands in the order they were sent. Columns: operation, amount, state,
// balance_before, card.
inline constexpr const char* PlanCommands =
    "SELECT j.operation, j.amount, j.state, j.balance_before, j.card_no FROM journal_links l JOIN "
    "journal j ON j.id = l.journal_id WHERE l.kind = ? AND l.ref = ? ORDER BY j.id";
inline constexpr const char* AddCashPaid =
    "INSERT INTO cash_paid (kind, ref, card_no, amount, operator, desk, paid_at) "
    "VALUES (?, ?, ?, ?, ?, ?, ?)";
inline constexpr const char* CashPaidOfPlan =
    "SELECT amount FROM cash_paid WHERE kind = ? AND ref = ?";

// ---- The audit trail --------------------------------------------------------------------

inline constexpr const char* AuditColumns = VELKAR_AUDIT_COLUMNS;
// The trail in the order its hashes chain.
inline constexpr const char* AuditChain = "SELECT " VELKAR_AUDIT_COLUMNS " FROM audit ORDER BY id";
// The chain after an entry found intact before, and that entry's hash now.
inline constexpr const char* AuditChainAfter =
    "SELECT " VELKAR_AUDIT_COLUMNS " FROM audit WHERE id > ? ORDER BY id";
inline constexpr const char* AuditHashAt = "SELECT hash FROM audit WHERE id = ?";
// Every entry; the audit window's filter adds its bound conditions, order and page size.
inline constexpr const char* AuditEntries = "SELECT " VELKAR_AUDIT_COLUMNS " FROM audit";

// ---- The settlement ---------------------------------------------------------------------

// The records of the range ?1..?2 in their date order, amounts by the query window's rule: more
// than five characters count 0. 金额 holds integers only, so that is a range, with no text
// made. Columns: rowid, day, amount.
inline constexpr const char* SettlementRecords =
    "SELECT rowid, substr(日期, 1, 10), CASE WHEN 金额 BETWEEN -9999 AND 99999 THEN 金额 ELSE 0 "
    "END FROM employees WHERE 日期 >= ?1 AND 日期 <= ?2 ORDER BY 日期";
// Who booked the records ?1..?2 (by rowid), read in one pass of the booked entries' index
// rather than looked up a million times. Columns: record_id, operator, whether a clear.
inline constexpr const char* SettlementBookings =
    "SELECT record_id, operator, operation = 'clear' FROM journal "
    "WHERE state = 'booked' AND record_id BETWEEN ?1 AND ?2 ORDER BY record_id";

// The records among ?1..?2 (by rowid) whose commands served a correction or a replacement:
// the few links read, each with its journal row by key. Columns: record_id, kind.
inline constexpr const char* SettlementLinks =
    "SELECT j.record_id, l.kind FROM journal_links l JOIN journal j ON j.id = l.journal_id "
    "WHERE j.state = 'booked' AND j.record_id BETWEEN ?1 AND ?2";
// The cash paid out in the range ?1..?2 (full timestamps). Columns: day, operator, kind,
// amount (tenths).
inline constexpr const char* SettlementPayouts =
    "SELECT substr(paid_at, 1, 10), operator, kind, amount FROM cash_paid "
    "WHERE paid_at >= ?1 AND paid_at <= ?2 ORDER BY paid_at, id";

// The newest recharge record: tells a reader whether the records changed since it last looked
// (records are only ever appended).
inline constexpr const char* NewestRecord = "SELECT coalesce(max(rowid), 0) FROM employees";

// ---- Shifts -----------------------------------------------------------------------------

inline constexpr const char* ShiftColumns = VELKAR_SHIFT_COLUMNS;
inline constexpr const char* ShiftById = "SELECT " VELKAR_SHIFT_COLUMNS " FROM shift WHERE id = ?";
// A desk has at most one open shift.
inline constexpr const char* OpenShiftOfDesk =
    "SELECT " VELKAR_SHIFT_COLUMNS " FROM shift WHERE desk = ? AND closed_at IS NULL";
// The desk's latest closed shift: where its next shift takes over (the last record and payout
// it counted) and the change its drawer was left with. Columns: last_record, cash_float,
// last_paid.
inline constexpr const char* LastClosedOfDesk =
    "SELECT last_record, cash_float, last_paid FROM shift WHERE desk = ? AND z_number IS NOT "
    "NULL ORDER BY z_number DESC LIMIT 1";
inline constexpr const char* NewestPayout = "SELECT coalesce(max(id), 0) FROM cash_paid";
inline constexpr const char* AddShift = "INSERT INTO shift (desk, operator, opened_at, "
                                        "first_record, first_paid) VALUES (?, ?, ?, ?, ?) "
                                        "RETURNING id";
// An open shift left empty by another operator, taken over by the one logging in.
inline constexpr const char* TakeOverShift =
    "UPDATE shift SET operator = ?, opened_at = ? WHERE id = ? AND closed_at IS NULL";
// The bookings of the desk ?1's commands whose records lie after ?2 up to ?3, amounts by the
// settlement's rule, with what each command served. Columns: operation, amount, link.
inline constexpr const char* ShiftBookings =
    "SELECT j.operation, CASE WHEN e.金额 BETWEEN -9999 AND 99999 THEN e.金额 ELSE 0 END, "
    "coalesce((SELECT l.kind FROM journal_links l WHERE l.journal_id = j.id), '') "
    "FROM journal j JOIN employees e ON e.rowid = j.record_id WHERE j.state = 'booked' AND "
    "j.record_id > ?2 AND j.record_id <= ?3 AND j.desk = ?1 ORDER BY j.record_id";
// The cash the desk ?1 paid out after the payout ?2 up to ?3. Columns: kind, amount (tenths).
inline constexpr const char* ShiftPayouts =
    "SELECT kind, amount FROM cash_paid WHERE id > ?2 AND id <= ?3 AND desk = ?1 ORDER BY id";
// Whether the desk ?1 booked anything after the record ?2.
inline constexpr const char* DeskBookedSince =
    "SELECT 1 FROM journal WHERE state = 'booked' AND record_id > ?2 AND desk = ?1 LIMIT 1";
// The highest Z number the desk ?1 was ever given, kept apart from its shifts so that a
// restored older file does not give it again.
inline constexpr const char* GivenZNumber =
    "SELECT coalesce(max(n), 0) FROM (SELECT last_z AS n FROM shift_number WHERE desk = ?1 "
    "UNION ALL SELECT z_number FROM shift WHERE desk = ?1 AND z_number IS NOT NULL) AS given";
inline constexpr const char* GivenZNumbers = "SELECT desk, last_z FROM shift_number";
inline constexpr const char* RaiseZNumber =
    "INSERT INTO shift_number (desk, last_z) VALUES (?1, ?2) ON CONFLICT (desk) DO UPDATE SET "
    "last_z = CASE WHEN shift_number.last_z > excluded.last_z THEN shift_number.last_z ELSE "
    "excluded.last_z END";
inline constexpr const char* CloseShift =
    "UPDATE shift SET closed_at = ?, closed_by = ?, last_record = ?, z_number = ?, expected = ?, "
    "counted = ?, seal = ?, audit_id = ?, cash_float = ?, last_paid = ? WHERE id = ? AND "
    "closed_at IS NULL";
inline constexpr const char* AddShiftTotal =
    "INSERT INTO shift_total (shift_id, kind, count, amount, cash) VALUES (?, ?, ?, ?, ?)";
// Columns: kind, count, amount, cash.
inline constexpr const char* ShiftTotals =
    "SELECT kind, count, amount, cash FROM shift_total WHERE shift_id = ?";
// The shifts that ran on some part of the range ?1..?2 (full timestamps), oldest first.
inline constexpr const char* ShiftsBetween =
    "SELECT " VELKAR_SHIFT_COLUMNS " FROM shift WHERE opened_at <= ?2 AND "
    "(closed_at IS NULL OR closed_at >= ?1) ORDER BY opened_at, id";
inline constexpr const char* ShiftBySeal =
    "SELECT " VELKAR_SHIFT_COLUMNS " FROM shift WHERE seal = ? ORDER BY id";
// The trail's entries whose hash begins with the seal ?.
inline constexpr const char* AuditEntriesBySeal =
    "SELECT id FROM audit WHERE substr(hash, 1, 16) = ? ORDER BY id";
inline constexpr const char* AuditHead = "SELECT id, hash FROM audit ORDER BY id DESC LIMIT 1";

// ---- Receipts ---------------------------------------------------------------------------

// A booked command with its record, its card's holder and what it served, as a slip prints it.
// Columns: id, card_no, operation, amount, balance_before, balance_seen, operator, desk, 日期,
// 金额, 姓名, link.
inline constexpr const char* BookedCommand =
    "SELECT j.id, j.card_no, j.operation, j.amount, j.balance_before, j.balance_seen, "
    "j.operator, j.desk, e.日期, e.金额, coalesce((SELECT u.姓名 FROM userecord u WHERE u.卡号 = "
    "j.card_no ORDER BY u.rowid LIMIT 1), ''), coalesce((SELECT l.kind FROM journal_links l "
    "WHERE l.journal_id = j.id), '') FROM journal j JOIN employees e ON e.rowid = j.record_id "
    "WHERE j.id = ? AND j.state = 'booked'";
// The rows of table %1 that break one of its CHECK rules %2, the rules as the program writes
// them (the check fills in its own schema's text, never a file's).
inline constexpr const char* RowsBreakingRules = "SELECT count(*) FROM %1 WHERE %2";

// ---- What a restore costs (files only) --------------------------------------------------

// The working file ?1 beside the restore's new file, read only by the statements below.
inline constexpr const char* AttachWorking = "ATTACH DATABASE ?1 AS working";
inline constexpr const char* DetachWorking = "DETACH DATABASE working";
// The time of the newest record in the new file; null when it holds none.
inline constexpr const char* NewestRecordTime = "SELECT max(日期) FROM main.employees";
// Records of the working file the new one lacks, counted as rows with their content: a record
// held twice there and once in the new file counts once. A row found under the same rowid with
// the same content on both sides (a backup's rows) is set aside first, in one pass of each
// table's key, so that only the rest are grouped. Columns: how many.
inline constexpr const char* RecordsOnlyInWorking =
    "WITH w AS (SELECT 卡号, 日期, 金额 FROM working.employees AS e WHERE NOT EXISTS "
    "(SELECT 1 FROM main.employees AS o WHERE o.rowid = e.rowid AND o.卡号 = e.卡号 AND "
    "o.日期 = e.日期 AND o.金额 = e.金额)), "
    "m AS (SELECT 卡号, 日期, 金额 FROM main.employees AS e WHERE NOT EXISTS "
    "(SELECT 1 FROM working.employees AS o WHERE o.rowid = e.rowid AND o.卡号 = e.卡号 AND "
    "o.日期 = e.日期 AND o.金额 = e.金额)) "
    "SELECT coalesce(sum(w.n - coalesce(m.n, 0)), 0) "
    "FROM (SELECT 卡号, 日期, 金额, count(*) AS n FROM w GROUP BY 卡号, 日期, 金额) AS w "
    "LEFT JOIN (SELECT 卡号, 日期, 金额, count(*) AS n FROM m GROUP BY 卡号, 日期, 金额) AS m "
    "ON m.卡号 = w.卡号 AND m.日期 = w.日期 AND m.金额 = w.金额 WHERE w.n > coalesce(m.n, 0)";
// Commands of the working file's journal the new one lacks, known by what was sent, whatever
// became of them since; looked up by id.
inline constexpr const char* JournalOnlyInWorking =
    "SELECT count(*) FROM working.journal AS w WHERE NOT EXISTS (SELECT 1 FROM main.journal AS m "
    "WHERE m.id = w.id AND m.card_no = w.card_no AND m.operation = w.operation AND "
    "m.amount = w.amount AND m.desk = w.desk AND m.sent_at = w.sent_at)";
} // namespace Statements

#undef VELKAR_CARDHOLDER_COLUMNS
#undef VELKAR_RECORD_COLUMNS
#undef VELKAR_ACCOUNT_COLUMNS
#undef VELKAR_AUDIT_COLUMNS
#undef VELKAR_JOURNAL_COLUMNS
#undef VELKAR_SHIFT_COLUMNS

} // namespace velkar
