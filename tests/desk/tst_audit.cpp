// The audit trail, the day settlement and the exports, as a counter's day leaves them.
#include "base/Clock.h"
#include "base/Settings.h"
#include "data/AdoConn.h"
#include "data/Amount.h"
#include "data/Audit.h"
#include "data/Journal.h"
#include "data/Settlement.h"
#include "data/Shift.h"
#include "desk/windows/AuditDlg.h"
#include "desk/windows/DatabaseActions.h"
#include "records/windows/RecordsDlg.h"
#include "reports/Export.h"
#include "reports/Report.h"
#include "reports/ReportLayout.h"
#include "reports/windows/QueryDlg.h"
#include "reports/windows/SettlementDlg.h"
#include "reports/windows/SettlementPreviewDlg.h"
#include "support/Controls.h"
#include "support/FakeDialogs.h"
#include "support/ModalWatcher.h"
#include "support/TestDatabase.h"
#include "users/Accounts.h"

#include <QBarCategoryAxis>
#include <QChartView>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLabel>
#include <QLineEdit>
#include <QPrinter>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

using namespace velkar;

namespace {

const QString Admin = QStringLiteral("管理员");
const QString Op1 = QStringLiteral("操作员1");
const QString Op2 = QStringLiteral("操作员2");

// Books one command as the reader link does when its card reports the expected balance.
void book(const Connection& db, const QString& op, const QString& cardNo, Journal::Operation kind,
          int amount, const QString& at) {
    Journal::Entry e;
    e.cardNo = cardNo;
    e.operation = kind;
    e.amount = amount;
    e.balanceBefore = kind == Journal::Operation::Clear ? amount * 10 : 0;
    e.balanceExpected = kind == Journal::Operation::Clear ? 0 : amount * 10;
    e.operatorName = op;
    e.desk = QStringLiteral("desk-1");
    e.sentAt = at;
    const QString amountText = kind == Journal::Operation::Clear
                                   ? QStringLiteral("-%1").arg(amount, 5, 10, QLatin1Char('0'))
                                   : QStringLiteral("%1").arg(amount, 5, 10, QLatin1Char('0'));
    Journal::Resolve(db, {{e, Journal::State::Booked, e.balanceExpected, at, amountText}});
}

void book(const QString& path, const QString& op, const QString& cardNo, Journal::Operation kind,
          int amount, const QString& at) {
    book(Connection(path), op, cardNo, kind, amount, at);
}

// A command a desk books for a correction or a replacement (`link`, with what it served), or a
// plain one (`link` empty); returns its journal id.
qint64 bookFor(const Connection& db, const QString& op, const QString& desk, const QString& cardNo,
               Journal::Operation kind, int amount, const QString& at, const char* link = nullptr,
               int ref = 0) {
    Journal::Entry e;
    e.cardNo = cardNo;
    e.operation = kind;
    e.amount = amount;
    const bool clear = kind == Journal::Operation::Clear;
    e.balanceBefore = clear ? amount * 10 + 4 : 0;
    e.balanceExpected = clear ? 0 : amount * 10;
    e.operatorName = op;
    e.desk = desk;
    e.sentAt = at;
    e.id = Journal::Add(db, e);
    Journal::Settle(
        db, {{e, Journal::State::Booked, e.balanceExpected, at, BookedAmountText(clear, amount)}});
    if (link) {
        Query q(db, QStringLiteral(
                        "INSERT INTO journal_links (journal_id, kind, ref) VALUES (?, ?, ?)"));
        q.bind(1, e.id);
        q.bind(2, QString::fromLatin1(link));
        q.bind(3, std::int64_t(ref));
        q.next();
    }
    return e.id;
}

// The part below one yuan a correction or a replacement paid over the counter.
void payOut(const Connection& db, const QString& op, const QString& desk, const char* kind, int ref,
            int tenths, const QString& at) {
    Query q(db, QStringLiteral("INSERT INTO cash_paid (kind, ref, card_no, amount, operator, desk, "
                               "paid_at) VALUES (?, ?, 'AAAA0001', ?, ?, ?, ?)"));
    q.bind(1, QString::fromLatin1(kind));
    q.bind(2, std::int64_t(ref));
    q.bind(3, std::int64_t(tenths));
    q.bind(4, op);
    q.bind(5, desk);
    q.bind(6, at);
    q.next();
}

struct Run {
    int code;
    QString out;
};

Run velkarDb(const QStringList& args) {
    QProcess p;
    p.start(QStringLiteral(VELKAR_DB_TOOL), args);
    p.waitForFinished(60000);
    return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput() + p.readAllStandardError())};
}

// The trail in the order it was written.
std::vector<Audit::Entry> trail(const QString& path) {
    Connection db(path);
    Query q(db, QStringLiteral("SELECT id, time, account, desk, action, details, hash FROM audit "
                               "ORDER BY id"));
    std::vector<Audit::Entry> entries;
    while (q.next())
        entries.push_back(
            {q.integer(0), q.text(1), q.text(2), q.text(3), q.text(4), q.text(5), q.text(6)});
    return entries;
}

QJsonArray readXlsx(const QString& path) {
    // Read with Python's own zip and XML modules, apart from the library that wrote it: the
    // first sheet's rows, each cell a text, a number or null, as far as the widest row goes.
    static const char* const reader = R"(
import json, re, sys, zipfile, xml.etree.ElementTree as E
n = '{http://schemas.openxmlformats.org/spreadsheetml/2006/main}'
z = zipfile.ZipFile(sys.argv[1])
shared = []
if 'xl/sharedStrings.xml' in z.namelist():
    shared = [''.join(t.text or '' for t in si.iter(n + 't'))
              for si in E.fromstring(z.read('xl/sharedStrings.xml')).iter(n + 'si')]
rows = {}
for c in E.fromstring(z.read('xl/worksheets/sheet1.xml')).iter(n + 'c'):
    letters, row = re.fullmatch(r'([A-Z]+)(\d+)', c.get('r')).groups()
    col = 0
    for ch in letters:
        col = col * 26 + ord(ch) - 64
    kind, v = c.get('t'), c.find(n + 'v')
    if kind == 's':
        x = shared[int(v.text)]
    elif kind == 'inlineStr':
        x = ''.join(t.text or '' for t in c.iter(n + 't'))
    elif kind == 'str':
        x = v.text
    elif v is None:
        x = None
    else:
        f = float(v.text)
        x = int(f) if f.is_integer() else f
    rows.setdefault(int(row), {})[col] = x
width = max((max(r) for r in rows.values()), default=0)
print(json.dumps([[rows.get(i, {}).get(j) for j in range(1, width + 1)]
                  for i in range(1, max(rows, default=0) + 1)]))
)";
    QProcess p;
    p.start(QStringLiteral("/usr/bin/python3"),
            {QStringLiteral("-c"), QString::fromLatin1(reader), path});
    p.waitForFinished(60000);
    if (p.exitCode() != 0)
        qWarning() << p.readAllStandardError();
    return QJsonDocument::fromJson(p.readAllStandardOutput()).array();
}

