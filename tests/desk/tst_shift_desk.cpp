// A shift at the desk: slips after bookings, 交班 with the cash counted and its Z report, and the
// backups that make themselves.
#include "support/DeskRig.h"
#include "support/ModalWatcher.h"
#include "support/PdfDialogs.h"

#include "base/Settings.h"
#include "data/AdoConn.h"
#include "data/Audit.h"
#include "data/AutoBackup.h"
#include "data/Shift.h"
#include "desk/Receipt.h"
#include "desk/windows/BackupPromptDlg.h"
#include "desk/windows/PictureButton.h"
#include "desk/windows/ReceiptPrinter.h"
#include "desk/windows/ShiftCloseDlg.h"
#include "reports/windows/SettlementDlg.h"
#include "reports/windows/ShiftList.h"
#include "reports/windows/ZReportPrint.h"
#include "users/Accounts.h"

#include <QLabel>
#include <QPrinter>
#include <QProcess>
#include <QSettings>
#include <QStatusBar>
#include <QTableView>

using namespace velkar;

namespace {

const CardNumber Card{0x12, 0x34, 0xAB, 0xCD};
const QString Op1 = QStringLiteral("操作员1");
const QString Op2 = QStringLiteral("操作员2");

QString run(const QString& program, const QStringList& args) {
    QProcess p;
    p.start(program, args);
    p.waitForFinished(30000);
    return QString::fromUtf8(p.readAllStandardOutput());
}

// The words of a PDF, as pdftotext reads them, blanks taken out.
QString pdfText(const QString& file) {
    return run(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), file, QStringLiteral("-")})
        .remove(QRegularExpression(QStringLiteral("\\s")));
}

// The first page's size in points, as pdfinfo tells it.
QSizeF pdfPageSize(const QString& file) {
    const QRegularExpressionMatch m =
        QRegularExpression(QStringLiteral("Page size:\\s+([0-9.]+) x ([0-9.]+) pts"))
            .match(run(QStringLiteral("pdfinfo"), {file}));
    return m.hasMatch() ? QSizeF(m.captured(1).toDouble(), m.captured(2).toDouble()) : QSizeF();
}

// A settings file of the test's own.
struct TestSettings {
    explicit TestSettings(const QMap<QString, QString>& values) {
        QSettings file(path(), QSettings::IniFormat);
        for (auto it = values.begin(); it != values.end(); ++it)
            file.setValue(it.key(), it.value());
        file.sync();
        settings = std::make_unique<Settings>(path());
    }
    QString path() const { return dir.filePath(QStringLiteral("Velkar.conf")); }
    QTemporaryDir dir;
    std::unique_ptr<Settings> settings;
};

QString auditDetails(const QString& path, const QString& action) {
    const Connection db(path);
    QStringList details;
    for (const Audit::Entry& e : Audit::Page(db, {{}, {}, {}, action}, nullptr, 0))
        details.prepend(e.details);
    return details.join(QLatin1Char('|'));
}

Receipt::Slip someSlip() {
    Receipt::Slip slip;
    slip.journalId = 4711;
    slip.desk = QStringLiteral("counter-7");
    slip.operatorName = Op1;
    slip.time = QStringLiteral("2024-05-06 07:08:09");
    slip.cardNo = QStringLiteral("1234ABCD");
    slip.holder = QStringLiteral("张三");
    slip.kind = QStringLiteral("充值");
    slip.amount = 100;
    slip.balanceBefore = 125;
    slip.balanceAfter = 1125;
    return slip;
}

// Types the count into the 交班 window, closes the shift, then leaves the window; the seal line
// it showed goes to `done`.
std::function<void(QWidget*)> handOver(const QString& counted, QString* done) {
    return [counted, done](QWidget* w) {
        if (w->windowTitle() != QStringLiteral("交班")) {
            w->close();
            return;
        }
        w->findChild<QLineEdit*>(QStringLiteral("countedEdit"))->setText(counted);
        w->findChild<QPushButton*>(QStringLiteral("closeShiftButton"))->click();
        *done = w->findChild<QLabel*>(QStringLiteral("doneLabel"))->text();
        w->findChild<QPushButton*>(QStringLiteral("cancelButton"))->click();
    };
}

} // namespace

