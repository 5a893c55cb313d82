#pragma once

#include "data/Audit.h"
#include "data/Schema.h"

#include <QString>
#include <QStringList>

namespace velkar {

class Dialogs;
class Settings;

// The first of the accounts every database is made with.
inline const QString AdministratorName = Schema::AccountNames.front();

enum class LoginOutcome {
    Success,
    EmptyName,
    EmptyPassword,
    UnstorableText,
    NoSuchUser,
    WrongPassword,
    Failed
};

// The login check: the account's row by name, then the typed password against the stored hash,
// exactly, letter case included. Store failures are shown by the connection, then Failed.
LoginOutcome CheckLogin(Dialogs* dialogs, const QString& name, const QString& password,
                        const QString& databasePath = Schema::DatabaseLocation());

// The text a window shows for an outcome; empty for Success.
QString LoginMessage(LoginOutcome outcome);

// True once the account's password is no longer the one every database is delivered with (the
// one the login window offers); false while it is, and when the store can't tell (the login
// then says why). Shows no message and leaves no trail entry.
bool DeliveredPasswordChanged(const QString& name,
                              const QString& databasePath = Schema::DatabaseLocation());
// The same, answering from the verdicts `settings` keep on the stored hashes tried before (each
// takes a slow hash to try), and keeping the verdict of a hash tried now. So do the overloads
// below that take settings.
bool DeliveredPasswordChanged(Settings& settings, const QString& name,
                              const QString& databasePath = Schema::DatabaseLocation());

// The accounts that still hold the delivered password, in the list's order; empty when none
// does, or when the store can't tell.
QStringList AccountsWithDeliveredPassword(const QString& databasePath = Schema::DatabaseLocation());
QStringList AccountsWithDeliveredPassword(Settings& settings,
                                          const QString& databasePath = Schema::DatabaseLocation());

// At an administrator's login: the accounts that still hold the delivered password, also kept
// in the audit trail under `account` (nothing is written when there are none).
QStringList RecordDeliveredPasswords(const QString& account,
                                     const QString& databasePath = Schema::DatabaseLocation());
QStringList RecordDeliveredPasswords(Settings& settings, const QString& account,
                                     const QString& databasePath = Schema::DatabaseLocation());

enum class PasswordOutcome {
    Changed,
    EmptyName,
    EmptyPassword,
    UnstorableText,
    RepeatDiffers,
    NewIsDelivered, // the administrator's password may never be the delivered one again
    WrongOldPassword,
    Failed
};

// Sets the account's new password, hashed, once its current one is confirmed against the stored
// hash. The account's row is found by its name; `by` is who changes it (empty: the account).
PasswordOutcome ChangePassword(Dialogs* dialogs, const QString& by, const QString& name,
                               const QString& oldPassword, const QString& newPassword,
                               const QString& repeatPassword,
                               const QString& databasePath = Schema::DatabaseLocation());

QString PasswordMessage(PasswordOutcome outcome);

// Why the audit trail's chain is broken (the first entry changed, deleted or inserted by hand),
// or an empty text when it is intact or can't be read.
QString AuditChainProblem(const QString& databasePath = Schema::DatabaseLocation());

// The same, walking only the entries after the one `settings` keep as found intact in that
// ledger (all of them when they keep none for it, or that entry no longer carries its hash).
// An intact chain's newest entry is kept there for the next check; a broken one forgets it.
QString AuditChainProblem(Settings& settings,
                          const QString& databasePath = Schema::DatabaseLocation());

// Keeps in `settings` that the chain of the ledger at `databasePath` was found intact up to
// `head`; null (found broken, or not checked) forgets what they kept.
void RememberCheckedTrail(Settings& settings, const QString& databasePath,
                          const Audit::Checkpoint* head);

} // namespace velkar
