#include "data/Migrations.h"

#include "base/Messages.h"
#include "data/AdoConn.h"
#include "data/Schema.h"

#include <cstdint>
#include <utility>
#include <vector>

#include <iterator>

namespace velkar::SchemaText {

namespace {

// Migration 2's step: the accounts' passwords as hashes.
QString hashPlainPasswords(const Connection& db, PasswordHash::Cost cost) {
    try {
        std::vector<std::pair<std::int64_t, QString>> accounts;
        {
            Query q(db, QStringLiteral("SELECT rowid, 密码 FROM permission"));
            while (q.next())
                accounts.emplace_back(q.integer(0), q.text(1));
        }
        std::vector<QString> passwords;
        for (const auto& account : accounts)
            passwords.push_back(account.second);
        const std::vector<QString> hashes = PasswordHash::HashAll(passwords, cost);
        for (std::size_t i = 0; i < accounts.size(); ++i) {
            if (hashes[i].isEmpty())
                return Messages::PasswordHashFailed();
            Query update(db, QStringLiteral("UPDATE permission SET 密码 = ? WHERE rowid = ?"));
            update.bind(1, hashes[i]);
            update.bind(2, accounts[i].first);
            update.next();
        }
        return {};
    } catch (const DataError& e) {
        return e.description();
    }
}

} // namespace

// Every column is required; 金额 holds whole yuan only, so a malformed amount is refused.
const char* const CreateStatements = R"sql(
BEGIN;
CREATE TABLE userecord (
    卡序号 TEXT NOT NULL,
    卡号   TEXT NOT NULL UNIQUE,
    姓名   TEXT NOT NULL,
    身份证 TEXT NOT NULL,
    电话   TEXT NOT NULL,
    地址   TEXT NOT NULL
);
CREATE TABLE employees (
    卡号 TEXT NOT NULL,
    日期 TEXT NOT NULL,
    金额 INTEGER NOT NULL CHECK (typeof(金额) = 'integer')
);
CREATE INDEX employees_card ON employees (卡号);
CREATE INDEX employees_date ON employees (日期);
CREATE TABLE permission (
    用户名 TEXT NOT NULL,
    密码   TEXT NOT NULL
);
)sql";

// The same tables on a server. Each keeps SQLite's implicit rowid as a last column of that name,
// so that statements name rows alike on both engines and a row written without column names
// fills the same columns; text compares byte by byte, as in SQLite.
const char* const ServerCreateStatements = R"sql(
CREATE TABLE velkar_version (version integer NOT NULL);
INSERT INTO velkar_version VALUES (0);
CREATE TABLE userecord (
    卡序号 text COLLATE "C" NOT NULL,
    卡号   text COLLATE "C" NOT NULL UNIQUE,
    姓名   text COLLATE "C" NOT NULL,
    身份证 text COLLATE "C" NOT NULL,
    电话   text COLLATE "C" NOT NULL,
    地址   text COLLATE "C" NOT NULL,
    rowid  bigserial PRIMARY KEY
);
CREATE TABLE employees (
    卡号  text COLLATE "C" NOT NULL,
    日期  text COLLATE "C" NOT NULL,
    金额  integer NOT NULL,
    rowid bigserial PRIMARY KEY
);
-- SQLite's indexes end in the rowid; named here, a card's or a range's rows come in rowid
-- order from the index alone instead of being sorted after.
CREATE INDEX employees_card ON employees (卡号, rowid);
CREATE INDEX employees_date ON employees (日期, rowid);
CREATE TABLE permission (
    用户名 text COLLATE "C" NOT NULL,
    密码   text COLLATE "C" NOT NULL,
    rowid  bigserial PRIMARY KEY
);
)sql";

