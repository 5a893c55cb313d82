#include "app/WorkingFolder.h"
#include "base/Settings.h"
#include "data/AdoConn.h"
#include "data/Schema.h"
#include "reader/BridgeFactory.h"
#include "reader/SimulatedReader.h"
#include "support/FakeDialogs.h"

#include <QFile>
#include <QSettings>
#include <QtTest>

#include <cstdio>
#include <unistd.h>

using namespace velkar;

namespace {

// What the code under test writes to standard error while `work` runs.
template <typename Work> QString stderrOf(Work work) {
    QTemporaryFile capture;
    if (!capture.open())
        qFatal("no temporary file");
    std::fflush(stderr);
    const int saved = dup(STDERR_FILENO);
    dup2(capture.handle(), STDERR_FILENO);
    work();
    std::fflush(stderr);
    dup2(saved, STDERR_FILENO);
    close(saved);
    capture.seek(0);
    return QString::fromUtf8(capture.readAll());
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
}

QString readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// Sets an environment variable for one scope.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const QByteArray& value)
        : m_name(name), m_had(qEnvironmentVariableIsSet(name)), m_old(qgetenv(name)) {
        qputenv(name, value);
    }
    ~ScopedEnv() {
        if (m_had)
            qputenv(m_name, m_old);
        else
            qunsetenv(m_name);
    }

private:
    const char* m_name;
    bool m_had;
    QByteArray m_old;
};

} // namespace

class TestSettings : public QObject {
    Q_OBJECT

private slots:
    void firstStartWritesTheDefaults() {
        QTemporaryDir dir;
        const QString file = dir.filePath("Velkar/Velkar.conf");
        QString complaints = stderrOf([&] {
            Settings settings(file);
            QCOMPARE(settings.workingFolder(), QDir::homePath() + "/Velkar");
            QCOMPARE(settings.lastBackupFolder(), QString());
            QCOMPARE(settings.readerChoice(), ReaderChoice::Real);
        });
        QCOMPARE(complaints, QString());
        // Whoever opens the file sees what can be set.
        const QString written = readFile(file);
        QVERIFY(written.contains("WorkingFolder=" + QDir::homePath() + "/Velkar"));
        QVERIFY(written.contains("Reader=real"));
    }

    void whatIsSetIsThereNextTime() {
        QTemporaryDir dir;
        const QString file = dir.filePath("Velkar.conf");
        {
            Settings settings(file);
            settings.setWorkingFolder(dir.filePath("counter 1/数据"));
            settings.setLastBackupFolder(dir.filePath("U盘"));
            settings.setReaderChoice(ReaderChoice::Automatic);
        }
        Settings again(file);
        QCOMPARE(again.workingFolder(), dir.filePath("counter 1/数据"));
        QCOMPARE(again.lastBackupFolder(), dir.filePath("U盘"));
        QCOMPARE(again.readerChoice(), ReaderChoice::Automatic);
    }

    // The desk's size comes back; a tool that only reads the settings never writes them, not
    // even the defaults or a damaged file's replacement.
    void deskSizeAndReadingOnly() {
        QTemporaryDir dir;
        const QString file = dir.filePath("Velkar.conf");
        {
            Settings reader(file, Settings::Access::ReadOnly);
            QCOMPARE(reader.workingFolder(), Settings::DefaultWorkingFolder());
            QVERIFY(!reader.deskSize().isValid());
        }
        QVERIFY(!QFileInfo::exists(file));
        {
            Settings settings(file);
            settings.setDeskSize(QSize(1024, 700));
        }
        QCOMPARE(Settings(file, Settings::Access::ReadOnly).deskSize(), QSize(1024, 700));
        writeFile(file, "[General\nDeskSize=nonsense\n");
        const QString said = stderrOf([&] {
            Settings reader(file, Settings::Access::ReadOnly);
            QVERIFY(!reader.deskSize().isValid());
        });
        QVERIFY(!said.isEmpty());
        QVERIFY(!QFileInfo::exists(file + ".damaged"));
        QCOMPARE(readFile(file), QStringLiteral("[General\nDeskSize=nonsense\n"));
    }