// The rows of a CSV file as Python's csv module reads them, a real RFC 4180 reader apart from
// the program's own.
QList<QStringList> readCsv(const QString& path) {
    static const char* const reader = R"(
import csv, json, sys
with open(sys.argv[1], newline='', encoding='utf-8-sig') as f:
    print(json.dumps(list(csv.reader(f, strict=True))))
)";
    QProcess p;
    p.start(QStringLiteral("/usr/bin/python3"),
            {QStringLiteral("-c"), QString::fromLatin1(reader), path});
    p.waitForFinished(60000);
    if (p.exitCode() != 0)
        qWarning() << p.readAllStandardError();
    QList<QStringList> rows;
    for (const QJsonValue& row : QJsonDocument::fromJson(p.readAllStandardOutput()).array()) {
        QStringList cells;
        for (const QJsonValue& cell : row.toArray())
            cells << cell.toString();
        rows << cells;
    }
    return rows;
}

// A text a spreadsheet keeps as text by the ="…" form, as the text itself.
QString keptText(const QString& cell) {
    if (cell.startsWith(QLatin1String("=\"")) && cell.endsWith(QLatin1Char('"')))
        return cell.mid(2, cell.size() - 3);
    return cell;
}

} // namespace

class AuditTest : public QObject {
    Q_OBJECT

    FakeDialogs dialogs;

private slots:
    void init() { dialogs.clear(); }

    // Login, three recharges, a clear, a cardholder change, a password change, a backup and a
    // restore: exactly those entries, in order, each with the account that did it.
    void aSessionLeavesItsEntriesInOrder() {
        FILE_DATABASE_ONLY();
        TestDatabase db;
        db.setPassword(Admin, QStringLiteral("pw"));
        db.setPassword(Op1, QStringLiteral("old"));
        db.addCardholder(QStringLiteral("1"), QStringLiteral("0000ABCD"), QStringLiteral("张三"));

        QCOMPARE(CheckLogin(&dialogs, Op2, QStringLiteral("wrong")), LoginOutcome::WrongPassword);
        QCOMPARE(CheckLogin(&dialogs, Admin, QStringLiteral("pw")), LoginOutcome::Success);
        const QString card = QStringLiteral("0000ABCD");
        for (int amount : {100, 200, 300})
            book(db.path(), Admin, card, Journal::Operation::Recharge, amount,
                 QStringLiteral("2026-12-07 09:00:0%1").arg(amount / 100));
        book(db.path(), Admin, card, Journal::Operation::Clear, 600,
             QStringLiteral("2026-12-07 09:01:00"));
        {
            CRecordsDlg dlg(dialogs, Admin);
            QTableView* list = control<QTableView>(&dlg, "recordList");
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                              list->visualRect(list->model()->index(0, 2)).center());
            control<QLineEdit>(&dlg, "holderNameEdit")->setText(QStringLiteral("李四"));
            control<QPushButton>(&dlg, "modifyButton")->click();
            QCOMPARE(dialogs.lastText(), QStringLiteral("修改成功"));
        }
        QCOMPARE(ChangePassword(&dialogs, Admin, Op1, QStringLiteral("old"), QStringLiteral("new"),
                                QStringLiteral("new")),
                 PasswordOutcome::Changed);
        QTemporaryDir stick;
        DatabaseActions actions(dialogs, nullptr, Admin);
        dialogs.answerFolder(stick.path());
        actions.BackupDatabase();
        QCOMPARE(dialogs.lastText(), QStringLiteral("备份完成！"));
        dialogs.answerFile(stick.path() + QStringLiteral("/DataBase.mdb"));
        dialogs.answerQuestion(true);
        QVERIFY(actions.OnRestore());

