#include "tools/BookingFloor.h"

#include "base/Clock.h"
#include "data/Amount.h"
#include "data/Audit.h"
#include "data/PostgresEngine.h"
#include "data/Statements.h"

#include <QDateTime>
#include <QElapsedTimer>

#include <libpq-fe.h>
#include <sqlite3.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

namespace velkar {

namespace {

// The entry's id is the next one, read in the same statement; the hash is not worked out.
constexpr const char* AddAuditEntryFloor =
    "INSERT INTO audit (id, time, account, desk, action, details, hash) VALUES "
    "((SELECT coalesce(max(id), 0) + 1 FROM audit), ?, ?, ?, ?, ?, ?)";
constexpr const char* ServerWriteLock = "SELECT pg_advisory_xact_lock(5647153)";

enum Step { AddEntry, AddRecord, MarkEntry, AddAudit, Steps };

const char* stepText(int step) {
    switch (step) {
    case AddEntry:
        return Statements::AddJournalEntry;
    case AddRecord:
        return Statements::BookRecord;
    case MarkEntry:
        return Statements::ResolveJournalEntry;
    default:
        return AddAuditEntryFloor;
    }
}

// One desk's connection: runs a step with its values (texts) and returns the first column of
// the first row, as an integer.
class FloorDesk {
public:
    virtual ~FloorDesk() = default;
    virtual qint64 run(int step, const std::vector<QByteArray>& values) = 0;
    virtual void beginWrite() = 0;
    virtual void commit() = 0;
};

class FileDesk : public FloorDesk {
public:
    explicit FileDesk(const QByteArray& path) {
        if (sqlite3_open_v2(path.constData(), &m_db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK)
            fail();
        // As short a poll as the desk's own: the floor is the engine's, not its back-off's.
        sqlite3_busy_handler(
            m_db,
            [](void*, int tries) {
                std::this_thread::sleep_for(std::chrono::microseconds(200));
                return tries < 100000 ? 1 : 0;
            },
            nullptr);
        for (int step = 0; step < Steps; ++step)
            prepare(&m_steps[step], stepText(step));
        prepare(&m_begin, "BEGIN IMMEDIATE");
        prepare(&m_commit, "COMMIT");
    }
    ~FileDesk() override {
        for (sqlite3_stmt* s : m_steps)
            sqlite3_finalize(s);
        sqlite3_finalize(m_begin);
        sqlite3_finalize(m_commit);
        sqlite3_close(m_db);
    }
    FileDesk(const FileDesk&) = delete;
    FileDesk& operator=(const FileDesk&) = delete;

    qint64 run(int step, const std::vector<QByteArray>& values) override {
        sqlite3_stmt* s = m_steps[step];
        for (std::size_t i = 0; i < values.size(); ++i)
            sqlite3_bind_text(s, int(i + 1), values[i].constData(), int(values[i].size()),
                              SQLITE_STATIC);
        return step_(s);
    }
    void beginWrite() override { step_(m_begin); }
    void commit() override { step_(m_commit); }

private:
    [[noreturn]] void fail() { throw std::runtime_error(sqlite3_errmsg(m_db)); }
    void prepare(sqlite3_stmt** s, const char* sql) {
        if (sqlite3_prepare_v2(m_db, sql, -1, s, nullptr) != SQLITE_OK)
            fail();
    }
    qint64 step_(sqlite3_stmt* s) {
        const int rc = sqlite3_step(s);
        const qint64 value = rc == SQLITE_ROW ? sqlite3_column_int64(s, 0) : 0;
        if (rc == SQLITE_ROW)
            sqlite3_step(s);
        else if (rc != SQLITE_DONE)
            fail();
        sqlite3_reset(s);
        return value;
    }

    sqlite3* m_db = nullptr;
    sqlite3_stmt* m_steps[Steps] = {};
    sqlite3_stmt* m_begin = nullptr;
    sqlite3_stmt* m_commit = nullptr;
};

class ServerDesk : public FloorDesk {
public:
    explicit ServerDesk(const QByteArray& uri) : m_conn(PQconnectdb(uri.constData())) {
        if (PQstatus(m_conn) != CONNECTION_OK)
            fail(nullptr);
        for (int step = 0; step < Steps; ++step)
            check(PQprepare(m_conn, name(step).constData(),
                            ServerPlaceholders(stepText(step)).constData(), 0, nullptr));
    }
    ~ServerDesk() override { PQfinish(m_conn); }
    ServerDesk(const ServerDesk&) = delete;
    ServerDesk& operator=(const ServerDesk&) = delete;

