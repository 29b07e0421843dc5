// Linked into the program only: tells Qt the id of the program's desktop
// entry as soon as the application object exists. Wayland compositors match
// windows to their desktop entry (and so to its icon) by this id, sent as the
// xdg-shell app_id.
#include <QGuiApplication>
#include <QString>

namespace {

void NameDesktopEntry()
{
    QGuiApplication::setDesktopFileName(QStringLiteral(DRAVENLOK_APP_ID));
}

}  // namespace

Q_COREAPP_STARTUP_FUNCTION(NameDesktopEntry)
