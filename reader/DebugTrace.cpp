#include "reader/DebugTrace.h"

#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <string>

namespace velkar {

namespace {

std::mutex sinkMutex;
std::function<void(const QString&)> sink;

} // namespace

void DebugTrace(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    const int length = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    std::string line(length > 0 ? std::size_t(length) : 0, '\0');
    if (length > 0)
        std::vsnprintf(line.data(), line.size() + 1, format, again);
    va_end(again);

    std::lock_guard lock(sinkMutex);
    if (sink) {
        sink(QString::fromStdString(line));
        return;
    }
    qCDebug(ReaderLog).noquote() << QString::fromStdString(line);
}

void SetDebugTraceSink(std::function<void(const QString&)> newSink) {
    std::lock_guard lock(sinkMutex);
    sink = std::move(newSink);
}

} // namespace velkar
