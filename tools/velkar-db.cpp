// Creates the delivered database and checks a database file.
#include "app/CommandLine.h"
#include "data/AdoConn.h"
#include "data/Journal.h"
#include "data/Schema.h"

#include <QCoreApplication>
#include <QTextStream>

namespace {

int usage(QTextStream& err) {
    err << "usage: velkar-db init [PATH]   create a new database (never overwrites)\n"
           "       velkar-db check [PATH]  check that PATH is a sound Velkar database\n"
           "       velkar-db upgrade [PATH] bring PATH to this program's version of the file\n"
           "       velkar-db journal [--state pending|booked|not_executed|mismatch] [PATH]\n"
           "                               list the command journal, newest first\n"
           "PATH defaults to DataBase.mdb in the current directory.\n";
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
    const QString path = args.isEmpty() ? Schema::DatabaseFileName : args[0];
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
    if (args.isEmpty() || args.size() > 2)
        return usage(err);
    const QString path = args.size() == 2 ? args[1] : Schema::DatabaseFileName;
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
        const QString problem = Schema::CheckDatabase(path);
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
