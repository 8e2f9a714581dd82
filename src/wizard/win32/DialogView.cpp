#include "wizard/win32/DialogView.h"

#include <windowsx.h>

#include <algorithm>
#include <cstdint>

#include "wizard/win32/ControlIds.h"
#include "wizard/win32/Pictures.h"
#include "wizard/win32/WideText.h"

namespace korax::wizard::win32 {

namespace {

// The tabs of ParmPage, in the order of its titles.
constexpr std::array<Control, 3> Sheets = {Control::BoardConfig, Control::ADSheet, Control::DASheet};
constexpr std::array<Control, 3> Options = {Control::NewOp, Control::ModifyOp, Control::BrowseOp};
constexpr std::array<Badge, 3> OptionBadges = {Badge::Create, Badge::Modify, Badge::View};

// A click on a tree node, handled once the tree has finished with the click itself.
constexpr UINT ClickNodeLater = WM_APP + 1;
// Where the keyboard focus starts, set once the page is shown and active: the dialog manager sets its own
// focus on the way there.
constexpr UINT FocusFirstLater = WM_APP + 2;

constexpr wchar_t ViewProperty[] = L"KoraxWizardView";
constexpr wchar_t ProcedureProperty[] = L"KoraxWizardProcedure";

// The page whose focus changes and keys the hooks report.
thread_local DialogView* focusWatcher = nullptr;

// For its lifetime, what the page's windows report is the page's own doing, not the user's.
class Quiet {
public:
    explicit Quiet(int& busy) : busy_(busy) { ++busy_; }
    ~Quiet() { --busy_; }
    Quiet(const Quiet&) = delete;
    Quiet& operator=(const Quiet&) = delete;

private:
    int& busy_;
};

HMODULE ThisModule() {
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&ThisModule), &module);
    return module;
}

void Subclass(HWND window, WNDPROC procedure, void* view) {
    SetPropW(window, ViewProperty, view);
    const LONG_PTR original = SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(procedure));
    SetPropW(window, ProcedureProperty, reinterpret_cast<HANDLE>(original));
}

LRESULT CallOriginal(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    const auto original = reinterpret_cast<WNDPROC>(GetPropW(window, ProcedureProperty));
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original));
        RemovePropW(window, ViewProperty);
        RemovePropW(window, ProcedureProperty);
    }
    return CallWindowProcW(original, window, message, wParam, lParam);
}

bool Inside(HWND window, LPARAM point) {
    RECT client;
    GetClientRect(window, &client);
    const POINT p{GET_X_LPARAM(point), GET_Y_LPARAM(point)};
    return PtInRect(&client, p) != FALSE;
}

bool HasStyle(HWND window, LONG style) {
    return (GetWindowLongW(window, GWL_STYLE) & style) != 0;
}

} // namespace

DialogView::DialogView(PageClass page, HWND owner) : PageView(page), owner_(owner) {}

// --- The modal loop ----------------------------------------------------------------------------------------

void DialogView::RunModal() {
    if (Closed()) return;
    layout_.emplace(LayoutOf(Page()));

    // Leaving a tab is a change of the keyboard focus, which no control reports to its page by itself.
    // The tab key, too, goes the page's own way, which the dialog manager cannot be told.
    struct FocusWatch {
        DialogView* previous;
        HHOOK hook;
        HHOOK keys;
        explicit FocusWatch(DialogView* view)
            : previous(focusWatcher),
              hook(SetWindowsHookExW(WH_CBT, &DialogView::FocusHook, nullptr, GetCurrentThreadId())),
              keys(SetWindowsHookExW(WH_GETMESSAGE, &DialogView::KeyHook, nullptr, GetCurrentThreadId())) {
            focusWatcher = view;
        }
        ~FocusWatch() {
            if (hook != nullptr) UnhookWindowsHookEx(hook);
            if (keys != nullptr) UnhookWindowsHookEx(keys);
            focusWatcher = previous;
        }
        FocusWatch(const FocusWatch&) = delete;
        FocusWatch& operator=(const FocusWatch&) = delete;
    } watch(this);

    const INT_PTR result =
        DialogBoxIndirectParamW(ThisModule(), layout_->Template.Get(), owner_, &DialogView::DialogProcedure,
                                reinterpret_cast<LPARAM>(this));
    window_ = nullptr;
    // Only now that the title line is gone with its window.
    if (titleFont_ != nullptr) DeleteObject(titleFont_);
    titleFont_ = nullptr;
    // Without a window (no display, say) the page counts as closed by its close box.
    if (result == -1 && !Closed()) UserClose();
    if (failure_) std::rethrow_exception(failure_);
}

