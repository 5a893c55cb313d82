#include "reports/windows/PreviewDlg.h"
#include "support/Controls.h"

#include "base/Clock.h"
#include "support/FakeDialogs.h"
#include "support/TestDatabase.h"

#include <QPushButton>
#include <QTest>

using namespace velkar;

namespace {
const QString RangeStart = QStringLiteral("2024-03-05 00:00:00");
const QString RangeEnd = QStringLiteral("2024-03-05 23:59:59");
} // namespace

class PreviewTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TestDatabase> db;
    FakeDialogs dialogs;
    FixedClock clock{QDateTime(QDate(2024, 3, 5), QTime(12, 0))};

    void addRecords(int count) {
        const TestDatabase::Batch batch(*db);
        for (int i = 0; i < count; ++i)
            db->addRecord(QStringLiteral("A1"), QStringLiteral("2024-03-05 10:00:00"), "1");
    }
    static int picture(CPreviewDlg& dlg, const char* id) {
        return control<QPushButton>(&dlg, id)->property("picture").toInt();
    }
    static void press(CPreviewDlg& dlg, const char* id) {
        control<QPushButton>(&dlg, id)->click();
        dlg.grab(); // paints, as the screen would
    }

private slots:
    void init() {
        db = std::make_unique<TestDatabase>();
        dialogs.clear();
    }
    void cleanup() { db.reset(); }

    void picturesAreThere() {
        CPreviewDlg dlg(dialogs, clock, RangeStart, RangeEnd);
        QCOMPARE(dlg.windowTitle(), QStringLiteral("打印预览"));
        const std::pair<const char*, QSize> pictures[] = {{":/paging/prev.png", {75, 26}},
                                                          {":/paging/next.png", {74, 24}},
                                                          {":/paging/next_grey.png", {70, 23}},
                                                          {":/paging/prev_grey.png", {72, 24}}};
        for (const auto& [path, size] : pictures)
            QCOMPARE(QPixmap(QString::fromLatin1(path)).size(), size);
    }

    void paging_data() {
        QTest::addColumn<int>("records");
        QTest::addColumn<int>("afterNext");
        QTest::addColumn<int>("prevAfterNext");
        QTest::addColumn<int>("nextAfterNext");
        QTest::addColumn<int>("prevAfterPrev");
        QTest::addColumn<int>("nextAfterPrev");
        QTest::newRow("none") << 0 << 0 << 149 << 148 << 149 << 148;
        QTest::newRow("28") << 28 << 0 << 149 << 148 << 149 << 148;
        QTest::newRow("29") << 29 << 1 << 146 << 148 << 149 << 147;
    }
    void paging() {
        QFETCH(int, records);
        QFETCH(int, afterNext);
        addRecords(records);
        CPreviewDlg dlg(dialogs, clock, RangeStart, RangeEnd);
        dlg.grab();
        // Both pictures black at first, whatever the number of records.
        QCOMPARE(picture(dlg, "prevButton"), 146);
        QCOMPARE(picture(dlg, "nextButton"), 147);
        QCOMPARE(dlg.recordCount(), records);

        press(dlg, "nextButton");
        QCOMPARE(dlg.page(), afterNext);
        QTEST(picture(dlg, "prevButton"), "prevAfterNext");
        QTEST(picture(dlg, "nextButton"), "nextAfterNext");
        press(dlg, "nextButton"); // at the end: the page stays
        QCOMPARE(dlg.page(), afterNext);

        press(dlg, "prevButton");
        QCOMPARE(dlg.page(), 0);
        QTEST(picture(dlg, "prevButton"), "prevAfterPrev");
        QTEST(picture(dlg, "nextButton"), "nextAfterPrev");
        QVERIFY(control<QPushButton>(&dlg, "prevButton")->isEnabled());
        QVERIFY(control<QPushButton>(&dlg, "nextButton")->isEnabled());
    }

    void repaintShowsNewRecords() {
        addRecords(29);
        CPreviewDlg dlg(dialogs, clock, RangeStart, RangeEnd);
        dlg.grab();
        QCOMPARE(dlg.recordCount(), 29);
        db->addRecord(QStringLiteral("B2"), QStringLiteral("2024-03-05 23:59:59"), "1");
        db->addRecord(QStringLiteral("B2"), QStringLiteral("2024-03-06 00:00:00"), "1");
        dlg.grab();
        QCOMPARE(dlg.recordCount(), 30);
        dlg.ShowPage(99);
        QCOMPARE(dlg.page(), 1);
    }

    void storeErrorIsShownOnceAndTheWindowStaysUsable() {
        addRecords(3);
        db->exec(QStringLiteral("ALTER TABLE employees RENAME TO gone"));
        CPreviewDlg dlg(dialogs, clock, RangeStart, RangeEnd);
        dlg.grab();
        dlg.grab();
        QCoreApplication::processEvents();
        QCOMPARE(dialogs.texts(), QStringList{"操作失败"});
        QCOMPARE(dlg.recordCount(), 0);

        db->exec(QStringLiteral("ALTER TABLE gone RENAME TO employees"));
        press(dlg, "nextButton");
        QCOMPARE(dlg.recordCount(), 3);
    }
};

QTEST_MAIN(PreviewTest)
#include "tst_preview.moc"
