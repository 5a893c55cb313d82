#pragma once

#include <QString>

// The store keeps texts as UTF-8. A text that does not survive that unchanged (a lone
// surrogate) would be stored as something other than what was shown, so it is refused where it
// is typed.
bool IsStorableText(const QString& text);

inline const QString UnstorableTextMessage =
    QStringLiteral("输入的内容含有无法保存的字符，请检查后重新输入！");
