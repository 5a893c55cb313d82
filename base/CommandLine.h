#pragma once

#include <QString>

#include <functional>
#include <optional>

namespace velkar {

// The options every program here answers the conventional way: --help (or -h) prints the usage
// and the standard options, --version prints "NAME VERSION"; both on standard output, exit 0.
// A usage error exits 2, a refusal 1.
namespace CommandLine {

inline constexpr int Refused = 1;
inline constexpr int UsageError = 2;

QString Version();

// The exit status when the arguments (before any "--") ask for help or the version.
// printUsage writes the program's own usage to standard output.
std::optional<int> AnswerHelpOrVersion(int argc, char* argv[], const char* name,
                                       const std::function<void()>& printUsage);

// Says what is wrong and where help is, on standard error. Returns UsageError.
int ReportUsageError(const char* name, const QString& problem);

} // namespace CommandLine

} // namespace velkar
