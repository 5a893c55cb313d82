#include "reports/TextTableModel.h"

#include <limits>

TextTableModel::TextTableModel(QStringList headers, QList<int> shown, QObject* parent)
    : QAbstractTableModel(parent), m_headers(std::move(headers)), m_shown(std::move(shown)) {}

void TextTableModel::setTable(std::shared_ptr<const TextTable> table) {
    beginResetModel();
    m_table = std::move(table);
    endResetModel();
}

int TextTableModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid() || !m_table)
        return 0;
    return int(std::min<qsizetype>(m_table->rowCount(), std::numeric_limits<int>::max()));
}

int TextTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(m_shown.size());
}

QVariant TextTableModel::data(const QModelIndex& index, int role) const {
    if (!m_table || !index.isValid() || index.column() >= m_shown.size())
        return {};
    if (role == Qt::DisplayRole)
        return m_table->text(index.row(), m_shown[index.column()]);
    return {};
}

QVariant TextTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 &&
        section < m_headers.size())
        return m_headers[section];
    if (orientation == Qt::Horizontal && role == Qt::TextAlignmentRole)
        return int(Qt::AlignLeft | Qt::AlignVCenter);
    return QAbstractTableModel::headerData(section, orientation, role);
}
