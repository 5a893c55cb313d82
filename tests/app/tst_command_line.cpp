#include <QFileInfo>
#include <QProcess>
#include <QtTest>

namespace {

struct Run {
    int code;
    QString out;
    QString err;
};

Run run(const QString& program, const QStringList& args) {
    static const QTemporaryDir runtime;
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("XDG_RUNTIME_DIR", runtime.path());
    p.setProcessEnvironment(env);
    p.start(program, args);
    if (!p.waitForFinished(30000))
        p.kill();
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
            QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError())};
}

// Each program with an argument it must refuse as a usage error.
const QStringList Programs = QStringLiteral(VELKAR_PROGRAMS).split('|');
const QStringList Wrong = {"--bogus", "frobnicate", "frobnicate", "many", "--bogus"};

} // namespace

class TestCommandLine : public QObject {
    Q_OBJECT

private slots:
    void conventionalAnswers_data() {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("wrong");
        for (qsizetype i = 0; i < Programs.size(); ++i)
            QTest::newRow(qPrintable(QFileInfo(Programs[i]).fileName())) << Programs[i] << Wrong[i];
    }

    void conventionalAnswers() {
        QFETCH(QString, program);
        QFETCH(QString, wrong);
        const QString name = QFileInfo(program).fileName();

        const Run version = run(program, {"--version"});
        QCOMPARE(version.code, 0);
        QCOMPARE(version.out, name + " " VELKAR_VERSION "\n");
        QCOMPARE(version.err, QString());

        for (const QString& option : {QStringLiteral("--help"), QStringLiteral("-h")}) {
            const Run help = run(program, {option});
            QCOMPARE(help.code, 0);
            QVERIFY2(help.out.contains("usage", Qt::CaseInsensitive) ||
                         help.out.contains(QStringLiteral("用法")),
                     qPrintable(help.out));
            QVERIFY(help.out.contains("--version"));
            QCOMPARE(help.err, QString());
        }

        const Run usage = run(program, {wrong});
        QCOMPARE(usage.code, 2);
        QCOMPARE(usage.out, QString());
        QVERIFY(!usage.err.isEmpty());
    }

    void helpAnywhereBeforeTheEndOfOptions() {
        const QString db = Programs[1];
        QCOMPARE(run(db, {"check", "--help"}).code, 0);
        // After "--" it is a path like any other.
        const Run after = run(db, {"--", "--version"});
        QCOMPARE(after.code, 2);
        QCOMPARE(after.out, QString());
    }
};

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_command_line.moc"
