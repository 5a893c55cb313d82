// Times the imports beside their floors in the same run. The legacy desk's Access file: beside
// mdb-export of the same tables piped into sqlite3's .import, into the same schema and indexes;
// the seven password hashes are timed apart and left out of the comparison. A cardholder
// spreadsheet of 100,000 rows, read, checked and written into an empty archive: beside sqlite3's
// .import of the same rows as CSV. Prints `name: value` lines.
#include "base/CommandLine.h"
#include "data/AdoConn.h"
#include "data/LegacyImport.h"
#include "data/Schema.h"
#include "records/CardholderSheet.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace velkar;

namespace {

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// The floor: each table exported as CSV straight into the sqlite3 shell, into a new file of the
// program's schema (indexes made before the rows, as .import meets them). Seconds, or < 0.
double floorSeconds(const QString& source, const QString& folder, QString* problem) {
    const QString target = folder + QStringLiteral("/floor.db");
    QFile::remove(target);
    *problem = Schema::CreateDatabase(target, PasswordHash::CheapestCost);
    if (!problem->isEmpty())
        return -1;
    QProcess clear;
    clear.start(QStringLiteral("sqlite3"), {target, QStringLiteral("DELETE FROM permission")});
    clear.waitForFinished(-1);
    QElapsedTimer timer;
    timer.start();
    for (const char* table : {"permission", "userecord", "employees"}) {
        QProcess exporter;
        QProcess importer;
        exporter.setStandardOutputProcess(&importer);
        exporter.start(QStringLiteral("mdb-export"),
                       {QStringLiteral("-H"), QStringLiteral("-T"),
                        QStringLiteral("%Y-%m-%d %H:%M:%S"), source, QLatin1String(table)});
        importer.start(QStringLiteral("sqlite3"),
                       {target, QStringLiteral(".import --csv /dev/stdin %1").arg(table)});
        const bool ok = exporter.waitForFinished(-1) && importer.waitForFinished(-1) &&
                        exporter.exitCode() == 0 && importer.exitCode() == 0;
        if (!ok) {
            *problem =
                QStringLiteral("mdb-export | sqlite3 .import %1 failed: %2")
                    .arg(QLatin1String(table), QString::fromUtf8(importer.readAllStandardError() +
                                                                 exporter.readAllStandardError()));
            return -1;
        }
    }
    return double(timer.nsecsElapsed()) / 1e9;
}

// A new database file with `count` cardholders, exported as `suffix`; the export's path.
QString makeSheet(const QString& folder, int count, const QString& suffix) {
    const QString source = folder + QStringLiteral("/sheet-source.db");
    QFile::remove(source);
    if (!Schema::CreateDatabase(source, PasswordHash::CheapestCost).isEmpty())
        return {};
    const Connection db(source);
    {
        Transaction write(db, Transaction::Write);
        Query add(db, QString::fromUtf8(Statements::ImportCardholder));
        for (int i = 0; i < count; ++i) {
            add.reset();
            const QString n = QString::number(i);
            add.bind(1, n);
            add.bind(
                2,
                QStringLiteral("%1").arg(i * 7919 % 0x7fffffff, 8, 16, QLatin1Char('0')).toUpper());
            add.bind(3, QStringLiteral("持卡人") + n);
            add.bind(4, QStringLiteral("11010119900101%1").arg(i % 10000, 4, 10, QLatin1Char('0')));
            add.bind(5, QStringLiteral("139%1").arg(i, 8, 10, QLatin1Char('0')));
            add.bind(6, QStringLiteral("北京市海淀区中关村大街%1号").arg(i));
            add.next();
        }
        write.commit();
    }
    const QString path = folder + QStringLiteral("/cardholders.") + suffix;
    QFile::remove(path);
    return CardholderSheet::Export(db, path).isEmpty() ? path : QString();
}

// The sheet read, checked and written into an empty archive, in seconds; < 0 on a failure.
double sheetSeconds(const QString& folder, const QString& sheet, QString* problem) {
    const QString target = folder + QStringLiteral("/sheet-target.db");
    QFile::remove(target);
    *problem = Schema::CreateDatabase(target, PasswordHash::CheapestCost);
    if (!problem->isEmpty())
        return -1;
    const Connection db(target);
    QElapsedTimer timer;
    timer.start();
    const CardholderSheet::Preview preview = CardholderSheet::Read(sheet, db);
    *problem = CardholderSheet::Apply(db, preview, QStringLiteral("管理员"));
    if (problem->isEmpty() && preview.added != int(preview.rows.size()))
        *problem =
            QStringLiteral("only %1 of %2 rows added").arg(preview.added).arg(preview.rows.size());
    return problem->isEmpty() ? double(timer.nsecsElapsed()) / 1e9 : -1;
}

// The same rows as CSV straight into an empty archive by the sqlite3 shell.
double sheetFloorSeconds(const QString& folder, const QString& csv, QString* problem) {
    const QString target = folder + QStringLiteral("/sheet-floor.db");
    QFile::remove(target);
    *problem = Schema::CreateDatabase(target, PasswordHash::CheapestCost);
    if (!problem->isEmpty())
        return -1;
    QElapsedTimer timer;
    timer.start();
    QProcess shell;
    shell.start(QStringLiteral("sqlite3"),
                {target, QStringLiteral(".import --csv --skip 1 %1 userecord").arg(csv)});
    if (!shell.waitForFinished(-1) || shell.exitCode() != 0) {
        *problem = QString::fromUtf8(shell.readAllStandardError());
        return -1;
    }
    return double(timer.nsecsElapsed()) / 1e9;
}

} // namespace

