#pragma once

#include <QString>

namespace velkar {

// Who works at this desk, fixed by the login and handed to the windows that act in their name.
struct Session {
    QString account;
    bool administrator = false;
    QString desk;
};

} // namespace velkar
