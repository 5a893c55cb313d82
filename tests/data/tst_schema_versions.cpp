#include "data/AdoConn.h"
#include "data/Audit.h"
#include "data/Schema.h"
#include "data/Shift.h"
#include "users/Accounts.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <sqlite3.h>

using namespace velkar;

namespace {

// Rows of a file as counters have it today: version 0, plain passwords, one of them changed.
const char* const DeliveredRows = R"sql(
INSERT INTO userecord VALUES ('1', '0000000A', '王芳', 'null', '138', 'null');
INSERT INTO employees VALUES ('0000000A', '2024-01-31 12:00:00', 100);
INSERT INTO employees VALUES ('0000000A', '2024-02-01 08:00:00', -100);
UPDATE permission SET 密码 = 'Abc''9' WHERE 用户名 = '操作员5';
)sql";

constexpr PasswordHash::Cost Cheap = PasswordHash::CheapestCost;

QString makeFile(const QTemporaryDir& dir, const char* sql) {
    const QString path = dir.filePath(QStringLiteral("DataBase.mdb"));
    sqlite3* db = nullptr;
    sqlite3_open(path.toUtf8().constData(), &db);
    char* error = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &error) != SQLITE_OK)
        qFatal("%s", error);
    sqlite3_close(db);
    return path;
}

// The delivered file: made by this program's first release, version 0.
QString makeDelivered(const QTemporaryDir& dir) {
    const QString path = dir.filePath(QStringLiteral("DataBase.mdb"));
    if (!Schema::CreateDatabase(path, Cheap, 0).isEmpty())
        qFatal("no version-0 file");
    sqlite3* db = nullptr;
    sqlite3_open(path.toUtf8().constData(), &db);
    sqlite3_exec(db, DeliveredRows, nullptr, nullptr, nullptr);
    sqlite3_close(db);
    return path;
}

QString scalar(const QString& path, const QString& sql) {
    Connection connection(path);
    Query query(connection, sql);
    return query.next() ? query.text(0) : QString();
}

QByteArray bytes(const QString& path) {
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    return f.readAll();
}

int velkarDb(const QStringList& args) {
    QProcess p;
    p.start(QStringLiteral(VELKAR_DB_TOOL), args);
    p.waitForFinished(30000);
    return p.exitCode();
}

} // namespace

class TestSchemaVersions : public QObject {
    Q_OBJECT

private slots:
    void deliveredFileIsUpgradedInPlaceKeepingEveryRow() {
        QTemporaryDir dir;
        const QString path = makeDelivered(dir);
        QString problem;
        QCOMPARE(Schema::FileVersion(path, &problem), 0);
        QCOMPARE(Schema::CheckDatabase(path), QString());
        QCOMPARE(Schema::Upgrade(path, Cheap), QString());
        QCOMPARE(Schema::FileVersion(path, &problem), Schema::CurrentVersion);
        QCOMPARE(
            scalar(
                path,
                "SELECT group_concat(金额, ',') FROM (SELECT 金额 FROM employees ORDER BY rowid)"),
            QStringLiteral("100,-100"));
        QCOMPARE(scalar(path, "SELECT 姓名 FROM userecord"), QStringLiteral("王芳"));
        QCOMPARE(scalar(path, "SELECT count(*) FROM permission"), QStringLiteral("7"));
        QCOMPARE(scalar(path, "SELECT count(*) FROM journal"), QStringLiteral("0"));
        QCOMPARE(Schema::CheckDatabase(path), QString());
        // The passwords are hashed in place, each still opening its own account only.
        QCOMPARE(scalar(path, "SELECT count(*) FROM permission WHERE 密码 LIKE '$argon2id$%'"),
                 QStringLiteral("7"));
        QCOMPARE(scalar(path, "SELECT count(*) FROM permission WHERE 密码 IN ('604817', "
                              "'Abc''9')"),
                 QStringLiteral("0"));
        QCOMPARE(CheckLogin(nullptr, "操作员5", "Abc'9", path), LoginOutcome::Success);
        QCOMPARE(CheckLogin(nullptr, "操作员5", "abc'9", path), LoginOutcome::WrongPassword);
        QCOMPARE(CheckLogin(nullptr, "操作员5", "604817", path), LoginOutcome::WrongPassword);
        QCOMPARE(CheckLogin(nullptr, "管理员", "604817", path), LoginOutcome::Success);

        // Upgrading an up-to-date file changes nothing.
        const QByteArray before = bytes(path);
        QCOMPARE(Schema::Upgrade(path), QString());
        QCOMPARE(bytes(path), before);
    }

