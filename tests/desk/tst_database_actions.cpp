#include "base/Settings.h"
#include "data/AdoConn.h"
#include "data/DatabaseCopy.h"
#include "data/ReadView.h"
#include "desk/windows/BackupPromptDlg.h"
#include "desk/windows/DatabaseActions.h"
#include "support/Controls.h"
#include "support/FakeDialogs.h"
#include "support/TestDatabase.h"

#include <QApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QtTest>

using namespace velkar;

class TestDatabaseActions : public QObject {
    Q_OBJECT

private slots:
    void backupStartsHomeThenAtTheLastFolder() {
        TestDatabase db;
        QTemporaryDir folder;
        FakeDialogs dialogs;
        DatabaseActions actions(dialogs);
        dialogs.answerFolder(folder.path());
        actions.BackupDatabase();
        QCOMPARE(dialogs.requests().first(),
                 QStringLiteral("folder:请选择备份文件夹|") + QDir::homePath());
        QCOMPARE(dialogs.lastText(), QStringLiteral("备份完成！"));
        QCOMPARE(dialogs.shown().last().caption, QStringLiteral("系统提示"));
        QCOMPARE(dialogs.shown().last().icon, Dialogs::Icon::Exclamation);
        QVERIFY(QFile::exists(folder.filePath("DataBase.mdb")));

        actions.BackupDatabase(); // cancelled: nothing, not a word
        QCOMPARE(dialogs.requests().last(),
                 QStringLiteral("folder:请选择备份文件夹|") + folder.path());
        QCOMPARE(dialogs.shown().size(), 1);
    }

    void theLastBackupFolderIsRememberedForTheNextRun() {
        TestDatabase db;
        QTemporaryDir config;
        QTemporaryDir stick;
        const QString file = config.filePath("Velkar.conf");
        {
            Settings settings(file);
            FakeDialogs dialogs;
            DatabaseActions actions(dialogs);
            actions.rememberIn(settings);
            dialogs.answerFolder(db.folder() + "/gone"); // a failed backup is not remembered
            actions.BackupDatabase();
            QCOMPARE(Settings(file).lastBackupFolder(), QString());
            dialogs.answerFolder(stick.path());
            actions.BackupDatabase();
            QCOMPARE(dialogs.lastText(), QStringLiteral("备份完成！"));
        }
        Settings settings(file);
        FakeDialogs dialogs;
        DatabaseActions actions(dialogs);
        actions.rememberIn(settings);
        QCOMPARE(actions.startFolder(), stick.path());
        if (!TestDatabase::OnServer()) { // a server is not restored from the desk
            actions.OnRestore();         // cancelled
            QCOMPARE(dialogs.requests().last(), QStringLiteral("file:(*.mdb)|") + stick.path());
        }

        // The stick is pulled out: the chooser starts at home again.
        QVERIFY(stick.remove());
        QCOMPARE(actions.startFolder(), QDir::homePath());
    }

    void failedBackupSaysWhy() {
        TestDatabase db;
        FakeDialogs dialogs;
        DatabaseActions actions(dialogs);
        dialogs.answerFolder(db.folder() + "/gone");
        actions.BackupDatabase();
        QVERIFY(dialogs.lastText().startsWith(QStringLiteral("备份失败！\n")));
        QVERIFY(dialogs.lastText().size() > 6);
    }

    void restore() {
        FILE_DATABASE_ONLY();
        TestDatabase db;
        db.addRecord("OLD", "2024-01-01 10:00:00", "1");
        QTemporaryDir other;
        const QString chosen = other.filePath("DataBase.mdb");
        QCOMPARE(Schema::CreateDatabase(chosen, PasswordHash::CheapestCost), QString());
        FakeDialogs dialogs;
        FixedClock clock(QDateTime(QDate(2026, 12, 6), QTime(21, 30, 0)));
        DatabaseActions actions(dialogs, &clock);

        actions.OnRestore(); // cancelled
        QCOMPARE(dialogs.requests().first(), QStringLiteral("file:(*.mdb)|") + QDir::homePath());
        QVERIFY(dialogs.shown().isEmpty());

        QFile text(other.filePath("notes.mdb"));
        QVERIFY(text.open(QIODevice::WriteOnly));
        text.write("hello\n");
        text.close();
        dialogs.answerFile(text.fileName());
        actions.OnRestore();
        QVERIFY(dialogs.lastText().startsWith(QStringLiteral("数据库还原失败！\n")));
        QCOMPARE(db.scalar("SELECT 卡号 FROM employees"), QStringLiteral("OLD"));

        // The working file itself: refused with its reason, not "restored".
        dialogs.answerFile(db.path());
        QVERIFY(!actions.OnRestore());
        QCOMPARE(dialogs.lastText(),
                 QStringLiteral("数据库还原失败！\n") + DatabaseCopy::SameFileText());

        // What the restore costs is asked first; 否, the default, replaces nothing.
        const QString kept = db.path() + ".2026-12-06_213000.bak";
        const QString question =
            QStringLiteral("还原将用所选文件替换正在使用的数据库。\n所选文件：%1\n"
                           "所选文件中没有充值记录。\n正在使用的数据库中有 1 条充值记录和 0 "
                           "条操作日志是所选文件没有的，还原后它们不在账本中。\n"
                           "正在使用的数据库将保存为：%2\n\n确定还原吗？")
                .arg(chosen, kept);
        dialogs.answerFile(chosen);
        QVERIFY(!actions.OnRestore());
        QCOMPARE(dialogs.questions(), QStringList{question});
        QCOMPARE(dialogs.lastText(), question);
        QCOMPARE(db.scalar("SELECT 卡号 FROM employees"), QStringLiteral("OLD"));
        QCOMPARE(QDir(db.folder()).entryList(QDir::Files | QDir::Hidden),
                 QStringList{"DataBase.mdb"});

        dialogs.answerFile(chosen);
        dialogs.answerQuestion(true);
        QVERIFY(actions.OnRestore());
        QCOMPARE(dialogs.lastText(), QStringLiteral("数据库还原成功！\n原数据库已保存为：") + kept);
        QCOMPARE(db.scalar("SELECT count(*) FROM employees"), QStringLiteral("0"));
        QVERIFY(QFile::exists(kept));
        // Every later reader sees the restored data.
        CAdoConn conn;
        conn.OpenConnection();
        QVERIFY(conn.OpenRecordset(Statements::Records)->IsEOF());
    }

