#include "app/WorkingFolder.h"
#include "base/Clock.h"
#include "base/PrivateFile.h"
#include "base/Settings.h"
#include "data/DatabaseCopy.h"
#include "data/LegacyImport.h"
#include "data/Schema.h"
#include "reports/Export.h"
#include "reports/windows/QueryDlg.h"
#include "reports/windows/SettlementDlg.h"
#include "support/FakeDialogs.h"
#include "support/TestDatabase.h"

#include <QDir>
#include <QFile>
#include <QPrinter>
#include <QProcess>
#include <QtTest>

#include <sys/stat.h>

using namespace velkar;

namespace {

int modeOf(const QString& path) {
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return -1;
    return int(st.st_mode & 07777);
}

#define QCOMPARE_MODE(path, expected)                                                              \
    QVERIFY2(modeOf(path) == (expected),                                                           \
             qPrintable(QStringLiteral("%1 has mode %2").arg(path).arg(modeOf(path), 4, 8)))

} // namespace

// Whatever the umask says, what the program writes is its user's alone: the tests run with the
// most permissive one, under which every file a library makes would be open to all.
class TestPrivateFiles : public QObject {
    Q_OBJECT

    mode_t m_umask = 022;

private slots:
    void initTestCase() { m_umask = ::umask(0); }
    void cleanupTestCase() { ::umask(m_umask); }

