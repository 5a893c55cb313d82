#pragma once

#include "data/AdoConn.h"
#include "reports/Report.h"

#include <QDialog>
#include <QSize>
#include <memory>

class QPushButton;
namespace Ui {
class CPreviewDlg;
}

namespace velkar {

class Clock;
class Dialogs;

// The recharge report on the screen, one page at a time, with a button to page each way.
class CPreviewDlg : public QDialog {
    Q_OBJECT
public:
    // Picture resources of the paging buttons.
    enum Picture {
        PrevPicture = 146,
        NextPicture = 147,
        NextGreyPicture = 148,
        PrevGreyPicture = 149
    };

    // The report of the records from `rangeStart` to `rangeEnd`, both stored timestamp texts.
    CPreviewDlg(Dialogs& dialogs, const Clock& clock, QString rangeStart, QString rangeEnd,
                QWidget* parent = nullptr);
    ~CPreviewDlg() override;

    const QString& rangeStart() const { return m_rangeStart; }
    const QString& rangeEnd() const { return m_rangeEnd; }

    // The picture `picture` on a paging button, which keeps its number in "picture". The
    // settlement's preview pages with the same buttons.
    static void SetPicture(QPushButton* button, Picture picture);
    // Room for a whole page of the preview, in window pixels.
    static constexpr QSize PageSize{600, 680};

    int page() const { return m_page; }
    qsizetype recordCount() const { return m_recordCount; }
    // Opens the preview at a page (clamped to the report's pages).
    void ShowPage(int page);

public slots:
    void OnPrevPage();
    void OnNextPage();

protected:
    // The page is drawn on its own surface, which scrolls when the window is small.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Draws page m_page with the rows the store holds now.
    void DrawPage(QPainter& painter);
    void refresh();
    void dropReport();
    // Both paging buttons as they are when the report has pages after the first.
    void showPaging(int lastPage);

    std::unique_ptr<Ui::CPreviewDlg> ui;
    Dialogs& m_dialogs;
    const Clock& m_clock;
    const QString m_rangeStart;
    const QString m_rangeEnd;
    HeldConnection m_store;

    QString m_title;
    QString m_reportDate;
    qsizetype m_recordCount = 0;
    int m_page = 0;

    Report m_report;
    // What the rows were collected for; records are only ever appended, so the newest one
    // tells whether they are still current.
    std::shared_ptr<Connection> m_collectedOn;
    qint64 m_collectedNewest = -1;
    bool m_totalKnown = false;
    bool m_failureShown = false;
};

} // namespace velkar
