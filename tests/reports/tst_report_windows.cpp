#include "support/Controls.h"
#include "support/FakeDialogs.h"
#include "support/TestDatabase.h"

#include "base/Clock.h"
#include "data/Settlement.h"
#include "reports/AxisTicks.h"
#include "reports/windows/PreviewDlg.h"
#include "reports/windows/QueryDlg.h"
#include "reports/windows/SettlementChart.h"
#include "reports/windows/SettlementDlg.h"
#include "reports/windows/SettlementPreviewDlg.h"

#include <QChart>
#include <QDateEdit>
#include <QHeaderView>
#include <QPushButton>
#include <QScrollBar>
#include <QTableView>
#include <QTest>
#include <QValueAxis>

using namespace velkar;

namespace {

const QString Day = QStringLiteral("2024-03-05");

// A record as a desk books it: the record, and the journal entry naming who and where.
void book(const TestDatabase& db, const QString& cardNo, const QString& time, int amount,
          const QString& operatorName, const QString& desk) {
    db.addRecord(cardNo, time, QString::number(amount));
    const QString record = db.scalar(QStringLiteral("SELECT max(rowid) FROM employees"));
    db.exec(QStringLiteral("INSERT INTO journal (card_no, operation, amount, balance_before, "
                           "balance_expected, operator, desk, sent_at, state, record_id) VALUES "
                           "('%1', 'recharge', %2, 0, %3, '%4', '%5', '%6', 'booked', %7)")
                .arg(cardNo)
                .arg(amount)
                .arg(amount * 10)
                .arg(operatorName, desk, time, record));
}

// The labels of a value axis, as the chart draws them.
QStringList labels(const QValueAxis& axis) {
    QStringList texts;
    const double step = (axis.max() - axis.min()) / (axis.tickCount() - 1);
    for (int i = 0; i < axis.tickCount(); ++i)
        texts << QString::asprintf(qPrintable(axis.labelFormat()), axis.min() + i * step);
    return texts;
}

} // namespace

class TestReportWindows : public QObject {
    Q_OBJECT

    FakeDialogs dialogs;
    FixedClock clock{QDateTime(QDate(2024, 3, 5), QTime(12, 0))};

private slots:
    // On a shared ledger each listed record says who booked it and at which desk; the printed
    // report keeps its four columns.
    void queryListsWhoBookedEachRecord() {
        TestDatabase db;
        book(db, "1234ABCD", Day + " 09:00:00", 100, QStringLiteral("操作员1"), "desk-east");
        book(db, "1234ABCD", Day + " 10:00:00", 50, QStringLiteral("操作员4"), "desk-west");
        db.addRecord("0000000A", Day + " 11:00:00", "7"); // from before the journal
        CQueryDlg dlg(dialogs, clock);
        QAbstractItemModel* list = control<QTableView>(&dlg, "recordList")->model();
        QCOMPARE(list->columnCount(), 8);
        QStringList headings;
        for (int c = 0; c < 8; ++c)
            headings << list->headerData(c, Qt::Horizontal).toString();
        QCOMPARE(headings,
                 (QStringList{"卡号", "姓名", "时间", "金额", "操作员", "终端", "类型", "现金"}));
        QCOMPARE(list->rowCount(), 3);
        const auto row = [list](int r) {
            QStringList cells;
            for (int c = 0; c < 6; ++c)
                cells << list->index(r, c).data().toString();
            return cells;
        };
        QCOMPARE(row(0), (QStringList{"1234ABCD", "", Day + " 09:00:00", "100",
                                      QStringLiteral("操作员1"), "desk-east"}));
        QCOMPARE(row(1).mid(4), (QStringList{QStringLiteral("操作员4"), "desk-west"}));
        QCOMPARE(row(2).mid(3), (QStringList{"7", "", ""}));
        QVERIFY(dialogs.texts().isEmpty());
    }

