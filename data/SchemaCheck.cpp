#include "data/Schema.h"

#include "base/Messages.h"
#include "data/AdoConn.h"
#include "data/Audit.h"
#include "data/CardRecords.h"
#include "data/Migrations.h"
#include "data/ReadView.h"
#include "data/RecordDays.h"
#include "data/SchemaSteps.h"

#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <functional>
#include <vector>

#include <sqlite3.h>

namespace velkar {

using namespace SchemaSteps;
using SchemaText::CreateStatements;

namespace {

// ---- What counts as a Velkar database -------------------------------------------------------

struct SchemaObject {
    QString type, name, table, sql;
};

const char* const SchemaQuery = "SELECT type, name, tbl_name, sql FROM sqlite_master";

QList<SchemaObject> schemaOf(sqlite3* db, QString* problem) {
    QList<SchemaObject> objects;
    for (const QStringList& row : rows(db, SchemaQuery, problem))
        objects.append({row[0], row[1], row[2], row[3]});
    return objects;
}

// The schema this program makes for a file of `version`: the delivered form and the
// migrations up to it, built by the very steps that build files.
QList<SchemaObject> expectedSchema(int version, QString* problem) {
    try {
        const Connection db(QString(), Connection::Open::Memory, 0);
        *problem = execute(db.handle(), CreateStatements);
        if (problem->isEmpty())
            *problem = migrate(db, 0, version, PasswordHash::CheapestCost);
        if (problem->isEmpty())
            *problem = execute(db.handle(), "COMMIT");
        return problem->isEmpty() ? schemaOf(db.handle(), problem) : QList<SchemaObject>{};
    } catch (const DataError& e) {
        *problem = e.description();
        return {};
    }
}

QString kindText(const QString& type) {
    if (type == QLatin1String("table"))
        return Messages::KindTable();
    if (type == QLatin1String("index"))
        return Messages::KindIndex();
    if (type == QLatin1String("view"))
        return Messages::KindView();
    if (type == QLatin1String("trigger"))
        return Messages::KindTrigger();
    return type;
}

// Names the first column in which two definitions of one table differ.
QString tableDifference(sqlite3* file, sqlite3* expected, const QString& table) {
    const QByteArray sql =
        "SELECT name, type, \"notnull\", dflt_value, pk FROM pragma_table_info(" +
        ("'" + table.toUtf8().replace("'", "''") + "'") + ")";
    QString ignored;
    const QList<QStringList> have = rows(file, sql.constData(), &ignored);
    const QList<QStringList> want = rows(expected, sql.constData(), &ignored);
    for (qsizetype i = 0; i < std::max(have.size(), want.size()); ++i) {
        if (i >= have.size())
            return Messages::ColumnMissing(table, want[i][0]);
        if (i >= want.size())
            return Messages::ColumnExtra(table, have[i][0]);
        if (have[i][0] != want[i][0])
            return Messages::ColumnOrder(table, i + 1, have[i][0], want[i][0]);
        if (have[i][1].compare(want[i][1], Qt::CaseInsensitive) != 0)
            return Messages::ColumnType(table, have[i][0],
                                        have[i][1].isEmpty() ? Messages::NoType() : have[i][1],
                                        want[i][1]);
        if (have[i][2] != want[i][2])
            return Messages::ColumnNotNull(table, have[i][0], want[i][2] == QLatin1String("1"));
    }
    return Messages::ConstraintsDiffer(table);
}

// Why the schema of `db` (of `version`) is not exactly the one this program makes.
// The objects a file has against those its version wants, compared a kind at a time.
class SchemaComparison {
public:
    SchemaComparison(sqlite3* db, QList<SchemaObject> want, QList<SchemaObject> have)
        : m_db(db), m_want(std::move(want)), m_have(std::move(have)) {}

