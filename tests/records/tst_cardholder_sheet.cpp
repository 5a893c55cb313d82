#include "data/AdoConn.h"
#include "data/Audit.h"
#include "records/CardholderSheet.h"
#include "records/SheetReader.h"
#include "records/windows/RecordsDlg.h"
#include "support/FakeDialogs.h"
#include "support/TestDatabase.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>

#include <QFile>
#include <QStringEncoder>
#include <QtTest>

#include <zip.h>

using namespace velkar;
using CardholderSheet::Verdict;

namespace {

// A workbook of our own making, part by part, for the cases a spreadsheet program writes
// differently or that no writer library would make (a formula never worked out).
// A zip package written part by part; a part may be written in pieces.
class Package {
public:
    explicit Package(const QString& path) : m_zip(zipOpen64(QFile::encodeName(path), 0)) {}
    ~Package() { zipClose(m_zip, nullptr); }
    void begin(const char* name) {
        zipOpenNewFileInZip64(m_zip, name, nullptr, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED, 1,
                              1);
    }
    void write(const QByteArray& bytes) {
        zipWriteInFileInZip(m_zip, bytes.constData(), unsigned(bytes.size()));
    }
    void end() { zipCloseFileInZip(m_zip); }
    void part(const char* name, const QByteArray& bytes) {
        begin(name);
        write(bytes);
        end();
    }

private:
    zipFile m_zip;
};

void writeWorkbook(const QString& path, const QByteArray& sheetData,
                   const QByteArray& sharedStrings = {}, const QByteArray& afterData = {}) {
    Package zip(path);
    const auto part = [&](const char* name, const QByteArray& bytes) { zip.part(name, bytes); };
    part("xl/workbook.xml",
         "<workbook xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/"
         "relationships\"><sheets><sheet name=\"名单\" sheetId=\"1\" r:id=\"rId7\"/></sheets>"
         "</workbook>");
    part("xl/_rels/workbook.xml.rels",
         "<Relationships><Relationship Id=\"rId7\" Type=\"http://schemas.openxmlformats.org/"
         "officeDocument/2006/relationships/worksheet\" Target=\"worksheets/list.xml\"/>"
         "<Relationship Id=\"rId8\" Type=\"http://schemas.openxmlformats.org/officeDocument/"
         "2006/relationships/sharedStrings\" Target=\"strings.xml\"/></Relationships>");
    part("xl/worksheets/list.xml",
         "<worksheet><sheetData>" + sheetData + "</sheetData>" + afterData + "</worksheet>");
    if (!sharedStrings.isEmpty())
        part("xl/strings.xml", "<sst>" + sharedStrings + "</sst>");
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

QList<QStringList> archive(const TestDatabase& db) {
    const Connection c(db.path());
    Query q(c, "SELECT 卡序号, 卡号, 姓名, 身份证, 电话, 地址 FROM userecord ORDER BY 卡号");
    QList<QStringList> rows;
    while (q.next())
        rows << QStringList{q.text(0), q.text(1), q.text(2), q.text(3), q.text(4), q.text(5)};
    return rows;
}

CardholderSheet::Preview preview(const TestDatabase& db, const QString& path) {
    const Connection c(db.path());
    return CardholderSheet::Read(path, c);
}

QList<Verdict> verdicts(const CardholderSheet::Preview& p) {
    QList<Verdict> v;
    for (const auto& row : p.rows)
        v << row.verdict;
    return v;
}

// For what reads the same on either engine.
#define SKIP_ON_SERVER()                                                                           \
    do {                                                                                           \
        if (TestDatabase::OnServer())                                                              \
            QSKIP("read the same on either engine");                                               \
    } while (false)

qint64 peakMemoryKb() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    return 0;
}

} // namespace

