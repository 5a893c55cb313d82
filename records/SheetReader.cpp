#include "records/SheetReader.h"

#include "base/Messages.h"
#include "reports/Export.h"

#include <QFile>
#include <QHash>
#include <QLocale>
#include <QStringDecoder>
#include <QXmlStreamReader>

#include <QIODevice>

// The unzip of the minizip that libxlsxwriter uses too. (QuaZip carries its own copy of minizip
// under the same symbol names, so the two can't share a process: each would call the other's.)
#include <unzip.h>

#include <algorithm>
#include <climits>
#include <cmath>

namespace velkar {

namespace SheetReader {

namespace {

using Kind = Cell::Kind;

bool holdsSomething(const Row& row) {
    return std::any_of(row.cells.begin(), row.cells.end(), [](const Cell& c) {
        return !c.text.isEmpty() || c.shared >= 0 || c.kind == Kind::Error ||
               c.kind == Kind::FormulaWithoutResult;
    });
}

void trimEnd(Row& row) {
    while (!row.cells.empty() && row.cells.back().text.isEmpty() && row.cells.back().shared < 0 &&
           row.cells.back().kind == Kind::Text)
        row.cells.pop_back();
}

// Keeps a row that holds something; false once there are more such rows than allowed.
bool keep(Sheet& sheet, Row&& row, std::int64_t maxRows) {
    trimEnd(row);
    if (!holdsSomething(row))
        return true;
    if (std::int64_t(sheet.rows.size()) >= maxRows) {
        sheet.problem = Messages::SheetTooLong(maxRows);
        sheet.tooLong = true;
        sheet.rows.clear();
        sheet.rows.shrink_to_fit();
        return false;
    }
    sheet.rows.push_back(std::move(row));
    return true;
}

// ---- .xlsx -------------------------------------------------------------------------------------

// "B12" as column 1 and line 12; false for anything else.
bool cellReference(QStringView ref, int* column, std::int64_t* line) {
    int c = 0;
    qsizetype i = 0;
    for (; i < ref.size() && ref[i].isLetter() && ref[i].unicode() < 128; ++i) {
        c = c * 26 + (ref[i].toUpper().unicode() - 'A' + 1);
        if (c > 16384)
            return false;
    }
    if (i == 0)
        return false;
    bool ok = false;
    const std::int64_t l = ref.mid(i).toLongLong(&ok);
    if (i == ref.size()) { // a column alone
        *column = c - 1;
        return true;
    }
    if (!ok || l < 1)
        return false;
    *column = c - 1;
    *line = l;
    return true;
}

// The number as people read it: whole numbers without exponent or fraction.
QString numberText(const QString& value) {
    bool ok = false;
    const double number = value.toDouble(&ok);
    if (!ok)
        return value;
    if (std::trunc(number) == number && std::fabs(number) < 1e15)
        return QString::number(qlonglong(number));
    return QString::number(number, 'g', QLocale::FloatingPointShortest);
}

// The text of a rich or plain string element (<si>, <is>): its <t> runs, less the phonetic
// guides (<rPh>) that only show how to read it.
QString stringItem(QXmlStreamReader& xml) {
    QString text;
    int phonetic = 0;
    const QString endName = xml.name().toString();
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement()) {
            if (xml.name() == u"rPh")
                ++phonetic;
            else if (xml.name() == u"t" && phonetic == 0)
                text += xml.readElementText();
        } else if (xml.isEndElement()) {
            if (xml.name() == u"rPh")
                --phonetic;
            else if (xml.name() == endName)
                break;
        }
    }
    return text;
}

// One part of the package, read as it is unpacked.
class ZipPart : public QIODevice {
public:
    explicit ZipPart(unzFile zip) : m_zip(zip) {}
    ZipPart(const ZipPart&) = delete;
    ZipPart& operator=(const ZipPart&) = delete;
    ~ZipPart() override { close(); }

    bool openPart(const QString& name) {
        if (unzLocateFile(m_zip, name.toUtf8().constData(), 2 /* any letter case */) != UNZ_OK ||
            unzOpenCurrentFile(m_zip) != UNZ_OK)
            return false;
        m_ended = false;
        return QIODevice::open(QIODevice::ReadOnly);
    }
    void close() override {
        if (isOpen())
            unzCloseCurrentFile(m_zip);
        QIODevice::close();
    }
    bool isSequential() const override { return true; }
    bool atEnd() const override { return m_ended && QIODevice::bytesAvailable() == 0; }

protected:
    qint64 readData(char* data, qint64 maxSize) override {
        const int n = unzReadCurrentFile(m_zip, data, unsigned(std::min<qint64>(maxSize, 1 << 20)));
        if (n <= 0)
            m_ended = true;
        return n < 0 ? -1 : n;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    unzFile m_zip;
    bool m_ended = false;
};

class Workbook {
public:
    explicit Workbook(const QString& path)
        : m_path(path), m_zip(unzOpen64(QFile::encodeName(path).constData())) {}
    ~Workbook() {
        if (m_zip)
            unzClose(m_zip);
    }
    Workbook(const Workbook&) = delete;
    Workbook& operator=(const Workbook&) = delete;

