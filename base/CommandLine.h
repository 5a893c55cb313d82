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

// The language a program speaks on its command line: the desk and the tool its technician runs
// speak the desk's Chinese, the developers' tools English.
enum class Language { English, Chinese };

QString Version();

// The exit status when the arguments (before any "--") ask for help or the version.
// printUsage writes the program's own usage to standard output.
std::optional<int> AnswerHelpOrVersion(int argc, char* argv[], const char* name,
                                       const std::function<void()>& printUsage,
                                       Language language = Language::English);

// Says what is wrong and where help is, on standard error. Returns UsageError.
int ReportUsageError(const char* name, const QString& problem,
                     Language language = Language::English);

} // namespace CommandLine

} // namespace velkar
