#pragma once

#include <QString>

#include <functional>

namespace velkar {

// One line on standard error, formatted as printf does. No length limit.
void DebugTrace(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Where the lines go instead of standard error (tests); an empty sink restores it.
void SetDebugTraceSink(std::function<void(const QString&)> sink);

} // namespace velkar
