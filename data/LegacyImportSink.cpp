#include "data/LegacyImportSink.h"

#include "base/Messages.h"
#include "base/PrivateFile.h"
#include "data/AdoConn.h"
#include "data/Audit.h"
#include "data/PasswordHash.h"
#include "data/Schema.h"
#include "data/SqliteEngine.h"
#include "data/Statements.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <libpq-fe.h>
#include <sqlite3.h>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

namespace velkar::LegacyImport {

namespace {

// ---- Where the rows go ------------------------------------------------------------------------

void addAccount(const Connection& db, const QString& name, const QString& hash) {
    Query insert(db, QString::fromUtf8(Statements::AddAccount));
    insert.bind(1, name);
    insert.bind(2, hash);
    insert.next();
}

[[noreturn]] void raise(sqlite3* db) {
    RaiseSqlite(db, sqlite3_errcode(db));
}

// A file being made beside the name it will get; removed with its journal unless it got it.
class Scratch {
public:
    explicit Scratch(const QString& target) {
        QTemporaryFile reserve(target + QStringLiteral(".XXXXXX.part"));
        reserve.setAutoRemove(false);
        if (!reserve.open())
            throw DataError(DataFailure::Other, Messages::CannotMakeTemporaryFile());
        m_path = reserve.fileName();
    }
    ~Scratch() {
        if (!m_path.isEmpty()) {
            QFile::remove(m_path);
            QFile::remove(m_path + QStringLiteral("-journal"));
        }
    }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;
    const QString& path() const { return m_path; }
    void keep() { m_path.clear(); }

private:
    QString m_path;
};

struct Finalize {
    void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using Statement = std::unique_ptr<sqlite3_stmt, Finalize>;

// A new file: made whole beside its name, and given the name only once complete and checked.
class FileSink : public Sink {
public:
    FileSink(const QString& target, const Options& options) : m_target(target), m_part(target) {
        QFile::remove(m_part.path()); // the schema makes it anew
        // The seven accounts are replaced, so their first hashes may be cheap.
        const QString problem = Schema::CreateDatabase(m_part.path(), PasswordHash::CheapestCost);
        if (!problem.isEmpty())
            throw DataError(DataFailure::Other, problem);
        m_db = std::make_unique<Connection>(m_part.path(), options.lockTimeoutMs);
        m_db->run(QStringLiteral("PRAGMA cache_size = -131072"));
        m_transaction = std::make_unique<Transaction>(*m_db, Transaction::Write);
        // The records' indexes are made again once the rows are in: sorting once is quicker
        // than keeping four indexes in order row by row. Made by the same statements, they are
        // the same indexes.
        {
            Query indexes(*m_db, QString::fromUtf8(Statements::RecordIndexes));
            while (indexes.next())
                m_indexes.push_back({indexes.text(0), indexes.text(1)});
        }
        for (const auto& index : m_indexes)
            m_db->run(QStringLiteral("DROP INDEX \"%1\"").arg(index.first));
        m_db->run(QString::fromUtf8(Statements::RemoveAccounts));
        m_holder = prepare(Statements::ImportCardholder);
        m_record = prepare(Statements::ImportRecord);
    }

    void account(const QString& name, const QString& hash) override {
        addAccount(*m_db, name, hash);
    }

    void cardholder(const QString (&cells)[6]) override {
        QByteArray bytes[6];
        for (int i = 0; i < 6; ++i) {
            bytes[i] = cells[i].toUtf8();
            sqlite3_bind_text(m_holder.get(), i + 1, bytes[i].constData(), int(bytes[i].size()),
                              SQLITE_STATIC);
        }
        step(m_holder.get());
    }

    void record(const QByteArray& cardNo, const char* date, std::int64_t amount) override {
        sqlite3_stmt* insert = m_record.get();
        sqlite3_bind_text(insert, 1, cardNo.constData(), int(cardNo.size()), SQLITE_STATIC);
        sqlite3_bind_text(insert, 2, date, -1, SQLITE_STATIC);
        sqlite3_bind_int64(insert, 3, amount);
        step(insert);
    }

    QString finish(const QString& account, const QString& details, const QDateTime& at,
                   const Options& options) override {
        for (const auto& index : m_indexes)
            m_db->run(index.second);
        Audit::Append(*m_db, account, Audit::ThisDesk(), Audit::LegacyImported, details, at);
        m_transaction->commit();
        m_holder.reset();
        m_record.reset();
        m_transaction.reset();
        m_db.reset();
        if (options.progress)
            options.progress(0, 0);
        // The program's own writes: the quick look at the pages is enough.
        QString problem =
            Schema::CheckDatabase(m_part.path(), options.lockTimeoutMs, Schema::Pages::Quick);
        if (problem.isEmpty())
            problem = moveInPlace();
        return problem;
    }

private:
    Statement prepare(const char* sql) {
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(m_db->handle(), sql, -1, &statement, nullptr) != SQLITE_OK)
            raise(m_db->handle());
        return Statement(statement);
    }

    void step(sqlite3_stmt* statement) {
        if (sqlite3_step(statement) != SQLITE_DONE)
            raise(m_db->handle());
        sqlite3_reset(statement);
    }

    // The finished file takes the target's name, which nothing may have taken meanwhile.
    QString moveInPlace() {
        const QByteArray from = QFile::encodeName(m_part.path());
        const QByteArray to = QFile::encodeName(m_target);
        if (::link(from.constData(), to.constData()) == 0) {
            ::unlink(from.constData());
        } else if (errno == EEXIST) {
            return Messages::TargetExists(m_target);
        } else {
            // A file system without hard links.
            if (QFileInfo::exists(m_target))
                return Messages::TargetExists(m_target);
            if (std::rename(from.constData(), to.constData()) != 0)
                return Messages::CannotWrite(m_target);
        }
        m_part.keep();
        const int folder = ::open(QFile::encodeName(QFileInfo(m_target).absolutePath()).constData(),
                                  O_RDONLY | O_DIRECTORY);
        if (folder >= 0) {
            ::fsync(folder);
            ::close(folder);
        }
        return {};
    }

