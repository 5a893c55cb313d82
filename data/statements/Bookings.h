#pragma once

// The ledger's writes, imports, accounts, the command journal, cards and plans. Part of the
// statement catalogue.

#ifndef VELKAR_RECORD_COLUMNS
#error "included by data/Statements.h alone, which defines the column lists"
#endif

namespace velkar::Statements {

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
// Whether a command of the card of journal row `j` sent after it from the same balance was
// booked: then the card's change is that one's, and `j` never reached the card.
#define VELKAR_BOOKED_LATER                                                                        \
    "EXISTS (SELECT 1 FROM journal l WHERE l.id > j.id AND l.card_no = j.card_no AND "             \
    "l.balance_before = j.balance_before AND l.state = 'booked')"
// A booked command on a server, in one statement: ?1 card, ?2 time, ?3 金额 text, ?4 balance
// seen, ?5 journal id, ?6 desk. Adds the record, marks the command booked with it and notes the
// card's balance seen. Each statement is a round trip inside the ledger's lock; a file keeps the
// separate ones. Returns the record's rowid.
inline constexpr const char* BookAndResolveOnServer =
    "WITH record AS (INSERT INTO employees (" VELKAR_RECORD_COLUMNS ") VALUES (?1, ?2, ?3) "
    "RETURNING rowid), "
    "mark AS (UPDATE journal SET state = 'booked', resolved_at = ?2, balance_seen = ?4, "
    "record_id = (SELECT rowid FROM record) WHERE id = ?5), "
    "seen AS (INSERT INTO cards (card_no, last_balance, last_seen_at, last_seen_desk) "
    "VALUES (?1, ?4, ?2, ?6) ON CONFLICT (card_no) DO UPDATE SET last_balance = ?4, "
    "last_seen_at = ?2, last_seen_desk = ?6) "
    "SELECT rowid FROM record";
// The same checked, booked and written to the trail in one statement, so that a booking costs
// the ledger's lock one round trip: nothing is written unless the command ?5 is this very one
// (?1 card, ?7 operation, ?8 amount, ?9 balance before, ?10 expected, ?11 operator, ?12 sending
// desk, ?13 sent at), still pending, and no later command of the card from the same balance was
// booked. The trail entry: ?14 time, ?11 account, ?6 desk, ?15 action, and for details ?16, the
// record's rowid, ?17. Returns the command's state and whether such a later one was booked, as
// JournalEntryCheck does (none for another command), and the record's rowid (null: none added).
inline constexpr const char* BookCheckedOnServer =
    "WITH entry AS MATERIALIZED (SELECT j.state, " VELKAR_BOOKED_LATER
    " AS later FROM journal j WHERE j.id = ?5 AND j.card_no = ?1::text AND "
    "j.operation = ?7::text AND j.amount = ?8::integer AND j.balance_before = ?9::integer AND "
    "j.balance_expected = ?10::integer AND j.operator = ?11::text AND j.desk = ?12::text AND "
    "j.sent_at = ?13::text), "
    "record AS (INSERT INTO employees (" VELKAR_RECORD_COLUMNS ") SELECT ?1::text, ?2::text, "
    "?3::integer FROM entry WHERE state = 'pending' AND NOT later RETURNING rowid), "
    "mark AS (UPDATE journal SET state = 'booked', resolved_at = ?2::text, balance_seen = "
    "?4::integer, record_id = r.rowid FROM record r WHERE id = ?5), "
    "seen AS (INSERT INTO cards (card_no, last_balance, last_seen_at, last_seen_desk) "
    "SELECT ?1::text, ?4::integer, ?2::text, ?6::text FROM record ON CONFLICT (card_no) DO UPDATE "
    "SET last_balance = excluded.last_balance, last_seen_at = excluded.last_seen_at, "
    "last_seen_desk = excluded.last_seen_desk), "
    "field AS (SELECT ?14::text AS t, ?11::text AS a, ?6::text AS d, ?15::text AS c, "
    "?16::text || r.rowid || ?17::text AS x FROM record r), " VELKAR_CHAINED_AUDIT_ENTRY
    "SELECT (SELECT state FROM entry), (SELECT later FROM entry), (SELECT rowid FROM "
    "record), " VELKAR_AUDIT_GIVEN_KEPT;
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
// With it, whether a command of the same card sent after it from the same balance was booked:
// the card's change is then that command's. Columns: state, booked later.
inline constexpr const char* JournalEntryCheck =
    "SELECT j.state, " VELKAR_BOOKED_LATER " FROM journal j WHERE "
    "j.id = ? AND j.card_no = ? AND j.operation = ? AND j.amount = ? AND j.balance_before = ? AND "
    "j.balance_expected = ? AND j.operator = ? AND j.desk = ? AND j.sent_at = ?";
// Whether the change ?2 to ?3 of card ?1 is the booking of another desk than ?4 that met the
// card after it: the card's latest booked command is that desk's, with the same change, and
// another desk than ?4 noted the card last.
inline constexpr const char* ChangeBookedElsewhere =
    "SELECT EXISTS (SELECT 1 FROM journal l JOIN cards c ON c.card_no = l.card_no WHERE "
    "l.id = (SELECT max(id) FROM journal WHERE card_no = ?1 AND state = 'booked') AND "
    "l.balance_before = ?2 AND l.balance_expected = ?3 AND l.desk <> ?4 AND "
    "c.last_seen_desk <> ?4)";
// Commands sent whose answer was never booked, oldest first.
inline constexpr const char* PendingJournalEntries =
    "SELECT " VELKAR_JOURNAL_COLUMNS " FROM journal WHERE state = 'pending' ORDER BY id";
// One card's commands whose answer was never booked, by any desk, oldest first.
inline constexpr const char* PendingJournalEntriesOfCard =
    "SELECT " VELKAR_JOURNAL_COLUMNS " FROM journal WHERE state = 'pending' AND card_no = ? "
    "ORDER BY id";
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

} // namespace velkar::Statements
