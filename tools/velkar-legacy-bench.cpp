// Times the import of a legacy desk's Access file beside its floor in the same run: mdb-export
// of the same tables piped into sqlite3's .import, into the same schema and indexes. The seven
// password hashes are timed apart and left out of the comparison. Prints `name: value` lines.
#include "base/CommandLine.h"
#include "data/LegacyImport.h"
#include "data/Schema.h"

#include <QCoreApplication>
#include <QElapsedTimer>
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

} // namespace

int main(int argc, char* argv[]) {
    const auto help = [] {
        std::fputs("usage: velkar-legacy-bench [--rounds N] [FILE.mdb]\n"
                   "  imports FILE.mdb (the legacy counter's test file by default) N times (3),\n"
                   "  each beside mdb-export | sqlite3 .import of the same tables\n",
                   stdout);
    };
    if (const auto answered =
            CommandLine::AnswerHelpOrVersion(argc, argv, "velkar-legacy-bench", help))
        return *answered;
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    int rounds = 3;
    if (const qsizetype at = args.indexOf(QStringLiteral("--rounds")); at >= 0) {
        bool number = false;
        rounds = args.value(at + 1).toInt(&number);
        if (!number || rounds < 1)
            return CommandLine::ReportUsageError("velkar-legacy-bench",
                                                 QStringLiteral("--rounds takes a number above 0"));
        args.remove(at, 2);
    }
    if (args.size() > 1)
        return CommandLine::ReportUsageError("velkar-legacy-bench",
                                             QStringLiteral("one Access file at most"));
    const QString source =
        args.isEmpty() ? QStringLiteral(VELKAR_LEGACY_DIR "/legacy-counter.mdb") : args[0];
    if (!QFileInfo(source).isFile()) {
        std::fprintf(stderr, "velkar-legacy-bench: %s does not exist\n", qPrintable(source));
        return 1;
    }
    QTemporaryDir folder;
    std::vector<double> floors, imports, hashes, totals;
    for (int round = 0; round < rounds; ++round) {
        QString problem;
        const double floor = floorSeconds(source, folder.path(), &problem);
        if (floor < 0) {
            std::fprintf(stderr, "velkar-legacy-bench: %s\n", qPrintable(problem));
            return 1;
        }
        const QString target = folder.filePath(QStringLiteral("import-%1.db").arg(round));
        QElapsedTimer timer;
        timer.start();
        const LegacyImport::Result result = LegacyImport::Import(source, target);
        const double total = double(timer.nsecsElapsed()) / 1e9;
        if (!result.problem.isEmpty()) {
            std::fprintf(stderr, "velkar-legacy-bench: %s\n", qPrintable(result.problem));
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
    out << "rounds: " << rounds << '\n';
    return 0;
}
