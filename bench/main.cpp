// The benchmark program. Runs only inside a private network namespace
// (scripts/in-netns.sh, as `make bench` does), where the target host is
// 127.0.0.1 and the benchmark's own server answers on port 80: nothing it
// does can reach another machine.
//
// Besides Google Benchmark's flags it takes --markdown=FILE: the results
// table, with ratios and the machine, replaces the results section of FILE.
#include <benchmark/benchmark.h>
#include <curl/curl.h>
#include <malloc.h>
#include <net/if.h>
#include <sched.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench/bench_config.h"
#include "bench/fast_server.h"
#include "bench/probe_bench.h"
#include "bench/report.h"
#include "platform/ui/application.h"
#include "target_host.h"

namespace {

using namespace dravenlok::bench;

constexpr int kAllocatorThreshold = 128 * 1024;

// True when loopback is the only network interface: the private namespace.
bool OnlyLoopback()
{
    struct if_nameindex* interfaces = if_nameindex();
    if (interfaces == nullptr) {
        return false;
    }
    bool onlyLoopback = true;
    for (const struct if_nameindex* entry = interfaces; entry->if_index != 0; ++entry) {
        onlyLoopback = onlyLoopback && std::strcmp(entry->if_name, "lo") == 0;
    }
    if_freenameindex(interfaces);
    return onlyLoopback;
}

// Keeps this thread (and every thread and process it starts) on the last
// processor it may use.
bool PinToOneProcessor()
{
    cpu_set_t allowed;
    CPU_ZERO(&allowed);
    if (sched_getaffinity(0, sizeof allowed, &allowed) != 0) {
        return false;
    }
    for (int cpu = CPU_SETSIZE - 1; cpu >= 0; --cpu) {
        if (CPU_ISSET(cpu, &allowed)) {
            cpu_set_t one;
            CPU_ZERO(&one);
            CPU_SET(cpu, &one);
            return sched_setaffinity(0, sizeof one, &one) == 0;
        }
    }
    return false;
}

double LoadAverage()
{
    double load[1] = {0};
    return getloadavg(load, 1) == 1 ? load[0] : -1;
}

// A 1 MB file to upload, in a directory of its own that goes with the run.
class UploadFile {
public:
    UploadFile()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "dravenlok-bench-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) {
            throw std::runtime_error("cannot make a temporary directory");
        }
        m_directory = pattern;
        m_path = (m_directory / "payload.bin").string();
        std::string bytes(kUploadFile, '\0');
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            bytes[i] = static_cast<char>((i * 131 + 7) & 0xFF);
        }
        std::ofstream(m_path, std::ios::binary) << bytes;
    }
    ~UploadFile()
    {
        std::error_code ignored;
        std::filesystem::remove_all(m_directory, ignored);
    }
    UploadFile(const UploadFile&) = delete;
    UploadFile& operator=(const UploadFile&) = delete;
    [[nodiscard]] const std::string& Path() const noexcept { return m_path; }

private:
    std::filesystem::path m_directory;
    std::string m_path;
};

}  // namespace

int main(int argc, char* argv[])
{
    if (!OnlyLoopback()) {
        std::fprintf(stderr,
                     "dravenlok_bench: run it in a private network namespace "
                     "(scripts/in-netns.sh, or `make bench`)\n");
        return 2;
    }
    // Every client goes straight to the loopback server.
    for (const char* name : {"http_proxy", "HTTP_PROXY", "all_proxy", "ALL_PROXY"}) {
        unsetenv(name);
    }
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    // One processor for the whole run: the client, the server and curl's
    // resolver take turns on it. Wake-ups across processors vary so much on
    // a virtual machine that two identical clients measured up to 20 %
    // apart; on one processor they agree within a few percent.
    if (!PinToOneProcessor()) {
        std::fprintf(stderr, "dravenlok_bench: cannot keep to one processor; figures will be noisier\n");
    }
    // glibc moves its mmap and trim thresholds up each time a large block is
    // freed, so how a 100 KB body is allocated would depend on which
    // benchmarks ran before. Fixed at glibc's starting values, every client
    // meets the allocator as a freshly started program does.
    mallopt(M_MMAP_THRESHOLD, kAllocatorThreshold);
    mallopt(M_TRIM_THRESHOLD, kAllocatorThreshold);

    std::string commandLine = "dravenlok_bench";
    std::string markdownFile;
    std::vector<char*> arguments;
    for (int i = 0; i < argc; ++i) {
        if (std::strncmp(argv[i], "--markdown=", 11) == 0) {
            markdownFile = argv[i] + 11;
            continue;
        }
        if (i > 0) {
            commandLine += std::string(" ") + argv[i];
        }
        arguments.push_back(argv[i]);
    }
    int count = static_cast<int>(arguments.size());
    arguments.push_back(nullptr);

    curl_global_init(CURL_GLOBAL_DEFAULT);
    const dravenlok::ui::Session ui(argv[0]);
    const UploadFile upload;
    FastServer server(kServerAddress, kServerPort,
                      {{kSmallPath, PrintableBody(kSmallBody)},
                       {kLargePath, PrintableBody(kLargeBody)},
                       {kUploadPath, kUploadAnswer},
                       {"/", PrintableBody(kRootBody)}});

    RegisterProbeBenchmarks(kTargetHost, upload.Path());
    RegisterUiBenchmarks(DRAVENLOK_TIMED_APP);

    benchmark::Initialize(&count, arguments.data());
    if (benchmark::ReportUnrecognizedArguments(count, arguments.data())) {
        return 2;
    }
    const double loadBefore = LoadAverage();
    CollectingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const double loadAfter = LoadAverage();

    const std::string markdown = ResultsMarkdown(reporter, commandLine, loadBefore, loadAfter);
    std::printf("\n%s", markdown.c_str());
    if (server.Broken() != 0) {
        std::printf("\nThe server saw %llu broken requests.\n", static_cast<unsigned long long>(server.Broken()));
    }
    if (!markdownFile.empty() && !ReplaceResults(markdownFile, markdown)) {
        std::fprintf(stderr, "dravenlok_bench: cannot write %s\n", markdownFile.c_str());
        return 1;
    }
    benchmark::Shutdown();
    curl_global_cleanup();
    return 0;
}