        const auto entries = trail(db.path());
        QStringList actionsSeen, accounts;
        for (const Audit::Entry& e : entries) {
            actionsSeen << e.action;
            accounts << e.account;
        }
        QCOMPARE(actionsSeen,
                 (QStringList{Audit::LoginRefused, Audit::Login, Audit::Command, Audit::Command,
                              Audit::Command, Audit::Command, Audit::CardholderChanged,
                              Audit::PasswordChanged, Audit::Backup, Audit::Restore}));
        QCOMPARE(accounts,
                 (QStringList{Op2, Admin, Admin, Admin, Admin, Admin, Admin, Admin, Admin, Admin}));
        QVERIFY(entries[2].details.contains(QStringLiteral("充值 100 元")));
        QVERIFY(entries[5].details.contains(QStringLiteral("清零")));
        QVERIFY(entries[6].details.contains(QStringLiteral("张三")));
        QVERIFY(entries[6].details.contains(QStringLiteral("李四")));
        QVERIFY(entries[7].details.contains(Op1));
        QVERIFY(!entries[7].details.contains(QStringLiteral("new")));
        QVERIFY(entries[9].details.contains(QStringLiteral(".bak")));
        QCOMPARE(velkarDb({QStringLiteral("check"), db.path()}).code, 0);
        QCOMPARE(AuditChainProblem(db.path()), QString());
    }

    // Each command's outcome is written once, in the transaction that resolves it: a second
    // resolution of the same command (a retried booking) adds nothing.
    void commandOutcomesAreWrittenOnce() {
        TestDatabase db;
        Connection c(db.path());
        Journal::Entry e;
        e.cardNo = QStringLiteral("00000007");
        e.amount = 50;
        e.balanceExpected = 500;
        e.operatorName = Op1;
        e.desk = QStringLiteral("desk-1");
        e.sentAt = QStringLiteral("2026-12-07 09:00:00");
        e.id = Journal::Add(c, e);
        const QString at = QStringLiteral("2026-12-07 09:00:01");
        Journal::Resolve(c, {{e, Journal::State::Mismatch, 480, at, {}}});
        Journal::Resolve(c, {{e, Journal::State::Booked, 500, at, QStringLiteral("00050")}});
        Journal::Entry other = e;
        other.id = 0;
        Journal::Resolve(c, {{other, Journal::State::NotExecuted, 0, at, {}}});
        const auto entries = trail(db.path());
        QCOMPARE(int(entries.size()), 2);
        QCOMPARE(entries[0].action, Audit::Mismatch);
        QVERIFY(entries[0].details.contains(QStringLiteral("实际余额 48.0 元")));
        QCOMPARE(entries[1].action, Audit::Command);
        QVERIFY(entries[1].details.contains(QStringLiteral("未执行")));
        QCOMPARE(entries[1].account, Op1);

        const Run listed =
            velkarDb({QStringLiteral("audit"), QStringLiteral("--account"), Op1,
                      QStringLiteral("--from"), QStringLiteral("2026-12-07"), db.path()});
        QCOMPARE(listed.code, 0);
        QCOMPARE(listed.out.count(QLatin1Char('\n')), 3); // headings and two entries
        QCOMPARE(velkarDb({QStringLiteral("audit"), QStringLiteral("--from"),
                           QStringLiteral("2026-13-01"), db.path()})
                     .code,
                 2);
    }

    // A change, a deletion or an insertion by hand is named by the check.
    void handEditsAreNamed_data() {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QString>("named");
        QTest::newRow("amount changed")
            << "UPDATE audit SET details = replace(details, '300', '900') WHERE id = 3"
            << "第 3 条被修改";
        QTest::newRow("middle deleted") << "DELETE FROM audit WHERE id = 2"
                                        << "第 2 条被删除";
        QTest::newRow("last deleted") << "DELETE FROM audit WHERE id = 4"
                                      << "第 4 条被删除";
        QTest::newRow("inserted")
            << "INSERT INTO audit (time, account, desk, action, details, hash) VALUES "
               "('2026-12-07 10:00:00', '操作员1', 'desk-1', '卡操作', '充值 500 元', 'x')"
            << "第 5 条";
        QTest::newRow("inserted with a hash of its own")
            << "INSERT INTO audit (time, account, desk, action, details, hash) SELECT time, "
               "account, desk, action, details, hash FROM audit WHERE id = 4"
            << "第 5 条";
    }
    void handEditsAreNamed() {
        QFETCH(QString, sql);
        QFETCH(QString, named);
        TestDatabase db;
        for (int amount : {100, 200, 300, 400})
            book(db.path(), Op1, QStringLiteral("00000001"), Journal::Operation::Recharge, amount,
                 QStringLiteral("2026-12-07 09:00:00"));
        QCOMPARE(velkarDb({QStringLiteral("check"), db.path()}).code, 0);
        db.exec(sql);
        const Run run = velkarDb({QStringLiteral("check"), db.path()});
        QCOMPARE(run.code, 1);
        QVERIFY2(run.out.contains(named), qPrintable(run.out));
        QVERIFY(AuditChainProblem(db.path()).contains(named));
    }

    // A new entry takes the number after the highest ever given and builds on the newest
    // entry's hash, also once the last entry was deleted by hand; an empty trail starts at 1.
    void aNewEntryBuildsOnTheTail() {
        TestDatabase db;
        db.exec(QStringLiteral("DELETE FROM audit"));
        const Connection c(db.path());
        const QDateTime at(QDate(2026, 12, 7), QTime(9, 0));
        QCOMPARE(Audit::Append(c, Op1, "desk-1", Audit::Login, {}, at), 1);
        QCOMPARE(Audit::Append(c, Op1, "desk-1", Audit::LeaveDesk, {}, at), 2);
        QCOMPARE(Audit::Append(c, Op1, "desk-1", Audit::Login, {}, at), 3);
        QCOMPARE(AuditChainProblem(db.path()), QString());
        db.exec(QStringLiteral("DELETE FROM audit WHERE id = 3"));
        QCOMPARE(Audit::Append(c, Op2, "desk-2", Audit::Login, {}, at), 4);
        Audit::Entry fourth{4, "2026-12-07 09:00:00", Op2, "desk-2", Audit::Login, {}, {}};
        QCOMPARE(db.scalar("SELECT hash FROM audit WHERE id = 4"),
                 Audit::HashOf(fourth, db.scalar("SELECT hash FROM audit WHERE id = 2")));
        QVERIFY(AuditChainProblem(db.path()).contains(QStringLiteral("3")));
    }

    // The hashes ledgers already hold are the ones made now, byte for byte.
    void hashesAreThoseLedgersHold() {
        Audit::Entry first{1, "2024-01-01 10:00:00", Admin, "desk-1", Audit::Login, {}, {}};
        const QString firstHash = Audit::HashOf(first, {});
        QCOMPARE(
            firstHash,
            QStringLiteral("5cd489688bf0d89631ba645122fc1d1fad5dfd8d732b3ad03831463d004e44da"));
        Audit::Entry second{2,        "2024-01-01 10:05:00", Op1,
                            "desk-1", Audit::Command,        "卡号 0000000A 充值 100 元",
                            {}};
        QCOMPARE(
            Audit::HashOf(second, firstHash),
            QStringLiteral("5932be46ea6d301e1b4f31c2472922ac1aee4a07f3809f169dcfc78cef9140cf"));
    }

    // The login's check goes on from the entry the last one found intact, kept in the desk's
    // settings; whatever it finds is said as the whole walk says it, and then forgotten.
    void loginChecksWhatWasAddedSince() {
        TestDatabase db;
        QTemporaryDir home;
        Settings settings(home.filePath("Velkar.conf"));
        const auto append = [&](int count) {
            Connection c(db.path());
            for (int i = 0; i < count; ++i)
                Audit::Append(c, Op1, "desk-1", Audit::Command,
                              QStringLiteral("充值 %1 元").arg(i));
        };
        append(3);
        QCOMPARE(AuditChainProblem(settings, db.path()), QString());
        QCOMPARE(settings.checkedTrail().id, 3);
        const QString third = settings.checkedTrail().hash;
        QCOMPARE(third, db.scalar("SELECT hash FROM audit WHERE id = 3"));
        append(2);
        QCOMPARE(AuditChainProblem(settings, db.path()), QString());
        QCOMPARE(settings.checkedTrail().id, 5);
        // Kept between runs of the desk.
        QCOMPARE(Settings(home.filePath("Velkar.conf")).checkedTrail().id, 5);

        append(2);
        db.exec("UPDATE audit SET details = '充值 900 元' WHERE id = 6");
        const QString whole = AuditChainProblem(db.path());
        QVERIFY(whole.contains("第 6 条被修改"));
        QCOMPARE(AuditChainProblem(settings, db.path()), whole);
        QCOMPARE(settings.checkedTrail().id, 0);
        QCOMPARE(AuditChainProblem(settings, db.path()), whole);
    }

    // The kept entry rewritten, or another ledger's: the whole chain is walked.
    void aMarkThatNoLongerHoldsWalksEverything_data() {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QString>("named");
        QTest::newRow("kept entry's hash rewritten")
            << QStringList{"UPDATE audit SET hash = replace(hash, substr(hash, 1, 1), 'x') "
                           "WHERE id = 3"}
            << "第 3 条被修改";
        QTest::newRow("an entry before it changed and the kept one deleted")
            << QStringList{"UPDATE audit SET details = 'x' WHERE id = 1",
                           "DELETE FROM audit WHERE id = 3"}
            << "第 1 条被修改";
        QTest::newRow("last entries deleted")
            << QStringList{"DELETE FROM audit WHERE id > 3"} << "第 4 条被删除";
    }
    void aMarkThatNoLongerHoldsWalksEverything() {
        QFETCH(QStringList, steps);
        QFETCH(QString, named);
        TestDatabase db;
        {
            Connection c(db.path());
            for (int i = 0; i < 5; ++i)
                Audit::Append(c, Op2, "desk-1", Audit::Command, QString::number(i));
        }
        QTemporaryDir home;
        Settings settings(home.filePath("Velkar.conf"));
        Audit::Checkpoint third{3, db.scalar("SELECT hash FROM audit WHERE id = 3")};
        RememberCheckedTrail(settings, db.path(), &third);
        for (const QString& step : steps)
            db.exec(step);
        const QString problem = AuditChainProblem(settings, db.path());
        QVERIFY2(problem.contains(named), qPrintable(problem));
        QCOMPARE(problem, AuditChainProblem(db.path()));

        // A mark of another ledger says nothing of this one.
        TestDatabase other;
        {
            Connection c(other.path());
            for (int i = 0; i < 4; ++i)
                Audit::Append(c, Op2, "desk-2", Audit::Command, QString::number(i));
        }
        RememberCheckedTrail(settings, db.path(), &third);
        other.exec("UPDATE audit SET details = 'x' WHERE id = 2");
        QVERIFY(AuditChainProblem(settings, other.path()).contains("第 2 条被修改"));
    }

    // Text moved from one field to the next, their joined bytes unchanged, is still a change.
    void textMovedAcrossFieldsIsAChange() {
        TestDatabase db;
        {
            Connection c(db.path());
            Audit::Append(c, QStringLiteral("a"),
                          QStringLiteral("b\x1f"
                                         "c"),
                          Audit::Login, {});
        }
        db.exec(QStringLiteral("UPDATE audit SET account = 'a\x1f"
                               "b', desk = 'c'"));
        Connection c(db.path());
        const auto broken = Audit::Verify(c);
        QVERIFY(broken);
        QCOMPARE(broken->id, 1);
    }

    // Two operators on one day get their own rows, which add up to the day; the range's total
    // is the query window's.
    void settlementSplitsByOperator() {
        TestDatabase db;
        const QString card = QStringLiteral("00012345");
        db.addRecord(card, QStringLiteral("2026-12-06 08:00:00"), QStringLiteral("00050"));
        book(db.path(), Op1, card, Journal::Operation::Recharge, 100,
             QStringLiteral("2026-12-07 09:00:00"));
        book(db.path(), Op1, card, Journal::Operation::Recharge, 20,
             QStringLiteral("2026-12-07 10:00:00"));
        book(db.path(), Op2, card, Journal::Operation::Clear, 120,
             QStringLiteral("2026-12-07 11:00:00"));
        book(db.path(), Op2, card, Journal::Operation::Recharge, 7,
             QStringLiteral("2026-12-07 23:59:59"));
        book(db.path(), Op1, card, Journal::Operation::Recharge, 999,
             QStringLiteral("2026-12-08 00:00:00"));

        Connection c(db.path());
        const Settlement::Result day =
            Settlement::Collect(c, QStringLiteral("2026-12-07"), QStringLiteral("2026-12-07"));
        QCOMPARE(int(day.rows.size()), 2);
        QCOMPARE(day.rows[0].operatorName, Op1);
        QCOMPARE(day.rows[0].rechargeCount, 2);
        QCOMPARE(day.rows[0].rechargeSum, 120);
        QCOMPARE(day.rows[1].operatorName, Op2);
        QCOMPARE(day.rows[1].clearCount, 1);
        QCOMPARE(day.rows[1].clearSum, -120);
        QCOMPARE(day.rows[1].net, -113);
        QCOMPARE(day.rows[0].net + day.rows[1].net, day.total.net);
        QCOMPARE(day.total.net, 7);

        const Settlement::Result range =
            Settlement::Collect(c, QStringLiteral("2026-12-01"), QStringLiteral("2026-12-31"));
        QCOMPARE(range.rows.front().operatorName, Settlement::UnknownOperator);
        QCOMPARE(int(range.dailyNet().size()), 3);
        const Report report = CollectReport(std::make_shared<Connection>(db.path()),
                                            QStringLiteral("2026-12-01 00:00:00"),
                                            QStringLiteral("2026-12-31 23:59:59"));
        QCOMPARE(range.total.net, report.total);

        QTemporaryDir out;
        const QString csv = out.filePath(QStringLiteral("settle.csv"));
        const Run run =
            velkarDb({QStringLiteral("settle"), QStringLiteral("--from"),
                      QStringLiteral("2026-12-01"), QStringLiteral("--to"),
                      QStringLiteral("2026-12-31"), QStringLiteral("--csv"), csv, db.path()});
        QCOMPARE(run.code, 0);
        QFile file(csv);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        QVERIFY(bytes.startsWith("\xEF\xBB\xBF"));
        QVERIFY(bytes.contains(QStringLiteral("合计,,5,1176,1,-120,1056").toUtf8()));
    }

    // A day with a correction and a replacement beside plain recharges and clears: each
    // operator's cash in less cash out is the net cash, alike in the settlement, the query's
    // total, both exports and the Z reports of the day's shifts.
    void aDayWithACorrectionAndAReplacementReconciles() {
        TestDatabase db;
        const QString desk1 = QStringLiteral("desk-1"), desk2 = QStringLiteral("desk-2");
        const auto t = [](const char* time) {
            return QStringLiteral("2026-12-07 ") + QString::fromLatin1(time);
        };
        const auto at = [](int hour, int minute) {
            return QDateTime(QDate(2026, 12, 7), QTime(hour, minute));
        };
        using Op = Journal::Operation;
        {
            const Connection c(db.path());
            book(c, Op1, QStringLiteral("AAAA0009"), Op::Recharge, 500,
                 QStringLiteral("2026-12-06 18:00:00")); // the day before
            const qint64 shift1 = Shifts::Begin(c, desk1, Op1, at(8, 0)).shift.id;
            const qint64 shift2 = Shifts::Begin(c, desk2, Op2, at(8, 0)).shift.id;
            bookFor(c, Op1, desk1, "AAAA0001", Op::Recharge, 100, t("09:00:00"));
            bookFor(c, Op1, desk1, "AAAA0002", Op::Clear, 30, t("09:10:00"));
            bookFor(c, Op1, desk1, "AAAA0003", Op::Recharge, 100, t("09:20:00")); // mistaken
            // The correction takes the card down to what it held and pays the rest back.
            bookFor(c, Op1, desk1, "AAAA0003", Op::Clear, 150, t("09:25:00"), "correction", 1);
            bookFor(c, Op1, desk1, "AAAA0003", Op::Recharge, 50, t("09:26:00"), "correction", 1);
            payOut(c, Op1, desk1, "correction", 1, 4, t("09:26:00"));
            // A lost card's 80.6 carried to its new card: 80 onto it, 0.6 over the counter.
            bookFor(c, Op1, desk1, "AAAA0004", Op::Recharge, 80, t("09:40:00"), "replacement", 2);
            payOut(c, Op1, desk1, "replacement", 2, 6, t("09:40:00"));
            bookFor(c, Op2, desk2, "AAAA0005", Op::Recharge, 20, t("10:00:00"));
            // A lost card that held 0.3 only: no recharge, just the payout.
            payOut(c, Op2, desk2, "replacement", 3, 3, t("10:05:00"));
            const Shifts::Shift z1 = Shifts::Close(c, {shift1, 690, 0, Op1, desk1, at(12, 0)});
            const Shifts::Shift z2 = Shifts::Close(c, {shift2, 197, 0, Op2, desk2, at(12, 0)});
            QCOMPARE(z1.expected, std::optional<qint64>(690));
            QCOMPARE(z2.expected, std::optional<qint64>(197));
            // After the day: neither the settlement's nor the query's.
            payOut(c, Op1, desk1, "correction", 9, 5, QStringLiteral("2026-12-08 00:00:00"));

            const Settlement::Result day =
                Settlement::Collect(c, QStringLiteral("2026-12-07"), QStringLiteral("2026-12-07"));
            QCOMPARE(int(day.rows.size()), 2);
            const Settlement::Row& op1 = day.rows[0];
            QCOMPARE(op1.operatorName, Op1);
            // The plain columns count plain bookings only.
            QCOMPARE(op1.rechargeCount, 2);
            QCOMPARE(op1.rechargeSum, 200);
            QCOMPARE(op1.clearCount, 1);
            QCOMPARE(op1.clearSum, -30);
            QCOMPARE(op1.correctionCount, 2);
            QCOMPARE(op1.correctionSum, -100);
            QCOMPARE(op1.replacementCount, 1);
            QCOMPARE(op1.replacementSum, 80);
            QCOMPARE(op1.net, 150);
            QCOMPARE(op1.cashIn, 2000);
            QCOMPARE(op1.cashOut, 300 + 1500 - 500 + 4 + 6);
            QCOMPARE(op1.netCash(), *z1.expected);
            const Settlement::Row& op2 = day.rows[1];
            QCOMPARE(op2.operatorName, Op2);
            QCOMPARE(op2.cashIn, 200);
            QCOMPARE(op2.cashOut, 3);
            QCOMPARE(op2.netCash(), *z2.expected);
            QCOMPARE(day.total.cashIn - day.total.cashOut, *z1.expected + *z2.expected);
            QCOMPARE(day.total.net, 170);
            QCOMPARE(Settlement::RowTexts(day.total).mid(7),
                     (QStringList{"2", "-100", "1", "80", "220.0", "131.3", "88.7"}));
            QVERIFY(Settlement::HasLinkedCash(day));
        }

        FixedClock clock(QDateTime(QDate(2026, 12, 7), QTime(13, 0)));
        CQueryDlg query(dialogs, clock);
        QCOMPARE(query.findChild<QLabel*>(QStringLiteral("totalText"))->text(),
                 QStringLiteral("170"));
        QCOMPARE(query.findChild<QLabel*>(QStringLiteral("cashText"))->text(),
                 QStringLiteral("现金收入: 220.0 元  现金支出: 131.3 元  现金净额: 88.7 元"));
        const QAbstractItemModel* list =
            query.findChild<QTableView*>(QStringLiteral("recordList"))->model();
        QStringList kinds, cash;
        for (int r = 0; r < list->rowCount(); ++r) {
            kinds << list->index(r, 6).data().toString();
            cash << list->index(r, 7).data().toString();
        }
        QCOMPARE(kinds, (QStringList{"充值", "清零", "充值", "冲正", "冲正", "补卡", "充值"}));
        QCOMPARE(cash, (QStringList{"100.0", "-30.0", "100.0", "-150.0", "50.0", "0.0", "20.0"}));

        QTemporaryDir out;
        const QString listCsv = out.filePath(QStringLiteral("list.csv"));
        dialogs.answerFile(listCsv);
        query.OnExport();
        const QList<QStringList> listed = readCsv(listCsv);
        QCOMPARE(listed.size(), 1 + 7 + 5);
        QCOMPARE(listed[8], (QStringList{"合计", "", "", "170", "", "", "", "90.0"}));
        const auto figure = [&listed](int line) {
            return listed[line].first() + '=' + listed[line].last();
        };
        QCOMPARE(
            (QStringList{figure(9), figure(10), figure(11), figure(12)}),
            (QStringList{"零头付现=-1.3", "现金收入=220.0", "现金支出=131.3", "现金净额=88.7"}));

        CSettlementDlg settlement(dialogs, clock, QDate(2026, 12, 7), QDate(2026, 12, 7));
        const QAbstractItemModel* settled =
            settlement.findChild<QTableView*>(QStringLiteral("settleList"))->model();
        QCOMPARE(settled->rowCount(), 3);
        QCOMPARE(settled->index(2, 13).data().toString(), QStringLiteral("88.7"));
        // Exported, the settlement carries the shifts after it; the tool writes the same file.
        const QString settleCsv = out.filePath(QStringLiteral("settle.csv"));
        dialogs.answerFile(settleCsv);
        settlement.OnExport();
        QCOMPARE(dialogs.lastText(), QStringLiteral("导出成功"));
        const QList<QStringList> sheet = readCsv(settleCsv);
        QCOMPARE(sheet.size(), 1 + 3 + 1 + 1 + 2);
        QCOMPARE(sheet[3].mid(11), (QStringList{"220.0", "131.3", "88.7"}));
        QCOMPARE(sheet[4], QStringList());
        QCOMPARE(sheet[5].first(2), (QStringList{"终端", "Z 号"}));
        QCOMPARE(sheet[6].mid(0, 3), (QStringList{desk1, "1", Op1}));
        QCOMPARE(sheet[6][6], QStringLiteral("69.0"));
        QCOMPARE(sheet[6][8], QStringLiteral("0.0"));
        const QString toolCsv = out.filePath(QStringLiteral("tool.csv"));
        QCOMPARE(
            velkarDb({QStringLiteral("settle"), QStringLiteral("--from"),
                      QStringLiteral("2026-12-07"), QStringLiteral("--to"),
                      QStringLiteral("2026-12-07"), QStringLiteral("--csv"), toolCsv, db.path()})
                .code,
            0);
        QFile window(settleCsv), tool(toolCsv);
        QVERIFY(window.open(QIODevice::ReadOnly) && tool.open(QIODevice::ReadOnly));
        QCOMPARE(tool.readAll(), window.readAll());
        const QString xlsx = out.filePath(QStringLiteral("settle.xlsx"));
        dialogs.answerFile(xlsx);
        settlement.OnExport();
        const QJsonArray workbook = readXlsx(xlsx);
        QCOMPARE(workbook.size(), 4);
        QCOMPARE(workbook[3].toArray()[13].toDouble(), 88.7);

        // On paper: the cash and the shifts after the totals.
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(out.filePath(QStringLiteral("settle.pdf")));
        settlement.PrintSettlement(printer);
        QProcess text;
        text.start(QStringLiteral("pdftotext"),
                   {QStringLiteral("-layout"), printer.outputFileName(), QStringLiteral("-")});
        QVERIFY(text.waitForFinished(30000));
        const QString printed = QString::fromUtf8(text.readAllStandardOutput());
        for (const char* shown : {"现金收支", "现金净额", "88.7", "班次", "desk-2", "19.7"})
            QVERIFY2(printed.contains(QString::fromUtf8(shown)), shown);
    }

    // The query window's list, exported, holds the rows and the total the window shows; card
    // numbers stay text with their leading zeros.
    void queryExportMatchesTheWindow() {
        TestDatabase db;
        db.addCardholder(QStringLiteral("1"), QStringLiteral("00012345"), QStringLiteral("张三"));
        db.addRecord(QStringLiteral("00012345"), QStringLiteral("2026-12-07 09:00:00"),
                     QStringLiteral("00100"));
        db.addRecord(QStringLiteral("00012345"), QStringLiteral("2026-12-07 10:00:00"),
                     QStringLiteral("-00030"));
        db.addRecord(QStringLiteral("0001E500"), QStringLiteral("2026-12-07 11:00:00"),
                     QStringLiteral("00005"));
        FixedClock clock(QDateTime(QDate(2026, 12, 7), QTime(12, 0)));
        CQueryDlg dlg(dialogs, clock);
        const QString shown = dlg.findChild<QLabel*>(QStringLiteral("totalText"))->text();
        QCOMPARE(shown, QStringLiteral("75"));

        QTemporaryDir out;
        const QString xlsx = out.filePath(QStringLiteral("list.xlsx"));
        dialogs.answerFile(xlsx);
        dlg.OnExport();
        QCOMPARE(dialogs.lastText(), QStringLiteral("导出成功"));
        QVERIFY(dialogs.requests().last().startsWith(QStringLiteral("save:")));
        const QJsonArray rows = readXlsx(xlsx);
        QCOMPARE(rows.size(), 5 + 4); // and the drawer's cash under the total line
        QCOMPARE(rows[1].toArray()[0].toString(), QStringLiteral("00012345"));
        QCOMPARE(rows[1].toArray()[1].toString(), QStringLiteral("张三"));
        QCOMPARE(rows[3].toArray()[0].toString(), QStringLiteral("0001E500"));
        double sum = 0;
        for (int r = 1; r < 4; ++r)
            sum += rows[r].toArray()[3].toDouble();
        QCOMPARE(rows[4].toArray()[3].toDouble(), sum);
        QCOMPARE(QString::number(rows[4].toArray()[3].toInt()), shown);

        const QString csv = out.filePath(QStringLiteral("list.csv"));
        dialogs.answerFile(csv);
        dlg.OnExport();
        QFile file(csv);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        QVERIFY(bytes.startsWith("\xEF\xBB\xBF"));
        const QString text = QString::fromUtf8(bytes);
        QVERIFY(text.contains(
            QStringLiteral("\"=\"\"00012345\"\"\",张三,2026-12-07 09:00:00,100,,,充值,100.0\r\n")));
        QVERIFY(text.contains(QStringLiteral("合计,,,75,,,,75.0\r\n")));
        QVERIFY(text.endsWith(QStringLiteral("现金净额,,,,,,,75.0\r\n")));

        // A folder that isn't there: said so, nothing left behind.
        for (const QString& name :
             {QStringLiteral("gone/list.xlsx"), QStringLiteral("gone/list.csv")}) {
            dialogs.answerFile(out.filePath(name));
            dlg.OnExport();
            QVERIFY(dialogs.lastText().startsWith(QStringLiteral("导出失败")));
        }
        QVERIFY(!QFileInfo::exists(out.filePath(QStringLiteral("gone"))));

        dialogs.clear();
        dlg.OnExport(); // cancelled: nothing written, nothing said
        QVERIFY(dialogs.texts().isEmpty());
    }

    // Names a spreadsheet would split a row at, or compute, and an amount the total leaves out:
    // the CSV reads back row for row as the window shows them, by a real CSV reader and, where
    // it is installed, by LibreOffice Calc.
    void queryCsvReadsBackAsTheWindowShows() {
        TestDatabase db;
        const QList<QStringList> holders{
            {"00012345", "Lee, Ann", "00100"},  {"0001E500", "Eve \"E\" Chen", "-00030"},
            {"ABCDEF01", "=2+3", "00005"},      {"00000004", "+86 138", "100000"},
            {"00000005", "-Ann", "00012"},      {"00000006", "@SUM(A1)", "00007"},
            {"00000007", "\tTab", "00001"},     {"00000008", "第一行\n第二行", "00002"},
            {"00000009", "\r=1+1", "00003"},    {"0000000A", " =HYPERLINK(1)", "00004"},
            {"0000000B", "'=already", "00006"}, {"0000000C", "2024", "00008"}};
        {
            TestDatabase::Batch batch(db);
            int minute = 0;
            for (const QStringList& h : holders) {
                db.addCardholder(QStringLiteral("1"), h[0], h[1]);
                db.addRecord(h[0],
                             QStringLiteral("2026-12-07 09:%1:00").arg(minute++, 2, 10, QChar('0')),
                             h[2]);
            }
        }
        FixedClock clock(QDateTime(QDate(2026, 12, 7), QTime(12, 0)));
        CQueryDlg dlg(dialogs, clock);
        const QAbstractItemModel* shown =
            dlg.findChild<QTableView*>(QStringLiteral("recordList"))->model();
        QCOMPARE(shown->rowCount(), holders.size());
        const QString total = dlg.findChild<QLabel*>(QStringLiteral("totalText"))->text();
        QCOMPARE(total, QStringLiteral("118")); // 100000 counts nothing by the total rule

        QTemporaryDir out;
        const QString csv = out.filePath(QStringLiteral("list.csv"));
        dialogs.answerFile(csv);
        dlg.OnExport();
        QCOMPARE(dialogs.lastText(), QStringLiteral("导出成功"));
        const QList<QStringList> rows = readCsv(csv);
        QCOMPARE(rows.size(), holders.size() + 2 + 4);
        QCOMPARE(rows[0],
                 (QStringList{"卡号", "姓名", "时间", "金额", "操作员", "终端", "类型", "现金"}));
        qint64 sum = 0;
        for (int r = 0; r < shown->rowCount(); ++r) {
            const QStringList& row = rows[r + 1];
            QCOMPARE(row.size(), 8);
            // Card numbers stay text; names that would start a formula carry an apostrophe.
            QCOMPARE(keptText(row[0]), shown->index(r, 0).data().toString());
            QVERIFY2(!row[0].startsWith('=') || row[0] == "=\"" + keptText(row[0]) + '"',
                     qPrintable(row[0]));
            const QString name = shown->index(r, 1).data().toString();
            QCOMPARE(Export::UnguardFormula(keptText(row[1])), name);
            QVERIFY2(!Export::StartsFormula(row[1]) || row[1] == "=\"" + name + '"',
                     qPrintable(row[1]));
            for (int c : {2, 4, 5})
                QCOMPARE(row[c], shown->index(r, c).data().toString());
            // The amount as shown, a number.
            QCOMPARE(row[3], shown->index(r, 3).data().toString());
            bool number = false;
            sum += row[3].toLongLong(&number);
            QVERIFY(number);
        }
        QCOMPARE(rows[1][1], QStringLiteral("Lee, Ann"));
        QCOMPARE(rows[2][1], QStringLiteral("Eve \"E\" Chen"));
        QCOMPARE(rows[3][1], QStringLiteral("'=2+3"));
        QCOMPARE(rows[4][1], QStringLiteral("'+86 138"));
        QCOMPARE(rows[8][1], QStringLiteral("第一行\n第二行"));
        QCOMPARE(rows[11][1], QStringLiteral("''=already"));
        QCOMPARE(rows[12][1], QStringLiteral("=\"2024\""));
        QCOMPARE(rows[4][3], QStringLiteral("100000"));
        QCOMPARE(sum, 100000 + total.toLongLong());
        QCOMPARE(rows[holders.size() + 1].first(6), (QStringList{"合计", "", "", total, "", ""}));

        const QString calc = QStandardPaths::findExecutable(QStringLiteral("soffice"));
        if (calc.isEmpty())
            QSKIP("LibreOffice is not installed: the CSV was read back by Python alone");
        // As a user opens it: Calc's own CSV import, saved as a workbook and read as one.
        QProcess office;
        office.start(calc, {QStringLiteral("--headless"), QStringLiteral("--norestore"),
                            QStringLiteral("-env:UserInstallation=file://") + out.filePath("lo"),
                            QStringLiteral("--infilter=CSV:44,34,76,1"),
                            QStringLiteral("--convert-to"), QStringLiteral("xlsx"),
                            QStringLiteral("--outdir"), out.filePath(QStringLiteral("calc")), csv});
        QVERIFY(office.waitForFinished(120000));
        const QJsonArray sheet = readXlsx(out.filePath(QStringLiteral("calc/list.xlsx")));
        QCOMPARE(sheet.size(), holders.size() + 2 + 4);
        double calcSum = 0;
        for (int r = 0; r < shown->rowCount(); ++r) {
            const QJsonArray row = sheet[r + 1].toArray();
            QVERIFY(row[0].isString());
            QVERIFY(row[0].toString().contains(shown->index(r, 0).data().toString()));
            QVERIFY2(row[1].isString(), qPrintable(shown->index(r, 1).data().toString()));
            QVERIFY(row[3].isDouble());
            calcSum += row[3].toDouble();
        }
        QCOMPARE(qint64(calcSum), sum);
        QCOMPARE(sheet[holders.size() + 1].toArray()[3].toDouble(), total.toDouble());
    }

    // The window shows the rows and the total line, and prints them in one job whose pages
    // continue the table; the chart takes room on the first page only.
    void settlementWindowPrintsOneJob() {
        TestDatabase db;
        {
            const Connection c(db.path()); // each booking still commits on its own
            for (int day = 1; day <= 40; ++day)
                book(c, day % 3 ? Op1 : Op2, QStringLiteral("00000001"),
                     Journal::Operation::Recharge, day,
                     QDateTime(QDate(2026, 11, 1).addDays(day - 1), QTime(9, 0))
                         .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
        }
        FixedClock clock(QDateTime(QDate(2026, 12, 10), QTime(12, 0)));
        CSettlementDlg dlg(dialogs, clock, QDate(2026, 11, 1), QDate(2026, 12, 10));
        const auto* model = dlg.findChild<QTableView*>(QStringLiteral("settleList"))->model();
        QCOMPARE(model->rowCount(), 41);
        QCOMPARE(model->index(40, 0).data().toString(), QStringLiteral("合计"));
        QCOMPARE(model->index(40, 6).data().toString(), QString::number(40 * 41 / 2));
        // One bar a day, also for the same day of two months.
        const auto* chart = dlg.findChild<QChartView*>()->chart();
        const auto* days = qobject_cast<QBarCategoryAxis*>(chart->axes(Qt::Horizontal).first());
        QCOMPARE(days->count(), 40);

        TableDocument document;
        document.rows = QList<QStringList>(41, QStringList{QStringLiteral("x")});
        document.aboveHeight = CSettlementDlg::ChartHeight;
        document.above = [](QPainter&, const QRectF&) {};
        const int first = ReportLayout::TableRowsOnFirstPage(document);
        QVERIFY(first < ReportLayout::RowsPerPage);
        QCOMPARE(ReportLayout::TablePageCount(document), 1 + (41 - first + 27) / 28);

        // The preview pages through the same pages as the printer gets.
        QList<int> seen; // pages shown: at opening, after back, after two forward; the count
        ModalWatcher watcher([&seen](QWidget* w) {
            if (auto* preview = qobject_cast<CSettlementPreviewDlg*>(w)) {
                seen << preview->page();
                preview->OnPrevPage();
                seen << preview->page();
                preview->OnNextPage();
                preview->OnNextPage();
                seen << preview->page() << preview->pageCount();
            }
            w->close();
        });
        dlg.OnPreview();
        QCOMPARE(seen, (QList<int>{0, 0, 1, 2}));
        QCOMPARE(watcher.titles(), QStringList{QStringLiteral("日结预览")});

        QTemporaryDir out;
        const QString xlsx = out.filePath(QStringLiteral("settle.xlsx"));
        dialogs.answerFile(xlsx);
        dlg.OnExport();
        QCOMPARE(dialogs.lastText(), QStringLiteral("导出成功"));
        const QJsonArray sheet = readXlsx(xlsx);
        QCOMPARE(sheet.size(), 42); // headings, 40 days, total
        QCOMPARE(sheet[41].toArray()[6].toInt(), 820);
        QCOMPARE(sheet[1].toArray()[1].toString(), Op1);

        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(out.filePath(QStringLiteral("settle.pdf")));
        dlg.PrintSettlement(printer);
        QProcess info;
        info.start(QStringLiteral("pdfinfo"), {printer.outputFileName()});
        QVERIFY(info.waitForFinished(30000));
        const QString text = QString::fromUtf8(info.readAllStandardOutput());
        QVERIFY2(
            text.contains(QRegularExpression(
                QStringLiteral("Pages:\\s+%1\\n").arg(ReportLayout::TablePageCount(document)))),
            qPrintable(text));
    }

    // The window reads pages, newest first, and filters by dates and account; a page ends
    // inside a second that several entries share, and the next goes on without a gap.
    void auditWindowPagesAndFilters() {
        TestDatabase db;
        {
            Connection c(db.path());
            Query(c, QStringLiteral("BEGIN")).next(); // one commit: the entries join it
            for (int i = 0; i < CAuditDlg::PageSize + 10; ++i)
                Audit::Append(c, i % 2 ? Op1 : Op2, QStringLiteral("desk-1"), Audit::Login, {},
                              QDateTime(QDate(2026, 12, 7), QTime(8, 0).addSecs(i / 4)));
            Query(c, QStringLiteral("COMMIT")).next();
        }
        CAuditDlg dlg(dialogs, nullptr, db.path(), QDate(2026, 12, 7));
        QCOMPARE(dlg.rowCount(), CAuditDlg::PageSize);
        QCOMPARE(dlg.cell(0, 0), QString::number(CAuditDlg::PageSize + 10));
        dlg.OnMore();
        QCOMPARE(dlg.rowCount(), CAuditDlg::PageSize + 10);
        for (int r = 0; r < dlg.rowCount(); ++r)
            QCOMPARE(dlg.cell(r, 0), QString::number(CAuditDlg::PageSize + 10 - r));
        dlg.findChild<QCheckBox*>(QStringLiteral("dateCheck"))->setChecked(true);
        dlg.findChild<QDateEdit*>(QStringLiteral("fromDate"))->setDate(QDate(2026, 12, 8));
        dlg.findChild<QDateEdit*>(QStringLiteral("toDate"))->setDate(QDate(2026, 12, 9));
        dlg.OnRefresh();
        QCOMPARE(dlg.rowCount(), 0);
        dlg.findChild<QDateEdit*>(QStringLiteral("fromDate"))->setDate(QDate(2026, 12, 7));
        auto* accounts = dlg.findChild<QComboBox*>(QStringLiteral("accountCombo"));
        accounts->setCurrentIndex(accounts->findText(Op1));
        dlg.OnRefresh();
        QCOMPARE(dlg.rowCount(), (CAuditDlg::PageSize + 10) / 2);
        QCOMPARE(dlg.cell(0, 2), Op1);
    }
};

QTEST_MAIN(AuditTest)
#include "tst_audit.moc"
