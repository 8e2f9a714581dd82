#pragma once
// Plays the user on the wizard's real pages from a second thread of the test host, through window messages:
// clicks are posted to the controls as a mouse would deliver them, picks select an item and report it as a
// list does for a user, typing replaces the field's text one keystroke at a time. The wizard's thread sits
// in DLLEdDev meanwhile. Every wait has a time limit; a page or box that does not come fails the run.
#include <windows.h>
// After windows.h, which it needs.
#include <commctrl.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "wizard/PageView.h"
#include "wizard/win32/ControlIds.h"

namespace korax::test {

using wizard::Control;
using wizard::win32::ControlId;

// Failures of both threads, counted for the exit code.
class Verdict {
public:
    void Check(bool ok, const std::string& what) {
        if (ok) return;
        const std::lock_guard lock(mutex_);
        ++failures_;
        std::fprintf(stderr, "FAILED: %s%s\n", scenario_.c_str(), what.c_str());
        std::fflush(stderr);
    }
    void Scenario(const std::string& name) {
        const std::lock_guard lock(mutex_);
        scenario_ = name + ": ";
        std::printf("-- %s\n", name.c_str());
        std::fflush(stdout);
    }
    int Failures() const { return failures_; }

private:
    std::mutex mutex_;
    std::string scenario_;
    int failures_ = 0;
};

inline Verdict verdict;

inline void Check(bool ok, const std::string& what) {
    verdict.Check(ok, what);
}

// A step the rest of the scenario depends on did not happen; the scenario stops there.
struct Abort : std::runtime_error {
    using std::runtime_error::runtime_error;
};

inline void Require(bool ok, const std::string& what) {
    if (ok) return;
    verdict.Check(false, what);
    throw Abort(what);
}

// GBK (the system's texts) as the windows show them.
inline std::wstring W(std::string_view gbk) {
    if (gbk.empty()) return {};
    const int size = MultiByteToWideChar(936, 0, gbk.data(), static_cast<int>(gbk.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(std::max(size, 0)), L'\0');
    MultiByteToWideChar(936, 0, gbk.data(), static_cast<int>(gbk.size()), wide.data(), size);
    return wide;
}

// For failure messages only.
inline std::string Narrow(std::wstring_view wide) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0,
                                         nullptr, nullptr);
    std::string text(static_cast<std::size_t>(std::max(size, 0)), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), text.data(), size, nullptr,
                        nullptr);
    return text;
}

inline std::wstring TextOf(HWND window) {
    wchar_t text[512] = {};
    GetWindowTextW(window, text, 512);
    return text;
}

constexpr DWORD StepLimitMs = 5000;

template <typename Condition>
bool WaitUntil(Condition&& condition, DWORD limitMs = StepLimitMs) {
    const DWORD start = GetTickCount();
    while (!condition()) {
        if (GetTickCount() - start > limitMs) return false;
        Sleep(20);
    }
    return true;
}

inline BOOL CALLBACK CollectDialog(HWND window, LPARAM list) {
    wchar_t name[16] = {};
    GetClassNameW(window, name, 16);
    if (std::wcscmp(name, L"#32770") == 0 && IsWindowVisible(window)) {
        reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
    }
    return TRUE;
}

// The visible dialog windows of a thread, top-level ones only (pages and message boxes).
inline std::vector<HWND> DialogsOf(DWORD thread) {
    std::vector<HWND> found;
    EnumThreadWindows(thread, CollectDialog, reinterpret_cast<LPARAM>(&found));
    return found;
}

class Pilot {
public:
    Pilot(HWND host, DWORD wizardThread) : host_(host), thread_(wizardThread) {}

    HWND Host() const { return host_; }
    HWND Page() const { return page_; }
    DWORD Thread() const { return thread_; }

    // Waits for a page with this caption other than the page in hand, owned by the host, and takes it.
    HWND WaitPage(std::string_view caption) {
        const std::wstring wanted = W(caption);
        HWND previous = page_;
        HWND found = nullptr;
        const bool shown = WaitUntil([&] {
            for (HWND window : DialogsOf(thread_)) {
                if (window != previous && GetWindow(window, GW_OWNER) == host_ && TextOf(window) == wanted) {
                    found = window;
                    return true;
                }
            }
            return false;
        });
        Require(shown, "page \"" + Narrow(wanted) + "\" shown");
        page_ = found;
        return found;
    }

