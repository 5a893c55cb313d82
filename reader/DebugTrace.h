#pragma once

#include <QLoggingCategory>
#include <QString>

#include <functional>

namespace velkar {

// The reader link's debug lines: off unless asked for, as with
// QT_LOGGING_RULES="velkar.reader.debug=true".
const QLoggingCategory& ReaderLog();

// One debug line under ReaderLog, formatted as printf does. No length limit.
void DebugTrace(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Where the lines go instead, whatever the logging rules say (tests); an empty sink restores
// the logging category.
void SetDebugTraceSink(std::function<void(const QString&)> sink);

} // namespace velkar
