// The program exactly as shipped (the same application object, resources
// and libraries), with a timing hook: it prints the moment its dialog is
// first painted and its peak memory, then closes the dialog as a user would.
// With the argument "probes" it first clicks each of the three buttons in
// turn, closing each message box once it is painted, and prints the peak
// memory after each. Output lines: "<key> <value>".
#include <QApplication>
#include <QWidget>

#include <chrono>
#include <cstdio>
#include <cstring>

#include "app/probe_app.h"
#include "app/resource.h"
#include "app/resources.h"
#include "bench/shown_watch.h"
#include "platform/ui/testing.h"

CProbeApp theApp;

namespace {

bool g_clickButtons = false;

long long MonotonicNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void Print(const char* key, long long value)
{
    std::printf("%s %lld\n", key, value);
    std::fflush(stdout);
}

void OnShown(QWidget& window)
{
    CWnd* main = AfxGetMainWnd();
    if (main == nullptr || window.objectName() == QStringLiteral("dravenlokMessageBox")) {
        window.close();  // a probe's message box: read, closed
        return;
    }
    Print("shown_ns", MonotonicNs());
    Print("hwm_kb_dialog", dravenlok::bench::PeakResidentKb());
    if (g_clickButtons) {
        struct Button {
            int id;
            const char* key;
        };
        for (const Button button : {Button{IDC_CONNECT_WININET, "hwm_kb_after_GetURL"},
                                    Button{IDC_CONNECT_WININET2, "hwm_kb_after_RunClientProbe"},
                                    Button{IDC_CONNECT_WINSOCK, "hwm_kb_after_GetWebFile"}}) {
            SendMessageA(GetDlgItem(main->m_hWnd, button.id), BM_CLICK, 0, 0);
            Print(button.key, dravenlok::bench::PeakResidentKb());
        }
    }
    dravenlok::ui::testing::ClickCloseBox(main->m_hWnd);
}

// Runs as soon as the program's application object exists, before any window.
void InstallWatch()
{
    auto* watch = new dravenlok::bench::ShownWatch(&OnShown);
    watch->setParent(QCoreApplication::instance());  // goes with the application object
}

}  // namespace

Q_COREAPP_STARTUP_FUNCTION(InstallWatch)

int main(int argc, char* argv[])
{
    g_clickButtons = argc > 1 && std::strcmp(argv[1], "probes") == 0;
    return AfxWinMain(1, argv, &dravenlok::app::Resources());
}