    // The message box over the page in hand.
    HWND WaitBox() {
        HWND found = nullptr;
        const bool shown = WaitUntil([&] {
            for (HWND window : DialogsOf(thread_)) {
                if (GetWindow(window, GW_OWNER) == page_) {
                    found = window;
                    return true;
                }
            }
            return false;
        });
        Require(shown, "message box over the page");
        return found;
    }

    // Presses a box's OK button and waits until the box is gone.
    void Dismiss(HWND box) {
        PostMessageW(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
        Require(WaitUntil([&] { return !IsWindow(box) || !IsWindowVisible(box); }), "message box closed");
    }

    // --- What the user does
    // ---------------------------------------------------------------------------------

    HWND Item(Control id) const { return GetDlgItem(page_, ControlId(id)); }

    // A mouse click on a button or an option: the button takes the focus as a click gives it.
    void Click(Control id) {
        Require(Item(id) != nullptr, "control to click exists");
        PostMessageW(Item(id), BM_CLICK, 0, 0);
    }
    void DoubleClick(Control id) {
        HWND button = Item(id);
        PostMessageW(button, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(4, 4));
        PostMessageW(button, WM_LBUTTONUP, 0, MAKELPARAM(4, 4));
        PostMessageW(button, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(4, 4));
        PostMessageW(button, WM_LBUTTONUP, 0, MAKELPARAM(4, 4));
    }
    // The close box of the page.
    void CloseBox() { PostMessageW(page_, WM_SYSCOMMAND, SC_CLOSE, 0); }

    void Focus(Control id) { SendMessageW(page_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(Item(id)), TRUE); }
    // Picks an item as a user does: the list gets the focus, selects, and tells its page.
    void Pick(Control id, int index) {
        HWND list = Item(id);
        Focus(id);
        SendMessageW(list, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
        SendMessageW(page_, WM_COMMAND, MAKEWPARAM(ControlId(id), CBN_SELCHANGE),
                     reinterpret_cast<LPARAM>(list));
    }
    // Selects the field's text and types over it, one keystroke (one change of the text) at a time.
    void Type(Control id, std::string_view keys) {
        HWND field = Item(id);
        Focus(id);
        for (std::size_t i = 1; i <= keys.size(); ++i) {
            const std::wstring text = W(keys.substr(0, i));
            SendMessageW(field, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
        }
    }

    // A click on the tab with this title; waits until it is in front.
    void ShowTab(std::string_view title) {
        HWND tabs = Item(Control::ParmPage);
        const int index = TabIndex(title);
        Require(index >= 0, "tab \"" + Narrow(W(title)) + "\" present");
        RECT place{};
        SendMessageW(tabs, TCM_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&place));
        const LPARAM at = MAKELPARAM((place.left + place.right) / 2, (place.top + place.bottom) / 2);
        PostMessageW(tabs, WM_LBUTTONDOWN, MK_LBUTTON, at);
        PostMessageW(tabs, WM_LBUTTONUP, 0, at);
        Require(WaitUntil([&] { return SendMessageW(tabs, TCM_GETCURSEL, 0, 0) == index; }),
                "tab brought to front");
    }

    // A left or right mouse click on a node of the board tree.
    void ClickNode(int node, bool right = false) {
        HWND tree = Item(Control::DeviceTree);
        const std::vector<HTREEITEM> items = TreeItems();
        Require(node >= 0 && static_cast<std::size_t>(node) < items.size(), "node to click exists");
        // The item goes in where the rectangle comes out.
        RECT place{};
        const HTREEITEM item = items[static_cast<std::size_t>(node)];
        static_assert(sizeof item <= sizeof place);
        std::memcpy(&place, &item, sizeof item);
        SendMessageW(tree, TVM_GETITEMRECT, TRUE, reinterpret_cast<LPARAM>(&place));
        const LPARAM at = MAKELPARAM((place.left + place.right) / 2, (place.top + place.bottom) / 2);
        PostMessageW(tree, right ? WM_RBUTTONDOWN : WM_LBUTTONDOWN, right ? MK_RBUTTON : MK_LBUTTON, at);
        PostMessageW(tree, right ? WM_RBUTTONUP : WM_LBUTTONUP, 0, at);
    }

    // A key pressed and released where the wizard's keyboard focus is, as the keyboard delivers it; then
    // time for the page to take it.
    void Key(WPARAM key) {
        HWND focus = FocusWindow();
        Require(focus != nullptr, "a control has the keyboard focus");
        PostMessageW(focus, WM_KEYDOWN, key, 1);
        PostMessageW(focus, WM_KEYUP, key, static_cast<LPARAM>(0xC0000001u));
        Sleep(150);
    }
    // The tab key until the control has the focus; at most `limit` presses.
    void TabTo(Control id, int limit = 30) {
        for (int i = 0; i < limit && FocusWindow() != Item(id); ++i) Key(VK_TAB);
        Require(FocusWindow() == Item(id), "the tab key reaches " + std::string(wizard::InfoOf(id).Name));
    }

    // --- What the page shows
    // --------------------------------------------------------------------------------

    std::wstring Text(Control id) const { return TextOf(Item(id)); }
    // The text without the access key shown after it ("(&N)").
    std::wstring Label(Control id) const {
        std::wstring text = Text(id);
        const std::size_t key = text.rfind(L"(&");
        return key != std::wstring::npos && key + 4 == text.size() ? text.substr(0, key) : text;
    }
    bool Enabled(Control id) const { return IsWindowEnabled(Item(id)) != FALSE; }
    bool Visible(Control id) const { return IsWindowVisible(Item(id)) != FALSE; }
    bool Checked(Control id) const { return SendMessageW(Item(id), BM_GETCHECK, 0, 0) == BST_CHECKED; }
    int Selection(Control id) const { return static_cast<int>(SendMessageW(Item(id), CB_GETCURSEL, 0, 0)); }
    std::vector<std::wstring> ListItems(Control id) const {
        std::vector<std::wstring> items;
        const auto count = static_cast<int>(SendMessageW(Item(id), CB_GETCOUNT, 0, 0));
        for (int i = 0; i < count; ++i) {
            wchar_t text[256] = {};
            SendMessageW(Item(id), CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
            items.emplace_back(text);
        }
        return items;
    }
    std::wstring SelectedText(Control id) const {
        const int selection = Selection(id);
        const std::vector<std::wstring> items = ListItems(id);
        return selection >= 0 && static_cast<std::size_t>(selection) < items.size()
                   ? items[static_cast<std::size_t>(selection)]
                   : std::wstring();
    }

    std::vector<std::wstring> Tabs() const {
        std::vector<std::wstring> titles;
        HWND tabs = Item(Control::ParmPage);
        const auto count = static_cast<int>(SendMessageW(tabs, TCM_GETITEMCOUNT, 0, 0));
        for (int i = 0; i < count; ++i) {
            wchar_t text[64] = {};
            TCITEMW tab{};
            tab.mask = TCIF_TEXT;
            tab.pszText = text;
            tab.cchTextMax = 64;
            SendMessageW(tabs, TCM_GETITEMW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&tab));
            titles.emplace_back(text);
        }
        return titles;
    }
    int TabIndex(std::string_view title) const {
        const std::vector<std::wstring> titles = Tabs();
        const auto found = std::ranges::find(titles, W(title));
        return found == titles.end() ? -1 : static_cast<int>(found - titles.begin());
    }

    std::vector<HTREEITEM> TreeItems() const {
        std::vector<HTREEITEM> items;
        HWND tree = Item(Control::DeviceTree);
        auto item = reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0));
        while (item != nullptr) {
            items.push_back(item);
            item = reinterpret_cast<HTREEITEM>(
                SendMessageW(tree, TVM_GETNEXTITEM, TVGN_NEXT, reinterpret_cast<LPARAM>(item)));
        }
        return items;
    }
    std::vector<std::wstring> Nodes() const {
        std::vector<std::wstring> texts;
        for (HTREEITEM item : TreeItems()) {
            wchar_t text[256] = {};
            TVITEMW node{};
            node.mask = TVIF_TEXT;
            node.hItem = item;
            node.pszText = text;
            node.cchTextMax = 256;
            SendMessageW(Item(Control::DeviceTree), TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&node));
            texts.emplace_back(text);
        }
        return texts;
    }
    int SelectedNode() const {
        const auto selected = reinterpret_cast<HTREEITEM>(
            SendMessageW(Item(Control::DeviceTree), TVM_GETNEXTITEM, TVGN_CARET, 0));
        const std::vector<HTREEITEM> items = TreeItems();
        const auto found = std::ranges::find(items, selected);
        return found == items.end() ? -1 : static_cast<int>(found - items.begin());
    }
    // The window with the keyboard focus on the wizard's thread.
    HWND FocusWindow() const {
        GUITHREADINFO info{};
        info.cbSize = sizeof info;
        GetGUIThreadInfo(thread_, &info);
        return info.hwndFocus;
    }

private:
    HWND host_;
    DWORD thread_;
    HWND page_ = nullptr;
};

} // namespace korax::test