const Migration Migrations[] = {
    // 1: the command journal. A row is written before a command frame goes out and resolved
    // when the reader reports the card again; booked rows name the employees row they added.
    {R"sql(
CREATE TABLE journal (
    id               INTEGER PRIMARY KEY,
    card_no          TEXT    NOT NULL,
    operation        TEXT    NOT NULL CHECK (operation IN ('recharge', 'clear')),
    amount           INTEGER NOT NULL CHECK (amount >= 0),
    balance_before   INTEGER NOT NULL CHECK (balance_before BETWEEN 0 AND 65535),
    balance_expected INTEGER NOT NULL CHECK (balance_expected BETWEEN 0 AND 65535),
    operator         TEXT    NOT NULL,
    desk             TEXT    NOT NULL,
    sent_at          TEXT    NOT NULL,
    state            TEXT    NOT NULL DEFAULT 'pending'
                     CHECK (state IN ('pending', 'booked', 'not_executed', 'mismatch')),
    resolved_at      TEXT,
    balance_seen     INTEGER,
    record_id        INTEGER
);
CREATE INDEX journal_pending ON journal (card_no) WHERE state = 'pending';
)sql",
     R"sql(
CREATE TABLE journal (
    id               bigserial PRIMARY KEY,
    card_no          text COLLATE "C" NOT NULL,
    operation        text    NOT NULL CHECK (operation IN ('recharge', 'clear')),
    amount           integer NOT NULL CHECK (amount >= 0),
    balance_before   integer NOT NULL CHECK (balance_before BETWEEN 0 AND 65535),
    balance_expected integer NOT NULL CHECK (balance_expected BETWEEN 0 AND 65535),
    operator         text COLLATE "C" NOT NULL,
    desk             text COLLATE "C" NOT NULL,
    sent_at          text COLLATE "C" NOT NULL,
    state            text    NOT NULL DEFAULT 'pending'
                     CHECK (state IN ('pending', 'booked', 'not_executed', 'mismatch')),
    resolved_at      text COLLATE "C",
    balance_seen     integer,
    record_id        bigint
);
CREATE INDEX journal_pending ON journal (card_no) WHERE state = 'pending';
)sql",
     nullptr},
    // 2: passwords at rest as salted hashes; the plain passwords are hashed in place.
    {"", "", hashPlainPasswords},
    // 3: indexes that hold the amounts, so that a list's total is summed from an index alone
    // (its rows' positions come from the date and card indexes alone).
    {R"sql(
CREATE INDEX employees_date_amount ON employees (日期, 金额);
CREATE INDEX employees_card_amount ON employees (卡号, 金额);
)sql",
     R"sql(
CREATE INDEX employees_date_amount ON employees (日期, 金额);
CREATE INDEX employees_card_amount ON employees (卡号, 金额);
)sql",
     nullptr},
    // 4: the operators' audit trail, appended only. Each row's hash covers its id, its content
    // and the previous row's hash, so a row changed, deleted or added by hand breaks the chain;
    // AUTOINCREMENT keeps the highest id ever given, so even the last row can't vanish unseen.
    // The settlement reads who booked each record from journal_booked alone, in one pass.
    {R"sql(
CREATE TABLE audit (
    id      INTEGER PRIMARY KEY AUTOINCREMENT,
    time    TEXT NOT NULL,
    account TEXT NOT NULL,
    desk    TEXT NOT NULL,
    action  TEXT NOT NULL,
    details TEXT NOT NULL,
    hash    TEXT NOT NULL
);
CREATE INDEX audit_time ON audit (time);
CREATE INDEX audit_account ON audit (account, time);
CREATE INDEX audit_action ON audit (action, time);
CREATE INDEX journal_booked ON journal (record_id, operator, operation) WHERE state = 'booked';
)sql",
     // A server's sequences ignore rollbacks, so the highest id given is kept in a table; the
     // sequence only numbers a row added by hand after the others, as SQLite would.
     R"sql(
