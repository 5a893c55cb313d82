#include "data/SessionPool.h"

#include <libpq-fe.h>

#include <poll.h>

#include <algorithm>
#include <chrono>
#include <mutex>
#include <vector>

namespace velkar::SessionPool {

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto MaxIdle = std::chrono::seconds(60);
// A live server answers in milliseconds; past this the session is given up for a new one, so
// that a dead network adds little to the new one's own time-out.
constexpr int AnswerWithinMs = 2000;

struct Idle {
    QByteArray key;
    pg_conn* session;
    Clock::time_point since;
};

struct Pool {
    std::mutex mutex;
    std::vector<Idle> idle;
};

Pool& pool() {
    static auto* sessions = new Pool; // outlives every connection of the process
    return *sessions;
}

// Settings, plans and locks of the session's last user go; those it was opened with stay.
bool reset(pg_conn* session) {
    // Whatever the server sent meanwhile (its goodbye on a shutdown) is read first.
    if (!PQconsumeInput(session) || PQstatus(session) != CONNECTION_OK ||
        PQtransactionStatus(session) != PQTRANS_IDLE || !PQsendQuery(session, "DISCARD ALL"))
        return false;
    const auto until = Clock::now() + std::chrono::milliseconds(AnswerWithinMs);
    while (PQisBusy(session)) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now());
        pollfd answer{PQsocket(session), POLLIN, 0};
        if (left.count() <= 0 || poll(&answer, 1, int(left.count())) <= 0 ||
            !PQconsumeInput(session))
            return false;
    }
    bool ok = true;
    while (pg_result* result = PQgetResult(session)) {
        ok = ok && PQresultStatus(result) == PGRES_COMMAND_OK;
        PQclear(result);
    }
    return ok && PQstatus(session) == CONNECTION_OK;
}

} // namespace

pg_conn* Take(const QByteArray& key) {
    pg_conn* found = nullptr;
    std::vector<pg_conn*> expired;
    {
        Pool& p = pool();
        const std::lock_guard lock(p.mutex);
        const auto now = Clock::now();
        for (auto i = p.idle.begin(); i != p.idle.end();) {
            if (now - i->since > MaxIdle) {
                expired.push_back(i->session);
                i = p.idle.erase(i);
            } else if (!found && i->key == key) {
                found = i->session;
                i = p.idle.erase(i);
            } else {
                ++i;
            }
        }
    }
    for (pg_conn* session : expired)
        PQfinish(session);
    if (found && !reset(found)) {
        PQfinish(found);
        found = nullptr;
    }
    return found;
}

void Give(const QByteArray& key, pg_conn* session) {
    if (PQstatus(session) == CONNECTION_OK && PQtransactionStatus(session) == PQTRANS_IDLE) {
        Pool& p = pool();
        const std::lock_guard lock(p.mutex);
        const bool kept = std::any_of(p.idle.begin(), p.idle.end(),
                                      [&](const Idle& idle) { return idle.key == key; });
        if (!kept) {
            p.idle.push_back({key, session, Clock::now()});
            return;
        }
    }
    PQfinish(session);
}

void CloseAll() {
    std::vector<Idle> idle;
    {
        Pool& p = pool();
        const std::lock_guard lock(p.mutex);
        idle.swap(p.idle);
    }
    for (const Idle& i : idle)
        PQfinish(i.session);
}

} // namespace velkar::SessionPool
