// The dialog's start-up and memory, measured on the real program (with its
// timing hook) started afresh each time, and the long message box, shown by
// the real presenter on Qt's offscreen platform and closed once painted.
#include <benchmark/benchmark.h>

#include <QWidget>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "bench/probe_bench.h"
#include "bench/shown_watch.h"
#include "platform/mfc/message_box.h"

extern char** environ;

namespace dravenlok::bench {

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kBoxChars = 100000;
constexpr int kStartsPerRepetition = 5;
constexpr int kBoxesPerRepetition = 5;

long long MonotonicNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count();
}

// The environment with QT_QPA_PLATFORM set to `platform`.
std::vector<std::string> EnvironmentFor(const std::string& platform)
{
    std::vector<std::string> variables;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        if (std::strncmp(*entry, "QT_QPA_PLATFORM=", 16) != 0) {
            variables.emplace_back(*entry);
        }
    }
    variables.push_back("QT_QPA_PLATFORM=" + platform);
    return variables;
}

// Starts the timed program with `mode` on the Qt platform `platform`;
// answers the moment it was started and its "<key> <value>" lines once it
// has ended (empty when it failed).
std::map<std::string, long long> RunTimedApp(const std::string& app, const char* mode, const std::string& platform,
                                             long long& startedNs)
{
    std::vector<std::string> variables = EnvironmentFor(platform);
    std::vector<char*> environment;
    for (std::string& variable : variables) {
        environment.push_back(variable.data());
    }
    environment.push_back(nullptr);

    int out[2] = {-1, -1};
    if (::pipe(out) != 0) {
        return {};
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    posix_spawn_file_actions_addclose(&actions, out[1]);
    const std::string program = app;
    std::string modeArgument = mode;
    char* argv[] = {const_cast<char*>(program.c_str()), modeArgument.data(), nullptr};

    pid_t child = 0;
    startedNs = MonotonicNs();
    const int spawned = posix_spawn(&child, program.c_str(), &actions, nullptr, argv, environment.data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    std::string text;
    char buffer[4096];
    for (ssize_t n = 0; spawned == 0 && (n = ::read(out[0], buffer, sizeof buffer)) > 0;) {
        text.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(out[0]);
    int status = 0;
    if (spawned != 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        return {};
    }
    std::map<std::string, long long> values;
    std::istringstream lines(text);
    std::string key;
    long long value = 0;
    while (lines >> key >> value) {
        values[key] = value;
    }
    return values;
}

void StartUntilShown(benchmark::State& state, const std::string& app, const std::string& platform)
{
    for (auto _ : state) {
        long long started = 0;
        const auto values = RunTimedApp(app, "shown", platform, started);
        const auto shown = values.find("shown_ns");
        if (shown == values.end()) {
            state.SkipWithError("the program did not show its dialog");
            return;
        }
        state.SetIterationTime(static_cast<double>(shown->second - started) * 1e-9);
        state.counters["hwm_kB"] = static_cast<double>(values.at("hwm_kb_dialog"));
    }
}

void PeakMemory(benchmark::State& state, const std::string& app)
{
    for (auto _ : state) {
        long long started = 0;
        const auto values = RunTimedApp(app, "probes", "offscreen", started);
        if (!values.contains("hwm_kb_after_GetWebFile")) {
            state.SkipWithError("the program did not run its three probes");
            return;
        }
        state.SetIterationTime(1e-3);  // the figures are the counters
        for (const char* key : {"hwm_kb_dialog", "hwm_kb_after_GetURL", "hwm_kb_after_RunClientProbe",
                                "hwm_kb_after_GetWebFile"}) {
            state.counters[std::string(key).substr(7) + "_kB"] = static_cast<double>(values.at(key));
        }
    }
}

// The box's text: `chars` printable characters, in lines of `lineLength`
// (0: one line).
std::string BoxText(std::size_t chars, std::size_t lineLength)
{
    std::string text(chars, ' ');
    for (std::size_t i = 0; i < chars; ++i) {
        const bool lineEnd = lineLength != 0 && i % lineLength == lineLength - 1;
        text[i] = lineEnd ? '\n' : (i % 7 == 6 ? ' ' : static_cast<char>('a' + i % 26));
    }
    return text;
}

void MessageBoxShown(benchmark::State& state, const std::string& text)
{
    long long shownAt = 0;
    ShownWatch watch([&shownAt](QWidget& window) {
        shownAt = MonotonicNs();
        window.close();
    });
    double untilReturn = 0;
    for (auto _ : state) {
        shownAt = 0;
        const long long start = MonotonicNs();
        AfxMessageBox(text.c_str(), MB_OK, 0);
        const long long returned = MonotonicNs();
        if (shownAt == 0) {
            state.SkipWithError("the box was never painted");
            return;
        }
        state.SetIterationTime(static_cast<double>(shownAt - start) * 1e-9);
        untilReturn += static_cast<double>(returned - start) * 1e-6;
    }
    state.counters["until_closed_ms"] =
        benchmark::Counter(untilReturn, benchmark::Counter::kAvgIterations);
}

}  // namespace

void RegisterUiBenchmarks(const std::string& timedApp)
{
    benchmark::RegisterBenchmark("dialog/start_until_shown", StartUntilShown, timedApp, std::string("offscreen"))
        ->Unit(benchmark::kMillisecond)
        ->UseManualTime()
        ->Iterations(kStartsPerRepetition);
    // On a real X server as well when there is one (make bench runs Xvfb).
    if (const char* display = std::getenv("DISPLAY"); display != nullptr && *display != '\0') {
        benchmark::RegisterBenchmark("dialog/start_until_shown_x11", StartUntilShown, timedApp, std::string("xcb"))
            ->Unit(benchmark::kMillisecond)
            ->UseManualTime()
            ->Iterations(kStartsPerRepetition);
    }
    benchmark::RegisterBenchmark("dialog/peak_memory", PeakMemory, timedApp)
        ->Unit(benchmark::kMillisecond)
        ->UseManualTime()
        ->Iterations(1);
    benchmark::RegisterBenchmark("message_box/100000_chars_lines_of_64", MessageBoxShown, BoxText(kBoxChars, 64))
        ->Unit(benchmark::kMillisecond)
        ->UseManualTime()
        ->Iterations(kBoxesPerRepetition);
    benchmark::RegisterBenchmark("message_box/100000_chars_one_line", MessageBoxShown, BoxText(kBoxChars, 0))
        ->Unit(benchmark::kMillisecond)
        ->UseManualTime()
        ->Iterations(kBoxesPerRepetition);
}

}  // namespace dravenlok::bench
