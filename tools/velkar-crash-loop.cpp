// Kills a process that writes a database at random moments, and checks the file after every
// kill as `velkar-db check` does: the file must count as sound, and the check must leave it
// (and any journal the kill left beside it) exactly as it found it. Prints `name: value` lines;
// exits 0 when every check passed.
#include "data/AdoConn.h"
#include "data/Schema.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>
#include <memory>

using namespace velkar;

namespace {

void exec(const Connection& db, const char* sql) {
    // Busy and failed statements only roll back; the writer goes on.
    try {
        db.run(QString::fromUtf8(sql));
    } catch (const DataError&) {
        if (db.inTransaction())
            db.run(QStringLiteral("ROLLBACK"));
    }
}

// The child: bookings, cardholder changes and now and then a transaction large enough to
// spill into the file before it commits, until it is killed.
int write(const QString& path) {
    std::unique_ptr<Connection> opened;
    try {
        opened = std::make_unique<Connection>(path, 10000);
    } catch (const DataError&) {
        return 1;
    }
    const Connection& db = *opened;
    exec(db, "PRAGMA cache_size = 8");
    std::puts("ready");
    std::fflush(stdout);
    for (unsigned n = 0;; ++n) {
        switch (n % 4) {
        case 0:
        case 1:
            exec(db, "BEGIN IMMEDIATE; INSERT INTO employees VALUES ('0000000A', "
                     "'2024-01-31 12:00:00', 100); COMMIT");
            break;
        case 2:
            exec(db, "UPDATE userecord SET 电话 = 电话 + 1 WHERE rowid = abs(random()) % 500");
            break;
        default:
            exec(db, "BEGIN; UPDATE employees SET 金额 = 金额 + 1 WHERE rowid % 7 = 0; "
                     "UPDATE employees SET 金额 = 金额 - 1 WHERE rowid % 7 = 0; COMMIT");
        }
    }
}

QByteArray digest(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return "absent";
    return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256);
}

void line(const char* name, long long value) {
    std::printf("%s: %lld\n", name, value);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption kills("kills", "Kills (default 200).", "n", "200");
    const QCommandLineOption within(
        "kill-within-ms", "Kill the writer at most this long after it is ready (60).", "ms", "60");
    const QCommandLineOption tool("db-tool", "Check with this velkar-db, else in-process.", "path");
    const QCommandLineOption child("write", "Write PATH until killed (the child).", "path");
    parser.addOptions({kills, within, tool, child});
    parser.process(app);
    if (parser.isSet(child))
        return write(parser.value(child));

    QTemporaryDir dir;
    const QString path = dir.filePath(Schema::DatabaseFileName);
    if (!Schema::CreateDatabase(path, PasswordHash::CheapestCost).isEmpty())
        return 1;
    {
        const Connection db(path);
        exec(db, "BEGIN");
        for (int i = 0; i < 3000; ++i)
            exec(db, "INSERT INTO employees VALUES ('0000000B', '2024-01-31 12:00:00', 5)");
        for (int i = 0; i < 500; ++i) {
            const QByteArray sql = "INSERT INTO userecord VALUES ('s', '" + QByteArray::number(i) +
                                   "', '王芳', 'null', '100', 'null')";
            exec(db, sql.constData());
        }
        exec(db, "COMMIT");
    }

    const int rounds = std::max(1, parser.value(kills).toInt());
    const int killWithinMs = std::max(2, parser.value(within).toInt());
    int hot = 0, passed = 0, unchanged = 0;
    const QString journal = path + QStringLiteral("-journal");
    for (int round = 0; round < rounds; ++round) {
        QProcess writer;
        writer.start(app.applicationFilePath(), {QStringLiteral("--write"), path});
        if (!writer.waitForReadyRead(30000))
            return 1;
        QThread::msleep(QRandomGenerator::global()->bounded(1, killWithinMs));
        writer.kill(); // SIGKILL
        writer.waitForFinished();

        if (QFileInfo(journal).size() > 0)
            ++hot;
        const QByteArray before = digest(path) + digest(journal);
        QString problem;
        if (parser.isSet(tool)) {
            QProcess check;
            check.setProcessChannelMode(QProcess::MergedChannels);
            check.start(parser.value(tool), {QStringLiteral("check"), path});
            check.waitForFinished(120000);
            if (check.exitStatus() != QProcess::NormalExit || check.exitCode() != 0)
                problem = QString::fromUtf8(check.readAll()).trimmed();
        } else {
            problem = Schema::CheckDatabase(path);
        }
        if (problem.isEmpty())
            ++passed;
        else
            std::fprintf(stderr, "velkar-crash-loop: kill %d: %s\n", round + 1,
                         qPrintable(problem));
        if (digest(path) + digest(journal) == before)
            ++unchanged;
    }
    line("kills", rounds);
    line("hot_journals", hot);
    line("checks_passed", passed);
    line("files_unchanged", unchanged);
    return passed == rounds && unchanged == rounds ? 0 : 1;
}