class TestCardholderSheet : public QObject {
    Q_OBJECT

private slots:
    // First, while the process is small: the peak shows what the read took.
    void aFullSheetIsRefusedInBoundedMemory() {
        SKIP_ON_SERVER();
        TestDatabase db;
        const QString path = db.folder() + "/full.xlsx";
        {
            Package file(path);
            file.begin("xl/worksheets/sheet1.xml");
            file.write("<worksheet><sheetData><row r=\"1\"><c t=\"inlineStr\"><is><t>卡号</t></is>"
                       "</c><c t=\"inlineStr\"><is><t>姓名</t></is></c></row>");
            QByteArray rows;
            for (int line = 2; line <= 1048576; ++line) {
                rows += "<row r=\"" + QByteArray::number(line) + "\"><c t=\"inlineStr\"><is><t>" +
                        QByteArray::number(line, 16).rightJustified(8, '0').toUpper() +
                        "</t></is></c><c t=\"inlineStr\"><is><t>持卡人</t></is></c></row>";
                if (rows.size() > (1 << 20)) {
                    file.write(rows);
                    rows.clear();
                }
            }
            file.write(rows + "</sheetData></worksheet>");
            file.end();
        }
        const qint64 before = peakMemoryKb();
        const CardholderSheet::Preview p = preview(db, path);
        QCOMPARE(p.problem, QStringLiteral("表格超过 200000 行，一次最多导入 200000 行；"
                                           "请分成几个文件导入"));
        QVERIFY(p.rows.empty());
        // What 200,000 rows take, not what a million would.
        QVERIFY2(peakMemoryKb() - before < 200 * 1024,
                 qPrintable(QString::number(peakMemoryKb() - before)));
        QCOMPARE(archive(db), QList<QStringList>());
    }

    void columnsAreFoundByTheirHeadings() {
        TestDatabase db;
        const QString path = db.folder() + "/list.xlsx";
        // A title above, the headings in another order and with a colon, 身份证 missing; the
        // phone a number, the card number a text with leading zeros, strings shared and inline.
        writeWorkbook(path,
                      "<row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c></row>"
                      "<row r=\"3\"><c r=\"A3\" t=\"s\"><v>1</v></c><c r=\"B3\" t=\"s\"><v>2</v>"
                      "</c><c r=\"C3\" t=\"s\"><v>3</v></c><c r=\"D3\" t=\"inlineStr\"><is><t>电话"
                      "</t></is></c><c r=\"F3\" t=\"s\"><v>4</v></c><c r=\"G3\" t=\"s\"><v>5</v>"
                      "</c></row>"
                      "<row r=\"4\"><c r=\"A4\" t=\"s\"><v>6</v></c><c r=\"B4\" t=\"s\"><v>7</v>"
                      "</c><c r=\"C4\"><v>7</v></c><c r=\"D4\"><v>1.38E10</v></c>"
                      "<c r=\"F4\" t=\"inlineStr\"><is><r><t>北京</t></r><r><t xml:space="
                      "\"preserve\"> 海淀 </t></r></is></c><c r=\"G4\"><v>99</v></c></row>",
                      "<si><t>持卡人名单</t></si><si><t>姓名</t></si><si><t>卡号：</t></si>"
                      "<si><t>卡序号</t></si><si><t>地址</t></si><si><t>备注</t></si>"
                      "<si><r><t>张</t></r><r><t>三</t></r><rPh><t>ちょう</t></rPh></si>"
                      "<si><t>0001ABCD</t></si>");
        const CardholderSheet::Preview p = preview(db, path);
        QVERIFY2(p.problem.isEmpty(), qPrintable(p.problem));
        QCOMPARE(p.notes, QStringList{"表格没有“身份证”列：新持卡人的身份证为空，已有持卡人的"
                                      "身份证不变"});
        QCOMPARE(p.rows.size(), size_t(1));
        const Cardholder& h = p.rows[0].holder;
        QCOMPARE((QStringList{h.cardSerial, h.cardNo, h.name, h.idNumber, h.phone, h.address}),
                 (QStringList{"7", "0001ABCD", "张三", "", "13800000000", "北京 海淀 "}));
        QCOMPARE(p.rows[0].line, 4);
        QCOMPARE(p.rows[0].verdict, Verdict::Add);
    }

    void everyRowIsChecked_data() {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QString>("why");
        QTest::newRow("short") << QByteArray("1,ABC123,甲") << "卡号“ABC123”不是八位十六进制数";
        QTest::newRow("not hex") << QByteArray("1,0000000G,甲")
                                 << "卡号“0000000G”不是八位十六进制数";
        QTest::newRow("empty") << QByteArray("1,,甲") << "卡号为空";
        QTest::newRow("formula") << QByteArray("1,=A1&B1,甲") << "卡号 是公式，没有计算结果";
        QTest::newRow("a zero in the text") << QByteArray("1,0000000A,甲") + '\0' + "乙"
                                            << "姓名 含有无法保存的字符";
        QTest::newRow("lower case and blanks: taken")
            << QByteArray("1, abcdef01 ,甲") << "卡号“ abcdef01 ”按“ABCDEF01”导入";
        QTest::newRow("the spreadsheets' text form") << QByteArray("1,=\"0001E500\",甲") << "";
    }

