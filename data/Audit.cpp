#include "data/Audit.h"

#include "base/Messages.h"
#include "data/AdoConn.h"

#include <QSysInfo>

#include <openssl/evp.h>

#include <charconv>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <stdexcept>
#include <string>

namespace velkar {

namespace Audit {

namespace {

// SHA-256 through libcrypto, which uses the processor's SHA instructions where it has them:
// a million entries are hashed at every full check. One context a thread, reused.
class Sha256 {
public:
    Sha256() : m_md(EVP_MD_fetch(nullptr, "SHA256", nullptr)), m_ctx(EVP_MD_CTX_new()) {
        if (!m_md || !m_ctx)
            throw std::bad_alloc();
    }
    ~Sha256() {
        EVP_MD_CTX_free(m_ctx);
        EVP_MD_free(m_md);
    }
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;

    // The digest of `bytes` as 64 lower-case hexadecimal digits into `hex`.
    void hex(const std::string& bytes, char* hex) {
        unsigned char digest[EVP_MAX_MD_SIZE];
        unsigned int length = 0;
        if (EVP_DigestInit_ex2(m_ctx, m_md, nullptr) != 1 ||
            EVP_DigestUpdate(m_ctx, bytes.data(), bytes.size()) != 1 ||
            EVP_DigestFinal_ex(m_ctx, digest, &length) != 1 || length != 32)
            throw std::runtime_error("SHA-256 failed");
        static constexpr char Digits[] = "0123456789abcdef";
        for (unsigned i = 0; i < 32; ++i) {
            hex[2 * i] = Digits[digest[i] >> 4];
            hex[2 * i + 1] = Digits[digest[i] & 15];
        }
    }

private:
    EVP_MD* m_md;
    EVP_MD_CTX* m_ctx;
};

constexpr int HashLength = 64;

// The bytes a hash covers: the id, each field after its length (so no text can pass for the
// end of one field and the start of the next), then the previous entry's hash. `fields` are
// `count` pointers with their lengths.
void hashInto(qint64 id, const char* const* fields, const int* lengths, int count, const char* prev,
              int prevLength, char* hex) {
    // One buffer and one context: a million entries are checked in one go.
    thread_local std::string bytes;
    thread_local Sha256 sha;
    bytes.clear();
    char number[24];
    const auto put = [&](qint64 value) {
        const auto end = std::to_chars(number, number + sizeof number, value).ptr;
        bytes.append(number, std::size_t(end - number));
    };
    put(id);
    for (int i = 0; i < count; ++i) {
        bytes += '\x1f';
        put(lengths[i]);
        bytes += ':';
        bytes.append(fields[i], std::size_t(lengths[i]));
    }
    bytes += '\x1e';
    bytes.append(prev, std::size_t(prevLength));
    sha.hex(bytes, hex);
}

QByteArray hashOfBytes(qint64 id, const QByteArray* fields, int count, const QByteArray& prev) {
    const char* pointers[5];
    int lengths[5];
    for (int i = 0; i < count; ++i) {
        pointers[i] = fields[i].constData();
        lengths[i] = int(fields[i].size());
    }
    QByteArray hex(HashLength, Qt::Uninitialized);
    hashInto(id, pointers, lengths, count, prev.constData(), int(prev.size()), hex.data());
    return hex;
}

// Copies a cell into `to`, reusing its room.
void copyInto(QByteArray& to, const char* bytes, int length) {
    to.resize(length);
    if (length > 0)
        std::memcpy(to.data(), bytes, std::size_t(length));
}

Entry read(const Query& q) {
    return {q.integer(0), q.text(1), q.text(2), q.text(3), q.text(4), q.text(5), q.text(6)};
}

qint64 scalar(Query&& q) {
    return q.next() && !q.isNull(0) ? q.integer(0) : 0;
}

struct Row {
    qint64 id = 0;
    QByteArray fields[5]; // time, account, desk, action, details
    QByteArray hash;
};

bool readRow(Query& q, Row* row) {
    if (!q.next())
        return false;
    row->id = q.integer(0);
    for (int i = 0; i < 6; ++i) {
        int length = 0;
        const char* bytes = q.utf8(i + 1, &length);
        copyInto(i < 5 ? row->fields[i] : row->hash, bytes, length);
    }
    return true;
}

bool holds(const Row& row, const QByteArray& prev) {
    return hashOfBytes(row.id, row.fields, 5, prev) == row.hash;
}

bool looksLikeHash(const QByteArray& hash) {
    if (hash.size() != 64)
        return false;
    for (char c : hash)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return false;
    return true;
}

Break broken(qint64 id, const QString& what) {
    QString text;
    if (what == QLatin1String("deleted"))
        text = Messages::AuditEntryDeleted(id);
    else if (what == QLatin1String("inserted"))
        text = Messages::AuditEntryInserted(id);
    else if (what == QLatin1String("changed"))
        text = Messages::AuditEntryChanged(id);
    else
        text = Messages::AuditEntryChangedOrInserted(id);
    return {id, what, text};
}

} // namespace

QStringList Actions() {
    return {Login,
            LoginRefused,
            LeaveDesk,
            Command,
            CardholderAdded,
            CardholderChanged,
            CardholderDeleted,
            PasswordChanged,
            Backup,
            Restore,
            CardInitEntered,
            CardInitLeft,
            CardInitLoaded,
            Mismatch,
            LegacyImported,
            CardholdersImported,
            DeliveredPasswords,
            CardLost,
            CardUnmarked,
            LostCardSighted,
            ShiftOpened,
            CashCounted,
            ShiftClosed,
            Reprinted,
            ReplacementStarted,
            ReplacementDone,
            BalanceEntered,
            CorrectionStarted,
            CorrectionDone,
            PlanClosed};
}

QString ThisDesk() {
    return QSysInfo::machineHostName();
}

QString TimeText(const QDateTime& at) {
    return (at.isValid() ? at : QDateTime::currentDateTime())
        .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QString HashOf(const Entry& e, const QString& previousHash) {
    const QByteArray fields[5] = {e.time.toUtf8(), e.account.toUtf8(), e.desk.toUtf8(),
                                  e.action.toUtf8(), e.details.toUtf8()};
    return QString::fromLatin1(hashOfBytes(e.id, fields, 5, previousHash.toUtf8()));
}

namespace {

// The entry's id; 0 when `later` let a server send it later.
qint64 append(const Connection& connection, const QString& account, const QString& desk,
              const QString& action, const QString& details, const QDateTime& at, bool later) {
    std::optional<Transaction> own;
    if (!connection.inTransaction())
        own.emplace(connection, Transaction::Write);
    if (connection.engine() == Engine::Postgres) {
        // The tail read, the hash and the insert in one statement inside the ledger's lock.
        Query insert(connection, Statements::AppendChainedAuditEntry);
        insert.bind(1, TimeText(at));
        insert.bind(2, account);
        insert.bind(3, desk);
        insert.bind(4, action);
        insert.bind(5, details);
        if (later && !own) {
            insert.defer();
            return 0;
        }
        insert.next();
        const qint64 id = insert.integer(0);
        if (own)
            own->commit();
        return id;
    }
    {
        Entry e;
        QString previous;
        {
            Query tail(connection, Statements::AuditTail);
            tail.next();
            e.id = tail.integer(0) + 1;
            if (!tail.isNull(1))
                previous = tail.text(1);
        }
        e.time = TimeText(at);
        e.account = account;
        e.desk = desk;
        e.action = action;
        e.details = details;
        e.hash = HashOf(e, previous);
        Query insert(connection, Statements::AppendAuditEntry);
        insert.bind(1, e.id);
        insert.bind(2, e.time);
        insert.bind(3, e.account);
        insert.bind(4, e.desk);
        insert.bind(5, e.action);
        insert.bind(6, e.details);
        insert.bind(7, e.hash);
        insert.next();
        if (own)
            own->commit();
        return e.id;
    }
}

} // namespace

qint64 Append(const Connection& connection, const QString& account, const QString& desk,
              const QString& action, const QString& details, const QDateTime& at) {
    return append(connection, account, desk, action, details, at, false);
}

void Add(const Connection& connection, const QString& account, const QString& desk,
         const QString& action, const QString& details, const QDateTime& at) {
    append(connection, account, desk, action, details, at, true);
}

QString AppendTo(const QString& databasePath, const QString& account, const QString& action,
                 const QString& details, const QDateTime& at, int busyTimeoutMs) {
    try {
        Connection db(databasePath, busyTimeoutMs);
        Append(db, account, ThisDesk(), action, details, at);
        return {};
    } catch (const DataError& e) {
        return e.description();
    }
}

namespace {

// How the entry `row`, whose hash does not build on `previous`, broke the chain, told by the
// entry after it: the chain going on from its stored hash means only its content was changed;
// going on from the one before, that it was slipped in.
Break brokenAt(const Row& row, Query& rows, const QByteArray& previous) {
    Row next;
    if (readRow(rows, &next)) {
        if (holds(next, row.hash))
            return broken(row.id, QStringLiteral("changed"));
        if (next.id == row.id + 1 && holds(next, previous))
            return broken(row.id, QStringLiteral("inserted"));
        return broken(row.id, QStringLiteral("changed"));
    }
    return broken(row.id, looksLikeHash(row.hash) ? QStringLiteral("changed or inserted")
                                                  : QStringLiteral("inserted"));
}

// The walk of the chain in id order from the entry after `after` (0 and an empty hash: from the
// first), whose hash the next entry must build on. Ends at the first break; otherwise `head`
// names the newest entry found intact.
std::optional<Break> walk(Query& rows, Query& given, const Checkpoint& after, Checkpoint* head) {
    QByteArray previous = after.hash.toLatin1();
    qint64 expected = after.id + 1;
    char computed[HashLength];
    const char* fields[5];
    int lengths[5];
    for (;;) {
        if (!rows.next())
            break;
        // The usual case, an intact entry, is hashed straight from the statement's cells.
        const qint64 id = rows.integer(0);
        for (int i = 0; i < 5; ++i)
            fields[i] = rows.utf8(i + 1, &lengths[i]);
        int storedLength = 0;
        const char* stored = rows.utf8(6, &storedLength);
        if (id == expected) {
            hashInto(id, fields, lengths, 5, previous.constData(), int(previous.size()), computed);
            if (storedLength == HashLength && std::memcmp(computed, stored, HashLength) == 0) {
                previous = QByteArray(stored, HashLength);
                ++expected;
                continue;
            }
        }
        if (id != expected)
            return broken(expected, QStringLiteral("deleted"));
        Row row;
        row.id = id;
        for (int i = 0; i < 5; ++i)
            copyInto(row.fields[i], fields[i], lengths[i]);
        copyInto(row.hash, stored, storedLength);
        return brokenAt(row, rows, previous);
    }
    // The last entries deleted: their ids were given all the same.
    if (scalar(std::move(given)) >= expected)
        return broken(expected, QStringLiteral("deleted"));
    if (head)
        *head = {expected - 1, QString::fromLatin1(previous)};
    return std::nullopt;
}

} // namespace

std::optional<Break> Verify(const Connection& connection, Checkpoint* head) {
    Query rows(connection, QString::fromUtf8(Statements::AuditChain));
    Query given(connection, Statements::AuditGivenId);
    return walk(rows, given, {}, head);
}

std::optional<Break> Verify(sqlite3* db, Checkpoint* head) {
    Query rows(db, QString::fromUtf8(Statements::AuditChain));
    Query given(db, QString::fromUtf8(Statements::AuditGivenId.sqlite));
    return walk(rows, given, {}, head);
}

std::optional<Break> VerifySince(const Connection& connection, const Checkpoint& checked,
                                 Checkpoint* head) {
    if (checked.id <= 0)
        return Verify(connection, head);
    {
        Query at(connection, QString::fromUtf8(Statements::AuditHashAt));
        at.bind(1, checked.id);
        // That entry gone or rewritten: what was found intact before says nothing now.
        if (!at.next() || at.text(0) != checked.hash)
            return Verify(connection, head);
    }
    Query rows(connection, QString::fromUtf8(Statements::AuditChainAfter));
    rows.bind(1, checked.id);
    Query given(connection, Statements::AuditGivenId);
    return walk(rows, given, checked, head);
}

std::vector<Entry> Page(const Connection& connection, const Filter& filter, const Entry* olderThan,
                        int pageSize) {
    QStringList where;
    QStringList values;
    if (!filter.from.isEmpty()) {
        where << QStringLiteral("time >= ?");
        values << filter.from + QStringLiteral(" 00:00:00");
    }
    if (!filter.to.isEmpty()) {
        where << QStringLiteral("time <= ?");
        values << filter.to + QStringLiteral(" 23:59:59");
    }
    if (!filter.account.isEmpty()) {
        where << QStringLiteral("account = ?");
        values << filter.account;
    }
    if (!filter.action.isEmpty()) {
        where << QStringLiteral("action = ?");
        values << filter.action;
    }
    if (olderThan) {
        where << QStringLiteral("(time, id) < (?, %1)").arg(olderThan->id);
        values << olderThan->time;
    }
    QString sql = QString::fromUtf8(Statements::AuditEntries);
    if (!where.isEmpty())
        sql += QStringLiteral(" WHERE ") + where.join(QStringLiteral(" AND "));
    // The order of the indexes on time, on account and time, on action and time: no sort.
    sql += QStringLiteral(" ORDER BY time DESC, id DESC");
    if (pageSize > 0)
        sql += QStringLiteral(" LIMIT %1").arg(pageSize);
    Query q(connection, sql);
    for (int i = 0; i < values.size(); ++i)
        q.bind(i + 1, values[i]);
    std::vector<Entry> entries;
    while (q.next())
        entries.push_back(read(q));
    return entries;
}

QStringList ColumnHeadings() {
    return Messages::AuditHeadings();
}

QStringList RowTexts(const Entry& e) {
    return {QString::number(e.id), e.time, e.account, e.desk, e.action, e.details};
}

} // namespace Audit

} // namespace velkar
