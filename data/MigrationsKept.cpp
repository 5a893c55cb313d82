#include "data/Migrations.h"

// The migrations that keep counts: their texts share the rules for a record's day and amount.
namespace velkar::SchemaText {

// The kept counts' texts, written out once here: a published migration never changes, whatever
// the statements of later versions say.
//
// A record belongs to its day when its 日期 lies between that day's 00:00:00 and 23:59:59 (the
// first ten characters naming the day); any other 日期 is a span of its own text. The spans never
// overlap, so a range's records are those of the spans inside it.
#define DAY_LO(d)                                                                                  \
    "CASE WHEN " d " BETWEEN substr(" d ", 1, 10) || ' 00:00:00' AND substr(" d                    \
    ", 1, 10) || ' 23:59:59' THEN substr(" d ", 1, 10) || ' 00:00:00' ELSE " d " END"
#define DAY_HI(d)                                                                                  \
    "CASE WHEN " d " BETWEEN substr(" d ", 1, 10) || ' 00:00:00' AND substr(" d                    \
    ", 1, 10) || ' 23:59:59' THEN substr(" d ", 1, 10) || ' 23:59:59' ELSE " d " END"
// What a 金额 adds to a report's total: at most five characters as text, an optional "-", then
// digits; anything else adds 0. A server's 金额 holds whole numbers only.
#define AMOUNT(a)                                                                                  \
    "(CASE WHEN typeof(" a ") = 'integer' THEN CASE WHEN " a " BETWEEN -9999 AND 99999 THEN " a    \
    " ELSE 0 END WHEN length(CAST(" a " AS TEXT)) NOT BETWEEN 1 AND 5 THEN 0 WHEN CAST(" a         \
    " AS TEXT) NOT GLOB '*[^0-9]*' THEN CAST(CAST(" a " AS TEXT) AS INTEGER) WHEN substr(CAST(" a  \
    " AS TEXT), 1, 1) = '-' AND substr(CAST(" a " AS TEXT), 2) NOT GLOB '*[^0-9]*' THEN "          \
    "-CAST(substr(CAST(" a " AS TEXT), 2) AS INTEGER) ELSE 0 END)"
#define SERVER_AMOUNT(a) "(CASE WHEN " a " BETWEEN -9999 AND 99999 THEN " a " ELSE 0 END)"
// Takes one record out of its span; a span left empty goes.
#define DAYS_TAKE_OLD                                                                              \
    "UPDATE record_days SET count = count - 1, total = total - " AMOUNT(                           \
        "OLD.金额") ", negative = negative - min(" AMOUNT("OLD.金额") ", 0) WHERE lo = " DAY_LO("OLD.日期") ";\n DELETE FROM record_days WHERE lo = " DAY_LO("OLD.日期") " AND count = 0;\n"
#define DAYS_ADD_NEW                                                                                                                                                            \
    "INSERT INTO record_days (lo, hi, count, total, negative) SELECT " DAY_LO(                                                                                                  \
        "NEW.日期") ", " DAY_HI("NEW.日期") ", 1, " AMOUNT("NEW.金额") ", min(" AMOUNT("NEW.金额") ", 0) WHERE true ON CONFLICT (lo) DO UPDATE SET count = count + 1, total = " \
                                                                                                   "total + excluded.total, negative = negative + excluded.negative;\n"
// A server compares the texts byte by byte, as SQLite does, whatever the database's collation.
#define SERVER_DATE "日期 COLLATE \"C\""
// The same over a statement's rows on a server, `sign` 1 to add them, -1 to take them out.
#define SERVER_DAYS(rows, sign)                                                                    \
    "INSERT INTO record_days AS d (lo, hi, count, total, negative) SELECT lo, hi, " sign           \
    " * count(*), " sign " * sum(v), " sign                                                        \
    " * sum(least(v, 0)) FROM (SELECT " DAY_LO(SERVER_DATE) " AS lo, " DAY_HI(                     \
        SERVER_DATE) " AS hi, " SERVER_AMOUNT("金额") " AS v FROM " rows                           \
                                                      ") r GROUP BY lo, hi ON CONFLICT (lo) DO "   \
                                                      "UPDATE SET "                                \
                                                      "count = d.count + excluded.count, total = " \
                                                      "d.total + "                                 \
                                                      "excluded.total, negative = d.negative + "   \
                                                      "excluded.negative;\n"

// 7: each day's count of records and the total of its amounts, kept by the table's own
// triggers whoever writes a record, so that a range's count and total cost its days and a
// position in it is found by the days' counts. negative: the part of the total the negative
// amounts make, which tells the cash paid out from the cash taken in.
const Migration DayTotalsMigration = {
    "CREATE TABLE record_days (\n"
    "    lo       TEXT    NOT NULL PRIMARY KEY,\n"
    "    hi       TEXT    NOT NULL,\n"
    "    count    INTEGER NOT NULL,\n"
    "    total    INTEGER NOT NULL,\n"
    "    negative INTEGER NOT NULL\n"
    ");\n"
    "INSERT INTO record_days (lo, hi, count, total, negative) SELECT lo, hi, count(*), sum(v), "
    "sum(min(v, 0)) FROM (SELECT " DAY_LO("日期") " AS lo, " DAY_HI("日期") " AS hi, " AMOUNT(
        "金额") " AS v FROM employees) GROUP BY lo;\n"
                "CREATE TRIGGER record_days_insert AFTER INSERT ON employees BEGIN\n " DAYS_ADD_NEW
                "END;\n"
                "CREATE TRIGGER record_days_delete AFTER DELETE ON employees BEGIN\n " DAYS_TAKE_OLD
                "END;\n"
                "CREATE TRIGGER record_days_update AFTER UPDATE OF 日期, 金额 ON employees "
                "BEGIN\n " DAYS_TAKE_OLD " " DAYS_ADD_NEW "END;\n",
    "CREATE TABLE record_days (\n"
    "    lo       text COLLATE \"C\" NOT NULL PRIMARY KEY,\n"
    "    hi       text COLLATE \"C\" NOT NULL,\n"
    "    count    bigint NOT NULL,\n"
    "    total    bigint NOT NULL,\n"
    "    negative bigint NOT NULL\n"
    ");\n" SERVER_DAYS(
        "employees",
        "1") "CREATE FUNCTION record_days_change() RETURNS trigger LANGUAGE plpgsql AS $$\n"
             "BEGIN\n"
             "    IF TG_OP = 'TRUNCATE' THEN\n"
             "        DELETE FROM record_days;\n"
             "        RETURN NULL;\n"
             "    END IF;\n"
             "    IF TG_OP <> 'INSERT' THEN\n"
             "        " SERVER_DAYS(
                 "old_rows",
                 "-1") "        DELETE FROM record_days WHERE count = 0 AND lo IN (SELECT "
                       "DISTINCT " DAY_LO(SERVER_DATE) " FROM old_rows);\n"
                                                       "    END IF;\n"
                                                       "    IF TG_OP <> 'DELETE' THEN\n"
                                                       "        " SERVER_DAYS(
                                                           "new_rows",
                                                           "1") "    END IF;\n"
                                                                "    RETURN NULL;\n"
                                                                "END $$;\n"
                                                                "CREATE TRIGGER record_days_insert "
                                                                "AFTER INSERT ON employees "
                                                                "REFERENCING NEW TABLE AS "
                                                                "new_rows FOR EACH STATEMENT "
                                                                "EXECUTE FUNCTION "
                                                                "record_days_change();\n"
                                                                "CREATE TRIGGER record_days_delete "
                                                                "AFTER DELETE ON employees "
                                                                "REFERENCING OLD TABLE AS "
                                                                "old_rows FOR EACH STATEMENT "
                                                                "EXECUTE FUNCTION "
                                                                "record_days_change();\n"
                                                                "CREATE TRIGGER record_days_update "
                                                                "AFTER UPDATE ON employees "
                                                                "REFERENCING OLD TABLE AS "
                                                                "old_rows NEW TABLE AS new_rows "
                                                                "FOR EACH STATEMENT EXECUTE "
                                                                "FUNCTION "
                                                                "record_days_change();\n"
                                                                "CREATE TRIGGER "
                                                                "record_days_truncate AFTER "
                                                                "TRUNCATE ON employees FOR EACH "
                                                                "STATEMENT "
                                                                "EXECUTE FUNCTION "
                                                                "record_days_change();\n",
    nullptr};

// 8: the archive at the cost of the screen it shows. cardholder_prefixes counts the
// cardholders of each 卡号's first three characters, kept by userecord's own triggers, which
// gives the archive's length and where a position in it lies; each column a search may name
// has an index ending in 卡号, so a search reads its matches in list order.
const Migration CardholderPrefixesMigration = {R"sql(
CREATE TABLE cardholder_prefixes (
    prefix TEXT    NOT NULL PRIMARY KEY,
    count  INTEGER NOT NULL
);
INSERT INTO cardholder_prefixes (prefix, count)
    SELECT substr(卡号, 1, 3), count(*) FROM userecord GROUP BY 1;
CREATE TRIGGER cardholder_prefixes_insert AFTER INSERT ON userecord BEGIN
    INSERT INTO cardholder_prefixes (prefix, count) VALUES (substr(NEW.卡号, 1, 3), 1)
        ON CONFLICT (prefix) DO UPDATE SET count = count + 1;
END;
CREATE TRIGGER cardholder_prefixes_delete AFTER DELETE ON userecord BEGIN
    UPDATE cardholder_prefixes SET count = count - 1 WHERE prefix = substr(OLD.卡号, 1, 3);
    DELETE FROM cardholder_prefixes WHERE prefix = substr(OLD.卡号, 1, 3) AND count = 0;
END;
CREATE TRIGGER cardholder_prefixes_update AFTER UPDATE OF 卡号 ON userecord BEGIN
    UPDATE cardholder_prefixes SET count = count - 1 WHERE prefix = substr(OLD.卡号, 1, 3);
    DELETE FROM cardholder_prefixes WHERE prefix = substr(OLD.卡号, 1, 3) AND count = 0;
    INSERT INTO cardholder_prefixes (prefix, count) VALUES (substr(NEW.卡号, 1, 3), 1)
        ON CONFLICT (prefix) DO UPDATE SET count = count + 1;
END;
CREATE INDEX userecord_serial ON userecord (卡序号, 卡号);
CREATE INDEX userecord_name ON userecord (姓名, 卡号);
CREATE INDEX userecord_id ON userecord (身份证, 卡号);
CREATE INDEX userecord_phone ON userecord (电话, 卡号);
CREATE INDEX userecord_address ON userecord (地址, 卡号);
)sql",
                                               R"sql(
CREATE TABLE cardholder_prefixes (
    prefix text COLLATE "C" NOT NULL PRIMARY KEY,
    count  bigint NOT NULL
);
INSERT INTO cardholder_prefixes (prefix, count)
    SELECT substr(卡号, 1, 3), count(*) FROM userecord GROUP BY 1;
CREATE FUNCTION cardholder_prefixes_change() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
    IF TG_OP = 'TRUNCATE' THEN
        DELETE FROM cardholder_prefixes;
        RETURN NULL;
    END IF;
    IF TG_OP <> 'INSERT' THEN
        INSERT INTO cardholder_prefixes AS p (prefix, count)
            SELECT substr(卡号, 1, 3), -count(*) FROM old_rows GROUP BY 1
            ON CONFLICT (prefix) DO UPDATE SET count = p.count + excluded.count;
        DELETE FROM cardholder_prefixes
            WHERE count = 0 AND prefix IN (SELECT substr(卡号, 1, 3) FROM old_rows);
    END IF;
    IF TG_OP <> 'DELETE' THEN
        INSERT INTO cardholder_prefixes AS p (prefix, count)
            SELECT substr(卡号, 1, 3), count(*) FROM new_rows GROUP BY 1
            ON CONFLICT (prefix) DO UPDATE SET count = p.count + excluded.count;
    END IF;
    RETURN NULL;
END $$;
CREATE TRIGGER cardholder_prefixes_insert AFTER INSERT ON userecord
    REFERENCING NEW TABLE AS new_rows FOR EACH STATEMENT
    EXECUTE FUNCTION cardholder_prefixes_change();
CREATE TRIGGER cardholder_prefixes_delete AFTER DELETE ON userecord
    REFERENCING OLD TABLE AS old_rows FOR EACH STATEMENT
    EXECUTE FUNCTION cardholder_prefixes_change();
CREATE TRIGGER cardholder_prefixes_update AFTER UPDATE ON userecord
    REFERENCING OLD TABLE AS old_rows NEW TABLE AS new_rows FOR EACH STATEMENT
    EXECUTE FUNCTION cardholder_prefixes_change();
CREATE TRIGGER cardholder_prefixes_truncate AFTER TRUNCATE ON userecord
    FOR EACH STATEMENT EXECUTE FUNCTION cardholder_prefixes_change();
CREATE INDEX userecord_serial ON userecord (卡序号, 卡号);
CREATE INDEX userecord_name ON userecord (姓名, 卡号);
CREATE INDEX userecord_id ON userecord (身份证, 卡号);
CREATE INDEX userecord_phone ON userecord (电话, 卡号);
CREATE INDEX userecord_address ON userecord (地址, 卡号);
)sql",
                                               nullptr};

