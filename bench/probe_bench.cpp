// The probes next to their baselines. Every iteration is one complete
// fetch over a new connection, checked for the right outcome; message boxes
// go to a recorder of their lengths.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <string>

#include "app/probe_dlg.h"
#include "bench/baselines.h"
#include "bench/bench_config.h"
#include "bench/probe_bench.h"
#include "http_client/http_client.h"
#include "platform/ui/message_box.h"

namespace dravenlok::bench {

namespace {

// Installed for its lifetime: records how many boxes were asked for and
// the length of the last text. Copying each text, as the tests' recorder
// does, would add a copy (and for a 100 KB text fresh pages from the
// system) to every iteration that the real presenter does not make.
class BoxRecorder final : public ui::MessageBoxPresenter {
public:
    BoxRecorder() : m_previous(ui::SetPresenter(this)) {}
    ~BoxRecorder() override { ui::SetPresenter(m_previous); }
    BoxRecorder(const BoxRecorder&) = delete;
    BoxRecorder& operator=(const BoxRecorder&) = delete;

    int Present(const ui::MessageBoxRequest& request) override
    {
        ++m_count;
        m_lastLength = request.text.size();
        return 1;  // IDOK
    }

    // Length of the one text shown since the last call (-1: not one box).
    std::size_t TakeShown() noexcept
    {
        const std::size_t shown = m_count == 1 ? m_lastLength : std::size_t(-1);
        m_count = 0;
        return shown;
    }

private:
    ui::MessageBoxPresenter* m_previous;
    std::size_t m_count = 0;
    std::size_t m_lastLength = 0;
};

// The agent names the client probe and the framework probe send.
constexpr char kClientAgent[] = "TALVIK(0.9/;p)";
constexpr char kFrameworkAgent[] = "GetWebFile";
constexpr char kUploadField[] = "upload";
constexpr char kBoundary[] = "----DravenlokBenchBoundary7d1f";
constexpr std::size_t kDirectProbeRead = 8191;  // one read of the direct probe

struct Resource {
    const char* path;
    std::size_t size;
};

void Fail(benchmark::State& state, const std::string& what)
{
    state.SkipWithError(what.c_str());
}

// Appends the whole file to `out`, in one read of its size.
bool AppendFile(const std::string& path, std::string& out)
{
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    const std::streamoff end = in ? static_cast<std::streamoff>(in.tellg()) : -1;
    if (end < 0) {
        return false;
    }
    const auto size = static_cast<std::size_t>(end);
    const std::size_t at = out.size();
    out.resize(at + size);
    in.seekg(0);
    return static_cast<bool>(in.read(out.data() + at, static_cast<std::streamsize>(size)));
}

// Timed by the wall clock: the server and curl's resolver work on threads
// of their own while the client waits.
template <typename Function>
void Add(const std::string& name, Function function)
{
    benchmark::RegisterBenchmark(name.c_str(), function)->Unit(benchmark::kMicrosecond)->UseRealTime();
}

void RegisterGet(const std::string& group, const std::string& host, Resource resource)
{
    const std::string url = "http://" + host + resource.path;
    auto add = [&group](const std::string& client, auto function) { Add(group + "/" + client, function); };

    add("raw_socket", [host, resource](benchmark::State& state) {
        for (auto _ : state) {
            if (RawGet(host.c_str(), resource.path) != resource.size) {
                return Fail(state, "raw GET failed");
            }
        }
    });
    add("libcurl_easy", [url, resource](benchmark::State& state) {
        for (auto _ : state) {
            std::string body;  // new each time, as the handle is
            if (!CurlGet(url, body) || body.size() != resource.size) {
                return Fail(state, "libcurl GET failed");
            }
        }
    });
    // The same transfer with the body only counted: libcurl's transport
    // alone, with no memory for the body (shown beside, not a baseline of
    // the ratios).
    add("libcurl_easy_body_dropped", [url, resource](benchmark::State& state) {
        for (auto _ : state) {
            if (CurlGetCounted(url) != resource.size) {
                return Fail(state, "libcurl GET failed");
            }
        }
    });
    add("GetURL", [host, resource](benchmark::State& state) {
        BoxRecorder boxes;
        CProbeDlg dialog;
        const std::size_t expected = std::min(resource.size, kDirectProbeRead);
        for (auto _ : state) {
            const int status = dialog.GetURL(host.c_str(), resource.path, "");
            if (status != 200 || boxes.TakeShown() != expected) {
                return Fail(state, "GetURL answered " + std::to_string(status));
            }
        }
    });
    add("CHttpClient_Request", [url, resource](benchmark::State& state) {
        const std::size_t expected = std::min<std::size_t>(resource.size, CHttpClient::kBufferSize);
        for (auto _ : state) {
            CHttpClient client;  // as the client probe holds it: one object per request
            if (client.Request(url.c_str(), REQUEST_GET, kClientAgent) != 1 ||
                strnlen(client.GetBody(), CHttpClient::kBufferSize) != expected) {
                return Fail(state, "Request failed with " + std::to_string(client.GetLastErrorCode()));
            }
        }
    });
    add("GetWebFile", [host, resource](benchmark::State& state) {
        BoxRecorder boxes;
        CProbeDlg dialog;
        for (auto _ : state) {
            const int status = dialog.GetWebFile(kFrameworkAgent, host.c_str(), kServerPort, resource.path);
            if (status != 200 || boxes.TakeShown() != resource.size) {
                return Fail(state, "GetWebFile answered " + std::to_string(status));
            }
        }
    });
}

void RegisterPost(const std::string& group, const std::string& host, const std::string& file)
{
    const std::string url = "http://" + host + kUploadPath;
    auto add = [&group](const std::string& client, auto function) { Add(group + "/" + client, function); };
    const std::size_t answer = std::strlen(kUploadAnswer);
    const std::string fileName = file.substr(file.rfind('/') + 1);

    add("raw_socket", [host, file, fileName, answer](benchmark::State& state) {
        const std::string partHead = std::string("--") + kBoundary + "\r\nContent-Disposition: form-data; name=\"" +
                                     kUploadField + "\"; filename=\"" + fileName +
                                     "\"\r\nContent-Type: application/octet-stream\r\n\r\n";
        const std::string tail = std::string("\r\n--") + kBoundary + "--\r\n";
        std::string body;
        for (auto _ : state) {
            // The file is read afresh each time, as every client here does.
            body = partHead;
            if (!AppendFile(file, body)) {
                return Fail(state, "cannot read the upload file");
            }
            body += tail;
            if (RawPost(host.c_str(), kUploadPath, kBoundary, body) != answer) {
                return Fail(state, "raw POST failed");
            }
        }
    });
    add("libcurl_easy", [url, file, answer](benchmark::State& state) {
        for (auto _ : state) {
            std::string body;
            if (!CurlPostFile(url, kUploadField, file.c_str(), body) || body.size() != answer) {
                return Fail(state, "libcurl POST failed");
            }
        }
    });
    add("CHttpClient_Request", [url, file, answer](benchmark::State& state) {
        for (auto _ : state) {
            CHttpClient client;
            if (client.AddField(kUploadField, file.c_str(), FIELD_FILE) != 1 ||
                client.Request(url.c_str(), REQUEST_POST_MULTIPART, kClientAgent) != 1 ||
                strnlen(client.GetBody(), CHttpClient::kBufferSize) != answer) {
                return Fail(state, "multipart Request failed with " + std::to_string(client.GetLastErrorCode()));
            }
        }
    });
}

}  // namespace

void RegisterProbeBenchmarks(const std::string& host, const std::string& uploadFile)
{
    // By address, every client pays for the same connection and transfer
    // alone; by name, each also looks the name up (curl on a resolver
    // thread of every new handle, the raw client with getaddrinfo).
    RegisterGet("get_1k", kServerAddress, {kSmallPath, kSmallBody});
    RegisterGet("get_100k", kServerAddress, {kLargePath, kLargeBody});
    RegisterGet("get_1k_by_name", host, {kSmallPath, kSmallBody});
    RegisterPost("post_multipart_1m", kServerAddress, uploadFile);
}

}  // namespace dravenlok::bench