CREATE TABLE audit (
    id      bigserial PRIMARY KEY,
    time    text COLLATE "C" NOT NULL,
    account text COLLATE "C" NOT NULL,
    desk    text COLLATE "C" NOT NULL,
    action  text COLLATE "C" NOT NULL,
    details text COLLATE "C" NOT NULL,
    hash    text COLLATE "C" NOT NULL
);
CREATE TABLE audit_sequence (seq bigint NOT NULL);
INSERT INTO audit_sequence VALUES (0);
CREATE INDEX audit_time ON audit (time);
CREATE INDEX audit_account ON audit (account, time);
CREATE INDEX audit_action ON audit (action, time);
CREATE INDEX journal_booked ON journal (record_id, operator, operation) WHERE state = 'booked';
)sql",
     nullptr},
    // 5: a card's life. cards: each card the ledger has seen or marked, its state (a lost card
    // takes no command) and its last balance seen at any desk, which stands in for a card that
    // is gone. replacements: a lost card's balance carried to a new card; corrections: a
    // mistaken recharge taken back. journal_links ties each command of either to it, and
    // cash_paid holds what the desk paid out in cash (the part below one yuan).
    {R"sql(
CREATE TABLE cards (
    card_no        TEXT    NOT NULL PRIMARY KEY,
    state          TEXT    NOT NULL DEFAULT 'active' CHECK (state IN ('active', 'lost')),
    since          TEXT,
    account        TEXT,
    reason         TEXT,
    replaced_by    TEXT,
    last_balance   INTEGER CHECK (last_balance BETWEEN 0 AND 65535),
    last_seen_at   TEXT,
    last_seen_desk TEXT
);
CREATE INDEX cards_state ON cards (state, card_no);
CREATE TABLE replacements (
    id         INTEGER PRIMARY KEY,
    old_card   TEXT    NOT NULL,
    new_card   TEXT    NOT NULL UNIQUE,
    balance    INTEGER NOT NULL CHECK (balance BETWEEN 0 AND 65535),
    state      TEXT    NOT NULL DEFAULT 'open' CHECK (state IN ('open', 'done')),
    operator   TEXT    NOT NULL,
    desk       TEXT    NOT NULL,
    started_at TEXT    NOT NULL,
    done_at    TEXT
);
CREATE TABLE corrections (
    id         INTEGER PRIMARY KEY,
    record_id  INTEGER NOT NULL UNIQUE,
    card_no    TEXT    NOT NULL,
    amount     INTEGER NOT NULL CHECK (amount > 0),
    target     INTEGER NOT NULL CHECK (target BETWEEN 0 AND 65535),
    state      TEXT    NOT NULL DEFAULT 'open' CHECK (state IN ('open', 'done')),
    operator   TEXT    NOT NULL,
    desk       TEXT    NOT NULL,
    started_at TEXT    NOT NULL,
    done_at    TEXT
);
CREATE TABLE journal_links (
    journal_id INTEGER NOT NULL PRIMARY KEY,
    kind       TEXT    NOT NULL CHECK (kind IN ('replacement', 'correction')),
    ref        INTEGER NOT NULL
);
CREATE INDEX journal_links_ref ON journal_links (kind, ref);
CREATE INDEX journal_card ON journal (card_no, id);
CREATE TABLE cash_paid (
    id       INTEGER PRIMARY KEY,
    kind     TEXT    NOT NULL CHECK (kind IN ('replacement', 'correction')),
    ref      INTEGER NOT NULL,
    card_no  TEXT    NOT NULL,
    amount   INTEGER NOT NULL CHECK (amount BETWEEN 0 AND 65535),
    operator TEXT    NOT NULL,
    desk     TEXT    NOT NULL,
    paid_at  TEXT    NOT NULL,
    UNIQUE (kind, ref)
);
)sql",
     R"sql(
