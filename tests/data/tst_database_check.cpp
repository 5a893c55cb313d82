#include "base/Messages.h"
#include "data/AdoConn.h"
#include "data/DatabaseCopy.h"
#include "data/Schema.h"
#include "data/SchemaSteps.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <sqlite3.h>

#include <atomic>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace velkar;

namespace {

constexpr PasswordHash::Cost Cheap = PasswordHash::CheapestCost;

QByteArray bytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void run(const QString& path, const QString& sql) {
    sqlite3* db = nullptr;
    sqlite3_open(path.toUtf8().constData(), &db);
    char* error = nullptr;
    if (sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, &error) != SQLITE_OK)
        qFatal("%s: %s", qPrintable(sql), error);
    sqlite3_close(db);
}

QString scalar(const QString& path, const QString& sql) {
    Connection connection(path);
    Query query(connection, sql);
    return query.next() ? query.text(0) : QString();
}

// velkar-db check: exit code and what it wrote.
std::pair<int, QString> velkarDbCheck(const QString& path) {
    QProcess p;
    p.start(QStringLiteral(VELKAR_DB_TOOL), {QStringLiteral("check"), path});
    p.waitForFinished(60000);
    return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput() + p.readAllStandardError())};
}

// Leaves `path` as a crash in the middle of a transaction leaves it: pages of the transaction
// already written into the file, and beside it the journal that undoes them.
void crashMidTransaction(const QString& path) {
    const pid_t pid = fork();
    if (pid == 0) {
        sqlite3* db = nullptr;
        sqlite3_open(path.toUtf8().constData(), &db);
        // A tiny cache spills the changed pages into the file before the commit.
        sqlite3_exec(db,
                     "PRAGMA cache_size = 2; BEGIN; DELETE FROM employees; "
                     "UPDATE userecord SET 姓名 = 'crashed';",
                     nullptr, nullptr, nullptr);
        _exit(0);
    }
    waitpid(pid, nullptr, 0);
}

// The steps that leave an index of employees as its table was before `sql`: the index is made
// partial with a condition no row meets, so that the statement leaves it alone, and made whole
// again after.
QStringList behindIndex(const QString& index, const QString& sql) {
    return {QStringLiteral("PRAGMA writable_schema = ON; UPDATE sqlite_master SET sql = sql || "
                           "' WHERE 0' WHERE name = '%1';")
                .arg(index),
            sql,
            QStringLiteral("PRAGMA writable_schema = ON; UPDATE sqlite_master SET sql = "
                           "replace(sql, ' WHERE 0', '') WHERE name = '%1';")
                .arg(index)};
}

// Ways an index of employees comes to disagree with its table, each named by what SQLite's own
// check says of it. Row 1 is ('0000000A', '2024-01-31 12:00:00', 100).
void indexDamages() {
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QString>("named");
    QTest::newRow("entry of a row deleted")
        << behindIndex("employees_date_amount", "DELETE FROM employees WHERE rowid = 1;")
        << "wrong # of entries in index employees_date_amount";
    QTest::newRow("entry holding a changed value")
        << behindIndex("employees_card", "UPDATE employees SET 卡号 = '0000000C' WHERE rowid = 1;")
        << "row 1 missing from index employees_card";
    QTest::newRow("entry of a deleted row whose rowid was given again")
        << behindIndex("employees_card_amount", "DELETE FROM employees WHERE rowid = 1;") +
               QStringList{"INSERT INTO employees (rowid, 卡号, 日期, 金额) VALUES (1, '0000000B', "
                           "'2024-02-01 12:00:00', 7);"}
        << "wrong # of entries in index employees_card_amount";
    QTest::newRow("entries of another column")
        << QStringList{"PRAGMA writable_schema = ON; UPDATE sqlite_master SET rootpage = (SELECT "
                       "sum(rootpage) FROM sqlite_master WHERE name IN ('employees_card', "
                       "'employees_date')) - rootpage WHERE name IN ('employees_card', "
                       "'employees_date');"}
        << "row 1 missing from index employees_date";
}

