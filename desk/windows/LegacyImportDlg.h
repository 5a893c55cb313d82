#pragma once

#include <QDialog>

#include <memory>

namespace Ui {
class CLegacyImportDlg;
}

namespace velkar {

// What 还原数据库 shows for an Access file of the legacy desk: first the offer to import it in the
// working database's place, then the import's report.
class CLegacyImportDlg : public QDialog {
    Q_OBJECT
public:
    explicit CLegacyImportDlg(QWidget* parent = nullptr);
    ~CLegacyImportDlg() override;

    // The offer: 导入旧版数据库 accepts, 取消 (the default) rejects.
    void offer(const QString& chosen, const QString& working);
    // The report of a finished import: `summary` above it, 关闭 to close.
    void showReport(const QString& summary, const QString& report);

private:
    std::unique_ptr<Ui::CLegacyImportDlg> ui;
};

} // namespace velkar
