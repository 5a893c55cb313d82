#include "data/AdoConn.h"
#include "data/Cards.h"
#include "data/Plans.h"
#include "data/Schema.h"
#include "data/ServerHints.h"
#include "support/TestDatabase.h"
#include "users/Accounts.h"

#include <QFile>
#include <QProcess>
#include <QtTest>

#include <future>
#include <vector>

using namespace velkar;

namespace {

struct Run {
    int code;
    QString output;
};

Run velkarDb(const QStringList& args) {
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(QStringLiteral(VELKAR_DB_TOOL), args);
    p.waitForFinished(30000);
    return {p.exitCode(), QString::fromUtf8(p.readAll())};
}

} // namespace

class TestVelkarDb : public QObject {
    Q_OBJECT

private slots:
    void initCreatesAndNeverOverwrites() {
        FILE_DATABASE_ONLY(); // a file of its own, the same on the server run
        QTemporaryDir dir;
        const QString path = dir.filePath("DataBase.mdb");
        QCOMPARE(velkarDb({"init", path}).code, 0);
        QCOMPARE(velkarDb({"check", path}).code, 0);
        // The delivered password lies there hashed, and still opens every account.
        {
            Connection c(path);
            Query q(c, "SELECT group_concat(密码, ' ') FROM permission");
            q.next();
            QVERIFY(!q.text(0).contains(Schema::DeliveredPassword));
        }
        // Checked side by side: each check costs what a login does.
        std::vector<std::future<LoginOutcome>> logins;
        for (const QString& name : Schema::AccountNames)
            logins.push_back(std::async(std::launch::async, [&path, name] {
                return CheckLogin(nullptr, name, Schema::DeliveredPassword, path);
            }));
        for (auto& login : logins)
            QCOMPARE(login.get(), LoginOutcome::Success);
        QFile f(path);
        const qint64 size = f.size();
        const Run again = velkarDb({"init", path});
        QVERIFY(again.code != 0);
        QVERIFY2(again.output.contains(QStringLiteral("已存在")), qPrintable(again.output));
        QCOMPARE(QFile(path).size(), size);
    }

    // Setting up the shared ledger, what the server's administrator has missed is said in the
    // set-up's own terms after the server's reason.
    void serverSetUpMistakesAreNamed() {
        if (!TestDatabase::OnServer())
            QSKIP("about a server");
        const QString uri = TestDatabase::NewServerDatabase(); // postgresql://velkar@/NAME?host=
        const QString name = uri.section(QLatin1Char('?'), 0, 0).section(QLatin1Char('/'), -1);
        QString missing = uri;
        missing.replace(QStringLiteral("/%1?").arg(name), QStringLiteral("/no_such_ledger?"));
        const Run absent = velkarDb({"check", missing});
        QCOMPARE(absent.code, 1);
        QVERIFY2(
            absent.output.contains(QStringLiteral("提示：服务器上还没有数据库 no_such_ledger")) &&
                absent.output.contains(QStringLiteral("createdb -O")),
            qPrintable(absent.output));

        // A role that does not own the database may not make the ledger's tables in it.
        const QString clerk = QStringLiteral("clerk_%1").arg(QCoreApplication::applicationPid());
        {
            Connection admin(uri);
            Query(admin, QStringLiteral("CREATE ROLE %1 LOGIN").arg(clerk)).next();
        }
        QString asClerk = uri;
        asClerk.replace(QStringLiteral("//velkar@"), QStringLiteral("//%1@").arg(clerk));
        const Run refused = velkarDb({"init", asClerk});
        QCOMPARE(refused.code, 1);
        QVERIFY2(refused.output.contains(QStringLiteral("OWNER TO")), qPrintable(refused.output));
        {
            Connection admin(uri);
            Query(admin, QStringLiteral("ALTER DATABASE %1 OWNER TO %2").arg(name, clerk)).next();
        }
        Connection::CloseIdleSessions();
        const Run made = velkarDb({"init", asClerk});
        QVERIFY2(made.code == 0, qPrintable(made.output));
        QCOMPARE(velkarDb({"check", asClerk}).code, 0);

        const Run noRole = velkarDb({"check", QString(uri).replace("//velkar@", "//nobody_here@")});
        QVERIFY2(noRole.output.contains(QStringLiteral("createuser")), qPrintable(noRole.output));
    }