// 9: each card's count of records and the total of its amounts by the desk's rule, kept by the
// table's own triggers as the days are, so that a booking reads its card's totals in one lookup
// instead of summing the card's whole history. On a server, also an index for the booking's
// question whether a later command of the card was booked: a server plans it once a session,
// and on a young ledger's statistics it chose to read every booked command.
// clang-format off
#define CARD_AMOUNT(a)                                                                             \
    "(CASE WHEN typeof(" a ") = 'integer' THEN CASE WHEN " a " BETWEEN -9999 AND 9999 THEN " a     \
    " ELSE 0 END WHEN substr(CAST(" a " AS TEXT), 1, 1) = '-' THEN CASE WHEN length(CAST(" a       \
    " AS TEXT)) BETWEEN 2 AND 5 AND substr(CAST(" a " AS TEXT), 2) NOT GLOB '*[^0-9]*' THEN "      \
    "-CAST(substr(CAST(" a " AS TEXT), 2) AS INTEGER) ELSE 0 END WHEN length(CAST(" a              \
    " AS TEXT)) BETWEEN 1 AND 4 AND CAST(" a " AS TEXT) NOT GLOB '*[^0-9]*' THEN CAST(CAST(" a     \
    " AS TEXT) AS INTEGER) ELSE 0 END)"