// What SQLite's own check of `table` finds, its "ok" left out.
QStringList tableCheck(sqlite3* db, const QByteArray& table, QString* problem) {
    QStringList found;
    const QByteArray sql = "PRAGMA integrity_check(" + table + ")";
    for (const QStringList& line : SchemaSteps::rows(db, sql.constData(), problem))
        if (line.value(0) != "ok")
            found << line.value(0);
    return found;
}

QStringList filesIn(const QString& folder) {
    return QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name);
}

} // namespace

class TestDatabaseCheck : public QObject {
    Q_OBJECT

private slots:
    // Every form this program has made, at every version, counts as a Velkar database.
    void everyVersionThisProgramMakesPasses() {
        QTemporaryDir dir;
        for (int version = 0; version <= Schema::CurrentVersion; ++version) {
            const QString path = dir.filePath(QStringLiteral("v%1.mdb").arg(version));
            QCOMPARE(Schema::CreateDatabase(path, Cheap, version), QString());
            QCOMPARE(scalar(path, "PRAGMA user_version").toInt(), version);
            QCOMPARE(Schema::CheckDatabase(path), QString());
            QCOMPARE(Schema::Upgrade(path, Cheap), QString());
            QCOMPARE(Schema::CheckDatabase(path), QString());
        }
        const auto [code, text] = velkarDbCheck(dir.filePath("v0.mdb"));
        QCOMPARE(code, 0);
        QVERIFY2(text.endsWith(QStringLiteral("：完好\n")), qPrintable(text));
    }

