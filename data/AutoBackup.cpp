#include "data/AutoBackup.h"

#include "base/Messages.h"
#include "base/PrivateFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>

namespace velkar {

namespace AutoBackup {

namespace {

const QString StampFormat = QStringLiteral("yyyy-MM-dd_HHmmss");

const QRegularExpression& namePattern() {
    static const QRegularExpression pattern(
        QStringLiteral("^DataBase-([0-9]{4}-[0-9]{2}-[0-9]{2}_[0-9]{6})(?:-([0-9]{1,3}))?\\.mdb$"));
    return pattern;
}

struct Named {
    QString name;
    QDateTime at;
    int attempt;
};

std::vector<Named> backupsOldestFirst(const QString& folder) {
    std::vector<Named> found;
    const QStringList names =
        QDir(folder).entryList({QStringLiteral("DataBase-*.mdb")}, QDir::Files | QDir::Hidden);
    for (const QString& name : names) {
        const QRegularExpressionMatch m = namePattern().match(name);
        if (!m.hasMatch())
            continue;
        const QDateTime at = QDateTime::fromString(m.captured(1), StampFormat);
        if (at.isValid())
            found.push_back({name, at, m.captured(2).isEmpty() ? 1 : m.captured(2).toInt()});
    }
    std::sort(found.begin(), found.end(), [](const Named& a, const Named& b) {
        return a.at != b.at ? a.at < b.at : a.attempt < b.attempt;
    });
    return found;
}

} // namespace

QString FileName(const QDateTime& at, int attempt) {
    const QString stamp = at.toString(StampFormat);
    return attempt <= 1 ? QStringLiteral("DataBase-%1.mdb").arg(stamp)
                        : QStringLiteral("DataBase-%1-%2.mdb").arg(stamp).arg(attempt);
}

QDateTime MadeAt(const QString& fileName) {
    const QRegularExpressionMatch m = namePattern().match(fileName);
    return m.hasMatch() ? QDateTime::fromString(m.captured(1), StampFormat) : QDateTime();
}

QStringList Backups(const QString& folder) {
    QStringList names;
    const std::vector<Named> found = backupsOldestFirst(folder);
    for (auto it = found.rbegin(); it != found.rend(); ++it)
        names << it->name;
    return names;
}

std::optional<QDateTime> Newest(const QString& folder) {
    const std::vector<Named> found = backupsOldestFirst(folder);
    if (found.empty())
        return std::nullopt;
    return found.back().at;
}

QStringList Rotate(const QString& folder, int keep, QString* problem) {
    const std::vector<Named> found = backupsOldestFirst(folder);
    QStringList removed;
    const std::size_t kept = std::size_t(std::max(keep, 1));
    for (std::size_t i = 0; i + kept < found.size(); ++i) {
        const QString path = QDir(folder).filePath(found[i].name);
        if (QFile::remove(path))
            removed << path;
        else if (problem && problem->isEmpty())
            *problem = Messages::CannotRemove(path);
    }
    return removed;
}

Result Run(const QString& workingPath, const QString& folder, int keep, const QDateTime& at,
           const DatabaseCopy::Options& options) {
    Result result;
    if (folder.trimmed().isEmpty() || !PrivateFile::MakeFolder(folder)) {
        result.problem = Messages::FolderMissing(folder);
        return result;
    }
    const QDir dir(folder);
    for (int attempt = 1; attempt < 1000; ++attempt) {
        const QString path = dir.filePath(FileName(at, attempt));
        if (QFileInfo::exists(path))
            continue;
        result.problem = DatabaseCopy::BackupFile(workingPath, path, options);
        if (result.problem.isEmpty())
            result.path = path;
        break;
    }
    if (result.path.isEmpty()) {
        if (result.problem.isEmpty())
            result.problem = Messages::CannotWrite(dir.filePath(FileName(at)));
        return result;
    }
    result.removed = Rotate(folder, keep, &result.rotateProblem);
    return result;
}

bool Overdue(const std::optional<QDateTime>& newest, const QDateTime& now) {
    return !newest || newest->secsTo(now) > 24 * 60 * 60;
}

} // namespace AutoBackup

} // namespace velkar
