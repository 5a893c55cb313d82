#include "base/Settings.h"

#include "base/Messages.h"
#include "base/PrivateFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>

#include <algorithm>
#include <cstdio>
#include <optional>

namespace velkar {

namespace {

const QString WorkingFolderKey = QStringLiteral("WorkingFolder");
const QString LastBackupFolderKey = QStringLiteral("LastBackupFolder");
const QString ReaderKey = QStringLiteral("Reader");
const QString DatabaseKey = QStringLiteral("Database");
const QString DeskSizeKey = QStringLiteral("DeskSize");
const QString ReceiptKey = QStringLiteral("Receipt");
const QString ReceiptPrinterKey = QStringLiteral("ReceiptPrinter");
const QString AutoBackupFolderKey = QStringLiteral("AutoBackupFolder");
const QString AutoBackupKeepKey = QStringLiteral("AutoBackupKeep");
const QString HighestZNumberKey = QStringLiteral("HighestZNumber");
const QString CheckedLedgerKey = QStringLiteral("AuditChecked/Ledger");
const QString CheckedIdKey = QStringLiteral("AuditChecked/Id");
const QString CheckedHashKey = QStringLiteral("AuditChecked/Hash");
const QString TriedGroup = QStringLiteral("PasswordsTried");
const QString TriedDeliveredKey = QStringLiteral("PasswordsTried/Delivered");
const QString TriedOtherKey = QStringLiteral("PasswordsTried/Other");
constexpr int DefaultAutoBackupKeep = 30;

// A digest of another form is no verdict: that hash is simply tried again.
QStringList digestsAt(const QSettings& store, const QString& key) {
    static const QRegularExpression digestForm(QStringLiteral("^[0-9a-f]{64}$"));
    QStringList kept = store.value(key).toStringList();
    kept.removeIf([](const QString& d) { return !digestForm.match(d).hasMatch(); });
    return kept;
}

void complain(const QString& line) {
    std::fprintf(stderr, "velkar: %s\n", qUtf8Printable(line));
}

// A folder typed by hand may start with ~ or be relative; both mean the home folder.
QString absoluteFolder(const QString& text) {
    QString folder = text.trimmed();
    if (folder == QLatin1String("~"))
        return QDir::homePath();
    if (folder.startsWith(QLatin1String("~/")))
        folder = QDir::homePath() + folder.mid(1);
    return QDir::cleanPath(QDir::home().absoluteFilePath(folder));
}

std::optional<ReaderChoice> parseReaderChoice(const QString& text) {
    for (ReaderChoice choice :
         {ReaderChoice::Real, ReaderChoice::Simulated, ReaderChoice::Automatic}) {
        if (text.trimmed().compare(Settings::ReaderChoiceText(choice), Qt::CaseInsensitive) == 0)
            return choice;
    }
    return std::nullopt;
}

// The first server ledger a file names anywhere, read as plain text: a damaged file's lines
// may be out of their section, or cut.
QString serverLedgerIn(const QString& file) {
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    static const QRegularExpression uri(QStringLiteral(R"(postgres(?:ql)?://[^\s"';]+)"),
                                        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch found = uri.match(QString::fromUtf8(f.read(1 << 20)));
    return found.hasMatch() ? found.captured() : QString();
}

} // namespace

QString Settings::UserFile() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/Velkar/Velkar.conf");
}

QString Settings::DefaultWorkingFolder() {
    return QDir::home().filePath(QStringLiteral("Velkar"));
}

QString Settings::ReaderChoiceText(ReaderChoice choice) {
    switch (choice) {
    case ReaderChoice::Simulated:
        return QStringLiteral("simulated");
    case ReaderChoice::Automatic:
        return QStringLiteral("automatic");
    case ReaderChoice::Real:
        break;
    }
    return QStringLiteral("real");
}

Settings::Settings(const QString& file, Access access)
    : m_file(file), m_readOnly(access == Access::ReadOnly) {
    load();
}

Settings::~Settings() = default;

void Settings::load() {
    m_store = std::make_unique<QSettings>(m_file, QSettings::IniFormat);
    if (m_store->status() != QSettings::NoError)
        replaceDamagedFile();

    const std::optional<QString> folder = textAt(WorkingFolderKey);
    if (folder && !folder->trimmed().isEmpty()) {
        m_workingFolder = absoluteFolder(*folder);
    } else {
        if (folder)
            complain(
                Messages::SettingNamesNoFolder(WorkingFolderKey, m_file, DefaultWorkingFolder()));
        m_workingFolder = DefaultWorkingFolder();
        // Written out so that whoever opens the file sees what can be set.
        write(WorkingFolderKey, m_workingFolder);
    }

    const std::optional<QString> backup = textAt(LastBackupFolderKey);
    if (backup && !backup->trimmed().isEmpty())
        m_lastBackupFolder = absoluteFolder(*backup);

    m_database = textAt(DatabaseKey).value_or(QString()).trimmed();
    // Written by the desk itself; a value that is no size is simply not remembered.
    m_deskSize = m_store->value(DeskSizeKey).toSize();

    loadReceiptAndBackups();
    m_highestZNumber = std::max<qint64>(m_store->value(HighestZNumberKey).toLongLong(), 0);
    {
        // Anything but an id and a hash of the chain's form is no mark: the whole chain is walked.
        static const QRegularExpression hashForm(QStringLiteral("^[0-9a-f]{64}$"));
        CheckedTrail trail{textAt(CheckedLedgerKey).value_or(QString()),
                           m_store->value(CheckedIdKey).toLongLong(),
                           textAt(CheckedHashKey).value_or(QString())};
        if (!trail.ledger.isEmpty() && trail.id > 0 && hashForm.match(trail.hash).hasMatch())
            m_checkedTrail = trail;
        m_triedPasswords = {digestsAt(*m_store, TriedDeliveredKey),
                            digestsAt(*m_store, TriedOtherKey)};
    }

    loadReaderChoice();
}

// A value of the wrong kind (a list, a damaged variant) reads as no text at all.
std::optional<QString> Settings::textAt(const QString& key) const {
    if (!m_store->contains(key))
        return std::nullopt;
    const QVariant value = m_store->value(key);
    if (value.typeId() != QMetaType::QString)
        return QString();
    return value.toString();
}

void Settings::loadReceiptAndBackups() {
    if (const std::optional<QString> receipt = textAt(ReceiptKey)) {
        const QString value = receipt->trimmed().toLower();
        if (value == QLatin1String("58mm"))
            m_receipt = Receipt::Mm58;
        else if (value == QLatin1String("80mm"))
            m_receipt = Receipt::Mm80;
        else if (value != QLatin1String("off"))
            complain(Messages::SettingNoReceipt(ReceiptKey + QLatin1Char('=') + *receipt, m_file));
    }
    m_receiptPrinter = textAt(ReceiptPrinterKey).value_or(QString()).trimmed();
    if (const std::optional<QString> folder = textAt(AutoBackupFolderKey);
        folder && !folder->trimmed().isEmpty())
        m_autoBackupFolder = absoluteFolder(*folder);
    if (m_store->contains(AutoBackupKeepKey)) {
        bool number = false;
        const int keep = m_store->value(AutoBackupKeepKey).toString().trimmed().toInt(&number);
        if (number && keep >= 1)
            m_autoBackupKeep = keep;
        else
            complain(Messages::SettingNoBackupCount(
                AutoBackupKeepKey + QLatin1Char('=') + m_store->value(AutoBackupKeepKey).toString(),
                m_file, DefaultAutoBackupKeep));
    }
}

void Settings::loadReaderChoice() {
    const std::optional<QString> reader = textAt(ReaderKey);
    const std::optional<ReaderChoice> choice = reader ? parseReaderChoice(*reader) : std::nullopt;
    if (choice) {
        m_readerChoice = *choice;
    } else {
        if (reader)
            complain(
                Messages::SettingNoReaderChoice(ReaderKey + QLatin1Char('=') + *reader, m_file));
        m_readerChoice = ReaderChoice::Real;
        write(ReaderKey, ReaderChoiceText(m_readerChoice));
    }
}

// The damaged file is kept beside the new one, so nothing typed into it is lost for good.
void Settings::replaceDamagedFile() {
    m_damagedServerLedger = serverLedgerIn(m_file);
    if (m_readOnly || !m_damagedServerLedger.isEmpty()) {
        // What takes its place for this run is never written: the file stays as it was.
        m_readOnly = true;
        if (m_damagedServerLedger.isEmpty()) {
            complain(Messages::SettingsUnreadable(m_file));
        } else {
            m_damagedKeptAs = m_file;
            complain(Messages::SettingsDamagedServerLine(m_file, m_damagedServerLedger));
        }
        m_store = std::make_unique<QSettings>(QString(), QSettings::IniFormat);
        return;
    }
    m_store.reset();
    const QString aside = m_file + QStringLiteral(".damaged");
    QFile::remove(aside);
    if (QFileInfo(m_file).isFile() && QFile::rename(m_file, aside)) {
        m_damagedKeptAs = aside;
        complain(Messages::SettingsDamaged(m_file, aside));
    } else {
        complain(Messages::SettingsUnreadable(m_file));
    }
    m_store = std::make_unique<QSettings>(m_file, QSettings::IniFormat);
    m_store->clear();
}

void Settings::write(const QString& key, const QVariant& value) {
    if (m_readOnly)
        return;
    // They name the ledger and the working folder: the user's alone, as the rest of the desk's.
    PrivateFile::MakeFolder(QFileInfo(m_file).absolutePath());
    m_store->setValue(key, value);
    m_store->sync();
    PrivateFile::Restrict(m_file);
}

void Settings::setDeskSize(const QSize& size) {
    m_deskSize = size;
    write(DeskSizeKey, size);
}

QString ChosenWorkingFolder(const Settings& settings) {
    const QString forced = qEnvironmentVariable("VELKAR_DIR").trimmed();
    if (!forced.isEmpty())
        return QDir::cleanPath(QDir::current().absoluteFilePath(forced));
    return settings.workingFolder();
}

void Settings::setWorkingFolder(const QString& folder) {
    m_workingFolder = absoluteFolder(folder);
    write(WorkingFolderKey, m_workingFolder);
}

void Settings::setLastBackupFolder(const QString& folder) {
    m_lastBackupFolder = absoluteFolder(folder);
    write(LastBackupFolderKey, m_lastBackupFolder);
}

void Settings::setHighestZNumber(qint64 z) {
    if (z <= m_highestZNumber)
        return;
    m_highestZNumber = z;
    write(HighestZNumberKey, z);
}

void Settings::setCheckedTrail(const CheckedTrail& trail) {
    m_checkedTrail = trail.id > 0 ? trail : CheckedTrail{};
    if (m_readOnly)
        return;
    PrivateFile::MakeFolder(QFileInfo(m_file).absolutePath());
    if (m_checkedTrail.id > 0) {
        m_store->setValue(CheckedLedgerKey, m_checkedTrail.ledger);
        m_store->setValue(CheckedIdKey, m_checkedTrail.id);
        m_store->setValue(CheckedHashKey, m_checkedTrail.hash);
    } else {
        m_store->remove(QStringLiteral("AuditChecked"));
    }
    m_store->sync();
    PrivateFile::Restrict(m_file);
}

void Settings::setTriedPasswords(const TriedPasswords& tried) {
    m_triedPasswords = tried;
    if (m_readOnly)
        return;
    PrivateFile::MakeFolder(QFileInfo(m_file).absolutePath());
    m_store->remove(TriedGroup);
    if (!tried.delivered.isEmpty())
        m_store->setValue(TriedDeliveredKey, tried.delivered);
    if (!tried.other.isEmpty())
        m_store->setValue(TriedOtherKey, tried.other);
    m_store->sync();
    PrivateFile::Restrict(m_file);
}

void Settings::setReaderChoice(ReaderChoice choice) {
    m_readerChoice = choice;
    write(ReaderKey, ReaderChoiceText(choice));
}

} // namespace velkar
