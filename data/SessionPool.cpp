#include "data/SessionPool.h"

#include <libpq-fe.h>

#include <poll.h>
#include <sys/socket.h>

#include <cerrno>

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
    Session session;
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

// Whatever the server sent meanwhile (its goodbye on a shutdown or when the session was ended)
// is read first: a session it gave up is not handed out.
bool alive(pg_conn* session) {
    // A few rounds at most: a live session has nothing more to read.
    for (int round = 0; round < 4; ++round) {
        if (!PQconsumeInput(session) || PQstatus(session) != CONNECTION_OK ||
            PQtransactionStatus(session) != PQTRANS_IDLE)
            return false;
        // Its goodbye read, the closed socket is all that is left of an ended session.
        char next = 0;
        const ssize_t waiting = recv(PQsocket(session), &next, 1, MSG_PEEK | MSG_DONTWAIT);
        if (waiting == 0)
            return false;
        if (waiting < 0)
            return errno == EAGAIN || errno == EWOULDBLOCK;
    }
    return false;
}

// Settings, plans and locks of the session's last user go; those it was opened with stay.
bool reset(pg_conn* session) {
    if (!alive(session) || !PQsendQuery(session, "DISCARD ALL"))
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

Session Take(const QByteArray& key) {
    Session found;
    std::vector<pg_conn*> expired;
    {
        Pool& p = pool();
        const std::lock_guard lock(p.mutex);
        const auto now = Clock::now();
        for (auto i = p.idle.begin(); i != p.idle.end();) {
            if (now - i->since > MaxIdle) {
                expired.push_back(i->session.conn);
                i = p.idle.erase(i);
            } else if (!found.conn && i->key == key) {
                found = std::move(i->session);
                i = p.idle.erase(i);
            } else {
                ++i;
            }
        }
    }
    for (pg_conn* session : expired)
        PQfinish(session);
    if (!found.conn)
        return {};
    // A reset drops the prepared statements with the rest.
    if (found.changed ? !reset(found.conn) : !alive(found.conn)) {
        PQfinish(found.conn);
        return {};
    }
    if (found.changed || !found.prepared)
        found.prepared = std::make_shared<Prepared>();
    found.changed = false;
    return found;
}

void Give(const QByteArray& key, Session session) {
    if (PQstatus(session.conn) == CONNECTION_OK &&
        PQtransactionStatus(session.conn) == PQTRANS_IDLE &&
        PQpipelineStatus(session.conn) == PQ_PIPELINE_OFF) {
        Pool& p = pool();
        const std::lock_guard lock(p.mutex);
        const bool kept = std::any_of(p.idle.begin(), p.idle.end(),
                                      [&](const Idle& idle) { return idle.key == key; });
        if (!kept) {
            p.idle.push_back({key, std::move(session), Clock::now()});
            return;
        }
    }
    PQfinish(session.conn);
}

void CloseAll() {
    std::vector<Idle> idle;
    {
        Pool& p = pool();
        const std::lock_guard lock(p.mutex);
        idle.swap(p.idle);
    }
    for (const Idle& i : idle)
        PQfinish(i.session.conn);
}

} // namespace velkar::SessionPool
