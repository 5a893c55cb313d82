#include "reader/DebugTrace.h"

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
};

QTEST_GUILESS_MAIN(TestDebugTrace)
#include "tst_debug_trace.moc"
