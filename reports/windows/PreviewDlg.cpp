#include "reports/windows/PreviewDlg.h"

#include "base/Clock.h"
#include "base/Dialogs.h"
#include "base/Messages.h"
#include "data/AdoConn.h"
#include "reports/ReportLayout.h"

#include "res/Pictures.h"
#include "ui_PreviewDlg.h"

#include <QPainter>
#include <QPixmap>
#include <QTimer>

namespace velkar {

namespace {

QString picturePath(CPreviewDlg::Picture picture) {
    switch (picture) {
    case CPreviewDlg::PrevPicture:
        return QStringLiteral(":/paging/prev.png");
    case CPreviewDlg::NextPicture:
        return QStringLiteral(":/paging/next.png");
    case CPreviewDlg::NextGreyPicture:
        return QStringLiteral(":/paging/next_grey.png");
    case CPreviewDlg::PrevGreyPicture:
        return QStringLiteral(":/paging/prev_grey.png");
    }
    return {};
}

} // namespace

CPreviewDlg::CPreviewDlg(Dialogs& dialogs, const Clock& clock, QString rangeStart, QString rangeEnd,
                         QWidget* parent)
    : QDialog(parent), ui(std::make_unique<Ui::CPreviewDlg>()), m_dialogs(dialogs), m_clock(clock),
      m_rangeStart(std::move(rangeStart)), m_rangeEnd(std::move(rangeEnd)),
      m_store(nullptr) { // failures are reported once, by refresh, not from inside a paint
    LoadPictures();
    ui->setupUi(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setWindowFlag(Qt::WindowMaximizeButtonHint, true);
    ui->pageView->setFixedSize(PageSize);
    QPalette paper = ui->pageView->palette();
    paper.setColor(QPalette::Window, Qt::white);
    ui->pageView->setPalette(paper);
    ui->pageView->installEventFilter(this);
    SetPicture(ui->prevButton, PrevPicture);
    SetPicture(ui->nextButton, NextPicture);
    m_title = ReportLayout::Title;
    connect(ui->prevButton, &QPushButton::clicked, this, &CPreviewDlg::OnPrevPage);
    connect(ui->nextButton, &QPushButton::clicked, this, &CPreviewDlg::OnNextPage);
    connect(ui->closeButton, &QPushButton::clicked, this, &QDialog::reject);
}

CPreviewDlg::~CPreviewDlg() = default;

void CPreviewDlg::SetPicture(QPushButton* button, Picture picture) {
    const QPixmap pixmap(picturePath(picture));
    button->setIcon(QIcon(pixmap));
    button->setIconSize(pixmap.size());
    button->setProperty("picture", int(picture));
}

void CPreviewDlg::refresh() {
    try {
        const std::shared_ptr<Connection> connection = m_store.require();
        Query newest(*connection, QString::fromUtf8(Statements::NewestRecord));
        const qint64 newestRecord = newest.next() ? newest.integer(0) : 0;
        if (connection != m_collectedOn || newestRecord != m_collectedNewest) {
            // The total shows on the last page only: it is added up when that page is drawn.
            m_report = CollectReport(connection, m_rangeStart, m_rangeEnd, false);
            m_totalKnown = false;
            m_collectedOn = connection;
            m_collectedNewest = newestRecord;
        }
        m_failureShown = false;
    } catch (const DataError&) {
        dropReport();
    }
    m_recordCount = m_report.recordCount();
}

void CPreviewDlg::dropReport() {
    m_report = Report();
    m_collectedOn.reset();
    m_collectedNewest = -1;
    if (!m_failureShown) {
        m_failureShown = true;
        QTimer::singleShot(0, this, [this] { m_dialogs.plain(Messages::OperationFailed(), this); });
    }
}

void CPreviewDlg::DrawPage(QPainter& painter) {
    refresh();
    m_reportDate = TimestampText(m_clock.now());
    try {
        if (!m_totalKnown && m_collectedOn && m_page == ReportLayout::LastPage(m_recordCount)) {
            const ReportSums sums = SumReport(*m_collectedOn, m_rangeStart, m_rangeEnd,
                                              m_report.newest, m_report.newestPaid);
            m_report.total = sums.total;
            m_report.cash = sums.cash;
            m_totalKnown = true;
        }
        DrawPreviewPage(painter, m_report, {m_title, m_reportDate}, m_page);
    } catch (const DataError&) {
        // A page whose rows can't be read is drawn without them, and the failure told once.
        dropReport();
        m_recordCount = 0;
        DrawPreviewPage(painter, m_report, {m_title, m_reportDate}, m_page);
    }
}

bool CPreviewDlg::eventFilter(QObject* watched, QEvent* event) {
    if (watched == ui->pageView && event->type() == QEvent::Paint) {
        QPainter painter(ui->pageView);
        DrawPage(painter);
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void CPreviewDlg::ShowPage(int page) {
    refresh();
    m_page = std::clamp(page, 0, ReportLayout::LastPage(m_recordCount));
    ui->pageView->update();
}

void CPreviewDlg::OnNextPage() {
    const int last = ReportLayout::LastPage(m_recordCount);
    if (m_page < last)
        ++m_page;
    showPaging(last);
    if (m_page >= last)
        SetPicture(ui->nextButton, NextGreyPicture);
    ui->pageView->update();
}

void CPreviewDlg::OnPrevPage() {
    if (m_page > 0)
        --m_page;
    showPaging(ReportLayout::LastPage(m_recordCount));
    if (m_page <= 0) {
        m_page = 0;
        SetPicture(ui->prevButton, PrevGreyPicture);
    }
    ui->pageView->update();
}

void CPreviewDlg::showPaging(int lastPage) {
    const bool paging = lastPage > 0;
    SetPicture(ui->prevButton, paging ? PrevPicture : PrevGreyPicture);
    SetPicture(ui->nextButton, paging ? NextPicture : NextGreyPicture);
}

} // namespace velkar
