#pragma once

#include "data/Connection.h"
#include "data/Recordset.h"
#include "data/Schema.h"

#include <QString>
#include <QStringList>

#include <memory>

namespace velkar {

class Dialogs;

// The short-lived connection object every data operation makes for itself: it opens the
// database, one statement at a time, and reports failures to connect or to open a statement
// through the message interface itself, then returns normally.
class CAdoConn {
public:
    // `dialogs` may be null (tools): failures are then not shown. `path` is the database
    // file, by default the one in the current directory.
    explicit CAdoConn(Dialogs* dialogs = nullptr, QString path = Schema::DatabaseLocation());
    virtual ~CAdoConn();
    CAdoConn(const CAdoConn&) = delete;
    CAdoConn& operator=(const CAdoConn&) = delete;

    void OpenConnection();
    // Always returns a recordset; one that failed to open raises DataError on use.
    RecordsetPtr OpenRecordset(const Statement& statement, const QStringList& parameters = {});
    void CloseRecordset();
    void CloseConnection(); // throws DataError when no connection is open

    bool isConnected() const { return m_connection && m_connection->isOpen(); }
    // The open connection; throws DataError when there is none (its failure was shown).
    Connection& require() const;
    std::shared_ptr<Connection> connection() const { return m_connection; }

private:
    void report(const QString& description);

    Dialogs* m_dialogs;
    QString m_path;
    std::shared_ptr<Connection> m_connection;
    RecordsetPtr m_recordset;
};

// A window's one read connection: opened when first asked for, kept for the window's lifetime
// so that its page cache stays warm, and opened again once the file under it was replaced (a
// restore) or closed.
class HeldConnection {
public:
    explicit HeldConnection(Dialogs* dialogs = nullptr, QString path = Schema::DatabaseLocation());

    // Null when the file can't be opened; the failure was shown as CAdoConn shows it.
    std::shared_ptr<Connection> get();
    // As get(), but throws DataError where that gives null.
    std::shared_ptr<Connection> require();

private:
    Dialogs* m_dialogs;
    QString m_path;
    std::shared_ptr<Connection> m_connection;
};

} // namespace velkar
