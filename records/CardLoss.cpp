#include "records/CardLoss.h"

#include "base/Dialogs.h"
#include "base/Messages.h"
#include "data/AdoConn.h"
#include "data/Audit.h"
#include "data/Cards.h"
#include "users/Accounts.h"

namespace velkar {

std::optional<bool> ToggleCardLost(Dialogs& dialogs, const Connection& connection,
                                   const QString& cardNo, const QString& holderName,
                                   const QString& account, QObject* owner) {
    QString problem;
    bool lost = false;
    try {
        const auto card = Cards::Find(connection, cardNo);
        lost = card && card->state == Cards::State::Lost;
        if (lost) {
            if (account != AdministratorName) {
                dialogs.plain(Messages::NoAdministratorRights(), owner);
                return std::nullopt;
            }
            problem = Cards::Unmark(connection, cardNo, account, Audit::ThisDesk());
        } else {
            const QString reason =
                dialogs.askText(Messages::ReportLostPrompt(cardNo, holderName), owner);
            if (reason.isEmpty())
                return std::nullopt;
            problem = Cards::ReportLost(connection, cardNo, reason, account, Audit::ThisDesk());
        }
    } catch (const DataError& e) {
        problem = Messages::OperationFailedWith(e.description());
    }
    if (!problem.isEmpty()) {
        dialogs.plain(problem, owner);
        return std::nullopt;
    }
    dialogs.plain(lost ? Messages::UnmarkDone(cardNo) : Messages::LostDone(cardNo), owner);
    return !lost;
}

} // namespace velkar
