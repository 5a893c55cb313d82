#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QtTest>

namespace {

struct Run {
    int code;
    QString out;
    QString err;
};

// `change` sets (or, with an empty value, removes) variables of the environment it runs in.
Run run(const QString& program, const QStringList& args,
        const QList<std::pair<QString, QString>>& change = {}) {
    static const QTemporaryDir runtime;
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("XDG_RUNTIME_DIR", runtime.path());
    for (const auto& [name, value] : change) {
        if (value.isEmpty())
            env.remove(name);
        else
            env.insert(name, value);
    }
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

    // The program reads its command line before it looks for a display, and says in one line
    // when there is none to open its windows on.
    void programWithoutDisplay() {
        const QString velkar = Programs[0];
        const QList<std::pair<QString, QString>> none{
            {"QT_QPA_PLATFORM", ""}, {"DISPLAY", ""}, {"WAYLAND_DISPLAY", ""}};
        for (const QStringList& wrong : {QStringList{"--bogus"}, QStringList{"-style"},
                                         QStringList{"-reverse", "-style", "Fusion", "extra"}}) {
            const Run usage = run(velkar, wrong, none);
            QCOMPARE(usage.code, 2);
            QCOMPARE(usage.out, QString());
            QVERIFY2(usage.err.startsWith("velkar: ") && usage.err.contains(wrong.last()) &&
                         usage.err.contains(QStringLiteral("用法")),
                     qPrintable(usage.err));
        }
        const Run headless = run(velkar, {"-reverse"}, none);
        QCOMPARE(headless.code, 1);
        QCOMPARE(headless.err.count('\n'), 1);
        QVERIFY2(headless.err.startsWith("velkar: ") && headless.err.contains("DISPLAY"),
                 qPrintable(headless.err));

        // A display named but not there: Qt's abort becomes the same one line.
        QList<std::pair<QString, QString>> gone = none;
        gone.append(std::pair<QString, QString>("DISPLAY", ":7919"));
        const Run unreachable = run(velkar, {}, gone);
        QCOMPARE(unreachable.code, 1);
        QCOMPARE(unreachable.err.count('\n'), 1);
        QVERIFY2(unreachable.err.contains(":7919"), qPrintable(unreachable.err));
    }

    // velkar-db works on the database a desk of the same user works on, names what it does not
    // know, and reads the settings without ever writing them.
    void databaseToolFindsTheDesksDatabase() {
        const QString db = Programs[1];
        QTemporaryDir home;
        const QString config = home.filePath("config");
        const QString folder = home.filePath("counter");
        QVERIFY(QDir().mkpath(folder));
        const QList<std::pair<QString, QString>> desk{
            {"XDG_CONFIG_HOME", config}, {"VELKAR_DIR", folder}, {"VELKAR_DATABASE", ""}};

        const Run made = run(db, {"init"}, desk);
        QCOMPARE(made.code, 0);
        QVERIFY(QFileInfo::exists(folder + "/DataBase.mdb"));
        QCOMPARE(made.err, QString());
        QCOMPARE(run(db, {"check"}, desk).out, folder + QStringLiteral("/DataBase.mdb：完好\n"));
        QVERIFY(!QFileInfo::exists(config + "/Velkar/Velkar.conf"));

        // The settings' Database, relative to the working folder; VELKAR_DATABASE before it.
        QVERIFY(QDir().mkpath(config + "/Velkar"));
        QFile settings(config + "/Velkar/Velkar.conf");
        QVERIFY(settings.open(QIODevice::WriteOnly));
        settings.write("[General]\nDatabase=ledger.mdb\n");
        settings.close();
        const QDateTime written = QFileInfo(settings).lastModified();
        QCOMPARE(run(db, {"init"}, desk).code, 0);
        QVERIFY(QFileInfo::exists(folder + "/ledger.mdb"));
        QCOMPARE(QFileInfo(settings).lastModified(), written);
        QList<std::pair<QString, QString>> chosen = desk;
        chosen.last().second = home.filePath("chosen.mdb");
        QCOMPARE(run(db, {"init"}, chosen).code, 0);
        QVERIFY(QFileInfo::exists(home.filePath("chosen.mdb")));

        const Run unknown = run(db, {"frob"}, desk);
        QCOMPARE(unknown.code, 2);
        QVERIFY2(unknown.err.startsWith(QStringLiteral("velkar-db: 没有“frob”这个子命令\n")),
                 qPrintable(unknown.err));
        const Run extra = run(db, {"check", "a.mdb", "b.mdb"}, desk);
        QCOMPARE(extra.code, 2);
        QVERIFY2(extra.err.contains("b.mdb"), qPrintable(extra.err));
        const Run state = run(db, {"journal", "--state", "lost"}, desk);
        QCOMPARE(state.code, 2);
        QVERIFY2(state.err.contains("lost"), qPrintable(state.err));
        const Run date = run(db, {"settle", "--from", "2024-13-01", "--to", "2024-12-31"}, desk);
        QCOMPARE(date.code, 2);
        QVERIFY2(date.err.contains("2024-13-01"), qPrintable(date.err));
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
