#pragma once

// The reads: recordsets, bulk reads, ranges and their totals, and the archive's writes.
// Part of the statement catalogue.

#ifndef VELKAR_RECORD_COLUMNS
#error "included by data/Statements.h alone, which defines the column lists"
#endif

namespace velkar::Statements {

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
    {                                                                                              \
        column,                                                                                    \
            "SELECT " VELKAR_CARDHOLDER_COLUMNS " FROM userecord WHERE " column                    \
            " = ? ORDER BY 卡号",                                                                  \
            "SELECT count(*) FROM userecord WHERE " column " = ?1",                                \
            "SELECT 卡号, rowid FROM userecord WHERE " column                                      \
            " = ?1 ORDER BY 卡号 LIMIT 1 OFFSET ?2",                                               \
            "SELECT " VELKAR_CARDHOLDER_COLUMNS ", 卡号, rowid FROM userecord WHERE " column       \
            " = ?1 AND "                                                                           \
            "卡号 >= ?2 AND ?3 IS NOT NULL ORDER BY 卡号 LIMIT ?4"                             \
    }
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
// Every kept span, in order. Columns: lo, hi, count, total, negative.
inline constexpr const char* RecordDaysInOrder =
    "SELECT lo, hi, count, total, negative FROM record_days ORDER BY lo";
// How many kept spans begin or end with a value other than a text. Columns: how many.
inline constexpr const char* RecordDaysNotText =
    "SELECT count(*) FROM record_days WHERE typeof(lo) <> 'text' OR typeof(hi) <> 'text'";
// Every record's day and amount in 日期 order, read from the date-and-amount index alone: what
// a file's check adds up in one read. Columns: 日期, 金额.
inline constexpr const char* RecordAmountsByDay = "SELECT 日期, 金额 FROM employees ORDER BY 日期";
// The reports' rule and its negative part (as RecordsBetweenTotal takes it) for the one 金额
// ?1, for the odd values a file may hold. Columns: amount, its negative part.
inline constexpr const char* AmountByRule =
    "SELECT " VELKAR_AMOUNT_RULE
    ", CASE WHEN 金额 < 0 OR (金额 >= '-' AND 金额 < '.') THEN (" VELKAR_AMOUNT_RULE
    ") ELSE 0 END FROM (SELECT ?1 AS 金额)";
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

// Count and total of CardRecords by the desk's rule, as the store keeps them for each card
// (card_totals, written by the records table's own triggers). One row, zeros for a card with no
// records.
#define VELKAR_CARD_RECORDS_TOTAL                                                                  \
    "SELECT coalesce(sum(count), 0), coalesce(sum(total), 0) FROM card_totals WHERE 卡号 = ?"
inline constexpr Dialects CardRecordsTotal{VELKAR_CARD_RECORDS_TOTAL, VELKAR_CARD_RECORDS_TOTAL};
// Every card's kept count and total, in 卡号 order. Columns: 卡号, count, total.
inline constexpr const char* CardTotalsInOrder =
    "SELECT 卡号, count, total FROM card_totals ORDER BY 卡号";
// The same counted from the records on a server, what the kept ones must equal. Columns: 卡号,
// count, total.
inline constexpr const char* ServerCardTotalsCounted =
    "SELECT 卡号, count(*), sum(" VELKAR_SERVER_CARD_AMOUNT_RULE ") FROM employees GROUP BY 卡号 "
    "ORDER BY 卡号";
// Every record's card and amount in 卡号 order, read from the card-and-amount index alone: what
// a file's check adds up in one read. Columns: 卡号, 金额.
inline constexpr const char* RecordAmountsByCard = "SELECT 卡号, 金额 FROM employees ORDER BY 卡号";
// The desk's rule for the one 金额 ?1, for the odd values a file may hold. Columns: amount.
inline constexpr const char* CardAmountByRule =
    "SELECT " VELKAR_CARD_AMOUNT_RULE " FROM (SELECT ?1 AS 金额)";

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
// A server's trail entry of the row in `field` (t time, a account, d desk, c action, x details),
// if any, with the tail read and the hash worked out in the same statement, so that it costs no
// round trip of its own inside the ledger's lock. The hash covers the bytes Audit::HashOf covers;
// SQLite has no SHA-256 of its own. Its CTEs, after `field`: `added` holds the entry's id.
#define VELKAR_CHAINED_AUDIT_ENTRY                                                                 \
    "tail AS MATERIALIZED (SELECT greatest((SELECT coalesce(max(seq), 0) FROM audit_sequence), "   \
    "(SELECT coalesce(max(id), 0) FROM audit)) + 1 AS id, "                                        \
    "coalesce((SELECT hash FROM audit ORDER BY id DESC LIMIT 1), '') AS prev), "                   \
    "added AS (INSERT INTO audit (id, time, account, desk, action, details, hash) "                \
    "SELECT tail.id, f.t, f.a, f.d, f.c, f.x, encode(sha256(convert_to(tail.id::text "             \
    "|| chr(31) || octet_length(convert_to(f.t, 'UTF8')) || ':' || f.t "                           \
    "|| chr(31) || octet_length(convert_to(f.a, 'UTF8')) || ':' || f.a "                           \
    "|| chr(31) || octet_length(convert_to(f.d, 'UTF8')) || ':' || f.d "                           \
    "|| chr(31) || octet_length(convert_to(f.c, 'UTF8')) || ':' || f.c "                           \
    "|| chr(31) || octet_length(convert_to(f.x, 'UTF8')) || ':' || f.x "                           \
    "|| chr(30) || tail.prev, 'UTF8')), 'hex') FROM tail, field f RETURNING id), "                 \
    "given AS (UPDATE audit_sequence SET seq = greatest(seq, (SELECT id FROM added)) "             \
    "WHERE EXISTS (SELECT 1 FROM added) RETURNING seq) "
// The highest id given, for the ids of the audit table's own sequence (none when no entry was
// added).
#define VELKAR_AUDIT_GIVEN_KEPT                                                                    \
    "setval(pg_get_serial_sequence('audit', 'id'), (SELECT seq FROM given))"
// One trail entry on a server: ?1 time, ?2 account, ?3 desk, ?4 action, ?5 details. Returns the
// entry's id.
inline constexpr const char* AppendChainedAuditEntry =
    "WITH field AS (SELECT ?1::text AS t, ?2::text AS a, ?3::text AS d, ?4::text AS c, "
    "?5::text AS x), " VELKAR_CHAINED_AUDIT_ENTRY
    "SELECT (SELECT id FROM added), " VELKAR_AUDIT_GIVEN_KEPT;
// Sets the highest audit id given to ?1 in a copy, once the entries are in.
inline constexpr Dialects SetAuditGivenId{
    "INSERT OR REPLACE INTO sqlite_sequence (rowid, name, seq) VALUES "
    "((SELECT rowid FROM sqlite_sequence WHERE name = 'audit'), 'audit', ?1)",
    "WITH given AS (UPDATE audit_sequence SET seq = ?1 RETURNING seq) "
    "SELECT setval(pg_get_serial_sequence('audit', 'id'), "
    "greatest((SELECT seq FROM given), (SELECT coalesce(max(id), 0) FROM audit)) + 1, false)"};

} // namespace velkar::Statements
