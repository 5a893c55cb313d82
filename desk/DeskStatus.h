#pragma once

#include <QSize>
#include <QString>

namespace velkar {

struct CardholderLookup;

// A recharge of this many yuan or more is confirmed before it is sent; a clear always is.
inline constexpr int ConfirmedRechargeYuan = 500;

// The question the desk asks before sending a command for the card `cardNo` holding `tenths`,
// or an empty text when the command needs none. `lookup` is the desk's latest cardholder
// lookup, which names the holder when it is this card's.
QString CommandQuestion(bool clear, int amount, const QString& cardNo, int tenths,
                        const CardholderLookup& lookup);

// What the desk's status bar says about its ledger: the database file's full path, or the
// server (host and port, or its socket folder) and the database of a postgresql:// URI. A
// password in the URI is never shown.
QString LedgerText(const QString& location);

// The size the desk opens with when none is remembered: large enough to read from a step back,
// within the screen's free area, never below what its controls need.
QSize DefaultDeskSize(const QSize& available, const QSize& minimum);

// A remembered size, fitted to the screen of today and to what the controls need.
QSize FittedDeskSize(const QSize& remembered, const QSize& available, const QSize& minimum);

} // namespace velkar
