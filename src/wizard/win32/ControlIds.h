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

// Access keys (Alt + letter) of the buttons, options and field labels, per page. The letter is shown after
// the text, as "(&N)"; the controllers' texts stay as they are.
struct Mnemonic {
    PageClass Page;
    int Id; // a control's identifier or a label's
    char Letter;
};
inline constexpr Mnemonic Mnemonics[] = {
    {PageClass::Start, ControlId(Control::NewOp), 'C'},
    {PageClass::Start, ControlId(Control::ModifyOp), 'M'},
    {PageClass::Start, ControlId(Control::BrowseOp), 'V'},
    {PageClass::Start, ControlId(Control::NextBtn), 'N'},
    {PageClass::Start, ControlId(Control::FinishBtn), 'F'},
    {PageClass::Board, ModelLabel, 'T'},
    {PageClass::Board, BoardNumberLabel, 'I'},
    {PageClass::Board, BaseAddressLabel, 'S'},
    {PageClass::Board, InputModeLabel, 'W'},
    {PageClass::Board, ControlId(Control::UpButton), 'U'},
    {PageClass::Board, ControlId(Control::DownButton), 'G'},
    {PageClass::Board, ControlId(Control::AddBtn), 'A'},
    {PageClass::Board, ControlId(Control::DelBtn), 'D'},
    {PageClass::Board, ControlId(Control::LastBtn), 'B'},
    {PageClass::Board, ControlId(Control::NextBtn), 'N'},
    {PageClass::Board, ControlId(Control::FinishBtn), 'F'},
    {PageClass::End, ControlId(Control::LastBtn), 'B'},
    {PageClass::End, ControlId(Control::FinishBtn), 'F'},
};

// The access key of an item on a page; 0 for none.
constexpr char MnemonicOf(PageClass page, int id) {
    for (const Mnemonic& m : Mnemonics) {
        if (m.Page == page && m.Id == id) return m.Letter;
    }
    return 0;
}

// No two items of a page share a key.
static_assert([] {
    for (const Mnemonic& a : Mnemonics) {
        for (const Mnemonic& b : Mnemonics) {
            if (&a != &b && a.Page == b.Page && (a.Letter == b.Letter || a.Id == b.Id)) return false;
        }
    }
    return true;
}());

static_assert(ControlOfId(ControlId(Control::FinishBtn)) == Control::FinishBtn);
static_assert(!ControlOfId(DaChannel0 + DaRowCount));

} // namespace korax::wizard::win32
