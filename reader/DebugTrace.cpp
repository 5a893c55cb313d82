#include "reader/DebugTrace.h"

#include <cstdarg>
#include <mutex>

namespace velkar {

namespace {

std::mutex sinkMutex;
std::function<void(const QString&)> sink;

} // namespace

void DebugTrace(const char* format, ...) {
    va_list args;
    va_start(args, format);
    const QString line = QString::vasprintf(format, args);
    va_end(args);

    std::lock_guard lock(sinkMutex);
    if (sink) {
        sink(line);
        return;
    }
    qCDebug(ReaderLog).noquote() << line;
}

void SetDebugTraceSink(std::function<void(const QString&)> newSink) {
    std::lock_guard lock(sinkMutex);
    sink = std::move(newSink);
}

} // namespace velkar
