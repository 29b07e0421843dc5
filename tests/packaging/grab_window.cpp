// Test tool: saves a picture of one X window (by id, as xdotool prints it)
// as PNG, for the end-to-end test's picture of the dialog.
//
//     grab_window <window-id> <out.png>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <QString>

#include <cstdio>
#include <cstdlib>

int main(int argc, char* argv[])
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: grab_window <window-id> <out.png>\n");
        return 2;
    }
    char* end = nullptr;
    const unsigned long window = std::strtoul(argv[1], &end, 0);
    if (end == argv[1] || *end != '\0' || window == 0) {
        std::fprintf(stderr, "grab_window: not a window id: %s\n", argv[1]);
        return 2;
    }
    int qtArgc = 1;
    QGuiApplication application(qtArgc, argv);
    QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) {
        std::fprintf(stderr, "grab_window: no screen\n");
        return 1;
    }
    const QImage image = screen->grabWindow(static_cast<WId>(window)).toImage();
    if (image.isNull() || !image.save(QString::fromLocal8Bit(argv[2]), "PNG")) {
        std::fprintf(stderr, "grab_window: cannot grab window %s or save the picture\n", argv[1]);
        return 1;
    }
    std::printf("size=%dx%d\n", image.width(), image.height());
    return 0;
}
