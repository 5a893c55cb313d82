#include "data/Text.h"

bool IsStorableText(const QString& text) {
    return QString::fromUtf8(text.toUtf8()) == text;
}
