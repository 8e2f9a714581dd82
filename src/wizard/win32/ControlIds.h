#pragma once
// Dialog item identifiers of the wizard's page windows. Every control of the page view keeps one identifier
// on all pages, derived from its name, so a window and the control it shows are found from each other without
// a table. The fixed labels and pictures that no controller touches have identifiers of their own.
#include <optional>

#include "wizard/PageView.h"

namespace korax::wizard::win32 {

// Well above IDOK and IDCANCEL: the Enter and Escape keys report those, and they must name no control.
inline constexpr int FirstControlId = 1000;

constexpr int ControlId(Control id) {
    return FirstControlId + static_cast<int>(id);
}

constexpr std::optional<Control> ControlOfId(int id) {
    if (id < FirstControlId || id >= FirstControlId + static_cast<int>(ControlCount)) return std::nullopt;
    return static_cast<Control>(id - FirstControlId);
}

// Items that are no control of the page view.
enum Decoration : int {
    HeaderPicture = 900,
    HeaderLine,
    ButtonLine,
    OptionIcon0 = 910, // + option index (new, modify, view)
    OptionDescription0 = 920,
    BoardGroupBox = 930,
    ModelLabel,
    BoardNumberLabel,
    BaseAddressLabel,
    InputModeLabel,
    MaxRangeLabel,
    AdHeader0 = 940, // channel and range header of the left column, then of the right one
    DaHeader0 = 950,
    PageUpLabel = 960,
    PageDownLabel,
    DaChannel0 = 970, // + output channel
};

static_assert(ControlOfId(ControlId(Control::FinishBtn)) == Control::FinishBtn);
static_assert(!ControlOfId(DaChannel0 + DaRowCount));

} // namespace korax::wizard::win32
