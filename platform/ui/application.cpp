#include "platform/ui/application.h"

#include <QApplication>

#include <string>

#include "platform/ui/qt_internal.h"

namespace dravenlok::ui {

namespace {

// QApplication keeps references to its argument count and vector.
int g_argc = 1;
std::string g_programName = "Dravenlok";
char* g_argv[] = {g_programName.data(), nullptr};

QApplication* MakeApplication()
{
    auto* application = new QApplication(g_argc, g_argv);
    // Windows come and go with modal loops of their own; closing the last
    // one must not end any loop still running.
    QApplication::setQuitOnLastWindowClosed(false);
    return application;
}

}  // namespace

void EnsureApplication()
{
    if (QApplication::instance() == nullptr) {
        MakeApplication();  // kept to the end of the process, reachable through qApp
    }
}

Session::Session(const char* programPath)
{
    if (QApplication::instance() != nullptr) {
        return;
    }
    if (programPath != nullptr && *programPath != '\0') {
        g_programName = programPath;
        g_argv[0] = g_programName.data();
    }
    MakeApplication();
    m_owned = true;
}

Session::~Session()
{
    if (m_owned) {
        delete QApplication::instance();
    }
}

}  // namespace dravenlok::ui
