#pragma once

#include <QList>
#include <QStringList>

class QLabel;
class QTableView;

namespace velkar {

class HeldConnection;
class TextTableModel;

// The look and feel of the program's record lists: whole rows selected one at a time, grid
// lines, movable headers, and fixed row heights so that very long lists stay cheap.
void StyleRecordList(QTableView* list);

// Keeps the list's columns at `widths` while it is narrow, and shares out any room beyond them in
// the same proportions as it widens with its window, so that no column hides behind a scroll bar
// that a wider window could have spared.
void WidenColumnsWithList(QTableView* list, const QList<int>& widths);

// Puts a model of every column of `headings` on a review window's list, whole rows selected
// one at a time and the last column stretched; the model belongs to the list.
TextTableModel* ShowReviewList(QTableView* list, const QStringList& headings);

// Names on `line` the replacements of the card in `cardColumn` of the list's current row, and
// keeps it so as the current row changes; the line is empty for a card without any, and for
// one the ledger can't be asked about now.
void FollowCardLinks(QTableView* list, int cardColumn, QLabel* line, HeldConnection& store);

} // namespace velkar
