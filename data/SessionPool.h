#pragma once

#include <QByteArray>
#include <QHash>

#include <memory>
#include <unordered_map>

struct pg_conn;

namespace velkar {

// Opening a server session costs a process on the server and several round trips; a session
// closed in good order waits here for the next connection to the same location, one a
// location; one idle for more than a minute is closed instead. It is used again once it shows
// itself alive; one whose user changed what a session keeps (a setting, a lock, a table of its
// own) is first returned to the state a new one starts in.
namespace SessionPool {

// The statements prepared on a session, by their text and parameter types, with the names the
// server knows them by; they stay prepared while the session is kept unchanged.
struct Prepared {
    std::unordered_map<QByteArray, QByteArray> names;
    int made = 0;
};

struct Session {
    pg_conn* conn = nullptr;
    std::shared_ptr<Prepared> prepared;
    bool changed = false; // its user ran more than statements that read and write rows
};

// A kept session of `key`, sound and in a new one's state; a null conn when there is none.
Session Take(const QByteArray& key);
// Keeps `session` for `key`, or closes it when it is not idle and sound or one is kept already.
void Give(const QByteArray& key, Session session);
void CloseAll();

} // namespace SessionPool

} // namespace velkar