int main(int argc, char* argv[]) {
    const auto help = [] {
        std::fputs("usage: velkar-import-bench [--rounds N] [FILE.mdb]\n"
                   "  imports FILE.mdb (the legacy counter's test file by default) N times (3),\n"
                   "  each beside mdb-export | sqlite3 .import of the same tables; then a\n"
                   "  spreadsheet of 100,000 cardholders (.xlsx and .csv) into an empty archive,\n"
                   "  beside sqlite3 .import of the same rows\n",
                   stdout);
    };
    if (const auto answered =
            CommandLine::AnswerHelpOrVersion(argc, argv, "velkar-import-bench", help))
        return *answered;
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    int rounds = 3;
    if (const qsizetype at = args.indexOf(QStringLiteral("--rounds")); at >= 0) {
        bool number = false;
        rounds = args.value(at + 1).toInt(&number);
        if (!number || rounds < 1)
            return CommandLine::ReportUsageError("velkar-import-bench",
                                                 QStringLiteral("--rounds takes a number above 0"));
        args.remove(at, 2);
    }
    if (args.size() > 1)
        return CommandLine::ReportUsageError("velkar-import-bench",
                                             QStringLiteral("one Access file at most"));
    const QString source =
        args.isEmpty() ? QStringLiteral(VELKAR_LEGACY_DIR "/legacy-counter.mdb") : args[0];
    if (!QFileInfo(source).isFile()) {
        std::fprintf(stderr, "velkar-import-bench: %s does not exist\n", qPrintable(source));
        return 1;
    }
    QTemporaryDir folder;
    std::vector<double> floors, imports, hashes, totals;
    for (int round = 0; round < rounds; ++round) {
        QString problem;
        const double floor = floorSeconds(source, folder.path(), &problem);
        if (floor < 0) {
            std::fprintf(stderr, "velkar-import-bench: %s\n", qPrintable(problem));
            return 1;
        }
        const QString target = folder.filePath(QStringLiteral("import-%1.db").arg(round));
        QElapsedTimer timer;
        timer.start();
        const LegacyImport::Result result = LegacyImport::Import(source, target);
        const double total = double(timer.nsecsElapsed()) / 1e9;
        if (!result.problem.isEmpty()) {
            std::fprintf(stderr, "velkar-import-bench: %s\n", qPrintable(result.problem));
            return 1;
        }
        QFile::remove(target);
        floors.push_back(floor);
        totals.push_back(total);
        hashes.push_back(result.report.hashSeconds);
        imports.push_back(total - result.report.hashSeconds);
    }
    const double import = median(imports);
    const double floor = median(floors);
    QTextStream out(stdout);
    const auto figure = [&](const char* name, double value) {
        out << name << ": " << QString::number(value, 'f', 3) << '\n';
    };
    figure("legacy_import_s", import);
    figure("legacy_floor_s", floor);
    figure("legacy_import_floor_ratio", import / floor);
    figure("legacy_password_hashes_s", median(hashes));
    figure("legacy_import_with_hashes_s", median(totals));

    constexpr int SheetRows = 100000;
    const QString xlsx = makeSheet(folder.path(), SheetRows, QStringLiteral("xlsx"));
    const QString csv = makeSheet(folder.path(), SheetRows, QStringLiteral("csv"));
    // The floor reads plain CSV: the export's ="…" form of texts that look like numbers is the
    // spreadsheet's, so a copy without it.
    const QString plain = folder.filePath(QStringLiteral("plain.csv"));
    {
        QFile in(csv), to(plain);
        if (xlsx.isEmpty() || csv.isEmpty() || !in.open(QIODevice::ReadOnly) ||
            !to.open(QIODevice::WriteOnly)) {
            std::fprintf(stderr, "velkar-import-bench: the sheets could not be made\n");
            return 1;
        }
        to.write(in.readAll().replace("=\"", "\"").mid(3));
    }
    std::vector<double> sheetX, sheetC, sheetF;
    for (int round = 0; round < rounds; ++round) {
        QString problem;
        const double x = sheetSeconds(folder.path(), xlsx, &problem);
        const double c = x < 0 ? -1 : sheetSeconds(folder.path(), csv, &problem);
        const double f = c < 0 ? -1 : sheetFloorSeconds(folder.path(), plain, &problem);
        if (f < 0) {
            std::fprintf(stderr, "velkar-import-bench: %s\n", qPrintable(problem));
            return 1;
        }
        sheetX.push_back(x);
        sheetC.push_back(c);
        sheetF.push_back(f);
    }
    figure("sheet_xlsx_100000_s", median(sheetX));
    figure("sheet_csv_100000_s", median(sheetC));
    figure("sheet_floor_s", median(sheetF));
    figure("sheet_xlsx_floor_ratio", median(sheetX) / median(sheetF));
    out << "rounds: " << rounds << '\n';
    return 0;
}
