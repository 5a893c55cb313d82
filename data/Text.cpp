#include "data/Text.h"

namespace velkar {

bool IsStorableText(const QString& text) {
    return QString::fromUtf8(text.toUtf8()) == text;
}

} // namespace velkar
