#pragma once

#include <algorithm>
#include <cmath>
#include <vector>

// Order statistics of a benchmark's samples (none may be empty).
namespace vigix::bench {

inline double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2.0;
}

// The nearest-rank percentile p (0 < p <= 100): p = 100 is the maximum.
inline double Percentile(std::vector<double> values, double p)
{
    std::sort(values.begin(), values.end());
    const auto rank = static_cast<std::size_t>(std::ceil(p / 100.0 * double(values.size())));
    return values[std::clamp<std::size_t>(rank, 1, values.size()) - 1];
}

} // namespace vigix::bench