    // In the order they go: the statements, the transaction, the connection, the file.
    QString m_target;
    Scratch m_part;
    std::unique_ptr<Connection> m_db;
    std::unique_ptr<Transaction> m_transaction;
    std::vector<std::pair<QString, QString>> m_indexes;
    Statement m_holder;
    Statement m_record;
};

// An empty server database, filled in one transaction: the tables are made in it too, so a
// failure leaves the database as empty as it was.
class ServerSink : public Sink {
public:
    ServerSink(const QString& location, const Options& options) : m_location(location) {
        m_db = std::make_unique<Connection>(location, options.lockTimeoutMs);
        m_transaction = std::make_unique<Transaction>(*m_db, Transaction::Write);
        Schema::CreateOnServer(*m_db, PasswordHash::CheapestCost);
        m_db->run(QString::fromUtf8(Statements::RemoveAccounts));
    }

    ServerSink(const ServerSink&) = delete;
    ServerSink& operator=(const ServerSink&) = delete;
    ~ServerSink() override {
        if (m_copying) {
            // The rollback can only be sent once the stream is given up.
            PQputCopyEnd(m_db->server(), "import abandoned");
            while (pg_result* result = PQgetResult(m_db->server()))
                PQclear(result);
        }
        m_transaction.reset();
        m_db.reset();
    }

    void account(const QString& name, const QString& hash) override {
        addAccount(*m_db, name, hash);
    }

    void cardholder(const QString (&cells)[6]) override {
        if (!m_copying)
            startCopy(Statements::CopyCardholders);
        for (int i = 0; i < 6; ++i) {
            if (i > 0)
                m_buffer += '\t';
            put(cells[i].toUtf8());
        }
        m_buffer += '\n';
        flushIfFull();
    }

    void cardholdersDone() override {
        if (m_copying)
            endCopy();
    }

    void record(const QByteArray& cardNo, const char* date, std::int64_t amount) override {
        if (!m_copying)
            startCopy(Statements::CopyRecords);
        put(cardNo);
        m_buffer += '\t';
        m_buffer += date;
        m_buffer += '\t';
        m_buffer += QByteArray::number(qlonglong(amount));
        m_buffer += '\n';
        flushIfFull();
    }

    QString finish(const QString& account, const QString& details, const QDateTime& at,
                   const Options& options) override {
        if (m_copying)
            endCopy();
        Audit::Append(*m_db, account, Audit::ThisDesk(), Audit::LegacyImported, details, at);
        m_transaction->commit();
        m_transaction.reset();
        // The planner's figures for the new rows, so the first queries don't guess.
        m_db->run(QStringLiteral("ANALYZE"));
        m_db.reset();
        if (options.progress)
            options.progress(0, 0);
        return Schema::CheckDatabase(m_location, options.lockTimeoutMs);
    }

private:
    static constexpr qsizetype FlushAt = 1 << 20;

    [[noreturn]] void fail(pg_result* result = nullptr) {
        const char* primary =
            result ? PQresultErrorField(result, PG_DIAG_MESSAGE_PRIMARY) : nullptr;
        QString why = QString::fromUtf8(primary ? primary : PQerrorMessage(m_db->server()));
        PQclear(result);
        throw DataError(DataFailure::Other, why.trimmed());
    }

    void startCopy(const char* sql) {
        pg_result* result = PQexec(m_db->server(), sql);
        if (PQresultStatus(result) != PGRES_COPY_IN)
            fail(result);
        PQclear(result);
        m_copying = true;
    }

    // COPY's text form: tab between values, a line a row, backslash escapes.
    void put(const QByteArray& value) {
        for (const char c : value) {
            switch (c) {
            case '\\':
                m_buffer += "\\\\";
                break;
            case '\t':
                m_buffer += "\\t";
                break;
            case '\n':
                m_buffer += "\\n";
                break;
            case '\r':
                m_buffer += "\\r";
                break;
            default:
                m_buffer += c;
            }
        }
    }

    void flushIfFull() {
        if (m_buffer.size() >= FlushAt)
            flush();
    }

    void flush() {
        if (!m_buffer.isEmpty() &&
            PQputCopyData(m_db->server(), m_buffer.constData(), int(m_buffer.size())) != 1)
            fail();
        m_buffer.clear();
    }

    void endCopy() {
        flush();
        m_copying = false;
        if (PQputCopyEnd(m_db->server(), nullptr) != 1)
            fail();
        pg_result* failed = nullptr;
        while (pg_result* result = PQgetResult(m_db->server())) {
            if (PQresultStatus(result) != PGRES_COMMAND_OK && !failed)
                failed = result;
            else
                PQclear(result);
        }
        if (failed)
            fail(failed);
    }

    QString m_location;
    std::unique_ptr<Connection> m_db;
    std::unique_ptr<Transaction> m_transaction;
    QByteArray m_buffer;
    bool m_copying = false;
};

} // namespace

std::unique_ptr<Sink> OpenSink(const QString& target, const Options& options) {
    if (EngineOf(target) == Engine::Postgres)
        return std::make_unique<ServerSink>(target, options);
    return std::make_unique<FileSink>(target, options);
}

} // namespace velkar::LegacyImport
