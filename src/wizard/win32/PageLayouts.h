#pragma once
// Where every control of a page sits and how it looks: the three pages as dialog templates built in memory,
// in dialog units, from the same GBK texts the controllers use. One source for layout and texts, and nothing
// to keep in step with a separate resource file.
#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "wizard/PageView.h"

namespace korax::wizard::win32 {

struct DialogItem {
    int Id;
    const wchar_t* Class;
    DWORD Style; // WS_CHILD and WS_VISIBLE are added
    short X, Y, Width, Height;
    std::string Text = {}; // GBK; controllers set the texts of their own controls
    DWORD ExStyle = 0;
};

// An extended dialog template, laid out as the dialog functions read it.
class DialogTemplate {
public:
    DialogTemplate(DWORD style, DWORD exStyle, short width, short height);
    void Add(const DialogItem& item);
    const DLGTEMPLATE* Get() const { return reinterpret_cast<const DLGTEMPLATE*>(words_.data()); }

private:
    void Word(WORD value) { words_.push_back(value); }
    void DoubleWord(DWORD value);
    void Text(const std::wstring& text);
    void AlignDoubleWord();

    std::vector<WORD> words_;
    std::size_t countAt_ = 0;
};

// A fixed label or picture that sits on one tab of the board page and is shown with it.
struct SheetMember {
    int Id;
    Control Sheet;
};

struct PageLayout {
    DialogTemplate Template;
    // Height of the white header band, in dialog units.
    short HeaderHeight;
    std::vector<SheetMember> SheetMembers;
    // The button the Enter key presses.
    Control DefaultButton;
    // Where the keyboard focus starts: the first of these that is shown and enabled.
    std::vector<Control> FirstFocus;
    // The tab key's order, as the page reads (the tabs' strip before what is on them); of a group of
    // options only the one chosen is a stop.
    std::vector<Control> TabOrder;
};

PageLayout LayoutOf(PageClass page);

// A text with the item's access key after it, as "(&N)" (before a closing colon); unchanged without one.
std::string WithMnemonic(PageClass page, int id, std::string_view text);

} // namespace korax::wizard::win32
