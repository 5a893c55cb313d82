#pragma once

#include "data/PasswordHash.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <vector>

namespace velkar {

// Brings the database of the desk before this program (an Access file: cardholders, recharge
// records, accounts) into a new database of this program, every value as it was. What had to be
// repaired is repaired and told, never silently: empty cells, card numbers in lower case or
// with blanks, records without a date or an amount (kept out of the ledger and listed), accounts
// that differ from the seven.
namespace LegacyImport {

struct Options {
    PasswordHash::Cost passwordCost = PasswordHash::ProgramCost;
    // Who the audit trail's entry names, and when; an invalid time is now.
    QString account;
    QDateTime at;
    // Rows done and rows in all, now and then, on the importing thread; (0, 0) while the new
    // database is checked.
    std::function<void(int done, int total)> progress;
    int lockTimeoutMs = 10000;
};

// Records and their amounts as stored, summed.
struct Sum {
    std::int64_t records = 0;
    std::int64_t amount = 0;
};

struct TableCount {
    std::int64_t read = 0;
    std::int64_t imported = 0;
    std::int64_t setAside = 0;
};

struct Report {
    QString source;
    QString target;
    QString format; // Jet3, Jet4, ACE
    QString sha256; // of the source file, in hex
    QDateTime at;
    TableCount cardholders, records, accounts;
    std::map<int, Sum> years; // by the records' year
    Sum all;
    std::int64_t recordsWithoutHolder = 0;
    std::int64_t cardsWithoutHolder = 0;
    // One line each, naming its table and row (counted from 1 in the file's order).
    QStringList repairs;      // values changed so that they could be stored
    QStringList setAside;     // rows not imported, with every value they hold
    QStringList accountNotes; // how the accounts differ from the program's seven
    QStringList notes;        // what was kept as it was but is worth knowing
    double hashSeconds = 0;   // of the whole, spent hashing the passwords
};

struct Result {
    QString problem; // empty once imported
    Report report;
};

// Imports the Access file `source` into `target`: a database file that does not exist yet, or an
// empty server database (postgresql://…). All or nothing: a failed import leaves no file behind
// and the server database as empty as it was. The new database's first audit entry records the
// import, the source's SHA-256 and the counts.
Result Import(const QString& source, const QString& target, const Options& options = {});

// The report for people: counts per table, records and totals per year, every repair, every row
// set aside and how the accounts differ.
QString ReportText(const Report& report);

// ---- The rules, apart from the file ----------------------------------------------------------

// The eight upper-case hexadecimal digits a card number stands for where that is unambiguous
// (blanks around it, lower-case or full-width characters); empty where it stands for none.
QString RepairedCardNo(const QString& text);

// What a cardholder's 卡号 is stored as.
struct CardNoClaim {
    QString stored;        // the number as read or as repaired
    bool repaired = false; // stored differs from the number as read
    // A repair would have collided with the number of the row (counted from 1) named here, so
    // the number is kept as read; 0 for none.
    std::int64_t collidesWith = 0;
    // Another row (named here) holds the same number: the cardholder can't be stored; 0 for none.
    std::int64_t duplicateOf = 0;
};

// The cardholders' numbers, in the file's order. Those that need no repair are taken first, so
// that a repaired number never takes one another row holds as it is.
std::vector<CardNoClaim> ClaimCardNumbers(const QStringList& cardNos);

// One row of the accounts table as read.
struct AccountRow {
    QString name;
    QString password;
    bool unreadable = false; // the password holds characters that could not be read back
};

// The passwords of the seven accounts in their order, from the rows of the accounts table in the
// file's order (rows counted from 1), or from none when the file has no such table. An account
// that is missing, or has no password or one that can't be read, gets the delivered password;
// `notes` gets a line for each difference from the seven in their order.
std::vector<QString> SevenPasswords(const std::optional<std::vector<AccountRow>>& rows,
                                    QStringList* notes, TableCount* count = nullptr);

// Where the report of an import into `target` is written: import-report.txt beside a file, or
// in the current folder for a server database.
QString ReportPath(const QString& target);

// Writes the text as UTF-8; why it failed, or an empty text.
QString WriteReport(const QString& path, const QString& text);

} // namespace LegacyImport

} // namespace velkar