    // The first object of `type` the file has and its version doesn't want.
    QString extra(const char* type) const {
        for (const SchemaObject& o : m_have)
            if (o.type == QLatin1String(type) && !find(m_want, o.name))
                return Messages::ObjectExtra(kindText(o.type), o.name);
        return {};
    }

    // The first table or view (or else other object) wanted and missing, or of another kind.
    QString missing(bool tables) const {
        for (const SchemaObject& o : m_want) {
            if (isTable(o) != tables)
                continue;
            const SchemaObject* h = find(m_have, o.name);
            if (!h)
                return Messages::ObjectMissing(kindText(o.type), o.name);
            if (h->type != o.type)
                return Messages::ObjectKindDiffers(o.name, kindText(h->type), kindText(o.type));
        }
        return {};
    }

    // The first one defined otherwise than wanted; all of them must be there.
    QString definitions(bool tables) const {
        for (const SchemaObject& o : m_want) {
            if (isTable(o) != tables)
                continue;
            const SchemaObject* h = find(m_have, o.name);
            if (h->table == o.table && h->sql == o.sql)
                continue;
            return o.type == QLatin1String("table")
                       ? tableDiffers(o)
                       : Messages::ObjectDefinitionDiffers(kindText(o.type), o.name);
        }
        return {};
    }

private:
    static bool isTable(const SchemaObject& o) {
        return o.type == QLatin1String("table") || o.type == QLatin1String("view");
    }
    static const SchemaObject* find(const QList<SchemaObject>& in, const QString& name) {
        for (const SchemaObject& o : in)
            if (o.name == name)
                return &o;
        return nullptr;
    }
    // Tells how the file's table differs from the wanted one, made anew in memory.
    QString tableDiffers(const SchemaObject& wanted) const {
        try {
            const Connection reference(QString(), Connection::Open::Memory, 0);
            execute(reference.handle(), wanted.sql.toUtf8().constData());
            return tableDifference(m_db, reference.handle(), wanted.name);
        } catch (const DataError& e) {
            return e.description();
        }
    }