    // Every column in view as the window opens; a wider window widens the list and its columns.
    // Dates read as everywhere else: 2024-03-05.
    void queryListWidensWithItsWindow() {
        TestDatabase db;
        CQueryDlg dlg(dialogs, clock);
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        auto* view = control<QTableView>(&dlg, "recordList");
        QCOMPARE(control<QDateEdit>(&dlg, "dateFromEdit")->text(), Day);
        QCOMPARE(control<QDateEdit>(&dlg, "dateToEdit")->text(), Day);
        QVERIFY(!view->horizontalScrollBar()->isVisible());
        const int amountWidth = view->columnWidth(3);
        const int listWidth = view->width();
        dlg.resize(dlg.width() + 300, dlg.height());
        QTRY_VERIFY(view->width() >= listWidth + 300);
        QVERIFY(view->columnWidth(3) > amountWidth);
        QVERIFY(!view->horizontalScrollBar()->isVisible());
    }

    void axisTicksAreWholeAndDistinct_data() {
        QTest::addColumn<qint64>("low");
        QTest::addColumn<qint64>("high");
        QTest::addColumn<qint64>("min");
        QTest::addColumn<qint64>("max");
        QTest::addColumn<qint64>("step");
        QTest::newRow("a net of 0") << 0LL << 0LL << 0LL << 1LL << 1LL;
        QTest::newRow("3 yuan") << 0LL << 3LL << 0LL << 3LL << 1LL;
        QTest::newRow("450") << 0LL << 450LL << 0LL << 500LL << 100LL;
        QTest::newRow("a clear") << -30LL << 820LL << -200LL << 1000LL << 200LL;
        QTest::newRow("all cleared") << -6553LL << 0LL << -7000LL << 0LL << 1000LL;
        QTest::newRow("large") << 0LL << 99999999LL << 0LL << 100000000LL << 20000000LL;
    }
    void axisTicksAreWholeAndDistinct() {
        QFETCH(qint64, low);
        QFETCH(qint64, high);
        const WholeTicks ticks = WholeTicksFor(low, high);
        QTEST(ticks.min, "min");
        QTEST(ticks.max, "max");
        QTEST(ticks.step, "step");
        QCOMPARE(ticks.count, int((ticks.max - ticks.min) / ticks.step) + 1);
        QVERIFY(ticks.count >= 2 && ticks.count <= 8);
    }

    // The settlement's chart of a day whose net is 0 reads 0 and 1, not 0, 0, 0, 1, 1, 1.
    void chartOfANetOfZero() {
        Settlement::Result result;
        Settlement::Row row;
        row.day = Day;
        row.operatorName = QStringLiteral("操作员1");
        result.rows.push_back(row);
        std::unique_ptr<QChart> chart(DailyNetChart(result));
        auto* y = qobject_cast<QValueAxis*>(chart->axes(Qt::Vertical).constFirst());
        QCOMPARE(labels(*y), (QStringList{"0", "1"}));
    }

    // The report's preview and the settlement's page alike: the page, then the same two picture
    // buttons and 关闭; a picture turns grey where there is no page that way.
    void previewsAlike() {
        TestDatabase db;
        CPreviewDlg report(dialogs, clock, Day + " 00:00:00", Day + " 23:59:59");
        TableDocument document;
        document.rows = QList<QStringList>(80, QStringList{QStringLiteral("x")});
        CSettlementPreviewDlg settlement(document);
        QCOMPARE(settlement.pageCount(), 3);
        for (QDialog* preview :
             {static_cast<QDialog*>(&report), static_cast<QDialog*>(&settlement)}) {
            QStringList buttons;
            for (const QPushButton* b : preview->findChildren<QPushButton*>())
                buttons << b->objectName();
            buttons.sort();
            QCOMPARE(buttons, (QStringList{"closeButton", "nextButton", "prevButton"}));
            preview->show();
            preview->findChild<QPushButton*>("closeButton")->click();
            QVERIFY(!preview->isVisible());
        }
        const auto picture = [&settlement](const char* name) {
            return settlement.findChild<QPushButton*>(name)->property("picture").toInt();
        };
        QCOMPARE(picture("prevButton"), int(CPreviewDlg::PrevGreyPicture));
        QCOMPARE(picture("nextButton"), int(CPreviewDlg::NextPicture));
        settlement.OnNextPage();
        settlement.OnNextPage();
        QCOMPARE(settlement.page(), 2);
        QCOMPARE(picture("prevButton"), int(CPreviewDlg::PrevPicture));
        QCOMPARE(picture("nextButton"), int(CPreviewDlg::NextGreyPicture));
    }
};

QTEST_MAIN(TestReportWindows)
#include "tst_report_windows.moc"
