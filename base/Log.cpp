#include "base/Log.h"

namespace velkar {

// Info and above pass by default; debug lines only when the rules turn them on.
const QLoggingCategory& ReaderLog() {
    static const QLoggingCategory category("velkar.reader", QtInfoMsg);
    return category;
}

const QLoggingCategory& DataLog() {
    static const QLoggingCategory category("velkar.data", QtInfoMsg);
    return category;
}

const QLoggingCategory& DeskLog() {
    static const QLoggingCategory category("velkar.desk", QtInfoMsg);
    return category;
}

} // namespace velkar
