#pragma once

#include "records/CardholderSheet.h"

#include <QDialog>

#include <memory>

namespace Ui {
class CSheetImportDlg;
}

namespace velkar {

class TextTableModel;

// What a cardholder spreadsheet would do to the archive, row by row, before anything is
// written: 导入 writes it, 取消 (the default) writes nothing.
class CSheetImportDlg : public QDialog {
    Q_OBJECT
public:
    CSheetImportDlg(const CardholderSheet::Preview& preview, QWidget* parent = nullptr);
    ~CSheetImportDlg() override;

private:
    std::unique_ptr<Ui::CSheetImportDlg> ui;
    TextTableModel* m_model;
};

} // namespace velkar
