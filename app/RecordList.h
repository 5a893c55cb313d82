#pragma once

class QTableView;

// The look and feel of the program's record lists: whole rows selected one at a time, grid
// lines, movable headers, and fixed row heights so that very long lists stay cheap.
void StyleRecordList(QTableView* list);
