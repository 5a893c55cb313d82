// Creates the delivered database and checks a database file.
#include "app/CommandLine.h"
#include "data/Schema.h"

#include <QCoreApplication>
#include <QTextStream>

namespace {

int usage(QTextStream& err) {
    err << "usage: velkar-db init [PATH]   create a new database (never overwrites)\n"
           "       velkar-db check [PATH]  check that PATH is a sound Velkar database\n"
           "PATH defaults to DataBase.mdb in the current directory.\n";
    return 2;
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
    const QStringList args = app.arguments().mid(1);
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
    return usage(err);
}