#define CARD_TAKE_OLD                                                                              \
    "    UPDATE card_totals SET count = count - 1, total = total - " CARD_AMOUNT("OLD.金额")       \
    " WHERE 卡号 = OLD.卡号;\n"                                                                    \
    "    DELETE FROM card_totals WHERE 卡号 = OLD.卡号 AND count = 0;\n"
#define CARD_ADD_NEW                                                                               \
    "    INSERT INTO card_totals (卡号, count, total) VALUES (NEW.卡号, 1, " CARD_AMOUNT("NEW.金额") \
    ") ON CONFLICT (卡号) DO UPDATE SET count = count + 1, total = total + excluded.total;\n"
const Migration CardTotalsMigration = {
    R"sql(
CREATE TABLE card_totals (
    卡号  TEXT    NOT NULL PRIMARY KEY,
    count INTEGER NOT NULL,
    total INTEGER NOT NULL
) WITHOUT ROWID;
INSERT INTO card_totals (卡号, count, total)
    SELECT 卡号, count(*), sum()sql" CARD_AMOUNT("金额") R"sql() FROM employees GROUP BY 卡号;
CREATE TRIGGER card_totals_insert AFTER INSERT ON employees BEGIN
)sql" CARD_ADD_NEW R"sql(END;
CREATE TRIGGER card_totals_delete AFTER DELETE ON employees BEGIN
)sql" CARD_TAKE_OLD R"sql(END;
CREATE TRIGGER card_totals_update AFTER UPDATE OF 卡号, 金额 ON employees BEGIN
)sql" CARD_TAKE_OLD CARD_ADD_NEW R"sql(END;
)sql",
    R"sql(
