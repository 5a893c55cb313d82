#pragma once

#include "base/Messages.h"

#include <QString>

namespace velkar {

// The store keeps texts as UTF-8. A text that does not survive that unchanged (a lone
// surrogate) would be stored as something other than what was shown, so it is refused where it
// is typed.
bool IsStorableText(const QString& text);

inline const QString UnstorableTextMessage = Messages::UnstorableText();

} // namespace velkar
