#include "data/LegacyImport.h"

#include "base/Messages.h"
#include "base/PrivateFile.h"
#include "data/AdoConn.h"
#include "data/Audit.h"
#include "data/Cardholder.h"
#include "data/LegacyFile.h"
#include "data/Schema.h"
#include "data/Statements.h"

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSaveFile>
#include <QSet>
#include <QTemporaryFile>
#include <QUrl>

#include <libpq-fe.h>
#include <sqlite3.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <memory>
#include <optional>
#include <unistd.h>
#include <vector>

namespace velkar {

namespace LegacyImport {

namespace {

using Cell = LegacyFile::Cell;
using Kind = LegacyFile::Kind;

const QString Userecord = QStringLiteral("userecord");
const QString Employees = QStringLiteral("employees");
const QString Permission = QStringLiteral("permission");

constexpr int ProgressEvery = 8192;
// A card's balance moves by at most 65535 tenths of a yuan.
constexpr std::int64_t ReaderLimit = 6553;
// The query window sums amounts of at most five characters.
constexpr std::int64_t QuerySumsFrom = -9999;
constexpr std::int64_t QuerySumsTo = 99999;

// ---- Values -----------------------------------------------------------------------------------

QString realText(double value) {
    return QString::number(value, 'g', QLocale::FloatingPointShortest);
}

QString textOf(const Cell& cell) {
    switch (cell.kind) {
    case Kind::Null:
        return {};
    case Kind::Text:
        return cell.text;
    case Kind::Integer:
        return QString::number(cell.integer);
    case Kind::Real:
        return realText(cell.real);
    case Kind::DateTime: {
        char text[20];
        return AccessDateText(cell.real, text) ? QString::fromLatin1(text) : realText(cell.real);
    }
    }
    return {};
}

// A report's lines of one kind, put in table and row order at the end.
class Lines {
public:
    void add(int table, qint64 row, const QString& text) { m_lines.push_back({table, row, text}); }
    QStringList sorted() {
        std::stable_sort(m_lines.begin(), m_lines.end(), [](const Line& a, const Line& b) {
            return a.table != b.table ? a.table < b.table : a.row < b.row;
        });
        QStringList texts;
        for (const Line& line : m_lines)
            texts << line.text;
        return texts;
    }

private:
    struct Line {
        int table;
        qint64 row;
        QString text;
    };
    std::vector<Line> m_lines;
};

enum TableOrder { AccountsTable, CardholdersTable, RecordsTable };

struct Findings {
    Lines repairs, setAside, notes, accounts;
};

// The text a cell of a text column is stored as; what that changed goes into the repairs.
QString storedText(const Cell& cell, TableOrder order, const QString& table, qint64 row,
                   const QString& column, Findings* findings) {
    QString text = textOf(cell);
    if (cell.kind == Kind::Null)
        findings->repairs.add(order, row,
                              Messages::LegacyRow(table, row, Messages::RepairNull(column)));
    if (cell.lost > 0)
        findings->repairs.add(
            order, row, Messages::LegacyRow(table, row, Messages::RepairLost(column, cell.lost)));
    if (text.contains(QChar(0))) {
        // Neither engine's text holds it alike.
        text.remove(QChar(0));
        findings->repairs.add(order, row,
                              Messages::LegacyRow(table, row, Messages::RepairNul(column)));
    }
    return text;
}

// "yyyy-MM-dd HH:mm:ss" from a date typed as text; empty when it is none.
QString dateFromText(const QString& text) {
    const QStringList parts = text.simplified().split(QLatin1Char(' '));
    if (parts.isEmpty() || parts.size() > 2)
        return {};
    QDate date;
    for (const char* form : {"yyyy-M-d", "yyyy/M/d", "yyyy.M.d"})
        if (!date.isValid())
            date = QDate::fromString(parts[0], QLatin1String(form));
    QTime time(0, 0);
    if (parts.size() == 2) {
        time = QTime::fromString(parts[1], QStringLiteral("H:mm:ss"));
        if (!time.isValid())
            time = QTime::fromString(parts[1], QStringLiteral("H:mm"));
    }
    if (!date.isValid() || !time.isValid() || date.year() < 100)
        return {};
    return date.toString(QStringLiteral("yyyy-MM-dd")) + QLatin1Char(' ') +
           time.toString(QStringLiteral("HH:mm:ss"));
}

QString sha256Of(const QString& path, QString* problem) {
    QFile file(path);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!file.open(QIODevice::ReadOnly) || !hash.addData(&file)) {
        *problem = Messages::CannotRead(path);
        return {};
    }
    return QString::fromLatin1(hash.result().toHex());
}

// A server location as it may be shown: without its password.
QString shownLocation(const QString& target) {
    if (EngineOf(target) != Engine::Postgres)
        return QFileInfo(target).absoluteFilePath();
    QUrl url(target);
    url.setPassword(QString());
    return url.toString();
}

// ---- Where the rows go ------------------------------------------------------------------------

void addAccount(const Connection& db, const QString& name, const QString& hash) {
    Query insert(db, QString::fromUtf8(Statements::AddAccount));
    insert.bind(1, name);
    insert.bind(2, hash);
    insert.next();
}

// The new database being filled, in one transaction.
class Sink {
public:
    virtual ~Sink() = default;
    virtual void account(const QString& name, const QString& hash) = 0;
    virtual void cardholder(const QString (&cells)[6]) = 0;
    virtual void cardholdersDone() {}
    virtual void record(const QByteArray& cardNo, const char* date, std::int64_t amount) = 0;
    // The trail's first entry, then the commit; why the result is no sound database, if it is
    // not.
    virtual QString finish(const QString& account, const QString& details, const QDateTime& at,
                           const Options& options) = 0;
};

[[noreturn]] void raise(sqlite3* db) {
    throw DataError(sqlite3_errcode(db), QString::fromUtf8(sqlite3_errmsg(db)));
}

// A file being made beside the name it will get; removed with its journal unless it got it.
class Scratch {
public:
    explicit Scratch(const QString& target) {
        QTemporaryFile reserve(target + QStringLiteral(".XXXXXX.part"));
        reserve.setAutoRemove(false);
        if (!reserve.open())
            throw DataError(-1, Messages::CannotMakeTemporaryFile());
        m_path = reserve.fileName();
    }
    ~Scratch() {
        if (!m_path.isEmpty()) {
            QFile::remove(m_path);
            QFile::remove(m_path + QStringLiteral("-journal"));
        }
    }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;
    const QString& path() const { return m_path; }
    void keep() { m_path.clear(); }

private:
    QString m_path;
};

struct Finalize {
    void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using Statement = std::unique_ptr<sqlite3_stmt, Finalize>;

// A new file: made whole beside its name, and given the name only once complete and checked.
class FileSink : public Sink {
public:
    FileSink(const QString& target, const Options& options) : m_target(target), m_part(target) {
        QFile::remove(m_part.path()); // the schema makes it anew
        // The seven accounts are replaced, so their first hashes may be cheap.
        const QString problem = Schema::CreateDatabase(m_part.path(), PasswordHash::CheapestCost);
        if (!problem.isEmpty())
            throw DataError(-1, problem);
        m_db = std::make_unique<Connection>(m_part.path(), options.lockTimeoutMs);
        m_db->run(QStringLiteral("PRAGMA cache_size = -131072"));
        m_transaction = std::make_unique<Transaction>(*m_db, Transaction::Write);
        // The records' indexes are made again once the rows are in: sorting once is quicker
        // than keeping four indexes in order row by row. Made by the same statements, they are
        // the same indexes.
        {
            Query indexes(*m_db, QString::fromUtf8(Statements::RecordIndexes));
            while (indexes.next())
                m_indexes.push_back({indexes.text(0), indexes.text(1)});
        }
        for (const auto& index : m_indexes)
            m_db->run(QStringLiteral("DROP INDEX \"%1\"").arg(index.first));
        m_db->run(QString::fromUtf8(Statements::RemoveAccounts));
        m_holder = prepare(Statements::ImportCardholder);
        m_record = prepare(Statements::ImportRecord);
    }

