// Icon images as PNG files, for the desktop's icon theme: the same pixels as
// the window icon, enlarged without smoothing so the pixel art stays sharp.
#pragma once

#include <string>

#include "platform/ui/resources.h"

namespace dravenlok::ui {

// Writes `image` enlarged (or reduced) to `size` x `size` pixels by nearest
// neighbour, transparent where its mask is set, as a PNG file at `path`.
// False when the image data is malformed, `size` is outside 1..1024 or the
// file cannot be written.
[[nodiscard]] bool SaveIconPng(const IconImage& image, int size, const std::string& path);

}  // namespace dravenlok::ui
