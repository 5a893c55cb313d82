#pragma once

#include "data/AdoConn.h"
#include "data/Cardholder.h"

#include <QDialog>

#include <functional>
#include <memory>

namespace Ui {
class CRecordsDlg;
}

namespace velkar {

class Dialogs;
class CardholderArchive;
struct ArchiveOutcome;
class TextTable;
class TextTableModel;

// The cardholder archive: lists every cardholder, adds, changes, deletes and searches them.
class CRecordsDlg : public QDialog {
    Q_OBJECT
public:
    // `account`: who is logged in, for the archive's audit entries.
    explicit CRecordsDlg(Dialogs& dialogs, QString account = {}, QWidget* parent = nullptr);
    ~CRecordsDlg() override;

    // Fills the list with every cardholder in ascending 卡号 order.
    void LoadRecords();

public slots:
    void OnListClick();
    void OnAdd();
    void OnModify();
    void OnDelete();
    void OnReportLost();
    void OnClearFields();
    void OnSearch();
    // A cardholder spreadsheet into the archive, shown row by row before it is written.
    void OnImport();
    // The archive into a spreadsheet.
    void OnExport();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void UpdateData(bool save);
    void showTable(std::shared_ptr<const TextTable> table);
    // The list item the operator last selected, or -1.
    int selectedItem() const;
    QString listedText(int item, int column) const;
    QString selectedCardNumber() const;
    QString searchField() const;
    void failed();
    Cardholder fields() const;
    // Says why the fields can't be stored, if they can't: one empty, or a text the store refuses.
    bool fieldsRefused(bool serialRequired);
    // Runs `step` on the archive of a connection of its own.
    ArchiveOutcome onArchive(const std::function<ArchiveOutcome(CardholderArchive&)>& step);
    // Applies `change` to the selected cardholder, named by its 卡号; says why and gives false
    // when it fails.
    bool
    changeSelected(const std::function<ArchiveOutcome(CardholderArchive&, const QString&)>& change);

    std::unique_ptr<Ui::CRecordsDlg> ui;
    Dialogs& m_dialogs;
    const QString m_account;
    HeldConnection m_store; // the list's reads
    TextTableModel* m_model;

    QString m_cardSerial;
    QString m_cardNumber;
    QString m_holderName;
    QString m_idNumber;
    QString m_holderPhone;
    QString m_address;
    QString m_searchText;
};

} // namespace velkar
