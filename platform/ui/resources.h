// Resources as data: what an executable carries besides its code. The
// application describes its dialog templates, icon groups and version block
// in these types (plain constant data) and hands the module to the framework
// at start-up; the ui layer builds windows and icons from it.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "platform/win32/win32.h"

namespace dravenlok::ui {

// One control of a dialog template. Positions and sizes are dialog units.
struct DialogItem {
    int id;
    std::string_view windowClass;  // "BUTTON" (push buttons are the one kind built)
    std::string_view text;
    DWORD style;
    DWORD exStyle;
    DWORD helpId;
    short x, y, cx, cy;
};

// An extended dialog template. The items are listed in template order, which
// is also their tab order. x, y, cx, cy are the client area in dialog units.
struct DialogTemplate {
    int id;
    WORD language;
    DWORD helpId;
    DWORD style;
    DWORD exStyle;
    short x, y, cx, cy;
    std::string_view caption;
    WORD pointSize;  // the dialog font (DS_SETFONT)
    WORD weight;
    bool italic;
    BYTE charset;
    std::string_view typeface;
    std::span<const DialogItem> items;
};

// One image of an icon: 16 colours, 4 bits per pixel. `pixels` holds the rows
// top to bottom, two pixels a byte (high nibble first), width / 2 bytes a row;
// `mask` holds one bit a pixel (high bit first), width / 8 bytes a row, set
// where the image is transparent.
struct IconImage {
    int width;
    int height;
    std::span<const std::uint32_t, 16> palette;  // 0xRRGGBB
    std::span<const std::uint8_t> pixels;
    std::span<const std::uint8_t> mask;
};

struct IconGroup {
    int id;
    WORD language;
    std::span<const IconImage> images;
};

struct VersionString {
    std::string_view key;
    std::string_view value;
};

// The version block: fixed part and one string table.
struct VersionInfo {
    WORD fileVersion[4];
    WORD productVersion[4];
    DWORD fileFlagsMask;
    DWORD fileFlags;
    DWORD fileOS;
    DWORD fileType;
    DWORD fileSubtype;
    WORD language;
    WORD codePage;
    std::span<const VersionString> strings;
};

struct ResourceModule {
    std::span<const DialogTemplate> dialogs;
    std::span<const IconGroup> icons;
    const VersionInfo* version;

    [[nodiscard]] const DialogTemplate* FindDialog(int id) const noexcept
    {
        for (const auto& dialog : dialogs) {
            if (dialog.id == id) {
                return &dialog;
            }
        }
        return nullptr;
    }

    [[nodiscard]] const IconGroup* FindIcon(int id) const noexcept
    {
        for (const auto& icon : icons) {
            if (icon.id == id) {
                return &icon;
            }
        }
        return nullptr;
    }
};

}  // namespace dravenlok::ui
