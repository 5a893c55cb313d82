#pragma once

#include <QString>

#include <cstdint>
#include <optional>

namespace velkar {

class Connection;

// One row of the cardholder table.
struct Cardholder {
    QString cardSerial; // 卡序号
    QString cardNo;     // 卡号, the key
    QString name;       // 姓名
    QString idNumber;   // 身份证
    QString phone;      // 电话
    QString address;    // 地址

    // Every column, named: what the audit trail keeps of a cardholder.
    QString DetailText() const;
};

// The cardholder table's writes, each one statement; they raise DataError, a 卡号 another row
// has as DataFailure::Constraint. The caller holds the transaction.
std::optional<Cardholder> ReadCardholder(const Connection& connection, const QString& cardNo);
void AddCardholder(const Connection& connection, const Cardholder& holder);
// Every column of the row of `cardNo`; false when there is none.
bool ChangeCardholder(const Connection& connection, const QString& cardNo,
                      const Cardholder& holder);
bool DeleteCardholder(const Connection& connection, const QString& cardNo);

// The one rule for a card number wherever one is typed or brought in: exactly eight hexadecimal
// digits, upper case, as the reader reports a card.
bool IsCardNumber(const QString& text);
// The card number a typed text stands for: blanks around it, lower case and full-width
// characters are plain slips and are mended. Empty when it stands for none.
QString CardNumberFromTyped(const QString& typed);

// The cardholder of the card on the reader, as the desk's panel holds it.
enum HolderState : std::uint8_t {
    HolderNone = 0,     // nothing to save
    HolderExisting = 1, // the card has its row
    HolderNew = 2,      // the card has no row yet
};

struct CardholderLookup {
    bool ok = false; // false: the store failed; the holder is unknown
    HolderState state = HolderNone;
    Cardholder holder; // the row found, or only the card number
    bool lost = false; // the ledger has the card marked lost
};

// Looks the card's holder up on an open connection. A store failure gives ok = false.
CardholderLookup FindCardholder(const Connection& connection, const QString& cardNo);

} // namespace velkar
