#include "records/windows/RecordsDlg.h"
#include "support/Controls.h"

#include "data/AdoConn.h"
#include "data/Text.h"

#include "support/FakeDialogs.h"
#include "support/TestDatabase.h"

#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTest>

using namespace velkar;

namespace {

constexpr const char* Serial = "cardSerialEdit";
constexpr const char* CardNo = "cardNumberEdit";
constexpr const char* Name = "holderNameEdit";
constexpr const char* Id = "idNumberEdit";
constexpr const char* Phone = "holderPhoneEdit";
constexpr const char* Address = "addressEdit";
constexpr const char* Field = "fieldCombo";
constexpr const char* SearchText = "searchEdit";

} // namespace

class RecordsTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TestDatabase> db;
    FakeDialogs dialogs;

    QTableView* list(CRecordsDlg& dlg) { return control<QTableView>(&dlg, "recordList"); }
    QLineEdit* edit(CRecordsDlg& dlg, const char* id) { return control<QLineEdit>(&dlg, id); }
    void press(CRecordsDlg& dlg, const char* id) { control<QPushButton>(&dlg, id)->click(); }

    QStringList column(CRecordsDlg& dlg, int c) {
        QStringList texts;
        auto* model = list(dlg)->model();
        for (int r = 0; r < model->rowCount(); ++r)
            texts << model->index(r, c).data().toString();
        return texts;
    }

    void click(CRecordsDlg& dlg, int row) {
        QTableView* view = list(dlg);
        const QRect cell = view->visualRect(view->model()->index(row, 2));
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, cell.center());
    }

    void fill(CRecordsDlg& dlg, const QStringList& six) {
        const char* const ids[] = {Serial, CardNo, Name, Id, Phone, Address};
        for (int i = 0; i < 6; ++i)
            edit(dlg, ids[i])->setText(six[i]);
    }

    void search(CRecordsDlg& dlg, const QString& field, const QString& text) {
        auto* combo = control<QComboBox>(&dlg, Field);
        combo->setCurrentIndex(combo->findText(field));
        edit(dlg, SearchText)->setText(text);
        press(dlg, "searchButton");
    }

    QString cell(const QString& column, const QString& cardNo) {
        Connection c(db->path());
        Query q(c, QStringLiteral("SELECT \"%1\" FROM userecord WHERE 卡号 = ?").arg(column));
        q.bind(1, cardNo);
        return q.next() ? q.text(0) : QStringLiteral("<none>");
    }

    int cardholders() {
        return db->scalar(QStringLiteral("SELECT count(*) FROM userecord")).toInt();
    }

