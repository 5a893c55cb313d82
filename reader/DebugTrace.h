#pragma once

#include "base/Log.h"

#include <QString>

#include <functional>

namespace velkar {

// One debug line under ReaderLog, formatted as printf does. No length limit.
void DebugTrace(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Where the lines go instead, whatever the logging rules say (tests); an empty sink restores
// the logging category.
void SetDebugTraceSink(std::function<void(const QString&)> sink);

} // namespace velkar
