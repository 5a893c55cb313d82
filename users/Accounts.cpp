#include "users/Accounts.h"

#include "data/AdoConn.h"
#include "data/Audit.h"
#include "data/PasswordHash.h"
#include "data/Text.h"

bool g_isAdmin = false;
QString g_account;

namespace {
const QString PasswordColumn = QStringLiteral("密码");
const QString NameColumn = QStringLiteral("用户名");
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
        if (outcome == LoginOutcome::Success)
            g_account = name;
        return outcome;
    } catch (const DataError&) {
        return LoginOutcome::Failed;
    }
}

QString LoginMessage(LoginOutcome outcome) {
    switch (outcome) {
    case LoginOutcome::Success:
        return {};
    case LoginOutcome::EmptyName:
        return QStringLiteral("用户名不能为空");
    case LoginOutcome::EmptyPassword:
        return QStringLiteral("密码不能为空");
    case LoginOutcome::NoSuchUser:
        return QStringLiteral("用户名不存在！请重新输入！");
    case LoginOutcome::WrongPassword:
        return QStringLiteral("密码错误！请重新输入！");
    case LoginOutcome::UnstorableText:
        return UnstorableTextMessage;
    case LoginOutcome::Failed:
        return QStringLiteral("操作失败");
    }
    return {};
}

PasswordOutcome ChangePassword(Dialogs* dialogs, const QString& name, const QString& oldPassword,
                               const QString& newPassword, const QString& repeatPassword,
                               const QString& databasePath) {
    if (name.isEmpty())
        return PasswordOutcome::EmptyName;
    if (oldPassword.isEmpty() || newPassword.isEmpty() || repeatPassword.isEmpty())
        return PasswordOutcome::EmptyPassword;
    if (!IsStorableText(name) || !IsStorableText(oldPassword) || !IsStorableText(newPassword) ||
        !IsStorableText(repeatPassword))
        return PasswordOutcome::UnstorableText;
    if (newPassword != repeatPassword)
        return PasswordOutcome::RepeatDiffers;
    // Hashed before the store is touched: it takes a while and may fail for want of memory.
    const QString newHash = PasswordHash::Hash(newPassword);
    if (newHash.isEmpty())
        return PasswordOutcome::Failed;
    try {
        CAdoConn conn(dialogs, databasePath);
        conn.OpenConnection();
        RecordsetPtr rs = conn.OpenRecordset(Statements::Accounts);
        rs->Filter({NameColumn, name});
        rs->Requery();
        if (rs->IsEOF())
            return PasswordOutcome::WrongOldPassword;
        const QString confirmed = rs->GetCollect(PasswordColumn);
        if (!PasswordHash::Verify(confirmed, oldPassword))
            return PasswordOutcome::WrongOldPassword;
        // The new password and its trail entry commit together. Another desk may have changed
        // the password while this one was confirmed: the old one no longer is the old one.
        Transaction write(*conn.connection(), Transaction::Write);
        {
            Query now(*conn.connection(), QStringLiteral("SELECT 密码 FROM permission WHERE "
                                                         "用户名 = ? ORDER BY rowid LIMIT 1"));
            now.bind(1, name);
            if (!now.next() || now.text(0) != confirmed)
                return PasswordOutcome::WrongOldPassword;
            now.reset();
            rs->PutCollect(NameColumn, name);
            rs->PutCollect(PasswordColumn, newHash);
            rs->Update();
            Audit::Append(*conn.connection(), g_account.isEmpty() ? name : g_account,
                          Audit::ThisDesk(), Audit::PasswordChanged,
                          QStringLiteral("账号 %1").arg(name));
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
        return QStringLiteral("修改成功");
    case PasswordOutcome::EmptyName:
        return QStringLiteral("用户名不能为空");
    case PasswordOutcome::EmptyPassword:
        return QStringLiteral("密码不能为空");
    case PasswordOutcome::RepeatDiffers:
        return QStringLiteral("两次输入的新密码不一致，请重新输入！");
    case PasswordOutcome::WrongOldPassword:
        return QStringLiteral("原密码错误，请重新输入！");
    case PasswordOutcome::UnstorableText:
        return UnstorableTextMessage;
    case PasswordOutcome::Failed:
        return QStringLiteral("操作失败");
    }
    return {};
}

QString AuditChainProblem(const QString& databasePath) {
    try {
        Connection db(databasePath);
        if (const auto broken = Audit::Verify(db))
            return broken->text;
    } catch (const DataError&) {
    }
    return {};
}
