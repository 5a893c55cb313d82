#pragma once

#include <QDeadlineTimer>
#include <QString>

#include <memory>

class QTemporaryDir;

struct sqlite3;

namespace velkar {

// A database file opened for reading without ever changing it, inside one read transaction, so
// every page read comes from one committed state of the file. A file that a crash left with a
// hot journal can't be read in place without rolling the journal back into it; it is then read
// from a private copy of file and journal, which SQLite rolls back instead.
class ReadView {
public:
    ReadView();
    ~ReadView();
    ReadView(const ReadView&) = delete;
    ReadView& operator=(const ReadView&) = delete;

    // Empty text on success, else why the file can't be read. Waits at most `lockTimeoutMs`
    // while another connection writes the file.
    QString open(const QString& path, int lockTimeoutMs);
    void close();

    sqlite3* handle() const { return m_db; }
    // True when reading a private copy rolled back from a hot journal.
    bool isPrivateCopy() const { return m_copy != nullptr; }

private:
    int begin(const QString& path, int flags, int lockTimeoutMs, QString* problem);
    QString openCopy(const QString& path, int lockTimeoutMs);

    sqlite3* m_db = nullptr;
    std::unique_ptr<QTemporaryDir> m_copy;
};

// The reason given for a file another program kept locked longer than `timeoutMs`.
QString LockedText(int timeoutMs);

// While it lives, a lock the connection can't take is tried again every millisecond until
// `timeoutMs` have passed. A program that writes without pause leaves only short gaps between
// its transactions; longer sleeps between tries would keep missing them.
class LockWait {
public:
    LockWait(sqlite3* db, int timeoutMs);
    ~LockWait();
    LockWait(const LockWait&) = delete;
    LockWait& operator=(const LockWait&) = delete;

private:
    sqlite3* m_db;
    QDeadlineTimer m_deadline;
};

} // namespace velkar
