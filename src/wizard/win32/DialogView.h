#pragma once
// One page of the wizard as a real modal dialog window. The page view's state is mirrored into the windows as
// the controller sets it; what the windows report reaches the controller only when the user caused it. While
// the page itself changes its windows (or a controller runs), their notifications are the page's own doing
// and are dropped: a text put into the board number field starts no renumbering, a list selected by the page
// no model change.
#include <windows.h>
// After windows.h, which it needs.
#include <commctrl.h>

#include <array>
#include <exception>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "wizard/PageView.h"
#include "wizard/win32/PageLayouts.h"

namespace korax::wizard::win32 {

class DialogView final : public PageView {
public:
    // `owner` is the host's window; every page is owned by it and stays in front of it. Nil: no owner.
    DialogView(PageClass page, HWND owner);

    // An error box over the page, which stays open.
    void ShowError(std::string_view text) override;

protected:
    void RunModal() override;
    void EndModal() override;
    void Changed(std::optional<Control> id) override;

private:
    static INT_PTR CALLBACK DialogProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK QuietButtonProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK TreeProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK FocusHook(int code, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK KeyHook(int code, WPARAM wParam, LPARAM lParam);

    INT_PTR Handle(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void Initialise(HWND window);
    void Centre();
    void OnCommand(HWND control, int id, int code);
    void OnNotify(const NMHDR& header);
    void OnDrawItem(const DRAWITEMSTRUCT& item);
    INT_PTR OnControlColour(HDC dc, HWND control);
    // Draws the tab control's background beneath a control that sits on it; false without tabs.
    bool PaintTabBackground(HDC dc, HWND control) const;
    void PaintHeader();
    void FocusMoving(HWND to);
    // The tab key in the page's own order; false when the page leaves the key to the dialog manager.
    bool Tabbing(const MSG& message);
    // Whether the keyboard may stop at the control now.
    bool TabStop(Control id) const;
    void FocusFirst();
    void CloseByUser();
    // Runs what the user did; a failure inside is reported as the page's own error, the page stays open.
    template <typename Act>
    void AsUser(Act&& act);

    HWND Item(Control id) const;
    bool OnThisPage(Control id) const;
    std::optional<Control> SheetOfWindow(HWND window) const;
    // Index into the sheets of the tab shown in front; -1 when no tab is shown.
    int FrontSheet() const;
    bool InFront(Control sheet) const;
    bool Shown(Control id) const;
    std::int32_t NodeAt(POINT point) const;

    void MirrorAll();
    void Mirror(Control id);
    void MirrorState(Control id, HWND window);
    void MirrorText(HWND window, std::string_view text);
    void MirrorList(Control id, HWND window);
    void MirrorSheets();
    void MirrorTree();

    HWND owner_;
    HWND window_ = nullptr;
    std::optional<PageLayout> layout_;
    // Above zero while the page changes its own windows or a controller runs.
    int busy_ = 0;
    bool destroying_ = false;
    // Whether the first focus has been asked for.
    bool focusSet_ = false;
    // The tab whose control had the keyboard focus last; leaving it is reported.
    std::optional<Control> focusSheet_;
    // A failure that is no ordinary error: it ends the page and leaves RunModal.
    std::exception_ptr failure_;
    HFONT titleFont_ = nullptr;
    // Where the last clicks on the tree were, in its client coordinates.
    POINT leftClick_{};
    POINT rightClick_{};

    // What the windows show, so that only differences reach them.
    std::array<std::vector<std::string>, ControlCount> shownItems_;
    std::vector<int> shownSheets_;
    std::vector<std::string> shownTitles_;
    std::vector<TreeNode> shownNodes_;
    std::vector<HTREEITEM> treeItems_;
};

} // namespace korax::wizard::win32
