#include "data/ServerHints.h"

#include "base/Messages.h"

#include <QRegularExpression>

namespace velkar {

namespace {

// The quoted name in a reason such as: database "ledger" does not exist.
QString quotedName(const QString& reason, const char* pattern) {
    const QRegularExpression name(QString::fromLatin1(pattern));
    const QRegularExpressionMatch match = name.match(reason);
    return match.hasMatch() ? match.captured(1) : QString();
}

} // namespace

QString ServerSetupHint(const QString& reason, const QString& location) {
    Q_UNUSED(location);
    if (const QString database = quotedName(reason, R"re(database "([^"]*)" does not exist)re");
        !database.isEmpty())
        return Messages::HintCreateDatabase(database);
    if (const QString role = quotedName(reason, R"re(role "([^"]*)" does not exist)re");
        !role.isEmpty())
        return Messages::HintCreateRole(role);
    if (reason.contains(QLatin1String("password authentication failed")) ||
        reason.contains(QLatin1String("no password supplied")))
        return Messages::HintPassword();
    if (reason.contains(QLatin1String("no pg_hba.conf entry")))
        return Messages::HintHostBasedAccess();
    if (reason.contains(QLatin1String("permission denied for schema")))
        return Messages::HintDatabaseOwner();
    if (reason.contains(QLatin1String("permission denied for")) ||
        reason.contains(QLatin1String("must be owner of")))
        return Messages::HintTableOwner();
    if (reason.contains(QLatin1String("SSL")))
        return Messages::HintSsl();
    if (reason.contains(QLatin1String("Connection refused")) ||
        reason.contains(QLatin1String("No such file or directory")) ||
        reason.contains(QLatin1String("could not translate host name")) ||
        reason.contains(QLatin1String("timeout expired")))
        return Messages::HintReachServer();
    return {};
}

} // namespace velkar
