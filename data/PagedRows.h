#pragma once

#include "base/TextTable.h"

#include <QByteArray>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

namespace velkar {

class Connection;
class Query;

// The rows of one ordered read, of any length, kept as a position every BlockRows rows; the
// cells are read a block at a time when they are asked for, and only the latest few blocks are
// kept, so a list or a report costs what it shows.
class PagedRows : public TextRows {
public:
    static constexpr int BlockRows = 64;

    struct Reads {
        // Binds `parameters` from 1 and returns each row's position, in order: a sort text and
        // the rowid, which together order the rows.
        const char* positions;
        // Binds `parameters` from 1, then the first row's sort text, its rowid and the number of
        // rows; returns the cells of the rows from that position on.
        const char* block;
        int columns;
    };

    // Reads every row's position now. Throws DataError.
    PagedRows(std::shared_ptr<const Connection> connection, const Reads& reads,
              QStringList parameters);
    ~PagedRows() override;
    PagedRows(const PagedRows&) = delete;
    PagedRows& operator=(const PagedRows&) = delete;

    qsizetype count() const override { return m_count; }
    QString text(qsizetype row, int column) const override;

private:
    struct Block {
        qsizetype index = -1;
        std::vector<QString> cells;
    };
    const Block& block(qsizetype index) const;

    std::shared_ptr<const Connection> m_connection;
    int m_columns;
    QStringList m_parameters;
    qsizetype m_count = 0;
    std::vector<QByteArray> m_sortTexts; // of each block's first row
    std::vector<qint64> m_rowids;
    std::unique_ptr<Query> m_read;
    mutable std::vector<Block> m_blocks; // the latest blocks read, newest last
};

// Rows whose count is known and whose cells are read only when first asked for: a list
// marked stale by a change it was told of costs nothing until it is shown.
class LazyRows : public TextRows {
public:
    using Read = std::function<std::shared_ptr<const TextRows>()>; // raises DataError
    LazyRows(qsizetype count, Read read) : m_count(count), m_read(std::move(read)) {}
    qsizetype count() const override { return m_count; }
    QString text(qsizetype row, int column) const override {
        if (!m_rows)
            m_rows = m_read();
        return row < m_rows->count() ? m_rows->text(row, column) : QString();
    }

private:
    qsizetype m_count;
    Read m_read;
    mutable std::shared_ptr<const TextRows> m_rows;
};

} // namespace velkar
