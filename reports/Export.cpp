#include "reports/Export.h"

#include "base/Messages.h"

#include <QFileInfo>
#include <QSaveFile>

#include <xlsxwriter.h>

namespace velkar {

namespace Export {

namespace {

bool looksNumeric(const QString& text) {
    bool ok = false;
    text.toDouble(&ok);
    return ok || text.contains(QLatin1Char('E'), Qt::CaseInsensitive);
}

QString csvField(const QString& text, bool keepText) {
    // A card number such as 00123456 or 0001E500 would become a number in a spreadsheet.
    if (keepText && !text.isEmpty() && looksNumeric(text))
        return QStringLiteral("=\"%1\"").arg(text);
    // A text that starts with = is quoted, so that it reads back as text, not a formula.
    if (text.startsWith(QLatin1Char('=')) || text.contains(QLatin1Char(',')) ||
        text.contains(QLatin1Char('"')) || text.contains(QLatin1Char('\n')) ||
        text.contains(QLatin1Char('\r'))) {
        QString quoted = text;
        quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
        return QLatin1Char('"') + quoted + QLatin1Char('"');
    }
    return text;
}

bool isNumeric(const Sheet& sheet, int column) {
    return column < sheet.numeric.size() && sheet.numeric[column];
}

} // namespace

QString FileFilter() {
    return Messages::ExportFileFilter();
}

QString WriteCsv(const QString& path, const Sheet& sheet) {
    QByteArray bytes("\xEF\xBB\xBF");
    const auto line = [&](const QStringList& cells, bool heading) {
        QStringList fields;
        for (int c = 0; c < cells.size(); ++c)
            fields << csvField(cells[c], !heading && !isNumeric(sheet, c));
        bytes += fields.join(QLatin1Char(',')).toUtf8() + "\r\n";
    };
    line(sheet.headings, true);
    for (const QStringList& row : sheet.rows)
        line(row, false);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        return file.errorString();
    return {};
}

QString WriteXlsx(const QString& path, const Sheet& sheet) {
    // Written beside the target and renamed over it, so a failure leaves no torn workbook.
    const QString partial = path + QStringLiteral(".part");
    const QByteArray partialName = partial.toUtf8();
    lxw_workbook* workbook = workbook_new(partialName.constData());
    if (!workbook)
        return Messages::CannotCreateFile();
    const QByteArray title =
        (sheet.title.isEmpty() ? QStringLiteral("Sheet1") : sheet.title).toUtf8();
    lxw_worksheet* ws = workbook_add_worksheet(workbook, title.constData());
    lxw_format* bold = workbook_add_format(workbook);
    format_set_bold(bold);
    for (int c = 0; c < sheet.headings.size(); ++c) {
        worksheet_write_string(ws, 0, lxw_col_t(c), sheet.headings[c].toUtf8().constData(), bold);
        worksheet_set_column(ws, lxw_col_t(c), lxw_col_t(c), c == 1 ? 20 : 12, nullptr);
    }
    for (int r = 0; r < sheet.rows.size(); ++r) {
        const QStringList& row = sheet.rows[r];
        for (int c = 0; c < row.size(); ++c) {
            bool ok = false;
            const double value = row[c].toDouble(&ok);
            if (isNumeric(sheet, c) && ok)
                worksheet_write_number(ws, lxw_row_t(r + 1), lxw_col_t(c), value, nullptr);
            else if (!row[c].isEmpty())
                worksheet_write_string(ws, lxw_row_t(r + 1), lxw_col_t(c),
                                       row[c].toUtf8().constData(), nullptr);
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

QString Write(const QString& path, const Sheet& sheet) {
    return QFileInfo(path).suffix().compare(QLatin1String("xlsx"), Qt::CaseInsensitive) == 0
               ? WriteXlsx(path, sheet)
               : WriteCsv(path, sheet);
}

} // namespace Export

} // namespace velkar