    void account(const QString& name, const QString& hash) override {
        addAccount(*m_db, name, hash);
    }

    void cardholder(const QString (&cells)[6]) override {
        QByteArray bytes[6];
        for (int i = 0; i < 6; ++i) {
            bytes[i] = cells[i].toUtf8();
            sqlite3_bind_text(m_holder.get(), i + 1, bytes[i].constData(), int(bytes[i].size()),
                              SQLITE_STATIC);
        }
        step(m_holder.get());
    }

    void record(const QByteArray& cardNo, const char* date, std::int64_t amount) override {
        sqlite3_stmt* insert = m_record.get();
        sqlite3_bind_text(insert, 1, cardNo.constData(), int(cardNo.size()), SQLITE_STATIC);
        sqlite3_bind_text(insert, 2, date, -1, SQLITE_STATIC);
        sqlite3_bind_int64(insert, 3, amount);
        step(insert);
    }

    QString finish(const QString& account, const QString& details, const QDateTime& at,
                   const Options& options) override {
        for (const auto& index : m_indexes)
            m_db->run(index.second);
        Audit::Append(*m_db, account, Audit::ThisDesk(), Audit::LegacyImported, details, at);
        m_transaction->commit();
        m_holder.reset();
        m_record.reset();
        m_transaction.reset();
        m_db.reset();
        if (options.progress)
            options.progress(0, 0);
        // The program's own writes: the quick look at the pages is enough.
        QString problem =
            Schema::CheckDatabase(m_part.path(), options.lockTimeoutMs, Schema::Pages::Quick);
        if (problem.isEmpty())
            problem = moveInPlace();
        return problem;
    }

private:
    Statement prepare(const char* sql) {
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(m_db->handle(), sql, -1, &statement, nullptr) != SQLITE_OK)
            raise(m_db->handle());
        return Statement(statement);
    }

