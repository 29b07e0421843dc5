#include "platform/mfc/exception.h"

#include <array>

#include "platform/mfc/message_box.h"

BOOL CException::GetErrorMessage(LPSTR error, UINT maxError, PUINT helpContext) const
{
    if (error != nullptr && maxError > 0) {
        error[0] = '\0';
    }
    if (helpContext != nullptr) {
        *helpContext = 0;
    }
    return FALSE;
}

int CException::ReportError(UINT type, LPCSTR fallback) const
{
    std::string text = dravenlok::mfc::ExceptionMessage(*this);
    if (text.empty()) {
        text = fallback != nullptr ? fallback : "An unknown error has occurred.";
    }
    return AfxMessageBox(text.c_str(), type, 0);
}

void CException::Delete() noexcept
{
    if (m_bAutoDelete != FALSE) {
        delete this;
    }
}

namespace dravenlok::mfc {

std::string ExceptionMessage(const CException& exception)
{
    // Messages of the framework's exceptions are one system text or one
    // server line; a longer one is cut, never overrun.
    std::array<char, 2048> buffer{};
    if (exception.GetErrorMessage(buffer.data(), static_cast<UINT>(buffer.size()), nullptr) == FALSE) {
        return {};
    }
    buffer.back() = '\0';
    return std::string(buffer.data());
}

}  // namespace dravenlok::mfc