CREATE TABLE card_totals (
    卡号  text COLLATE "C" NOT NULL PRIMARY KEY,
    count bigint NOT NULL,
    total bigint NOT NULL
);
INSERT INTO card_totals (卡号, count, total)
    SELECT 卡号, count(*), sum(CASE WHEN 金额 BETWEEN -9999 AND 9999 THEN 金额 ELSE 0 END)
    FROM employees GROUP BY 卡号;
CREATE FUNCTION card_totals_change() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
    IF TG_OP = 'TRUNCATE' THEN
        DELETE FROM card_totals;
        RETURN NULL;
    END IF;
    IF TG_OP <> 'INSERT' THEN
        INSERT INTO card_totals AS c (卡号, count, total)
            SELECT 卡号, -count(*), -sum(CASE WHEN 金额 BETWEEN -9999 AND 9999 THEN 金额 ELSE 0 END)
            FROM old_rows GROUP BY 卡号
            ON CONFLICT (卡号) DO UPDATE SET count = c.count + excluded.count,
                                             total = c.total + excluded.total;
        DELETE FROM card_totals WHERE count = 0 AND 卡号 IN (SELECT 卡号 FROM old_rows);
    END IF;
    IF TG_OP <> 'DELETE' THEN
        INSERT INTO card_totals AS c (卡号, count, total)
            SELECT 卡号, count(*), sum(CASE WHEN 金额 BETWEEN -9999 AND 9999 THEN 金额 ELSE 0 END)
            FROM new_rows GROUP BY 卡号
            ON CONFLICT (卡号) DO UPDATE SET count = c.count + excluded.count,
                                             total = c.total + excluded.total;
    END IF;
    RETURN NULL;
