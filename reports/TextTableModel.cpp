#include "reports/TextTableModel.h"

#include "data/AdoConn.h"

#include <limits>

namespace velkar {

TextTableModel::TextTableModel(QStringList headers, QList<int> shown, QObject* parent)
    : QAbstractTableModel(parent), m_headers(std::move(headers)), m_shown(std::move(shown)) {}

namespace {

// A table's own rows, for the list that keeps the table itself.
class SharedTableRows : public TextRows {
public:
    explicit SharedTableRows(std::shared_ptr<const TextTable> table) : m_table(std::move(table)) {}
    qsizetype count() const override { return m_table->rowCount(); }
    QString text(qsizetype row, int column) const override { return m_table->text(row, column); }

private:
    std::shared_ptr<const TextTable> m_table;
};

} // namespace

void TextTableModel::setTable(std::shared_ptr<const TextTable> table) {
    setRows(table ? std::make_shared<SharedTableRows>(table) : nullptr);
    m_table = std::move(table);
}

void TextTableModel::setRows(std::shared_ptr<const TextRows> rows) {
    beginResetModel();
    m_table.reset();
    m_rows = std::move(rows);
    m_failed = false;
    endResetModel();
}

int TextTableModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid() || !m_rows)
        return 0;
    return int(std::min<qsizetype>(m_rows->count(), std::numeric_limits<int>::max()));
}

int TextTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(m_shown.size());
}

QVariant TextTableModel::data(const QModelIndex& index, int role) const {
    if (!m_rows || !index.isValid() || index.column() >= m_shown.size())
        return {};
    if (role == Qt::TextAlignmentRole && index.column() < m_alignments.size())
        return int(m_alignments[index.column()]);
    if (role != Qt::DisplayRole)
        return {};
    try {
        return m_rows->text(index.row(), m_shown[index.column()]);
    } catch (const DataError&) {
        // Told once, later: a view asks while it paints.
        if (!m_failed) {
            m_failed = true;
            QMetaObject::invokeMethod(const_cast<TextTableModel*>(this),
                                      &TextTableModel::readFailed, Qt::QueuedConnection);
        }
        return {};
    }
}

QVariant TextTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 &&
        section < m_headers.size())
        return m_headers[section];
    if (orientation == Qt::Horizontal && role == Qt::TextAlignmentRole)
        return section >= 0 && section < m_alignments.size()
                   ? int(m_alignments[section])
                   : int(Qt::AlignLeft | Qt::AlignVCenter);
    return QAbstractTableModel::headerData(section, orientation, role);
}

} // namespace velkar
