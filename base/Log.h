#pragma once

#include <QLoggingCategory>

// The program's trace lines, one category a layer, all off unless asked for, e.g.
// QT_LOGGING_RULES="velkar.*.debug=true" or "velkar.data.debug=true".
namespace velkar {

const QLoggingCategory& ReaderLog(); // the reader link and its receive worker
const QLoggingCategory& DataLog();   // the store: failed tasks and their retries
const QLoggingCategory& DeskLog();   // what the desk tells its operator

} // namespace velkar