    void everyRowIsChecked() {
        QFETCH(QByteArray, line);
        QFETCH(QString, why);
        TestDatabase db;
        const QString path = db.folder() + "/list.csv";
        writeFile(path, "卡序号,卡号,姓名\r\n" + line + "\r\n");
        const CardholderSheet::Preview p = preview(db, path);
        QVERIFY2(p.problem.isEmpty(), qPrintable(p.problem));
        QCOMPARE(p.rows.size(), size_t(1));
        QCOMPARE(p.rows[0].why, why);
        const bool taken = line.contains("abcdef01") || line.contains("0001E500");
        QCOMPARE(p.rows[0].verdict, taken ? Verdict::Add : Verdict::Refuse);
    }

    void aNumberThatLostItsZerosIsToldSo() {
        TestDatabase db;
        const QString path = db.folder() + "/list.xlsx";
        writeWorkbook(path, "<row><c t=\"inlineStr\"><is><t>卡号</t></is></c></row>"
                            "<row><c><v>1234</v></c></row><row><c><v>12345678</v></c></row>");
        const CardholderSheet::Preview p = preview(db, path);
        QCOMPARE(verdicts(p), (QList<Verdict>{Verdict::Refuse, Verdict::Add}));
        QCOMPARE(p.rows[0].why, QStringLiteral("卡号 1234 是数字格式，前导零可能已丢失"));
        QCOMPARE(p.rows[1].holder.cardNo, QStringLiteral("12345678"));
    }

    void duplicatesInTheSheetAndInTheArchiveAreShown() {
        TestDatabase db;
        db.addCardholder("1", "0000000A", "张三", "null", "13800000000", "null");
        db.addCardholder("2", "0000000B", "李四", "null", "13900000000", "null");
        const QString path = db.folder() + "/list.csv";
        writeFile(path, "卡序号,卡号,姓名,身份证,电话,地址\n"
                        "1,0000000A,张三,null,13800000000,null\n" // as the archive has it
                        "2,0000000B,李四,null,13911111111,null\n" // a new phone
                        "3,0000000C,王五,,,\n"                    // new
                        "3,0000000C,王五,,,\n"                    // the same again
                        "4,0000000D,赵六,,,\n"                    // two different 0000000D
                        "5,0000000D,钱七,,,\n");
        const CardholderSheet::Preview p = preview(db, path);
        QVERIFY2(p.problem.isEmpty(), qPrintable(p.problem));
        QCOMPARE(verdicts(p), (QList<Verdict>{Verdict::Same, Verdict::Change, Verdict::Add,
                                              Verdict::Refuse, Verdict::Refuse, Verdict::Refuse}));
        QCOMPARE(p.rows[1].why, QStringLiteral("电话：13900000000 → 13911111111"));
        QCOMPARE(p.rows[1].before.phone, QStringLiteral("13900000000"));
        QCOMPARE(p.rows[3].why, QStringLiteral("与第 4 行重复"));
        QCOMPARE(p.rows[4].why, QStringLiteral("与第 7 行卡号相同而内容不同"));
        QCOMPARE(p.rows[5].why, QStringLiteral("与第 6 行卡号相同而内容不同"));
        QCOMPARE((QList<int>{p.added, p.changed, p.same, p.refused}), (QList<int>{1, 1, 1, 3}));
    }

    void nothingIsWrittenBeforeTheOperatorSaysSo() {
        TestDatabase db;
        db.addCardholder("1", "0000000A", "张三", "null", "13800000000", "null");
        const QList<QStringList> before = archive(db);
        const QString path = db.folder() + "/list.csv";
        writeFile(path, "卡号,姓名,电话\n0000000A,张三,13811111111\n0000000B,李四,139\n"
                        "XYZ,王五,1\n");
        const CardholderSheet::Preview p = preview(db, path);
        QCOMPARE(archive(db), before);
        const Connection c(db.path());
        QCOMPARE(CardholderSheet::Apply(c, p, "管理员", QDateTime(QDate(2025, 1, 2), QTime(3, 4))),
                 QString());
        // The sheet had no 卡序号, 身份证 or 地址: kept for the one there, empty for the new one.
        QCOMPARE(archive(db),
                 (QList<QStringList>{{"1", "0000000A", "张三", "null", "13811111111", "null"},
                                     {"", "0000000B", "李四", "", "139", ""}}));
        Query trail(c, "SELECT action, details FROM audit ORDER BY id");
        QVERIFY(trail.next());
        QCOMPARE(trail.text(0), Audit::CardholdersImported);
        QCOMPARE(trail.text(1),
                 QStringLiteral("来源 list.csv：新增 1 人，修改 1 人，不变 0 人，拒绝 1 行"));
        QVERIFY(!trail.next());
    }