class TestShiftDesk : public QObject {
    Q_OBJECT

private slots:
    // The slip of a 58 mm roll as a PDF: the page is the roll's width and as long as the slip,
    // and says everything a customer takes away.
    void aSlipIsAPageOfTheRollsWidth() {
        QTemporaryDir dir;
        const QString pdf = dir.filePath(QStringLiteral("slip.pdf"));
        QCOMPARE(PrintSlip(someSlip(), 58, pdf), QString());
        const QSizeF size = pdfPageSize(pdf);
        QVERIFY2(qAbs(size.width() - 58 / 25.4 * 72) < 1,
                 qPrintable(QString::number(size.width())));
        QVERIFY(qAbs(size.height() - Receipt::HeightMm(someSlip(), 58) / 25.4 * 72) < 1);
        const QString text = pdfText(pdf);
        for (const char* expected :
             {"储值卡交易凭条", "终端：counter-7", "操作员：操作员1", "时间：2024-05-0607:08:09",
              "卡号：1234ABCD", "持卡人：张三", "类别：充值", "金额：100.0元", "原余额：12.5元",
              "现余额：112.5元", "流水号：4711"})
            QVERIFY2(text.contains(QString::fromUtf8(expected)),
                     qPrintable(QString::fromUtf8(expected) + " not in " + text));
        // Kept for a look: pdftoppm -r 203 -png slip.pdf
        if (!qEnvironmentVariableIsEmpty("VELKAR_KEEP_SLIP"))
            QFile::copy(pdf, qEnvironmentVariable("VELKAR_KEEP_SLIP"));
        // The 80 mm roll takes its own width.
        Receipt::Slip reprint = someSlip();
        reprint.reprint = true;
        QCOMPARE(PrintSlip(reprint, 80, pdf), QString());
        QVERIFY(qAbs(pdfPageSize(pdf).width() - 80 / 25.4 * 72) < 1);
        QVERIFY(pdfText(pdf).contains(QStringLiteral("储值卡交易凭条（补打）")));
    }

    void aPrinterThatIsNotThereIsSaid() {
        QCOMPARE(PrintSlip(someSlip(), 58, QStringLiteral("no-such-queue")),
                 QStringLiteral("找不到打印机 no-such-queue"));
        QCOMPARE(PrintSlip(someSlip(), 58, QStringLiteral("/no/such/folder/slip.pdf")),
                 QStringLiteral("无法写入 /no/such/folder/slip.pdf"));
    }

    // After the booking's commit, off the window thread and the store's: the slip prints what
    // the ledger booked, and a reprint says so on paper and in the trail.
    void aBookingPrintsItsSlipAndReprintsAreAudited() {
        DeskRig rig;
        rig.db.addCardholder("S1", "1234ABCD", "张三", "110101", "13900000001", "北京");
        const QString pdf = rig.db.folder() + QStringLiteral("/slip.pdf");
        TestSettings s({{"Receipt", "58mm"}, {"ReceiptPrinter", pdf}});
        rig.open(Op1);
        rig.desk->beginShift(*s.settings);
        QVERIFY(control<QPushButton>(rig.desk.get(), "reprintButton")->isEnabled());
        rig.connectReader();
        rig.lay(Card, 125);
        rig.book("rechargeButton", "100", "充值成功", 1);
        rig.desk->shifts().receipts()->waitUntilIdle();
        QTRY_VERIFY(QFile::exists(pdf));
        QString text = pdfText(pdf);
        QVERIFY2(text.contains(QStringLiteral("持卡人：张三")), qPrintable(text));
        QVERIFY(text.contains(QStringLiteral("原余额：12.5元")));
        QVERIFY(text.contains(QStringLiteral("现余额：112.5元")));
        const qint64 journal = rig.db.scalar("SELECT max(id) FROM journal").toLongLong();
        QVERIFY(text.contains(QStringLiteral("流水号：%1").arg(journal)));
        QVERIFY(!text.contains(QStringLiteral("补打")));

        QFile::remove(pdf);
        rig.click("reprintButton");
        rig.desk->shifts().receipts()->waitUntilIdle();
        QTRY_VERIFY(QFile::exists(pdf));
        QVERIFY(pdfText(pdf).contains(QStringLiteral("储值卡交易凭条（补打）")));
        QCOMPARE(auditDetails(rig.db.path(), Audit::Reprinted),
                 QStringLiteral("凭条 流水号 %1 卡号 1234ABCD").arg(journal));
    }

