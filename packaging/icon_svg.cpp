#include "packaging/icon_svg.h"

#include <cstdint>
#include <cstdio>

namespace dravenlok::packaging {

namespace {

constexpr int kLargestIcon = 256;

bool WellFormed(const ui::IconImage& image)
{
    if (image.width < 8 || image.height < 1 || image.width > kLargestIcon || image.height > kLargestIcon ||
        image.width % 8 != 0) {
        return false;
    }
    const auto width = static_cast<std::size_t>(image.width);
    const auto height = static_cast<std::size_t>(image.height);
    return image.pixels.size() >= width / 2 * height && image.mask.size() >= width / 8 * height;
}

// The 0xRRGGBB colour of a pixel, or nothing where the mask makes it transparent.
std::optional<std::uint32_t> PixelColour(const ui::IconImage& image, int x, int y)
{
    const auto width = static_cast<std::size_t>(image.width);
    const auto column = static_cast<std::size_t>(x);
    const auto row = static_cast<std::size_t>(y);
    if ((image.mask[row * (width / 8) + column / 8] & (0x80u >> (column % 8))) != 0) {
        return std::nullopt;
    }
    const std::uint8_t pair = image.pixels[row * (width / 2) + column / 2];
    const unsigned index = (column % 2 == 0 ? pair >> 4 : pair) & 0x0Fu;
    return image.palette[index] & 0x00FFFFFFu;
}

}  // namespace

std::optional<std::string> IconSvg(const ui::IconImage& image)
{
    if (!WellFormed(image)) {
        return std::nullopt;
    }
    std::string svg = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    char line[160];
    std::snprintf(line, sizeof line,
                  "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%d\" height=\"%d\" viewBox=\"0 0 %d %d\" "
                  "shape-rendering=\"crispEdges\">\n",
                  image.width, image.height, image.width, image.height);
    svg += line;
    for (int y = 0; y < image.height; ++y) {
        int x = 0;
        while (x < image.width) {
            const std::optional<std::uint32_t> colour = PixelColour(image, x, y);
            int end = x + 1;
            while (end < image.width && PixelColour(image, end, y) == colour) {
                ++end;
            }
            if (colour) {
                std::snprintf(line, sizeof line, "<rect x=\"%d\" y=\"%d\" width=\"%d\" height=\"1\" fill=\"#%06X\"/>\n", x,
                              y, end - x, static_cast<unsigned>(*colour));
                svg += line;
            }
            x = end;
        }
    }
    svg += "</svg>\n";
    return svg;
}

}  // namespace dravenlok::packaging