    QString read(Sheet& sheet, std::int64_t maxRows, int maxColumns) {
        if (!m_zip)
            return Messages::NotAWorkbook(m_path);
        QString sheetPath = QStringLiteral("xl/worksheets/sheet1.xml");
        QString stringsPath = QStringLiteral("xl/sharedStrings.xml");
        locateParts(&sheetPath, &stringsPath);
        QString problem = readSheet(sheetPath, sheet, maxRows, maxColumns);
        if (problem.isEmpty() && sheet.problem.isEmpty())
            problem = readStrings(stringsPath, sheet);
        return problem;
    }

private:
    // The first worksheet and the shared strings, as the workbook's relations name them.
    void locateParts(QString* sheetPath, QString* stringsPath) {
        QString firstSheetId;
        {
            ZipPart file(m_zip);
            if (!file.openPart(QStringLiteral("xl/workbook.xml")))
                return;
            QXmlStreamReader xml(&file);
            while (!xml.atEnd() && firstSheetId.isEmpty()) {
                if (xml.readNext() == QXmlStreamReader::StartElement && xml.name() == u"sheet")
                    for (const QXmlStreamAttribute& a : xml.attributes())
                        if (a.name() == u"id")
                            firstSheetId = a.value().toString();
            }
        }
        ZipPart file(m_zip);
        if (!file.openPart(QStringLiteral("xl/_rels/workbook.xml.rels")))
            return;
        QXmlStreamReader xml(&file);
        while (!xml.atEnd()) {
            if (xml.readNext() != QXmlStreamReader::StartElement || xml.name() != u"Relationship")
                continue;
            const QXmlStreamAttributes a = xml.attributes();
            QString target = a.value(QLatin1String("Target")).toString();
            target = target.startsWith(u'/') ? target.mid(1) : QStringLiteral("xl/") + target;
            if (a.value(QLatin1String("Id")) == firstSheetId && !firstSheetId.isEmpty())
                *sheetPath = target;
            else if (a.value(QLatin1String("Type")).endsWith(u"/sharedStrings"))
                *stringsPath = target;
        }
    }

    QString readSheet(const QString& part, Sheet& sheet, std::int64_t maxRows, int maxColumns) {
        ZipPart file(m_zip);
        if (!file.openPart(part))
            return Messages::NotAWorkbook(m_path);
        QXmlStreamReader xml(&file);
        Row row;
        bool inRow = false;
        std::int64_t line = 0;
        int column = -1;
        while (!xml.atEnd()) {
            xml.readNext();
            if (xml.isStartElement()) {
                if (xml.name() == u"row") {
                    const std::int64_t r = xml.attributes().value(QLatin1String("r")).toLongLong();
                    line = r > 0 ? r : line + 1;
                    row = Row{line, {}};
                    inRow = true;
                    column = -1;
                } else if (xml.name() == u"c" && inRow) {
                    readCellInto(xml, row, &column, maxColumns);
                } else if (xml.name() == u"mergeCell") {
                    readMerge(xml, sheet);
                }
            } else if (xml.isEndElement() && xml.name() == u"row") {
                inRow = false;
                if (!keep(sheet, std::move(row), maxRows))
                    return {};
            }
        }
        if (xml.hasError())
            return Messages::WorkbookDamaged(xml.errorString());
        return {};
    }

    // A cell of the row, in its column when it names one, else after the one before.
    static void readCellInto(QXmlStreamReader& xml, Row& row, int* column, int maxColumns) {
        // Taken once: each call copies the element's attributes.
        const QXmlStreamAttributes attributes = xml.attributes();
        std::int64_t ignored = 0;
        if (!cellReference(attributes.value(QLatin1String("r")), column, &ignored))
            ++*column;
        Cell cell = readCell(xml, attributes.value(QLatin1String("t")));
        if (*column < 0 || *column >= maxColumns)
            return;
        if (int(row.cells.size()) <= *column)
            row.cells.resize(size_t(*column) + 1);
        row.cells[size_t(*column)] = std::move(cell);
    }

    static void readMerge(QXmlStreamReader& xml, Sheet& sheet) {
        const QStringList ends =
            xml.attributes().value(QLatin1String("ref")).toString().split(u':');
        Merge merge;
        if (ends.size() == 2 && cellReference(ends[0], &merge.firstColumn, &merge.firstLine) &&
            cellReference(ends[1], &merge.lastColumn, &merge.lastLine))
            sheet.merges.push_back(merge);
    }