    // A slip that can't be printed is said in the status bar; the booking is not held up.
    void aFailedSlipShowsInTheStatusBar() {
        DeskRig rig;
        TestSettings s({{"Receipt", "80mm"}, {"ReceiptPrinter", "no-such-queue"}});
        rig.open(Op1);
        rig.desk->beginShift(*s.settings);
        rig.connectReader();
        rig.lay(Card, 0);
        rig.book("rechargeButton", "30", "充值成功", 1);
        auto* state = rig.desk->findChild<QLabel*>(QStringLiteral("receiptState"));
        QVERIFY(state);
        QTRY_COMPARE(state->text(), QStringLiteral("凭条未打印：找不到打印机 no-such-queue"));
        QCOMPARE(rig.edit("statusEdit")->text(), QStringLiteral("充值成功"));
    }

    // What the desk does when told of a booking costs its window thread no statement.
    void theSlipIsReadOffTheWindowThread() {
        DeskRig rig;
        const QString pdf = rig.db.folder() + QStringLiteral("/slip.pdf");
        TestSettings s({{"Receipt", "58mm"}, {"ReceiptPrinter", pdf}});
        rig.open(Op1);
        rig.desk->beginShift(*s.settings);
        CommandOutcome outcome;
        outcome.entry.id = 99; // not in the ledger: the desk's own view is printed
        outcome.entry.cardNo = QStringLiteral("0000000A");
        outcome.entry.amount = 20;
        outcome.seen = 200;
        const std::uint64_t before = StatementsOnThisThread();
        rig.desk->shifts().booked(outcome);
        QCOMPARE(StatementsOnThisThread(), before);
        rig.desk->shifts().receipts()->waitUntilIdle();
        QTRY_VERIFY(QFile::exists(pdf));
        QVERIFY(pdfText(pdf).contains(QStringLiteral("流水号：99")));
        // Receipts off: no printer, and 补打 says why.
        DeskRig off;
        TestSettings none({});
        off.open(Op1);
        off.desk->beginShift(*none.settings);
        QVERIFY(!off.desk->shifts().receipts());
        QVERIFY(!control<QPushButton>(off.desk.get(), "reprintButton")->isEnabled());
        off.desk->OnReprint();
        QCOMPARE(off.dialogs.lastText(),
                 QStringLiteral("本终端不打印凭条（设置 Receipt=58mm 或 80mm 后可用）。"));
    }

