#pragma once

#include <QStringList>

class QTableView;

namespace velkar {

class TextTableModel;

// The look and feel of the program's record lists: whole rows selected one at a time, grid
// lines, movable headers, and fixed row heights so that very long lists stay cheap.
void StyleRecordList(QTableView* list);

// Puts a model of every column of `headings` on a review window's list, the last column
// stretched; the model belongs to the list.
TextTableModel* ShowReviewList(QTableView* list, const QStringList& headings);

} // namespace velkar
