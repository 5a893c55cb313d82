#pragma once

#include "data/Connection.h"

#include <QList>
#include <QStringList>

#include <memory>
#include <vector>

namespace velkar {

// The rows of one catalogue statement, kept in memory, with a current row and the record
// operations of the windows: moves, end test, filter, requery and reading cells as text.
// Changes go through the typed writes of the tables, never through a recordset.
class Recordset {
public:
    static constexpr int StateClosed = 0;
    static constexpr int StateOpen = 1;

    Recordset() = default;
    Recordset(std::shared_ptr<Connection> connection, const Statement& statement,
              QStringList parameters); // throws DataError

    int State() const { return m_open ? StateOpen : StateClosed; }
    bool IsEOF() const; // throws DataError when not open
    bool IsBOF() const;
    int RecordCount() const;
    QStringList Columns() const { return m_columns; }

    // Narrows the statement's rows to those whose column holds exactly the value; applied by
    // Requery.
    void Filter(const Criterion& criterion);
    void ClearFilter();
    void Requery();

    void MoveFirst();
    void MoveNext();
    void MovePrevious();
    void MoveLast();
    void Move(int index); // from the first row

    QString GetCollect(const QString& column) const;
    void Close();

private:
    struct Row {
        QStringList cells; // null cells are absent from `present`
        QList<bool> present;
    };

    void requireOpen() const;
    void requireCurrent() const;
    int columnIndex(const QString& column) const;
    void load();
    void fetch() const;

    std::shared_ptr<Connection> m_connection;
    Statement m_statement{nullptr};
    QStringList m_parameters;
    std::vector<Criterion> m_filter;
    QStringList m_columns;
    mutable std::unique_ptr<Query> m_pending; // rows not read yet
    mutable std::vector<Row> m_rows;
    int m_position = 0; // -1: before the first row; size(): past the last
    bool m_open = false;
};

using RecordsetPtr = std::shared_ptr<Recordset>;

} // namespace velkar