    static Cell readCell(QXmlStreamReader& xml, QStringView type) {
        bool formula = false;
        bool hasValue = false;
        QString value;
        while (!xml.atEnd()) {
            xml.readNext();
            if (xml.isStartElement()) {
                if (xml.name() == u"f") {
                    formula = true;
                    xml.readElementText(QXmlStreamReader::SkipChildElements);
                } else if (xml.name() == u"v") {
                    value = xml.readElementText();
                    hasValue = true;
                } else if (xml.name() == u"is") {
                    value = stringItem(xml);
                    hasValue = true;
                }
            } else if (xml.isEndElement() && xml.name() == u"c") {
                break;
            }
        }
        Cell cell;
        if (formula && !hasValue) {
            cell.kind = Kind::FormulaWithoutResult;
            return cell;
        }
        if (!hasValue)
            return cell;
        if (type == u"s") {
            bool ok = false;
            cell.shared = value.toInt(&ok);
            if (!ok || cell.shared < 0)
                cell.shared = INT_MAX; // no such string: told when strings are looked up
        } else if (type == u"e") {
            cell.kind = Kind::Error;
            cell.text = value;
            return cell;
        } else if (type == u"b") {
            cell.text = value == u"1" ? QStringLiteral("TRUE") : QStringLiteral("FALSE");
        } else if (type == u"str" || type == u"inlineStr" || type == u"d") {
            cell.text = value;
        } else {
            cell.kind = Kind::Number;
            cell.text = numberText(value);
        }
        if (formula)
            cell.kind = Kind::Formula;
        return cell;
    }

    // Looks up the shared strings the kept rows use, and only those.
    QString readStrings(const QString& part, Sheet& sheet) {
        QHash<int, QString> wanted;
        for (const Row& row : sheet.rows)
            for (const Cell& cell : row.cells)
                if (cell.shared >= 0)
                    wanted.insert(cell.shared, QString());
        if (wanted.isEmpty())
            return {};
        ZipPart file(m_zip);
        if (!file.openPart(part))
            return Messages::WorkbookDamaged(part);
        QXmlStreamReader xml(&file);
        int index = 0;
        while (!xml.atEnd()) {
            if (xml.readNext() != QXmlStreamReader::StartElement || xml.name() != u"si")
                continue;
            const auto found = wanted.find(index++);
            if (found != wanted.end())
                *found = stringItem(xml);
            else
                xml.skipCurrentElement();
        }
        if (xml.hasError())
            return Messages::WorkbookDamaged(xml.errorString());
        return fillStrings(sheet, wanted, index) ? QString() : Messages::WorkbookDamaged(part);
    }

    // Puts the strings in their cells; false when a cell names one past the `count` there are.
    static bool fillStrings(Sheet& sheet, const QHash<int, QString>& strings, int count) {
        for (Row& row : sheet.rows)
            for (Cell& cell : row.cells) {
                if (cell.shared < 0)
                    continue;
                if (cell.shared >= count)
                    return false;
                cell.text = strings.value(cell.shared);
                cell.shared = -1;
            }
        return true;
    }

    QString m_path;
    unzFile m_zip;
};

// ---- .csv --------------------------------------------------------------------------------------

// The rows of a CSV file as the spreadsheets write them: comma-separated, quoted where they hold
// commas, quotes or line ends, quotes doubled. A field ="…", quoted or not, is the form
// spreadsheets use to keep a text that looks like a number (leading zeros); it reads as that text.
// A text kept from starting a formula by an apostrophe (Export::GuardFormula) reads without it.
class CsvParser {
public:
    CsvParser(Sheet& sheet, std::int64_t maxRows, int maxColumns)
        : m_sheet(sheet), m_maxRows(maxRows), m_maxColumns(maxColumns) {}

    // False once the sheet has too many rows.
    bool feed(QStringView text) {
        for (const QChar c : text) {
            if (m_afterCr && c == u'\n') {
                // The second half of a CR LF line end.
                m_afterCr = false;
                if (m_state == State::Quoted)
                    m_field += c;
                continue;
            }
            m_afterCr = false;
            if (!take(c))
                return false;
        }
        return true;
    }

    bool finish() {
        if (m_state != State::FieldStart || !m_row.cells.empty())
            return endRow(u'\n');
        return true;
    }

private:
    enum class State { FieldStart, Bare, Quoted, QuoteInQuoted };

