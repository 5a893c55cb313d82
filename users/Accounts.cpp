#include "users/Accounts.h"

#include "base/Messages.h"
#include "base/Settings.h"
#include "data/AdoConn.h"
#include "data/Audit.h"
#include "data/PasswordHash.h"
#include "data/Text.h"

#include <QCryptographicHash>
#include <QFileInfo>

namespace velkar {

namespace {
const QString PasswordColumn = QStringLiteral("密码");

// The refusals a login and a password change share.
template <typename Outcome> QString sharedMessage(Outcome outcome) {
    switch (outcome) {
    case Outcome::EmptyName:
        return Messages::NameEmpty();
    case Outcome::EmptyPassword:
        return Messages::PasswordEmpty();
    case Outcome::UnstorableText:
        return UnstorableTextMessage;
    case Outcome::Failed:
        return Messages::OperationFailed();
    default:
        return {};
    }
}
} // namespace

LoginOutcome CheckLogin(Dialogs* dialogs, const QString& name, const QString& password,
                        const QString& databasePath) {
    if (name.isEmpty())
        return LoginOutcome::EmptyName;
    if (password.isEmpty())
        return LoginOutcome::EmptyPassword;
    if (!IsStorableText(name) || !IsStorableText(password))
        return LoginOutcome::UnstorableText;
    try {
        CAdoConn conn(dialogs, databasePath);
        conn.OpenConnection();
        // The store holds a salted hash, so no statement can match the password itself: the
        // account is found by name and the typed password checked against its hash, exactly.
        RecordsetPtr rs = conn.OpenRecordset(Statements::AccountByName, {name});
        LoginOutcome outcome = LoginOutcome::Success;
        if (rs->IsEOF())
            outcome = LoginOutcome::NoSuchUser;
        else if (!PasswordHash::Verify(rs->GetCollect(PasswordColumn), password))
            outcome = LoginOutcome::WrongPassword;
        conn.CloseRecordset();
        // The name tried is kept also when refused: repeated refusals are what a trail is for.
        // A file that can't take the entry still lets the right password in.
        try {
            Audit::Append(*conn.connection(), name, Audit::ThisDesk(),
                          outcome == LoginOutcome::Success ? Audit::Login : Audit::LoginRefused,
                          LoginMessage(outcome));
        } catch (const DataError&) {
        }
        conn.CloseConnection();
        return outcome;
    } catch (const DataError&) {
        return LoginOutcome::Failed;
    }
}

QString LoginMessage(LoginOutcome outcome) {
    switch (outcome) {
    case LoginOutcome::NoSuchUser:
        return Messages::NoSuchUser();
    case LoginOutcome::WrongPassword:
        return Messages::WrongPassword();
    default:
        return sharedMessage(outcome);
    }
}

namespace {

// The key of a stored hash's verdict: its text, with the password it was tried against, so a
// verdict never answers for another password.
QString triedKey(const QString& stored) {
    QCryptographicHash digest(QCryptographicHash::Sha256);
    digest.addData(Schema::DeliveredPassword.toUtf8());
    digest.addData(QByteArrayView("\0", 1));
    digest.addData(stored.toLatin1());
    return QString::fromLatin1(digest.result().toHex());
}

// Verdicts beyond these are the oldest, of hashes long replaced.
constexpr qsizetype KeptVerdicts = 64;

void keep(QStringList& list, const QString& key) {
    if (list.contains(key))
        return;
    list << key;
    if (list.size() > KeptVerdicts)
        list.remove(0, list.size() - KeptVerdicts);
}

// Whether each of `hashes` is one of the delivered password: from the verdicts `settings` keep
// where there is one, else tried, a slow hash each, and kept. `wholeList`: these are all the
// accounts' hashes, and the verdicts of no others are kept.
std::vector<bool> holdDelivered(Settings* settings, const std::vector<QString>& hashes,
                                bool wholeList) {
    const Settings::TriedPasswords kept =
        settings ? settings->triedPasswords() : Settings::TriedPasswords{};
    std::vector<bool> held(hashes.size(), false);
    std::vector<QString> keys(hashes.size());
    std::vector<QString> untried;
    std::vector<size_t> untriedAt;
    for (size_t i = 0; i < hashes.size(); ++i) {
        keys[i] = triedKey(hashes[i]);
        if (kept.delivered.contains(keys[i])) {
            held[i] = true;
        } else if (!kept.other.contains(keys[i])) {
            untried.push_back(hashes[i]);
            untriedAt.push_back(i);
        }
    }
    const std::vector<PasswordHash::Verdict> verdicts =
        PasswordHash::CheckAll(untried, Schema::DeliveredPassword);
    std::vector<bool> known(hashes.size(), true);
    for (size_t j = 0; j < untried.size(); ++j) {
        held[untriedAt[j]] = verdicts[j] == PasswordHash::Verdict::Matches;
        // Not told (no memory, a damaged text): tried again next time, never kept as changed.
        known[untriedAt[j]] = verdicts[j] != PasswordHash::Verdict::Unknown;
    }
    if (!settings)
        return held;
    Settings::TriedPasswords now = wholeList ? Settings::TriedPasswords{} : kept;
    for (size_t i = 0; i < hashes.size(); ++i)
        if (known[i])
            keep(held[i] ? now.delivered : now.other, keys[i]);
    if (!(now == kept))
        settings->setTriedPasswords(now);
    return held;
}

bool deliveredPasswordChanged(Settings* settings, const QString& name,
                              const QString& databasePath) {
    QString hash;
    try {
        // A locked file is not waited out: the window would open that much later.
        const Connection db(databasePath, 1000);
        Query stored(db, QString::fromUtf8(Statements::AccountPassword));
        stored.bind(1, name);
        if (!stored.next())
            return false;
        hash = stored.text(0);
    } catch (const DataError&) {
        return false;
    }
    return !holdDelivered(settings, {hash}, false).front();
}

QStringList accountsWithDeliveredPassword(Settings* settings, const QString& databasePath) {
    QStringList names;
    std::vector<QString> hashes;
    try {
        const Connection db(databasePath, 1000);
        Query accounts(db, QString::fromUtf8(Statements::AccountList));
        while (accounts.next()) {
            names << accounts.text(0);
            hashes.push_back(accounts.text(1));
        }
    } catch (const DataError&) {
        return {};
    }
    const std::vector<bool> delivered = holdDelivered(settings, hashes, true);
    QStringList still;
    for (qsizetype i = 0; i < names.size(); ++i)
        if (delivered[size_t(i)])
            still << names[i];
    return still;
}

QStringList recordDeliveredPasswords(Settings* settings, const QString& account,
                                     const QString& databasePath) {
    const QStringList still = accountsWithDeliveredPassword(settings, databasePath);
    if (!still.isEmpty())
        Audit::AppendTo(databasePath, account, Audit::DeliveredPasswords,
                        Messages::DeliveredPasswordsDetail(still));
    return still;
}

} // namespace

bool DeliveredPasswordChanged(const QString& name, const QString& databasePath) {
    return deliveredPasswordChanged(nullptr, name, databasePath);
}

bool DeliveredPasswordChanged(Settings& settings, const QString& name,
                              const QString& databasePath) {
    return deliveredPasswordChanged(&settings, name, databasePath);
}

QStringList AccountsWithDeliveredPassword(const QString& databasePath) {
    return accountsWithDeliveredPassword(nullptr, databasePath);
}

QStringList AccountsWithDeliveredPassword(Settings& settings, const QString& databasePath) {
    return accountsWithDeliveredPassword(&settings, databasePath);
}

QStringList RecordDeliveredPasswords(const QString& account, const QString& databasePath) {
    return recordDeliveredPasswords(nullptr, account, databasePath);
}

QStringList RecordDeliveredPasswords(Settings& settings, const QString& account,
                                     const QString& databasePath) {
    return recordDeliveredPasswords(&settings, account, databasePath);
}

PasswordOutcome ChangePassword(Dialogs* dialogs, const QString& by, const QString& name,
                               const QString& oldPassword, const QString& newPassword,
                               const QString& repeatPassword, const QString& databasePath) {
    if (name.isEmpty())
        return PasswordOutcome::EmptyName;
    if (oldPassword.isEmpty() || newPassword.isEmpty() || repeatPassword.isEmpty())
        return PasswordOutcome::EmptyPassword;
    if (!IsStorableText(name) || !IsStorableText(oldPassword) || !IsStorableText(newPassword) ||
        !IsStorableText(repeatPassword))
        return PasswordOutcome::UnstorableText;
    if (newPassword != repeatPassword)
        return PasswordOutcome::RepeatDiffers;
    if (name == AdministratorName && newPassword == Schema::DeliveredPassword)
        return PasswordOutcome::NewIsDelivered;
    // Hashed before the store is touched: it takes a while and may fail for want of memory.
    const QString newHash = PasswordHash::Hash(newPassword);
    if (newHash.isEmpty())
        return PasswordOutcome::Failed;
    try {
        CAdoConn conn(dialogs, databasePath);
        conn.OpenConnection();
        RecordsetPtr rs = conn.OpenRecordset(Statements::AccountByName, {name});
        if (rs->IsEOF())
            return PasswordOutcome::WrongOldPassword;
        const QString confirmed = rs->GetCollect(PasswordColumn);
        if (!PasswordHash::Verify(confirmed, oldPassword))
            return PasswordOutcome::WrongOldPassword;
        // The new password and its trail entry commit together. Another desk may have changed
        // the password while this one was confirmed: the old one no longer is the old one.
        Transaction write(*conn.connection(), Transaction::Write);
        {
            Query now(*conn.connection(), QString::fromUtf8(Statements::AccountPassword));
            now.bind(1, name);
            if (!now.next() || now.text(0) != confirmed)
                return PasswordOutcome::WrongOldPassword;
            now.reset();
            Query change(*conn.connection(), QString::fromUtf8(Statements::SetAccountPassword));
            change.bind(1, name);
            change.bind(2, newHash);
            change.next();
            Audit::Append(*conn.connection(), by.isEmpty() ? name : by, Audit::ThisDesk(),
                          Audit::PasswordChanged, Messages::AccountDetail(name));
            write.commit();
        }
        conn.CloseRecordset();
        conn.CloseConnection();
    } catch (const DataError&) {
        return PasswordOutcome::Failed;
    }
    return PasswordOutcome::Changed;
}

QString PasswordMessage(PasswordOutcome outcome) {
    switch (outcome) {
    case PasswordOutcome::Changed:
        return Messages::ChangeDone();
    case PasswordOutcome::RepeatDiffers:
        return Messages::RepeatDiffers();
    case PasswordOutcome::WrongOldPassword:
        return Messages::WrongOldPassword();
    case PasswordOutcome::NewIsDelivered:
        return Messages::NewPasswordIsDelivered(Schema::DeliveredPassword);
    default:
        return sharedMessage(outcome);
    }
}

namespace {

// The ledger a kept mark belongs to: a server's URI, a file by its full path.
QString ledgerOf(const QString& location) {
    return EngineOf(location) == Engine::Postgres ? location
                                                  : QFileInfo(location).absoluteFilePath();
}

// One read transaction: another desk appending meanwhile is not taken for deleted entries.
QString chainProblem(const QString& databasePath, const Audit::Checkpoint& checked,
                     Audit::Checkpoint* head) {
    try {
        const Connection db(databasePath);
        const Transaction read(db, Transaction::Read);
        if (const auto broken = Audit::VerifySince(db, checked, head))
            return broken->text;
    } catch (const DataError&) {
        *head = {};
    }
    return {};
}

} // namespace

QString AuditChainProblem(const QString& databasePath) {
    Audit::Checkpoint head;
    return chainProblem(databasePath, {}, &head);
}

QString AuditChainProblem(Settings& settings, const QString& databasePath) {
    const Settings::CheckedTrail kept = settings.checkedTrail();
    Audit::Checkpoint checked;
    if (kept.id > 0 && kept.ledger == ledgerOf(databasePath))
        checked = {kept.id, kept.hash};
    Audit::Checkpoint head;
    const QString problem = chainProblem(databasePath, checked, &head);
    if (!problem.isEmpty())
        RememberCheckedTrail(settings, databasePath, nullptr);
    else if (head.id != checked.id || head.hash != checked.hash)
        RememberCheckedTrail(settings, databasePath, &head);
    return problem;
}

void RememberCheckedTrail(Settings& settings, const QString& databasePath,
                          const Audit::Checkpoint* head) {
    if (head && head->id > 0)
        settings.setCheckedTrail({ledgerOf(databasePath), head->id, head->hash});
    else if (settings.checkedTrail().id > 0)
        settings.setCheckedTrail({});
}

} // namespace velkar
