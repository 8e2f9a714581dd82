#include "wizard/win32/Pictures.h"

#include <algorithm>

namespace korax::wizard::win32 {

namespace {

constexpr COLORREF BoardGreen = RGB(0, 122, 61);
constexpr COLORREF BoardEdge = RGB(0, 72, 36);
constexpr COLORREF ContactGold = RGB(214, 170, 40);
constexpr COLORREF ChipBlack = RGB(36, 36, 36);
constexpr COLORREF PartGrey = RGB(225, 225, 225);
constexpr COLORREF BadgeBlue = RGB(0, 60, 160);
constexpr COLORREF BadgeGreen = RGB(0, 150, 40);
constexpr COLORREF PencilOrange = RGB(240, 140, 0);
constexpr COLORREF ArrowBlue = RGB(0, 0, 128);

// A pen and a brush selected for the lifetime of the object, and deleted after.
class Paint {
public:
    Paint(HDC dc, COLORREF line, COLORREF fill, int width = 1)
        : dc_(dc), pen_(CreatePen(PS_SOLID, width, line)), brush_(CreateSolidBrush(fill)),
          oldPen_(SelectObject(dc, pen_)), oldBrush_(SelectObject(dc, brush_)) {}
    ~Paint() {
        SelectObject(dc_, oldPen_);
        SelectObject(dc_, oldBrush_);
        DeleteObject(pen_);
        DeleteObject(brush_);
    }
    Paint(const Paint&) = delete;
    Paint& operator=(const Paint&) = delete;

private:
    HDC dc_;
    HPEN pen_;
    HBRUSH brush_;
    HGDIOBJ oldPen_;
    HGDIOBJ oldBrush_;
};

// Coordinates on a grid of sixteen by sixteen over the picture's square.
struct Grid {
    int Left, Top, Size;
    int X(int units) const { return Left + Size * units / 16; }
    int Y(int units) const { return Top + Size * units / 16; }
};

void DrawBadge(HDC dc, const Grid& g, Badge badge) {
    const int thick = std::max(1, g.Size / 12);
    switch (badge) {
    case Badge::None:
        return;
    case Badge::Create: {
        const Paint circle(dc, BadgeGreen, RGB(255, 255, 255), thick);
        Ellipse(dc, g.X(9), g.Y(8), g.X(16), g.Y(15));
        MoveToEx(dc, g.X(12) + g.Size / 32, g.Y(9) + thick, nullptr);
        LineTo(dc, g.X(12) + g.Size / 32, g.Y(14) - thick);
        MoveToEx(dc, g.X(10) + thick, g.Y(11) + g.Size / 32, nullptr);
        LineTo(dc, g.X(15) - thick, g.Y(11) + g.Size / 32);
        return;
    }
    case Badge::Modify: {
        const Paint pencil(dc, PencilOrange, PencilOrange, 2 * thick);
        MoveToEx(dc, g.X(10), g.Y(15), nullptr);
        LineTo(dc, g.X(15), g.Y(9));
        const Paint tip(dc, ChipBlack, ChipBlack, thick);
        MoveToEx(dc, g.X(9), g.Y(16), nullptr);
        LineTo(dc, g.X(10), g.Y(15));
        return;
    }
    case Badge::View: {
        const Paint handle(dc, BadgeBlue, BadgeBlue, 2 * thick);
        MoveToEx(dc, g.X(13), g.Y(13), nullptr);
        LineTo(dc, g.X(16), g.Y(16));
        const Paint lens(dc, BadgeBlue, RGB(255, 255, 255), thick);
        Ellipse(dc, g.X(8), g.Y(8), g.X(14), g.Y(14));
        return;
    }
    }
}

} // namespace

void DrawBoard(HDC dc, const RECT& area, Badge badge) {
    const auto width = static_cast<int>(area.right - area.left);
    const auto height = static_cast<int>(area.bottom - area.top);
    const int size = std::min(width, height);
    const Grid g{area.left + (width - size) / 2, area.top + (height - size) / 2, size};
    {
        const Paint board(dc, BoardEdge, BoardGreen);
        RoundRect(dc, g.X(1), g.Y(3), g.X(15), g.Y(12), size / 8, size / 8);
    }
    {
        const Paint contacts(dc, ContactGold, ContactGold);
        for (int i = 0; i < 5; ++i) Rectangle(dc, g.X(3 + 2 * i), g.Y(12), g.X(4 + 2 * i), g.Y(14));
    }
    {
        const Paint chip(dc, ChipBlack, ChipBlack);
        Rectangle(dc, g.X(3), g.Y(5), g.X(8), g.Y(10));
    }
    {
        const Paint part(dc, BoardEdge, PartGrey);
        Rectangle(dc, g.X(10), g.Y(5), g.X(13), g.Y(7));
    }
    DrawBadge(dc, g, badge);
}

void DrawPagingButton(const DRAWITEMSTRUCT& item, bool up) {
    HDC dc = item.hDC;
    RECT area = item.rcItem;
    const bool pressed = (item.itemState & ODS_SELECTED) != 0;
    const bool disabled = (item.itemState & ODS_DISABLED) != 0;
    if (pressed) DrawEdge(dc, &area, BDR_SUNKENOUTER, BF_RECT);

    const int shift = pressed ? 1 : 0;
    const int cx = (area.left + area.right) / 2 + shift;
    const int cy = (area.top + area.bottom) / 2 + shift;
    const int half =
        std::max(2, static_cast<int>(std::min(area.right - area.left, area.bottom - area.top) / 4));
    const int rise = up ? -1 : 1;
    const POINT arrow[3] = {{cx - half, cy - rise * half / 2},
                            {cx + half, cy - rise * half / 2},
                            {cx, cy + rise * (half - half / 2)}};
    const COLORREF colour = disabled ? GetSysColor(COLOR_GRAYTEXT) : ArrowBlue;
    {
        const Paint fill(dc, colour, colour);
        Polygon(dc, arrow, 3);
    }
    if ((item.itemState & ODS_FOCUS) != 0 && !disabled) {
        InflateRect(&area, -2, -2);
        DrawFocusRect(dc, &area);
    }
}

} // namespace korax::wizard::win32
