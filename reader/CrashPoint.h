#pragma once

namespace velkar {

// The crash test's way in: with VELKAR_CRASH_AT naming a point, the process kills itself
// (SIGKILL, nothing flushed or unwound) when it gets there. Points: "journal" (before the
// command's row commits), "write" (after the frame went out), "book" (after the confirming
// report, before the booking commits).
void CrashPoint(const char* name);

} // namespace velkar
