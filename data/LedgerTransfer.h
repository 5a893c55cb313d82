#pragma once

#include "data/AdoConn.h"
#include "data/DatabaseCopy.h"

#include <QString>

#include <functional>

// The ledger carried between a file and a server, table by table, keys included.
namespace velkar::LedgerTransfer {

// Copies every row of the ledger's tables inside the callers' transactions. `progress` gets the
// rows copied and the rows to copy.
void CopyRows(const Connection& from, const Connection& to,
              const std::function<void(int done, int total)>& progress);

// A snapshot of the server database `location` as a new Velkar file `part`.
QString SnapshotServer(const QString& location, const QString& part,
                       const DatabaseCopy::Options& options);

} // namespace velkar::LedgerTransfer
