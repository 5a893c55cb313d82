#include "reports/windows/RecordList.h"

#include "reports/TextTableModel.h"

#include <QEvent>
#include <QHeaderView>
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

} // namespace velkar