    void refusesWhatIsNoVelkarDatabase_data() {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QString>("reason");
        // Each a way in which a file turns against the desk.
        QTest::newRow("trigger deleting bookings")
            << "CREATE TRIGGER keep_nothing AFTER INSERT ON employees BEGIN "
               "DELETE FROM employees WHERE rowid = new.rowid; END;"
            << "触发器 keep_nothing";
        QTest::newRow("trigger setting the administrator's password")
            << "CREATE TRIGGER takeover AFTER INSERT ON employees BEGIN UPDATE permission SET "
               "密码 = 'x' WHERE 用户名 = '管理员'; END;"
            << "触发器 takeover";
        QTest::newRow("view employees with an instead-of trigger")
            << "ALTER TABLE employees RENAME TO kept; CREATE VIEW employees AS SELECT * FROM "
               "kept; CREATE TRIGGER swallow INSTEAD OF INSERT ON employees BEGIN SELECT 1; END;"
            << "触发器 swallow";
        QTest::newRow("plain view employees")
            << "DROP TABLE employees; CREATE VIEW employees AS SELECT 卡号, 卡号 AS 日期, 0 AS "
               "金额 FROM userecord;"
            << "employees 是视图，应为表";
        QTest::newRow("amount declared as text")
            << "DROP TABLE employees; CREATE TABLE employees (卡号 TEXT NOT NULL, 日期 TEXT NOT "
               "NULL, 金额 TEXT NOT NULL); CREATE INDEX employees_card ON employees (卡号); "
               "CREATE INDEX employees_date ON employees (日期); CREATE INDEX "
               "employees_date_amount ON "
               "employees (日期, 金额); CREATE INDEX employees_card_amount ON employees (卡号, "
               "金额);"
            << "金额 声明为 TEXT，应为 INTEGER";
        QTest::newRow("name may be missing")
            << "DROP TABLE userecord; CREATE TABLE userecord (卡序号 TEXT NOT NULL, 卡号 TEXT NOT "
               "NULL UNIQUE, 姓名 TEXT, 身份证 TEXT NOT NULL, 电话 TEXT NOT NULL, 地址 TEXT NOT "
               "NULL);"
            << "姓名 缺少 NOT NULL";
        QTest::newRow("amount check dropped")
            << "DROP TABLE employees; CREATE TABLE employees (卡号 TEXT NOT NULL, 日期 TEXT NOT "
               "NULL, 金额 INTEGER NOT NULL); CREATE INDEX employees_card ON employees (卡号); "
               "CREATE INDEX employees_date ON employees (日期); CREATE INDEX "
               "employees_date_amount ON "
               "employees (日期, 金额); CREATE INDEX employees_card_amount ON employees (卡号, "
               "金额);"
            << "表 employees 的约束";
        QTest::newRow("empty permission") << "DELETE FROM permission;"
                                          << "permission 表应依次含有七个账户";
        QTest::newRow("accounts out of order")
            << "DELETE FROM permission WHERE 用户名 = '管理员'; INSERT INTO permission VALUES "
               "('管理员', '$argon2id$x');"
            << "permission 表应依次含有七个账户";
        QTest::newRow("an eighth account")
            << "INSERT INTO permission SELECT '操作员7', 密码 FROM permission LIMIT 1;"
            << "实有 8 个";
        QTest::newRow("a password in plain text")
            << "UPDATE permission SET 密码 = '604817' WHERE 用户名 = '操作员4';"
            << "账户 操作员4 的密码不是散列值";
        QTest::newRow("another table") << "CREATE TABLE notes (x);"
                                       << "表 notes";
        QTest::newRow("another index") << "CREATE INDEX by_name ON userecord (姓名);"
                                       << "索引 by_name";
        QTest::newRow("index missing") << "DROP INDEX employees_date;"
                                       << "缺少索引 employees_date";
        QTest::newRow("journal missing") << "DROP TABLE journal;"
                                         << "缺少表 journal";
        QTest::newRow("newer than the program")
            << "PRAGMA user_version = 99;" << Schema::TooNewText(99);
        QTest::newRow("negative version") << "PRAGMA user_version = -1;"
                                          << "版本号 -1 无效";
        // Rows past the rules, which SQLite's own check skips on a file opened read-only.
        QTest::newRow("amount that is no whole number")
            << "PRAGMA ignore_check_constraints = 1; INSERT INTO employees VALUES ('0000000A', "
               "'2024-02-01 12:00:00', 'abc');"
            << "表 employees 中有 1 行违反约束（CHECK）";
        QTest::newRow("journal state of no meaning")
            << "PRAGMA ignore_check_constraints = 1; INSERT INTO journal (card_no, operation, "
               "amount, balance_before, balance_expected, operator, desk, sent_at, state) VALUES "
               "('0000000A', 'recharge', 5, 0, 70000, 'x', 'd', '2024-02-01 12:00:00', 'lost');"
            << "表 journal 中有 1 行违反约束（CHECK）";
        // The audit trail's chain, as velkar-db check has always followed it.
        QTest::newRow("audit entry added by hand")
            << "INSERT INTO audit (time, account, desk, action, details, hash) VALUES "
               "('2024-02-01 12:00:00', '管理员', 'd', '备份', '', 'x');"
            << "操作日志第 1 条";
    }

    // Each refusal names its rule, from the check, from velkar-db check and from a restore,
    // and a refused restore leaves the working folder as it was, byte for byte.
    void refusesWhatIsNoVelkarDatabase() {
        QFETCH(QString, sql);
        QFETCH(QString, reason);
        QTemporaryDir dir;
        const QString chosen = dir.filePath("chosen.mdb");
        QCOMPARE(Schema::CreateDatabase(chosen, Cheap), QString());
        run(chosen, "INSERT INTO userecord VALUES ('1', '0000000A', '王芳', 'null', '138', "
                    "'null'); INSERT INTO employees VALUES ('0000000A', '2024-01-31 12:00:00', "
                    "100);");
        run(chosen, sql);
        const QByteArray chosenBefore = bytes(chosen);

        const QString problem = Schema::CheckDatabase(chosen);
        QVERIFY2(problem.contains(reason), qPrintable(problem));
        const auto [code, text] = velkarDbCheck(chosen);
        QVERIFY(code != 0);
        QVERIFY2(text.contains(problem), qPrintable(text));

        QTemporaryDir workingDir;
        const QString working = workingDir.filePath(Schema::DatabaseFileName);
        QCOMPARE(Schema::CreateDatabase(working, Cheap), QString());
        const QByteArray workingBefore = bytes(working);
        QCOMPARE(DatabaseCopy::Restore(chosen, working, QDateTime::currentDateTime()), problem);
        QCOMPARE(bytes(working), workingBefore);
        QCOMPARE(filesIn(workingDir.path()), QStringList{Schema::DatabaseFileName});
        QCOMPARE(bytes(chosen), chosenBefore);
    }