void DialogView::EndModal() {
    if (window_ != nullptr) EndDialog(window_, 0);
}

void DialogView::ShowError(std::string_view text) {
    // The box runs a message loop of its own; nothing the page's windows report meanwhile is the user's.
    const Quiet quiet(busy_);
    MessageBoxW(window_, Wide(text).c_str(), Wide(Caption()).c_str(), MB_OK | MB_ICONERROR);
}

template <typename Act>
void DialogView::AsUser(Act&& act) {
    const Quiet quiet(busy_);
    try {
        act();
    } catch (const std::exception& error) {
        // As a failed action of any window: reported, and the page stays open.
        ShowError(error.what());
    } catch (...) {
        failure_ = std::current_exception();
        if (window_ != nullptr) EndDialog(window_, 0);
    }
}

// --- Window procedures -------------------------------------------------------------------------------------

INT_PTR CALLBACK DialogView::DialogProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) SetWindowLongPtrW(window, DWLP_USER, lParam);
    auto* view = reinterpret_cast<DialogView*>(GetWindowLongPtrW(window, DWLP_USER));
    if (view == nullptr) return FALSE;
    try {
        return view->Handle(window, message, wParam, lParam);
    } catch (...) {
        // Nothing may unwind through the window system.
        return FALSE;
    }
}

LRESULT CALLBACK DialogView::QuietButtonProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    // A push button that works as one but never takes the keyboard focus.
    switch (message) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
        SetCapture(window);
        SendMessageW(window, BM_SETSTATE, TRUE, 0);
        return 0;
    case WM_MOUSEMOVE:
        if (GetCapture() == window) SendMessageW(window, BM_SETSTATE, Inside(window, lParam), 0);
        return 0;
    case WM_LBUTTONUP:
        if (GetCapture() == window) {
            const bool inside = Inside(window, lParam);
            ReleaseCapture();
            if (inside) {
                SendMessageW(GetParent(window), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(window), BN_CLICKED),
                             reinterpret_cast<LPARAM>(window));
            }
        }
        return 0;
    case WM_CAPTURECHANGED:
        SendMessageW(window, BM_SETSTATE, FALSE, 0);
        return 0;
    default:
        return CallOriginal(window, message, wParam, lParam);
    }
}

LRESULT CALLBACK DialogView::TreeProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    // The tree reports a click before it moves its selection; the node clicked is found from where it was.
    auto* view = static_cast<DialogView*>(GetPropW(window, ViewProperty));
    if (view != nullptr && (message == WM_LBUTTONDOWN || message == WM_RBUTTONDOWN)) {
        const POINT point{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
        (message == WM_LBUTTONDOWN ? view->leftClick_ : view->rightClick_) = point;
    }
    return CallOriginal(window, message, wParam, lParam);
}

