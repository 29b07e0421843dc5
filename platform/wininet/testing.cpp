#include "platform/wininet/testing.h"

#include <array>
#include <atomic>
#include <mutex>

#include "platform/wininet/handles.h"
#include "platform/wininet/seams.h"
#include "platform/wininet/settings.h"

namespace dravenlok::wininet {
namespace {

constexpr std::size_t kCallKinds = static_cast<std::size_t>(testing::Call::InternetCrackUrl) + 1;

struct Injected {
    std::mutex mutex;
    std::array<std::optional<DWORD>, kCallKinds> failures;
};

Injected& InjectedFailures()
{
    static Injected injected;
    return injected;
}

std::atomic<DWORD> g_timeoutCap{0};
std::atomic<std::size_t> g_failedConnectAttempts{0};

}  // namespace

std::optional<DWORD> TakeInjectedFailure(testing::Call call)
{
    Injected& injected = InjectedFailures();
    const std::lock_guard lock(injected.mutex);
    auto& slot = injected.failures.at(static_cast<std::size_t>(call));
    std::optional<DWORD> taken = slot;
    slot.reset();
    return taken;
}

DWORD ApplyTimeoutCap(DWORD milliseconds)
{
    const DWORD cap = g_timeoutCap.load();
    const bool unlimited = milliseconds == 0 || milliseconds == kNoTimeLimit;
    if (cap != 0 && (unlimited || milliseconds > cap)) {
        return cap;
    }
    return unlimited ? 0 : milliseconds;
}

DWORD ApplyBackoffCap(DWORD milliseconds)
{
    const DWORD cap = g_timeoutCap.load();
    return cap != 0 && milliseconds > cap ? cap : milliseconds;
}

void NoteFailedConnectAttempt()
{
    ++g_failedConnectAttempts;
}

namespace testing {

void FailNextCall(Call call, DWORD code)
{
    Injected& injected = InjectedFailures();
    const std::lock_guard lock(injected.mutex);
    injected.failures.at(static_cast<std::size_t>(call)) = code;
}

void ClearInjectedFailures()
{
    Injected& injected = InjectedFailures();
    const std::lock_guard lock(injected.mutex);
    injected.failures.fill(std::nullopt);
}

std::size_t OpenHandleCount()
{
    return Registry().Count();
}

void CapTimeoutsForTesting(DWORD milliseconds)
{
    g_timeoutCap = milliseconds;
}

std::size_t FailedConnectAttempts()
{
    return g_failedConnectAttempts.load();
}

}  // namespace testing
}  // namespace dravenlok::wininet
