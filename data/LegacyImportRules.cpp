#include "data/LegacyImport.h"

#include "base/Messages.h"
#include "base/PrivateFile.h"
#include "data/Cardholder.h"
#include "data/Engine.h"
#include "data/LegacyValues.h"
#include "data/Schema.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QSaveFile>

#include <algorithm>
#include <vector>

namespace velkar::LegacyImport {

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

} // namespace velkar::LegacyImport
