// The framework probe's internet session: a plain framework session whose
// context value is always 1. Status callbacks are never turned on, so no
// notification of the internet layer ever reaches it.
#pragma once

#include "platform/mfc/internet.h"

class CProbeSession : public CInternetSession {
public:
    static constexpr DWORD_PTR kContext = 1;

    explicit CProbeSession(LPCSTR agent, DWORD accessType = INTERNET_OPEN_TYPE_PRECONFIG,
                           LPCSTR proxyName = nullptr, LPCSTR proxyBypass = nullptr,
                           DWORD flags = 0)
        : CInternetSession(agent, kContext, accessType, proxyName, proxyBypass, flags)
    {
    }
};