    // Damage below the schema, where only SQLite's own check looks: each kind is found by the
    // full check, whichever of its parts reads it, and a restore refuses the file.
    void damagedPagesAreFound_data() {
        // An index that misses a row: only matching the index against its table finds it.
        indexDamages();
        QTest::newRow("entries out of their order")
            << QStringList{"WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i "
                           "< 500) INSERT INTO employees SELECT '0000000B', printf('2024-02-%02d "
                           "12:00:00', 1 + i % 28), i FROM n;",
                           "PRAGMA writable_schema = ON; UPDATE sqlite_master SET sql = "
                           "replace(sql, '(日期)', '(日期 DESC)') WHERE name = 'employees_date';"}
            << "index employees_date";
        QTest::newRow("row missing from an index")
            << QStringList{"PRAGMA writable_schema = ON; UPDATE sqlite_master SET sql = sql || "
                           "' WHERE 0' WHERE name = 'employees_card';",
                           "INSERT INTO employees VALUES ('0000000B', '2024-02-01 12:00:00', 50);",
                           "PRAGMA writable_schema = ON; UPDATE sqlite_master SET sql = "
                           "replace(sql, ' WHERE 0', '') WHERE name = 'employees_card';"}
            << "employees_card";
        // Pages no table holds: only the walk over the whole file finds them.
        QTest::newRow("pages of no table")
            << QStringList{"CREATE TABLE spare (x); INSERT INTO spare SELECT randomblob(3000) FROM "
                           "employees;",
                           "PRAGMA writable_schema = ON; DELETE FROM sqlite_master WHERE name = "
                           "'spare';"}
            << "never used";
    }
    void damagedPagesAreFound() {
        QFETCH(QStringList, steps);
        QFETCH(QString, named);
        QTemporaryDir dir;
        const QString chosen = dir.filePath("chosen.mdb");
        QCOMPARE(Schema::CreateDatabase(chosen, Cheap), QString());
        run(chosen, "INSERT INTO employees VALUES ('0000000A', '2024-01-31 12:00:00', 100);");
        // Each step on a connection of its own, which reads the schema as the last one left it.
        for (const QString& step : steps)
            run(chosen, step);
        const QString problem = Schema::CheckDatabase(chosen);
        QVERIFY2(problem.startsWith(Messages::IntegrityCheckFailed({})), qPrintable(problem));
        QVERIFY2(problem.contains(named), qPrintable(problem));

        QTemporaryDir workingDir;
        const QString working = workingDir.filePath(Schema::DatabaseFileName);
        QCOMPARE(Schema::CreateDatabase(working, Cheap), QString());
        const QByteArray workingBefore = bytes(working);
        QCOMPARE(DatabaseCopy::Restore(chosen, working, QDateTime::currentDateTime()), problem);
        QCOMPARE(bytes(working), workingBefore);
    }

