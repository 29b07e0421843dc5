#include "bench/report.h"

#include <curl/curl.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <QtGlobal>

#include <algorithm>
#include <array>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>

namespace dravenlok::bench {

namespace {

constexpr char kBegin[] = "<!-- results:begin -->";
constexpr char kEnd[] = "<!-- results:end -->";
constexpr char kRaw[] = "raw_socket";
constexpr char kCurl[] = "libcurl_easy";

double ToNs(double value, benchmark::TimeUnit unit)
{
    switch (unit) {
    case benchmark::kNanosecond:
        return value;
    case benchmark::kMicrosecond:
        return value * 1e3;
    case benchmark::kMillisecond:
        return value * 1e6;
    case benchmark::kSecond:
        return value * 1e9;
    }
    return value;
}

std::string Fixed(double value, int decimals)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

std::string Duration(double ns)
{
    if (ns >= 1e6) {
        return Fixed(ns / 1e6, 1) + " ms";
    }
    return Fixed(ns / 1e3, 0) + " µs";
}

struct PcloseDeleter {
    void operator()(FILE* pipe) const noexcept { pclose(pipe); }
};

// lscpu's "Key: value" lines that describe the processor.
std::string ProcessorSummary()
{
    std::unique_ptr<FILE, PcloseDeleter> pipe(popen("LC_ALL=C lscpu 2>/dev/null", "r"));
    std::map<std::string, std::string> fields;
    if (pipe) {
        std::array<char, 512> line{};
        while (std::fgets(line.data(), static_cast<int>(line.size()), pipe.get()) != nullptr) {
            const std::string text(line.data());
            const std::size_t colon = text.find(':');
            if (colon == std::string::npos) {
                continue;
            }
            std::string value = text.substr(colon + 1);
            value.erase(0, value.find_first_not_of(" \t"));
            value.erase(value.find_last_not_of(" \t\n") + 1);
            fields.emplace(text.substr(0, colon), value);
        }
    }
    auto field = [&fields](const char* key) {
        const auto found = fields.find(key);
        return found != fields.end() ? found->second : std::string("?");
    };
    return field("Model name") + ", " + field("CPU(s)") + " CPUs (" + field("Thread(s) per core") +
           " thread(s) per core), " + field("Architecture") +
           (fields.contains("Hypervisor vendor") ? ", virtualised (" + field("Hypervisor vendor") + ")" : "");
}

std::string Machine()
{
    utsname system{};
    uname(&system);
#if defined(__clang__)
    const std::string compiler = std::string("clang ") + __clang_version__;
#else
    const std::string compiler = std::string("GCC ") + __VERSION__;
#endif
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGESIZE);
    const double memoryGiB = static_cast<double>(pages) * static_cast<double>(pageSize) / (1024.0 * 1024 * 1024);
    std::ostringstream out;
    out << "- Processor: " << ProcessorSummary() << "\n"
        << "- Memory: " << Fixed(memoryGiB, 1) << " GiB\n"
        << "- Kernel: " << system.sysname << " " << system.release << " " << system.machine << "\n"
        << "- Compiler: " << compiler << ", Release build (-O3 -DNDEBUG)\n"
        << "- libcurl " << curl_version_info(CURLVERSION_NOW)->version << ", Qt " << qVersion()
        << " (offscreen platform)\n";
    return out.str();
}

struct Goal {
    std::optional<double> maxVsRaw;
    std::optional<double> maxVsCurl;
    std::optional<double> maxMs;
};

// The goals each benchmark is held to; none for the baselines and the POST.
Goal GoalFor(const std::string& group, const std::string& client)
{
    const bool probe = client == "GetURL" || client == "CHttpClient_Request" || client == "GetWebFile";
    if (group == "get_1k" && probe) {
        return {1.6, 1.2, std::nullopt};
    }
    if ((group == "get_100k" || group == "get_1k_by_name") && probe) {
        return {std::nullopt, 1.2, std::nullopt};
    }
    if (group == "dialog" && client.starts_with("start_until_shown")) {
        return {std::nullopt, std::nullopt, 150.0};
    }
    if (group == "message_box") {
        return {std::nullopt, std::nullopt, 100.0};
    }
    return {};
}

std::string GoalText(const Goal& goal)
{
    std::string text;
    auto add = [&text](const std::string& part) { text += (text.empty() ? "" : ", ") + part; };
    if (goal.maxVsRaw) {
        add("≤ " + Fixed(*goal.maxVsRaw, 1) + "× raw");
    }
    if (goal.maxVsCurl) {
        add("≤ " + Fixed(*goal.maxVsCurl, 1) + "× libcurl");
    }
    if (goal.maxMs) {
        add("≤ " + Fixed(*goal.maxMs, 0) + " ms");
    }
    return text;
}

}  // namespace

void CollectingReporter::ReportRuns(const std::vector<Run>& runs)
{
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
        const std::string& name = run.run_name.function_name;
        const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
        if (run.run_type == Run::RT_Aggregate && !median) {
            continue;
        }
        if (!median && m_haveMedian[name]) {
            continue;
        }
        Result& result = m_results[name];
        result.family = run.family_index;
        result.failed = result.failed || run.error_occurred;
        result.realNs = ToNs(run.GetAdjustedRealTime(), run.time_unit);
        result.cpuNs = ToNs(run.GetAdjustedCPUTime(), run.time_unit);
        result.counters.clear();
        for (const auto& [key, counter] : run.counters) {
            result.counters[key] = counter.value;
        }
        m_haveMedian[name] = m_haveMedian[name] || median;
    }
}