    // The walk of a shift: bookings, 交班 with the count, the Z number, the backup made, the
    // next shift begun; then 交班 in the exit prompt.
    void aShiftClosesWithItsCountAndBacksUp() {
        DeskRig rig;
        const QString folder = rig.db.folder() + QStringLiteral("/auto");
        TestSettings s({{"AutoBackupFolder", folder}, {"AutoBackupKeep", "2"}});
        rig.open(Op1);
        rig.desk->beginShift(*s.settings);
        const qint64 first = *rig.desk->shifts().shiftId();
        auto* button = control<CPictureButton>(rig.desk.get(), "shiftButton");
        QVERIFY(button);
        QCOMPARE(button->picture().toImage().size(), QSize(70, 85));
        rig.connectReader();
        rig.lay(Card, 0);
        rig.book("rechargeButton", "100", "充值成功", 1);
        rig.book("rechargeButton", "50", "充值成功", 2);
        rig.book("clearButton", "0", "清零成功", 3);
        rig.book("rechargeButton", "20", "充值成功", 4);

        QString done;
        {
            ModalWatcher watcher(handOver(QStringLiteral("19.5"), &done));
            rig.click("shiftButton");
            QCOMPARE(watcher.titles().first(), QStringLiteral("交班"));
        }
        const Connection db(rig.db.path());
        const Shifts::Shift closed = *Shifts::Find(db, first);
        QCOMPARE(closed.z, std::optional<qint64>(1));
        QCOMPARE(closed.expected, std::optional<qint64>(200));
        QCOMPARE(closed.counted, std::optional<qint64>(195));
        QCOMPARE(done, QStringLiteral("已交班：Z 号 1，封签 %1").arg(closed.seal));
        QCOMPARE(s.settings->highestZNumber(), qint64(1));
        QCOMPARE(AutoBackup::Backups(folder).size(), 1);
        // The backup holds the 交班, seal and all.
        {
            const Connection copy(QDir(folder).filePath(AutoBackup::Backups(folder).front()));
            QCOMPARE(Shifts::FindSeal(copy, closed.seal).auditId, closed.auditId);
        }
        QCOMPARE(auditDetails(rig.db.path(), Audit::CashCounted),
                 QStringLiteral("班次 #%1：备用金 0.0 元，收支 20.0 元，应有现金 20.0 元，实点现金 "
                                "19.5 元，差额 -0.5 元")
                     .arg(first));
        // The next shift began at once.
        const qint64 next = *rig.desk->shifts().shiftId();
        QVERIFY(next != first);

        // The exit prompt offers 交班; the shift closes and the desk ends, backed up again.
        rig.book("rechargeButton", "5", "充值成功", 5);
        done.clear();
        {
            ModalWatcher watcher([&](QWidget* w) {
                // Pressed once the watcher is back: the 交班 window it opens is answered next.
                if (w->windowTitle() == QStringLiteral("信息提示"))
                    QTimer::singleShot(0, w, [w] { ModalWatcher::click(w, "handOverButton"); });
                else
                    handOver(QStringLiteral("5"), &done)(w);
            });
            rig.click("exitButton");
            QCOMPARE(watcher.titles().mid(0, 2),
                     (QStringList{QStringLiteral("信息提示"), QStringLiteral("交班")}));
        }
        QVERIFY(!rig.desk->isVisible());
        QCOMPARE(Shifts::Find(db, next)->z, std::optional<qint64>(2));
        QVERIFY(!Shifts::OpenShiftOf(db, Audit::ThisDesk()));
        // Three backups made (two at 交班, one at exit), two kept.
        QCOMPARE(AutoBackup::Backups(folder).size(), 2);
    }

    void handOverWaitsForCommandsAndNeedsACount() {
        DeskRig rig;
        TestSettings s({});
        rig.open(Op1);
        rig.desk->beginShift(*s.settings);
        rig.connectReader();
        rig.lay(Card, 0);
        rig.reader.removeCard(); // the command goes out, the card is gone: it waits
        rig.press("rechargeButton", "10");
        QTRY_COMPARE(rig.desk->link().outstandingCommands(), 1);
        ModalWatcher none([](QWidget* w) { w->close(); });
        rig.click("shiftButton");
        QCOMPARE(rig.dialogs.lastText(),
                 QStringLiteral("还有 1 笔操作等待读卡器确认，确认后再交班。"));
        QVERIFY(none.titles().isEmpty());

        // A count that is no amount of money is refused; the window stays.
        CShiftCloseDlg window(
            rig.dialogs, rig.clock, Shifts::Shift{},
            [](std::optional<qint64>, qint64) { return std::optional<Shifts::Shift>(); });
        window.findChild<QLineEdit*>(QStringLiteral("countedEdit"))
            ->setText(QStringLiteral("12.34"));
        QVERIFY(window.findChild<QLineEdit*>(QStringLiteral("differenceEdit"))->text().isEmpty());
        window.findChild<QPushButton*>(QStringLiteral("closeShiftButton"))->click();
        QCOMPARE(rig.dialogs.lastText(), QStringLiteral("请输入清点的现金（元，最多一位小数）"));
        QVERIFY(!window.closed());
        window.findChild<QLineEdit*>(QStringLiteral("countedEdit"))
            ->setText(QStringLiteral("12.5"));
        QCOMPARE(window.findChild<QLineEdit*>(QStringLiteral("differenceEdit"))->text(),
                 QStringLiteral("12.5"));
        // With a float of 10 the drawer should hold 10: 2.5 over.
        window.findChild<QLineEdit*>(QStringLiteral("floatEdit"))->setText(QStringLiteral("10"));
        QCOMPARE(window.findChild<QLineEdit*>(QStringLiteral("expectedEdit"))->text(),
                 QStringLiteral("10.0"));
        QCOMPARE(window.findChild<QLineEdit*>(QStringLiteral("differenceEdit"))->text(),
                 QStringLiteral("2.5"));
        window.findChild<QLineEdit*>(QStringLiteral("floatEdit"))->setText(QStringLiteral("-1"));
        window.findChild<QPushButton*>(QStringLiteral("closeShiftButton"))->click();
        QCOMPARE(rig.dialogs.lastText(), QStringLiteral("请输入备用金（元，最多一位小数）"));
    }

