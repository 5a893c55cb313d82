#include "data/AdoConn.h"

#include "base/Dialogs.h"

namespace velkar {

namespace {

[[noreturn]] void raiseNotOpen() {
    throw DataError(DataFailure::NotOpen, QStringLiteral("no open database connection"));
}

} // namespace

CAdoConn::CAdoConn(Dialogs* dialogs, QString path) : m_dialogs(dialogs), m_path(std::move(path)) {}

CAdoConn::~CAdoConn() {
    m_recordset.reset();
    m_connection.reset();
}

void CAdoConn::report(const QString& description) {
    if (m_dialogs)
        m_dialogs->warning(description);
}

void CAdoConn::OpenConnection() {
    m_connection.reset();
    try {
        m_connection = std::make_shared<Connection>(m_path);
    } catch (const DataError& e) {
        report(e.description());
    }
}

RecordsetPtr CAdoConn::OpenRecordset(const Statement& statement, const QStringList& parameters) {
    m_recordset = std::make_shared<Recordset>();
    try {
        if (!m_connection)
            raiseNotOpen();
        m_recordset = std::make_shared<Recordset>(m_connection, statement, parameters);
    } catch (const DataError& e) {
        report(e.description());
    }
    return m_recordset;
}

void CAdoConn::CloseRecordset() {
    if (m_recordset && m_recordset->State() == Recordset::StateOpen)
        m_recordset->Close();
}

Connection& CAdoConn::require() const {
    if (!isConnected())
        raiseNotOpen();
    return *m_connection;
}

void CAdoConn::CloseConnection() {
    if (!m_connection)
        raiseNotOpen();
    m_connection->close();
}

HeldConnection::HeldConnection(Dialogs* dialogs, QString path)
    : m_dialogs(dialogs), m_path(std::move(path)) {}

std::shared_ptr<Connection> HeldConnection::get() {
    if (m_connection && m_connection->isOpen() && !m_connection->moved())
        return m_connection;
    CAdoConn conn(m_dialogs, m_path);
    conn.OpenConnection();
    m_connection = conn.isConnected() ? conn.connection() : nullptr;
    return m_connection;
}

std::shared_ptr<Connection> HeldConnection::require() {
    std::shared_ptr<Connection> connection = get();
    if (!connection)
        raiseNotOpen();
    return connection;
}

} // namespace velkar