    void step(sqlite3_stmt* statement) {
        if (sqlite3_step(statement) != SQLITE_DONE)
            raise(m_db->handle());
        sqlite3_reset(statement);
    }

    // The finished file takes the target's name, which nothing may have taken meanwhile.
    QString moveInPlace() {
        const QByteArray from = QFile::encodeName(m_part.path());
        const QByteArray to = QFile::encodeName(m_target);
        if (::link(from.constData(), to.constData()) == 0) {
            ::unlink(from.constData());
        } else if (errno == EEXIST) {
            return Messages::TargetExists(m_target);
        } else {
            // A file system without hard links.
            if (QFileInfo::exists(m_target))
                return Messages::TargetExists(m_target);
            if (std::rename(from.constData(), to.constData()) != 0)
                return Messages::CannotWrite(m_target);
        }
        m_part.keep();
        const int folder = ::open(QFile::encodeName(QFileInfo(m_target).absolutePath()).constData(),
                                  O_RDONLY | O_DIRECTORY);
        if (folder >= 0) {
            ::fsync(folder);
            ::close(folder);
        }
        return {};
    }

    // In the order they go: the statements, the transaction, the connection, the file.
    QString m_target;
    Scratch m_part;
    std::unique_ptr<Connection> m_db;
    std::unique_ptr<Transaction> m_transaction;
    std::vector<std::pair<QString, QString>> m_indexes;
    Statement m_holder;
    Statement m_record;
};

// An empty server database, filled in one transaction: the tables are made in it too, so a
// failure leaves the database as empty as it was.
class ServerSink : public Sink {
public:
    ServerSink(const QString& location, const Options& options) : m_location(location) {
        m_db = std::make_unique<Connection>(location, options.lockTimeoutMs);
        m_transaction = std::make_unique<Transaction>(*m_db, Transaction::Write);
        Schema::CreateOnServer(*m_db, PasswordHash::CheapestCost);
        m_db->run(QString::fromUtf8(Statements::RemoveAccounts));
    }

    ~ServerSink() override {
        if (m_copying) {
            // The rollback can only be sent once the stream is given up.
            PQputCopyEnd(m_db->server(), "import abandoned");
            while (pg_result* result = PQgetResult(m_db->server()))
                PQclear(result);
        }
        m_transaction.reset();
        m_db.reset();
    }

    void account(const QString& name, const QString& hash) override {
        addAccount(*m_db, name, hash);
    }

    void cardholder(const QString (&cells)[6]) override {
        if (!m_copying)
            startCopy(Statements::CopyCardholders);
        for (int i = 0; i < 6; ++i) {
            if (i > 0)
                m_buffer += '\t';
            put(cells[i].toUtf8());
        }
        m_buffer += '\n';
        flushIfFull();
    }

    void cardholdersDone() override {
        if (m_copying)
            endCopy();
    }

    void record(const QByteArray& cardNo, const char* date, std::int64_t amount) override {
        if (!m_copying)
            startCopy(Statements::CopyRecords);
        put(cardNo);
        m_buffer += '\t';
        m_buffer += date;
        m_buffer += '\t';
        m_buffer += QByteArray::number(qlonglong(amount));
        m_buffer += '\n';
        flushIfFull();
    }

    QString finish(const QString& account, const QString& details, const QDateTime& at,
                   const Options& options) override {
        if (m_copying)
            endCopy();
        Audit::Append(*m_db, account, Audit::ThisDesk(), Audit::LegacyImported, details, at);
        m_transaction->commit();
        m_transaction.reset();
        // The planner's figures for the new rows, so the first queries don't guess.
        m_db->run(QStringLiteral("ANALYZE"));
        m_db.reset();
        if (options.progress)
            options.progress(0, 0);
        return Schema::CheckDatabase(m_location, options.lockTimeoutMs);
    }

private:
    static constexpr qsizetype FlushAt = 1 << 20;

