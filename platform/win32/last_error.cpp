#include "platform/win32/win32.h"

namespace {

// Each thread has its own last error, as every call of the layer reports its
// failure on the thread that made it.
thread_local DWORD t_lastError = ERROR_SUCCESS;

}  // namespace

DWORD GetLastError()
{
    return t_lastError;
}

void SetLastError(DWORD code)
{
    t_lastError = code;
}
