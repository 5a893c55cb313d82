#include "data/AdoConn.h"
#include "data/Audit.h"
#include "data/Cardholder.h"
#include "data/LegacyFile.h"
#include "data/LegacyImport.h"
#include "data/Schema.h"
#include "support/TestDatabase.h"
#include "users/Accounts.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QtTest>

#include <cmath>

using namespace velkar;

namespace {

QString legacyFile(const char* name) {
    return QStringLiteral(VELKAR_LEGACY_DIR "/") + QLatin1String(name);
}

// Somewhere an import may go: a file not made yet in a folder of its own, or a new, empty
// database on the test server.
struct Target {
    QTemporaryDir dir;
    QString location = TestDatabase::OnServer() ? TestDatabase::NewServerDatabase()
                                                : dir.filePath(QStringLiteral("DataBase.mdb"));
};

LegacyImport::Options cheap() {
    LegacyImport::Options options;
    options.passwordCost = PasswordHash::CheapestCost;
    options.account = QStringLiteral("管理员");
    options.at = QDateTime(QDate(2025, 3, 4), QTime(5, 6, 7));
    return options;
}

LegacyImport::Result importInto(const char* source, const QString& target,
                                const LegacyImport::Options& options = cheap()) {
    return LegacyImport::Import(legacyFile(source), target, options);
}

QList<QStringList> rows(const QString& location, const QString& sql) {
    const Connection db(location);
    Query q(db, sql);
    QList<QStringList> result;
    while (q.next()) {
        QStringList row;
        for (int c = 0; c < q.columnCount(); ++c)
            row << q.text(c);
        result << row;
    }
    return result;
}

// Count and total of one of the program's own statements.
std::pair<qint64, qint64> totalOf(const QString& location, const Dialects& sql,
                                  const QStringList& values) {
    const Connection db(location);
    Query q(db, sql);
    for (int i = 0; i < values.size(); ++i)
        q.bind(i + 1, values[i]);
    q.next();
    return {q.integer(0), q.integer(1)};
}

QStringList filesIn(const QString& folder) {
    return QDir(folder).entryList(QDir::Files | QDir::Hidden);
}

// The values of a line of mdb-export's CSV: quoted texts with doubled quotes, bare numbers.
QStringList csvLine(const QString& line) {
    QStringList values;
    QString value;
    bool quoted = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line[i];
        if (quoted && c == u'"' && i + 1 < line.size() && line[i + 1] == u'"') {
            value += c;
            ++i;
        } else if (c == u'"') {
            quoted = !quoted;
        } else if (c == u',' && !quoted) {
            values << value;
            value.clear();
        } else {
            value += c;
        }
    }
    return values << value;
}

QStringList exported(const char* file, const char* table) {
    QProcess p;
    p.start(QStringLiteral("mdb-export"),
            {QStringLiteral("-H"), QStringLiteral("-T"), QStringLiteral("%Y-%m-%d %H:%M:%S"),
             legacyFile(file), QLatin1String(table)});
    p.waitForFinished(60000);
    return QString::fromUtf8(p.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
}

#define SKIP_ON_SERVER()                                                                           \
    do {                                                                                           \
        if (TestDatabase::OnServer())                                                              \
            QSKIP("no database involved");                                                         \
    } while (false)

} // namespace