    [[noreturn]] void fail(pg_result* result = nullptr) {
        const char* primary =
            result ? PQresultErrorField(result, PG_DIAG_MESSAGE_PRIMARY) : nullptr;
        QString why = QString::fromUtf8(primary ? primary : PQerrorMessage(m_db->server()));
        PQclear(result);
        throw DataError(-1, why.trimmed());
    }

    void startCopy(const char* sql) {
        pg_result* result = PQexec(m_db->server(), sql);
        if (PQresultStatus(result) != PGRES_COPY_IN)
            fail(result);
        PQclear(result);
        m_copying = true;
    }

    // COPY's text form: tab between values, a line a row, backslash escapes.
    void put(const QByteArray& value) {
        for (const char c : value) {
            switch (c) {
            case '\\':
                m_buffer += "\\\\";
                break;
            case '\t':
                m_buffer += "\\t";
                break;
            case '\n':
                m_buffer += "\\n";
                break;
            case '\r':
                m_buffer += "\\r";
                break;
            default:
                m_buffer += c;
            }
        }
    }

    void flushIfFull() {
        if (m_buffer.size() >= FlushAt)
            flush();
    }

    void flush() {
        if (!m_buffer.isEmpty() &&
            PQputCopyData(m_db->server(), m_buffer.constData(), int(m_buffer.size())) != 1)
            fail();
        m_buffer.clear();
    }

    void endCopy() {
        flush();
        m_copying = false;
        if (PQputCopyEnd(m_db->server(), nullptr) != 1)
            fail();
        pg_result* failed = nullptr;
        while (pg_result* result = PQgetResult(m_db->server())) {
            if (PQresultStatus(result) != PGRES_COMMAND_OK && !failed)
                failed = result;
            else
                PQclear(result);
        }
        if (failed)
            fail(failed);
    }

    QString m_location;
    std::unique_ptr<Connection> m_db;
    std::unique_ptr<Transaction> m_transaction;
    QByteArray m_buffer;
    bool m_copying = false;
};

// ---- The tables -------------------------------------------------------------------------------

struct Holder {
    qint64 row = 0;
    QString cells[6];
    QString original; // 卡号 as read
    bool imported = false;
};

class Importer {
public:
    Importer(const QString& source, const QString& target, const Options& options)
        : m_source(source), m_target(target), m_options(options) {}

    Result run();

private:
    QString readAccounts(const LegacyFile& file);
    QString readCardholders(const LegacyFile& file);
    void claimCardNumbers();
    QString importRecords(LegacyFile::Table& table, Sink& sink);
    void progress(qint64 step) {
        m_done += step;
        if (m_options.progress)
            m_options.progress(int(std::min<qint64>(m_done, m_total)), int(m_total));
    }

