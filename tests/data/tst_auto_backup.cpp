// Backups that make themselves: named by their time, checked, rotated.
#include "support/TestDatabase.h"

#include "data/AdoConn.h"
#include "data/AutoBackup.h"
#include "data/Schema.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace velkar;

namespace {

QDateTime at(int day, int hour, int minute = 0, int second = 0) {
    return QDateTime(QDate(2024, 5, day), QTime(hour, minute, second));
}

void touch(const QString& path) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("not ours");
}

} // namespace

class TestAutoBackup : public QObject {
    Q_OBJECT

private slots:
    void namesTellTheirTime() {
        QCOMPARE(AutoBackup::FileName(at(6, 16, 0, 5)),
                 QStringLiteral("DataBase-2024-05-06_160005.mdb"));
        QCOMPARE(AutoBackup::FileName(at(6, 16), 2),
                 QStringLiteral("DataBase-2024-05-06_160000-2.mdb"));
        QCOMPARE(AutoBackup::MadeAt(QStringLiteral("DataBase-2024-05-06_160005.mdb")),
                 at(6, 16, 0, 5));
        QCOMPARE(AutoBackup::MadeAt(QStringLiteral("DataBase-2024-05-06_160005-3.mdb")),
                 at(6, 16, 0, 5));
        for (const char* other : {"DataBase.mdb", "DataBase-2024-13-06_160005.mdb",
                                  "DataBase-2024-05-06_160005.mdb.part", "x-2024-05-06_160005.mdb"})
            QVERIFY2(!AutoBackup::MadeAt(QString::fromLatin1(other)).isValid(), other);
        QVERIFY(AutoBackup::Overdue(std::nullopt, at(6, 8)));
        QVERIFY(!AutoBackup::Overdue(at(5, 9), at(6, 8)));
        QVERIFY(AutoBackup::Overdue(at(5, 7, 59), at(6, 8)));
    }

    // Each run adds a checked copy; beyond the count the oldest go, and nothing that is not one
    // of ours is touched.
    void backupsRotate() {
        TestDatabase db;
        db.addRecord("0000ABCD", "2024-05-06 07:00:00", "100");
        QTemporaryDir folder;
        touch(folder.filePath(QStringLiteral("DataBase.mdb")));
        touch(folder.filePath(QStringLiteral("notes.txt")));
        QStringList made;
        for (int i = 0; i < 5; ++i) {
            const AutoBackup::Result r = AutoBackup::Run(db.path(), folder.path(), 3, at(6, 8 + i));
            QCOMPARE(r.problem, QString());
            QCOMPARE(r.rotateProblem, QString());
            made << r.path;
            QCOMPARE(Schema::CheckDatabase(r.path), QString());
            QCOMPARE(r.removed.size(), i < 3 ? 0 : 1);
            if (i >= 3)
                QCOMPARE(r.removed.front(), made[i - 3]);
        }
        QCOMPARE(AutoBackup::Backups(folder.path()),
                 (QStringList{"DataBase-2024-05-06_120000.mdb", "DataBase-2024-05-06_110000.mdb",
                              "DataBase-2024-05-06_100000.mdb"}));
        QVERIFY(QFile::exists(folder.filePath(QStringLiteral("DataBase.mdb"))));
        QVERIFY(QFile::exists(folder.filePath(QStringLiteral("notes.txt"))));
        QCOMPARE(AutoBackup::Newest(folder.path()), std::optional(at(6, 12)));
        // What the copy holds is the ledger.
        const Connection copy(made.last());
        Query q(copy, QStringLiteral("SELECT 卡号 FROM employees"));
        QVERIFY(q.next());
        QCOMPARE(q.text(0), QStringLiteral("0000ABCD"));
    }

    // Two in the same second: the second gets a name of its own, and both count.
    void theSameSecondTwice() {
        TestDatabase db;
        QTemporaryDir folder;
        const AutoBackup::Result first = AutoBackup::Run(db.path(), folder.path(), 2, at(6, 9));
        const AutoBackup::Result second = AutoBackup::Run(db.path(), folder.path(), 2, at(6, 9));
        QCOMPARE(QFileInfo(second.path).fileName(),
                 QStringLiteral("DataBase-2024-05-06_090000-2.mdb"));
        const AutoBackup::Result third = AutoBackup::Run(db.path(), folder.path(), 2, at(6, 9, 1));
        QCOMPARE(third.removed, QStringList{first.path});
    }

    // A copy that fails removes nothing: the backups there are all that is left.
    void aFailedCopyKeepsTheOldOnes() {
        FILE_DATABASE_ONLY();
        TestDatabase db;
        QTemporaryDir folder;
        for (int i = 0; i < 2; ++i)
            QCOMPARE(AutoBackup::Run(db.path(), folder.path(), 2, at(6, 8 + i)).problem, QString());
        const AutoBackup::Result failed = AutoBackup::Run(
            folder.filePath(QStringLiteral("missing.mdb")), folder.path(), 2, at(6, 11));
        QVERIFY(!failed.problem.isEmpty());
        QVERIFY(failed.path.isEmpty());
        QCOMPARE(AutoBackup::Backups(folder.path()).size(), 2);
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files).size(), 2); // no part file left
        // A folder that can't be made.
        touch(folder.filePath(QStringLiteral("file")));
        QVERIFY(
            !AutoBackup::Run(db.path(), folder.filePath(QStringLiteral("file/sub")), 2, at(6, 12))
                 .problem.isEmpty());
    }

    void aMissingFolderIsMade() {
        TestDatabase db;
        QTemporaryDir parent;
        const QString folder = parent.filePath(QStringLiteral("a/b"));
        const AutoBackup::Result r = AutoBackup::Run(db.path(), folder, 30, at(6, 8));
        QCOMPARE(r.problem, QString());
        QCOMPARE(QFileInfo(r.path).absolutePath(), QDir(folder).absolutePath());
        // Cardholders and password hashes: for the user alone, the folders made too.
        QCOMPARE(QFileInfo(r.path).permissions() & 0x0077, QFileDevice::Permissions());
        QCOMPARE(QFileInfo(folder).permissions() & 0x0077, QFileDevice::Permissions());
    }
};

QTEST_GUILESS_MAIN(TestAutoBackup)
#include "tst_auto_backup.moc"