    qint64 run(int step, const std::vector<QByteArray>& values) override {
        std::vector<const char*> pointers;
        for (const QByteArray& v : values)
            pointers.push_back(v.constData());
        pg_result* r = PQexecPrepared(m_conn, name(step).constData(), int(pointers.size()),
                                      pointers.data(), nullptr, nullptr, 0);
        const qint64 value = PQresultStatus(r) == PGRES_TUPLES_OK && PQntuples(r) > 0
                                 ? std::strtoll(PQgetvalue(r, 0, 0), nullptr, 10)
                                 : 0;
        check(r);
        return value;
    }
    void beginWrite() override {
        check(PQexec(m_conn, "BEGIN"));
        check(PQexec(m_conn, ServerWriteLock));
    }
    void commit() override { check(PQexec(m_conn, "COMMIT")); }

private:
    static QByteArray name(int step) { return "floor" + QByteArray::number(step); }
    [[noreturn]] void fail(pg_result* r) {
        const std::string why = PQerrorMessage(m_conn);
        PQclear(r);
        throw std::runtime_error(why);
    }
    void check(pg_result* r) {
        const ExecStatusType status = PQresultStatus(r);
        if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK)
            fail(r);
        PQclear(r);
    }

    pg_conn* m_conn;
};

void book(FloorDesk& desk, int number, int commands) {
    const QByteArray deskName = "floor-" + QByteArray::number(number);
    const QByteArray account = QStringLiteral("操作员1").toUtf8();
    const QByteArray action = Audit::Command.toUtf8();
    const QByteArray card = QByteArray::number(0xF0000000u + unsigned(number), 16).toUpper();
    const QByteArray amount = BookedAmountText(false, 1).toUtf8();
    const QByteArray hash(64, '0');
    for (int n = 0; n < commands; ++n) {
        const QByteArray at =
            TimestampText(QDateTime(QDate(2026, 12, 31), QTime(0, 0)).addSecs(n)).toUtf8();
        const QByteArray before = QByteArray::number(n * 10);
        const QByteArray after = QByteArray::number(n * 10 + 10);
        const qint64 id =
            desk.run(AddEntry, {card, "recharge", "1", before, after, account, deskName, at});
        desk.beginWrite();
        const qint64 record = desk.run(AddRecord, {card, at, amount});
        desk.run(MarkEntry,
                 {"booked", at, after, QByteArray::number(record), QByteArray::number(id)});
        desk.run(AddAudit,
                 {at, account, deskName, action, "floor " + QByteArray::number(id), hash});
        desk.commit();
    }
}

} // namespace

double BookingFloorPerSecond(const QString& location, int desks, int commands, QString* problem) {
    std::mutex failed;
    std::vector<std::thread> threads;
    QElapsedTimer wall;
    wall.start();
    for (int d = 0; d < desks; ++d)
        threads.emplace_back([&, d] {
            try {
                std::unique_ptr<FloorDesk> desk;
                if (EngineOf(location) == Engine::Postgres)
                    desk = std::make_unique<ServerDesk>(location.toUtf8());
                else
                    desk = std::make_unique<FileDesk>(location.toUtf8());
                book(*desk, d, commands);
            } catch (const std::exception& e) {
                const std::lock_guard lock(failed);
                *problem = QString::fromUtf8(e.what()).trimmed();
            }
        });
    for (std::thread& t : threads)
        t.join();
    const double seconds = double(wall.nsecsElapsed()) / 1e9;
    return problem->isEmpty() && seconds > 0 ? desks * commands / seconds : 0;
}

} // namespace velkar
