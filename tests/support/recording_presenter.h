// Installs itself as the message-box presenter for its lifetime and records
// every box instead of showing it.
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "platform/ui/message_box.h"

namespace dravenlok::testing {

class RecordingPresenter final : public ui::MessageBoxPresenter {
public:
    struct Box {
        std::string text;
        std::string caption;
        unsigned style = 0;
    };

    RecordingPresenter() : m_previous(ui::SetPresenter(this)) {}
    ~RecordingPresenter() override { ui::SetPresenter(m_previous); }

    // Runs while a box is "open": lets a test look at the state of the world
    // at the moment the box is shown (which handles are still open, say).
    void OnPresent(std::function<void(const Box&)> hook) { m_hook = std::move(hook); }

    int Present(const ui::MessageBoxRequest& request) override
    {
        Box box{std::string(request.text), std::string(request.caption), request.style};
        if (m_hook) {
            m_hook(box);
        }
        boxes.push_back(std::move(box));
        return 1;  // IDOK
    }

    [[nodiscard]] std::vector<std::string> Texts() const
    {
        std::vector<std::string> out;
        out.reserve(boxes.size());
        for (const auto& box : boxes) {
            out.push_back(box.text);
        }
        return out;
    }

    std::vector<Box> boxes;

private:
    ui::MessageBoxPresenter* m_previous;
    std::function<void(const Box&)> m_hook;
};

}  // namespace dravenlok::testing
