#pragma once

#include "data/Cardholder.h"

#include <QString>
#include <QStringList>

#include <memory>

namespace velkar {

class Connection;
class DataError;
class TextTable;

// What a change of the archive came to.
struct ArchiveOutcome {
    enum Result {
        Done,
        Duplicate, // the 卡号 is another cardholder's
        NotFound,  // no cardholder has the 卡号 the change was for
        Failed,    // the store failed; `reason` says why in its own words
    };
    Result result = Failed;
    QString reason;

    bool ok() const { return result == Done; }
    static ArchiveOutcome From(const DataError& error);
};

// The text an outcome shows: "卡号重复警告", or "操作失败" with the store's reason; empty when
// done.
QString ArchiveMessage(const ArchiveOutcome& outcome);

// Cardholders listed by a search, or why it failed.
struct ArchiveSearch {
    ArchiveOutcome outcome;
    std::shared_ptr<TextTable> rows; // the six columns, in 卡号 order
};

// The cardholder archive on an open connection. Every change commits together with its audit
// entry, written in the name of `account`, or not at all. The archive window and the desk's
// panel both change cardholders through it.
class CardholderArchive {
public:
    CardholderArchive(const Connection& connection, QString account);

    ArchiveOutcome add(const Cardholder& holder);
    // The cardholder of `cardNo` takes every column of `holder`, its 卡号 included.
    ArchiveOutcome change(const QString& cardNo, const Cardholder& holder);
    ArchiveOutcome remove(const QString& cardNo);

    // Cardholders whose column `field` (one of SearchFields) holds exactly `text`; a card
    // number typed in lower case or with blanks finds the card as it is stored.
    ArchiveSearch search(const QString& field, const QString& text) const;
    static const QStringList& SearchFields();

private:
    const Connection& m_connection;
    QString m_account;
};

} // namespace velkar
