#include "reader/HidFraming.h"

#include <algorithm>

namespace velkar {

std::vector<std::vector<std::uint8_t>> FrameOutputReports(std::span<const std::uint8_t> data,
                                                          std::size_t reportSize) {
    std::vector<std::vector<std::uint8_t>> reports;
    // At least one data byte per report, and no more than a length byte can count.
    const std::size_t perReport = std::clamp<std::size_t>(reportSize, 2, 256) - 1;
    for (std::size_t at = 0; at < data.size(); at += perReport) {
        const std::size_t n = std::min(perReport, data.size() - at);
        std::vector<std::uint8_t> report(perReport + 2, 0);
        report[1] = std::uint8_t(n);
        std::copy_n(data.begin() + std::ptrdiff_t(at), n, report.begin() + 2);
        reports.push_back(std::move(report));
    }
    return reports;
}

std::vector<std::uint8_t> UnframeInputReport(std::span<const std::uint8_t> report) {
    if (report.empty())
        return {};
    const std::size_t n = std::min<std::size_t>(report[0], report.size() - 1);
    return {report.begin() + 1, report.begin() + 1 + std::ptrdiff_t(n)};
}

} // namespace velkar