LRESULT CALLBACK DialogView::FocusHook(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_SETFOCUS && focusWatcher != nullptr) {
        try {
            focusWatcher->FocusMoving(reinterpret_cast<HWND>(wParam));
        } catch (...) {
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

LRESULT CALLBACK DialogView::KeyHook(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HC_ACTION && wParam == PM_REMOVE && focusWatcher != nullptr) {
        auto& message = *reinterpret_cast<MSG*>(lParam);
        try {
            // Taken: the message goes on as one that does nothing.
            if (focusWatcher->Tabbing(message)) message.message = WM_NULL;
        } catch (...) {
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

INT_PTR DialogView::Handle(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        Initialise(window);
        return TRUE;
    case WM_SHOWWINDOW:
        if (wParam != FALSE && !focusSet_) {
            focusSet_ = true;
            PostMessageW(window, FocusFirstLater, 0, 0);
        }
        return FALSE;
    case WM_COMMAND:
        OnCommand(reinterpret_cast<HWND>(lParam), LOWORD(wParam), HIWORD(wParam));
        return TRUE;
    case WM_NOTIFY:
        OnNotify(*reinterpret_cast<const NMHDR*>(lParam));
        return FALSE;
    case ClickNodeLater:
        if (busy_ == 0 && !destroying_) {
            AsUser([&] { UserClickNode(static_cast<std::int32_t>(wParam)); });
            const Quiet quiet(busy_);
            MirrorTree();
        }
        return TRUE;
    case FocusFirstLater:
        // Outside the page's own changes: a tree taking the focus may choose a node, which the page must see.
        if (!destroying_) FocusFirst();
        return TRUE;
    case WM_DRAWITEM:
        OnDrawItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
        return TRUE;
    case WM_CTLCOLORSTATIC:
        return OnControlColour(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
    case WM_PAINT:
        PaintHeader();
        return TRUE;
    case WM_CLOSE:
        CloseByUser();
        return TRUE;
    case WM_DESTROY:
        destroying_ = true;
        return FALSE;
    default:
        return FALSE;
    }
}

// --- Setting the page up -----------------------------------------------------------------------------------

void DialogView::Initialise(HWND window) {
    window_ = window;
    const Quiet quiet(busy_);

    // The title line in a larger, bold face of the dialog's font.
    LOGFONTW face{};
    const auto font = reinterpret_cast<HFONT>(SendMessageW(window, WM_GETFONT, 0, 0));
    if (font != nullptr && GetObjectW(font, sizeof face, &face) != 0) {
        face.lfHeight = face.lfHeight * 3 / 2;
        face.lfWeight = FW_BOLD;
        titleFont_ = CreateFontIndirectW(&face);
        SendMessageW(Item(Control::Title), WM_SETFONT, reinterpret_cast<WPARAM>(titleFont_), FALSE);
    }
    for (Control button : {Control::AddBtn, Control::DelBtn}) {
        if (HWND quietButton = Item(button)) Subclass(quietButton, &QuietButtonProcedure, this);
    }
    if (HWND tree = Item(Control::DeviceTree)) Subclass(tree, &TreeProcedure, this);
    SendMessageW(window, DM_SETDEFID, static_cast<WPARAM>(ControlId(layout_->DefaultButton)), 0);

    MirrorAll();
    Centre();
}

void DialogView::Centre() {
    RECT frame;
    GetWindowRect(window_, &frame);
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    // Halves rounded toward zero, as integer division does.
    const int left = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
    const int top = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
    SetWindowPos(window_, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// --- What the user did -------------------------------------------------------------------------------------

void DialogView::CloseByUser() {
    // The close box: the page ends without an action of its own.
    if (busy_ > 0 || window_ == nullptr) return;
    UserClose();
    EndDialog(window_, 0);
}

void DialogView::FocusFirst() {
    for (Control id : layout_->FirstFocus) {
        HWND control = Item(id);
        if (control != nullptr && HasStyle(control, WS_VISIBLE) && IsWindowEnabled(control) != FALSE) {
            SendMessageW(window_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(control), TRUE);
            return;
        }
    }
}

bool DialogView::TabStop(Control id) const {
    HWND control = Item(id);
    if (control == nullptr || IsWindowVisible(control) == FALSE || IsWindowEnabled(control) == FALSE)
        return false;
    // Of the options, only the one chosen.
    return InfoOf(id).Kind != ControlKind::Option || Checked(id);
}

bool DialogView::Tabbing(const MSG& message) {
    if (message.message != WM_KEYDOWN || message.wParam != VK_TAB || window_ == nullptr || destroying_) {
        return false;
    }
    if (GetKeyState(VK_CONTROL) < 0 || GetKeyState(VK_MENU) < 0) return false;
    // Only from the page's own controls; a message box over the page keeps its own order.
    HWND from = message.hwnd;
    while (from != nullptr && GetParent(from) != window_) from = GetParent(from);
    if (from == nullptr) return false;
    const std::vector<Control>& order = layout_->TabOrder;
    const std::optional<Control> current = ControlOfId(GetDlgCtrlID(from));
    const auto at = current ? std::ranges::find(order, *current) : order.end();
    if (at == order.end()) return false;
    const bool back = GetKeyState(VK_SHIFT) < 0;
    const auto count = static_cast<std::ptrdiff_t>(order.size());
    std::ptrdiff_t index = at - order.begin();
    for (std::ptrdiff_t step = 1; step < count; ++step) {
        index = (index + (back ? count - 1 : 1)) % count;
        const Control next = order[static_cast<std::size_t>(index)];
        if (!TabStop(next)) continue;
        SendMessageW(window_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(Item(next)), TRUE);
        return true;
    }
    return true;
}

void DialogView::OnCommand(HWND control, int id, int code) {
    // The Escape key: the dialog manager reports the cancel command, which names no control here. It does
    // what the close box does.
    if (id == IDCANCEL && control == nullptr) {
        CloseByUser();
        return;
    }
    if (control == nullptr || busy_ > 0 || destroying_) return;
    const std::optional<Control> which = ControlOfId(id);
    if (!which || !OnThisPage(*which)) return;
    const Control c = *which;
    switch (InfoOf(c).Kind) {
    case ControlKind::Button:
        // An owner-drawn button reports the second click of a double click as such.
        if (code != BN_CLICKED && code != BN_DOUBLECLICKED) return;
        AsUser([&] { UserClick(c); });
        break;
    case ControlKind::Option:
        if (code == BN_CLICKED) {
            AsUser([&] { UserClick(c); });
        } else if (code == BN_DOUBLECLICKED) {
            AsUser([&] { UserDoubleClick(c); });
        } else {
            return;
        }
        break;
    case ControlKind::List: {
        if (code != CBN_SELCHANGE) return;
        const auto index = static_cast<std::int32_t>(SendMessageW(control, CB_GETCURSEL, 0, 0));
        AsUser([&] { UserPick(c, index); });
        break;
    }
    case ControlKind::Edit: {
        if (code != EN_CHANGE) return;
        const std::string text = Gbk(WindowText(control));
        AsUser([&] { UserEdit(c, text); });
        break;
    }
    default:
        return;
    }
    // The window keeps what the view holds: a pick the view refused is taken back, and the options are one
    // group whatever the window system did with them.
    const Quiet quiet(busy_);
    if (InfoOf(c).Kind == ControlKind::Option) {
        for (Control option : Options) Mirror(option);
    } else {
        Mirror(c);
    }
}

void DialogView::OnNotify(const NMHDR& header) {
    if (busy_ > 0 || destroying_) return;
    const std::optional<Control> which = ControlOfId(static_cast<int>(header.idFrom));
    if (which == Control::ParmPage && header.code == TCN_SELCHANGE) {
        const auto position = static_cast<int>(SendMessageW(header.hwndFrom, TCM_GETCURSEL, 0, 0));
        if (position >= 0 && static_cast<std::size_t>(position) < shownSheets_.size()) {
            AsUser([&] { UserPick(Control::ParmPage, shownSheets_[static_cast<std::size_t>(position)]); });
        }
        const Quiet quiet(busy_);
        MirrorSheets();
        return;
    }
    if (which != Control::DeviceTree) return;
    switch (header.code) {
    case NM_CLICK:
        // After the tree has moved its selection to the node, as a click on it does.
        PostMessageW(window_, ClickNodeLater, static_cast<WPARAM>(NodeAt(leftClick_)), 0);
        return;
    case NM_RCLICK: {
        // A right click selects the node under it, and does nothing else.
        const std::int32_t node = NodeAt(rightClick_);
        if (node < 0) return;
        AsUser([&] { UserRightClickNode(node); });
        const Quiet quiet(busy_);
        MirrorTree();
        return;
    }
    case TVN_SELCHANGEDW: {
        // Every selection the tree shows is the page's: a click chooses the node here and shows its board
        // once the click is reported; keys, or the tree choosing a node as it takes the focus, show it now.
        const auto& change = reinterpret_cast<const NMTREEVIEWW&>(header);
        const auto found = std::ranges::find(treeItems_, change.itemNew.hItem);
        if (found == treeItems_.end()) return;
        const auto node = static_cast<std::int32_t>(found - treeItems_.begin());
        if (change.action == TVC_BYMOUSE) {
            AsUser([&] { UserRightClickNode(node); });
        } else {
            AsUser([&] { UserSelectNode(node); });
        }
        return;
    }
    case TVN_KEYDOWN:
        // The delete key on the tree deletes as the button does, where the button is offered.
        if (reinterpret_cast<const NMTVKEYDOWN&>(header).wVKey == VK_DELETE) {
            AsUser([&] { UserClick(Control::DelBtn); });
        }
        return;
    default:
        return;
    }
}

void DialogView::FocusMoving(HWND to) {
    // Only moves between the page's own controls count: the focus going to an error box or to another
    // program and coming back leaves the tab where it was.
    if (window_ == nullptr || destroying_ || to == nullptr || IsChild(window_, to) == FALSE) return;
    const std::optional<Control> sheet = SheetOfWindow(to);
    const std::optional<Control> left = focusSheet_;
    focusSheet_ = sheet;
    if (busy_ > 0 || !left || left == sheet) return;
    AsUser([&] { UserLeave(*left); });
}

std::int32_t DialogView::NodeAt(POINT point) const {
    HWND tree = Item(Control::DeviceTree);
    TVHITTESTINFO hit{};
    hit.pt = point;
    SendMessageW(tree, TVM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit));
    if (hit.hItem == nullptr || (hit.flags & TVHT_ONITEM) == 0) return -1;
    const auto found = std::ranges::find(treeItems_, hit.hItem);
    return found == treeItems_.end() ? -1 : static_cast<std::int32_t>(found - treeItems_.begin());
}

// --- Painting ----------------------------------------------------------------------------------------------

void DialogView::PaintHeader() {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window_, &paint);
    RECT band{0, 0, 0, layout_->HeaderHeight};
    MapDialogRect(window_, &band);
    RECT client;
    GetClientRect(window_, &client);
    band.right = client.right;
    FillRect(dc, &band, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    EndPaint(window_, &paint);
}

INT_PTR DialogView::OnControlColour(HDC dc, HWND control) {
    const int id = GetDlgCtrlID(control);
    if (id == ControlId(Control::Title) || id == ControlId(Control::Instruction) || id == HeaderPicture) {
        SetBkColor(dc, RGB(255, 255, 255));
        return reinterpret_cast<INT_PTR>(GetStockObject(WHITE_BRUSH));
    }
    // Labels on a tab show the tab's own background, which a visual style may draw other than the dialog's.
    // Only labels: a disabled list asks for its colours the same way and must keep its own look.
    const std::optional<Control> which = ControlOfId(id);
    const bool label = which ? InfoOf(*which).Kind == ControlKind::Label && InfoOf(*which).Sheet
                             : std::ranges::any_of(layout_->SheetMembers, [&](const SheetMember& member) {
                                   return member.Id == id;
                               });
    if (label && PaintTabBackground(dc, control)) {
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
        return reinterpret_cast<INT_PTR>(GetStockObject(NULL_BRUSH));
    }
    return FALSE;
}

bool DialogView::PaintTabBackground(HDC dc, HWND control) const {
    HWND tabs = Item(Control::ParmPage);
    if (tabs == nullptr) return false;
    // The tab control draws itself into the control's device context, moved so that the control's corner
    // falls where the control lies on the tabs.
    RECT place;
    GetWindowRect(control, &place);
    MapWindowPoints(nullptr, tabs, reinterpret_cast<POINT*>(&place), 2);
    POINT origin;
    OffsetViewportOrgEx(dc, -place.left, -place.top, &origin);
    const int saved = SaveDC(dc);
    SendMessageW(tabs, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT | PRF_ERASEBKGND);
    RestoreDC(dc, saved);
    SetViewportOrgEx(dc, origin.x, origin.y, nullptr);
    return true;
}

void DialogView::OnDrawItem(const DRAWITEMSTRUCT& item) {
    const int id = static_cast<int>(item.CtlID);
    if (id == ControlId(Control::UpButton) || id == ControlId(Control::DownButton)) {
        if (!PaintTabBackground(item.hDC, item.hwndItem))
            FillRect(item.hDC, &item.rcItem, GetSysColorBrush(COLOR_BTNFACE));
        DrawPagingButton(item, id == ControlId(Control::UpButton));
        return;
    }
    if (id == HeaderPicture) {
        FillRect(item.hDC, &item.rcItem, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
        DrawBoard(item.hDC, item.rcItem, Badge::None);
        return;
    }
    for (std::size_t i = 0; i < OptionBadges.size(); ++i) {
        if (id == OptionIcon0 + static_cast<int>(i)) {
            FillRect(item.hDC, &item.rcItem, GetSysColorBrush(COLOR_BTNFACE));
            DrawBoard(item.hDC, item.rcItem, OptionBadges[i]);
        }
    }
}

// --- Mirroring the view into the windows -------------------------------------------------------------------

void DialogView::Changed(std::optional<Control> id) {
    if (window_ == nullptr || destroying_) return;
    const Quiet quiet(busy_);
    if (!id) {
        const std::wstring caption = Wide(Caption());
        if (WindowText(window_) != caption) SetWindowTextW(window_, caption.c_str());
        return;
    }
    if (OnThisPage(*id)) Mirror(*id);
}

HWND DialogView::Item(Control id) const {
    return window_ == nullptr ? nullptr : GetDlgItem(window_, ControlId(id));
}

bool DialogView::OnThisPage(Control id) const {
    return (InfoOf(id).Pages & (1u << static_cast<int>(Page()))) != 0;
}

std::optional<Control> DialogView::SheetOfWindow(HWND window) const {
    // Up to the page's own child: a control may be made of windows of its own.
    while (window != nullptr && GetParent(window) != window_) window = GetParent(window);
    if (window == nullptr) return std::nullopt;
    const std::optional<Control> control = ControlOfId(GetDlgCtrlID(window));
    return control ? InfoOf(*control).Sheet : std::nullopt;
}

int DialogView::FrontSheet() const {
    // The tab chosen, unless it is hidden: then the first one shown.
    const std::int32_t chosen = Selection(Control::ParmPage);
    if (chosen >= 0 && static_cast<std::size_t>(chosen) < Sheets.size() &&
        Visible(Sheets[static_cast<std::size_t>(chosen)])) {
        return chosen;
    }
    for (std::size_t i = 0; i < Sheets.size(); ++i) {
        if (Visible(Sheets[i])) return static_cast<int>(i);
    }
    return -1;
}

bool DialogView::InFront(Control sheet) const {
    const int front = FrontSheet();
    return Visible(Control::ParmPage) && front >= 0 && Sheets[static_cast<std::size_t>(front)] == sheet;
}

bool DialogView::Shown(Control id) const {
    if (!Visible(id)) return false;
    const std::optional<Control> sheet = InfoOf(id).Sheet;
    return !sheet || InFront(*sheet);
}

void DialogView::MirrorAll() {
    Changed(std::nullopt);
    for (std::size_t i = 0; i < ControlCount; ++i) {
        const auto id = static_cast<Control>(i);
        if (OnThisPage(id)) Mirror(id);
    }
}

void DialogView::Mirror(Control id) {
    const ControlKind kind = InfoOf(id).Kind;
    if (kind == ControlKind::Tabs || kind == ControlKind::Sheet) {
        MirrorSheets();
        return;
    }
    if (kind == ControlKind::Tree) {
        MirrorTree();
        return;
    }
    HWND window = Item(id);
    if (window == nullptr) return;
    switch (kind) {
    case ControlKind::Option:
        SendMessageW(window, BM_SETCHECK, Checked(id) ? BST_CHECKED : BST_UNCHECKED, 0);
        MirrorText(window, WithMnemonic(Page(), ControlId(id), Text(id)));
        break;
    case ControlKind::List:
        MirrorList(id, window);
        break;
    default:
        MirrorText(window, WithMnemonic(Page(), ControlId(id), Text(id)));
        break;
    }
    MirrorState(id, window);
}

void DialogView::MirrorState(Control id, HWND window) {
    const bool enabled = Enabled(id);
    if ((IsWindowEnabled(window) != FALSE) != enabled) EnableWindow(window, enabled);
    const bool shown = Shown(id);
    if (HasStyle(window, WS_VISIBLE) != shown) ShowWindow(window, shown ? SW_SHOWNA : SW_HIDE);
}

void DialogView::MirrorText(HWND window, std::string_view text) {
    const std::wstring wide = Wide(text);
    if (WindowText(window) == wide) return;
    // A field the page corrects while the user types in it keeps the caret where the user was typing.
    const std::optional<Control> control = ControlOfId(GetDlgCtrlID(window));
    const bool typing = control && InfoOf(*control).Kind == ControlKind::Edit && GetFocus() == window;
    DWORD caret = 0;
    if (typing) SendMessageW(window, EM_GETSEL, 0, reinterpret_cast<LPARAM>(&caret));
    SetWindowTextW(window, wide.c_str());
    const auto kept = static_cast<WPARAM>(std::min<std::size_t>(caret, wide.size()));
    if (typing) SendMessageW(window, EM_SETSEL, kept, kept);
}

void DialogView::MirrorList(Control id, HWND window) {
    std::vector<std::string>& shown = shownItems_[static_cast<std::size_t>(id)];
    const std::span<const std::string> items = Items(id);
    // Items added at the end are appended; any other change fills the list anew.
    const bool appended =
        shown.size() <= items.size() && std::equal(shown.begin(), shown.end(), items.begin());
    if (!appended) {
        SendMessageW(window, CB_RESETCONTENT, 0, 0);
        shown.clear();
    }
    for (std::size_t i = shown.size(); i < items.size(); ++i) {
        const std::wstring item = Wide(items[i]);
        SendMessageW(window, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.c_str()));
        shown.push_back(items[i]);
    }
    const std::int32_t selection = Selection(id);
    if (SendMessageW(window, CB_GETCURSEL, 0, 0) != selection) {
        SendMessageW(window, CB_SETCURSEL, static_cast<WPARAM>(selection), 0);
    }
}

void DialogView::MirrorSheets() {
    HWND tabs = Item(Control::ParmPage);
    if (tabs == nullptr) return;
    // A hidden sheet has no tab at all.
    std::vector<int> sheets;
    std::vector<std::string> titles;
    const std::span<const std::string> items = Items(Control::ParmPage);
    for (std::size_t i = 0; i < Sheets.size() && i < items.size(); ++i) {
        if (!Visible(Sheets[i])) continue;
        sheets.push_back(static_cast<int>(i));
        titles.push_back(items[i]);
    }
    if (sheets != shownSheets_ || titles != shownTitles_) {
        SendMessageW(tabs, TCM_DELETEALLITEMS, 0, 0);
        for (std::size_t k = 0; k < titles.size(); ++k) {
            std::wstring title = Wide(titles[k]);
            TCITEMW tab{};
            tab.mask = TCIF_TEXT;
            tab.pszText = title.data();
            SendMessageW(tabs, TCM_INSERTITEMW, k, reinterpret_cast<LPARAM>(&tab));
        }
        shownSheets_ = sheets;
        shownTitles_ = titles;
    }
    const auto front = std::ranges::find(shownSheets_, FrontSheet());
    const auto position = front == shownSheets_.end() ? -1 : static_cast<int>(front - shownSheets_.begin());
    if (SendMessageW(tabs, TCM_GETCURSEL, 0, 0) != position) {
        SendMessageW(tabs, TCM_SETCURSEL, static_cast<WPARAM>(position), 0);
    }
    MirrorState(Control::ParmPage, tabs);

    for (std::size_t i = 0; i < ControlCount; ++i) {
        const auto id = static_cast<Control>(i);
        if (!InfoOf(id).Sheet || !OnThisPage(id)) continue;
        if (HWND window = Item(id)) MirrorState(id, window);
    }
    for (const SheetMember& member : layout_->SheetMembers) {
        HWND window = GetDlgItem(window_, member.Id);
        const bool shown = InFront(member.Sheet);
        if (window != nullptr && HasStyle(window, WS_VISIBLE) != shown) {
            ShowWindow(window, shown ? SW_SHOWNA : SW_HIDE);
        }
    }
}

void DialogView::MirrorTree() {
    HWND tree = Item(Control::DeviceTree);
    if (tree == nullptr) return;
    const std::span<const TreeNode> nodes = Nodes();
    const auto same = [](const TreeNode& a, const TreeNode& b) {
        return a.Text == b.Text && a.Slot == b.Slot;
    };
    const bool appended = shownNodes_.size() <= nodes.size() &&
                          std::equal(shownNodes_.begin(), shownNodes_.end(), nodes.begin(), same);
    if (!appended) {
        SendMessageW(tree, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(TVI_ROOT));
        shownNodes_.clear();
        treeItems_.clear();
    }
    for (std::size_t i = shownNodes_.size(); i < nodes.size(); ++i) {
        std::wstring text = Wide(nodes[i].Text);
        TVINSERTSTRUCTW insert{};
        insert.hParent = TVI_ROOT;
        insert.hInsertAfter = TVI_LAST;
        insert.item.mask = TVIF_TEXT;
        insert.item.pszText = text.data();
        treeItems_.push_back(reinterpret_cast<HTREEITEM>(
            SendMessageW(tree, TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&insert))));
        shownNodes_.push_back(nodes[i]);
    }
    const std::int32_t selected = SelectedNode();
    HTREEITEM wanted = selected >= 0 && static_cast<std::size_t>(selected) < treeItems_.size()
                           ? treeItems_[static_cast<std::size_t>(selected)]
                           : nullptr;
    const auto current = reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CARET, 0));
    if (current != wanted) SendMessageW(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(wanted));
    MirrorState(Control::DeviceTree, tree);
}

} // namespace korax::wizard::win32
