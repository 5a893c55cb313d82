#pragma once

#include "base/TextTable.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <unordered_map>
#include <variant>
#include <vector>

namespace velkar {

class Connection;
class Query;

// The rows of one ordered read whose count is known beforehand, read a block at a time when
// they are shown: a block starts at a position (a sort text and the rowid), which comes from
// the block before it when that was read, else from `locate`. Nothing is read until a row is
// asked for, so a list of millions costs the screen it shows.
class SeekRows : public TextRows {
public:
    static constexpr int BlockRows = 64;

    struct Position {
        QByteArray sort;
        std::int64_t rowid = 0;
    };
    // The position of the row `row`, 0 <= row < count. Throws DataError.
    using Locate = std::function<Position(qsizetype row)>;
    // The position a locating statement returns in its first row (its sort text, then the
    // rowid), none when it returns no row; the statement is reset for its next binds.
    static Position FirstPosition(Query& q);
    using Parameter = std::variant<QString, std::int64_t>;

    // `block` binds `parameters` from 1, then a position's sort text and rowid and the number
    // of rows; it returns the rows from that position on, each followed by its own sort text
    // and rowid.
    SeekRows(std::shared_ptr<const Connection> connection, qsizetype count, const char* block,
             std::vector<Parameter> parameters, Locate locate);
    ~SeekRows() override;
    SeekRows(const SeekRows&) = delete;
    SeekRows& operator=(const SeekRows&) = delete;

    qsizetype count() const override { return m_count; }
    QString text(qsizetype row, int column) const override;

private:
    struct Block {
        qsizetype index = -1;
        int columns = 0;
        std::vector<QString> cells;
    };
    const Block& block(qsizetype index) const;

    std::shared_ptr<const Connection> m_connection;
    qsizetype m_count;
    const char* m_blockSql;
    std::vector<Parameter> m_parameters;
    Locate m_locate;
    mutable std::unique_ptr<Query> m_read;
    mutable std::unordered_map<qsizetype, Position> m_starts; // of the blocks met so far
    mutable std::vector<Block> m_blocks;                      // the latest read, newest last
};

} // namespace velkar
