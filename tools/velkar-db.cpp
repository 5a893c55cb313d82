// Creates, checks, upgrades and reads a Velkar database: a file, or a server database.
#include "base/CommandLine.h"
#include "base/Messages.h"
#include "base/PrivateFile.h"
#include "base/Settings.h"
#include "data/AdoConn.h"
#include "data/Audit.h"
#include "data/AutoBackup.h"
#include "data/Cards.h"
#include "data/DatabaseCopy.h"
#include "data/Journal.h"
#include "data/LegacyImport.h"
#include "data/Schema.h"
#include "data/ServerHints.h"
#include "data/Settlement.h"
#include "data/Shift.h"
#include "reports/Export.h"
#include "reports/SettlementSheets.h"

#include <QDate>

#include <cstdio>

#include <QCoreApplication>
#include <QHash>
#include <QTextStream>

#include <functional>

using namespace velkar;

namespace {

const char* const Usage =
    "用法：velkar-db init [位置]      建立新数据库（从不覆盖已有的）\n"
    "      velkar-db check [位置]     检查位置是否是完好的 Velkar 数据库\n"
    "      velkar-db upgrade [位置]   把位置的数据库升级到本程序的版本\n"
    "      velkar-db journal [--state pending|booked|not_executed|mismatch] [位置]\n"
    "                                 列出操作日志，最新的在前\n"
    "      velkar-db cards [--state active|lost] [位置]\n"
    "                                 列出账本知道的卡：状态、最后见到的余额、补卡关系\n"
    "      velkar-db audit [--from 日期] [--to 日期] [--account 账号] [位置]\n"
    "                                 列出审计记录，最新的在前\n"
    "      velkar-db settle --from 日期 --to 日期 [--csv 文件] [位置]\n"
    "                                 按操作员日结\n"
    "      velkar-db shifts [--from 日期] [--to 日期] [位置]\n"
    "                                 列出班次：Z 号、应有与实点现金、差额、封签\n"
    "      velkar-db check --seal 封签 [位置]\n"
    "                                 另查 Z 报表上的封签（16 "
    "位十六进制）：此后审计记录是否被改写\n"
    "      velkar-db backup [--keep N] [位置 文件夹]\n"
    "                                 备份到文件夹，文件名带时间，只保留最新的 N 份（默认 30）；\n"
    "                                 不给位置和文件夹时用设置中的 AutoBackupFolder 与 "
    "AutoBackupKeep\n"
    "      velkar-db import 文件 URI  把数据库文件导入服务器上的空数据库 URI\n"
    "      velkar-db import-legacy 旧版文件 [位置]\n"
    "                                 把旧版充值台的 Access 数据库导入新的数据库（尚不存在的\n"
    "                                 文件，或服务器上的空数据库），打印导入报告并写在它旁边\n"
    "日期写作 yyyy-MM-dd，两端都含在内。\n"
    "位置是数据库文件或 postgresql:// URI；默认是本用户的充值台所用的数据库：\n"
    "VELKAR_DATABASE，否则设置文件 ~/.config/Velkar/Velkar.conf 中的 Database，否则工作文件夹\n"
    "（VELKAR_DIR，否则设置中的 WorkingFolder，默认 ~/Velkar）中的 DataBase.mdb。\n";

// A wrong command line: what is wrong, then the usage, on standard error.
int usage(QTextStream& err, const QString& problem) {
    err << "velkar-db: " << problem << "\n\n" << QString::fromUtf8(Usage);
    return CommandLine::UsageError;
}

// The database a desk of this user works on.
QString deskDatabase() {
    const Settings settings(Settings::UserFile(), Settings::Access::ReadOnly);
    return Schema::DeskDatabase(settings);
}

// The reason, and what is missing on the server when that is why.
QString explained(const QString& problem, const QString& location) {
    const QString hint = ServerSetupHint(problem, location);
    return hint.isEmpty() ? problem : problem + QLatin1Char('\n') + Messages::HintLine(hint);
}

int refused(QTextStream& err, const QString& problem, const QString& location) {
    err << "velkar-db: " << explained(problem, location) << '\n';
    return CommandLine::Refused;
}

// The one location left in `args`, or the desk's; false (said on `err`) when more are left.
bool location(const QStringList& args, QString* path, QTextStream& err, int* status) {
    if (args.size() > 1) {
        *status = usage(err, Messages::TooManyArguments(args[1]));
        return false;
    }
    if (!args.isEmpty() && args[0].startsWith(QLatin1Char('-')) && args[0] != QLatin1String("-")) {
        *status = usage(err, Messages::UnexpectedArgument(args[0]));
        return false;
    }
    *path = args.isEmpty() ? deskDatabase() : args[0];
    return true;
}

// Prints the headings, then the rows `read` gives from the ledger at the one location left in
// `args`, tab-separated.
int printTable(const QStringList& args, QTextStream& out, QTextStream& err,
               const QStringList& headings,
               const std::function<QList<QStringList>(const Connection&)>& read) {
    QString path;
    int status = 0;
    if (!location(args, &path, err, &status))
        return status;
    try {
        Connection db(path);
        out << headings.join(QLatin1Char('\t')) << '\n';
        for (const QStringList& row : read(db))
            out << row.join(QLatin1Char('\t')) << '\n';
    } catch (const DataError& e) {
        return refused(err, path + QStringLiteral("：") + e.description(), path);
    }
    return 0;
}

int journal(QStringList args, QTextStream& out, QTextStream& err) {
    std::optional<Journal::State> state;
    const qsizetype at = args.indexOf(QStringLiteral("--state"));
    if (at >= 0) {
        state = Journal::StateFromName(args.value(at + 1));
        if (!state)
            return usage(err, Messages::UnknownJournalState(args.value(at + 1)));
        args.remove(at, 2);
    }
    return printTable(args, out, err, Journal::ColumnHeadings(), [&](const Connection& db) {
        QList<QStringList> rows;
        for (const Journal::Entry& entry : Journal::List(db, state))
            rows << Journal::RowTexts(entry);
        return rows;
    });
}

int cards(QStringList args, QTextStream& out, QTextStream& err) {
    std::optional<Cards::State> state;
    const qsizetype at = args.indexOf(QStringLiteral("--state"));
    if (at >= 0) {
        const QString name = args.value(at + 1);
        if (name == QLatin1String("lost"))
            state = Cards::State::Lost;
        else if (name == QLatin1String("active"))
            state = Cards::State::Active;
        else
            return usage(err, Messages::UnknownCardState(name));
        args.remove(at, 2);
    }
    return printTable(args, out, err, Messages::CardHeadings(), [&](const Connection& db) {
        // Each replacement links its two cards, both ways; one still running says so.
        QHash<QString, QString> replacedBy, replaces;
        Query links(db, QString::fromUtf8(Statements::ReplacementLinks));
        while (links.next()) {
            const bool open = links.text(2) == QLatin1String("open");
            const auto marked = [open](const QString& card) {
                return open ? Messages::ReplacementOpenMark(card) : card;
            };
            replacedBy.insert(links.text(0), marked(links.text(1)));
            replaces.insert(links.text(1), marked(links.text(0)));
        }
        QList<QStringList> rows;
        for (const Cards::Card& c : Cards::List(db, state))
            rows << QStringList{c.cardNo,
                                Cards::StateText(c.state),
                                c.since,
                                c.account,
                                c.reason,
                                c.lastBalance ? Messages::YuanText(*c.lastBalance) : QString(),
                                c.lastSeenAt,
                                c.lastSeenDesk,
                                replacedBy.value(c.cardNo, c.replacedBy),
                                replaces.value(c.cardNo)};
        return rows;
    });
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

// Takes the date options out of `args`; a problem when one is missing its value or is no date.
QString dates(QStringList& args, std::initializer_list<std::pair<const char*, QString*>> options,
              bool required) {
    for (const auto& [name, value] : options) {
        if (!option(args, name, value))
            return Messages::OptionNeedsValue(QLatin1String(name));
        if (value->isEmpty() && required)
            return Messages::DateRequired(QLatin1String(name));
        if (!value->isEmpty() && !isDate(*value))
            return Messages::NotADate(QLatin1String(name), *value);
    }
    return {};
}

int audit(QStringList args, QTextStream& out, QTextStream& err) {
    Audit::Filter filter;
    if (const QString problem =
            dates(args, {{"--from", &filter.from}, {"--to", &filter.to}}, false);
        !problem.isEmpty())
        return usage(err, problem);
    if (!option(args, "--account", &filter.account))
        return usage(err, Messages::OptionNeedsValue(QStringLiteral("--account")));
    return printTable(args, out, err, Audit::ColumnHeadings(), [&](const Connection& db) {
        QList<QStringList> rows;
        for (const Audit::Entry& entry : Audit::Page(db, filter, nullptr, 0))
            rows << Audit::RowTexts(entry);
        return rows;
    });
}

int settle(QStringList args, QTextStream& out, QTextStream& err) {
    QString from, to, csv;
    if (const QString problem = dates(args, {{"--from", &from}, {"--to", &to}}, true);
        !problem.isEmpty())
        return usage(err, problem);
    if (!option(args, "--csv", &csv))
        return usage(err, Messages::OptionNeedsValue(QStringLiteral("--csv")));
    QString path;
    int status = 0;
    if (!location(args, &path, err, &status))
        return status;
    try {
        Connection db(path);
        const Settlement::Result result = Settlement::Collect(db, from, to);
        const QList<Export::Sheet> sheets =
            SettlementSheets::Sheets(result, Shifts::List(db, from, to));
        if (!csv.isEmpty()) {
            const QString problem = Export::WriteCsv(csv, sheets);
            if (!problem.isEmpty()) {
                err << "velkar-db: " << csv << QStringLiteral("：") << problem << '\n';
                return CommandLine::Refused;
            }
        }
        for (const Export::Sheet& sheet : sheets) {
            if (&sheet != &sheets.front())
                out << '\n';
            out << sheet.headings.join(QLatin1Char('\t')) << '\n';
            for (const QStringList& row : sheet.rows)
                out << row.join(QLatin1Char('\t')) << '\n';
        }
    } catch (const DataError& e) {
        return refused(err, path + QStringLiteral("：") + e.description(), path);
    }
    return 0;
}

int shifts(QStringList args, QTextStream& out, QTextStream& err) {
    QString from, to;
    if (const QString problem = dates(args, {{"--from", &from}, {"--to", &to}}, false);
        !problem.isEmpty())
        return usage(err, problem);
    return printTable(args, out, err, Shifts::ColumnHeadings(), [&](const Connection& db) {
        QList<QStringList> rows;
        for (const Shifts::Shift& shift :
             Shifts::List(db, from.isEmpty() ? QStringLiteral("0000-01-01") : from,
                          to.isEmpty() ? QStringLiteral("9999-12-31") : to))
            rows << Shifts::RowTexts(shift);
        return rows;
    });
}

int backup(QStringList args, QTextStream& out, QTextStream& err) {
    QString keepText;
    if (!option(args, "--keep", &keepText))
        return usage(err, Messages::OptionNeedsValue(QStringLiteral("--keep")));
    for (const QString& arg : args)
        if (arg.startsWith(QLatin1String("--")))
            return usage(err, Messages::UnexpectedArgument(arg));
    if (args.size() == 1)
        return usage(err, Messages::BackupNeedsBoth());
    if (args.size() > 2)
        return usage(err, Messages::TooManyArguments(args[2]));
    const Settings settings(Settings::UserFile(), Settings::Access::ReadOnly);
    int keep = settings.autoBackupKeep();
    if (!keepText.isEmpty()) {
        bool number = false;
        keep = keepText.toInt(&number);
        if (!number || keep < 1)
            return usage(err, Messages::NotABackupCount(keepText));
    }
    const QString path = args.isEmpty() ? Schema::DeskDatabase(settings) : args[0];
    const QString folder = args.isEmpty() ? settings.autoBackupFolder() : args[1];
    if (folder.isEmpty())
        return refused(err, Messages::NoAutoBackupFolder(Settings::UserFile()), path);
    const QDateTime now = QDateTime::currentDateTime();
    // Written before the copy, so the backup holds its own entry, as the desk's do.
    QString problem = Audit::AppendTo(path, QStringLiteral("velkar-db"), Audit::Backup,
                                      Messages::AutoBackupTarget(folder), now);
    AutoBackup::Result result;
    if (problem.isEmpty()) {
        result = AutoBackup::Run(path, folder, keep, now);
        problem = result.problem;
    }
    if (!problem.isEmpty())
        return refused(err, path + QStringLiteral("：") + problem, path);
    out << Messages::BackedUpTo(result.path) << '\n';
    for (const QString& removed : result.removed)
        out << Messages::OldBackupRemoved(removed) << '\n';
    if (!result.rotateProblem.isEmpty()) {
        err << "velkar-db: " << result.rotateProblem << '\n';
        return CommandLine::Refused;
    }
    return 0;
}

// What the trail says of the seal printed on a Z report.
int checkSeal(const QString& seal, const QString& path, QTextStream& out, QTextStream& err) {
    try {
        const Connection db(path);
        const Shifts::SealFinding finding = Shifts::FindSeal(db, seal);
        if (!finding.found)
            return refused(err, Messages::SealNotFound(path, seal.toLower()), path);
        out << Messages::SealFound(seal.toLower(), finding.auditId, finding.headId) << '\n';
        if (finding.shift && finding.shift->auditId == finding.auditId)
            out << Messages::SealOfShift(*finding.shift->z, finding.shift->desk, finding.shift->id,
                                         finding.shift->closedAt)
                << '\n';
    } catch (const DataError& e) {
        return refused(err, path + QStringLiteral("：") + e.description(), path);
    }
    return 0;
}

int importLegacy(QStringList args, QTextStream& out, QTextStream& err) {
    if (args.isEmpty())
        return usage(err, Messages::ImportLegacyNeedsFile());
    const QString source = args.takeFirst();
    QString target;
    int status = 0;
    if (!location(args, &target, err, &status))
        return status;
    LegacyImport::Options options;
    options.account = QStringLiteral("velkar-db");
    const LegacyImport::Result result = LegacyImport::Import(source, target, options);
    if (!result.problem.isEmpty())
        return refused(err, result.problem, target);
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

int importLedger(QStringList args, QTextStream& out, QTextStream& err) {
    if (args.size() != 2)
        return usage(err, args.size() > 2 ? Messages::TooManyArguments(args[2])
                                          : Messages::ImportNeedsFileAndUri());
    const QString problem = DatabaseCopy::Import(args[0], args[1]);
    if (!problem.isEmpty())
        return refused(err, problem, args[1]);
    out << Messages::DatabaseImported(args[0], args[1]) << '\n';
    return 0;
}

int check(QStringList args, QTextStream& out, QTextStream& err) {
    QString seal;
    if (args.contains(QStringLiteral("--seal"))) {
        if (!option(args, "--seal", &seal))
            return usage(err, Messages::OptionNeedsValue(QStringLiteral("--seal")));
        if (!Shifts::IsSealText(seal))
            return usage(err, Messages::NotASeal(seal));
    }
    QString path;
    int status = 0;
    if (!location(args, &path, err, &status))
        return status;
    const QString problem = Schema::CheckDatabase(path);
    if (!problem.isEmpty())
        return refused(err, Messages::DatabaseNotSound(path, problem), path);
    out << Messages::DatabaseSound(path) << '\n';
    return seal.isEmpty() ? 0 : checkSeal(seal, path, out, err);
}

int init(QStringList args, QTextStream& out, QTextStream& err) {
    QString path;
    int status = 0;
    if (!location(args, &path, err, &status))
        return status;
    const QString problem = Schema::CreateDatabase(path);
    if (!problem.isEmpty())
        return refused(err, problem, path);
    out << Messages::DatabaseCreated(path) << '\n';
    return 0;
}

int upgrade(QStringList args, QTextStream& out, QTextStream& err) {
    QString path;
    int status = 0;
    if (!location(args, &path, err, &status))
        return status;
    const QString problem = Schema::Upgrade(path);
    if (!problem.isEmpty())
        return refused(err, path + QStringLiteral("：") + problem, path);
    out << Messages::DatabaseAtVersion(path, Schema::CurrentVersion) << '\n';
    return 0;
}

} // namespace

int main(int argc, char* argv[]) {
    const auto help = [] { std::fputs(Usage, stdout); };
    if (const auto answered = CommandLine::AnswerHelpOrVersion(argc, argv, "velkar-db", help,
                                                               CommandLine::Language::Chinese))
        return *answered;
    // What a tool writes of the ledger (copies, reports, journals) is its user's alone.
    PrivateFile::RestrictNewFiles();
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    QStringList args = app.arguments().mid(1);
    if (!args.isEmpty() && args[0] == QLatin1String("--"))
        args.removeFirst();
    if (args.isEmpty())
        return usage(err, Messages::NoCommand());
    using Command = int (*)(QStringList, QTextStream&, QTextStream&);
    static const std::pair<const char*, Command> commands[] = {{"journal", journal},
                                                               {"cards", cards},
                                                               {"audit", audit},
                                                               {"settle", settle},
                                                               {"import-legacy", importLegacy},
                                                               {"shifts", shifts},
                                                               {"backup", backup},
                                                               {"import", importLedger},
                                                               {"check", check},
                                                               {"init", init},
                                                               {"upgrade", upgrade}};
    const QString command = args.takeFirst();
    for (const auto& [name, run] : commands)
        if (command == QLatin1String(name))
            return run(args, out, err);
    return usage(err, Messages::UnknownCommand(command));
}
