#pragma once

#include "data/AdoConn.h"
#include "reports/Report.h"

#include <QDialog>
#include <QSize>

class QPushButton;
namespace Ui {
class CPreviewDlg;
}

namespace velkar {

class Clock;
class Dialogs;

// The bounds of the latest preview, set by the query window just before it opens one.
extern QString g_rangeStart;
extern QString g_rangeEnd;

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

    CPreviewDlg(Dialogs& dialogs, const Clock& clock, QWidget* parent = nullptr);
    ~CPreviewDlg() override;

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

    Ui::CPreviewDlg* ui;
    Dialogs& m_dialogs;
    const Clock& m_clock;
    HeldConnection m_store;

    QString m_title;
    QString m_reportDate;
    qsizetype m_recordCount = 0;
    int m_page = 0;

    Report m_report;
    // What the rows were collected for; records are only ever appended, so the newest one
    // tells whether they are still current.
    std::shared_ptr<Connection> m_collectedOn;
    QString m_collectedStart;
    QString m_collectedEnd;
    qint64 m_collectedNewest = -1;
    bool m_failureShown = false;
};

} // namespace velkar