    void anArchiveChangedSinceThePreviewIsNotOverwritten() {
        TestDatabase db;
        db.addCardholder("1", "0000000A", "张三");
        const QString path = db.folder() + "/list.csv";
        writeFile(path, "卡号,姓名\n0000000A,张三丰\n0000000B,李四\n");
        const CardholderSheet::Preview p = preview(db, path);
        db.exec("UPDATE userecord SET 姓名 = '张三二' WHERE 卡号 = '0000000A'");
        const QList<QStringList> before = archive(db);
        const Connection c(db.path());
        QCOMPARE(CardholderSheet::Apply(c, p, "管理员"),
                 QStringLiteral("预览之后档案已被修改，请重新导入"));
        QCOMPARE(archive(db), before);
        QCOMPARE(db.scalar("SELECT count(*) FROM audit"), QStringLiteral("0"));
    }

    void encodingsAreRecognised_data() {
        QTest::addColumn<QByteArray>("bytes");
        const QString text = QStringLiteral("卡号,姓名,地址\r\n0000000A,张三,\"北京,海淀\"\r\n");
        QTest::newRow("UTF-8") << text.toUtf8();
        QTest::newRow("UTF-8 with BOM") << "\xEF\xBB\xBF" + text.toUtf8();
        QTest::newRow("GB18030") << QByteArray(QStringEncoder("GB18030").encode(text));
    }

    void encodingsAreRecognised() {
        QFETCH(QByteArray, bytes);
        TestDatabase db;
        const QString path = db.folder() + "/list.csv";
        writeFile(path, bytes);
        const CardholderSheet::Preview p = preview(db, path);
        QVERIFY2(p.problem.isEmpty(), qPrintable(p.problem));
        QCOMPARE(p.rows.size(), size_t(1));
        QCOMPARE(p.rows[0].holder.name, QStringLiteral("张三"));
        QCOMPARE(p.rows[0].holder.address, QStringLiteral("北京,海淀"));
    }

