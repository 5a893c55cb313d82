#include "reports/windows/RecordList.h"

#include "base/Messages.h"
#include "data/AdoConn.h"
#include "data/Cards.h"
#include "data/DataError.h"
#include "reports/TextTableModel.h"

#include <QEvent>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QTableView>

namespace velkar {

void StyleRecordList(QTableView* list) {
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->setShowGrid(true);
    list->setWordWrap(false);
    list->setTabKeyNavigation(false);
    list->verticalHeader()->hide();
    list->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    list->verticalHeader()->setDefaultSectionSize(list->fontMetrics().height() + 4);
    list->horizontalHeader()->setSectionsMovable(true);
    list->horizontalHeader()->setHighlightSections(false);
    list->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    list->horizontalHeader()->setStretchLastSection(false);
}

namespace {

class ColumnWidener : public QObject {
public:
    ColumnWidener(QTableView* list, QList<int> widths)
        : QObject(list), m_list(list), m_widths(std::move(widths)) {
        list->viewport()->installEventFilter(this);
        fit();
    }

    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Resize)
            fit();
        return false;
    }

private:
    void fit() {
        int base = 0;
        for (int w : m_widths)
            base += w;
        const int room = std::max(m_list->viewport()->width(), base);
        int given = 0;
        for (int c = 0; c < m_widths.size(); ++c) {
            const int width = c + 1 == m_widths.size()
                                  ? room - given
                                  : int(qint64(m_widths[c]) * room / std::max(base, 1));
            m_list->setColumnWidth(c, width);
            given += width;
        }
    }

    QTableView* m_list;
    QList<int> m_widths;
};

} // namespace

void WidenColumnsWithList(QTableView* list, const QList<int>& widths) {
    list->horizontalHeader()->setStretchLastSection(false);
    new ColumnWidener(list, widths);
}

TextTableModel* ShowReviewList(QTableView* list, const QStringList& headings) {
    QList<int> shown;
    for (int c = 0; c < headings.size(); ++c)
        shown << c;
    auto* model = new TextTableModel(headings, shown, list);
    list->setModel(model);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->verticalHeader()->hide();
    list->horizontalHeader()->setStretchLastSection(true);
    return model;
}

void FollowCardLinks(QTableView* list, int cardColumn, QLabel* line, HeldConnection& store) {
    const auto show = [list, cardColumn, line, &store](const QModelIndex& current) {
        const QString cardNo =
            current.isValid() ? list->model()->index(current.row(), cardColumn).data().toString()
                              : QString();
        QString text;
        if (!cardNo.isEmpty()) {
            try {
                text = Messages::CardLinkLine(cardNo, Cards::LinkText(*store.require(), cardNo));
            } catch (const DataError&) {
                // A line about a card is no place for the ledger's trouble: the lists say it.
            }
        }
        line->setText(text);
    };
    line->clear();
    QObject::connect(list->selectionModel(), &QItemSelectionModel::currentRowChanged, line,
                     [show](const QModelIndex& current, const QModelIndex&) { show(current); });
    QObject::connect(list->model(), &QAbstractItemModel::modelReset, line,
                     [line] { line->clear(); });
}

} // namespace velkar
