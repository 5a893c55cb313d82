#include "support/DeskRig.h"
#include "support/ModalWatcher.h"
#include "support/WindowChecks.h"

#include "app/QtDialogs.h"
#include "desk/windows/AboutDlg.h"
#include "desk/windows/AuditDlg.h"
#include "desk/windows/BackupPromptDlg.h"
#include "desk/windows/CardInitDlg.h"
#include "desk/windows/JournalDlg.h"
#include "desk/windows/ShiftCloseDlg.h"
#include "reader/windows/SimulatorWindow.h"
#include "records/windows/RecordsDlg.h"
#include "reports/windows/PreviewDlg.h"
#include "reports/windows/QueryDlg.h"
#include "reports/windows/SettlementDlg.h"
#include "reports/windows/SettlementPreviewDlg.h"
#include "users/windows/LoginDlg.h"
#include "users/windows/PasswordDlg.h"

#include <QAbstractButton>
#include <QLabel>
#include <QLayout>
#include <QMessageBox>

using namespace velkar;

namespace {

// Every window the program opens, made over a fresh database, and closed again by `check`.
struct Windows {
    DeskRig rig;
    std::vector<std::unique_ptr<QWidget>> made;

    Windows() {
        rig.open();
        QWidget* desk = rig.desk.get();
        FakeDialogs& d = rig.dialogs;
        const QDate day = rig.clock.now().date();
        made.emplace_back(new CLoginDlg(d));
        made.emplace_back(new CPasswordDlg(d, {}, desk));
        made.emplace_back(new CAboutDlg(desk));
        made.emplace_back(new CBackupPromptDlg({}, desk));
        made.emplace_back(new CCardInitDlg(rig.desk->link(), rig.clock, desk));
        made.emplace_back(new CRecordsDlg(d, {}, desk));
        made.emplace_back(new CQueryDlg(d, rig.clock, {}, desk));
        made.emplace_back(new CPreviewDlg(d, rig.clock, QStringLiteral("2024-05-06 00:00:00"),
                                          QStringLiteral("2024-05-06 23:59:59"), desk));
        made.emplace_back(new CSettlementDlg(d, rig.clock, day, day, {}, desk));
        made.emplace_back(new CSettlementPreviewDlg(TableDocument{}, desk));
        made.emplace_back(new CJournalDlg(d, desk));
        made.emplace_back(new CAuditDlg(d, desk, {}, day));
        made.emplace_back(new SimulatorWindow(rig.reader));
        made.emplace_back(new CShiftCloseDlg(d, rig.clock, Shifts::Shift{}, {}, desk));
    }
    QList<QWidget*> all() {
        QList<QWidget*> windows{rig.desk.get()};
        for (const auto& w : made)
            windows << w.get();
        return windows;
    }
    template <typename T> T* find() {
        for (QWidget* w : all())
            if (auto* t = qobject_cast<T*>(w))
                return t;
        return nullptr;
    }
};

QStringList names(const QList<QWidget*>& widgets) {
    QStringList list;
    for (const QWidget* w : widgets)
        list << w->objectName();
    return list;
}

// Texts cut short: a label or button narrower or lower than its text needs.
QStringList clipped(QWidget* window) {
    QStringList cut;
    for (QWidget* w : window->findChildren<QWidget*>()) {
        const auto* label = qobject_cast<QLabel*>(w);
        if (!w->isVisibleTo(window) || w->objectName().isEmpty() ||
            (!label && !qobject_cast<QAbstractButton*>(w)) || (label && label->hasScaledContents()))
            continue;
        const QSize need = w->minimumSizeHint();
        if (w->width() < need.width() || w->height() < need.height())
            cut << QStringLiteral("%1 %2x%3 < %4x%5")
                       .arg(w->objectName())
                       .arg(w->width())
                       .arg(w->height())
                       .arg(need.width())
                       .arg(need.height());
    }
    return cut;
}

} // namespace

class TestWindowLayouts : public QObject {
    Q_OBJECT

private slots:
    // Layouts place every control, so a window grows, shrinks and scales without a text cut
    // short, down to a size that a 1366 × 768 screen holds.
    void everyWindowIsLaidOutAndFitsASmallScreen() {
        Windows windows;
        for (QWidget* window : windows.all()) {
            const QString name = window->metaObject()->className();
            QVERIFY2(window->layout(), qPrintable(name));
            const QStringList unplaced = UnplacedControls(window);
            QVERIFY2(unplaced.isEmpty(), qPrintable(name + ": " + unplaced.join(' ')));
            const QSize least = window->minimumSizeHint();
            QVERIFY2(least.width() <= 1366 && least.height() <= 768 - 60,
                     qPrintable(QStringLiteral("%1 needs %2x%3")
                                    .arg(name)
                                    .arg(least.width())
                                    .arg(least.height())));
            window->show();
            for (const QSize size : {least, least + QSize(300, 200)}) {
                window->resize(size);
                window->layout()->activate();
                const QStringList cut = clipped(window);
                QVERIFY2(cut.isEmpty(), qPrintable(name + ": " + cut.join(", ")));
            }
            window->hide();
        }
    }