    // An Access file of the legacy desk, whatever its name, is offered as an import; taken, it
    // takes the working file's place as a restore's copy does, and its report is shown.
    void restoreOfALegacyFileImportsIt() {
        FILE_DATABASE_ONLY();
        TestDatabase db;
        db.addRecord("OLD", "2024-01-01 10:00:00", "1");
        QTemporaryDir other;
        const QString chosen = other.filePath("DataBase.mdb");
        QVERIFY(QFile::copy(QStringLiteral(VELKAR_LEGACY_DIR "/legacy-edge.mdb"), chosen));
        FakeDialogs dialogs;
        FixedClock clock(QDateTime(QDate(2026, 12, 6), QTime(21, 30, 0)));
        DatabaseActions actions(dialogs, &clock);
        actions.copyOptions.passwordCost = PasswordHash::CheapestCost;

        // Answers the offer with `take`, and closes the report once it shows, keeping it.
        bool take = false;
        QString offered, summary, report;
        QTimer answer;
        connect(&answer, &QTimer::timeout, [&] {
            QWidget* window = QApplication::activeModalWidget();
            if (!window || window->objectName() != QLatin1String("CLegacyImportDlg"))
                return;
            auto* import = window->findChild<QPushButton*>("importButton");
            const QString text = window->findChild<QLabel*>("textLabel")->text();
            if (import->isVisible()) {
                offered = text;
                window->findChild<QPushButton*>(take ? "importButton" : "cancelButton")->click();
            } else {
                summary = text;
                report = window->findChild<QPlainTextEdit*>("reportText")->toPlainText();
                window->findChild<QPushButton*>("closeButton")->click();
            }
        });
        answer.start(20);

        dialogs.answerFile(chosen);
        QVERIFY(!actions.OnRestore());
        QVERIFY(offered.contains(chosen));
        QCOMPARE(db.scalar("SELECT 卡号 FROM employees"), QStringLiteral("OLD"));

        take = true;
        dialogs.answerFile(chosen);
        QVERIFY(actions.OnRestore());
        const QString kept = db.path() + ".2026-12-06_213000.bak";
        QVERIFY(QFile::exists(kept));
        QCOMPARE(summary,
                 Messages::LegacyImportDone(kept, QDir(db.folder()).filePath("import-report.txt")));
        QVERIFY(report.contains("全部：11 条，合计 219276"));
        QVERIFY(
            report.contains(QStringLiteral("目标：") + QFileInfo(db.path()).absoluteFilePath()));
        QFile written(QDir(db.folder()).filePath("import-report.txt"));
        QVERIFY(written.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(written.readAll()), report);
        // The working file is the import now: its trail opens with the import, then the restore.
        QCOMPARE(db.scalar("SELECT count(*) FROM employees"), QStringLiteral("11"));
        QCOMPARE(db.scalar("SELECT group_concat(action, ',') FROM audit"),
                 QStringLiteral("导入旧版数据库,还原"));
        QCOMPARE(Schema::CheckDatabase(db.path()), QString());
        // Nothing of the import's own is left beside it.
        QCOMPARE(QDir(db.folder()).entryList({"*.legacy", "*.part"}, QDir::Files), QStringList());
    }