    void toolUpgradesAndNewFilesStartCurrent() {
        QTemporaryDir dir;
        const QString path = makeDelivered(dir);
        QCOMPARE(velkarDb({"upgrade", path}), 0);
        QCOMPARE(scalar(path, "PRAGMA user_version").toInt(), Schema::CurrentVersion);
        // The program's own cost, not the tests' cheap one.
        QVERIFY(scalar(path, "SELECT 密码 FROM permission WHERE 用户名 = '操作员5'")
                    .startsWith("$argon2id$v=19$m=65536,t=2,p=1$"));

        const QString fresh = dir.filePath("fresh.mdb");
        QCOMPARE(Schema::CreateDatabase(fresh, Cheap), QString());
        QCOMPARE(scalar(fresh, "PRAGMA user_version").toInt(), Schema::CurrentVersion);
        // The same steps make the same tables, whichever way the file came to be current.
        const QString tables = "SELECT group_concat(sql, ';') FROM (SELECT sql FROM sqlite_master "
                               "WHERE name NOT IN ('userecord', 'employees', 'permission', "
                               "'employees_card', 'employees_date') ORDER BY name)";
        QCOMPARE(scalar(fresh, tables), scalar(path, tables));
    }

    void newerFileIsRefusedAndLeftAlone() {
        QTemporaryDir dir;
        const QString path = makeFile(dir, "CREATE TABLE employees (卡号 TEXT, 日期 TEXT, 金额 "
                                           "INTEGER); PRAGMA user_version = 99;");
        const QByteArray before = bytes(path);
        QCOMPARE(Schema::Upgrade(path), Schema::TooNewText(99));
        QVERIFY(Schema::TooNewText(99).contains("99"));
        QCOMPARE(Schema::CheckDatabase(path), Schema::TooNewText(99));
        QVERIFY(velkarDb({"upgrade", path}) != 0);
        QVERIFY(velkarDb({"check", path}) != 0);
        QCOMPARE(bytes(path), before);
    }

    void failedMigrationLeavesTheFileAsItWas() {
        QTemporaryDir dir;
        // A table in the way of the first migration.
        const QString path = makeFile(dir, "CREATE TABLE employees (卡号 TEXT, 日期 TEXT, 金额 "
                                           "INTEGER); CREATE TABLE journal (x);");
        const QByteArray before = bytes(path);
        QVERIFY(Schema::Upgrade(path).contains("journal"));
        QCOMPARE(bytes(path), before);
    }

    void missingFileIsNotCreated() {
        QTemporaryDir dir;
        const QString path = dir.filePath("DataBase.mdb");
        QVERIFY(!Schema::Upgrade(path).isEmpty());
        QVERIFY(!QFile::exists(path));
    }

    // A file of version 4 with its journal and trail in use takes the shifts' tables, keeps
    // every row, and its first shift counts from the upgrade on.
    void aVersionFourFileWithRowsTakesShifts() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("DataBase.mdb"));
        QCOMPARE(Schema::CreateDatabase(path, Cheap, 4), QString());
        {
            const Connection db(path);
            db.run(QStringLiteral(
                "INSERT INTO employees VALUES ('0000000A', '2024-05-06 07:00:00', 100);"
                "INSERT INTO journal (card_no, operation, amount, balance_before, "
                "balance_expected, "
                "operator, desk, sent_at, state, record_id) VALUES ('0000000A', 'recharge', 100, "
                "0, "
                "1000, '操作员1', 'desk', '2024-05-06 07:00:00', 'booked', 1);"));
            Audit::Append(db, QStringLiteral("操作员1"), QStringLiteral("desk"), Audit::Login, {});
        }
        QCOMPARE(Schema::Upgrade(path, Cheap), QString());
        QCOMPARE(Schema::CheckDatabase(path), QString());
        QCOMPARE(scalar(path, "SELECT count(*) FROM journal"), QStringLiteral("1"));
        QCOMPARE(scalar(path, "SELECT count(*) FROM shift"), QStringLiteral("0"));
        const Connection db(path);
        QVERIFY(!Audit::Verify(db));
        const Shifts::Begun begun = Shifts::Begin(
            db, QStringLiteral("desk"), QStringLiteral("操作员1"), QDateTime::currentDateTime());
        QCOMPARE(begun.shift.firstRecord, qint64(1));
        QCOMPARE(Shifts::WithFigures(db, begun.shift.id)->expected, std::optional<qint64>(0));
    }
};

QTEST_GUILESS_MAIN(TestSchemaVersions)
#include "tst_schema_versions.moc"
