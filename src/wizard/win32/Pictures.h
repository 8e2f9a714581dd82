#pragma once
// The pictures of the pages, drawn rather than loaded: a board for the header and the start page's options,
// and the arrows of the analog input tab's paging buttons.
#include <windows.h>

namespace korax::wizard::win32 {

// What the board picture carries in its lower right corner.
enum class Badge { None, Create, Modify, View };

void DrawBoard(HDC dc, const RECT& area, Badge badge);
// A flat button with an arrow, over the background the caller has drawn: no frame until it is pressed.
void DrawPagingButton(const DRAWITEMSTRUCT& item, bool up);

} // namespace korax::wizard::win32
