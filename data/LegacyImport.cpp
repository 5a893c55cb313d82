#include "data/LegacyImport.h"

#include "base/Messages.h"
#include "base/PrivateFile.h"
#include "data/AdoConn.h"
#include "data/Audit.h"
#include "data/Cardholder.h"
#include "data/LegacyFile.h"
#include "data/LegacyImportSink.h"
#include "data/LegacyValues.h"
#include "data/Schema.h"
#include "data/Statements.h"

#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QUrl>

#include <algorithm>
#include <memory>
#include <optional>
#include <vector>

namespace velkar {

namespace LegacyImport {

namespace {

using Cell = LegacyFile::Cell;
using Kind = LegacyFile::Kind;

constexpr int ProgressEvery = 8192;
// A card's balance moves by at most 65535 tenths of a yuan.
constexpr std::int64_t ReaderLimit = 6553;
// The query window sums amounts of at most five characters.
constexpr std::int64_t QuerySumsFrom = -9999;
constexpr std::int64_t QuerySumsTo = 99999;

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
    void countRecord(const char* date, std::int64_t amount);
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
            QString text = CellText(password);
            rows->push_back({CellText(cells[size_t(nameColumn)]), text,
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
                holder.cells[i] = StoredText(cells[size_t(at[i])], CardholdersTable, Userecord,
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

void Importer::countRecord(const char* date, std::int64_t amount) {
    ++m_report.records.imported;
    const int year =
        (date[0] - '0') * 1000 + (date[1] - '0') * 100 + (date[2] - '0') * 10 + (date[3] - '0');
    Sum& sum = m_report.years[year];
    ++sum.records;
    sum.amount += amount;
    ++m_report.all.records;
    m_report.all.amount += amount;
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
        const Cell& dateCell = cells[size_t(dateAt)];
        const Cell& amountCell = cells[size_t(amountAt)];
        QString asRead;
        const QString card = RecordCard(cardCell, row, m_findings, &asRead);
        const RecordValues values{asRead, dateCell, amountCell};
        std::int64_t amount = 0;
        QString aside = RecordDate(dateCell, row, values, date, m_findings);
        if (aside.isEmpty())
            aside = RecordAmount(amountCell, values, &amount);
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
        countRecord(date, amount);
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
        const std::unique_ptr<Sink> sink = OpenSink(m_target, m_options);
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

Result Import(const QString& source, const QString& target, const Options& options) {
    return Importer(source, target, options).run();
}

} // namespace LegacyImport

} // namespace velkar