    // A technician edits the file by hand.
    void handTypedValues_data() {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QString>("folder");
        QTest::newRow("tilde") << QByteArray("WorkingFolder=~/Kasse")
                               << QDir::homePath() + "/Kasse";
        QTest::newRow("tilde alone") << QByteArray("WorkingFolder=~") << QDir::homePath();
        QTest::newRow("relative") << QByteArray("WorkingFolder=data/../Kasse")
                                  << QDir::homePath() + "/Kasse";
        QTest::newRow("absolute, spaces around")
            << QByteArray("WorkingFolder = /srv/velkar/ ") << QStringLiteral("/srv/velkar");
    }

    void handTypedValues() {
        QFETCH(QByteArray, line);
        QFETCH(QString, folder);
        QTemporaryDir dir;
        const QString file = dir.filePath("Velkar.conf");
        writeFile(file, "[General]\n" + line + "\nReader=Simulated\n");
        Settings settings(file);
        QCOMPARE(settings.workingFolder(), folder);
        QCOMPARE(settings.readerChoice(), ReaderChoice::Simulated);
    }

    // The receipt and automatic backups: what can be typed, and what a typo gives.
    void receiptsAndBackups() {
        QTemporaryDir dir;
        const QString file = dir.filePath("Velkar.conf");
        writeFile(file, "[General]\nReceipt= 80MM \nReceiptPrinter=TM-T20\n"
                        "AutoBackupFolder=~/backups\nAutoBackupKeep=7\n");
        {
            Settings settings(file);
            QCOMPARE(settings.receipt(), Settings::Receipt::Mm80);
            QCOMPARE(settings.receiptPrinter(), QStringLiteral("TM-T20"));
            QCOMPARE(settings.autoBackupFolder(), QDir::home().filePath("backups"));
            QCOMPARE(settings.autoBackupKeep(), 7);
            QCOMPARE(settings.highestZNumber(), qint64(0));
            settings.setHighestZNumber(12);
            settings.setHighestZNumber(3); // never lowered
        }
        QCOMPARE(Settings(file).highestZNumber(), qint64(12));
        writeFile(file, "[General]\nReceipt=57mm\nAutoBackupKeep=0\n");
        const QString said = stderrOf([&] {
            Settings settings(file);
            QCOMPARE(settings.receipt(), Settings::Receipt::Off);
            QCOMPARE(settings.autoBackupKeep(), 30);
            QVERIFY(settings.autoBackupFolder().isEmpty());
        });
        QVERIFY2(said.contains("Receipt=57mm") && said.contains("AutoBackupKeep=0"),
                 qPrintable(said));
        QCOMPARE(Settings(file).receipt(), Settings::Receipt::Off);
    }

    // The audit entry last found intact: kept, forgotten, and a hand-edited one that is no
    // entry's mark is no mark (the next check walks the whole chain).
    void checkedTrail() {
        QTemporaryDir dir;
        const QString file = dir.filePath("Velkar.conf");
        const QString hash(64, QLatin1Char('a'));
        {
            Settings settings(file);
            QCOMPARE(settings.checkedTrail().id, qint64(0));
            settings.setCheckedTrail({"/home/k/Velkar/DataBase.mdb", 41, hash});
        }
        QCOMPARE(Settings(file).checkedTrail().id, qint64(41));
        QCOMPARE(Settings(file).checkedTrail().hash, hash);
        QCOMPARE(Settings(file).checkedTrail().ledger,
                 QStringLiteral("/home/k/Velkar/DataBase.mdb"));
        Settings(file).setCheckedTrail({});
        QCOMPARE(Settings(file).checkedTrail().id, qint64(0));
        QVERIFY(!readFile(file).contains("AuditChecked"));
        for (const QByteArray& typed :
             {QByteArray("Id=41\nHash=xyz"), QByteArray("Id=-3\nHash=") + hash.toLatin1(),
              QByteArray("Id=forty\nHash=") + hash.toLatin1()}) {
            writeFile(file, "[AuditChecked]\nLedger=/l\n" + typed + "\n");
            QCOMPARE(Settings(file).checkedTrail().id, qint64(0));
        }
    }