class TestLegacyImport : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QVERIFY2(QFileInfo::exists(legacyFile("legacy-edge.mdb")),
                 "the legacy test files belong in ../shared/legacy beside the clone");
    }

    // ---- The odd values of a file edited for years ----------------------------------------

    void edgeFileArrivesValueForValue() {
        Target target;
        const LegacyImport::Result result = importInto("legacy-edge.mdb", target.location);
        QVERIFY2(result.problem.isEmpty(), qPrintable(result.problem));
        const QString n = QStringLiteral("null");
        const QList<QStringList> holders = {
            {"1", "0000000A", "张三", n, "13800000000", n},
            {"2", "0000000B", "O'Brien", "110101199001011234", "010-1234567",
             "北京市海淀区\"中关村\"1号"},
            {"3", "00ABCDEF", "欧阳娜娜", "", "", ""},
            {"4", "FFFFFFFF", QStringLiteral("很长的名字").repeated(8), n, "1", n},
            {"5", "12345678", "", "", "", ""},
            {"6", "ABCDEF01", "lower 卡号", n, "2", n},
            {"", "0000000C", "空卡序号", n, "3", n},
            {"8", "0000000D", "Émilie 😀 مرحبا", n, "4", n},
            {"9", "0000000E", "空格卡号", n, "5", n},
            {"10", "0000000F", "x' or '1'='1", n, "6", n},
        };
        QCOMPARE(
            rows(target.location,
                 "SELECT 卡序号, 卡号, 姓名, 身份证, 电话, 地址 FROM userecord ORDER BY rowid"),
            holders);
        QCOMPARE(holders[3][2].size(), 40);
        // The emoji is one character of two UTF-16 units, whole.
        QVERIFY(holders[7][2].contains(QString::fromUcs4(U"\U0001F600")));
        const QList<QStringList> records = {
            {"0000000A", "2019-01-01 00:00:00", "100"},
            {"0000000A", "2019-01-01 23:59:59", "-100"},
            {"0000000A", "2020-02-29 12:00:00", "1999"},
            {"0000000B", "2021-06-30 08:15:30", "0"},
            {"0000000B", "2021-06-30 08:15:30", "50"},
            {"00ABCDEF", "2022-12-31 23:59:59", "-6553"},
            {"DEADBEEF", "2023-03-01 09:00:00", "300"},
            {"ABCDEF01", "2023-03-02 09:00:00", "20"},
            {"", "2024-07-02 10:00:00", "5"},
            {"0000000A", "1999-12-31 23:59:59", "99999"},
            {"0000000A", "2025-01-01 00:00:01", "123456"},
        };
        QCOMPARE(rows(target.location, "SELECT 卡号, 日期, 金额 FROM employees ORDER BY rowid"),
                 records);
        // The desk finds the repaired cards' holders, and the day's range takes both ends.
        const Connection db(target.location);
        QCOMPARE(FindCardholder(db, "0000000E").holder.name, QStringLiteral("空格卡号"));
        QCOMPARE(FindCardholder(db, "ABCDEF01").state, HolderExisting);
        QCOMPARE(totalOf(target.location, Statements::RecordsBetweenTotal,
                         {"2019-01-01 00:00:00", "2019-01-01 23:59:59", "100"}),
                 std::make_pair(qint64(2), qint64(0)));
        QCOMPARE(Schema::CheckDatabase(target.location), QString());
    }

    void edgeFileRepairsAndSetAsideAreReported() {
        Target target;
        const LegacyImport::Result result = importInto("legacy-edge.mdb", target.location);
        QVERIFY2(result.problem.isEmpty(), qPrintable(result.problem));
        const LegacyImport::Report& r = result.report;
        QCOMPARE(r.format, QStringLiteral("Jet4"));
        QCOMPARE(r.cardholders.read, 10);
        QCOMPARE(r.cardholders.imported, 10);
        QCOMPARE(r.records.read, 13);
        QCOMPARE(r.records.imported, 11);
        QCOMPARE(r.records.setAside, 2);
        QCOMPARE(r.all.records, 11);
        QCOMPARE(r.all.amount, 219276);
        QCOMPARE(r.years.at(1999).amount, 99999);
        QCOMPARE(r.years.at(2019).records, 2);
        QCOMPARE(r.years.at(2025).amount, 123456);
        const QStringList repairs = {
            "userecord 第 5 行：姓名 为空值（Null），存为空文本",
            "userecord 第 5 行：身份证 为空值（Null），存为空文本",
            "userecord 第 5 行：电话 为空值（Null），存为空文本",
            "userecord 第 5 行：地址 为空值（Null），存为空文本",
            "userecord 第 6 行：卡号 “abcdef01” 改为 “ABCDEF01”",
            "userecord 第 9 行：卡号 “ 0000000E” 改为 “0000000E”",
            "employees 第 8 行：卡号 “abcdef01” 改为 “ABCDEF01”",
            "employees 第 11 行：卡号 为空值（Null），存为空文本",
        };
        QCOMPARE(r.repairs, repairs);
        const QStringList setAside = {
            "employees 第 9 行：没有日期，未记入账本；卡号=0000000C 日期= 金额=10",
            "employees 第 10 行：没有金额，未记入账本；卡号=0000000D 日期=2024-07-01 10:00:00 "
            "金额=",
        };
        QCOMPARE(r.setAside, setAside);
        // Kept as they were, but told: amounts a reader never books, cards without a holder.
        QCOMPARE(r.notes.size(), 3);
        QVERIFY(r.notes[0].startsWith("employees 第 12 行：金额 99999 超出"));
        QVERIFY(r.notes[1].endsWith("充值查询的合计不计入它"));
        QCOMPARE(r.recordsWithoutHolder, 2); // DEADBEEF and the record without a card
        QCOMPARE(r.accountNotes,
                 QStringList{"账户 操作员3 没有密码（旧版不能用它登录）：设为初始密码 604817"});
        const QString text = LegacyImport::ReportText(r);
        for (const QString& line : repairs + setAside)
            QVERIFY2(text.contains(QStringLiteral("  ") + line + QLatin1Char('\n')),
                     qPrintable(line));
        QVERIFY(text.contains("1999 年：1 条，合计 99999\n"));
        QVERIFY(text.contains("全部：11 条，合计 219276\n"));
        QVERIFY(text.contains(r.sha256));
    }

    void edgeFileAccountsKeepTheirPasswords_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("password");
        QTest::addColumn<bool>("opens");
        QTest::newRow("digits") << "管理员"
                                << "604817" << true;
        QTest::newRow("quote") << "操作员1"
                               << "abc'123" << true;
        QTest::newRow("chinese") << "操作员2"
                                 << "密码一" << true;
        QTest::newRow("empty gets the delivered one") << "操作员3"
                                                      << "604817" << true;
        QTest::newRow("blanks kept") << "操作员4"
                                     << "  spaced  " << true;
        QTest::newRow("blanks not dropped") << "操作员4"
                                            << "spaced" << false;
        QTest::newRow("case kept") << "操作员5"
                                   << "UPPERlower" << true;
        QTest::newRow("case matters") << "操作员5"
                                      << "upperlower" << false;
        QTest::newRow("quote and comment") << "操作员6"
                                           << "x\"y;--" << true;
    }

    void edgeFileAccountsKeepTheirPasswords() {
        QFETCH(QString, name);
        QFETCH(QString, password);
        QFETCH(bool, opens);
        static Target target;
        static const QString problem = importInto("legacy-edge.mdb", target.location).problem;
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
        QCOMPARE(CheckLogin(nullptr, name, password, target.location) == LoginOutcome::Success,
                 opens);
        QStringList names;
        for (const QStringList& row : rows(target.location, "SELECT 用户名, 密码 FROM permission "
                                                            "ORDER BY rowid")) {
            names << row[0];
            QVERIFY(PasswordHash::IsHash(row[1]));
        }
        QCOMPARE(names, Schema::AccountNames);
    }

    void importOpensTheAuditTrail() {
        Target target;
        const LegacyImport::Result result = importInto("legacy-edge.mdb", target.location);
        QVERIFY2(result.problem.isEmpty(), qPrintable(result.problem));
        QFile source(legacyFile("legacy-edge.mdb"));
        QVERIFY(source.open(QIODevice::ReadOnly));
        const QString sha = QString::fromLatin1(
            QCryptographicHash::hash(source.readAll(), QCryptographicHash::Sha256).toHex());
        QCOMPARE(result.report.sha256, sha);
        const QList<QStringList> trail =
            rows(target.location, "SELECT id, time, account, action, details FROM audit");
        QCOMPARE(trail.size(), 1);
        QCOMPARE(trail[0].mid(0, 4),
                 (QStringList{"1", "2025-03-04 05:06:07", "管理员", Audit::LegacyImported}));
        QVERIFY2(trail[0][4].contains(sha), qPrintable(trail[0][4]));
        QVERIFY(trail[0][4].contains("持卡人 10，充值记录 11（未记入 2），账户 7"));
        const Connection db(target.location);
        QVERIFY(!Audit::Verify(db));
        // The desk's next entry chains on.
        Audit::Append(db, "管理员", "desk", Audit::Login, {});
        QVERIFY(!Audit::Verify(db));
    }

    // ---- A busy counter's three years -------------------------------------------------------

    void counterFileMatchesItsFigures() {
        Target target;
        const LegacyImport::Result result = importInto("legacy-counter.mdb", target.location);
        QVERIFY2(result.problem.isEmpty(), qPrintable(result.problem));
        const QString& at = target.location;
        QCOMPARE(rows(at, "SELECT substr(日期, 1, 4), count(*), sum(金额) FROM employees "
                          "GROUP BY substr(日期, 1, 4) ORDER BY 1"),
                 (QList<QStringList>{{"2022", "66614", "14167871"},
                                     {"2023", "66667", "14194103"},
                                     {"2024", "66719", "14212453"}}));
        QCOMPARE(rows(at, "SELECT count(*), sum(金额) FROM employees"),
                 (QList<QStringList>{{"200000", "42574427"}}));
        // Through the program's own statements: the query window's day, the desk's card.
        QCOMPARE(totalOf(at, Statements::RecordsBetweenTotal,
                         {"2023-06-15 00:00:00", "2023-06-15 23:59:59", "200000"}),
                 std::make_pair(qint64(183), qint64(39946)));
        QCOMPARE(totalOf(at, Statements::CardRecordsTotal, {"10000000"}),
                 std::make_pair(qint64(48), qint64(7451)));
        QCOMPARE(rows(at, "SELECT count(*) FROM userecord"), QList<QStringList>{{"5000"}});
        QCOMPARE(rows(at, "SELECT count(*) FROM employees e WHERE NOT EXISTS "
                          "(SELECT 1 FROM userecord u WHERE u.卡号 = e.卡号)"),
                 QList<QStringList>{{"4064"}});
        QCOMPARE(result.report.recordsWithoutHolder, 4064);
        QCOMPARE(rows(at, "SELECT 日期 FROM employees WHERE rowid IN "
                          "((SELECT min(rowid) FROM employees), (SELECT max(rowid) FROM "
                          "employees)) ORDER BY rowid"),
                 (QList<QStringList>{{"2022-01-01 07:00:04"}, {"2024-12-31 06:52:06"}}));
        QVERIFY(result.report.repairs.isEmpty());
        QVERIFY(result.report.setAside.isEmpty());
        QVERIFY(result.report.accountNotes.isEmpty());
        const QString text = LegacyImport::ReportText(result.report);
        QVERIFY(text.contains("2022 年：66614 条，合计 14167871\n"));
        QVERIFY(text.contains("全部：200000 条，合计 42574427\n"));
        QVERIFY(text.contains("4064 条记录的卡号没有持卡人"));
        QCOMPARE(CheckLogin(nullptr, "操作员6", "604817", at), LoginOutcome::Success);
        QCOMPARE(Schema::CheckDatabase(at), QString());
    }

    // Every value against what the library's own export tool reads from the same file.
    void counterFileMatchesTheLibrarysExport() {
        FILE_DATABASE_ONLY(); // the reading is the same for either engine
        Target target;
        const LegacyImport::Result result = importInto("legacy-counter.mdb", target.location);
        QVERIFY2(result.problem.isEmpty(), qPrintable(result.problem));
        for (const auto& [table, sql] :
             {std::pair{"employees", "SELECT 卡号, 日期, 金额 FROM employees ORDER BY rowid"},
              std::pair{"userecord", "SELECT 卡序号, 卡号, 姓名, 身份证, 电话, 地址 FROM "
                                     "userecord ORDER BY rowid"}}) {
            const QStringList lines = exported("legacy-counter.mdb", table);
            const QList<QStringList> stored = rows(target.location, QString::fromUtf8(sql));
            QCOMPARE(stored.size(), lines.size());
            for (qsizetype i = 0; i < lines.size(); ++i)
                if (csvLine(lines[i]) != stored[i])
                    QFAIL(qPrintable(QStringLiteral("%1 row %2: %3 stored as %4")
                                         .arg(table)
                                         .arg(i + 1)
                                         .arg(lines[i], stored[i].join(','))));
        }
    }

    // ---- All or nothing ---------------------------------------------------------------------

    void failedImportLeavesNothingBehind() {
        Target target;
        LegacyImport::Options options = cheap();
        options.progress = [](int done, int) {
            if (done > 100000)
                throw DataError(DataFailure::Other, QStringLiteral("the disk is full"));
        };
        const LegacyImport::Result failed =
            importInto("legacy-counter.mdb", target.location, options);
        QCOMPARE(failed.problem, QStringLiteral("the disk is full"));
        if (TestDatabase::OnServer()) {
            QCOMPARE(rows(target.location, "SELECT count(*) FROM pg_class WHERE relnamespace = "
                                           "'public'::regnamespace"),
                     QList<QStringList>{{"0"}});
        } else {
            QCOMPARE(filesIn(target.dir.path()), QStringList());
        }
        // Still a place an import may go.
        const LegacyImport::Result again = importInto("legacy-edge.mdb", target.location);
        QVERIFY2(again.problem.isEmpty(), qPrintable(again.problem));
        QCOMPARE(rows(target.location, "SELECT count(*) FROM employees"),
                 QList<QStringList>{{"11"}});
    }

    void refusesWhatItMayNotTouch_data() {
        QTest::addColumn<QString>("case_");
        QTest::addColumn<QString>("reason");
        QTest::newRow("target taken") << "taken"
                                      << "已存在";
        QTest::newRow("no Access file") << "text"
                                        << "不是 Access 数据库文件";
        QTest::newRow("source missing") << "missing"
                                        << "不存在";
        QTest::newRow("torn file") << "torn"
                                   << "";
    }

    void refusesWhatItMayNotTouch() {
        QFETCH(QString, case_);
        QFETCH(QString, reason);
        Target target;
        QTemporaryDir sources;
        QString source = sources.filePath("DataBase.mdb");
        if (case_ == "taken") {
            QCOMPARE(Schema::CreateDatabase(target.location, PasswordHash::CheapestCost),
                     QString());
            source = legacyFile("legacy-edge.mdb");
            if (TestDatabase::OnServer())
                reason = "不是空的";
        } else if (case_ == "text") {
            QFile file(source);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("Standard Jet DB, or so it says\n");
        } else if (case_ == "torn") {
            // Three of the file's seven megabytes: the records end half way.
            QFile whole(legacyFile("legacy-counter.mdb"));
            QVERIFY(whole.open(QIODevice::ReadOnly));
            QFile torn(source);
            QVERIFY(torn.open(QIODevice::WriteOnly));
            torn.write(whole.read(3 << 20));
        }
        const QStringList before =
            case_ == "taken" ? rows(target.location, "SELECT count(*) FROM audit").value(0)
                             : QStringList();
        const LegacyImport::Result result = LegacyImport::Import(source, target.location, cheap());
        QVERIFY(!result.problem.isEmpty());
        QVERIFY2(result.problem.contains(reason), qPrintable(result.problem));
        if (case_ == "taken") {
            QCOMPARE(rows(target.location, "SELECT count(*) FROM audit").value(0), before);
            QCOMPARE(Schema::CheckDatabase(target.location), QString());
        } else if (TestDatabase::OnServer()) {
            QCOMPARE(rows(target.location, "SELECT count(*) FROM pg_class WHERE relnamespace = "
                                           "'public'::regnamespace"),
                     QList<QStringList>{{"0"}});
        } else {
            QCOMPARE(filesIn(target.dir.path()), QStringList());
        }
    }

    // ---- The rules alone --------------------------------------------------------------------

    void cardNumbersAreRepairedOnlyWhereUnambiguous_data() {
        QTest::addColumn<QStringList>("read");
        QTest::addColumn<QStringList>("stored");
        QTest::addColumn<QList<qint64>>("collides");
        QTest::addColumn<QList<qint64>>("duplicates");
        QTest::newRow("case and blanks")
            << QStringList{"abcdef01", " 0000000E\t", "０００００００Ａ", "0000000B"}
            << QStringList{"ABCDEF01", "0000000E", "0000000A", "0000000B"}
            << QList<qint64>{0, 0, 0, 0} << QList<qint64>{0, 0, 0, 0};
        QTest::newRow("not a card number: kept")
            << QStringList{"12345", "0000 000A", "", "ABCDEF012"}
            << QStringList{"12345", "0000 000A", "", "ABCDEF012"} << QList<qint64>{0, 0, 0, 0}
            << QList<qint64>{0, 0, 0, 0};
        // The number as it is wins, wherever it stands; the repair would collide.
        QTest::newRow("repair collides, later")
            << QStringList{"0000000E", " 0000000E"} << QStringList{"0000000E", " 0000000E"}
            << QList<qint64>{0, 1} << QList<qint64>{0, 0};
        QTest::newRow("repair collides, earlier")
            << QStringList{" 0000000E", "0000000E"} << QStringList{" 0000000E", "0000000E"}
            << QList<qint64>{2, 0} << QList<qint64>{0, 0};
        QTest::newRow("two repairs meet")
            << QStringList{"abcdef01", "ABCDEF01 "} << QStringList{"ABCDEF01", "ABCDEF01 "}
            << QList<qint64>{0, 1} << QList<qint64>{0, 0};
        QTest::newRow("the same twice")
            << QStringList{"xyz", "", "xyz", ""} << QStringList{"xyz", "", "xyz", ""}
            << QList<qint64>{0, 0, 0, 0} << QList<qint64>{0, 0, 1, 2};
    }

    void cardNumbersAreRepairedOnlyWhereUnambiguous() {
        SKIP_ON_SERVER();
        QFETCH(QStringList, read);
        QFETCH(QStringList, stored);
        QFETCH(QList<qint64>, collides);
        QFETCH(QList<qint64>, duplicates);
        const std::vector<LegacyImport::CardNoClaim> claims = LegacyImport::ClaimCardNumbers(read);
        QCOMPARE(qsizetype(claims.size()), read.size());
        for (qsizetype i = 0; i < read.size(); ++i) {
            const auto& claim = claims[size_t(i)];
            QCOMPARE(claim.stored, stored[i]);
            QCOMPARE(claim.repaired, stored[i] != read[i]);
            QCOMPARE(claim.collidesWith, collides[i]);
            QCOMPARE(claim.duplicateOf, duplicates[i]);
        }
    }

    void accountsThatDifferAreListed() {
        SKIP_ON_SERVER();
        using Rows = std::vector<LegacyImport::AccountRow>;
        const QString d = Schema::DeliveredPassword;
        QStringList notes;
        LegacyImport::TableCount count;
        // No table at all: the delivered password everywhere.
        QCOMPARE(LegacyImport::SevenPasswords(std::nullopt, &notes, &count),
                 std::vector<QString>(7, d));
        QCOMPARE(notes, QStringList{"没有 permission 表：七个账户都设为初始密码 604817"});
        // In another order, one missing, one extra, one twice, one with a blank.
        notes.clear();
        const Rows rows = {{"操作员1", "one"},     {"管理员", "admin"},
                           {"张三", "secret"},     {"操作员1", "again"},
                           {"操作员2 ", "two"},    {"操作员3", "three"},
                           {"操作员4", "", false}, {"操作员5", "x\uFFFD", true}};
        const std::vector<QString> passwords = LegacyImport::SevenPasswords(rows, &notes, &count);
        QCOMPARE(passwords, (std::vector<QString>{"admin", "one", "two", "three", d, d, d}));
        QCOMPARE(notes,
                 (QStringList{
                     "permission 第 3 行的账户 “张三” 不是本程序的七个账户之一，未导入",
                     "permission 第 4 行的账户 “操作员1” 与第 1 行重复，未导入",
                     "permission 第 5 行的账户 “操作员2 ” 按 “操作员2” 导入",
                     "账户 操作员4 没有密码（旧版不能用它登录）：设为初始密码 604817",
                     "账户 操作员5 的密码有无法读出的字符：设为初始密码 604817",
                     "没有账户 操作员6：设为初始密码 604817",
                     "permission 表中账户的顺序不同，按 "
                     "管理员、操作员1、操作员2、操作员3、操作员4、操作员5、操作员6 的顺序导入",
                 }));
        QCOMPARE(count.read, 8);
        QCOMPARE(count.imported, 7);
        QCOMPARE(count.setAside, 2);
    }

    void jet4TextsAreReadWhole_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("lost");
        QTest::newRow("UTF-16") << QByteArray::fromHex("41002d4e") << "A中" << 0;
        QTest::newRow("one byte a character") << QByteArray::fromHex("fffe4142") << "AB" << 0;
        QTest::newRow("switching")
            << QByteArray::fromHex("fffe6c6f77657220006153f753") << "lower 卡号" << 0;
        QTest::newRow("switching back") << QByteArray::fromHex("fffe41002d4e0042") << "A中B" << 0;
        QTest::newRow("empty, compressed") << QByteArray::fromHex("fffe") << "" << 0;
        QTest::newRow("empty") << QByteArray() << "" << 0;
        QTest::newRow("surrogate pair")
            << QByteArray::fromHex("3dd800de") << QString::fromUcs4(U"\U0001F600") << 0;
        QTest::newRow("surrogate alone") << QByteArray::fromHex("3dd84100") << "\uFFFDA" << 1;
        QTest::newRow("half a unit") << QByteArray::fromHex("410042") << "A" << 1;
    }

    void jet4TextsAreReadWhole() {
        SKIP_ON_SERVER();
        QFETCH(QByteArray, bytes);
        QFETCH(QString, text);
        QFETCH(int, lost);
        int counted = 0;
        QCOMPARE(LegacyFile::DecodeUnicode(bytes, &counted), text);
        QCOMPARE(counted, lost);
    }

    void accessDatesBecomeTimestamps_data() {
        QTest::addColumn<double>("days");
        QTest::addColumn<QString>("text");
        QTest::newRow("day 0") << 0.0 << "1899-12-30 00:00:00";
        QTest::newRow("1900 has no 29 February") << 61.0 << "1900-03-01 00:00:00";
        QTest::newRow("leap day noon") << 43890.5 << "2020-02-29 12:00:00";
        QTest::newRow("last second of 1999")
            << 36525.0 + 86399.0 / 86400.0 << "1999-12-31 23:59:59";
        QTest::newRow("before day 0 the time counts up") << -1.25 << "1899-12-29 06:00:00";
        QTest::newRow("rounds into the next day") << 1.9999999999 << "1900-01-01 00:00:00";
        QTest::newRow("first day") << -657434.0 << "0100-01-01 00:00:00";
        QTest::newRow("last second") << 2958465.0 + 86399.0 / 86400.0 << "9999-12-31 23:59:59";
        QTest::newRow("past the last day") << 2958466.0 << "";
        QTest::newRow("before the first") << -657435.0 << "";
        QTest::newRow("no number") << std::nan("") << "";
    }

    void accessDatesBecomeTimestamps() {
        SKIP_ON_SERVER();
        QFETCH(double, days);
        QFETCH(QString, text);
        char out[20];
        const bool ok = AccessDateText(days, out);
        QCOMPARE(ok, !text.isEmpty());
        if (ok)
            QCOMPARE(QString::fromLatin1(out), text);
    }

    // ---- The tool ---------------------------------------------------------------------------

    void toolPrintsAndWritesTheReport() {
        FILE_DATABASE_ONLY(); // the report beside a file
        QTemporaryDir dir;
        const QString target = dir.filePath("new.mdb");
        QProcess tool;
        tool.start(QStringLiteral(VELKAR_DB_TOOL),
                   {"import-legacy", legacyFile("legacy-edge.mdb"), target});
        QVERIFY(tool.waitForFinished(60000));
        QCOMPARE(tool.exitCode(), 0);
        const QString printed = QString::fromUtf8(tool.readAllStandardOutput());
        QFile report(dir.filePath("import-report.txt"));
        QVERIFY(report.open(QIODevice::ReadOnly));
        const QString written = QString::fromUtf8(report.readAll());
        QVERIFY(written.startsWith("旧版数据库导入报告\n"));
        QVERIFY(printed.startsWith(written));
        QVERIFY(written.contains("employees 第 9 行：没有日期"));
        QCOMPARE(Schema::CheckDatabase(target), QString());
        // Never over a file that is there; a wrong command line is told apart.
        tool.start(QStringLiteral(VELKAR_DB_TOOL),
                   {"import-legacy", legacyFile("legacy-edge.mdb"), target});
        QVERIFY(tool.waitForFinished(60000));
        QCOMPARE(tool.exitCode(), 1);
        QVERIFY(QString::fromUtf8(tool.readAllStandardError()).contains("已存在"));
        tool.start(QStringLiteral(VELKAR_DB_TOOL), {"import-legacy"});
        QVERIFY(tool.waitForFinished(60000));
        QCOMPARE(tool.exitCode(), 2);
    }
};

QTEST_GUILESS_MAIN(TestLegacyImport)
#include "tst_legacy_import.moc"