    // At login: another operator's shift with bookings is counted first (or closed uncounted),
    // and a backup older than a day is warned of.
    void loginClosesAShiftLeftOpenAndWarnsOfOldBackups() {
        DeskRig rig;
        rig.db.addRecord("0000000A", "2024-05-01 07:00:00", "10");
        const QString folder = rig.db.folder() + QStringLiteral("/auto");
        QDir().mkpath(folder);
        QFile(QDir(folder).filePath(QStringLiteral("DataBase-2024-05-05_070000.mdb")))
            .open(QIODevice::WriteOnly);
        TestSettings s({{"AutoBackupFolder", folder}});
        {
            const Connection db(rig.db.path());
            Shifts::Begin(db, Audit::ThisDesk(), Op2, QDateTime(QDate(2024, 5, 6), QTime(6, 0)));
        }
        rig.open(Op1);
        rig.connectReader();
        // Op2's shift has a booking of this desk now.
        rig.lay(Card, 0);
        rig.book("rechargeButton", "10", "充值成功", 1);
        rig.dialogs.clear();
        {
            ModalWatcher watcher([](QWidget* w) { w->close(); }); // not counted
            rig.desk->beginShift(*s.settings);
            QCOMPARE(watcher.titles(), QStringList{QStringLiteral("交班")});
        }
        // Closing it made a backup, so none is overdue.
        QCOMPARE(
            rig.dialogs.texts(),
            QStringList{
                "操作员2 自 2024-05-06 06:00:00 开始的班次尚未交班。请清点钱箱，先为这一班交班。"});
        const Connection db(rig.db.path());
        const std::vector<Shifts::Shift> shifts =
            Shifts::List(db, QStringLiteral("2024-05-06"), QStringLiteral("2024-05-06"));
        QCOMPARE(int(shifts.size()), 2);
        QCOMPARE(shifts[0].operatorName, Op2);
        QCOMPARE(shifts[0].closedBy, Op1);
        QCOMPARE(shifts[0].counted, std::nullopt);
        QCOMPARE(shifts[0].expected, std::optional<qint64>(100));
        QVERIFY(shifts[1].isOpen());
        QCOMPARE(shifts[1].operatorName, Op1);
        QCOMPARE(AutoBackup::Backups(folder).size(), 2);
    }

