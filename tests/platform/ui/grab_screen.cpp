// Test tool: saves a picture of the whole screen of the X display it runs on
// (Qt's own screen grab) as PNG, and prints its size and how many colours it
// holds, so a check can tell an empty screen from one with a window on it.
//
//     grab_screen <out.png>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>

#include <cstdio>
#include <unordered_set>

int main(int argc, char* argv[])
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: grab_screen <out.png>\n");
        return 2;
    }
    QGuiApplication application(argc, argv);
    QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) {
        std::fprintf(stderr, "grab_screen: no screen\n");
        return 1;
    }
    const QImage image = screen->grabWindow(0).toImage();
    if (image.isNull() || !image.save(QString::fromLocal8Bit(argv[1]), "PNG")) {
        std::fprintf(stderr, "grab_screen: cannot grab or save\n");
        return 1;
    }
    std::unordered_set<QRgb> colours;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            colours.insert(image.pixel(x, y));
        }
    }
    std::printf("size=%dx%d colours=%zu\n", image.width(), image.height(), colours.size());
    return 0;
}
