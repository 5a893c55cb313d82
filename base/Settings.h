#pragma once

#include "base/ReaderChoice.h"

#include <QSize>
#include <QString>
#include <QStringList>

#include <memory>

class QSettings;
class QVariant;

namespace velkar {

// What the program remembers between runs, in an INI file in the user's config folder
// (~/.config/Velkar/Velkar.conf). A damaged file is set aside and replaced by the defaults (one
// naming a server ledger is left in place), and a value that makes no sense falls back to its
// default; both say so on standard error.
class Settings {
public:
    // The user's settings file; XDG_CONFIG_HOME is honoured.
    static QString UserFile();

    // A tool that only reads them never writes the file, also when it is damaged.
    enum class Access { ReadWrite, ReadOnly };

    explicit Settings(const QString& file = UserFile(), Access access = Access::ReadWrite);
    ~Settings();
    Settings(const Settings&) = delete;
    Settings& operator=(const Settings&) = delete;

    // The settings file itself.
    QString file() const { return m_file; }

    // Where the database lives; by default ~/Velkar. Always absolute.
    QString workingFolder() const { return m_workingFolder; }
    void setWorkingFolder(const QString& folder);

    // Where the last backup went; empty before the first.
    QString lastBackupFolder() const { return m_lastBackupFolder; }
    void setLastBackupFolder(const QString& folder);

    // The shared ledger's postgresql:// URI, or another database file; empty for the working
    // folder's own DataBase.mdb. Set by hand in the file: a counter moves onto a server once.
    QString database() const { return m_database; }

    // The size the desk had when it was last closed; invalid before.
    QSize deskSize() const { return m_deskSize; }
    void setDeskSize(const QSize& size);

    ReaderChoice readerChoice() const { return m_readerChoice; }
    void setReaderChoice(ReaderChoice choice);

    // The file was damaged: where its text is now, beside it (Velkar.conf.damaged) or, when it
    // named a server ledger, the file itself, left as it was. Empty when it was sound.
    QString damagedKeptAs() const { return m_damagedKeptAs; }
    // The server ledger (postgresql://…) a damaged file named. Such a file is never replaced by
    // the defaults, which would put the desk on a local file beside the shared ledger.
    QString damagedServerLedger() const { return m_damagedServerLedger; }
    // The slip printed after each booking: Receipt=off (the default), 58mm or 80mm, on the
    // printer ReceiptPrinter names (empty: the system's default; a name ending in .pdf: that
    // file).
    enum class Receipt { Off, Mm58, Mm80 };
    Receipt receipt() const { return m_receipt; }
    QString receiptPrinter() const { return m_receiptPrinter; }

    // Where the backups made at each 交班 and at exit go (empty: none are made), and how many
    // of them are kept.
    QString autoBackupFolder() const { return m_autoBackupFolder; }
    int autoBackupKeep() const { return m_autoBackupKeep; }

    // The highest Z number this desk printed, remembered apart from the ledger.
    qint64 highestZNumber() const { return m_highestZNumber; }
    void setHighestZNumber(qint64 z);

    // The newest audit entry this desk found its ledger's hash chain intact up to, so that the
    // next check walks only the entries after it. Kept here, out of reach of whoever edits the
    // ledger, who could otherwise move the mark past an entry changed by hand; a row in the
    // ledger would besides be shared by desks that each check for themselves.
    struct CheckedTrail {
        QString ledger; // the ledger's location it holds for
        qint64 id = 0;  // 0: none
        QString hash;
    };
    CheckedTrail checkedTrail() const { return m_checkedTrail; }
    // An id of 0 forgets it: the next check walks the whole chain.
    void setCheckedTrail(const CheckedTrail& trail);

    // Stored password hashes this desk already tried against the delivered password, each by a
    // digest of its text (64 hexadecimal digits): those found to hold it and those found not
    // to. A hash's text changes with its password, so a verdict spares trying it again.
    struct TriedPasswords {
        QStringList delivered;
        QStringList other;
        bool operator==(const TriedPasswords&) const = default;
    };
    TriedPasswords triedPasswords() const { return m_triedPasswords; }
    void setTriedPasswords(const TriedPasswords& tried);

    static QString DefaultWorkingFolder();
    static QString ReaderChoiceText(ReaderChoice choice);

private:
    void load();
    void loadReceiptAndBackups();
    void loadReaderChoice();
    std::optional<QString> textAt(const QString& key) const;
    void replaceDamagedFile();
    void write(const QString& key, const QVariant& value);

    QString m_file;
    std::unique_ptr<QSettings> m_store;
    QString m_workingFolder;
    QString m_lastBackupFolder;
    QString m_database;
    QSize m_deskSize;
    ReaderChoice m_readerChoice = ReaderChoice::Real;
    Receipt m_receipt = Receipt::Off;
    QString m_receiptPrinter;
    QString m_autoBackupFolder;
    int m_autoBackupKeep = 30;
    qint64 m_highestZNumber = 0;
    CheckedTrail m_checkedTrail;
    TriedPasswords m_triedPasswords;
    bool m_readOnly = false;
    QString m_damagedKeptAs;
    QString m_damagedServerLedger;
};

// The folder the program works in: VELKAR_DIR when set, else the one the settings name.
QString ChosenWorkingFolder(const Settings& settings);

} // namespace velkar