END $$;
CREATE TRIGGER card_totals_insert AFTER INSERT ON employees
    REFERENCING NEW TABLE AS new_rows FOR EACH STATEMENT
    EXECUTE FUNCTION card_totals_change();
CREATE TRIGGER card_totals_delete AFTER DELETE ON employees
    REFERENCING OLD TABLE AS old_rows FOR EACH STATEMENT
    EXECUTE FUNCTION card_totals_change();
CREATE TRIGGER card_totals_update AFTER UPDATE ON employees
    REFERENCING OLD TABLE AS old_rows NEW TABLE AS new_rows FOR EACH STATEMENT
    EXECUTE FUNCTION card_totals_change();
CREATE TRIGGER card_totals_truncate AFTER TRUNCATE ON employees
    FOR EACH STATEMENT EXECUTE FUNCTION card_totals_change();
CREATE INDEX journal_card_booked ON journal (card_no, balance_before, id) WHERE state = 'booked';
)sql",
    nullptr};
// clang-format on

#undef DAY_LO
#undef DAY_HI
#undef AMOUNT
#undef SERVER_AMOUNT
#undef DAYS_TAKE_OLD
#undef DAYS_ADD_NEW
#undef SERVER_DAYS
#undef SERVER_DATE
#undef CARD_AMOUNT
#undef CARD_TAKE_OLD
#undef CARD_ADD_NEW

} // namespace velkar::SchemaText