    // The indexes of a table are matched one by one, each on its own connection; a table with
    // a partial index, or an index in another order of texts, stays in SQLite's own check.
    void indexesMatchedApartAreThoseOfPlainTables() {
        QTemporaryDir dir;
        const QString path = dir.filePath("d.mdb");
        QCOMPARE(Schema::CreateDatabase(path, Cheap), QString());
        run(path, "CREATE TABLE nocase (a TEXT); CREATE INDEX nocase_a ON nocase (a COLLATE "
                  "NOCASE); CREATE TABLE expression (a); CREATE INDEX expression_a ON "
                  "expression (a + 1);");
        sqlite3* db = nullptr;
        QCOMPARE(sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr),
                 SQLITE_OK);
        const auto names = [&](const char* table) {
            QStringList names;
            for (const SchemaSteps::TableIndex& index : SchemaSteps::separateIndexes(db, table))
                names << QString::fromUtf8(index.index);
            names.sort();
            return names;
        };
        QCOMPARE(names("employees"), (QStringList{"employees_card", "employees_card_amount",
                                                  "employees_date", "employees_date_amount"}));
        QCOMPARE(names("userecord").size(), 6); // 卡号 UNIQUE among them
        QVERIFY(names("journal").isEmpty());    // partial indexes
        QVERIFY(names("permission").isEmpty()); // none
        QVERIFY(names("nocase").isEmpty());
        QVERIFY(names("expression").isEmpty());
        sqlite3_close(db);
    }

    // What the table's own check finds in a unique index or in an index out of its order, the
    // match finds too, on a table of values of every kind.
    void uniqueAndOrderedAsTheTableCheckWants_data() {
        QTest::addColumn<QString>("damage");
        QTest::addColumn<QString>("named");
        const QString asPlain = "PRAGMA writable_schema = ON; UPDATE sqlite_master SET sql = "
                                "replace(sql, 'UNIQUE ', '') WHERE name = 't_a';";
        const QString asUnique = "PRAGMA writable_schema = ON; UPDATE sqlite_master SET sql = "
                                 "replace(sql, 'INDEX', 'UNIQUE INDEX') WHERE name = 't_a';";
        QTest::newRow("sound") << QString() << QString();
        QTest::newRow("twins") << asPlain + "\x1fINSERT INTO t VALUES ('x17', 1, 0);\x1f" + asUnique
                               << "non-unique entry in index t_a";
        QTest::newRow("twins by value, a whole number and a real")
            << asPlain + "\x1fINSERT INTO t VALUES (5, 1, 0), (5.0, 1, 0);\x1f" + asUnique
            << "non-unique entry in index t_a";
        QTest::newRow("twins of NULL") << asPlain +
                                              "\x1fINSERT INTO t VALUES (NULL, 1, 0), (NULL, 1, "
                                              "0);\x1f" +
                                              asUnique
                                       << QString();
        QTest::newRow("descending made ascending")
            << "PRAGMA writable_schema = ON; UPDATE sqlite_master SET sql = replace(sql, 'b "
               "DESC', 'b') WHERE name = 't_b';"
            << "index t_b";
    }
    void uniqueAndOrderedAsTheTableCheckWants() {
        QFETCH(QString, damage);
        QFETCH(QString, named);
        QTemporaryDir dir;
        const QString path = dir.filePath("t.db");
        run(path, "CREATE TABLE t (a, b TEXT, c INTEGER NOT NULL); CREATE UNIQUE INDEX t_a ON t "
                  "(a); CREATE INDEX t_b ON t (b DESC, c);"
                  "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 2000) "
                  "INSERT INTO t SELECT CASE i % 5 WHEN 0 THEN i WHEN 1 THEN i + 0.5 WHEN 2 THEN "
                  "'x' || i WHEN 3 THEN CAST('y' || i AS BLOB) ELSE NULL END, CASE WHEN i % 3 "
                  "THEN printf('%05d', i % 700) END, i % 11 FROM n;");
        for (const QString& step : damage.split('\x1f', Qt::SkipEmptyParts))
            run(path, step);
        sqlite3* db = nullptr;
        QCOMPARE(sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr),
                 SQLITE_OK);
        QString problem;
        QStringList expected = tableCheck(db, "t", &problem);
        const std::vector<SchemaSteps::TableIndex> indexes = SchemaSteps::separateIndexes(db, "t");
        QCOMPARE(indexes.size(), std::size_t(2));
        SchemaSteps::IndexMatch match(indexes);
        QVERIFY(!match.read(db, 0, &problem));
        QVERIFY(match.read(db, 1, &problem));
        QStringList found = match.match(db, &problem);
        QCOMPARE(problem, QString());
        sqlite3_close(db);
        QCOMPARE(expected.isEmpty(), named.isEmpty());
        QCOMPARE(found.isEmpty(), named.isEmpty());
        QVERIFY2(named.isEmpty() || expected.filter(named).size() > 0,
                 qPrintable(expected.join('\n')));
        QVERIFY2(named.isEmpty() || found.filter(named).size() > 0, qPrintable(found.join('\n')));
        // A unique index's twins are named as SQLite names them, one for each.
        if (named.startsWith("non-unique")) {
            expected.sort();
            found.sort();
            QCOMPARE(found, expected);
        }
    }

    // Each index matched alone finds exactly what SQLite's check of its table finds, on a file
    // of many pages and values of every kind, sound or damaged.
    void indexesMatchedApartFindWhatTheTableCheckFinds_data() {
        indexDamages();
        // A row of the last slice, which the sliced match names by its place all the same.
        QTest::newRow("entry of a late row holding a changed value")
            << behindIndex("employees_card",
                           "UPDATE employees SET 卡号 = '0000000C' WHERE rowid = 2990;")
            << "missing from index employees_card";
        QTest::newRow("sound") << QStringList{} << QString();
        // The entries then sorted by comparing rather than counting.
        QTest::newRow("sound, one rowid far from the others")
            << QStringList{"INSERT INTO employees (rowid, 卡号, 日期, 金额) VALUES "
                           "(1099511627776, 'A', 'B', 3);"}
            << QString();
    }
    void indexesMatchedApartFindWhatTheTableCheckFinds() {
        QFETCH(QStringList, steps);
        QFETCH(QString, named);
        QTemporaryDir dir;
        const QString path = dir.filePath("d.mdb");
        QCOMPARE(Schema::CreateDatabase(path, Cheap), QString());
        run(path, "INSERT INTO employees VALUES ('0000000A', '2024-01-31 12:00:00', 100);"
                  "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 3000) "
                  "INSERT INTO employees SELECT CASE i % 4 WHEN 0 THEN printf('%08X', i % 97) "
                  "WHEN 1 THEN randomblob(i % 5) WHEN 2 THEN '' ELSE printf('%.*c', i % 300, "
                  "'x') END, CASE WHEN i % 3 THEN '2024-01-31 12:00:00' ELSE i END, i % 7 - 3 "
                  "FROM n;"
                  // SQLite names a row by its place in the table, not by its rowid.
                  "DELETE FROM employees WHERE rowid % 10 = 5;"
                  "INSERT INTO employees (rowid, 卡号, 日期, 金额) VALUES (-7, 'A', 'B', 1), "
                  "(-2, 'A', 'B', 2);");
        for (const QString& step : steps)
            run(path, step);
        sqlite3* db = nullptr;
        QCOMPARE(sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr),
                 SQLITE_OK);
        QString problem;
        QStringList expected = tableCheck(db, "employees", &problem);
        QCOMPARE(problem, QString());
        const std::vector<SchemaSteps::TableIndex> indexes =
            SchemaSteps::separateIndexes(db, "employees");
        QCOMPARE(indexes.size(), std::size_t(4));
        // All four in one read of the table, and each in a read of its own.
        QStringList found;
        SchemaSteps::IndexMatch together(indexes);
        for (std::size_t i = 0; i < indexes.size(); ++i)
            QCOMPARE(together.read(db, i, &problem), i + 1 == indexes.size());
        found << together.match(db, &problem);
        QCOMPARE(problem, QString());
        QStringList foundApart;
        for (const SchemaSteps::TableIndex& index : indexes) {
            SchemaSteps::IndexMatch apart({index});
            QVERIFY(apart.read(db, 0, &problem));
            foundApart << apart.match(db, &problem);
            QCOMPARE(problem, QString());
        }
        foundApart.sort();
        // The table read in slices, each on a connection of its own started before the indexes
        // are read, so that it waits for them; the last slice to finish gives the findings, the
        // rows still named by their place in the whole table.
        SchemaSteps::IndexMatch sliced(indexes, 0, 3);
        std::vector<std::thread> slices;
        std::vector<QString> failures(sliced.slices());
        std::atomic<int> lastOnes{0};
        for (std::size_t slice = 0; slice < sliced.slices(); ++slice)
            slices.emplace_back([&, slice] {
                sqlite3* own = nullptr;
                sqlite3_open_v2(path.toUtf8().constData(), &own, SQLITE_OPEN_READONLY, nullptr);
                lastOnes += sliced.matchSlice(own, slice, &failures[slice]) ? 1 : 0;
                sqlite3_close(own);
            });
        for (std::size_t i = 0; i < indexes.size(); ++i)
            sliced.read(db, i, &problem);
        for (std::thread& slice : slices)
            slice.join();
        QCOMPARE(lastOnes.load(), 1);
        QCOMPARE(failures, std::vector<QString>(sliced.slices()));
        QStringList foundSliced = sliced.findings();
        foundSliced.sort();
        sqlite3_close(db);
        expected.sort();
        found.sort();
        QCOMPARE(foundApart, found);
        QCOMPARE(foundSliced, found);
        // SQLite stops at 100 findings in all.
        if (expected.size() < 100)
            QCOMPARE(found, expected);
        for (const QString& line : expected)
            QVERIFY2(found.contains(line), qPrintable(line));
        QCOMPARE(found.isEmpty(), named.isEmpty());
        // Named by its index: the row's place differs from the one-row file's.
        QVERIFY2(named.isEmpty() || !found.filter(named.section(' ', -1)).isEmpty(),
                 qPrintable(found.join('\n')));
        const QString check = Schema::CheckDatabase(path);
        QVERIFY2(named.isEmpty() ? check.isEmpty() : check.contains(named.section(' ', -1)),
                 qPrintable(check));
    }

    // Rowids at both ends of their range: the table is too wide to match in memory and stays in
    // SQLite's own check, which finds a damaged index there all the same.
    void rowidsAtBothEndsAreChecked() {
        QTemporaryDir dir;
        const QString path = dir.filePath("wide.mdb");
        QCOMPARE(Schema::CreateDatabase(path, Cheap), QString());
        run(path, "INSERT INTO employees (rowid, 卡号, 日期, 金额) VALUES (-9223372036854775808, "
                  "'0000000A', '2024-01-31 12:00:00', 1), (9223372036854775807, '0000000B', "
                  "'2024-01-31 12:00:00', 2);");
        QCOMPARE(Schema::CheckDatabase(path), QString());
        for (const QString& step : behindIndex(
                 "employees_card", "UPDATE employees SET 卡号 = '0000000C' WHERE 金额 = 2;"))
            run(path, step);
        const QString problem = Schema::CheckDatabase(path);
        QVERIFY2(problem.contains("row 2 missing from index employees_card"), qPrintable(problem));
    }

    // A page overwritten: found, and the sound file it was copied from still passes.
    void overwrittenPageIsFound() {
        QTemporaryDir dir;
        const QString path = dir.filePath("chosen.mdb");
        QCOMPARE(Schema::CreateDatabase(path, Cheap), QString());
        run(path, "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 3000) "
                  "INSERT INTO employees SELECT printf('%08X', i), '2024-01-31 12:00:00', i "
                  "FROM n;");
        QCOMPARE(Schema::CheckDatabase(path), QString());
        const QString sound = dir.filePath("sound.mdb");
        QVERIFY(QFile::copy(path, sound));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadWrite));
        const qint64 pageSize = 4096;
        const qint64 middle = (file.size() / pageSize / 2) * pageSize;
        QVERIFY(file.seek(middle));
        file.write(QByteArray(pageSize, '\x5a'));
        file.close();
        const QString problem = Schema::CheckDatabase(path);
        QVERIFY2(problem.startsWith(Messages::IntegrityCheckFailed({})), qPrintable(problem));
        QCOMPARE(Schema::CheckDatabase(sound), QString());
    }

    // A crash left a journal to roll back: the file is sound, yet reading it in place would
    // have to write. Check, backup and restore read it as rolled back and leave it untouched.
    void hotJournalIsReadAsRolledBack() {
        QTemporaryDir dir;
        const QString path = dir.filePath(Schema::DatabaseFileName);
        QCOMPARE(Schema::CreateDatabase(path, Cheap), QString());
        {
            Connection c(path);
            Query(c, "BEGIN").next();
            for (int i = 0; i < 3000; ++i) {
                Query q(c, "INSERT INTO employees VALUES (?, '2024-01-31 12:00:00', 100)");
                q.bind(1, QString::number(i));
                q.next();
                Query h(c, "INSERT INTO userecord VALUES (?, ?, '王芳', 'null', '1', 'null')");
                h.bind(1, QString::number(i));
                h.bind(2, QString::number(i));
                h.next();
            }
            Query(c, "COMMIT").next();
        }
        crashMidTransaction(path);
        const QString journal = path + "-journal";
        QVERIFY(QFileInfo(journal).size() > 0);
        const QByteArray file = bytes(path);
        const QByteArray hot = bytes(journal);
        // Read as it lies, the file can't be read at all.
        sqlite3* ro = nullptr;
        sqlite3_open_v2(path.toUtf8().constData(), &ro, SQLITE_OPEN_READONLY, nullptr);
        sqlite3_extended_result_codes(ro, 1);
        QCOMPARE(sqlite3_exec(ro, "SELECT count(*) FROM employees", nullptr, nullptr, nullptr),
                 SQLITE_READONLY_ROLLBACK);
        sqlite3_close(ro);

        QCOMPARE(Schema::CheckDatabase(path), QString());
        QCOMPARE(velkarDbCheck(path).first, 0);
        QTemporaryDir folder;
        QCOMPARE(DatabaseCopy::Backup(path, folder.path()), QString());
        const QString backup = DatabaseCopy::BackupTarget(folder.path());
        QCOMPARE(scalar(backup, "SELECT count(*) FROM employees"), QStringLiteral("3000"));
        QCOMPARE(scalar(backup, "SELECT count(*) FROM userecord WHERE 姓名 = 'crashed'"),
                 QStringLiteral("0"));

        QTemporaryDir workingDir;
        const QString working = workingDir.filePath(Schema::DatabaseFileName);
        QCOMPARE(Schema::CreateDatabase(working, Cheap), QString());
        {
            // What the restore gives up is counted from the copy: the file can't be read in place.
            DatabaseCopy::PendingRestore pending(path, working, QDateTime::currentDateTime());
            QCOMPARE(pending.prepare(), QString());
            QCOMPARE(pending.cost().uncounted, QString());
            QCOMPARE(pending.cost().recordsLost, 0);
            QCOMPARE(pending.cost().newestRecord, QStringLiteral("2024-01-31 12:00:00"));
        }
        QCOMPARE(DatabaseCopy::Restore(path, working, QDateTime::currentDateTime()), QString());
        QCOMPARE(scalar(working, "SELECT count(*) FROM employees"), QStringLiteral("3000"));
        QVERIFY(!QFile::exists(working + "-journal"));

        QCOMPARE(bytes(path), file);
        QCOMPARE(bytes(journal), hot);
    }

    void whatIsNoDatabaseAtAll() {
        QTemporaryDir dir;
        QVERIFY(Schema::CheckDatabase(dir.filePath("none.mdb")).contains("不存在"));
        QVERIFY(Schema::CheckDatabase(dir.path()).contains("不是文件"));
        QFile text(dir.filePath("text.mdb"));
        QVERIFY(text.open(QIODevice::WriteOnly));
        text.write(QByteArray(4096, 'x'));
        text.close();
        QVERIFY(!Schema::CheckDatabase(text.fileName()).isEmpty());
        QFile empty(dir.filePath("empty.mdb"));
        QVERIFY(empty.open(QIODevice::WriteOnly));
        empty.close();
        QCOMPARE(Schema::CheckDatabase(empty.fileName()), QStringLiteral("缺少表 userecord"));
        QCOMPARE(empty.size(), 0);
    }
};

QTEST_GUILESS_MAIN(TestDatabaseCheck)
#include "tst_database_check.moc"
