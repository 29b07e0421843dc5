#include "platform/ui/message_box.h"

namespace dravenlok::ui {

MessageBoxPresenter& QtPresenter();  // qt_message_box.cpp

namespace {
MessageBoxPresenter* g_installed = nullptr;
}

MessageBoxPresenter& ActivePresenter()
{
    return g_installed != nullptr ? *g_installed : QtPresenter();
}

MessageBoxPresenter* SetPresenter(MessageBoxPresenter* presenter)
{
    MessageBoxPresenter* previous = g_installed;
    g_installed = presenter;
    return previous;
}

}  // namespace dravenlok::ui