    // The program's question: 否 is the default, so Enter and Escape both answer no; only a
    // press of 是 goes ahead.
    void aQuestionGoesAheadOnlyOnYes() {
        QtDialogs qt;
        Dialogs& dialogs = qt;
        const auto answered = [&](const std::function<void(QMessageBox*)>& answer) {
            QStringList seen;
            ModalWatcher watcher([&](QWidget* window) {
                auto* box = qobject_cast<QMessageBox*>(window);
                QVERIFY(box);
                seen << box->windowTitle() << box->button(QMessageBox::Yes)->text()
                     << box->button(QMessageBox::No)->text();
                answer(box);
            });
            const bool yes = dialogs.ask(QStringLiteral("确定吗？"));
            if (seen != QStringList{"系统提示", "是", "否"})
                qWarning() << seen;
            return yes && seen == QStringList{"系统提示", "是", "否"};
        };
        QVERIFY(!answered([](QMessageBox* box) { QTest::keyClick(box, Qt::Key_Return); }));
        QVERIFY(!answered([](QMessageBox* box) { QTest::keyClick(box, Qt::Key_Escape); }));
        QVERIFY(answered([](QMessageBox* box) { box->button(QMessageBox::Yes)->click(); }));
    }

    // Tab goes through each window in the order it reads: across, then down.
    void tabFollowsTheVisualOrder() {
        Windows windows;
        const auto chain = [&](QWidget* window, const char* first) {
            return names(TabChain(window, window->findChild<QWidget*>(QLatin1String(first))));
        };
        QCOMPARE(chain(windows.find<CLoginDlg>(), "userCombo"),
                 (QStringList{"userCombo", "passwordEdit", "loginButton", "exitButton"}));
        QCOMPARE(chain(windows.find<CPasswordDlg>(), "userCombo"),
                 (QStringList{"userCombo", "oldPasswordEdit", "newPasswordEdit",
                              "repeatPasswordEdit", "changeButton", "exitButton"}));
        QCOMPARE(
            chain(windows.rig.desk.get(), "cardInitButton"),
            (QStringList{"cardInitButton", "recordsButton", "userManageButton", "queryButton",
                         "backupButton",   "restoreButton", "shiftButton",      "exitButton",
                         "portCombo",      "connectButton", "amountEdit",       "rechargeButton",
                         "clearButton",    "reprintButton", "closePlanButton",  "serialEdit",
                         "nameEdit",       "phoneEdit",     "lostButton",       "replaceButton",
                         "correctButton",  "profileButton", "totalEdit",        "recordList"}));
        QCOMPARE(chain(windows.find<CQueryDlg>(), "dateFromEdit"),
                 (QStringList{"dateFromEdit", "dateToEdit", "queryButton", "previewButton",
                              "printButton", "cancelButton", "recordList", "exportButton",
                              "settleButton"}));
        QCOMPARE(
            chain(windows.find<CRecordsDlg>(), "recordList"),
            (QStringList{"recordList", "cardSerialEdit", "cardNumberEdit", "holderNameEdit",
                         "idNumberEdit", "holderPhoneEdit", "addressEdit", "addButton",
                         "modifyButton", "lostButton", "deleteButton", "clearButton", "fieldCombo",
                         "searchEdit", "searchButton", "importButton", "exportButton"}));
        QCOMPARE(chain(windows.find<CBackupPromptDlg>(), "yesButton"),
                 (QStringList{"yesButton", "noButton", "cancelButton"}));
        QCOMPARE(chain(windows.find<CShiftCloseDlg>(), "floatEdit"),
                 (QStringList{"floatEdit", "countedEdit", "closeShiftButton", "cancelButton"}));
        for (QWidget* preview : {static_cast<QWidget*>(windows.find<CPreviewDlg>()),
                                 static_cast<QWidget*>(windows.find<CSettlementPreviewDlg>())})
            QCOMPARE(chain(preview, "pageArea"),
                     (QStringList{"pageArea", "prevButton", "nextButton", "closeButton"}));
    }
};

QTEST_MAIN(TestWindowLayouts)
#include "tst_window_layouts.moc"
