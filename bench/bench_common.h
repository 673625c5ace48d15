#pragma once

// What the benchmark programs share: order statistics, the row format of the summary
// table that scripts/bench.sh gathers, and CPU time from getrusage.

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace bench {

// Nearest-rank percentile, p in 0..100.
inline double percentile(std::vector<double> v, double p)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    const auto rank = std::size_t(std::ceil(p / 100.0 * double(v.size())));
    return v[std::min(v.size() - 1, rank == 0 ? 0 : rank - 1)];
}

inline double median(std::vector<double> v)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

inline double mean(const std::vector<double> &v)
{
    double sum = 0;
    for (double x : v)
        sum += x;
    return v.empty() ? 0 : sum / double(v.size());
}

inline std::string fixed(double value, int decimals)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

// One row of the summary table. scripts/bench.sh keeps every stdout line that starts with
// "|", so anything else a program prints is commentary.
inline void row(const std::string &what, const std::string &tool, const std::string &reference,
                const std::string &figure, const std::string &goal, const std::string &met)
{
    std::printf("| %s | %s | %s | %s | %s | %s |\n", what.c_str(), tool.c_str(), reference.c_str(), figure.c_str(),
                goal.c_str(), met.c_str());
    std::fflush(stdout);
}

inline std::string verdict(bool met) { return met ? "yes" : "**no**"; }

// User plus system CPU seconds of the whole process, all threads; or of the calling thread.
inline double cpuSeconds(int who = RUSAGE_SELF)
{
    rusage u{};
    getrusage(who, &u);
    auto s = [](const timeval &t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    return s(u.ru_utime) + s(u.ru_stime);
}

inline double nowSeconds()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

} // namespace bench