    void whatCantBeReadIsRefusedAsAWhole_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("problem");
        QTest::newRow("no encoding of ours") << QByteArray("卡号\n\xFF\xFF\xFF\n") << "无法识别";
        QTest::newRow("no heading") << QByteArray("card,name\n0000000A,x\n") << "找不到表头";
        QTest::newRow("heading only") << QByteArray("卡号,姓名\n,\n") << "表头下没有任何持卡人";
        QTest::newRow("old Excel")
            << QByteArray("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1rest") << "旧版 Excel";
        QTest::newRow("broken workbook")
            << QByteArray("PK\x03\x04 and nothing else") << "不是 Excel 工作簿";
    }

    void whatCantBeReadIsRefusedAsAWhole() {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, problem);
        TestDatabase db;
        const QString path = db.folder() + "/list.csv";
        writeFile(path, bytes);
        const CardholderSheet::Preview p = preview(db, path);
        QVERIFY2(p.problem.contains(problem), qPrintable(p.problem));
        QVERIFY(p.rows.empty());
        const Connection c(db.path());
        QCOMPARE(CardholderSheet::Apply(c, p, "管理员"), p.problem);
    }

    void workbookEdges() {
        TestDatabase db;
        const QString path = db.folder() + "/edges.xlsx";
        // A title merged over A1:C1; 姓名 merged over B2:C2 and 卡号 over A2:A3, so the
        // headings end on line 3; empty rows, a formula worked out and one never worked out,
        // an error value, cells without references.
        writeWorkbook(
            path,
            "<row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is><t>名单</t></is></c></row>"
            "<row r=\"2\"><c r=\"A2\" t=\"inlineStr\"><is><t>卡号</t></is></c>"
            "<c r=\"B2\" t=\"inlineStr\"><is><t>姓名</t></is></c></row>"
            "<row r=\"3\"><c r=\"B3\" t=\"inlineStr\"><is><t>（全名）</t></is></c></row>"
            "<row r=\"4\"><c t=\"inlineStr\"><is><t>0000000A</t></is></c>"
            "<c t=\"inlineStr\"><is><t>张三</t></is></c></row>"
            "<row r=\"5\"/><row r=\"6\"><c r=\"A6\" t=\"inlineStr\"><is><t></t></is></c></row>"
            "<row r=\"8\"><c r=\"A8\" t=\"str\"><f>UPPER(\"0000000b\")</f><v>0000000B</v></c>"
            "<c r=\"B8\" t=\"inlineStr\"><is><t>李四</t></is></c></row>"
            "<row r=\"9\"><c r=\"A9\" t=\"inlineStr\"><is><t>0000000C</t></is></c>"
            "<c r=\"B9\"><f>A9&amp;\"!\"</f></c></row>"
            "<row r=\"10\"><c r=\"A10\" t=\"inlineStr\"><is><t>0000000D</t></is></c>"
            "<c r=\"B10\" t=\"e\"><v>#N/A</v></c></row>",
            {},
            "<mergeCells count=\"3\"><mergeCell ref=\"A1:C1\"/><mergeCell ref=\"B2:C2\"/>"
            "<mergeCell ref=\"A2:A3\"/></mergeCells>");
        const CardholderSheet::Preview p = preview(db, path);
        QVERIFY2(p.problem.isEmpty(), qPrintable(p.problem));
        QCOMPARE(p.notes.size(), 7);
        QVERIFY(p.notes.contains("表头“姓名”是合并的单元格 B2:C2，取其第一列 B"));
        QVERIFY(p.notes.contains("表头“卡号”是合并的单元格 A2:A3，取其第一列 A"));
        QVERIFY(p.notes.contains("跳过空行 3 行"));
        QCOMPARE(verdicts(p),
                 (QList<Verdict>{Verdict::Add, Verdict::Add, Verdict::Refuse, Verdict::Refuse}));
        QCOMPARE(p.rows[0].line, 4);
        QCOMPARE(p.rows[1].holder.cardNo, QStringLiteral("0000000B"));
        QCOMPARE(p.rows[1].why, QStringLiteral("卡号 取公式的计算结果"));
        QCOMPARE(p.rows[2].why, QStringLiteral("姓名 是公式，没有计算结果"));
        QCOMPARE(p.rows[3].why, QStringLiteral("姓名 是错误值 #N/A"));
    }

    // ---- Out and back in --------------------------------------------------------------------

    void anExportReadBackChangesNothing_data() {
        QTest::addColumn<QString>("suffix");
        QTest::newRow("xlsx") << "xlsx";
        QTest::newRow("csv") << "csv";
    }

    void anExportReadBackChangesNothing() {
        QFETCH(QString, suffix);
        TestDatabase db;
        {
            TestDatabase::Batch batch(db);
            db.addCardholder("1", "00012345", "O'Brien", "110101199001011234", "13800000000",
                             "北京市\"中关村\",1号");
            db.addCardholder("", "0001E500", "  空格  ", "", "010-1234567", "第一行\n第二行");
            db.addCardholder("3", "ABCDEF01", "Émilie 😀", "=SUM(A1)", "+86 138", "null");
            db.addCardholder("0004", "FFFFFFFF", "很长的名字很长的名字很长的名字很长的名字",
                             "00123", "1.5", "null");
            // Texts a spreadsheet would compute: written after an apostrophe, read back without.
            db.addCardholder("-5", "0000000E", "'=already", "@SUM(1)", "-1-2", "\t=1+1");
        }
        const QList<QStringList> before = archive(db);
        const QString path = db.folder() + "/archive." + suffix;
        const Connection c(db.path());
        QCOMPARE(CardholderSheet::Export(c, path), QString());
        const CardholderSheet::Preview back = CardholderSheet::Read(path, c);
        QVERIFY2(back.problem.isEmpty(), qPrintable(back.problem));
        QCOMPARE(verdicts(back), QList<Verdict>(5, Verdict::Same));
        QVERIFY(back.notes.isEmpty());
        QCOMPARE(CardholderSheet::Apply(c, back, "管理员"), QStringLiteral("没有可导入的持卡人"));
        QCOMPARE(archive(db), before);
        // Into an empty archive, every value arrives as it was.
        TestDatabase other;
        const Connection o(other.path());
        const CardholderSheet::Preview into = CardholderSheet::Read(path, o);
        QCOMPARE(verdicts(into), QList<Verdict>(5, Verdict::Add));
        QCOMPARE(CardholderSheet::Apply(o, into, "管理员"), QString());
        QCOMPARE(archive(other), before);
    }

    // The archive window's 导出 and 导入: the preview is shown before anything is written, and
    // 取消 writes nothing.
    void theArchiveWindowExportsAndImports() {
        TestDatabase db;
        db.addCardholder("1", "0000000A", "张三", "null", "13800000000", "null");
        FakeDialogs dialogs;
        CRecordsDlg window(dialogs);
        const QString exported = db.folder() + "/archive.xlsx";
        dialogs.answerFile(exported);
        window.findChild<QPushButton*>("exportButton")->click();
        QCOMPARE(dialogs.lastText(), QStringLiteral("导出成功"));
        QVERIFY(QFile::exists(exported));

        const QString path = db.folder() + "/list.csv";
        writeFile(path, "卡号,姓名\n0000000A,张三丰\n0000000B,李四\nXYZ,王五\n");
        bool take = false;
        QString summary;
        int listed = 0;
        QTimer answer;
        connect(&answer, &QTimer::timeout, [&] {
            QWidget* modal = QApplication::activeModalWidget();
            if (!modal || modal->objectName() != QLatin1String("CSheetImportDlg"))
                return;
            summary = modal->findChild<QLabel*>("summaryLabel")->text();
            listed = modal->findChild<QTableView*>("rowList")->model()->rowCount();
            modal->findChild<QPushButton*>(take ? "importButton" : "cancelButton")->click();
        });
        answer.start(20);
        dialogs.answerFile(path);
        window.findChild<QPushButton*>("importButton")->click();
        QVERIFY(summary.startsWith("新增 1 人，修改 1 人，不变 0 人，拒绝 1 行\n"));
        QCOMPARE(listed, 3);
        QCOMPARE(archive(db).size(), 1);
        take = true;
        dialogs.answerFile(path);
        window.findChild<QPushButton*>("importButton")->click();
        QCOMPARE(dialogs.lastText(),
                 QStringLiteral("导入成功\n新增 1 人，修改 1 人，不变 0 人，拒绝 1 行"));
        QCOMPARE(archive(db).size(), 2);
        QCOMPARE(window.findChild<QTableView*>("recordList")->model()->rowCount(), 2);
        // A file that can't be taken says why, and opens no preview.
        writeFile(path, "no heading here\n");
        summary.clear();
        dialogs.answerFile(path);
        window.findChild<QPushButton*>("importButton")->click();
        QCOMPARE(dialogs.lastText(), QStringLiteral("导入失败\n表格中找不到表头“卡号”"));
        QVERIFY(summary.isEmpty());
    }

    void columnNamesReadAsSpreadsheetsWriteThem() {
        SKIP_ON_SERVER();
        QCOMPARE(SheetReader::ColumnName(0), QStringLiteral("A"));
        QCOMPARE(SheetReader::ColumnName(25), QStringLiteral("Z"));
        QCOMPARE(SheetReader::ColumnName(26), QStringLiteral("AA"));
        QCOMPARE(SheetReader::ColumnName(701), QStringLiteral("ZZ"));
        QCOMPARE(SheetReader::ColumnName(702), QStringLiteral("AAA"));
    }

    // Doubled quotes, line ends inside quotes, a stray character after a closing quote, an
    // empty quoted field and the last row without its line end all read as a spreadsheet
    // wrote them.
    void csvQuotingReadsAsWritten() {
        SKIP_ON_SERVER();
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("q.csv"));
        writeFile(path, QByteArray("a,\"say \"\"hi\"\"\",\"x\r\ny\"\r\n"
                                   "\"q\"z,\"\",b\"c\r\n"
                                   "last,row"));
        const SheetReader::Sheet sheet = SheetReader::Read(path, 10);
        QVERIFY2(sheet.problem.isEmpty(), qPrintable(sheet.problem));
        const auto texts = [&](size_t r) {
            QStringList out;
            for (const SheetReader::Cell& cell : sheet.rows.at(r).cells)
                out << cell.text;
            return out;
        };
        QCOMPARE(sheet.rows.size(), size_t(3));
        QCOMPARE(texts(0), (QStringList{"a", "say \"hi\"", "x\r\ny"}));
        QCOMPARE(texts(1), (QStringList{"qz", "", "b\"c"}));
        QCOMPARE(texts(2), (QStringList{"last", "row"}));
        QCOMPARE(sheet.rows[2].line, std::int64_t(3));
    }
};

QTEST_MAIN(TestCardholderSheet)
#include "tst_cardholder_sheet.moc"