    // One character, line ends' halves sorted out already; false once too many rows.
    bool take(QChar c) {
        if (m_state == State::Quoted) {
            if (c == u'"') {
                m_state = State::QuoteInQuoted;
            } else {
                m_afterCr = c == u'\r';
                m_field += c;
            }
            return true;
        }
        if (c == u'"' && m_state != State::Bare) {
            // Opening a quoted field, or a doubled quote inside one.
            if (m_state == State::QuoteInQuoted)
                m_field += c;
            else
                m_quoted = true;
            m_state = State::Quoted;
            return true;
        }
        if (c == u',') {
            endField();
            return true;
        }
        if (c == u'\n' || c == u'\r')
            return endRow(c);
        // A bare field; a stray character after a closing quote is kept too.
        m_field += c;
        m_state = State::Bare;
        return true;
    }

    void endField() {
        Cell cell;
        if (m_field.size() >= 3 && m_field.startsWith(QLatin1String("=\"")) &&
            m_field.endsWith(u'"')) {
            cell.text = m_field.mid(2, m_field.size() - 3)
                            .replace(QLatin1String("\"\""), QLatin1String("\""));
        } else if (!m_quoted && m_field.startsWith(u'=')) {
            cell.kind = Kind::FormulaWithoutResult;
            cell.text = m_field;
        } else {
            cell.text = Export::UnguardFormula(m_field);
        }
        if (int(m_row.cells.size()) < m_maxColumns)
            m_row.cells.push_back(std::move(cell));
        m_field.clear();
        m_quoted = false;
        m_state = State::FieldStart;
    }

    bool endRow(QChar c) {
        endField();
        m_row.line = m_rowLine;
        const bool kept = keep(m_sheet, std::move(m_row), m_maxRows);
        m_row = Row{};
        // Rows are counted as a spreadsheet shows them: a quoted line end stays in its row.
        ++m_rowLine;
        m_afterCr = c == u'\r';
        return kept;
    }

    Sheet& m_sheet;
    std::int64_t m_maxRows;
    int m_maxColumns;
    State m_state = State::FieldStart;
    QString m_field;
    bool m_quoted = false;
    bool m_afterCr = false;
    Row m_row;
    std::int64_t m_rowLine = 1;
};

// False when the text is not in `encoding`.
bool readCsv(QFile& file, const char* encoding, qint64 skip, Sheet& sheet, std::int64_t maxRows,
             int maxColumns) {
    sheet.rows.clear();
    sheet.problem.clear();
    file.seek(skip);
    QStringDecoder decoder(encoding);
    CsvParser parser(sheet, maxRows, maxColumns);
    while (!file.atEnd()) {
        const QByteArray chunk = file.read(1 << 16);
        if (chunk.isEmpty())
            break;
        const QString text = decoder(chunk);
        if (decoder.hasError())
            return false;
        if (!parser.feed(text))
            return true;
    }
    const QString rest = decoder(QByteArray());
    if (decoder.hasError())
        return false;
    if (parser.feed(rest))
        parser.finish();
    return true;
}

} // namespace

QString ColumnName(int column) {
    QString name;
    for (int c = column + 1; c > 0; c = (c - 1) / 26)
        name.prepend(QChar(u'A' + (c - 1) % 26));
    return name;
}

Sheet Read(const QString& path, std::int64_t maxRows, int maxColumns) {
    Sheet sheet;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        sheet.problem = Messages::CannotRead(path);
        return sheet;
    }
    const QByteArray head = file.peek(8);
    if (head.startsWith("PK\x03\x04")) {
        file.close();
        Workbook workbook(path);
        const QString problem = workbook.read(sheet, maxRows, maxColumns);
        if (!problem.isEmpty()) {
            sheet = Sheet{};
            sheet.problem = problem;
        }
        return sheet;
    }
    if (head.startsWith("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1")) {
        sheet.problem = Messages::OldExcelFile();
        return sheet;
    }
    // Which encoding: a byte-order mark says UTF-8; else UTF-8 if every byte fits it, else the
    // Chinese code page that Excel and WPS write for a Chinese desk.
    if (head.startsWith("\xEF\xBB\xBF")) {
        sheet.encoding = QStringLiteral("UTF-8 BOM");
        if (readCsv(file, "UTF-8", 3, sheet, maxRows, maxColumns))
            return sheet;
    } else {
        sheet.encoding = QStringLiteral("UTF-8");
        if (readCsv(file, "UTF-8", 0, sheet, maxRows, maxColumns))
            return sheet;
        sheet.encoding = QStringLiteral("GB18030");
        if (readCsv(file, "GB18030", 0, sheet, maxRows, maxColumns))
            return sheet;
    }
    sheet = Sheet{};
    sheet.problem = Messages::UnknownEncoding(path);
    return sheet;
}

} // namespace SheetReader

} // namespace velkar
