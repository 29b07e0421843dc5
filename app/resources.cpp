// The application's resources as constant data: the main dialog's template,
// the icon group and the version block.
#include "app/resources.h"

#include <array>
#include <cstdint>
#include <string_view>

#include "app/resource.h"
#include "dravenlok_version.h"
#include "platform/ui/user.h"

namespace dravenlok::app {

namespace {

using ui::DialogItem;
using ui::DialogTemplate;
using ui::IconGroup;
using ui::IconImage;
using ui::VersionInfo;
using ui::VersionString;

constexpr WORD kEnglishUS = 1033;
constexpr WORD kEnglishUK = 2057;

// ---- Dialog IDD_PROBE_DIALOG -------------------------------------------------------------
constexpr DWORD kButtonStyle = WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON;

// Template order is tab order: 1000, 1002, 1003, although 1003 sits between
// the other two on screen.
constexpr DialogItem kProbeItems[] = {
    {IDC_CONNECT_WININET, "BUTTON", "Connect With WinInet", kButtonStyle, 0, 0, 7, 7, 125, 17},
    {IDC_CONNECT_WINSOCK, "BUTTON", "Connect With Winsock", kButtonStyle, 0, 0, 7, 46, 125, 14},
    {IDC_CONNECT_WININET2, "BUTTON", "Connect WinInet 2", kButtonStyle, 0, 0, 7, 27, 125, 14},
};

// WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT:
// a close box, no minimize or maximize box.
constexpr DWORD kProbeDialogStyle = 0x90C800C0;
static_assert(kProbeDialogStyle ==
              (WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT));

constexpr DialogTemplate kDialogs[] = {
    {IDD_PROBE_DIALOG, kEnglishUS, 0, kProbeDialogStyle, WS_EX_APPWINDOW, 0, 0, 139, 67, "Dravenlok",
     8, 0, false, 1 /* DEFAULT_CHARSET */, "MS Sans Serif", kProbeItems},
};

// ---- Icon group IDR_MAINFRAME ------------------------------------------------------------
// A signal mast sending three waves, in the 16 standard colours. Each
// character is one pixel: a palette index in hex, or '.' for transparent.
constexpr std::array<std::uint32_t, 16> kPalette = {
    0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080, 0x008080, 0xC0C0C0,
    0x808080, 0xFF0000, 0x00FF00, 0xFFFF00, 0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF,
};

constexpr std::string_view kIcon32[] = {
"................................",
    "................................",
    "................................",
    "................................",
    "............11111111............",
    ".........11111111111111.........",
    ".......11111........11111.......",
    "......1111............1111......",
    ".....111................111.....",
    "....111....9999999999....111....",
    "....11....999999999999....11....",
    "........9999........9999........",
    ".......999............999.......",
    "........9....BBBBBB....9........",
    "............BBBBBBBB............",
    "...........BBB....BBB...........",
    "................................",
    "................................",
    "..............9999..............",
    "..............9FF9..............",
    "..............9FF9..............",
    "..............9999..............",
    "..............4CC4..............",
    ".............444444.............",
    ".............4CCCC4.............",
    "............4CCCCCC4............",
    "............4CCCCCC4............",
    "...........4444444444...........",
    "...........4CCCCCCCC4...........",
    "..........4CCCCCCCCCC4..........",
    ".........4CCCCCCCCCCCC4.........",
    ".........44444444444444........."
};

constexpr std::string_view kIcon16[] = {
    "................",
    "................",
    ".....111111.....",
    "...1111111111...",
    "..11..9999..11..",
    "..1.99999999.1..",
    "...999....999...",
    ".....BBBBBB.....",
    "......B..B......",
    ".......99.......",
    ".......FF.......",
    ".......99.......",
    "......4CC4......",
    ".....444444.....",
    ".....4CCCC4.....",
    "....44444444...."
};

// 4-bit pixels (two a byte, high nibble first) and the 1-bit transparency
// mask of an icon drawn as text; a malformed drawing does not compile.
template <std::size_t Size>
struct PackedIcon {
    std::array<std::uint8_t, Size * Size / 2> pixels{};
    std::array<std::uint8_t, Size * Size / 8> mask{};
};

constexpr unsigned PixelIndex(char pixel)
{
    if (pixel >= '0' && pixel <= '9') {
        return static_cast<unsigned>(pixel - '0');
    }
    if (pixel >= 'A' && pixel <= 'F') {
        return static_cast<unsigned>(pixel - 'A' + 10);
    }
    if (pixel == '.') {
        return 0;
    }
    throw "icon drawing: a pixel is neither a hex digit nor '.'";
}

template <std::size_t Size>
constexpr PackedIcon<Size> Pack(const std::string_view (&rows)[Size])
{
    PackedIcon<Size> out;
    for (std::size_t y = 0; y < Size; ++y) {
        if (rows[y].size() != Size) {
            throw "icon drawing: a row has the wrong length";
        }
        for (std::size_t x = 0; x < Size; ++x) {
            const unsigned index = PixelIndex(rows[y][x]);
            const std::size_t pixel = y * Size + x;
            out.pixels[pixel / 2] = static_cast<std::uint8_t>(out.pixels[pixel / 2] | (x % 2 == 0 ? index << 4 : index));
            if (rows[y][x] == '.') {
                out.mask[pixel / 8] = static_cast<std::uint8_t>(out.mask[pixel / 8] | (0x80u >> (x % 8)));
            }
        }
    }
    return out;
}

constexpr auto kPacked32 = Pack(kIcon32);
constexpr auto kPacked16 = Pack(kIcon16);

constexpr IconImage kMainFrameImages[] = {
    {32, 32, kPalette, kPacked32.pixels, kPacked32.mask},
    {16, 16, kPalette, kPacked16.pixels, kPacked16.mask},
};

constexpr IconGroup kIcons[] = {
    {IDR_MAINFRAME, kEnglishUK, kMainFrameImages},
};

// ---- Version block --------------------------------------------------------------------
// The numbers come from the project version of the build (one place for the
// program and its package).
constexpr VersionString kVersionStrings[] = {
    {"CompanyName", ""},
    {"FileDescription", "Dravenlok MFC Application"},
    {"FileVersion", DRAVENLOK_VERSION_COMMAS},
    {"InternalName", "Dravenlok"},
    {"LegalCopyright", "Copyright (C) 2026 The Dravenlok developers"},
    {"LegalTrademarks", ""},
    {"OriginalFilename", "Dravenlok.EXE"},
    {"ProductName", "Dravenlok Application"},
    {"ProductVersion", DRAVENLOK_VERSION_COMMAS},
};

constexpr DWORD kVosWindows32 = 4;
constexpr DWORD kVftApp = 1;

constexpr VersionInfo kVersion = {
    {DRAVENLOK_VERSION_MAJOR, DRAVENLOK_VERSION_MINOR, DRAVENLOK_VERSION_PATCH, DRAVENLOK_VERSION_TWEAK},
    {DRAVENLOK_VERSION_MAJOR, DRAVENLOK_VERSION_MINOR, DRAVENLOK_VERSION_PATCH, DRAVENLOK_VERSION_TWEAK},
    0x3F,
    0,
    kVosWindows32,
    kVftApp,
    0,
    0x0409,
    1200,
    kVersionStrings,
};

constexpr ui::ResourceModule kModule = {kDialogs, kIcons, &kVersion};

}  // namespace

const ui::ResourceModule& Resources() noexcept
{
    return kModule;
}

}  // namespace dravenlok::app