    // Verdicts on tried password hashes outlive the run; a digest of another form is dropped,
    // so that hash is tried again rather than answered wrongly.
    void triedPasswords() {
        QTemporaryDir dir;
        const QString file = dir.filePath("Velkar.conf");
        const QString held(64, QLatin1Char('a'));
        const QString other(64, QLatin1Char('b'));
        Settings(file).setTriedPasswords({{held}, {other, held.toUpper()}});
        QCOMPARE(Settings(file).triedPasswords(), (Settings::TriedPasswords{{held}, {other}}));
        Settings(file).setTriedPasswords({});
        QCOMPARE(Settings(file).triedPasswords(), Settings::TriedPasswords{});
        QVERIFY(!readFile(file).contains("PasswordsTried"));
        writeFile(file, "[PasswordsTried]\nDelivered=xyz, " + held.toLatin1() + "\n");
        QCOMPARE(Settings(file).triedPasswords().delivered, QStringList{held});
    }

    void nonsenseValuesFallBackToTheirDefaults_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("complaint");
        QTest::newRow("unknown reader") << QByteArray("[General]\nReader=usb\n") << "Reader=usb";
        QTest::newRow("empty folder")
            << QByteArray("[General]\nWorkingFolder=\n") << "WorkingFolder";
        QTest::newRow("list for a folder")
            << QByteArray("[General]\nWorkingFolder=/a, /b\n") << "WorkingFolder";
        QTest::newRow("broken variant")
            << QByteArray("[General]\nReader=@Variant(\\0\\0\\0\\x7f\\0\\0\\0\\x3)\n") << "Reader";
    }

    void nonsenseValuesFallBackToTheirDefaults() {
        QFETCH(QByteArray, content);
        QFETCH(QString, complaint);
        QTemporaryDir dir;
        const QString file = dir.filePath("Velkar.conf");
        writeFile(file, content);
        const QString said = stderrOf([&] {
            Settings settings(file);
            QCOMPARE(settings.workingFolder(), Settings::DefaultWorkingFolder());
            QCOMPARE(settings.readerChoice(), ReaderChoice::Real);
        });
        QVERIFY2(said.contains(complaint), qPrintable(said));
        QCOMPARE(said.count('\n'), 1);
        // Put right in the file, so the next start says nothing.
        QCOMPARE(stderrOf([&] { Settings again(file); }), QString());
    }

    void damagedFileIsSetAsideAndReplacedByDefaults_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("unclosed section") << QByteArray("[General\nReader=simulated\n");
        QTest::newRow("cut short") << QByteArray("[General]\nWorkingFolder=/srv\n[Gen");
    }

    void damagedFileIsSetAsideAndReplacedByDefaults() {
        QFETCH(QByteArray, content);
        QTemporaryDir dir;
        const QString file = dir.filePath("Velkar.conf");
        writeFile(file, content);
        const QString said = stderrOf([&] {
            Settings settings(file);
            QCOMPARE(settings.workingFolder(), Settings::DefaultWorkingFolder());
            QCOMPARE(settings.readerChoice(), ReaderChoice::Real);
            settings.setLastBackupFolder("/media/backup");
        });
        QVERIFY2(said.contains("damaged"), qPrintable(said));
        QCOMPARE(said.count('\n'), 1);
        QCOMPARE(readFile(file + ".damaged").toUtf8(), content);
        QCOMPARE(QSettings(file, QSettings::IniFormat).status(), QSettings::NoError);
        QCOMPARE(Settings(file).lastBackupFolder(), QStringLiteral("/media/backup"));
    }

    // At start the desk says so in a box that names the kept copy, and goes on.
    void damagedFileIsToldInABox() {
        QTemporaryDir dir;
        const QString file = dir.filePath("Velkar.conf");
        writeFile(file, "[General\nReader=simulated\n");
        stderrOf([&] {
            Settings settings(file);
            QCOMPARE(settings.damagedKeptAs(), file + ".damaged");
            QCOMPARE(settings.damagedServerLedger(), QString());
            FakeDialogs dialogs;
            QCOMPARE(DamagedSettingsRefusal(settings, dialogs), QString());
            QCOMPARE(dialogs.texts(),
                     QStringList{QStringLiteral("设置文件 %1 已损坏，本次使用默认设置。\n"
                                                "损坏的文件已保存为：%1.damaged\n其中需要的设置"
                                                "（工作文件夹、读卡器等）请从那里抄回 %1。")
                                     .arg(file)});
            QCOMPARE(dialogs.shown().constLast().icon, Dialogs::Icon::Exclamation);
        });
        FakeDialogs dialogs;
        QCOMPARE(DamagedSettingsRefusal(Settings(file), dialogs), QString());
        QVERIFY(dialogs.texts().isEmpty()); // mended by the defaults: nothing to say next time
    }

    // A damaged file that names a server ledger is never replaced by the defaults, which
    // would put the desk on a local file beside the shared ledger: every start is refused
    // with the reason and the mend, until it is mended or VELKAR_DATABASE names the ledger.
    void damagedFileNamingAServerStopsTheDesk() {
        QTemporaryDir dir;
        const QString file = dir.filePath("Velkar.conf");
        const QString uri = QStringLiteral("postgresql://velkar@server/ledger?sslmode=require");
        const QByteArray content = "[General\nDatabase=" + uri.toUtf8() + "\nDeskSize=@Size(";
        writeFile(file, content);
        ScopedEnv none("VELKAR_DATABASE", "");
        const QString said = stderrOf([&] {
            Settings settings(file);
            QCOMPARE(settings.damagedServerLedger(), uri);
            QCOMPARE(settings.damagedKeptAs(), file);
            QCOMPARE(settings.database(), QString());
            settings.setLastBackupFolder("/media/backup"); // kept for this run only
            FakeDialogs dialogs;
            const QString refusal = DamagedSettingsRefusal(settings, dialogs);
            QCOMPARE(dialogs.texts(), QStringList{refusal});
            QVERIFY(refusal.contains(file));
            QVERIFY(refusal.contains(QStringLiteral("Database=") + uri));
            QVERIFY(refusal.contains(QStringLiteral("不在本机的数据库文件上启动")));
        });
        QVERIFY2(said.contains(uri), qPrintable(said));
        // Left as it was, so the next start (a process of its own) is refused the same way.
        QCOMPARE(readFile(file).toUtf8(), content);
        QVERIFY(!QFileInfo::exists(file + ".damaged"));
        // A later start within this process reads Qt's cached copy of the file, which hides
        // the damage: a file of its own name stands in for that start.
        const QString again = dir.filePath("Again.conf");
        writeFile(again, content);
        ScopedEnv chosen("VELKAR_DATABASE", uri.toUtf8());
        stderrOf([&] {
            FakeDialogs dialogs;
            QCOMPARE(DamagedSettingsRefusal(Settings(again), dialogs), QString());
            QCOMPARE(dialogs.texts().size(), 1);
            QVERIFY(dialogs.lastText().contains(QStringLiteral("本次按 VELKAR_DATABASE")));
        });
        QCOMPARE(readFile(again).toUtf8(), content);
    }

    void unreadableFileLeavesTheDefaultsInForce() {
        QTemporaryDir dir;
        const QString file = dir.filePath("Velkar.conf");
        QVERIFY(QDir().mkpath(file)); // a folder where the file should be
        const QString said = stderrOf([&] {
            Settings settings(file);
            QCOMPARE(settings.workingFolder(), Settings::DefaultWorkingFolder());
            settings.setReaderChoice(ReaderChoice::Simulated); // cannot be kept; no harm
            QCOMPARE(settings.readerChoice(), ReaderChoice::Simulated);
        });
        QVERIFY2(said.contains(QStringLiteral("无法读取")), qPrintable(said));
        QVERIFY(QFileInfo(file).isDir());
    }

    void environmentOverridesTheReaderChoice() {
        {
            ScopedEnv env("VELKAR_SIMULATED_READER", "1");
            QCOMPARE(EffectiveReaderChoice(ReaderChoice::Real), ReaderChoice::Simulated);
            QCOMPARE(EffectiveReaderChoice(ReaderChoice::Automatic), ReaderChoice::Simulated);
            QVERIFY(MakeReaderBackend(ReaderChoice::Real).simulator);
        }
        {
            ScopedEnv env("VELKAR_SIMULATED_READER", "0");
            QCOMPARE(EffectiveReaderChoice(ReaderChoice::Simulated), ReaderChoice::Real);
            QVERIFY(!MakeReaderBackend(ReaderChoice::Simulated).simulator);
        }
        {
            ScopedEnv env("VELKAR_SIMULATED_READER", "");
            QCOMPARE(EffectiveReaderChoice(ReaderChoice::Automatic), ReaderChoice::Automatic);
            QVERIFY(MakeReaderBackend(ReaderChoice::Simulated).simulator);
        }
    }

    void automaticChoiceLooksForTheReader() {
        SimulatedReader bus;
        bus.unplug();
        bus.plugOther("mouse");
        QVERIFY(!ReaderListed(bus));
        bus.plug();
        QVERIFY(ReaderListed(bus));
        // The machine running the tests has no reader plugged in.
        ScopedEnv env("VELKAR_SIMULATED_READER", "");
        QString said;
        said = stderrOf([&] { QVERIFY(MakeReaderBackend(ReaderChoice::Automatic).simulator); });
        QVERIFY(said.contains("simulated reader stands in"));
    }
};

