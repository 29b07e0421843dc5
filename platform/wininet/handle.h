// The owner of an internet-layer handle: closed with InternetCloseHandle when
// it goes. Declared in reverse order of opening, owners close child first.
#pragma once

#include <memory>

#include "platform/wininet/wininet.h"

namespace dravenlok::wininet {

struct InternetHandleCloser {
    void operator()(HINTERNET handle) const noexcept { InternetCloseHandle(handle); }
};
using InternetHandle = std::unique_ptr<HINTERNET__, InternetHandleCloser>;

}  // namespace dravenlok::wininet
