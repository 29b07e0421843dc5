#include "platform/mfc/message_box.h"

#include <filesystem>
#include <string>
#include <system_error>

#include "platform/mfc/win_app.h"
#include "platform/ui/message_box.h"

namespace dravenlok::mfc {

const char* ApplicationTitle()
{
    static const std::string title = [] {
        std::error_code error;
        const auto exe = std::filesystem::read_symlink("/proc/self/exe", error);
        return error ? std::string("Dravenlok") : exe.stem().string();
    }();
    return title.c_str();
}

}  // namespace dravenlok::mfc

int AfxMessageBox(LPCSTR text, UINT type, UINT /*helpId*/)
{
    if ((type & MB_ICONMASK) == 0) {
        type |= MB_ICONEXCLAMATION;
    }
    const dravenlok::ui::MessageBoxRequest request{
        text != nullptr ? text : "", AfxGetAppName(), type};
    return dravenlok::ui::ActivePresenter().Present(request);
}
