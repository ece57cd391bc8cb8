#include "error_stats.h"

#include <algorithm>
#include <cmath>

namespace calibdemo {
namespace {

// The value at or below which `fraction` of the sorted values lie (nearest rank).
double Rank(const std::vector<double>& sorted, double fraction) {
    const auto rank =
        static_cast<std::size_t>(std::ceil(fraction * static_cast<double>(sorted.size())));
    return sorted[std::clamp<std::size_t>(rank, 1, sorted.size()) - 1];
}

}  // namespace

ErrorStats Summarise(std::vector<double> values) {
    ErrorStats stats;
    if (values.empty()) {
        return stats;
    }
    std::sort(values.begin(), values.end());
    double squares = 0.0;
    for (const double v : values) {
        squares += v * v;
    }
    stats.median = Rank(values, 0.5);
    stats.p95 = Rank(values, 0.95);
    stats.max = values.back();
    stats.rms = std::sqrt(squares / static_cast<double>(values.size()));
    stats.count = values.size();
    return stats;
}

}  // namespace calibdemo
