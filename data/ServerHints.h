#pragma once

#include <QString>

namespace velkar {

// What is missing on the server, in the words of whoever sets it up, for a server's or libpq's
// reason why a ledger could not be reached or changed (their English texts); empty when the
// reason is none of the known set-up mistakes. `location` is the ledger's URI.
QString ServerSetupHint(const QString& reason, const QString& location);

} // namespace velkar