    QString m_source, m_target;
    Options m_options;
    Report m_report;
    Findings m_findings;
    std::vector<QString> m_accountPasswords; // of the seven, in their order
    std::vector<Holder> m_holders;
    QSet<QString> m_holderCards;
    qint64 m_done = 0;
    qint64 m_total = 0;
};

QString Importer::readAccounts(const LegacyFile& file) {
    QString problem;
    std::unique_ptr<LegacyFile::Table> table = file.table(Permission, &problem);
    const int nameColumn = table ? table->column(Schema::AccountColumns[0]) : -1;
    const int passwordColumn = table ? table->column(Schema::AccountColumns[1]) : -1;
    std::optional<std::vector<AccountRow>> rows;
    if (table && nameColumn >= 0 && passwordColumn >= 0) {
        rows.emplace();
        std::vector<Cell> cells;
        while (table->next(&cells)) {
            const Cell& password = cells[size_t(passwordColumn)];
            QString text = textOf(password);
            rows->push_back({textOf(cells[size_t(nameColumn)]), text,
                             password.lost > 0 || text.contains(QChar(0))});
        }
        if (!table->problem().isEmpty())
            return Permission + QStringLiteral("：") + table->problem();
        if (qint64(rows->size()) < table->statedRows())
            return Messages::LegacyRowsChanged(Permission, table->statedRows(),
                                               qint64(rows->size()));
    }
    QStringList notes;
    m_accountPasswords = SevenPasswords(rows, &notes, &m_report.accounts);
    for (const QString& note : notes)
        m_findings.accounts.add(AccountsTable, 0, note);
    return {};
}

QString Importer::readCardholders(const LegacyFile& file) {
    QString problem;
    std::unique_ptr<LegacyFile::Table> table = file.table(Userecord, &problem);
    if (!table)
        return problem;
    const QStringList& names = Schema::CardholderColumns;
    int at[6];
    for (int i = 0; i < 6; ++i)
        at[i] = table->column(names[i]);
    if (at[1] < 0)
        return Messages::LegacyColumnMissing(Userecord, names[1]);
    for (int i = 0; i < 6; ++i)
        if (at[i] < 0)
            m_findings.repairs.add(CardholdersTable, 0,
                                   Messages::ColumnMissingStoredEmpty(Userecord, names[i]));
    for (const LegacyFile::Column& column : table->columns())
        if (!names.contains(column.name, Qt::CaseInsensitive))
            m_findings.notes.add(CardholdersTable, 0,
                                 Messages::ColumnNotImported(Userecord, column.name));
    std::vector<Cell> cells;
    m_holders.reserve(size_t(std::max<qint64>(0, table->statedRows())));
    while (table->next(&cells)) {
        Holder holder;
        holder.row = qint64(m_holders.size()) + 1;
        for (int i = 0; i < 6; ++i)
            if (at[i] >= 0)
                holder.cells[i] = storedText(cells[size_t(at[i])], CardholdersTable, Userecord,
                                             holder.row, names[i], &m_findings);
        holder.original = holder.cells[1];
        m_holders.push_back(std::move(holder));
        if (m_holders.size() % ProgressEvery == 0)
            progress(ProgressEvery);
    }
    progress(qint64(m_holders.size() % ProgressEvery));
    if (!table->problem().isEmpty())
        return Userecord + QStringLiteral("：") + table->problem();
    // A page the library could not read ends its walk early, as if the table ended there.
    if (qint64(m_holders.size()) < table->statedRows())
        return Messages::LegacyRowsChanged(Userecord, table->statedRows(),
                                           qint64(m_holders.size()));
    m_report.cardholders.read = qint64(m_holders.size());
    return {};
}

void Importer::claimCardNumbers() {
    QStringList numbers;
    for (const Holder& h : m_holders)
        numbers << h.original;
    const std::vector<CardNoClaim> claims = ClaimCardNumbers(numbers);
    for (size_t i = 0; i < m_holders.size(); ++i) {
        Holder& h = m_holders[i];
        const CardNoClaim& claim = claims[i];
        const auto line = [&](const QString& what) {
            return Messages::LegacyRow(Userecord, h.row, what);
        };
        if (claim.duplicateOf) {
            const QString values = Messages::CardholderDetail(h.cells[0], h.original, h.cells[2],
                                                              h.cells[3], h.cells[4], h.cells[5]);
            m_findings.setAside.add(
                CardholdersTable, h.row,
                line(Messages::SetAsideDuplicate(h.original, claim.duplicateOf, values)));
            ++m_report.cardholders.setAside;
            continue;
        }
        h.cells[1] = claim.stored;
        h.imported = true;
        m_holderCards.insert(claim.stored);
        if (claim.repaired)
            m_findings.repairs.add(CardholdersTable, h.row,
                                   line(Messages::RepairCardNo(h.original, claim.stored)));
        else if (claim.collidesWith)
            m_findings.notes.add(CardholdersTable, h.row,
                                 line(Messages::FlagCardNoCollides(
                                     h.original, RepairedCardNo(h.original), claim.collidesWith)));
        else if (!IsCardNumber(claim.stored))
            m_findings.notes.add(CardholdersTable, h.row, line(Messages::FlagCardNo(h.original)));
    }
    m_report.cardholders.imported = m_holderCards.size();
}

QString Importer::importRecords(LegacyFile::Table& table, Sink& sink) {
    const QStringList& names = Schema::RecordColumns;
    const int cardAt = table.column(names[0]);
    const int dateAt = table.column(names[1]);
    const int amountAt = table.column(names[2]);
    for (int i = 0; i < 3; ++i)
        if (table.column(names[i]) < 0)
            return Messages::LegacyColumnMissing(Employees, names[i]);
    for (const LegacyFile::Column& column : table.columns())
        if (!names.contains(column.name, Qt::CaseInsensitive))
            m_findings.notes.add(RecordsTable, 0,
                                 Messages::ColumnNotImported(Employees, column.name));
    std::vector<Cell> cells;
    QSet<QString> cardsWithoutHolder;
    QString lastCard;
    bool lastHasHolder = true;
    QByteArray cardBytes;
    char date[20];
    qint64 row = 0;
    while (table.next(&cells)) {
        ++row;
        if (row % ProgressEvery == 0)
            progress(ProgressEvery);
        const Cell& cardCell = cells[size_t(cardAt)];
        // Most records' card numbers need nothing: read them without the repairs' detours.
        QString card =
            cardCell.kind == Kind::Text && cardCell.lost == 0 && IsCardNumber(cardCell.text)
                ? cardCell.text
                : storedText(cardCell, RecordsTable, Employees, row, names[0], &m_findings);
        const QString asRead = card;
        if (!IsCardNumber(card)) {
            const QString repaired = CardNumberFromTyped(card);
            if (!repaired.isEmpty()) {
                m_findings.repairs.add(
                    RecordsTable, row,
                    Messages::LegacyRow(Employees, row, Messages::RepairCardNo(card, repaired)));
                card = repaired;
            } else if (cardCell.kind != Kind::Null) {
                m_findings.notes.add(
                    RecordsTable, row,
                    Messages::LegacyRow(Employees, row, Messages::FlagCardNo(card)));
            }
        }
        // The date.
        const Cell& dateCell = cells[size_t(dateAt)];
        QString aside;
        const auto values = [&] {
            return Messages::RecordValues(asRead, textOf(dateCell),
                                          textOf(cells[size_t(amountAt)]));
        };
        if (dateCell.kind == Kind::DateTime) {
            if (!AccessDateText(dateCell.real, date))
                aside = Messages::SetAsideBadDate(textOf(dateCell), values());
        } else if (dateCell.kind == Kind::Text) {
            const QString text = dateFromText(dateCell.text);
            if (text.isEmpty()) {
                aside = Messages::SetAsideBadDate(dateCell.text, values());
            } else {
                if (text != dateCell.text)
                    m_findings.repairs.add(
                        RecordsTable, row,
                        Messages::LegacyRow(Employees, row,
                                            Messages::RepairDate(dateCell.text, text)));
                std::memcpy(date, text.toLatin1().constData(), 20);
            }
        } else if (dateCell.kind == Kind::Null) {
            aside = Messages::SetAsideNoDate(values());
        } else {
            aside = Messages::SetAsideBadDate(textOf(dateCell), values());
        }
        // The amount.
        const Cell& amountCell = cells[size_t(amountAt)];
        std::int64_t amount = 0;
        if (aside.isEmpty()) {
            bool whole = true;
            switch (amountCell.kind) {
            case Kind::Integer:
                amount = amountCell.integer;
                break;
            case Kind::Real:
                whole = std::trunc(amountCell.real) == amountCell.real &&
                        std::fabs(amountCell.real) < 9.0e15;
                amount = whole ? std::int64_t(amountCell.real) : 0;
                break;
            case Kind::Text: {
                const QString text = amountCell.text.trimmed();
                qlonglong value = text.toLongLong(&whole, 10);
                amount = value;
                break;
            }
            case Kind::Null:
                aside = Messages::SetAsideNoAmount(values());
                break;
            case Kind::DateTime:
                whole = false;
                break;
            }
            if (aside.isEmpty() && !whole)
                aside = Messages::SetAsideBadAmount(textOf(amountCell), values());
        }
        if (!aside.isEmpty()) {
            m_findings.setAside.add(RecordsTable, row, Messages::LegacyRow(Employees, row, aside));
            ++m_report.records.setAside;
            continue;
        }
        if (amount > ReaderLimit || amount < -ReaderLimit)
            m_findings.notes.add(
                RecordsTable, row,
                Messages::LegacyRow(Employees, row,
                                    Messages::AmountBeyondReader(
                                        amount, amount >= QuerySumsFrom && amount <= QuerySumsTo)));
        if (card != lastCard) {
            lastCard = card;
            cardBytes = card.toUtf8();
            lastHasHolder = m_holderCards.contains(card);
        }
        if (!lastHasHolder) {
            ++m_report.recordsWithoutHolder;
            cardsWithoutHolder.insert(card);
        }
        sink.record(cardBytes, date, amount);
        ++m_report.records.imported;
        const int year =
            (date[0] - '0') * 1000 + (date[1] - '0') * 100 + (date[2] - '0') * 10 + (date[3] - '0');
        Sum& sum = m_report.years[year];
        ++sum.records;
        sum.amount += amount;
        ++m_report.all.records;
        m_report.all.amount += amount;
    }
    progress(row % ProgressEvery);
    if (!table.problem().isEmpty())
        return Employees + QStringLiteral("：") + table.problem();
    if (row < table.statedRows())
        return Messages::LegacyRowsChanged(Employees, table.statedRows(), row);
    m_report.records.read = row;
    m_report.cardsWithoutHolder = cardsWithoutHolder.size();
    return {};
}

Result Importer::run() {
    Result result;
    Report& report = m_report;
    report.source = QFileInfo(m_source).absoluteFilePath();
    report.target = shownLocation(m_target);
    report.at = m_options.at.isValid() ? m_options.at : QDateTime::currentDateTime();
    const auto failed = [&](const QString& problem) {
        result.problem = problem;
        result.report = m_report;
        return result;
    };
    if (!QFileInfo(m_source).isFile())
        return failed(Messages::DoesNotExist(m_source));
    if (!LegacyFile::IsAccessFile(m_source))
        return failed(Messages::NotAnAccessFile(m_source));
    const bool server = EngineOf(m_target) == Engine::Postgres;
    if (!server && QFileInfo::exists(m_target))
        return failed(Messages::TargetExists(m_target));
    QString problem;
    report.sha256 = sha256Of(m_source, &problem);
    if (!problem.isEmpty())
        return failed(problem);
    LegacyFile file;
    problem = file.open(m_source);
    if (!problem.isEmpty())
        return failed(problem);
    report.format = file.format();
    std::unique_ptr<LegacyFile::Table> records = file.table(Employees, &problem);
    if (!records)
        return failed(problem);
    {
        std::unique_ptr<LegacyFile::Table> holders = file.table(Userecord, &problem);
        if (!holders)
            return failed(problem);
        m_total = holders->statedRows() + records->statedRows();
    }
    if (problem = readAccounts(file); !problem.isEmpty())
        return failed(problem);
    if (problem = readCardholders(file); !problem.isEmpty())
        return failed(problem);
    claimCardNumbers();

    try {
        // The target first: a refusal there comes before the passwords' long hashing.
        std::unique_ptr<Sink> sink;
        if (server)
            sink = std::make_unique<ServerSink>(m_target, m_options);
        else
            sink = std::make_unique<FileSink>(m_target, m_options);
        QElapsedTimer hashing;
        hashing.start();
        const std::vector<QString> hashes =
            PasswordHash::HashAll(m_accountPasswords, m_options.passwordCost);
        report.hashSeconds = double(hashing.nsecsElapsed()) / 1e9;
        for (const QString& hash : hashes)
            if (hash.isEmpty())
                return failed(Messages::PasswordHashFailed());
        for (qsizetype i = 0; i < Schema::AccountNames.size(); ++i)
            sink->account(Schema::AccountNames[i], hashes[size_t(i)]);
        for (const Holder& h : m_holders)
            if (h.imported)
                sink->cardholder(h.cells);
        sink->cardholdersDone();
        if (problem = importRecords(*records, *sink); !problem.isEmpty())
            return failed(problem);
        report.repairs = m_findings.repairs.sorted();
        report.setAside = m_findings.setAside.sorted();
        report.notes = m_findings.notes.sorted();
        if (report.recordsWithoutHolder > 0)
            report.notes << Messages::RecordsWithoutHolder(report.recordsWithoutHolder,
                                                           report.cardsWithoutHolder);
        report.accountNotes = m_findings.accounts.sorted();
        const QString details = Messages::LegacyImportDetails(
            report.source, report.sha256, report.cardholders.imported, report.records.imported,
            report.records.setAside, report.accounts.imported);
        problem = sink->finish(m_options.account, details, report.at, m_options);
    } catch (const DataError& e) {
        problem = e.description();
    }
    return failed(problem);
}

} // namespace

QString RepairedCardNo(const QString& text) {
    return CardNumberFromTyped(text);
}

std::vector<CardNoClaim> ClaimCardNumbers(const QStringList& cardNos) {
    std::vector<CardNoClaim> claims(size_t(cardNos.size()));
    QHash<QString, qint64> taken; // number -> row
    // As read first: those that need no repair, and those no repair makes a card number.
    for (qsizetype i = 0; i < cardNos.size(); ++i) {
        const QString repaired = CardNumberFromTyped(cardNos[i]);
        if (!repaired.isEmpty() && repaired != cardNos[i])
            continue;
        CardNoClaim& claim = claims[size_t(i)];
        claim.stored = cardNos[i];
        if (taken.contains(cardNos[i]))
            claim.duplicateOf = taken.value(cardNos[i]);
        else
            taken.insert(cardNos[i], i + 1);
    }
    for (qsizetype i = 0; i < cardNos.size(); ++i) {
        const QString repaired = CardNumberFromTyped(cardNos[i]);
        if (repaired.isEmpty() || repaired == cardNos[i])
            continue;
        CardNoClaim& claim = claims[size_t(i)];
        if (!taken.contains(repaired)) {
            claim.stored = repaired;
            claim.repaired = true;
        } else if (!taken.contains(cardNos[i])) {
            claim.stored = cardNos[i];
            claim.collidesWith = taken.value(repaired);
        } else {
            claim.stored = cardNos[i];
            claim.duplicateOf = taken.value(cardNos[i]);
            continue;
        }
        taken.insert(claim.stored, i + 1);
    }
    return claims;
}

std::vector<QString> SevenPasswords(const std::optional<std::vector<AccountRow>>& rows,
                                    QStringList* notes, TableCount* count) {
    const QStringList& names = Schema::AccountNames;
    const QString& delivered = Schema::DeliveredPassword;
    std::vector<QString> passwords(size_t(names.size()), delivered);
    TableCount counted;
    counted.imported = names.size();
    if (!rows) {
        *notes << Messages::AccountsTableMissing(delivered);
        if (count)
            *count = counted;
        return passwords;
    }
    std::vector<qint64> foundAt(size_t(names.size()), 0);
    std::vector<int> order; // of the seven, as the file lists them
    for (size_t r = 0; r < rows->size(); ++r) {
        const AccountRow& account = (*rows)[r];
        const qint64 row = qint64(r) + 1;
        ++counted.read;
        qsizetype which = names.indexOf(account.name);
        if (which < 0 && (which = names.indexOf(account.name.trimmed())) >= 0 &&
            !foundAt[size_t(which)])
            *notes << Messages::AccountNameTrimmed(row, account.name, names[which]);
        if (which < 0) {
            *notes << Messages::AccountExtra(row, account.name);
            ++counted.setAside;
            continue;
        }
        if (foundAt[size_t(which)]) {
            *notes << Messages::AccountDuplicate(row, names[which], foundAt[size_t(which)]);
            ++counted.setAside;
            continue;
        }
        foundAt[size_t(which)] = row;
        order.push_back(int(which));
        if (account.unreadable) {
            *notes << Messages::AccountPasswordLost(names[which], delivered);
        } else if (account.password.isEmpty()) {
            // The login refuses an empty password, so the account could never be used again,
            // nor its password changed, which asks for the old one.
            *notes << Messages::AccountWithoutPassword(names[which], delivered);
        } else {
            passwords[size_t(which)] = account.password;
        }
    }
    for (qsizetype i = 0; i < names.size(); ++i)
        if (!foundAt[size_t(i)])
            *notes << Messages::AccountMissing(names[i], delivered);
    if (!std::is_sorted(order.begin(), order.end()))
        *notes << Messages::AccountsReordered(names.join(QStringLiteral("、")));
    if (count)
        *count = counted;
    return passwords;
}

Result Import(const QString& source, const QString& target, const Options& options) {
    return Importer(source, target, options).run();
}

QString ReportText(const Report& r) {
    QStringList lines;
    const auto section = [&](const QString& heading, const QStringList& items) {
        lines << QString() << heading;
        if (items.isEmpty())
            lines << QStringLiteral("  ") + Messages::NoneWord();
        for (const QString& item : items)
            lines << QStringLiteral("  ") + item;
    };
    lines << Messages::ImportReportTitle()
          << Messages::ImportReportHead(r.source, r.format, r.sha256, r.target,
                                        r.at.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
    section(Messages::ImportTablesHeading(),
            {Messages::ImportTableLine(Userecord, Messages::CardholdersWord(), r.cardholders.read,
                                       r.cardholders.imported, r.cardholders.setAside),
             Messages::ImportTableLine(Employees, Messages::RecordsWord(), r.records.read,
                                       r.records.imported, r.records.setAside),
             Messages::ImportTableLine(Permission, Messages::AccountsWord(), r.accounts.read,
                                       r.accounts.imported, r.accounts.setAside)});
    QStringList years;
    for (const auto& [year, sum] : r.years)
        years << Messages::ImportYearLine(year, sum.records, sum.amount);
    years << Messages::ImportAllLine(r.all.records, r.all.amount);
    section(Messages::ImportYearsHeading(), years);
    section(Messages::ImportAccountsHeading(), r.accountNotes.isEmpty()
                                                   ? QStringList{Messages::AccountsAsTheyWere()}
                                                   : r.accountNotes);
    section(Messages::ImportRepairsHeading(), r.repairs);
    section(Messages::ImportNotesHeading(), r.notes);
    section(Messages::ImportSetAsideHeading(), r.setAside);
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

QString ReportPath(const QString& target) {
    const QString name = QStringLiteral("import-report.txt");
    if (EngineOf(target) == Engine::Postgres)
        return QDir::current().filePath(name);
    return QFileInfo(target).absoluteDir().filePath(name);
}

QString WriteReport(const QString& path, const QString& text) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || !PrivateFile::Restrict(file) ||
        file.write(text.toUtf8()) < 0 || !file.commit())
        return Messages::CannotWrite(path);
    return {};
}

} // namespace LegacyImport

} // namespace velkar
