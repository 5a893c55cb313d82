#pragma once

#include <QString>

#include <algorithm>
#include <cmath>
#include <vector>

namespace velkar {

// Small pieces of the benchmark kept apart from its windows, so they can be checked alone.
namespace BenchFigures {

struct Spread {
    double median = 0;
    double p95 = 0;
};

// The value below which `share` of the samples lie (nearest rank): a figure that was actually
// measured, never one interpolated between two runs.
inline double Percentile(std::vector<double> samples, double share) {
    if (samples.empty())
        return 0;
    std::sort(samples.begin(), samples.end());
    const auto rank = std::size_t(std::ceil(share * double(samples.size())));
    return samples[std::clamp<std::size_t>(rank, 1, samples.size()) - 1];
}

inline Spread SpreadOf(const std::vector<double>& samples) {
    return {Percentile(samples, 0.5), Percentile(samples, 0.95)};
}

// The server `uri` with its database replaced by `name`, or added where it names none; the
// query (the socket folder, say) is kept. Empty for a text that is no URI.
inline QString WithDatabase(const QString& uri, const QString& name) {
    const qsizetype scheme = uri.indexOf(QLatin1String("://"));
    if (scheme < 0)
        return {};
    qsizetype authorityEnd = scheme + 3;
    while (authorityEnd < uri.size() && uri[authorityEnd] != QLatin1Char('/') &&
           uri[authorityEnd] != QLatin1Char('?'))
        ++authorityEnd;
    const qsizetype query = uri.indexOf(QLatin1Char('?'), authorityEnd);
    return uri.left(authorityEnd) + QLatin1Char('/') + name +
           (query < 0 ? QString() : uri.mid(query));
}

} // namespace BenchFigures

} // namespace velkar
