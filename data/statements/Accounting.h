#pragma once

// The audit trail, the settlement, shifts, receipts and what a restore costs. Part of the
// statement catalogue.

#ifndef VELKAR_RECORD_COLUMNS
#error "included by data/Statements.h alone, which defines the column lists"
#endif

namespace velkar::Statements {

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
// table's key, so that only the rest are grouped. Each pass reads its table in rowid order:
// through an index for the grouping, every row would cost two seeks in random order.
// Columns: how many.
inline constexpr const char* RecordsOnlyInWorking =
    "WITH w AS (SELECT 卡号, 日期, 金额 FROM working.employees AS e NOT INDEXED WHERE NOT EXISTS "
    "(SELECT 1 FROM main.employees AS o WHERE o.rowid = e.rowid AND o.卡号 = e.卡号 AND "
    "o.日期 = e.日期 AND o.金额 = e.金额)), "
    "m AS (SELECT 卡号, 日期, 金额 FROM main.employees AS e NOT INDEXED WHERE NOT EXISTS "
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

} // namespace velkar::Statements
