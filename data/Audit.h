#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

struct sqlite3;

namespace velkar {

class Connection;

// The operators' audit trail: who did what, at which desk, appended and never changed. Each
// entry's hash covers its id, its content and the previous entry's hash, so an entry changed,
// deleted or added by hand is found by Verify.
namespace Audit {

// The actions as stored; the window and the tools show them as stored too.
inline const QString Login = QStringLiteral("登录");
inline const QString LoginRefused = QStringLiteral("登录失败");
inline const QString LeaveDesk = QStringLiteral("退出");
inline const QString Command = QStringLiteral("卡操作");
inline const QString CardholderAdded = QStringLiteral("添加持卡人");
inline const QString CardholderChanged = QStringLiteral("修改持卡人");
inline const QString CardholderDeleted = QStringLiteral("删除持卡人");
inline const QString PasswordChanged = QStringLiteral("修改密码");
inline const QString Backup = QStringLiteral("备份");
inline const QString Restore = QStringLiteral("还原");
inline const QString CardInitEntered = QStringLiteral("进入卡初始化");
inline const QString CardInitLeft = QStringLiteral("退出卡初始化");
inline const QString CardInitLoaded = QStringLiteral("初始化有余额的卡");
inline const QString Mismatch = QStringLiteral("余额不符");
inline const QString LegacyImported = QStringLiteral("导入旧版数据库");
inline const QString CardholdersImported = QStringLiteral("导入持卡人");
inline const QString CardLost = QStringLiteral("挂失");
inline const QString CardUnmarked = QStringLiteral("解挂");
inline const QString LostCardSighted = QStringLiteral("挂失卡出现");
inline const QString DeliveredPasswords = QStringLiteral("出厂密码");
inline const QString ShiftOpened = QStringLiteral("开班");
inline const QString CashCounted = QStringLiteral("清点现金");
inline const QString ShiftClosed = QStringLiteral("交班");
inline const QString Reprinted = QStringLiteral("补打");
inline const QString ReplacementStarted = QStringLiteral("补卡");
inline const QString ReplacementDone = QStringLiteral("补卡完成");
inline const QString BalanceEntered = QStringLiteral("录入余额");
inline const QString CorrectionStarted = QStringLiteral("冲正");
inline const QString CorrectionDone = QStringLiteral("冲正完成");
inline const QString PlanClosed = QStringLiteral("结清");

QStringList Actions();

struct Entry {
    qint64 id = 0;
    QString time; // timestamp text
    QString account;
    QString desk;
    QString action;
    QString details;
    QString hash;
};

// This machine's name, the desk of the entries it writes.
QString ThisDesk();

// An entry's time as the trail keeps it; `at` invalid: now.
QString TimeText(const QDateTime& at);

// Appends one entry. Inside an open transaction it joins it, so the entry commits or rolls back
// with the change it tells of; otherwise it takes its own. `at` invalid: now. Raises DataError.
qint64 Append(const Connection& connection, const QString& account, const QString& desk,
              const QString& action, const QString& details, const QDateTime& at = {});
// The same inside the caller's write transaction, when nobody needs the entry's id: a server
// gets the entry with the transaction's next statement or its commit.
void Add(const Connection& connection, const QString& account, const QString& desk,
         const QString& action, const QString& details, const QDateTime& at = {});

// The same for callers that hold no connection: opens the file, appends, closes. Returns why it
// failed, or an empty text.
QString AppendTo(const QString& databasePath, const QString& account, const QString& action,
                 const QString& details, const QDateTime& at = {}, int busyTimeoutMs = 10000);

// The hash an entry must carry after `previousHash` (empty before the first entry).
QString HashOf(const Entry& entry, const QString& previousHash);

struct Break {
    qint64 id = 0; // the first entry found wrong
    QString what;  // "changed", "deleted", "inserted" or "changed or inserted"
    QString text;  // for people
};

// An entry the chain was found intact up to, by its id and hash; id 0: none.
struct Checkpoint {
    qint64 id = 0;
    QString hash;
};

// Walks the whole chain; nothing when it is intact, and then `head` (when given) names its
// newest entry. Raises DataError. Only reads, so it may be given any open handle, a read-only
// view of a file included.
std::optional<Break> Verify(const Connection& connection, Checkpoint* head = nullptr);
std::optional<Break> Verify(sqlite3* db, Checkpoint* head = nullptr);

// The same for the entries after `checked`, found intact before: the chain is walked from
// there on, the whole of it only when that entry no longer carries that hash. What was
// changed before `checked` without rewriting the hashes after it is left to the full walk.
std::optional<Break> VerifySince(const Connection& connection, const Checkpoint& checked,
                                 Checkpoint* head = nullptr);

struct Filter {
    QString from, to; // dates yyyy-MM-dd, both included; empty: open
    QString account;  // empty: all
    QString action;   // empty: all
};

// One page of the entries that pass `filter`, newest first (by time, then id), those shown
// before `olderThan` (null: from the newest). Reads only the page through an index that holds
// the entries in that order, so it is as quick at a million entries as at ten.
std::vector<Entry> Page(const Connection& connection, const Filter& filter, const Entry* olderThan,
                        int pageSize);

QStringList ColumnHeadings();
QStringList RowTexts(const Entry& entry);

} // namespace Audit

} // namespace velkar