    void theHelper() {
        QTemporaryDir dir;
        QVERIFY(PrivateFile::MakeFolder(dir.filePath("a/b/c")));
        for (const char* made : {"a", "a/b", "a/b/c"})
            QCOMPARE_MODE(dir.filePath(made), 0700);
        // A folder that is there already is the user's to set.
        ::chmod(QFile::encodeName(dir.path()).constData(), 0755);
        QVERIFY(PrivateFile::MakeFolder(dir.path()));
        QCOMPARE_MODE(dir.path(), 0755);
        QFile plain(dir.filePath("plain"));
        QVERIFY(plain.open(QIODevice::WriteOnly));
        plain.close();
        QFile blocker(dir.filePath("blocker"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        QVERIFY(!PrivateFile::MakeFolder(dir.filePath("blocker/below")));

        QCOMPARE_MODE(plain.fileName(), 0666);
        QVERIFY(PrivateFile::Restrict(plain.fileName()));
        QCOMPARE_MODE(plain.fileName(), 0600);

        // A file that is there is emptied and closed to others before anything is written.
        const QString open = dir.filePath("open");
        QFile file(open);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("secret");
        file.close();
        QVERIFY(PrivateFile::Prepare(open));
        QCOMPARE_MODE(open, 0600);
        QCOMPARE(QFileInfo(open).size(), 0);
        QVERIFY(PrivateFile::Prepare(dir.filePath("new")));
        QCOMPARE_MODE(dir.filePath("new"), 0600);
        QVERIFY(!PrivateFile::Prepare(dir.filePath("missing/new")));
    }

    void databasesAndTheirCopies() {
        TestDatabase db;
        QTemporaryDir dir;
        const QString made = dir.filePath("made.mdb");
        QCOMPARE(Schema::CreateDatabase(made, PasswordHash::CheapestCost), QString());
        QCOMPARE_MODE(made, 0600);

        QTemporaryDir backups;
        QCOMPARE(DatabaseCopy::Backup(db.path(), backups.path()), QString());
        QCOMPARE_MODE(DatabaseCopy::BackupTarget(backups.path()), 0600);

        // A working file an earlier version left open to all: the copy kept of it is closed.
        ::chmod(QFile::encodeName(db.path()).constData(), 0644);
        QString kept;
        QCOMPARE(DatabaseCopy::Restore(DatabaseCopy::BackupTarget(backups.path()), db.path(),
                                       QDateTime(QDate(2026, 12, 7), QTime(12, 0)), {}, &kept),
                 QString());
        QVERIFY(!kept.isEmpty());
        QCOMPARE_MODE(kept, 0600);
        QCOMPARE_MODE(db.path(), 0600);

        const QString report = dir.filePath("import-report.txt");
        QCOMPARE(LegacyImport::WriteReport(report, QStringLiteral("报告\n")), QString());
        QCOMPARE_MODE(report, 0600);
    }

    // The tool sets no mode of its own making: `init` under umask 0 still makes a private file.
    void theToolMakesPrivateFiles() {
        QTemporaryDir dir;
        const QString path = dir.filePath("DataBase.mdb");
        QProcess tool;
        tool.start(QStringLiteral(VELKAR_DB_TOOL), {QStringLiteral("init"), path});
        QVERIFY(tool.waitForFinished(60000));
        QCOMPARE(tool.exitCode(), 0);
        QCOMPARE_MODE(path, 0600);
    }

    void theWorkingFolderAndTheSettings() {
        QTemporaryDir dir;
        const QString before = QDir::currentPath();
        const QString folder = dir.filePath("home/Velkar");
        QCOMPARE(EnterWorkingFolder(folder), QString());
        QDir::setCurrent(before);
        QCOMPARE_MODE(dir.filePath("home"), 0700);
        QCOMPARE_MODE(folder, 0700);
        const QString database = QDir(folder).filePath(Schema::DatabaseFileName);
        QCOMPARE_MODE(database, 0600);
        // An older desk's file is closed once the desk starts on it.
        ::chmod(QFile::encodeName(database).constData(), 0644);
        QCOMPARE(EnterWorkingFolder(folder), QString());
        QDir::setCurrent(before);
        QCOMPARE_MODE(database, 0600);

        const QString file = dir.filePath("config/Velkar/Velkar.conf");
        {
            Settings settings(file);
            settings.setLastBackupFolder(dir.path());
        }
        QCOMPARE_MODE(file, 0600);
        QCOMPARE_MODE(dir.filePath("config"), 0700);
        QCOMPARE_MODE(dir.filePath("config/Velkar"), 0700);
    }

    void exportsAndPrintedFiles() {
        TestDatabase db;
        db.addRecord(QStringLiteral("00012345"), QStringLiteral("2026-12-07 09:00:00"),
                     QStringLiteral("00100"));
        QTemporaryDir dir;
        const Export::Sheet sheet{QStringLiteral("表"),
                                  {QStringLiteral("卡号")},
                                  {{QStringLiteral("00012345")}},
                                  {false}};
        for (const char* name : {"list.csv", "list.xlsx"}) {
            const QString path = dir.filePath(name);
            QCOMPARE(Export::Write(path, sheet), QString());
            QCOMPARE_MODE(path, 0600);
            // Written again over a file open to all, as a second export is.
            ::chmod(QFile::encodeName(path).constData(), 0644);
            QCOMPARE(Export::Write(path, sheet), QString());
            QCOMPARE_MODE(path, 0600);
        }

        FakeDialogs dialogs;
        FixedClock clock(QDateTime(QDate(2026, 12, 7), QTime(12, 0)));
        CQueryDlg query(dialogs, clock);
        const QString report = dir.filePath("report.pdf");
        {
            QPrinter printer(QPrinter::HighResolution);
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(report);
            query.PrintReport(printer);
        }
        QVERIFY(QFileInfo(report).size() > 0);
        QCOMPARE_MODE(report, 0600);

        CSettlementDlg settlement(dialogs, clock, QDate(2026, 12, 7), QDate(2026, 12, 7));
        const QString settled = dir.filePath("settlement.pdf");
        {
            QPrinter printer(QPrinter::HighResolution);
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(settled);
            settlement.PrintSettlement(printer);
        }
        QVERIFY(QFileInfo(settled).size() > 0);
        QCOMPARE_MODE(settled, 0600);
        QVERIFY2(dialogs.texts().isEmpty(), qPrintable(dialogs.texts().join(' ')));
    }
};

QTEST_MAIN(TestPrivateFiles)
#include "tst_private_files.moc"