private slots:
    void init() {
        db = std::make_unique<TestDatabase>();
        dialogs.clear();
    }
    void cleanup() { db.reset(); }

    void listsCardNumbersInTextOrder() {
        for (const char* card : {"3", "1", "2", "10"})
            db->addCardholder(QStringLiteral("s"), QString::fromLatin1(card), QStringLiteral("名"));
        CRecordsDlg dlg(dialogs);
        QCOMPARE(column(dlg, 1), (QStringList{"1", "10", "2", "3"}));
        QCOMPARE(dlg.windowTitle(), QStringLiteral("档案管理"));
        auto* combo = control<QComboBox>(&dlg, Field);
        QCOMPARE(combo->count(), 6);
        QCOMPARE(combo->currentIndex(), -1);
        QVERIFY(dialogs.texts().isEmpty());
    }

    void addChecksFieldsAndRefusesTakenCardNumbers() {
        db->addCardholder(QStringLiteral("1"), QStringLiteral("000000A1"), QStringLiteral("甲"));
        CRecordsDlg dlg(dialogs);

        fill(dlg, {"7", "000000B2", "", "id", "tel", "addr"});
        press(dlg, "addButton");
        QCOMPARE(dialogs.lastText(), QStringLiteral("基础信息不能为空！"));
        QCOMPARE(cardholders(), 1);

        // The serial is not required here; a quote in a value is ordinary text.
        fill(dlg, {"", "000000B2", "O'Brien", "id", "tel", "addr"});
        press(dlg, "addButton");
        QCOMPARE(dialogs.lastText(), QStringLiteral("添加成功"));
        QCOMPARE(cell(QStringLiteral("姓名"), QStringLiteral("000000B2")),
                 QStringLiteral("O'Brien"));
        QCOMPARE(cell(QStringLiteral("卡序号"), QStringLiteral("000000B2")), QString());
        QCOMPARE(column(dlg, 2), (QStringList{"甲", "O'Brien"}));
        QCOMPARE(edit(dlg, Name)->text(), QStringLiteral("O'Brien")); // the edits keep their texts

        fill(dlg, {"9", "000000A1", "乙", "id", "tel", "addr"});
        press(dlg, "addButton");
        QCOMPARE(dialogs.lastText(), QStringLiteral("卡号重复警告"));
        QCOMPARE(cardholders(), 2);
        QCOMPARE(cell(QStringLiteral("姓名"), QStringLiteral("000000A1")), QStringLiteral("甲"));
        QCOMPARE(column(dlg, 1), (QStringList{"000000A1", "000000B2"}));
    }

    // Only a taken 卡号 is a duplicate: an add the trail can't take fails as itself, and the
    // cardholder is not stored without its entry.
    void anAddThatFailsIsNotCalledADuplicate() {
        CRecordsDlg dlg(dialogs);
        db->exec(QStringLiteral("ALTER TABLE audit RENAME TO audit_gone"));
        fill(dlg, {"7", "000000B2", "乙", "id", "tel", "addr"});
        press(dlg, "addButton");
        QVERIFY(dialogs.lastText().startsWith(QStringLiteral("操作失败\n")));
        QCOMPARE(cardholders(), 0);
        QVERIFY(column(dlg, 1).isEmpty());
    }

    // Without the file: the engine's reason as the connection fails, then the add's verdict.
    void anAddWithoutTheFileSaysWhyOnce() {
        FILE_DATABASE_ONLY();
        CRecordsDlg dlg(dialogs);
        QFile::remove(db->path());
        dialogs.clear();
        fill(dlg, {"7", "000000B2", "乙", "id", "tel", "addr"});
        press(dlg, "addButton");
        QCOMPARE(dialogs.texts().size(), 2);
        QVERIFY(!dialogs.texts().first().isEmpty());
        QCOMPARE(dialogs.texts().last(), QStringLiteral("操作失败"));
    }

    // A card number is eight hexadecimal digits, as the reader reports it: lower case and blanks
    // are mended, anything else refused, on add and on change; a search finds it either way.
    // Each change is in the audit trail.
    void cardNumbersFollowTheReadersForm() {
        CRecordsDlg dlg(dialogs);
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        for (const char* wrong : {"5678EFGH", "1234567", "123456789", "12 345678", "０"}) {
            fill(dlg, {"1", QString::fromUtf8(wrong), "甲", "id", "tel", "addr"});
            press(dlg, "addButton");
            QCOMPARE(dialogs.lastText(),
                     QStringLiteral("卡号“%1”不是八位十六进制数").arg(QString::fromUtf8(wrong)));
        }
        QCOMPARE(cardholders(), 0);

        fill(dlg, {"1", " abcdef01 ", "甲", "id", "tel", "addr"});
        press(dlg, "addButton");
        QCOMPARE(dialogs.lastText(), QStringLiteral("添加成功"));
        QCOMPARE(cell(QStringLiteral("姓名"), QStringLiteral("ABCDEF01")), QStringLiteral("甲"));
        QCOMPARE(edit(dlg, CardNo)->text(), QStringLiteral("ABCDEF01"));
        fill(dlg, {"2", "ＡＢＣＤＥＦ０２", "乙", "id", "tel", "addr"}); // full-width digits
        press(dlg, "addButton");
        QCOMPARE(cell(QStringLiteral("姓名"), QStringLiteral("ABCDEF02")), QStringLiteral("乙"));

        search(dlg, QStringLiteral("卡号"), QStringLiteral("abcdef01"));
        QCOMPARE(column(dlg, 1), (QStringList{"ABCDEF01"}));
        click(dlg, 0);
        edit(dlg, CardNo)->setText(QStringLiteral("ABCDEFGH"));
        press(dlg, "modifyButton");
        QCOMPARE(dialogs.lastText(), QStringLiteral("卡号“ABCDEFGH”不是八位十六进制数"));
        QCOMPARE(cell(QStringLiteral("姓名"), QStringLiteral("ABCDEF01")), QStringLiteral("甲"));
        edit(dlg, CardNo)->setText(QStringLiteral("abcdef03"));
        press(dlg, "modifyButton");
        QCOMPARE(dialogs.lastText(), QStringLiteral("修改成功"));
        QCOMPARE(cell(QStringLiteral("姓名"), QStringLiteral("ABCDEF03")), QStringLiteral("甲"));
        QCOMPARE(cardholders(), 2);

        const QString actions = db->scalar(QStringLiteral(
            "SELECT count(*) FROM audit WHERE action IN ('添加持卡人', '修改持卡人')"));
        QCOMPARE(actions, QStringLiteral("3"));
    }

    // A lone surrogate would be stored (or searched for) as another text than the one shown.
    void textsTheStoreCantKeepAreRefused() {
        db->addCardholder(QStringLiteral("1"), QStringLiteral("000000A1"), QStringLiteral("甲"));
        CRecordsDlg dlg(dialogs);
        const QString lone = QStringLiteral("王") + QChar(0xDC01);
        fill(dlg, {"7", "000000B2", lone, "id", "tel", "addr"});
        press(dlg, "addButton");
        QCOMPARE(dialogs.lastText(), UnstorableTextMessage);
        QCOMPARE(cardholders(), 1);

        click(dlg, 0);
        edit(dlg, Address)->setText(lone);
        press(dlg, "modifyButton");
        QCOMPARE(dialogs.lastText(), UnstorableTextMessage);
        QCOMPARE(cell(QStringLiteral("地址"), QStringLiteral("000000A1")), QStringLiteral("null"));

        search(dlg, QStringLiteral("姓名"), lone);
        QCOMPARE(dialogs.lastText(), UnstorableTextMessage);
        QCOMPARE(dialogs.texts().count(UnstorableTextMessage), 3);
    }

    void clickFillsTheEditsAndClearEmptiesThem() {
        db->addCardholder(QStringLiteral("5"), QStringLiteral("000000C3"), QStringLiteral("丙"),
                          QStringLiteral("110"), QStringLiteral("555"), QStringLiteral("北京"));
        CRecordsDlg dlg(dialogs);
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        edit(dlg, SearchText)->setText(QStringLiteral("keep"));
        click(dlg, 0);
        QCOMPARE(edit(dlg, Serial)->text(), QStringLiteral("5"));
        QCOMPARE(edit(dlg, Address)->text(), QStringLiteral("北京"));
        press(dlg, "clearButton");
        for (const char* id : {Serial, CardNo, Name, Id, Phone, Address})
            QVERIFY(edit(dlg, id)->text().isEmpty());
        QCOMPARE(edit(dlg, SearchText)->text(), QStringLiteral("keep"));
        QCOMPARE(column(dlg, 1).size(), 1);
    }

    void modifyAndDeleteNeedASelection() {
        db->addCardholder(QStringLiteral("1"), QStringLiteral("000000A1"), QStringLiteral("甲"));
        CRecordsDlg dlg(dialogs);
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        fill(dlg, {"2", "000000A1", "乙", "id", "tel", "addr"});
        press(dlg, "modifyButton");
        QCOMPARE(dialogs.lastText(), QStringLiteral("操作失败"));
        press(dlg, "deleteButton");
        QCOMPARE(dialogs.lastText(), QStringLiteral("操作失败"));
        QCOMPARE(cell(QStringLiteral("姓名"), QStringLiteral("000000A1")), QStringLiteral("甲"));

        // Unlike the add, the change requires the serial.
        click(dlg, 0);
        edit(dlg, Serial)->clear();
        press(dlg, "modifyButton");
        QCOMPARE(dialogs.lastText(), QStringLiteral("基础信息不能为空！"));
        QCOMPARE(cell(QStringLiteral("卡序号"), QStringLiteral("000000A1")), QStringLiteral("1"));
    }

    void searchThenChangeAndDeleteTheSelectedCardholder() {
        db->addCardholder(QStringLiteral("1"), QStringLiteral("00000001"), QStringLiteral("张三"));
        db->addCardholder(QStringLiteral("2"), QStringLiteral("00000002"),
                          QStringLiteral("O'Brien"));
        db->addCardholder(QStringLiteral("3"), QStringLiteral("00000003"), QStringLiteral("张三"));
        db->addCardholder(QStringLiteral("4"), QStringLiteral("00000004"), QStringLiteral("李四"));
        CRecordsDlg dlg(dialogs);
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));

        search(dlg, QStringLiteral("姓名"), QStringLiteral("张"));
        QCOMPARE(column(dlg, 1).size(), 0); // no partial match

        search(dlg, QStringLiteral("姓名"), QStringLiteral("张三"));
        QCOMPARE(column(dlg, 1), (QStringList{"00000001", "00000003"}));
        // Second in the result, third in the table.
        click(dlg, 1);
        QCOMPARE(edit(dlg, CardNo)->text(), QStringLiteral("00000003"));
        edit(dlg, Name)->setText(QStringLiteral("张三丰"));
        press(dlg, "modifyButton");
        QCOMPARE(dialogs.lastText(), QStringLiteral("修改成功"));
        QCOMPARE(cell(QStringLiteral("姓名"), QStringLiteral("00000003")),
                 QStringLiteral("张三丰"));
        QCOMPARE(cell(QStringLiteral("姓名"), QStringLiteral("00000001")), QStringLiteral("张三"));
        QCOMPARE(column(dlg, 1).size(), 4); // reloaded

        search(dlg, QStringLiteral("姓名"), QStringLiteral("O'Brien"));
        QCOMPARE(column(dlg, 1), (QStringList{"00000002"}));
        click(dlg, 0);
        edit(dlg, Name)->setText(QStringLiteral("O'Neil"));
        press(dlg, "modifyButton");
        QCOMPARE(cell(QStringLiteral("姓名"), QStringLiteral("00000002")),
                 QStringLiteral("O'Neil"));

        search(dlg, QStringLiteral("姓名"), QStringLiteral("O'Neil"));
        click(dlg, 0);
        press(dlg, "deleteButton"); // at once, without asking
        QCOMPARE(dialogs.lastText(), QStringLiteral("删除成功"));
        QCOMPARE(cell(QStringLiteral("姓名"), QStringLiteral("00000002")),
                 QStringLiteral("<none>"));
        QCOMPARE(column(dlg, 1), (QStringList{"00000001", "00000003", "00000004"}));
        QVERIFY(edit(dlg, CardNo)->text().isEmpty());

        // A change to a 卡号 another cardholder has is a duplicate and changes nothing.
        click(dlg, 0);
        edit(dlg, CardNo)->setText(QStringLiteral("00000004"));
        press(dlg, "modifyButton");
        QCOMPARE(dialogs.lastText(), QStringLiteral("卡号重复警告"));
        QCOMPARE(cell(QStringLiteral("姓名"), QStringLiteral("00000001")), QStringLiteral("张三"));
        QCOMPARE(cardholders(), 3);
    }

    void searchNeedsAChosenFieldAndText() {
        db->addCardholder(QStringLiteral("1"), QStringLiteral("00000001"), QStringLiteral("张三"));
        CRecordsDlg dlg(dialogs);
        edit(dlg, SearchText)->setText(QStringLiteral("张三"));
        press(dlg, "searchButton");
        QCOMPARE(dialogs.lastText(), QStringLiteral("检索信息不能为空！"));

        auto* combo = control<QComboBox>(&dlg, Field);
        combo->setEditText(QStringLiteral("姓名")); // typed, not chosen
        press(dlg, "searchButton");
        QCOMPARE(dialogs.texts().size(), 2);
        QCOMPARE(dialogs.lastText(), QStringLiteral("检索信息不能为空！"));

        search(dlg, QStringLiteral("卡号"), QString());
        QCOMPARE(dialogs.texts().size(), 3);
        QCOMPARE(column(dlg, 1).size(), 1); // unchanged
    }

    void enterSearchesOnlyFromTheSearchText() {
        db->addCardholder(QStringLiteral("1"), QStringLiteral("00000001"), QStringLiteral("张三"));
        db->addCardholder(QStringLiteral("2"), QStringLiteral("00000002"), QStringLiteral("李四"));
        CRecordsDlg dlg(dialogs);
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        auto* combo = control<QComboBox>(&dlg, Field);
        combo->setCurrentIndex(combo->findText(QStringLiteral("卡号")));
        edit(dlg, SearchText)->setText(QStringLiteral("00000002"));

        edit(dlg, Name)->setFocus();
        QTest::keyClick(edit(dlg, Name), Qt::Key_Return);
        QTest::keyClick(control<QPushButton>(&dlg, "deleteButton"), Qt::Key_Enter);
        QVERIFY(dlg.isVisible());
        QCOMPARE(column(dlg, 1).size(), 2);
        QVERIFY(dialogs.texts().isEmpty());

        edit(dlg, SearchText)->setFocus();
        QTest::keyClick(edit(dlg, SearchText), Qt::Key_Return);
        QVERIFY(dlg.isVisible());
        QCOMPARE(column(dlg, 1), (QStringList{"00000002"}));

        QTest::keyClick(edit(dlg, Name), Qt::Key_Escape);
        QVERIFY(!dlg.isVisible());
        QCOMPARE(dlg.result(), int(QDialog::Rejected));
    }

    // A long archive is listed in 卡号 order as texts compare, read a block at a time; the
    // last row, scrolled to and clicked, fills the fields.
    void longArchiveInCardNumberOrder() {
        QStringList cards;
        {
            const TestDatabase::Batch batch(*db);
            for (int i = 0; i < 150; ++i) {
                const QString card =
                    QStringLiteral("%1%2").arg(i % 2 ? "a" : "A").arg((i * 37) % 150);
                cards << card;
                db->addCardholder(QString::number(i), card, QStringLiteral("名%1").arg(i));
            }
        }
        cards.sort(); // by code unit, as the store compares
        CRecordsDlg dlg(dialogs);
        dlg.show();
        QCOMPARE(column(dlg, 1), cards);
        list(dlg)->scrollToBottom();
        click(dlg, 149);
        QCOMPARE(edit(dlg, CardNo)->text(), cards.last());
        QVERIFY(dialogs.texts().isEmpty());
    }

    void storeErrorsLeaveTheWindowUsable() {
        db->addCardholder(QStringLiteral("1"), QStringLiteral("00000001"), QStringLiteral("张三"));
        CRecordsDlg dlg(dialogs);
        QCOMPARE(column(dlg, 1), (QStringList{"00000001"})); // shown, so read
        db->exec(QStringLiteral("ALTER TABLE userecord RENAME TO gone"));
        search(dlg, QStringLiteral("姓名"), QStringLiteral("张三"));
        // The verdict, then the store's own reason.
        QVERIFY(dialogs.lastText().startsWith(QStringLiteral("操作失败\n")));
        QVERIFY(dialogs.lastText().contains(QStringLiteral("userecord")));
        QCOMPARE(column(dlg, 1), (QStringList{"00000001"})); // the list as it was
        dlg.LoadRecords();
        QCOMPARE(dialogs.lastText(), QStringLiteral("操作失败"));

        db->exec(QStringLiteral("ALTER TABLE gone RENAME TO userecord"));
        search(dlg, QStringLiteral("姓名"), QStringLiteral("张三"));
        QCOMPARE(column(dlg, 1), (QStringList{"00000001"}));
        QCOMPARE(dialogs.texts().size(), 2);
    }
};

QTEST_MAIN(RecordsTest)
#include "tst_records.moc"
