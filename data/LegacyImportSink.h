#pragma once

#include "data/LegacyImport.h"

#include <QDateTime>
#include <QString>

#include <cstdint>
#include <memory>

namespace velkar::LegacyImport {

// The new database being filled, in one transaction.
class Sink {
public:
    virtual ~Sink() = default;
    virtual void account(const QString& name, const QString& hash) = 0;
    virtual void cardholder(const QString (&cells)[6]) = 0;
    virtual void cardholdersDone() {}
    virtual void record(const QByteArray& cardNo, const char* date, std::int64_t amount) = 0;
    // The trail's first entry, then the commit; why the result is no sound database, if it is
    // not.
    virtual QString finish(const QString& account, const QString& details, const QDateTime& at,
                           const Options& options) = 0;
};

// The sink for `target`: a new file made beside its name, or an empty server database.
// Throws DataError.
std::unique_ptr<Sink> OpenSink(const QString& target, const Options& options);

} // namespace velkar::LegacyImport
