#pragma once

#include <QByteArray>

struct pg_conn;

namespace velkar {

// Opening a server session costs a process on the server and several round trips; a session
// closed in good order waits here for the next connection to the same location, one a
// location; one idle for more than a minute is closed instead. It is used again only after a
// round trip shows it alive and returns it to the state a new one starts in.
namespace SessionPool {

// A kept session of `key`, sound and reset; null when there is none.
pg_conn* Take(const QByteArray& key);
// Keeps `session` for `key`, or closes it when it is not idle and sound or one is kept already.
void Give(const QByteArray& key, pg_conn* session);
void CloseAll();

} // namespace SessionPool

} // namespace velkar
