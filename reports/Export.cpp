#include "reports/Export.h"

#include "base/Messages.h"
#include "base/PrivateFile.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>

#include <xlsxwriter.h>

namespace velkar {

namespace Export {

namespace {

// What a spreadsheet reads as a number (and so strips of leading zeros, or turns 0001E500 into
// 1E+500): digits with a sign, separators, a fraction, an exponent or a percent sign.
bool looksNumeric(const QString& text) {
    static const QRegularExpression number(
        QStringLiteral(R"(^\s*[+-]?(\d[\d,]*(\.\d*)?|\.\d+)([eE][+-]?\d+)?%?\s*$)"));
    return number.match(text).hasMatch();
}

// A number as the window shows it: written bare, so the spreadsheet sums it.
bool plainNumber(const QString& text) {
    static const QRegularExpression number(QStringLiteral(R"(^-?\d+(\.\d+)?$)"));
    return number.match(text).hasMatch();
}

QString quoted(const QString& text) {
    QString inner = text;
    inner.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + inner + QLatin1Char('"');
}

// RFC 4180: a field with a separator, a quote or a line end is quoted, its quotes doubled.
QString field(const QString& text) {
    for (const QChar c : text)
        if (c == u',' || c == u'"' || c == u'\n' || c == u'\r')
            return quoted(text);
    return text;
}

QString csvField(const QString& text, bool numeric) {
    if (numeric && plainNumber(text))
        return text;
    // A card number such as 00123456 or 0001E500 stays text: ="…" is a text to every
    // spreadsheet, whose formula holds nothing but that text.
    if (!text.isEmpty() && looksNumeric(text))
        return quoted(QStringLiteral("=\"%1\"").arg(text));
    return field(GuardFormula(text));
}

bool isNumeric(const Sheet& sheet, int column) {
    return column < sheet.numeric.size() && sheet.numeric[column];
}

} // namespace

bool StartsFormula(QStringView text) {
    if (text.startsWith(u'\t') || text.startsWith(u'\r'))
        return true;
    // Some spreadsheets drop leading blanks before they look for a formula.
    while (!text.isEmpty() && (text.front() == u' ' || text.front() == u'\n'))
        text = text.mid(1);
    return !text.isEmpty() && QStringView(u"=+-@").contains(text.front());
}

namespace {

bool guarded(QStringView text) {
    return StartsFormula(text) || (text.startsWith(u'\'') && guarded(text.mid(1)));
}

} // namespace

QString GuardFormula(const QString& text) {
    return guarded(text) ? QLatin1Char('\'') + text : text;
}

QString UnguardFormula(const QString& text) {
    return text.startsWith(u'\'') && guarded(QStringView(text).mid(1)) ? text.mid(1) : text;
}

QString FileFilter() {
    return Messages::ExportFileFilter();
}

QString WriteCsv(const QString& path, const Sheet& sheet) {
    return WriteCsv(path, QList<Sheet>{sheet});
}

QString WriteCsv(const QString& path, const QList<Sheet>& sheets) {
    QByteArray bytes("\xEF\xBB\xBF");
    for (qsizetype s = 0; s < sheets.size(); ++s) {
        const Sheet& sheet = sheets[s];
        const auto line = [&](const QStringList& cells, bool heading) {
            QStringList fields;
            for (int c = 0; c < cells.size(); ++c)
                fields << csvField(cells[c], !heading && isNumeric(sheet, c));
            bytes += fields.join(QLatin1Char(',')).toUtf8() + "\r\n";
        };
        if (s > 0)
            bytes += "\r\n";
        line(sheet.headings, true);
        for (const QStringList& row : sheet.rows)
            line(row, false);
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || !PrivateFile::Restrict(file) ||
        file.write(bytes) != bytes.size() || !file.commit())
        return file.errorString();
    return {};
}

QString WriteXlsx(const QString& path, const Sheet& sheet) {
    return WriteXlsx(path, QList<Sheet>{sheet});
}

QString WriteXlsx(const QString& path, const QList<Sheet>& sheets) {
    // Written beside the target and renamed over it, so a failure leaves no torn workbook.
    const QString partial = path + QStringLiteral(".part");
    const QByteArray partialName = partial.toUtf8();
    if (!PrivateFile::Prepare(partial))
        return Messages::CannotWrite(path);
    lxw_workbook* workbook = workbook_new(partialName.constData());
    if (!workbook) {
        QFile::remove(partial);
        return Messages::CannotCreateFile();
    }
    lxw_format* bold = workbook_add_format(workbook);
    format_set_bold(bold);
    for (qsizetype s = 0; s < sheets.size(); ++s) {
        const Sheet& sheet = sheets[s];
        const QByteArray title =
            (sheet.title.isEmpty() ? QStringLiteral("Sheet%1").arg(s + 1) : sheet.title).toUtf8();
        lxw_worksheet* ws = workbook_add_worksheet(workbook, title.constData());
        if (!ws)
            continue; // a name taken twice: workbook_close reports it
        for (int c = 0; c < sheet.headings.size(); ++c) {
            worksheet_write_string(ws, 0, lxw_col_t(c), sheet.headings[c].toUtf8().constData(),
                                   bold);
            worksheet_set_column(ws, lxw_col_t(c), lxw_col_t(c), c == 1 ? 20 : 12, nullptr);
        }
        for (int r = 0; r < sheet.rows.size(); ++r) {
            const QStringList& row = sheet.rows[r];
            for (int c = 0; c < row.size(); ++c) {
                if (isNumeric(sheet, c) && plainNumber(row[c]))
                    worksheet_write_number(ws, lxw_row_t(r + 1), lxw_col_t(c), row[c].toDouble(),
                                           nullptr);
                else if (!row[c].isEmpty())
                    worksheet_write_string(ws, lxw_row_t(r + 1), lxw_col_t(c),
                                           row[c].toUtf8().constData(), nullptr);
            }
        }
    }
    const lxw_error error = workbook_close(workbook);
    if (error != LXW_NO_ERROR) {
        QFile::remove(partial);
        return QString::fromUtf8(lxw_strerror(error));
    }
    QFile::remove(path);
    if (!QFile::rename(partial, path)) {
        QFile::remove(partial);
        return Messages::CannotWrite(path);
    }
    return {};
}

namespace {

bool isXlsx(const QString& path) {
    return QFileInfo(path).suffix().compare(QLatin1String("xlsx"), Qt::CaseInsensitive) == 0;
}

} // namespace

QString Write(const QString& path, const Sheet& sheet) {
    return Write(path, QList<Sheet>{sheet});
}

QString Write(const QString& path, const QList<Sheet>& sheets) {
    return isXlsx(path) ? WriteXlsx(path, sheets) : WriteCsv(path, sheets);
}

} // namespace Export

} // namespace velkar
