#pragma once
// Pictures of the wizard's pages as the screen shows them, and the check that every character of their texts
// has a glyph in the font it is drawn with (a character without one shows as a box).
#include <windows.h>
// After windows.h, which it needs.
#include <commctrl.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <set>
#include <string>
#include <vector>

#include "WizardPilot.h"

namespace korax::test {

// Saves the screen's picture of the windows (their bounding rectangle) as `name`.bmp in the working folder;
// the test command turns it into PNG. False when the picture is blank: a single colour.
inline bool Capture(std::initializer_list<HWND> windows, const std::string& name) {
    RECT area{};
    for (HWND window : windows) {
        RECT place{};
        GetWindowRect(window, &place);
        if (IsRectEmpty(&area)) {
            area = place;
        } else {
            UnionRect(&area, &area, &place);
        }
    }
    const int width = area.right - area.left;
    const int height = area.bottom - area.top;
    if (width <= 0 || height <= 0) return false;

    BITMAPINFO format{};
    format.bmiHeader.biSize = sizeof format.bmiHeader;
    format.bmiHeader.biWidth = width;
    format.bmiHeader.biHeight = height; // rows from the bottom up, as a BMP file holds them
    format.bmiHeader.biPlanes = 1;
    format.bmiHeader.biBitCount = 24;
    format.bmiHeader.biCompression = BI_RGB;
    const int stride = (width * 3 + 3) & ~3;
    format.bmiHeader.biSizeImage = static_cast<DWORD>(stride * height);

    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    void* bits = nullptr;
    HBITMAP picture = CreateDIBSection(screen, &format, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ previous = SelectObject(memory, picture);
    BitBlt(memory, 0, 0, width, height, screen, area.left, area.top, SRCCOPY | CAPTUREBLT);
    GdiFlush();

    std::set<std::uint32_t> colours;
    const auto* bytes = static_cast<const std::uint8_t*>(bits);
    for (int y = 0; y < height && colours.size() < 3; ++y) {
        for (int x = 0; x < width; ++x) {
            const std::uint8_t* pixel = bytes + y * stride + x * 3;
            colours.insert(static_cast<std::uint32_t>(pixel[0] | pixel[1] << 8 | pixel[2] << 16));
        }
    }

    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42; // "BM"
    file.bfOffBits = sizeof file + sizeof format.bmiHeader;
    file.bfSize = file.bfOffBits + format.bmiHeader.biSizeImage;
    bool written = false;
    if (FILE* out = std::fopen((name + ".bmp").c_str(), "wb")) {
        written = std::fwrite(&file, sizeof file, 1, out) == 1 &&
                  std::fwrite(&format.bmiHeader, sizeof format.bmiHeader, 1, out) == 1 &&
                  std::fwrite(bits, format.bmiHeader.biSizeImage, 1, out) == 1;
        written = std::fclose(out) == 0 && written;
    }

    SelectObject(memory, previous);
    DeleteObject(picture);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    Check(written, name + ".bmp written");
    return colours.size() > 1;
}

// How many characters of `text` the window's font has no glyph for; line breaks are no characters drawn.
inline int MissingGlyphs(HWND window, std::wstring text) {
    std::erase_if(text, [](wchar_t c) { return c < L' '; });
    if (text.empty()) return 0;
    HDC dc = GetDC(window);
    auto font = reinterpret_cast<HFONT>(SendMessageW(window, WM_GETFONT, 0, 0));
    HGDIOBJ previous = SelectObject(dc, font != nullptr ? font : GetStockObject(DEFAULT_GUI_FONT));
    std::vector<WORD> glyphs(text.size());
    GetGlyphIndicesW(dc, text.c_str(), static_cast<int>(text.size()), glyphs.data(),
                     GGI_MARK_NONEXISTING_GLYPHS);
    SelectObject(dc, previous);
    ReleaseDC(window, dc);
    return static_cast<int>(std::count(glyphs.begin(), glyphs.end(), WORD{0xFFFF}));
}

inline BOOL CALLBACK CollectText(HWND child, LPARAM list) {
    reinterpret_cast<std::vector<std::pair<HWND, std::wstring>>*>(list)->emplace_back(child, TextOf(child));
    return TRUE;
}

// Every text the page shows: the caption, the controls' texts, list items, tab titles and tree nodes.
inline void CheckGlyphs(const Pilot& pilot, const std::string& page) {
    std::vector<std::pair<HWND, std::wstring>> shown{{pilot.Page(), TextOf(pilot.Page())}};
    EnumChildWindows(pilot.Page(), CollectText, reinterpret_cast<LPARAM>(&shown));
    for (std::size_t i = 0; i < wizard::ControlCount; ++i) {
        const auto id = static_cast<Control>(i);
        HWND window = pilot.Item(id);
        if (window == nullptr) continue;
        if (wizard::InfoOf(id).Kind == wizard::ControlKind::List) {
            for (const std::wstring& item : pilot.ListItems(id)) shown.emplace_back(window, item);
        }
    }
    if (HWND tabs = pilot.Item(Control::ParmPage)) {
        for (const std::wstring& title : pilot.Tabs()) shown.emplace_back(tabs, title);
    }
    if (HWND tree = pilot.Item(Control::DeviceTree)) {
        for (const std::wstring& node : pilot.Nodes()) shown.emplace_back(tree, node);
    }
    int missing = 0;
    for (const auto& [window, text] : shown) {
        const int count = MissingGlyphs(window, text);
        if (count > 0) std::fprintf(stderr, "no glyph for %d of \"%s\"\n", count, Narrow(text).c_str());
        missing += count;
    }
    Check(missing == 0, page + ": every character has a glyph");
}

} // namespace korax::test