    sqlite3* m_db;
    const QList<SchemaObject> m_want;
    const QList<SchemaObject> m_have;
};

QString schemaProblem(sqlite3* db, int version) {
    QString problem;
    QList<SchemaObject> want = expectedSchema(version, &problem);
    if (!problem.isEmpty())
        return problem;
    QList<SchemaObject> have = schemaOf(db, &problem);
    if (!problem.isEmpty())
        return problem;
    const SchemaComparison schema(db, std::move(want), std::move(have));
    // Triggers first: they are what turns a file against the program. A table made again by
    // hand loses the triggers and indexes made on it: its definition says more than what went
    // with it.
    const std::function<QString()> steps[] = {
        [&] { return schema.extra("trigger"); },  [&] { return schema.missing(true); },
        [&] { return schema.definitions(true); }, [&] { return schema.missing(false); },
        [&] { return schema.extra("view"); },     [&] { return schema.extra("table"); },
        [&] { return schema.extra("index"); },    [&] { return schema.definitions(false); },
    };
    for (const auto& step : steps)
        if (problem = step(); !problem.isEmpty())
            return problem;
    return {};
}

QString accountsProblem(const Connection& db, int version) {
    QList<QStringList> accounts;
    try {
        Query q(db, QString::fromUtf8(Statements::AccountList));
        while (q.next())
            accounts.append({q.text(0), q.text(1)});
    } catch (const DataError& e) {
        return e.description();
    }
    QStringList names;
    for (const QStringList& account : accounts)
        names << account[0];
    if (names != Schema::AccountNames)
        return Messages::AccountsDiffer(Schema::AccountNames.join(QStringLiteral("、")),
                                        accounts.size());
    // From version 2 on no password lies in the database as text.
    if (version >= 2)
        for (const QStringList& account : accounts)
            if (!PasswordHash::IsHash(account[1]))
                return Messages::PasswordNotHashed(account[0]);
    return {};
}

// The objects of `db`'s public schema that differ from those this program makes for `version`,
// built by the very steps that build a server database in a schema thrown away after.
QString serverSchemaProblem(const Connection& db, int version) {
    const QStringList have = serverObjects(db, QStringLiteral("public"));
    db.run(QStringLiteral("SAVEPOINT expected; CREATE SCHEMA velkar_expected; "
                          "SET LOCAL search_path TO velkar_expected"));
    createOnServer(db, version, PasswordHash::CheapestCost, false);
    const QStringList want = serverObjects(db, QStringLiteral("velkar_expected"));
    db.run(QStringLiteral("ROLLBACK TO SAVEPOINT expected"));
    for (const QString& w : want)
        if (!have.contains(w))
            return Messages::StatementMissing(w);
    for (const QString& h : have)
        if (!want.contains(h))
            return Messages::StatementExtra(h);
    return {};
}

// The expressions of the CHECK rules in a table's definition, as written there.
QStringList checkClauses(const QString& sql) {
    QStringList clauses;
    static const QRegularExpression check(QStringLiteral(R"(\bCHECK\s*\()"),
                                          QRegularExpression::CaseInsensitiveOption);
    qsizetype from = 0;
    for (QRegularExpressionMatch m = check.match(sql, from); m.hasMatch();
         m = check.match(sql, from)) {
        const qsizetype open = m.capturedEnd() - 1;
        int depth = 0;
        QChar quote;
        qsizetype i = open;
        for (; i < sql.size(); ++i) {
            const QChar c = sql[i];
            if (!quote.isNull()) {
                if (c == quote)
                    quote = QChar();
            } else if (c == u'\'' || c == u'"') {
                quote = c;
            } else if (c == u'(') {
                ++depth;
            } else if (c == u')' && --depth == 0) {
                break;
            }
        }
        clauses << sql.mid(open + 1, i - open - 1);
        from = i + 1;
    }
    return clauses;
}

// A file opened read-only, as the check opens it, has its CHECK rules skipped by SQLite's own
// integrity check: they are tested here, each table in one pass. The rules are the program's
// own for the version, never the file's text.
QString rulesProblem(sqlite3* db, int version) {
    QString problem;
    for (const SchemaObject& o : expectedSchema(version, &problem)) {
        if (o.type != QLatin1String("table"))
            continue;
        QStringList broken;
        for (const QString& clause : checkClauses(o.sql))
            broken << QStringLiteral("NOT coalesce((%1), 1)").arg(clause);
        if (broken.isEmpty())
            continue;
        const QString sql = QString::fromUtf8(Statements::RowsBreakingRules)
                                .arg(o.name, broken.join(QStringLiteral(" OR ")));
        const QList<QStringList> found = rows(db, sql.toUtf8().constData(), &problem);
        if (!problem.isEmpty())
            return problem;
        if (const qint64 count = found.value(0).value(0).toLongLong(); count > 0)
            return Messages::RowsBreakRules(o.name, count);
    }
    return problem;
}

// The version that brought the audit trail.
constexpr int TrailVersion = 4;

// Why the trail's hash chain is broken, or an empty text; read through the caller's open read.
template <typename Handle>
QString trailProblem(Handle db, int version, Schema::Rows rows, Audit::Checkpoint* head) {
    if (rows == Schema::Rows::Unchecked || version < TrailVersion)
        return {};
    try {
        if (const auto broken = Audit::Verify(db, head))
            return broken->text;
    } catch (const DataError& e) {
        return e.description();
    }
    return {};
}

// The version from which the store keeps each day's count and total of records.
constexpr int DaysVersion = 7;

// The version from which the store keeps each card's count and total of records.
constexpr int CardsVersion = 9;

// Why the kept day or card totals differ from the records, or an empty text.
QString keptProblem(const Connection& db, int version, Schema::Rows rows) {
    if (rows == Schema::Rows::Unchecked || version < DaysVersion)
        return {};
    try {
        QString problem = RecordDays::Disagreement(db);
        if (problem.isEmpty() && version >= CardsVersion)
            problem = CardTotalsDisagreement(db);
        return problem;
    } catch (const DataError& e) {
        return e.description();
    }
}

// Why a file of `version` can't be checked by this program: too new for it, or no version.
QString versionProblem(int version) {
    if (version > Schema::CurrentVersion)
        return Schema::TooNewText(version);
    if (version < 0)
        return Messages::InvalidVersion(version);
    return {};
}

QString checkServer(const QString& location, int lockTimeoutMs, Schema::Rows rows,
                    Audit::Checkpoint* trailHead) {
    try {
        const Connection db(location, lockTimeoutMs);
        const Transaction read(db, Transaction::Read);
        QString problem;
        const int version = readVersion(db, &problem);
        if (problem.isEmpty())
            problem = versionProblem(version);
        if (!problem.isEmpty())
            return problem;
        problem = serverSchemaProblem(db, version);
        if (problem.isEmpty())
            problem = accountsProblem(db, version);
        if (problem.isEmpty())
            problem = keptProblem(db, version, rows);
        if (problem.isEmpty())
            problem = trailProblem<const Connection&>(db, version, rows, trailHead);
        return problem;
    } catch (const DataError& e) {
        return e.description();
    }
}

// Why the rows of the file open in `db` are not what its version wants: its objects, accounts,
// rules, kept day and card totals and trail.
QString rowsProblemOf(sqlite3* db, Schema::Rows checked, Audit::Checkpoint* trailHead) {
    QString problem;
    const int version = readVersion(db, &problem);
    if (problem.isEmpty())
        problem = versionProblem(version);
    if (!problem.isEmpty())
        return problem;
    problem = schemaProblem(db, version);
    if (problem.isEmpty())
        problem = accountsProblem(Connection(db), version);
    if (problem.isEmpty() && checked == Schema::Rows::Checked)
        problem = rulesProblem(db, version);
    if (problem.isEmpty())
        problem = keptProblem(Connection(db), version, checked);
    if (problem.isEmpty())
        problem = trailProblem<sqlite3*>(db, version, checked, trailHead);
    return problem;
}

} // namespace

namespace Schema {

QString CheckDatabase(const QString& path, int lockTimeoutMs, Pages pages, Rows checked,
                      Audit::Checkpoint* trailHead) {
    if (EngineOf(path) == Engine::Postgres)
        return checkServer(path, lockTimeoutMs, checked, trailHead);
    const QFileInfo info(path);
    if (!info.exists())
        return Messages::DoesNotExist(path);
    if (!info.isFile())
        return Messages::NotAFile(path);
    ReadView view;
    QString problem = view.open(path, lockTimeoutMs);
    if (!problem.isEmpty())
        return problem;
    sqlite3* db = view.handle();
    prepareLargeReads(db);
    // What the rows hold is read meanwhile, and counts only once the pages are found sound.
    QString rowsProblem;
    const auto readRows = [&] { rowsProblem = rowsProblemOf(db, checked, trailHead); };
    QStringList findings;
    if (pages == Pages::Full) {
        findings = pageFindings(db, &problem, readRows);
    } else {
        for (const QStringList& line : rows(db, "PRAGMA quick_check(6)", &problem))
            if (line.value(0) != QLatin1String("ok"))
                findings << line.value(0);
        if (problem.isEmpty() && findings.isEmpty())
            readRows();
    }
    if (problem.isEmpty() && !findings.isEmpty())
        problem = Messages::IntegrityCheckFailed(findings.mid(0, 5).join(QStringLiteral("; ")));
    if (problem.isEmpty())
        problem = rowsProblem;
    if (!problem.isEmpty() && trailHead)
        *trailHead = {};
    return problem;
}

} // namespace Schema

} // namespace velkar
