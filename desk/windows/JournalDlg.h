#pragma once

#include <QDialog>

#include <memory>

namespace Ui {
class CJournalDlg;
}

namespace velkar {

class Dialogs;
class TextTableModel;

// The administrator's review of the command journal, newest first, all entries or those of
// one state (mismatches above all want a look).
class CJournalDlg : public QDialog {
    Q_OBJECT
public:
    // At most this many entries are listed, the newest.
    static constexpr int ListLimit = 10000;

    explicit CJournalDlg(Dialogs& dialogs, QWidget* parent = nullptr, QString databasePath = {});
    ~CJournalDlg() override;

    int rowCount() const;

public slots:
    void OnRefresh();

private:
    std::unique_ptr<Ui::CJournalDlg> ui;
    Dialogs& m_dialogs;
    QString m_path;
    TextTableModel* m_model;
};

} // namespace velkar
