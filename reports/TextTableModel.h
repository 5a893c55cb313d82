#pragma once

#include "base/TextTable.h"

#include <QAbstractTableModel>
#include <QStringList>

#include <memory>

namespace velkar {

// Shows rows of text in a list; cells become texts, and rows kept in the store are read, only
// when the view asks for them.
class TextTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    // `shown` names, for each list column, the table column it shows.
    TextTableModel(QStringList headers, QList<int> shown, QObject* parent = nullptr);

    void setTable(std::shared_ptr<const TextTable> table);
    const TextTable* table() const { return m_table.get(); }
    void setRows(std::shared_ptr<const TextRows> rows);
    // Each column's alignment, of its cells and its heading; left by default.
    void setAlignments(QList<Qt::Alignment> alignments) { m_alignments = std::move(alignments); }
    const TextRows* rows() const { return m_rows.get(); }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

signals:
    // A cell could not be read from the store; sent once for each setRows.
    void readFailed();

private:
    QStringList m_headers;
    QList<int> m_shown;
    QList<Qt::Alignment> m_alignments;
    std::shared_ptr<const TextTable> m_table;
    std::shared_ptr<const TextRows> m_rows;
    mutable bool m_failed = false;
};

} // namespace velkar