class TestWorkingFolder : public QObject {
    Q_OBJECT

private slots:
    void init() { m_previous = QDir::currentPath(); }
    void cleanup() { QDir::setCurrent(m_previous); }

    void velkarDirOverridesTheSettings() {
        QTemporaryDir dir;
        Settings settings(dir.filePath("Velkar.conf"));
        settings.setWorkingFolder(dir.filePath("set"));
        {
            ScopedEnv env("VELKAR_DIR", dir.filePath("forced").toUtf8());
            QCOMPARE(ChosenWorkingFolder(settings), dir.filePath("forced"));
        }
        ScopedEnv env("VELKAR_DIR", "");
        QCOMPARE(ChosenWorkingFolder(settings), dir.filePath("set"));
    }

    void firstStartMakesTheFolderAndTheDatabase() {
        QTemporaryDir dir;
        const QString folder = dir.filePath("a/b/Velkar");
        QCOMPARE(EnterWorkingFolder(folder), QString());
        QCOMPARE(QDir::currentPath(), folder);
        QCOMPARE(Schema::CheckDatabase(folder + "/DataBase.mdb"), QString());
    }

    void anExistingDatabaseIsNeverTouched() {
        QTemporaryDir dir;
        writeFile(dir.filePath("DataBase.mdb"), "not ours to judge");
        QCOMPARE(EnterWorkingFolder(dir.path()), QString());
        QCOMPARE(readFile(dir.filePath("DataBase.mdb")), QStringLiteral("not ours to judge"));
        // Nor one that is a link to a stick not plugged in.
        QTemporaryDir other;
        QVERIFY(QFile::link(other.filePath("gone/DataBase.mdb"), other.filePath("DataBase.mdb")));
        QCOMPARE(EnterWorkingFolder(other.path()), QString());
        QVERIFY(QFileInfo(other.filePath("DataBase.mdb")).isSymLink());
        QVERIFY(!QFileInfo::exists(other.filePath("gone")));
    }

