// Build tool: writes the program's icons for the desktop's hicolor theme from
// the application's own icon group, so the launcher, the task bar and the
// window show one design.
//
//     dravenlok_export_icons <out-dir> <icon-name>
//
// writes <out-dir>/hicolor/<N>x<N>/apps/<icon-name>.png for each theme size
// and <out-dir>/hicolor/scalable/apps/<icon-name>.svg.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "app/resource.h"
#include "app/resources.h"
#include "packaging/icon_svg.h"
#include "platform/ui/icon_png.h"

namespace {

namespace fs = std::filesystem;
using dravenlok::ui::IconGroup;
using dravenlok::ui::IconImage;

constexpr int kThemeSizes[] = {16, 32, 48, 128, 256};

// The image a theme size is drawn from: the largest one no larger than the
// size, so each size shows the most detail the design has for it and no
// pixel is ever dropped (the 16-pixel image is drawn for that size itself);
// the smallest image when all are larger.
const IconImage& SourceFor(const IconGroup& group, int size)
{
    const IconImage* best = nullptr;
    for (const IconImage& image : group.images) {
        if (image.width <= size && (best == nullptr || image.width > best->width)) {
            best = &image;
        }
    }
    if (best == nullptr) {
        for (const IconImage& image : group.images) {
            if (best == nullptr || image.width < best->width) {
                best = &image;
            }
        }
    }
    return *best;
}

const IconImage& Largest(const IconGroup& group)
{
    const IconImage* best = &group.images.front();
    for (const IconImage& image : group.images) {
        if (image.width > best->width) {
            best = &image;
        }
    }
    return *best;
}

bool WriteText(const fs::path& path, const std::string& text)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    return !out.fail();
}

}  // namespace

int main(int argc, char* argv[])
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: dravenlok_export_icons <out-dir> <icon-name>\n");
        return 2;
    }
    const fs::path root = fs::path(argv[1]) / "hicolor";
    const std::string name = argv[2];

    const IconGroup* group = dravenlok::app::Resources().FindIcon(IDR_MAINFRAME);
    if (group == nullptr || group->images.empty()) {
        std::fprintf(stderr, "dravenlok_export_icons: the program has no icon group %d\n", IDR_MAINFRAME);
        return 1;
    }

    std::error_code error;
    for (const int size : kThemeSizes) {
        const std::string square = std::to_string(size) + "x" + std::to_string(size);
        const fs::path folder = root / square / "apps";
        fs::create_directories(folder, error);
        const fs::path file = folder / (name + ".png");
        if (error || !dravenlok::ui::SaveIconPng(SourceFor(*group, size), size, file.string())) {
            std::fprintf(stderr, "dravenlok_export_icons: cannot write %s\n", file.c_str());
            return 1;
        }
    }

    const std::optional<std::string> svg = dravenlok::packaging::IconSvg(Largest(*group));
    const fs::path folder = root / "scalable" / "apps";
    fs::create_directories(folder, error);
    const fs::path file = folder / (name + ".svg");
    if (!svg || error || !WriteText(file, *svg)) {
        std::fprintf(stderr, "dravenlok_export_icons: cannot write %s\n", file.c_str());
        return 1;
    }
    return 0;
}
