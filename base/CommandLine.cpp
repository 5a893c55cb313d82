#include "base/CommandLine.h"

#include <cstdio>
#include <cstring>

namespace velkar {

namespace CommandLine {

QString Version() {
    return QStringLiteral(VELKAR_VERSION);
}

std::optional<int> AnswerHelpOrVersion(int argc, char* argv[], const char* name,
                                       const std::function<void()>& printUsage, Language language) {
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (std::strcmp(arg, "--") == 0)
            break;
        if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
            printUsage();
            std::fflush(stdout);
            std::fputs(language == Language::Chinese
                           ? "\n"
                             "  -h, --help     显示本帮助并退出\n"
                             "      --version  显示版本信息并退出\n"
                           : "\n"
                             "  -h, --help     display this help and exit\n"
                             "      --version  output version information and exit\n",
                       stdout);
            return 0;
        }
        if (std::strcmp(arg, "--version") == 0) {
            std::printf("%s %s\n", name, VELKAR_VERSION);
            return 0;
        }
    }
    return std::nullopt;
}

int ReportUsageError(const char* name, const QString& problem, Language language) {
    std::fprintf(stderr,
                 language == Language::Chinese ? "%s: %s\n用法见“%s --help”。\n"
                                               : "%s: %s\nTry '%s --help' for more information.\n",
                 name, qUtf8Printable(problem), name);
    return UsageError;
}

} // namespace CommandLine

} // namespace velkar
