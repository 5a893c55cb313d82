// Creates, checks, upgrades and reads a Velkar database: a file, or a server database.
#include "base/CommandLine.h"
#include "base/Messages.h"
#include "data/AdoConn.h"
#include "data/Audit.h"
#include "data/DatabaseCopy.h"
#include "data/Journal.h"
#include "data/LegacyImport.h"
#include "data/ReadView.h"
#include "data/Schema.h"
#include "data/Settlement.h"
#include "reports/Export.h"

#include <QDate>

#include <sqlite3.h>

#include <QCoreApplication>
#include <QTextStream>

using namespace velkar;

namespace {

int usage(QTextStream& err) {
    err << "usage: velkar-db init [PATH]   create a new database (never overwrites)\n"
           "       velkar-db check [PATH]  check that PATH is a sound Velkar database\n"
           "       velkar-db upgrade [PATH] bring PATH to this program's version of the file\n"
           "       velkar-db journal [--state pending|booked|not_executed|mismatch] [PATH]\n"
           "                               list the command journal, newest first\n"
           "       velkar-db audit [--from DATE] [--to DATE] [--account NAME] [PATH]\n"
           "                               list the audit trail, newest first\n"
           "       velkar-db settle --from DATE --to DATE [--csv FILE] [PATH]\n"
           "                               the day settlement per operator\n"
           "       velkar-db import FILE URI load the database file FILE into the empty\n"
           "                               server database URI\n"
           "       velkar-db import-legacy OLD.mdb [TARGET]\n"
           "                               bring the legacy desk's Access file OLD.mdb into\n"
           "                               the new database TARGET (a file that does not exist\n"
           "                               yet, or an empty server database), with a report\n"
           "DATE is yyyy-MM-dd; both ends are included.\n"
           "PATH is a database file or a postgresql:// URI; it defaults to VELKAR_DATABASE,\n"
           "else DataBase.mdb in the current directory.\n";
    return 2;
}

int journal(QStringList args, QTextStream& out, QTextStream& err) {
    std::optional<Journal::State> state;
    const qsizetype at = args.indexOf(QStringLiteral("--state"));
    if (at >= 0) {
        state = Journal::StateFromName(args.value(at + 1));
        if (!state)
            return usage(err);
        args.remove(at, 2);
    }
    if (args.size() > 1)
        return usage(err);
    const QString path = args.isEmpty() ? Schema::DatabaseLocation() : args[0];
    try {
        Connection db(path);
        out << Journal::ColumnHeadings().join(QLatin1Char('\t')) << '\n';
        for (const Journal::Entry& entry : Journal::List(db, state))
            out << Journal::RowTexts(entry).join(QLatin1Char('\t')) << '\n';
    } catch (const DataError& e) {
        err << "velkar-db: " << path << ": " << e.description() << '\n';
        return 1;
    }
    return 0;
}

// Takes "--name VALUE" out of `args`; false when the value is missing.
bool option(QStringList& args, const char* name, QString* value) {
    const qsizetype at = args.indexOf(QLatin1String(name));
    if (at < 0)
        return true;
    if (at + 1 >= args.size())
        return false;
    *value = args[at + 1];
    args.remove(at, 2);
    return true;
}

bool isDate(const QString& text) {
    return QDate::fromString(text, QStringLiteral("yyyy-MM-dd")).isValid();
}

int audit(QStringList args, QTextStream& out, QTextStream& err) {
    Audit::Filter filter;
    if (!option(args, "--from", &filter.from) || !option(args, "--to", &filter.to) ||
        !option(args, "--account", &filter.account) || args.size() > 1 ||
        (!filter.from.isEmpty() && !isDate(filter.from)) ||
        (!filter.to.isEmpty() && !isDate(filter.to)))
        return usage(err);
    const QString path = args.isEmpty() ? Schema::DatabaseLocation() : args[0];
    try {
        Connection db(path);
        out << Audit::ColumnHeadings().join(QLatin1Char('\t')) << '\n';
        for (const Audit::Entry& entry : Audit::Page(db, filter, nullptr, 0))
            out << Audit::RowTexts(entry).join(QLatin1Char('\t')) << '\n';
    } catch (const DataError& e) {
        err << "velkar-db: " << path << ": " << e.description() << '\n';
        return 1;
    }
    return 0;
}

int settle(QStringList args, QTextStream& out, QTextStream& err) {
    QString from, to, csv;
    if (!option(args, "--from", &from) || !option(args, "--to", &to) ||
        !option(args, "--csv", &csv) || args.size() > 1 || !isDate(from) || !isDate(to))
        return usage(err);
    const QString path = args.isEmpty() ? Schema::DatabaseLocation() : args[0];
    try {
        Connection db(path);
        const Settlement::Result result = Settlement::Collect(db, from, to);
        Export::Sheet sheet{Messages::SettlementSheet(),
                            Settlement::ColumnHeadings(),
                            {},
                            {false, false, true, true, true, true, true}};
        for (const Settlement::Row& row : result.rows)
            sheet.rows << Settlement::RowTexts(row);
        sheet.rows << Settlement::TotalTexts(result);
        if (!csv.isEmpty()) {
            const QString problem = Export::WriteCsv(csv, sheet);
            if (!problem.isEmpty()) {
                err << "velkar-db: " << csv << ": " << problem << '\n';
                return 1;
            }
        }
        out << sheet.headings.join(QLatin1Char('\t')) << '\n';
        for (const QStringList& row : sheet.rows)
            out << row.join(QLatin1Char('\t')) << '\n';
    } catch (const DataError& e) {
        err << "velkar-db: " << path << ": " << e.description() << '\n';
        return 1;
    }
    return 0;
}

// The audit trail's chain, once the file itself is sound; read as the check reads, never
// changing the file.
QString chainProblem(const QString& path) {
    if (EngineOf(path) == Engine::Postgres) {
        try {
            const Connection db(path);
            const Transaction read(db, Transaction::Read);
            if (const auto broken = Audit::Verify(db))
                return broken->text;
        } catch (const DataError& e) {
            return e.description();
        }
        return {};
    }
    ReadView view;
    QString problem = view.open(path, 10000);
    if (!problem.isEmpty())
        return problem;
    sqlite3_stmt* stmt = nullptr;
    int version = 0;
    if (sqlite3_prepare_v2(view.handle(), "PRAGMA user_version", -1, &stmt, nullptr) == SQLITE_OK &&
        sqlite3_step(stmt) == SQLITE_ROW)
        version = sqlite3_column_int(stmt, 0);
    sqlite3_finalize(stmt);
    // Version 4 brought the audit trail.
    if (version < 4)
        return {};
    try {
        if (const auto broken = Audit::Verify(view.handle()))
            return broken->text;
    } catch (const DataError& e) {
        return e.description();
    }
    return {};
}

int importLegacy(const QStringList& args, QTextStream& out, QTextStream& err) {
    if (args.isEmpty() || args.size() > 2)
        return usage(err);
    const QString target = args.size() == 2 ? args[1] : Schema::DatabaseLocation();
    LegacyImport::Options options;
    options.account = QStringLiteral("velkar-db");
    const LegacyImport::Result result = LegacyImport::Import(args[0], target, options);
    if (!result.problem.isEmpty()) {
        err << "velkar-db: " << result.problem << '\n';
        return 1;
    }
    const QString text = LegacyImport::ReportText(result.report);
    out << text;
    const QString path = LegacyImport::ReportPath(target);
    const QString problem = LegacyImport::WriteReport(path, text);
    if (!problem.isEmpty())
        err << "velkar-db: " << Messages::ReportNotWritten(path, problem) << '\n';
    else
        out << "\n" << path << '\n';
    return 0;
}

} // namespace