CREATE TABLE cards (
    card_no        text COLLATE "C" NOT NULL PRIMARY KEY,
    state          text    NOT NULL DEFAULT 'active' CHECK (state IN ('active', 'lost')),
    since          text COLLATE "C",
    account        text COLLATE "C",
    reason         text COLLATE "C",
    replaced_by    text COLLATE "C",
    last_balance   integer CHECK (last_balance BETWEEN 0 AND 65535),
    last_seen_at   text COLLATE "C",
    last_seen_desk text COLLATE "C"
);
CREATE INDEX cards_state ON cards (state, card_no);
CREATE TABLE replacements (
    id         bigserial PRIMARY KEY,
    old_card   text COLLATE "C" NOT NULL,
    new_card   text COLLATE "C" NOT NULL UNIQUE,
    balance    integer NOT NULL CHECK (balance BETWEEN 0 AND 65535),
    state      text    NOT NULL DEFAULT 'open' CHECK (state IN ('open', 'done')),
    operator   text COLLATE "C" NOT NULL,
    desk       text COLLATE "C" NOT NULL,
    started_at text COLLATE "C" NOT NULL,
    done_at    text COLLATE "C"
);
CREATE TABLE corrections (
    id         bigserial PRIMARY KEY,
    record_id  bigint  NOT NULL UNIQUE,
    card_no    text COLLATE "C" NOT NULL,
    amount     integer NOT NULL CHECK (amount > 0),
    target     integer NOT NULL CHECK (target BETWEEN 0 AND 65535),
    state      text    NOT NULL DEFAULT 'open' CHECK (state IN ('open', 'done')),
    operator   text COLLATE "C" NOT NULL,
    desk       text COLLATE "C" NOT NULL,
    started_at text COLLATE "C" NOT NULL,
    done_at    text COLLATE "C"
);
CREATE TABLE journal_links (
    journal_id bigint  NOT NULL PRIMARY KEY,
    kind       text    NOT NULL CHECK (kind IN ('replacement', 'correction')),
    ref        bigint  NOT NULL
);
CREATE INDEX journal_links_ref ON journal_links (kind, ref);
CREATE INDEX journal_card ON journal (card_no, id);
CREATE TABLE cash_paid (
    id       bigserial PRIMARY KEY,
    kind     text    NOT NULL CHECK (kind IN ('replacement', 'correction')),
    ref      bigint  NOT NULL,
    card_no  text COLLATE "C" NOT NULL,
    amount   integer NOT NULL CHECK (amount BETWEEN 0 AND 65535),
    operator text COLLATE "C" NOT NULL,
    desk     text COLLATE "C" NOT NULL,
    paid_at  text COLLATE "C" NOT NULL,
    UNIQUE (kind, ref)
);
)sql",
     nullptr},
    // 6: shifts, from a login to 交班. A shift's bookings are those of its desk's commands whose
    // records lie after first_record up to last_record; a desk's next shift starts where its
    // last closed one ended, so every booking falls into exactly one. Its figures are kept as
    // they were at 交班 (shift_total, amounts in yuan, cash in tenths): expected is the cash its
    // bookings and its desk's payouts (cash_paid after first_paid up to last_paid) moved,
    // cash_float the change the drawer held besides. shift_number keeps the highest Z number
    // each desk was given, which a restore carries over.
    {R"sql(
CREATE TABLE shift (
    id           INTEGER PRIMARY KEY,
    desk         TEXT    NOT NULL,
    operator     TEXT    NOT NULL,
    opened_at    TEXT    NOT NULL,
    first_record INTEGER NOT NULL,
    closed_at    TEXT,
    closed_by    TEXT,
    last_record  INTEGER,
    z_number     INTEGER,
    expected     INTEGER,
    counted      INTEGER,
    seal         TEXT,
    audit_id     INTEGER,
    cash_float   INTEGER,
    first_paid   INTEGER NOT NULL,
    last_paid    INTEGER,
    CHECK ((closed_at IS NULL) = (z_number IS NULL)),
    UNIQUE (desk, z_number)
);
CREATE UNIQUE INDEX shift_open ON shift (desk) WHERE closed_at IS NULL;
CREATE INDEX shift_time ON shift (opened_at);
CREATE TABLE shift_total (
    shift_id INTEGER NOT NULL,
    kind     TEXT    NOT NULL,
    count    INTEGER NOT NULL,
    amount   INTEGER NOT NULL,
    cash     INTEGER NOT NULL,
    PRIMARY KEY (shift_id, kind)
);
CREATE TABLE shift_number (
    desk   TEXT    PRIMARY KEY,
    last_z INTEGER NOT NULL
);
)sql",
     R"sql(
CREATE TABLE shift (
    id           bigserial PRIMARY KEY,
    desk         text COLLATE "C" NOT NULL,
    operator     text COLLATE "C" NOT NULL,
    opened_at    text COLLATE "C" NOT NULL,
    first_record bigint  NOT NULL,
    closed_at    text COLLATE "C",
    closed_by    text COLLATE "C",
    last_record  bigint,
    z_number     bigint,
    expected     bigint,
    counted      bigint,
    seal         text COLLATE "C",
    audit_id     bigint,
    cash_float   bigint,
    first_paid   bigint  NOT NULL,
    last_paid    bigint,
    CHECK ((closed_at IS NULL) = (z_number IS NULL)),
    UNIQUE (desk, z_number)
);
CREATE UNIQUE INDEX shift_open ON shift (desk) WHERE closed_at IS NULL;
CREATE INDEX shift_time ON shift (opened_at);
CREATE TABLE shift_total (
    shift_id bigint  NOT NULL,
    kind     text COLLATE "C" NOT NULL,
    count    bigint  NOT NULL,
    amount   bigint  NOT NULL,
    cash     bigint  NOT NULL,
    PRIMARY KEY (shift_id, kind)
);
CREATE TABLE shift_number (
    desk   text COLLATE "C" PRIMARY KEY,
    last_z bigint  NOT NULL
);
)sql",
     nullptr},
    DayTotalsMigration,
    CardholderPrefixesMigration,
    CardTotalsMigration,
};
static_assert(std::size(Migrations) == Schema::CurrentVersion);

} // namespace velkar::SchemaText
