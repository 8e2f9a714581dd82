#include "wizard/win32/PageLayouts.h"

#include <commctrl.h>

#include <array>
#include <string_view>

#include "wizard/WizardTexts.h"
#include "wizard/win32/ControlIds.h"
#include "wizard/win32/WideText.h"

namespace korax::wizard::win32 {

namespace {

// The dialog font. With the Chinese character set the font mapper picks a face that has the glyphs even where
// the named one lacks them.
constexpr std::wstring_view FontFace = L"MS Shell Dlg";
constexpr WORD FontPoints = 9;

// Fixed size, single border, only a close box; always in front of other windows.
constexpr DWORD PageStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_SETFONT;
constexpr DWORD PageExStyle = WS_EX_TOPMOST | WS_EX_CONTROLPARENT;

constexpr short HeaderHeight = 38;
constexpr short Margin = 8;
constexpr short ButtonWidth = 50;
constexpr short ButtonHeight = 14;
constexpr short ButtonGap = 6;

constexpr DWORD LabelStyle = SS_LEFT | SS_NOPREFIX;
constexpr DWORD DropListStyle = CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP;

DialogItem Label(int id, short x, short y, short width, std::string_view text = {}, short height = 9) {
    return {id, L"Static", LabelStyle, x, y, width, height, std::string(text)};
}

DialogItem ControlLabel(Control id, short x, short y, short width, DWORD align = SS_LEFT) {
    return {ControlId(id), L"Static", align | SS_NOPREFIX, x, y, width, 9};
}

DialogItem PushButton(Control id, short x, short y, bool isDefault = false) {
    const DWORD kind = isDefault ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON;
    return {ControlId(id), L"Button", kind | WS_TABSTOP, x, y, ButtonWidth, ButtonHeight};
}

// A field's label: its access key moves the focus to the field that follows it.
DialogItem FieldLabel(int id, short x, short y, short width, std::string_view text) {
    return {id, L"Static", SS_LEFT, x, y, width, 9, WithMnemonic(PageClass::Board, id, text)};
}

DialogItem DropList(Control id, short x, short y, short width, short listHeight) {
    return {ControlId(id), L"ComboBox", DropListStyle, x, y, width, listHeight};
}

// The header band with the page's title and instruction, and the line above the buttons.
void AddFrame(DialogTemplate& page, short width, short height) {
    page.Add({ControlId(Control::Title), L"Static", LabelStyle, 12, 6, static_cast<short>(width - 60), 14});
    page.Add(
        {ControlId(Control::Instruction), L"Static", LabelStyle, 22, 23, static_cast<short>(width - 62), 10});
    page.Add({HeaderPicture, L"Static", SS_OWNERDRAW, static_cast<short>(width - 38), 5, 28, 28});
    page.Add({HeaderLine, L"Static", SS_ETCHEDHORZ, 0, HeaderHeight, width, 2});
    page.Add({ButtonLine, L"Static", SS_ETCHEDHORZ, Margin, static_cast<short>(height - 28),
              static_cast<short>(width - 2 * Margin), 2});
}

// Buttons at the bottom right, in the order given, the last one at the right edge.
template <std::size_t N>
void AddButtonRow(PageLayout& layout, short width, short height, const std::array<Control, N>& buttons) {
    short x = static_cast<short>(width - Margin - N * ButtonWidth - (N - 1) * ButtonGap);
    for (Control button : buttons) {
        layout.Template.Add(
            PushButton(button, x, static_cast<short>(height - 21), button == layout.DefaultButton));
        x = static_cast<short>(x + ButtonWidth + ButtonGap);
    }
}

PageLayout StartLayout() {
    constexpr short width = 340;
    constexpr short height = 196;
    const std::array<Control, 3> options = {Control::NewOp, Control::ModifyOp, Control::BrowseOp};
    PageLayout layout{
        DialogTemplate(PageStyle, PageExStyle, width, height),
        HeaderHeight,
        {},
        Control::NextBtn,
        {Control::NewOp},
        {Control::NewOp, Control::ModifyOp, Control::BrowseOp, Control::NextBtn, Control::FinishBtn}};
    DialogTemplate& page = layout.Template;
    const std::array<std::string, 3> descriptions = {
        std::string(texts::NewOptionDescription[0]) + "\r\n" + std::string(texts::NewOptionDescription[1]),
        std::string(texts::ModifyOptionDescription), std::string(texts::BrowseOptionDescription)};
    // The options one after the other: one group, in which the arrow keys move and choose; a double click
    // goes on at once. Whatever follows them starts a group of its own.
    for (std::size_t i = 0; i < options.size(); ++i) {
        const DWORD group = i == 0 ? WS_GROUP | WS_TABSTOP : 0u;
        page.Add({ControlId(options[i]), L"Button", BS_AUTORADIOBUTTON | BS_NOTIFY | group, 46,
                  static_cast<short>(57 + 36 * i), 72, 12});
    }
    for (std::size_t i = 0; i < options.size(); ++i) {
        const auto y = static_cast<short>(52 + 36 * i);
        page.Add({static_cast<int>(OptionIcon0 + i), L"Static", SS_OWNERDRAW | (i == 0 ? WS_GROUP : 0u), 18,
                  y, 22, 22});
        page.Add(Label(static_cast<int>(OptionDescription0 + i), 122, static_cast<short>(y + 6), width - 130,
                       descriptions[i], 20));
    }
    AddFrame(page, width, height);
    AddButtonRow(layout, width, height, std::array{Control::NextBtn, Control::FinishBtn});
    return layout;
}

PageLayout EndLayout() {
    constexpr short width = 340;
    constexpr short height = 196;
    PageLayout layout{DialogTemplate(PageStyle, PageExStyle, width, height),
                      HeaderHeight,
                      {},
                      Control::FinishBtn,
                      {Control::FinishBtn},
                      {Control::LastBtn, Control::FinishBtn}};
    AddButtonRow(layout, width, height, std::array{Control::LastBtn, Control::FinishBtn});
    AddFrame(layout.Template, width, height);
    return layout;
}

// The analog input tab: channel labels and gain lists in two columns of four, the paging buttons beside them.
void AddInputSheet(PageLayout& layout) {
    DialogTemplate& page = layout.Template;
    for (int column = 0; column < 2; ++column) {
        const auto x = static_cast<short>(158 + 104 * column);
        for (int row = 0; row < 4; ++row) {
            const int k = column * 4 + row;
            const auto y = static_cast<short>(84 + 24 * row);
            page.Add(ControlLabel(AdChannelLabel(k), x, static_cast<short>(y + 2), 26, SS_CENTER));
            page.Add(DropList(AdRangeList(k), static_cast<short>(x + 32), y, 64, 120));
        }
        const int header = AdHeader0 + 2 * column;
        page.Add(Label(header, x, 68, 30, texts::ChannelHeader));
        page.Add(Label(header + 1, static_cast<short>(x + 32), 68, 64, texts::InputRangeHeader));
        layout.SheetMembers.push_back({header, Control::ADSheet});
        layout.SheetMembers.push_back({header + 1, Control::ADSheet});
    }
    page.Add({ControlId(Control::UpButton), L"Button", BS_OWNERDRAW | WS_TABSTOP, 378, 96, 22, 20});
    page.Add({ControlId(Control::DownButton), L"Button", BS_OWNERDRAW | WS_TABSTOP, 378, 138, 22, 20});
    page.Add(
        {PageUpLabel, L"Static", SS_CENTER | SS_NOPREFIX, 369, 84, 40, 9, std::string(texts::PageUpLabel)});
    page.Add({PageDownLabel, L"Static", SS_CENTER | SS_NOPREFIX, 369, 161, 40, 9,
              std::string(texts::PageDownLabel)});
    layout.SheetMembers.push_back({PageUpLabel, Control::ADSheet});
    layout.SheetMembers.push_back({PageDownLabel, Control::ADSheet});
}

// The analog output tab: channel numbers and range lists in two columns of six.
void AddOutputSheet(PageLayout& layout) {
    DialogTemplate& page = layout.Template;
    for (int column = 0; column < 2; ++column) {
        const auto x = static_cast<short>(158 + 120 * column);
        for (int row = 0; row < 6; ++row) {
            const int k = column * 6 + row;
            const auto y = static_cast<short>(82 + 20 * row);
            page.Add({DaChannel0 + k, L"Static", SS_CENTER | SS_NOPREFIX, x, static_cast<short>(y + 2), 26, 9,
                      std::to_string(k)});
            page.Add(DropList(DaRangeList(k), static_cast<short>(x + 32), y, 64, 100));
            layout.SheetMembers.push_back({DaChannel0 + k, Control::DASheet});
        }
        const int header = DaHeader0 + 2 * column;
        page.Add(Label(header, x, 68, 30, texts::ChannelHeader));
        page.Add(Label(header + 1, static_cast<short>(x + 32), 68, 64, texts::OutputRangeHeader));
        layout.SheetMembers.push_back({header, Control::DASheet});
        layout.SheetMembers.push_back({header + 1, Control::DASheet});
    }
}

PageLayout BoardLayout() {
    constexpr short width = 424;
    constexpr short height = 258;
    PageLayout layout{DialogTemplate(PageStyle, PageExStyle, width, height),
                      HeaderHeight,
                      {},
                      Control::NextBtn,
                      {Control::DevTypeEd, Control::DeviceTree},
                      {Control::DevTypeEd, Control::IDEd, Control::BaseAddress, Control::InputMode,
                       Control::ADMaxRange, Control::ParmPage, Control::DeviceTree}};
    // Then the analog tabs' lists and paging buttons in the order of their channels, then the buttons.
    for (int k = 0; k < AdRowCount; ++k) layout.TabOrder.push_back(AdRangeList(k));
    layout.TabOrder.insert(layout.TabOrder.end(), {Control::UpButton, Control::DownButton});
    for (int k = 0; k < DaRowCount; ++k) layout.TabOrder.push_back(DaRangeList(k));
    layout.TabOrder.insert(layout.TabOrder.end(), {Control::AddBtn, Control::DelBtn, Control::LastBtn,
                                                   Control::NextBtn, Control::FinishBtn});
    DialogTemplate& page = layout.Template;

    // The current board's fields, top to bottom, in the group on the left.
    constexpr short fieldX = 16;
    constexpr short fieldWidth = 116;
    page.Add(FieldLabel(ModelLabel, fieldX, 60, fieldWidth, texts::ModelLabel));
    page.Add(DropList(Control::DevTypeEd, fieldX, 70, fieldWidth, 120));
    page.Add(FieldLabel(BoardNumberLabel, fieldX, 90, fieldWidth, texts::BoardNumberLabel));
    page.Add({ControlId(Control::IDEd), L"Edit", ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP, fieldX, 100,
              fieldWidth, 13});
    page.Add(FieldLabel(BaseAddressLabel, fieldX, 120, fieldWidth, texts::BaseAddressLabel));
    page.Add(DropList(Control::BaseAddress, fieldX, 130, fieldWidth, 140));
    page.Add(FieldLabel(InputModeLabel, fieldX, 150, fieldWidth, texts::InputModeLabel));
    page.Add(DropList(Control::InputMode, fieldX, 160, fieldWidth, 60));
    page.Add(Label(MaxRangeLabel, fieldX, 180, fieldWidth, texts::MaxRangeLabel));
    page.Add(DropList(Control::ADMaxRange, fieldX, 190, fieldWidth, 60));
    page.Add({BoardGroupBox, L"Button", BS_GROUPBOX, Margin, 46, 132, 174, std::string(texts::BoardGroup)});

    // The tabs' contents come before the tab control itself: later items lie beneath earlier ones, and the
    // tab control, clipped by its siblings, must not paint over the controls on its tabs.
    page.Add({ControlId(Control::DeviceTree),
              WC_TREEVIEWW,
              TVS_HASLINES | TVS_LINESATROOT | TVS_SHOWSELALWAYS | TVS_TRACKSELECT | WS_TABSTOP,
              153,
              63,
              258,
              151,
              {},
              WS_EX_CLIENTEDGE});
    AddInputSheet(layout);
    AddOutputSheet(layout);
    page.Add({ControlId(Control::ParmPage), WC_TABCONTROLW, WS_TABSTOP | WS_CLIPSIBLINGS, 148, 46, 268, 174});

    // Adding and deleting are tab stops, but a click on them leaves the keyboard focus where it was.
    page.Add(PushButton(Control::AddBtn, Margin, height - 21));
    page.Add(PushButton(Control::DelBtn, Margin + ButtonWidth + ButtonGap, height - 21));
    AddButtonRow(layout, width, height, std::array{Control::LastBtn, Control::NextBtn, Control::FinishBtn});
    AddFrame(page, width, height);
    return layout;
}

} // namespace

DialogTemplate::DialogTemplate(DWORD style, DWORD exStyle, short width, short height) {
    Word(1);      // version of the extended template
    Word(0xFFFF); // its signature
    DoubleWord(0);
    DoubleWord(exStyle);
    DoubleWord(style | DS_SETFONT);
    countAt_ = words_.size();
    Word(0);
    for (short value : {short{0}, short{0}, width, height}) Word(static_cast<WORD>(value));
    Word(0);   // no menu
    Word(0);   // the standard dialog class
    Text(L""); // the caption comes from the controller
    Word(FontPoints);
    Word(FW_NORMAL);
    Word(MAKEWORD(FALSE, GB2312_CHARSET)); // not italic; the character set
    Text(std::wstring(FontFace));
}

void DialogTemplate::Add(const DialogItem& item) {
    AlignDoubleWord();
    DoubleWord(0);
    DoubleWord(item.ExStyle);
    DoubleWord(item.Style | WS_CHILD | WS_VISIBLE);
    for (short value : {item.X, item.Y, item.Width, item.Height}) Word(static_cast<WORD>(value));
    DoubleWord(static_cast<DWORD>(item.Id));
    Text(item.Class);
    Text(Wide(item.Text));
    Word(0); // no creation data
    ++words_[countAt_];
}

void DialogTemplate::DoubleWord(DWORD value) {
    Word(LOWORD(value));
    Word(HIWORD(value));
}

void DialogTemplate::Text(const std::wstring& text) {
    for (wchar_t c : text) Word(static_cast<WORD>(c));
    Word(0);
}

void DialogTemplate::AlignDoubleWord() {
    // The buffer itself starts suitably aligned; items start at a multiple of four bytes from it.
    if (words_.size() % 2 != 0) Word(0);
}

std::string WithMnemonic(PageClass page, int id, std::string_view text) {
    const char letter = MnemonicOf(page, id);
    if (letter == 0) return std::string(text);
    const bool colon = text.ends_with(texts::FullWidthColon);
    if (colon) text.remove_suffix(texts::FullWidthColon.size());
    std::string shown(text);
    shown += "(&";
    shown += letter;
    shown += ')';
    if (colon) shown += texts::FullWidthColon;
    return shown;
}

PageLayout LayoutOf(PageClass page) {
    switch (page) {
    case PageClass::Start:
        return StartLayout();
    case PageClass::Board:
        return BoardLayout();
    case PageClass::End:
        return EndLayout();
    }
    return EndLayout();
}

} // namespace korax::wizard::win32
