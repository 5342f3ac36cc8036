// Shared by the benchmark harnesses: repeated measurement and one table row per figure, the
// library beside its raw baseline from the same run.
#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace corvo::bench {

struct Stats {
    double median = 0;
    double min = 0;
    double max = 0;
};

inline Stats summarise(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return {values[values.size() / 2], values.front(), values.back()};
}

// Runs `once` `runs` times; each run answers its own figure.
inline Stats repeat(int runs, const std::function<double()>& once) {
    std::vector<double> values;
    for (int i = 0; i < runs; ++i) {
        values.push_back(once());
    }
    return summarise(values);
}

struct PairedRates {
    std::vector<double> first;
    std::vector<double> second;

    // Median of first / second taken run by run: the two runs of a pair ran back to back, so
    // what slowed the machine for one mostly slowed the other too.
    double ratio() const {
        std::vector<double> ratios;
        for (std::size_t i = 0; i < first.size(); ++i) {
            ratios.push_back(first[i] / second[i]);
        }
        return summarise(ratios).median;
    }
};

// `runs` runs of each side after one uncounted pair that warms caches, allocators and TCP
// buffers; the order alternates so drift during a series hits both sides alike.
inline PairedRates pairedRuns(int runs, const std::function<double()>& first,
                              const std::function<double()>& second) {
    PairedRates rates;
    for (int run = -1; run < runs; ++run) {
        double a = 0;
        double b = 0;
        if (run % 2 == 0) {
            a = first();
            b = second();
        } else {
            b = second();
            a = first();
        }
        if (run >= 0) {
            rates.first.push_back(a);
            rates.second.push_back(b);
        }
    }
    return rates;
}

inline double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Latencies in nanoseconds: p50 in `median`, p99 in `min`, the longest in `max`.
inline Stats percentiles(std::vector<double> latencies) {
    std::sort(latencies.begin(), latencies.end());
    auto at = [&](double fraction) {
        return latencies[static_cast<std::size_t>(fraction * (latencies.size() - 1))];
    };
    return {at(0.5), at(0.99), latencies.back()};
}

inline std::string latencyText(const Stats& stats) {
    char text[96];
    std::snprintf(text, sizeof text, "p50 %.0f us, p99 %.0f us", stats.median / 1000,
                  stats.min / 1000);
    return text;
}

inline std::string format(const Stats& stats, const char* unit) {
    char text[128];
    std::snprintf(text, sizeof text, "%.4g %s (%.4g-%.4g)", stats.median, unit, stats.min,
                  stats.max);
    return text;
}

// "| id | what | library | baseline | ratio | target |" as the bench script prints it.
inline void row(const std::string& id, const std::string& what, const std::string& library,
                const std::string& baseline, double ratio, const std::string& target) {
    char ratioText[32] = "-";
    if (ratio > 0) {
        std::snprintf(ratioText, sizeof ratioText, "%.2f", ratio);
    }
    std::printf("| %s | %s | %s | %s | %s | %s |\n", id.c_str(), what.c_str(), library.c_str(),
                baseline.c_str(), ratioText, target.c_str());
    std::fflush(stdout);
}

}  // namespace corvo::bench
