#include "reports/windows/QueryDlg.h"
#include "support/Controls.h"
#include "support/PdfDialogs.h"

#include "base/Clock.h"
#include "reports/windows/PreviewDlg.h"
#include "support/FakeDialogs.h"
#include "support/TestDatabase.h"

#include <QApplication>
#include <QDateEdit>
#include <QFile>
#include <QLabel>
#include <QPrinter>
#include <QProcess>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QTimer>

using namespace velkar;

namespace {

QString run(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(program, arguments);
    process.waitForFinished(30000);
    return QString::fromUtf8(process.readAllStandardOutput());
}

} // namespace

class QueryTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TestDatabase> db;
    FakeDialogs dialogs;
    FixedClock clock{QDateTime(QDate(2024, 3, 5), QTime(12, 0))};

    QAbstractItemModel* list(QWidget& dlg) {
        return control<QTableView>(&dlg, "recordList")->model();
    }
    QString total(QWidget& dlg) { return control<QLabel>(&dlg, "totalText")->text(); }
    QStringList column(QWidget& dlg, int c) {
        QStringList texts;
        for (int r = 0; r < list(dlg)->rowCount(); ++r)
            texts << list(dlg)->index(r, c).data().toString();
        return texts;
    }
    void setRange(QWidget& dlg, QDate from, QDate to) {
        control<QDateEdit>(&dlg, "dateFromEdit")->setDate(from);
        control<QDateEdit>(&dlg, "dateToEdit")->setDate(to);
    }

