// Measures a login check against a delivered database, passwords hashed at the program's cost:
// from opening the connection to the answer. Prints `name: value` lines.
#include "base/CommandLine.h"
#include "data/Schema.h"
#include "users/Accounts.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace velkar;

namespace {

double medianMs(std::vector<qint64>& ns) {
    std::sort(ns.begin(), ns.end());
    return double(ns[ns.size() / 2]) / 1e6;
}

} // namespace

int main(int argc, char* argv[]) {
    const auto help = [] {
        std::fputs("usage: velkar-login-bench [ROUNDS]   (login checks per case, default 50)\n",
                   stdout);
    };
    if (const auto answered =
            CommandLine::AnswerHelpOrVersion(argc, argv, "velkar-login-bench", help))
        return *answered;
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    bool number = true;
    const int rounds = args.isEmpty() ? 50 : args[0].toInt(&number);
    if (args.size() > 1 || !number || rounds < 1)
        return CommandLine::ReportUsageError("velkar-login-bench",
                                             QStringLiteral("ROUNDS is one whole number above 0"));
    QTemporaryDir dir;
    const QString path = dir.filePath(Schema::DatabaseFileName);
    if (!Schema::CreateDatabase(path).isEmpty())
        return 1;

    QTextStream out(stdout);
    const std::pair<const char*, QString> cases[] = {
        {"login_accepted_ms", QStringLiteral("604817")},
        {"login_refused_ms", QStringLiteral("wrong")},
    };
    for (const auto& [name, password] : cases) {
        std::vector<qint64> ns;
        ns.reserve(size_t(rounds));
        for (int i = 0; i < rounds; ++i) {
            QElapsedTimer timer;
            timer.start();
            CheckLogin(nullptr, QStringLiteral("操作员6"), password, path);
            ns.push_back(timer.nsecsElapsed());
        }
        out << name << ": " << QString::number(medianMs(ns), 'f', 3) << '\n';
        out << name << "_max: " << QString::number(double(ns.back()) / 1e6, 'f', 3) << '\n';
    }
    out << "rounds: " << rounds << '\n';
    return 0;
}
