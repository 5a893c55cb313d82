#include "base/Messages.h"

#include <QFile>
#include <QLibraryInfo>
#include <QRegularExpression>
#include <QtTest>

using namespace velkar;

class TestMessages : public QObject {
    Q_OBJECT

private slots:
    // The core and the windows both include the catalogue, so it may lean on nothing but Qt Core.
    void catalogueStandsOnQtCoreAlone() {
        QFile header(QStringLiteral(VELKAR_SOURCE_DIR "/base/Messages.h"));
        QVERIFY(header.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(header.readAll());
        const QString qtCore = QLibraryInfo::path(QLibraryInfo::HeadersPath) + "/QtCore/";
        int includes = 0;
        const QRegularExpression include(QStringLiteral(R"(^\s*#\s*include\s*(\S+))"),
                                         QRegularExpression::MultilineOption);
        for (const QRegularExpressionMatch& m : include.globalMatch(text)) {
            const QString name = m.captured(1);
            QVERIFY2(name.startsWith('<') && name.endsWith('>'), qPrintable(name));
            QVERIFY2(QFile::exists(qtCore + name.mid(1, name.size() - 2)), qPrintable(name));
            ++includes;
        }
        QVERIFY(includes > 0);
    }

    // Paths, reasons and typed fields go into the texts as they are, even when they hold what
    // looks like a placeholder.
    void argumentsAreKeptAsTheyAre() {
        const QString odd = QStringLiteral("/tmp/%1 %2/100%");
        const QStringList texts{
            Messages::CannotCreateFolder(odd),
            Messages::CannotEnterFolder(odd),
            Messages::CannotCreateDatabase(odd, odd),
            Messages::CannotWrite(odd),
            Messages::CannotRead(odd),
            Messages::DoesNotExist(odd),
            Messages::NotAFile(odd),
            Messages::ChangedWhileReading(odd),
            Messages::FolderMissing(odd),
            Messages::DatabaseFileMissing(odd),
            Messages::NotAServerDatabase(odd),
            Messages::BackupTarget(odd),
            Messages::BackupTargetFailed(odd, odd),
            Messages::RestoredFrom(odd, odd),
            Messages::BackupFailed(odd),
            Messages::RestoreFailed(odd),
            Messages::ExportFailed(odd),
            Messages::OperationFailedWith(odd),
            Messages::ReasonThenOperationFailed(odd),
            Messages::AuditTrailChanged(odd),
            Messages::AccountDetail(odd),
            Messages::JournalAuditHead(7, odd),
            Messages::MismatchDetails(odd, odd, odd, odd),
            Messages::CardOnReader(odd, odd),
            Messages::CardholderDetail(odd, odd, odd, odd, odd, odd),
            Messages::ChangedFromTo(odd, odd),
        };
        for (const QString& text : texts)
            QVERIFY2(text.contains(odd), qPrintable(text));
        QCOMPARE(Messages::CardholderDetail(odd, odd, odd, odd, odd, odd).count(odd), 6);
        QCOMPARE(Messages::MismatchDetails(odd, odd, odd, odd).count(odd), 4);
    }

    void numbersAreWrittenAsTheDeskShowsThem() {
        QCOMPARE(Messages::DeviceConnected(0x483, 0x5750, 0x200),
                 QStringLiteral("设备已连接,VID=483PID=5750 VER=200 "));
        QCOMPARE(Messages::ColumnOrder(QStringLiteral("userecord"), 2, QStringLiteral("姓名"),
                                       QStringLiteral("卡号")),
                 QStringLiteral("表 userecord 的第 2 列是 姓名，应为 卡号"));
        QCOMPARE(Messages::PageOfWritten(QStringLiteral("1"), QStringLiteral("12")),
                 QStringLiteral("第 1 页  共 12 页"));
    }
};

QTEST_GUILESS_MAIN(TestMessages)
#include "tst_messages.moc"