private slots:
    void initTestCase() {
        QFont::insertSubstitution(QStringLiteral("宋体"), QStringLiteral("AR PL UMing CN"));
    }
    void init() {
        db = std::make_unique<TestDatabase>();
        dialogs.clear();
        clock.set(QDateTime(QDate(2024, 3, 5), QTime(12, 0)));
    }
    void cleanup() { db.reset(); }

    void oneDayFromMidnightToTheLastSecond() {
        db->addCardholder(QStringLiteral("1"), QStringLiteral("A1"), QStringLiteral("O'Brien"));
        db->addRecord(QStringLiteral("A1"), QStringLiteral("2024-03-04 23:59:59"), "1");
        db->addRecord(QStringLiteral("A1"), QStringLiteral("2024-03-05 00:00:00"), "00100");
        db->addRecord(QStringLiteral("ZZ"), QStringLiteral("2024-03-05 12:30:00"), "-00020");
        db->addRecord(QStringLiteral("A1"), QStringLiteral("2024-03-05 23:59:59"), "5");
        db->addRecord(QStringLiteral("A1"), QStringLiteral("2024-03-06 00:00:00"), "7");
        CQueryDlg dlg(dialogs, clock); // opens on today's records
        QCOMPARE(dlg.windowTitle(), QStringLiteral("查询条件"));
        QCOMPARE(column(dlg, 2), (QStringList{"2024-03-05 00:00:00", "2024-03-05 12:30:00",
                                              "2024-03-05 23:59:59"}));
        QCOMPARE(column(dlg, 0), (QStringList{"A1", "ZZ", "A1"}));
        QCOMPARE(column(dlg, 1), (QStringList{"O'Brien", "", "O'Brien"}));
        QCOMPARE(column(dlg, 3), (QStringList{"100", "-20", "5"}));
        QCOMPARE(total(dlg), QStringLiteral("85"));
        QCOMPARE(dlg.startBound(), QStringLiteral("2024-03-05 00:00:00"));
        QCOMPARE(dlg.endBound(), QStringLiteral("2024-03-05 23:59:59"));

        control<QPushButton>(&dlg, "queryButton")->click(); // twice: listed once
        QCOMPARE(list(dlg)->rowCount(), 3);

        setRange(dlg, QDate(2023, 1, 1), QDate(2023, 1, 2));
        QCOMPARE(list(dlg)->rowCount(), 3); // a picker alone does not query
        control<QPushButton>(&dlg, "queryButton")->click();
        QCOMPARE(list(dlg)->rowCount(), 0);
        QCOMPARE(total(dlg), QStringLiteral("0"));
        QVERIFY(dialogs.texts().isEmpty());
    }

    void rejectedAmountsCountNothing() {
        FILE_DATABASE_ONLY();
        // A store that keeps amount texts as they come.
        db->exec(QStringLiteral("DROP TABLE employees"));
        db->exec(QStringLiteral("CREATE TABLE employees (卡号 TEXT, 日期 TEXT, 金额)"));
        for (const char* amount : {"100", "-50", "250000", "12.5"})
            db->addRecord(QStringLiteral("A1"), QStringLiteral("2024-03-05 08:00:00"),
                          QString::fromLatin1(amount));
        CQueryDlg dlg(dialogs, clock);
        QCOMPARE(list(dlg)->rowCount(), 4);
        QCOMPARE(total(dlg), QStringLiteral("50"));
    }

    void enterDoesNothingAndEscapeCloses() {
        CQueryDlg dlg(dialogs, clock);
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        auto* from = control<QDateEdit>(&dlg, "dateFromEdit");
        from->setFocus();
        QTest::keyClick(from, Qt::Key_Return);
        QTest::keyClick(control<QPushButton>(&dlg, "cancelButton"), Qt::Key_Enter);
        QVERIFY(dlg.isVisible());
        QTest::keyClick(from, Qt::Key_Escape);
        QVERIFY(!dlg.isVisible());
        QCOMPARE(dlg.result(), int(QDialog::Rejected));

        CQueryDlg again(dialogs, clock);
        again.show();
        control<QPushButton>(&again, "cancelButton")->click();
        QVERIFY(!again.isVisible());
    }

    void storeErrorsLeaveTheWindowUsable() {
        db->addRecord(QStringLiteral("A1"), QStringLiteral("2024-03-05 08:00:00"), "100");
        CQueryDlg dlg(dialogs, clock);
        QCOMPARE(list(dlg)->rowCount(), 1);
        db->exec(QStringLiteral("ALTER TABLE employees RENAME TO gone"));
        control<QPushButton>(&dlg, "queryButton")->click();
        QCOMPARE(dialogs.texts(), QStringList{"操作失败"});
        QCOMPARE(list(dlg)->rowCount(), 1);

        const QString file = db->folder() + QStringLiteral("/failed.pdf");
        PdfDialogs pdf(file);
        CQueryDlg printing(pdf, clock);
        pdf.clear();
        control<QPushButton>(&printing, "printButton")->click();
        QCOMPARE(pdf.texts(), QStringList{"操作失败"});
        QVERIFY(!QFile::exists(file));

        db->exec(QStringLiteral("ALTER TABLE gone RENAME TO employees"));
        control<QPushButton>(&dlg, "queryButton")->click();
        QCOMPARE(list(dlg)->rowCount(), 1);
    }

    void previewGetsThePickersRange() {
        CQueryDlg dlg(dialogs, clock);
        setRange(dlg, QDate(2024, 2, 1), QDate(2024, 2, 29));
        QString opened;
        QStringList range;
        QTimer::singleShot(0, [&] {
            if (auto* preview = qobject_cast<CPreviewDlg*>(QApplication::activeModalWidget())) {
                opened = preview->windowTitle();
                range = {preview->rangeStart(), preview->rangeEnd()};
                preview->reject();
            }
        });
        control<QPushButton>(&dlg, "previewButton")->click();
        QCOMPARE(opened, QStringLiteral("打印预览"));
        QCOMPARE(range, (QStringList{"2024-02-01 00:00:00", "2024-02-29 23:59:59"}));
    }

    void cancelledPrintDialogPrintsNothing() {
        CQueryDlg dlg(dialogs, clock);
        dialogs.answerPrinter(false);
        control<QPushButton>(&dlg, "printButton")->click();
        QCOMPARE(dialogs.requests(), QStringList{"printer"});
        QVERIFY(dialogs.texts().isEmpty());
    }

    void printsOneJobToAPdfFile() {
        db->addCardholder(QStringLiteral("1"), QStringLiteral("A1"), QStringLiteral("张三"));
        {
            const TestDatabase::Batch batch(*db);
            for (int i = 0; i < 29; ++i)
                db->addRecord(i == 28 ? QStringLiteral("LAST") : QStringLiteral("A1"),
                              QStringLiteral("2024-03-05 10:%1:00").arg(i, 2, 10, QChar('0')),
                              "00010");
        }
        const QString file = db->folder() + QStringLiteral("/report.pdf");
        PdfDialogs pdf(file);
        CQueryDlg dlg(pdf, clock);
        clock.set(QDateTime(QDate(2024, 3, 6), QTime(9, 8, 7)));
        control<QPushButton>(&dlg, "printButton")->click();
        QVERIFY(pdf.texts().isEmpty());
        QCOMPARE(pdf.docName, QStringLiteral("Evenness Tester Doc"));
        QVERIFY(QFile::exists(file));

        const QString info = run(QStringLiteral("pdfinfo"), {file});
        QVERIFY2(info.contains(QRegularExpression(QStringLiteral("Pages:\\s+2\\n"))),
                 qPrintable(info));
        QVERIFY2(info.contains(QStringLiteral("Evenness Tester Doc")), qPrintable(info));

        const QString first =
            run(QStringLiteral("pdftotext"), {"-f", "1", "-l", "1", "-layout", file, "-"});
        QVERIFY2(first.contains(QStringLiteral("充值记录")), qPrintable(first));
        QVERIFY(first.contains(QStringLiteral("金额(元)")));
        QVERIFY(first.contains(QStringLiteral("张三")));
        QVERIFY(first.contains(QStringLiteral("2024-03-05 10:27:00")));
        QVERIFY(!first.contains(QStringLiteral("LAST")));
        QVERIFY(!first.contains(QStringLiteral("总计")));
        const QString second =
            run(QStringLiteral("pdftotext"), {"-f", "2", "-l", "2", "-layout", file, "-"});
        QVERIFY2(second.contains(QStringLiteral("LAST")), qPrintable(second));
        QVERIFY(!second.contains(QStringLiteral("充值记录")));
        QVERIFY(second.contains(QStringLiteral("总计:")));
        QVERIFY(second.contains(QStringLiteral("290元")));
        QVERIFY(second.contains(QStringLiteral("2024-03-06 09:08:07")));
        QVERIFY(second.contains(QRegularExpression(QStringLiteral("第\\s*2\\s*页\\s*共\\s*2"))));
    }

    void longPrintShowsProgressAndCanBeCancelled() {
        {
            const TestDatabase::Batch batch(*db);
            for (int i = 0; i < 57; ++i) // three pages
                db->addRecord(QStringLiteral("A1"), QStringLiteral("2024-03-05 10:00:00"), "1");
        }
        const QString file = db->folder() + QStringLiteral("/progress.pdf");
        PdfDialogs pdf(file);
        CQueryDlg dlg(pdf, clock);
        control<QPushButton>(&dlg, "printButton")->click();
        QCOMPARE(pdf.progressTotals, QList<int>{3});
        QCOMPARE(pdf.progressSteps, (QList<int>{1, 2, 3}));
        QVERIFY(pdf.texts().isEmpty());
        QVERIFY(run(QStringLiteral("pdfinfo"), {file})
                    .contains(QRegularExpression(QStringLiteral("Pages:\\s+3\\n"))));

        pdf.progressSteps.clear();
        pdf.cancelProgressAt = 2;
        QFile::remove(file);
        control<QPushButton>(&dlg, "printButton")->click();
        QCOMPARE(pdf.progressSteps, (QList<int>{1, 2}));
        QVERIFY(pdf.texts().isEmpty()); // cancelling is no failure
    }

    void lastRowOfALongListReads() {
        db->addCardholder(QStringLiteral("1"), QStringLiteral("LAST"), QStringLiteral("李四"));
        db->exec(QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n "
                                "WHERE i < 4998) INSERT INTO employees SELECT 'A' || i, "
                                "'2024-03-05 10:00:00', i FROM n"));
        db->addRecord(QStringLiteral("LAST"), QStringLiteral("2024-03-05 23:59:59"), "00042");
        CQueryDlg dlg(dialogs, clock);
        dlg.show();
        auto* view = control<QTableView>(&dlg, "recordList");
        view->scrollToBottom();
        dlg.grab();
        const int last = list(dlg)->rowCount() - 1;
        QCOMPARE(last, 4999);
        QCOMPARE(view->rowAt(view->viewport()->height() - 2), last);
        QCOMPARE(column(dlg, 0).last(), QStringLiteral("LAST"));
        QCOMPARE(list(dlg)->index(last, 1).data().toString(), QStringLiteral("李四"));
        QCOMPARE(list(dlg)->index(last, 3).data().toString(), QStringLiteral("42"));
        QCOMPARE(total(dlg), QString::number(4998 * 4999 / 2 + 42));
        QVERIFY(dialogs.texts().isEmpty());
    }
};

QTEST_MAIN(QueryTest)
#include "tst_query.moc"
