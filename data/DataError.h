#pragma once

#include <QString>

#include <stdexcept>

namespace velkar {

// Why a data operation failed, as far as a caller decides anything by it; the description
// carries the engine's own words for the rest.
enum class DataFailure {
    Other,        // the store refused the statement for any other reason
    NotOpen,      // no open connection, or a recordset that failed to open
    Busy,         // another program held the lock past the wait
    Full,         // no room left on the disk or the server
    ReadOnly,     // the file or the server takes no writes
    ServerGone,   // the server can't be reached, or dropped the session
    FileReplaced, // the file was replaced under the open connection
    Constraint,   // a key or rule of the schema refused the row (a 卡号 already taken)
    NoRow,        // a recordset has no current row, no such column, or a null cell
};

// Raised by every failing data operation.
class DataError : public std::runtime_error {
public:
    DataError(DataFailure failure, const QString& description);
    DataFailure failure() const { return m_failure; }
    QString description() const { return m_description; }

private:
    DataFailure m_failure;
    QString m_description;
};

} // namespace velkar