    void setUpHints_data() {
        QTest::addColumn<QString>("reason");
        QTest::addColumn<QString>("hint");
        QTest::newRow("password") << "FATAL:  password authentication failed for user \"velkar\""
                                  << "~/.pgpass";
        QTest::newRow("no password") << "fe_sendauth: no password supplied"
                                     << "PGPASSFILE";
        QTest::newRow("pg_hba") << "FATAL:  no pg_hba.conf entry for host \"10.0.0.5\""
                                << "pg_hba.conf";
        QTest::newRow("ssl") << "server does not support SSL, but SSL was required"
                             << "sslmode";
        QTest::newRow("refused")
            << "connection to server at \"db\" (10.0.0.9), port 5432 failed: Connection refused"
            << "?host=";
        QTest::newRow("tables") << "permission denied for table employees"
                                << "velkar-db init";
        QTest::newRow("other") << "deadlock detected"
                               << "";
    }
    void setUpHints() {
        QFETCH(QString, reason);
        QFETCH(QString, hint);
        const QString said = ServerSetupHint(reason, QStringLiteral("postgresql://velkar@db/x"));
        if (hint.isEmpty())
            QCOMPARE(said, QString());
        else
            QVERIFY2(said.contains(hint), qPrintable(said));
    }

    void checkRefusesWhatIsNoVelkarDatabase_data() {
        QTest::addColumn<QString>("damage");
        QTest::addColumn<QString>("reason");
        QTest::newRow("missing") << "missing"
                                 << "不存在";
        QTest::newRow("text file") << "text"
                                   << "not a database";
        QTest::newRow("truncated") << "truncate"
                                   << "malformed";
        QTest::newRow("no employees") << "drop"
                                      << "employees";
        QTest::newRow("column gone") << "column"
                                     << "金额";
    }

    void checkRefusesWhatIsNoVelkarDatabase() {
        QFETCH(QString, damage);
        QFETCH(QString, reason);
        if (damage == "missing" || damage == "text" || damage == "truncate")
            FILE_DATABASE_ONLY();
        TestDatabase db;
        // Enough pages for a truncation to tear, in one transaction.
        db.exec("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 300) "
                "INSERT INTO employees SELECT '0000000A', '2024-01-31 12:00:00', 100 FROM n");
        QFile file(db.path());
        if (damage == "missing") {
            QFile::remove(db.path());
        } else if (damage == "text") {
            QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
            file.write("this is a note, not a database\n");
            file.close();
        } else if (damage == "truncate") {
            QVERIFY(file.resize(file.size() / 2));
        } else if (damage == "drop") {
            db.exec("DROP TABLE employees");
        } else {
            db.exec("ALTER TABLE employees RENAME COLUMN 金额 TO amount");
        }
        const Run run = velkarDb({"check", db.path()});
        QVERIFY(run.code != 0);
        QVERIFY2(run.output.contains(reason), qPrintable(run.output));
        QVERIFY(!Schema::CheckDatabase(db.path()).isEmpty());
    }

    // cards names both ends of a replacement, and says while it runs.
    void cardsShowTheReplacementLinks() {
        TestDatabase db;
        db.addCardholder("7", "0000000A", "张三");
        {
            const Connection c(db.path());
            Cards::Seen(c, "0000000A", 1234, "2024-05-06 07:00:00", "desk-b");
            QCOMPARE(Cards::ReportLost(c, "0000000A", "遗失", "操作员1", "desk-b"), QString());
            Cards::Seen(c, "0000000B", 0, "2024-05-06 07:10:00", "desk-a");
            QCOMPARE(Plans::StartReplacement(c, "0000000A", "0000000B",
                                             {"操作员1", "desk-a", "2024-05-06 07:10:01"}, nullptr),
                     QString());
        }
        const Run run = velkarDb({"cards", db.path()});
        QCOMPARE(run.code, 0);
        const QStringList lines = run.output.split('\n');
        const auto line = [&](const QString& card) {
            for (const QString& l : lines)
                if (l.startsWith(card))
                    return l;
            return QString();
        };
        QVERIFY2(line("0000000A").contains("123.4") &&
                     line("0000000A").contains("0000000B（未完成）"),
                 qPrintable(run.output));
        QVERIFY2(line("0000000B").trimmed().endsWith("0000000A（未完成）"), qPrintable(run.output));
        QVERIFY(lines.first().contains("补自"));
    }
};

QTEST_GUILESS_MAIN(TestVelkarDb)
#include "tst_velkar_db.moc"
