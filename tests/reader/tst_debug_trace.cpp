#include "reader/DebugTrace.h"
#include "reader/StoreWorker.h"

#include <QLoggingCategory>
#include <QtTest>

using namespace velkar;

namespace {

QStringList logged;
QStringList categories;

void capture(QtMsgType, const QMessageLogContext& context, const QString& text) {
    logged << text;
    categories << QString::fromLatin1(context.category);
}

} // namespace

class TestDebugTrace : public QObject {
    Q_OBJECT

private slots:
    // The reader's debug lines say nothing unless asked for, and then under their category.
    void linesGoUnderTheReadersCategoryOffByDefault() {
        const QtMessageHandler previous = qInstallMessageHandler(capture);
        DebugTrace("RecvThreadFunction Exit");
        QCOMPARE(logged, QStringList());

        QLoggingCategory::setFilterRules(QStringLiteral("velkar.reader.debug=true"));
        DebugTrace("RecvThreadFunction %s (%d)", "Exit", 7);
        QCOMPARE(logged, QStringList{"RecvThreadFunction Exit (7)"});
        QCOMPARE(categories, QStringList{"velkar.reader"});

        // A sink takes them whatever the rules say.
        QStringList sunk;
        SetDebugTraceSink([&sunk](const QString& line) { sunk << line; });
        QLoggingCategory::setFilterRules(QStringLiteral("velkar.reader.debug=false"));
        DebugTrace("RecvThreadFunction Exit");
        SetDebugTraceSink({});
        QCOMPARE(sunk, QStringList{"RecvThreadFunction Exit"});
        QCOMPARE(logged.size(), 1);
        qInstallMessageHandler(previous);
    }

    // A store that fails says why under velkar.data when asked, and nothing otherwise.
    void aFailingStoreTaskIsTracedUnderData() {
        const QtMessageHandler previous = qInstallMessageHandler(capture);
        logged.clear();
        categories.clear();
        QTemporaryDir dir;
        StoreWorker store(dir.filePath(QStringLiteral("DataBase.mdb")));
        const auto failing = [](const Connection&) {};
        store.tryOnce(failing, {});
        store.waitIdle();
        QCOMPARE(logged, QStringList());

        QLoggingCategory::setFilterRules(QStringLiteral("velkar.data.debug=true"));
        store.tryOnce(failing, {});
        store.waitIdle();
        QLoggingCategory::setFilterRules(QString());
        qInstallMessageHandler(previous);
        QCOMPARE(categories, QStringList{"velkar.data"});
        // No ledger in the folder: the open fails before the task, and that is what is told.
        QVERIFY2(logged.value(0).startsWith("read failed: ") && logged.value(0).size() > 13,
                 qPrintable(logged.value(0)));
    }
};

QTEST_GUILESS_MAIN(TestDebugTrace)
#include "tst_debug_trace.moc"
