#pragma once

#include "base/TextTable.h"
#include "data/Statements.h"

#include <QString>

#include <memory>

namespace velkar {

class Connection;

// The cardholder archive's lists, in 卡号 order, read a block at a time as they are shown: the
// whole archive, whose length and positions come from the counts kept for each 卡号 prefix, and
// a search's matches, counted and found in the index of the searched column. The six columns of
// CardholderList. Throw DataError.
namespace ArchiveRows {

std::shared_ptr<const TextRows> All(std::shared_ptr<const Connection> connection);

std::shared_ptr<const TextRows> Matching(std::shared_ptr<const Connection> connection,
                                         const Statements::CardholderSearch& search,
                                         const QString& text);

} // namespace ArchiveRows

} // namespace velkar
