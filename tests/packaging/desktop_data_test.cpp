// The desktop integration data drawn from the program itself: the theme
// icons (PNG at each size and the scalable SVG) must show exactly the pixels
// of the application's icon group, and Qt must know the desktop entry's id.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QImage>
#include <QString>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <regex>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/resource.h"
#include "app/resources.h"
#include "packaging/icon_svg.h"
#include "platform/ui/icon_png.h"

namespace {

namespace fs = std::filesystem;
using dravenlok::ui::IconImage;

const fs::path kIconRoot = fs::path(DRAVENLOK_PACKAGING_DIR) / "icons" / "hicolor";

const IconImage& GroupImage(int width)
{
    const auto* group = dravenlok::app::Resources().FindIcon(IDR_MAINFRAME);
    for (const IconImage& image : group->images) {
        if (image.width == width) {
            return image;
        }
    }
    throw std::runtime_error("icon group 128 has no image of width " + std::to_string(width));
}

// The icon's own pixel, read straight from the resource data: 0xAARRGGBB,
// fully transparent where the mask bit is set.
std::uint32_t SourcePixel(const IconImage& image, int x, int y)
{
    const auto width = static_cast<std::size_t>(image.width);
    const auto row = static_cast<std::size_t>(y);
    const auto column = static_cast<std::size_t>(x);
    if ((image.mask[row * width / 8 + column / 8] & (0x80u >> (column % 8))) != 0) {
        return 0;
    }
    const std::uint8_t pair = image.pixels[row * width / 2 + column / 2];
    return 0xFF000000u | image.palette[(column % 2 == 0 ? pair >> 4 : pair) & 0x0Fu];
}

std::uint32_t ImagePixel(const QImage& image, int x, int y)
{
    const QRgb pixel = image.pixel(x, y);
    return qAlpha(pixel) == 0 ? 0u : static_cast<std::uint32_t>(pixel);
}

std::string ReadFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// ---- Theme icons ------------------------------------------------------------------------
// Each size is the image of the group no larger than it, enlarged by nearest
// neighbour: every pixel has the colour of the source pixel its top-left
// corner falls in, with no blended colours and no pixel of the design lost.
TEST(ThemeIcons, EachSizeShowsTheIconGroupsPixels)
{
    struct Case {
        int size;
        int source;
    };
    for (const Case c : {Case{16, 16}, Case{32, 32}, Case{48, 32}, Case{128, 32}, Case{256, 32}}) {
        SCOPED_TRACE(c.size);
        const std::string square = std::to_string(c.size) + "x" + std::to_string(c.size);
        const fs::path file = kIconRoot / square / "apps" / (std::string(DRAVENLOK_APP_ID) + ".png");
        QImage png;
        ASSERT_TRUE(png.load(QString::fromStdString(file.string()), "PNG")) << file;
        ASSERT_EQ(png.width(), c.size);
        ASSERT_EQ(png.height(), c.size);
        ASSERT_TRUE(png.hasAlphaChannel());

        const IconImage& source = GroupImage(c.source);
        int wrong = 0;
        for (int y = 0; y < c.size; ++y) {
            for (int x = 0; x < c.size; ++x) {
                const int sx = x * c.source / c.size;
                const int sy = y * c.source / c.size;
                if (ImagePixel(png, x, y) != SourcePixel(source, sx, sy)) {
                    ++wrong;
                }
            }
        }
        EXPECT_EQ(wrong, 0);
    }
}

// The SVG redraws the 32-pixel image with one rectangle per run of one colour:
// every opaque pixel covered exactly once, in its colour, nothing elsewhere.
TEST(ThemeIcons, ScalableIconRedrawsTheLargeImageExactly)
{
    const std::string svg =
        ReadFile(kIconRoot / "scalable" / "apps" / (std::string(DRAVENLOK_APP_ID) + ".svg"));
    ASSERT_NE(svg.find("viewBox=\"0 0 32 32\""), std::string::npos);

    const IconImage& source = GroupImage(32);
    std::vector<std::uint32_t> drawn(32 * 32, 0);
    std::vector<int> coverage(32 * 32, 0);
    const std::regex rect(R"re(<rect x="(\d+)" y="(\d+)" width="(\d+)" height="(\d+)" fill="#([0-9A-F]{6})"/>)re");
    int rects = 0;
    for (auto it = std::sregex_iterator(svg.begin(), svg.end(), rect); it != std::sregex_iterator(); ++it) {
        ++rects;
        const int x = std::stoi((*it)[1]);
        const int y = std::stoi((*it)[2]);
        const int w = std::stoi((*it)[3]);
        const int h = std::stoi((*it)[4]);
        const auto colour = 0xFF000000u | static_cast<std::uint32_t>(std::stoul((*it)[5], nullptr, 16));
        ASSERT_TRUE(x >= 0 && y >= 0 && w > 0 && h > 0 && x + w <= 32 && y + h <= 32) << it->str();
        for (int py = y; py < y + h; ++py) {
            for (int px = x; px < x + w; ++px) {
                drawn[static_cast<std::size_t>(py * 32 + px)] = colour;
                ++coverage[static_cast<std::size_t>(py * 32 + px)];
            }
        }
    }
    EXPECT_GT(rects, 0);
    for (int y = 0; y < 32; ++y) {
        for (int x = 0; x < 32; ++x) {
            const auto at = static_cast<std::size_t>(y * 32 + x);
            const std::uint32_t expected = SourcePixel(source, x, y);
            EXPECT_EQ(drawn[at], expected) << "pixel " << x << "," << y;
            EXPECT_EQ(coverage[at], expected == 0 ? 0 : 1) << "pixel " << x << "," << y;
        }
    }
}

// A fixture of two rows: runs of one colour merge, a transparent gap or a
// change of colour starts a new rectangle.
TEST(ThemeIcons, ScalableIconMergesRunsOfOneColour)
{
    static constexpr std::uint32_t palette[16] = {0x000000, 0xFF0000, 0x00FF00};
    // Row 0: 1 1 1 . . 2 2 1    Row 1: all transparent.
    static constexpr std::uint8_t pixels[] = {0x11, 0x10, 0x02, 0x21, 0x00, 0x00, 0x00, 0x00};
    static constexpr std::uint8_t mask[] = {0x18, 0xFF};
    const IconImage image{8, 2, std::span<const std::uint32_t, 16>(palette), pixels, mask};
    const std::optional<std::string> svg = dravenlok::packaging::IconSvg(image);
    ASSERT_TRUE(svg.has_value());
    const std::string body = svg->substr(svg->find("<rect"));
    EXPECT_EQ(body,
              "<rect x=\"0\" y=\"0\" width=\"3\" height=\"1\" fill=\"#FF0000\"/>\n"
              "<rect x=\"5\" y=\"0\" width=\"2\" height=\"1\" fill=\"#00FF00\"/>\n"
              "<rect x=\"7\" y=\"0\" width=\"1\" height=\"1\" fill=\"#FF0000\"/>\n"
              "</svg>\n");
}

// Malformed image data gives no file and no read past the data's end.
TEST(ThemeIcons, MalformedImagesAreRefused)
{
    static constexpr std::uint32_t palette[16] = {};
    static constexpr std::uint8_t pixels[32 * 32 / 2] = {};
    static constexpr std::uint8_t mask[32 * 32 / 8] = {};
    const std::span<const std::uint32_t, 16> colours(palette);
    const std::span<const std::uint8_t> allPixels(pixels);
    const std::span<const std::uint8_t> allMask(mask);
    struct Case {
        const char* what;
        IconImage image;
    };
    const Case cases[] = {
        {"width not a multiple of 8", {12, 12, colours, allPixels, allMask}},
        {"no pixels at all", {0, 0, colours, allPixels, allMask}},
        {"larger than any icon", {512, 512, colours, allPixels, allMask}},
        {"pixel data one byte short", {32, 32, colours, allPixels.first(511), allMask}},
        {"mask one byte short", {32, 32, colours, allPixels, allMask.first(127)}},
    };
    const fs::path out = fs::temp_directory_path() / "dravenlok-malformed.png";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_FALSE(dravenlok::packaging::IconSvg(c.image).has_value());
        EXPECT_FALSE(dravenlok::ui::SaveIconPng(c.image, 32, out.string()));
        EXPECT_FALSE(fs::exists(out));
    }
}

TEST(ThemeIcons, PngSizeOutOfRangeOrUnwritablePathFails)
{
    const IconImage& image = GroupImage(32);
    const fs::path dir = fs::temp_directory_path() / "dravenlok-icon-png";
    fs::create_directories(dir);
    EXPECT_FALSE(dravenlok::ui::SaveIconPng(image, 0, (dir / "zero.png").string()));
    EXPECT_FALSE(dravenlok::ui::SaveIconPng(image, 4096, (dir / "huge.png").string()));
    EXPECT_FALSE(dravenlok::ui::SaveIconPng(image, 32, (dir / "missing" / "icon.png").string()));
    EXPECT_TRUE(dravenlok::ui::SaveIconPng(image, 64, (dir / "fine.png").string()));
    EXPECT_EQ(QImage(QString::fromStdString((dir / "fine.png").string())).width(), 64);
    fs::remove_all(dir);
}

// ---- Desktop entry ----------------------------------------------------------------------
// Wayland shows a window's icon by the desktop entry whose name Qt sends;
// the program must send the name of the entry that is installed.
TEST(DesktopEntry, QtIsToldTheInstalledEntrysName)
{
    const fs::path entry = fs::path(DRAVENLOK_PACKAGING_DIR) / (std::string(DRAVENLOK_APP_ID) + ".desktop");
    ASSERT_TRUE(fs::exists(entry)) << entry;
    int argc = 1;
    char name[] = "Dravenlok";
    char* argv[] = {name, nullptr};
    QGuiApplication application(argc, argv);
    EXPECT_EQ(QGuiApplication::desktopFileName().toStdString(), entry.stem().string());
}

}  // namespace
