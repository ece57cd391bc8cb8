// Summaries of a set of distances or delays: median, 95th percentile, maximum, RMS.
#pragma once

#include <string>
#include <vector>

namespace calibdemo {

struct ErrorStats {
    double median = 0.0;
    double p95 = 0.0;
    double max = 0.0;
    double rms = 0.0;
    std::size_t count = 0;
};

// Percentiles by nearest rank; all zero for no values.
ErrorStats Summarise(std::vector<double> values);

}  // namespace calibdemo
