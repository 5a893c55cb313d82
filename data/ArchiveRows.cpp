#include "data/ArchiveRows.h"

#include "data/Connection.h"
#include "data/SeekRows.h"

#include <algorithm>
#include <vector>

namespace velkar::ArchiveRows {

namespace {

struct Prefix {
    QString text;
    qsizetype first = 0; // the index of its first cardholder in the archive
};

} // namespace

std::shared_ptr<const TextRows> All(std::shared_ptr<const Connection> connection) {
    qint64 count = 0;
    {
        Query q(*connection, QString::fromUtf8(Statements::CardholderCount));
        q.next();
        count = q.integer(0);
    }
    // The prefixes are read when a position is first sought, not for the first screen.
    auto prefixes = std::make_shared<std::vector<Prefix>>();
    auto seek = std::make_shared<std::unique_ptr<Query>>();
    const Connection* on = connection.get(); // kept open by the rows that hold the locator
    SeekRows::Locate locate = [prefixes, seek, on](qsizetype row) {
        // The first screen starts at the first cardholder, which needs no prefix to find.
        if (prefixes->empty() && row > 0) {
            Query q(*on, QString::fromUtf8(Statements::CardholderPrefixes));
            qsizetype first = 0;
            while (q.next()) {
                prefixes->push_back({q.text(0), first});
                first += q.integer(1);
            }
        }
        const auto after =
            std::upper_bound(prefixes->begin(), prefixes->end(), row,
                             [](qsizetype r, const Prefix& prefix) { return r < prefix.first; });
        // Every 卡号 of a prefix sorts at or after the prefix itself, and every earlier one
        // before it.
        const Prefix& prefix = after == prefixes->begin() ? Prefix{} : *(after - 1);
        if (!*seek)
            *seek =
                std::make_unique<Query>(*on, QString::fromUtf8(Statements::CardholderPositionFrom));
        Query& q = **seek;
        q.reset();
        q.bind(1, prefix.text.isNull() ? QStringLiteral("") : prefix.text);
        q.bind(2, std::int64_t(row - prefix.first));
        return SeekRows::FirstPosition(q);
    };
    auto rows = std::make_shared<SeekRows>(connection, count, Statements::CardholderBlock,
                                           std::vector<SeekRows::Parameter>{}, std::move(locate));
    // The kept counts answer even when the cardholders can't be read: the first screen is read
    // now, so such a store fails here and not while the list paints.
    if (count > 0)
        rows->text(0, 0);
    return rows;
}

std::shared_ptr<const TextRows> Matching(std::shared_ptr<const Connection> connection,
                                         const Statements::CardholderSearch& search,
                                         const QString& text) {
    qint64 count = 0;
    {
        Query q(*connection, QString::fromUtf8(search.count));
        q.bind(1, text);
        q.next();
        count = q.integer(0);
    }
    auto seek = std::make_shared<std::unique_ptr<Query>>();
    const Connection* on = connection.get();
    const char* position = search.position;
    SeekRows::Locate locate = [seek, on, position, text](qsizetype row) {
        if (!*seek)
            *seek = std::make_unique<Query>(*on, QString::fromUtf8(position));
        Query& q = **seek;
        q.reset();
        q.bind(1, text);
        q.bind(2, std::int64_t(row));
        return SeekRows::FirstPosition(q);
    };
    return std::make_shared<SeekRows>(connection, count, search.block,
                                      std::vector<SeekRows::Parameter>{text}, std::move(locate));
}

} // namespace velkar::ArchiveRows