    // Before anyone logs in, the working ledger gets velkar-db check's own check: a file that
    // fails it is named with its reason, and one that can't be worked on at all refuses.
    void theLedgerIsCheckedAtStart() {
        QTemporaryDir dir;
        const QString path = dir.filePath("DataBase.mdb");
        QCOMPARE(PrepareLedger(path).unsound, QString()); // none yet: made or refused elsewhere
        QCOMPARE(Schema::CreateDatabase(path, PasswordHash::CheapestCost), QString());
        LedgerAtStart ledger = PrepareLedger(path);
        QCOMPARE(ledger.refusal, QString());
        QCOMPARE(ledger.unsound, QString());
        {
            Connection db(path);
            db.run("PRAGMA ignore_check_constraints = 1; INSERT INTO employees VALUES "
                   "('0000000A', '2024-01-01 10:00:00', 99999999.5)");
        }
        ledger = PrepareLedger(path);
        QCOMPARE(ledger.refusal, QString());
        QCOMPARE(ledger.unsound, QStringLiteral("表 employees 中有 1 行违反约束（CHECK）"));
        {
            Connection db(path);
            db.run("DELETE FROM employees; PRAGMA user_version = 99");
        }
        ledger = PrepareLedger(path);
        QCOMPARE(ledger.refusal, Schema::TooNewText(99));
    }

    void failuresSayWhyAndStayPut() {
        QTemporaryDir dir;
        writeFile(dir.filePath("file"), "x");
        const QString here = QDir::currentPath();
        const QString problem = EnterWorkingFolder(dir.filePath("file/Velkar"));
        QVERIFY(problem.contains(dir.filePath("file/Velkar")));
        QCOMPARE(QDir::currentPath(), here);
    }

private:
    QString m_previous;
};

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    TestSettings settings;
    TestWorkingFolder folder;
    return QTest::qExec(&settings, argc, argv) | QTest::qExec(&folder, argc, argv);
}

#include "tst_settings.moc"