    void loginWarnsOfBackupsOlderThanADay() {
        const auto warnings = [](const QMap<QString, QString>& values, bool records,
                                 const QStringList& backups) {
            DeskRig rig;
            if (records)
                rig.db.addRecord("0000000A", "2024-05-01 07:00:00", "10");
            QMap<QString, QString> with = values;
            for (auto it = with.begin(); it != with.end(); ++it)
                it.value().replace(QStringLiteral("%F"), rig.db.folder());
            for (const QString& name : backups) {
                QDir().mkpath(QFileInfo(rig.db.folder() + '/' + name).absolutePath());
                QFile(rig.db.folder() + '/' + name).open(QIODevice::WriteOnly);
            }
            TestSettings s(with);
            rig.open(Op1);
            rig.desk->beginShift(*s.settings);
            return rig.dialogs.texts();
        };
        const QMap<QString, QString> automatic{{"AutoBackupFolder", "%F/auto"}};
        QCOMPARE(
            warnings(automatic, true, {"auto/DataBase-2024-05-05_070000.mdb"}),
            QStringList{"最近一次数据库备份在 2024-05-05 07:00:00，已超过一天。请备份数据库。"});
        QCOMPARE(warnings(automatic, true, {"auto/DataBase-2024-05-05_070810.mdb"}), QStringList{});
        QCOMPARE(warnings({}, true, {}), QStringList{"数据库还没有备份过。请备份数据库。"});
        // Nothing booked yet: nothing to lose.
        QCOMPARE(warnings({}, false, {}), QStringList{});
    }

    // The Z report on paper: its figures, the seal and a line to sign; the settlement window
    // lists the shift and prints it again as a copy, audited.
    void theZReportIsPrintedAndPrintedAgain() {
        DeskRig rig;
        TestSettings s({});
        rig.open(Op1);
        rig.desk->beginShift(*s.settings);
        rig.connectReader();
        rig.lay(Card, 0);
        rig.book("rechargeButton", "120", "充值成功", 1);
        QString done;
        {
            ModalWatcher watcher(handOver(QStringLiteral("120"), &done));
            rig.click("shiftButton");
        }
        const Shifts::Shift closed =
            Shifts::List(Connection(rig.db.path()), "2024-05-06", "2024-05-06").front();
        QCOMPARE(closed.z, std::optional<qint64>(1));
        QTemporaryDir dir;
        const QString pdf = dir.filePath(QStringLiteral("z.pdf"));
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(pdf);
        QVERIFY(PaintZReport(printer, closed, QStringLiteral("2024-05-06 16:00:00"), false));
        const QString text = pdfText(pdf);
        for (const QString& expected :
             {QStringLiteral("交班报表（Z报表）"), QStringLiteral("Z号：1"),
              QStringLiteral("操作员：操作员1"), QStringLiteral("充值1120120.0"),
              QStringLiteral("备用金：0.0元"), QStringLiteral("本班现金收支：120.0元"),
              QStringLiteral("应有现金：120.0元"), QStringLiteral("实点现金：120.0元"),
              QStringLiteral("差额：0.0元"), QStringLiteral("封签：") + closed.seal,
              QStringLiteral("交班人签字：")})
            QVERIFY2(text.contains(expected), qPrintable(expected + " not in " + text));
        if (!qEnvironmentVariableIsEmpty("VELKAR_KEEP_Z"))
            QFile::copy(pdf, qEnvironmentVariable("VELKAR_KEEP_Z"));

        const QString copy = dir.filePath(QStringLiteral("copy.pdf"));
        PdfDialogs pdfDialogs(copy);
        CSettlementDlg settlement(pdfDialogs, rig.clock, QDate(2024, 5, 6), QDate(2024, 5, 6));
        ShiftList* list = settlement.shifts();
        QCOMPARE(int(list->shifts().size()), 2); // the closed one and the next, open
        list->list()->selectRow(1);
        list->OnPrintZ();
        QCOMPARE(pdfDialogs.lastText(), QStringLiteral("这个班次还没有交班，没有 Z 报表。"));
        QVERIFY(!QFile::exists(copy));
        list->list()->selectRow(0);
        list->OnPrintZ();
        QVERIFY(pdfText(copy).contains(QStringLiteral("交班报表（Z报表，补打）")));
        QCOMPARE(
            auditDetails(rig.db.path(), Audit::Reprinted),
            QStringLiteral("Z 报表 Z 1 终端 %1 班次 #%2").arg(Audit::ThisDesk()).arg(closed.id));
    }
};

QTEST_MAIN(TestShiftDesk)
#include "tst_shift_desk.moc"