std::vector<std::string> CollectingReporter::Order() const
{
    std::vector<std::string> names;
    for (const auto& [name, result] : m_results) {
        names.push_back(name);
    }
    std::sort(names.begin(), names.end(), [this](const std::string& a, const std::string& b) {
        return m_results.at(a).family < m_results.at(b).family;
    });
    return names;
}

std::string ResultsMarkdown(const CollectingReporter& reporter, const std::string& commandLine, double loadBefore,
                            double loadAfter)
{
    const auto& results = reporter.Results();
    std::ostringstream out;
    const std::time_t now = std::time(nullptr);
    char date[64];
    std::strftime(date, sizeof date, "%Y-%m-%d %H:%M UTC", std::gmtime(&now));

    out << "Last run: " << date << ", `" << commandLine << "`; load average (1 min) "
        << Fixed(loadBefore, 2) << " before, " << Fixed(loadAfter, 2) << " after.\n\n"
        << Machine() << "\n"
        << "Times are medians over the repetitions of the wall-clock time per operation; ratios divide by "
           "the raw floor and by bare libcurl of the same group in the same run. The goals are judged on "
           "these. \"CPU\" is the processor time of the benchmark's thread per operation (the server and "
           "curl's resolver threads not included), and its ratio to bare libcurl: less disturbed by other "
           "load on the machine than the wall-clock time.\n\n"
        << "| Benchmark | Time | × raw floor | × libcurl | CPU | CPU × libcurl | Goal | Met |\n"
        << "|---|---:|---:|---:|---:|---:|---|---|\n";

    std::vector<std::string> missed;
    for (const std::string& name : reporter.Order()) {
        const auto& result = results.at(name);
        const std::size_t slash = name.find('/');
        const std::string group = name.substr(0, slash);
        const std::string client = slash == std::string::npos ? "" : name.substr(slash + 1);
        if (client == "peak_memory") {
            continue;  // its own table below
        }
        auto ratio = [&](const char* baseline, double CollectingReporter::Result::*time) -> std::optional<double> {
            const auto found = results.find(group + "/" + baseline);
            if (found == results.end() || found->second.failed || found->second.*time <= 0) {
                return std::nullopt;
            }
            return result.*time / found->second.*time;
        };
        const auto vsRaw = ratio(kRaw, &CollectingReporter::Result::realNs);
        const auto vsCurl = ratio(kCurl, &CollectingReporter::Result::realNs);
        const auto cpuVsCurl = ratio(kCurl, &CollectingReporter::Result::cpuNs);
        const bool network = group.starts_with("get_") || group.starts_with("post_");
        const Goal goal = GoalFor(group, client);
        const double ms = result.realNs / 1e6;
        const bool met = !result.failed && (!goal.maxVsRaw || (vsRaw && *vsRaw <= *goal.maxVsRaw)) &&
                         (!goal.maxVsCurl || (vsCurl && *vsCurl <= *goal.maxVsCurl)) &&
                         (!goal.maxMs || ms <= *goal.maxMs);
        const std::string goalText = GoalText(goal);
        if (!goalText.empty() && !met) {
            missed.push_back(name);
        }
        out << "| " << name << " | " << (result.failed ? "failed" : Duration(result.realNs)) << " | "
            << (vsRaw ? Fixed(*vsRaw, 2) : "") << " | " << (vsCurl ? Fixed(*vsCurl, 2) : "") << " | "
            << (network && !result.failed ? Duration(result.cpuNs) : "") << " | "
            << (cpuVsCurl ? Fixed(*cpuVsCurl, 2) : "") << " | " << goalText
            << " | " << (goalText.empty() ? "" : (met ? "yes" : "**no**")) << " |\n";
    }

    if (const auto memory = results.find("dialog/peak_memory"); memory != results.end()) {
        out << "\nPeak resident memory (VmHWM) of the program, dialog open, after each button in turn "
               "(100 KB answers, real message boxes):\n\n"
            << "| Moment | Peak |\n|---|---:|\n";
        for (const auto& [key, label] :
             std::vector<std::pair<std::string, std::string>>{{"dialog_kB", "dialog shown"},
                                                              {"after_GetURL_kB", "after Connect With WinInet"},
                                                              {"after_RunClientProbe_kB", "after Connect WinInet 2"},
                                                              {"after_GetWebFile_kB", "after Connect With Winsock"}}) {
            const auto value = memory->second.counters.find(key);
            out << "| " << label << " | "
                << (value != memory->second.counters.end() ? Fixed(value->second / 1024.0, 1) + " MiB" : "?")
                << " |\n";
        }
    }

    out << "\nGoals missed: ";
    if (missed.empty()) {
        out << "none.\n";
    } else {
        for (std::size_t i = 0; i < missed.size(); ++i) {
            out << (i == 0 ? "" : ", ") << missed[i];
        }
        out << ".\n";
    }
    return out.str();
}

bool ReplaceResults(const std::string& file, const std::string& markdown)
{
    std::string text;
    {
        std::ifstream in(file, std::ios::binary);
        std::ostringstream all;
        all << in.rdbuf();
        text = all.str();
    }
    const std::string block = std::string(kBegin) + "\n" + markdown + kEnd;
    const std::size_t begin = text.find(kBegin);
    const std::size_t end = begin == std::string::npos ? std::string::npos : text.find(kEnd, begin);
    if (end == std::string::npos) {
        text += (text.empty() || text.back() == '\n' ? "" : "\n") + block + "\n";
    } else {
        text.replace(begin, end + std::string(kEnd).size() - begin, block);
    }
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << text;
    return static_cast<bool>(out);
}

}  // namespace dravenlok::bench
