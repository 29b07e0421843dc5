// The scalable theme icon: the pixel art of an icon image as SVG, one
// rectangle per horizontal run of pixels of one colour, so the drawing stays
// exactly the window icon's at any size.
#pragma once

#include <optional>
#include <string>

#include "platform/ui/resources.h"

namespace dravenlok::packaging {

// The SVG document of `image`, drawn on a view box of its own pixel size;
// nothing when the image data is malformed (a size outside 8..256, a width
// not a multiple of 8, or pixel or mask data shorter than the size needs).
[[nodiscard]] std::optional<std::string> IconSvg(const ui::IconImage& image);

}  // namespace dravenlok::packaging