int main(int argc, char* argv[]) {
    const auto help = [] {
        QTextStream out(stdout);
        usage(out);
    };
    if (const auto answered = CommandLine::AnswerHelpOrVersion(argc, argv, "velkar-db", help))
        return *answered;
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    QStringList args = app.arguments().mid(1);
    if (!args.isEmpty() && args[0] == QLatin1String("journal"))
        return journal(args.mid(1), out, err);
    if (!args.isEmpty() && args[0] == QLatin1String("audit"))
        return audit(args.mid(1), out, err);
    if (!args.isEmpty() && args[0] == QLatin1String("settle"))
        return settle(args.mid(1), out, err);
    if (!args.isEmpty() && args[0] == QLatin1String("import-legacy"))
        return importLegacy(args.mid(1), out, err);
    if (args.size() == 3 && args[0] == QLatin1String("import")) {
        const QString problem = DatabaseCopy::Import(args[1], args[2]);
        if (!problem.isEmpty()) {
            err << "velkar-db: " << problem << '\n';
            return 1;
        }
        out << "imported " << args[1] << " into " << args[2] << '\n';
        return 0;
    }
    if (args.isEmpty() || args.size() > 2)
        return usage(err);
    const QString path = args.size() == 2 ? args[1] : Schema::DatabaseLocation();
    if (args[0] == QLatin1String("init")) {
        const QString problem = Schema::CreateDatabase(path);
        if (!problem.isEmpty()) {
            err << "velkar-db: " << problem << '\n';
            return 1;
        }
        out << "created " << path << '\n';
        return 0;
    }
    if (args[0] == QLatin1String("check")) {
        QString problem = Schema::CheckDatabase(path);
        if (problem.isEmpty())
            problem = chainProblem(path);
        if (!problem.isEmpty()) {
            err << "velkar-db: " << path << " is not a sound Velkar database: " << problem << '\n';
            return 1;
        }
        out << path << ": ok\n";
        return 0;
    }
    if (args[0] == QLatin1String("upgrade")) {
        const QString problem = Schema::Upgrade(path);
        if (!problem.isEmpty()) {
            err << "velkar-db: " << path << ": " << problem << '\n';
            return 1;
        }
        out << path << ": version " << Schema::CurrentVersion << '\n';
        return 0;
    }
    return usage(err);
}
