#include "reports/windows/RecordList.h"

#include "reports/TextTableModel.h"

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

TextTableModel* ShowReviewList(QTableView* list, const QStringList& headings) {
    QList<int> shown;
    for (int c = 0; c < headings.size(); ++c)
        shown << c;
    auto* model = new TextTableModel(headings, shown, list);
    list->setModel(model);
    list->verticalHeader()->hide();
    list->horizontalHeader()->setStretchLastSection(true);
    return model;
}

} // namespace velkar