    // A locked file makes the backup wait, but the window thread serves events meanwhile and
    // the wait ends with the reason.
    void backupOfALockedFileFailsWithoutFreezing() {
        FILE_DATABASE_ONLY();
        TestDatabase db;
        QTemporaryDir folder;
        FakeDialogs dialogs;
        DatabaseActions actions(dialogs);
        // Waited out three times: the audit entry, the copy, the entry of its failure.
        actions.copyOptions.lockTimeoutMs = 150;
        Connection locker(db.path());
        Query(locker, "BEGIN EXCLUSIVE").next();
        Query(locker, "INSERT INTO employees VALUES ('L', '2024-01-01 10:00:00', 1)").next();
        int ticks = 0;
        QTimer repaint;
        connect(&repaint, &QTimer::timeout, [&] { ++ticks; });
        repaint.start(5);
        dialogs.answerFolder(folder.path());
        actions.BackupDatabase();
        QCOMPARE(dialogs.lastText(), QStringLiteral("备份失败！\n") + LockedText(150));
        QVERIFY2(ticks >= 10, qPrintable(QString::number(ticks)));
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden), QStringList());
        Query(locker, "ROLLBACK").next();

        dialogs.answerFolder(folder.path());
        actions.BackupDatabase();
        QCOMPARE(dialogs.lastText(), QStringLiteral("备份完成！"));
    }

    // A second backup into the same folder keeps the first, and says where.
    void backupKeepsTheEarlierBackupAndNamesBoth() {
        TestDatabase db;
        QTemporaryDir folder;
        FakeDialogs dialogs;
        FixedClock clock(QDateTime(QDate(2026, 12, 6), QTime(21, 30, 0)));
        DatabaseActions actions(dialogs, &clock);
        dialogs.answerFolder(folder.path());
        actions.BackupDatabase();
        QCOMPARE(dialogs.lastText(), QStringLiteral("备份完成！"));
        db.addRecord("A", "2024-01-01 10:00:00", "100");
        dialogs.answerFolder(folder.path());
        actions.BackupDatabase();
        const QString target = folder.filePath("DataBase.mdb");
        QCOMPARE(
            dialogs.lastText(),
            QStringLiteral("备份完成！\n备份文件：%1\n原有的备份已保存为：%1.2026-12-06_213000.bak")
                .arg(target));
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files),
                 (QStringList{"DataBase.mdb", "DataBase.mdb.2026-12-06_213000.bak"}));
    }

    void promptYesBacksUpNoDoesNot() {
        int backups = 0;
        {
            CBackupPromptDlg prompt([&] { ++backups; });
            QCOMPARE(prompt.windowTitle(), QStringLiteral("信息提示"));
            prompt.show();
            control<QPushButton>(&prompt, "noButton")->click(); // 否
            QCOMPARE(prompt.result(), int(QDialog::Accepted));
            QCOMPARE(backups, 0);
        }
        {
            CBackupPromptDlg prompt([&] { ++backups; });
            prompt.show();
            control<QPushButton>(&prompt, "yesButton")->click(); // 是
            QCOMPARE(prompt.result(), int(QDialog::Accepted));
            QCOMPARE(backups, 1);
        }
        // 取消 and Escape: no backup, and the prompt ends Rejected, which keeps the desk open.
        {
            CBackupPromptDlg prompt([&] { ++backups; });
            prompt.show();
            QTest::keyClick(&prompt, Qt::Key_Escape);
            QCOMPARE(prompt.result(), int(QDialog::Rejected));
            QCOMPARE(backups, 1);
        }
        {
            CBackupPromptDlg prompt([&] { ++backups; });
            prompt.show();
            auto* cancel = control<QPushButton>(&prompt, "cancelButton");
            QCOMPARE(cancel->text(), QStringLiteral("取消"));
            cancel->click();
            QCOMPARE(prompt.result(), int(QDialog::Rejected));
            QCOMPARE(backups, 1);
        }
    }

    void promptYesWithACancelledChooserCopiesNothing() {
        TestDatabase db;
        FakeDialogs dialogs;
        DatabaseActions actions(dialogs);
        // Where a copy into an empty folder name would land: the root, or beside the working
        // file. Whatever is there already stays as it is.
        const auto stateOf = [](const QString& path) {
            const QFileInfo info(path);
            return info.exists() ? info.lastModified() : QDateTime();
        };
        const QString inRoot = DatabaseCopy::BackupTarget(QDir::rootPath());
        const QDateTime rootBefore = stateOf(inRoot);
        const QStringList besideBefore = QDir(db.folder()).entryList(QDir::Files);
        CBackupPromptDlg prompt([&] { actions.BackupDatabase(); });
        prompt.show();
        control<QPushButton>(&prompt, "yesButton")->click();
        QVERIFY(!prompt.isVisible());
        QCOMPARE(dialogs.requests().size(), 1); // the chooser was offered
        QVERIFY(dialogs.shown().isEmpty());
        QCOMPARE(stateOf(inRoot), rootBefore);
        QCOMPARE(QDir(db.folder()).entryList(QDir::Files), besideBefore);
        QCOMPARE(db.scalar("SELECT count(*) FROM audit"), QStringLiteral("0")); // no backup begun
    }
};

QTEST_MAIN(TestDatabaseActions)
#include "tst_database_actions.moc"
