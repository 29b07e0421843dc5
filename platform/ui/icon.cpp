// Icons from 16-colour resource data, system metrics and painting.
#include <QApplication>
#include <QIcon>
#include <QPixmap>

#include <map>

#include "platform/ui/qt_internal.h"
#include "platform/ui/testing.h"

namespace dravenlok::ui {

namespace {

constexpr int kIconSize = 32;
constexpr int kSmallIconSize = 16;

bool g_recordIcons = false;
std::vector<testing::DrawnIcon>& DrawnIconLog()
{
    static std::vector<testing::DrawnIcon> log;
    return log;
}

}  // namespace

QImage DecodeIconImage(const IconImage& image)
{
    const int width = image.width;
    const int height = image.height;
    if (width <= 0 || height <= 0 || width > 256 || height > 256 || width % 8 != 0) {
        return {};
    }
    const auto pixelRow = static_cast<std::size_t>(width / 2);
    const auto maskRow = static_cast<std::size_t>(width / 8);
    if (image.pixels.size() < pixelRow * static_cast<std::size_t>(height) ||
        image.mask.size() < maskRow * static_cast<std::size_t>(height)) {
        return {};
    }
    QImage out(width, height, QImage::Format_ARGB32);
    for (int y = 0; y < height; ++y) {
        const auto row = static_cast<std::size_t>(y);
        for (int x = 0; x < width; ++x) {
            const auto column = static_cast<std::size_t>(x);
            const std::uint8_t pair = image.pixels[row * pixelRow + column / 2];
            const unsigned index = (x % 2 == 0 ? pair >> 4 : pair) & 0x0Fu;
            const bool transparent = (image.mask[row * maskRow + column / 8] & (0x80u >> (x % 8))) != 0;
            out.setPixel(x, y, transparent ? 0u : (0xFF000000u | (image.palette[index] & 0x00FFFFFFu)));
        }
    }
    return out;
}

const QImage& Icon::Best(int size) const
{
    const QImage* best = &images.front();
    for (const QImage& image : images) {
        if (std::abs(image.width() - size) < std::abs(best->width() - size)) {
            best = &image;
        }
    }
    return *best;
}

void ApplyWindowIcon(Window& window)
{
    if (window.widget == nullptr) {
        return;
    }
    QIcon icon;
    for (HICON handle : {window.bigIcon, window.smallIcon}) {
        if (handle == nullptr) {
            continue;
        }
        for (const QImage& image : handle->images) {
            icon.addPixmap(QPixmap::fromImage(image));
        }
    }
    window.widget->setWindowIcon(icon);
}

bool RecordingDrawnIcons() noexcept
{
    return g_recordIcons;
}

void RecordDrawnIcon(HWND window, int x, int y, HICON icon)
{
    DrawnIconLog().push_back(testing::DrawnIcon{window, x, y, icon});
}

namespace testing {

void RecordDrawnIcons(bool on)
{
    g_recordIcons = on;
    DrawnIconLog().clear();
}

std::vector<DrawnIcon> DrawnIcons()
{
    return DrawnIconLog();
}

}  // namespace testing

}  // namespace dravenlok::ui

using dravenlok::ui::Live;
using dravenlok::ui::Window;

HICON LoadIconA(HINSTANCE instance, int id)
{
    using dravenlok::ui::Icon;
    if (instance == nullptr) {
        return nullptr;
    }
    const dravenlok::ui::IconGroup* group = instance->FindIcon(id);
    if (group == nullptr) {
        return nullptr;
    }
    // Shared icons: one per group for the whole process, as resource icons
    // are never destroyed.
    static std::map<const dravenlok::ui::IconGroup*, std::unique_ptr<Icon>> loaded;
    auto& slot = loaded[group];
    if (slot == nullptr) {
        auto icon = std::make_unique<Icon>();
        for (const auto& image : group->images) {
            if (QImage decoded = dravenlok::ui::DecodeIconImage(image); !decoded.isNull()) {
                icon->images.push_back(std::move(decoded));
            }
        }
        if (icon->images.empty()) {
            loaded.erase(group);
            return nullptr;
        }
        slot = std::move(icon);
    }
    return slot.get();
}

int GetSystemMetrics(int index)
{
    switch (index) {
    case SM_CXICON:
    case SM_CYICON:
        return dravenlok::ui::kIconSize;
    case SM_CXSMICON:
    case SM_CYSMICON:
        return dravenlok::ui::kSmallIconSize;
    default:
        return 0;
    }
}

HDC BeginPaint(HWND handle, PAINTSTRUCT* paint)
{
    Window* window = Live(handle);
    if (paint != nullptr) {
        *paint = PAINTSTRUCT{nullptr, FALSE, RECT{0, 0, 0, 0}};
    }
    if (window == nullptr || window->widget == nullptr || window->paintContext != nullptr) {
        return nullptr;
    }
    auto dc = std::make_unique<dravenlok::ui::DeviceContext>();
    dc->window = window;
    QWidget& widget = *window->widget;
    if (window->inPaintEvent && !widget.isMinimized()) {
        dc->painter = std::make_unique<QPainter>(&widget);
    } else {
        // No window system here shows a minimized window's client area: the
        // painting goes to a picture of it.
        dc->offscreen = QImage(std::max(1, widget.width()), std::max(1, widget.height()), QImage::Format_ARGB32);
        dc->offscreen.fill(Qt::transparent);
        dc->painter = std::make_unique<QPainter>(&dc->offscreen);
    }
    window->paintContext = std::move(dc);
    if (paint != nullptr) {
        paint->hdc = window->paintContext.get();
        paint->rcPaint = RECT{0, 0, widget.width(), widget.height()};
    }
    return window->paintContext.get();
}

BOOL EndPaint(HWND handle, const PAINTSTRUCT* /*paint*/)
{
    Window* window = Live(handle);
    if (window == nullptr || window->paintContext == nullptr) {
        return FALSE;
    }
    window->paintContext.reset();
    return TRUE;
}

BOOL DrawIcon(HDC dc, int x, int y, HICON icon)
{
    if (dc == nullptr || icon == nullptr || icon->images.empty()) {
        return FALSE;
    }
    if (dravenlok::ui::RecordingDrawnIcons()) {
        dravenlok::ui::RecordDrawnIcon(dc->window, x, y, icon);
    }
    if (dc->painter != nullptr) {
        const int size = GetSystemMetrics(SM_CXICON);
        dc->painter->drawImage(QRect(x, y, size, size), icon->Best(size));
    }
    return TRUE;
}
