#pragma once

#include <QString>

#include <optional>

class QObject;

namespace velkar {

class Connection;
class Dialogs;

// 挂失 and 解挂 as the desk and the archive offer them: a card not marked is marked lost with
// the reason asked for; a lost card is found again, by the administrator only. Returns whether
// the card is lost now, or nothing when nothing changed (cancelled, or refused with a box).
std::optional<bool> ToggleCardLost(Dialogs& dialogs, const Connection& connection,
                                   const QString& cardNo, const QString& holderName,
                                   const QString& account, QObject* owner = nullptr);

} // namespace velkar
