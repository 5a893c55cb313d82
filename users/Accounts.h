#pragma once

#include "data/Schema.h"

#include <QString>

class Dialogs;

// True only after a successful login of the administrator account.
extern bool g_isAdmin;

inline const QString AdministratorName = QStringLiteral("管理员");

enum class LoginOutcome { Success, EmptyName, EmptyPassword, NoSuchUser, WrongPassword, Failed };

// The two-step login check: a row with both name and password, else the name alone with its
// stored password compared exactly. Store failures are shown by the connection, then Failed.
LoginOutcome CheckLogin(Dialogs* dialogs, const QString& name, const QString& password,
                        const QString& databasePath = Schema::DatabaseFileName);

// The text a window shows for an outcome; empty for Success.
QString LoginMessage(LoginOutcome outcome);

enum class PasswordOutcome {
    Changed,
    EmptyName,
    EmptyPassword,
    RepeatDiffers,
    WrongOldPassword,
    Failed
};

// Sets the account's new password once its current one is confirmed. The account's row is
// found by its name.
PasswordOutcome ChangePassword(Dialogs* dialogs, const QString& name, const QString& oldPassword,
                               const QString& newPassword, const QString& repeatPassword,
                               const QString& databasePath = Schema::DatabaseFileName);

QString PasswordMessage(PasswordOutcome outcome);
