// The results of one run as a table: each probe's time as a ratio to the
// raw floor and to bare libcurl of the same run, the goals, and the machine.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace dravenlok::bench {

// Prints the console table as usual and keeps, per benchmark, the median of
// its repetitions (or its only run).
class CollectingReporter final : public benchmark::ConsoleReporter {
public:
    struct Result {
        double realNs = 0;
        double cpuNs = 0;  // the benchmark thread's processor time
        std::map<std::string, double> counters;
        bool failed = false;
        std::int64_t family = 0;
    };

    void ReportRuns(const std::vector<Run>& runs) override;

    [[nodiscard]] const std::map<std::string, Result>& Results() const noexcept { return m_results; }
    // Names in the order the benchmarks were registered.
    [[nodiscard]] std::vector<std::string> Order() const;

private:
    std::map<std::string, Result> m_results;
    std::map<std::string, bool> m_haveMedian;
};

// Markdown: the machine, the results with ratios and goals, the goals missed.
[[nodiscard]] std::string ResultsMarkdown(const CollectingReporter& reporter, const std::string& commandLine,
                                          double loadBefore, double loadAfter);

// Replaces the text between the markers "<!-- results:begin -->" and
// "<!-- results:end -->" in `file` (appending both when absent). False when
// the file cannot be written.
[[nodiscard]] bool ReplaceResults(const std::string& file, const std::string& markdown);

}  // namespace dravenlok::bench
