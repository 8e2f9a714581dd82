#pragma once
// The wizard's pages as the controllers see them: named controls holding the state a real control holds,
// with no window behind them. A dialog implementation mirrors this state into windows and reports what the
// user did; a headless one lets tests play the user.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace korax::wizard {

// The page windows of the page table: start page, board configuration page, end page.
enum class PageClass : std::uint8_t { Start = 0, Board = 1, End = 2 };

enum class ControlKind : std::uint8_t {
    Label,  // text only
    Button, // click
    Option, // one of the page's mutually exclusive options
    List,   // drop-down list: items, selection
    Edit,   // one-line text field
    Tree,   // the board tree (its nodes are kept apart from the controls)
    Tabs,   // tabbed area: items are the tab titles, the selection is the tab in front
    Sheet,  // one tab of the tabbed area; its visibility is the tab's
};

// Every control of every page, by the name it bears on its page. Ranges that a page walks by index
// (ADCh0.., AD_Range0.., DA_Range0..) are contiguous.
enum class Control : std::uint8_t {
    Title,
    Instruction,
    NewOp,
    ModifyOp,
    BrowseOp,
    DevTypeEd,
    IDEd,
    BaseAddress,
    InputMode,
    ADMaxRange,
    ParmPage,
    BoardConfig,
    ADSheet,
    DASheet,
    DeviceTree,
    ADCh0,
    ADCh1,
    ADCh2,
    ADCh3,
    ADCh4,
    ADCh5,
    ADCh6,
    ADCh7,
    AD_Range0,
    AD_Range1,
    AD_Range2,
    AD_Range3,
    AD_Range4,
    AD_Range5,
    AD_Range6,
    AD_Range7,
    UpButton,
    DownButton,
    DA_Range0,
    DA_Range1,
    DA_Range2,
    DA_Range3,
    DA_Range4,
    DA_Range5,
    DA_Range6,
    DA_Range7,
    DA_Range8,
    DA_Range9,
    DA_Range10,
    DA_Range11,
    AddBtn,
    DelBtn,
    LastBtn,
    NextBtn,
    FinishBtn,
};
inline constexpr std::size_t ControlCount = static_cast<std::size_t>(Control::FinishBtn) + 1;

inline constexpr int AdRowCount = 8;  // gain lists shown at a time (one page of analog inputs)
inline constexpr int DaRowCount = 12; // output-range lists

constexpr Control AdChannelLabel(int k) {
    return static_cast<Control>(static_cast<int>(Control::ADCh0) + k);
}
constexpr Control AdRangeList(int k) {
    return static_cast<Control>(static_cast<int>(Control::AD_Range0) + k);
}
constexpr Control DaRangeList(int k) {
    return static_cast<Control>(static_cast<int>(Control::DA_Range0) + k);
}
static_assert(AdChannelLabel(AdRowCount - 1) == Control::ADCh7);
static_assert(AdRangeList(AdRowCount - 1) == Control::AD_Range7);
static_assert(DaRangeList(DaRowCount - 1) == Control::DA_Range11);

inline constexpr std::uint8_t OnStart = 1u << static_cast<int>(PageClass::Start);
inline constexpr std::uint8_t OnBoard = 1u << static_cast<int>(PageClass::Board);
inline constexpr std::uint8_t OnEnd = 1u << static_cast<int>(PageClass::End);

struct ControlInfo {
    std::string_view Name;
    ControlKind Kind;
    std::uint8_t Pages;           // OnStart | OnBoard | OnEnd
    std::optional<Control> Sheet; // the tab it sits on, if any
    bool TakesFocus;              // whether using it moves the keyboard focus to it
};

// Indexed by Control.
inline constexpr std::array<ControlInfo, ControlCount> Controls = {{
    {"Title", ControlKind::Label, OnStart | OnBoard | OnEnd, {}, false},
    {"Instruction", ControlKind::Label, OnStart | OnBoard | OnEnd, {}, false},
    {"NewOp", ControlKind::Option, OnStart, {}, true},
    {"ModifyOp", ControlKind::Option, OnStart, {}, true},
    {"BrowseOp", ControlKind::Option, OnStart, {}, true},
    {"DevTypeEd", ControlKind::List, OnBoard, {}, true},
    {"IDEd", ControlKind::Edit, OnBoard, {}, true},
    {"BaseAddress", ControlKind::List, OnBoard, {}, true},
    {"InputMode", ControlKind::List, OnBoard, {}, true},
    {"ADMaxRange", ControlKind::List, OnBoard, {}, true},
    {"ParmPage", ControlKind::Tabs, OnBoard, {}, true},
    {"BoardConfig", ControlKind::Sheet, OnBoard, {}, false},
    {"ADSheet", ControlKind::Sheet, OnBoard, {}, false},
    {"DASheet", ControlKind::Sheet, OnBoard, {}, false},
    {"DeviceTree", ControlKind::Tree, OnBoard, Control::BoardConfig, true},
    {"ADCh0", ControlKind::Label, OnBoard, Control::ADSheet, false},
    {"ADCh1", ControlKind::Label, OnBoard, Control::ADSheet, false},
    {"ADCh2", ControlKind::Label, OnBoard, Control::ADSheet, false},
    {"ADCh3", ControlKind::Label, OnBoard, Control::ADSheet, false},
    {"ADCh4", ControlKind::Label, OnBoard, Control::ADSheet, false},
    {"ADCh5", ControlKind::Label, OnBoard, Control::ADSheet, false},
    {"ADCh6", ControlKind::Label, OnBoard, Control::ADSheet, false},
    {"ADCh7", ControlKind::Label, OnBoard, Control::ADSheet, false},
    {"AD_Range0", ControlKind::List, OnBoard, Control::ADSheet, true},
    {"AD_Range1", ControlKind::List, OnBoard, Control::ADSheet, true},
    {"AD_Range2", ControlKind::List, OnBoard, Control::ADSheet, true},
    {"AD_Range3", ControlKind::List, OnBoard, Control::ADSheet, true},
    {"AD_Range4", ControlKind::List, OnBoard, Control::ADSheet, true},
    {"AD_Range5", ControlKind::List, OnBoard, Control::ADSheet, true},
    {"AD_Range6", ControlKind::List, OnBoard, Control::ADSheet, true},
    {"AD_Range7", ControlKind::List, OnBoard, Control::ADSheet, true},
    {"UpButton", ControlKind::Button, OnBoard, Control::ADSheet, true},
    {"DownButton", ControlKind::Button, OnBoard, Control::ADSheet, true},
    {"DA_Range0", ControlKind::List, OnBoard, Control::DASheet, true},
    {"DA_Range1", ControlKind::List, OnBoard, Control::DASheet, true},
    {"DA_Range2", ControlKind::List, OnBoard, Control::DASheet, true},
    {"DA_Range3", ControlKind::List, OnBoard, Control::DASheet, true},
    {"DA_Range4", ControlKind::List, OnBoard, Control::DASheet, true},
    {"DA_Range5", ControlKind::List, OnBoard, Control::DASheet, true},
    {"DA_Range6", ControlKind::List, OnBoard, Control::DASheet, true},
    {"DA_Range7", ControlKind::List, OnBoard, Control::DASheet, true},
    {"DA_Range8", ControlKind::List, OnBoard, Control::DASheet, true},
    {"DA_Range9", ControlKind::List, OnBoard, Control::DASheet, true},
    {"DA_Range10", ControlKind::List, OnBoard, Control::DASheet, true},
    {"DA_Range11", ControlKind::List, OnBoard, Control::DASheet, true},
    // Adding and deleting leave the focus where it was, so the analog tab the user was on is not left.
    {"AddBtn", ControlKind::Button, OnBoard, {}, false},
    {"DelBtn", ControlKind::Button, OnBoard, {}, false},
    {"LastBtn", ControlKind::Button, OnBoard | OnEnd, {}, true},
    {"NextBtn", ControlKind::Button, OnStart | OnBoard, {}, true},
    {"FinishBtn", ControlKind::Button, OnStart | OnBoard | OnEnd, {}, true},
}};

constexpr const ControlInfo& InfoOf(Control id) {
    return Controls[static_cast<std::size_t>(id)];
}

// What a control holds. A list's selection is an index into its items, -1 for none.
struct ControlState {
    std::vector<std::string> Items;
    std::int32_t Selection = -1;
    std::string Text;
    bool Enabled = true;
    bool Visible = true;
    bool Checked = false;
};

// A node of the board tree: its text and the slot of the board entry it refers to.
struct TreeNode {
    std::string Text;
    std::int32_t Slot;
};

// What a page controller is told. Apart from OnShow, every call stands for something the user did; a state
// change the controller makes itself is never reported back to it.
class PageEvents {
public:
    virtual ~PageEvents() = default;
    // The page is about to be shown.
    virtual void OnShow() = 0;
    virtual void OnUserClick(Control) {}
    virtual void OnUserDoubleClick(Control) {}
    virtual void OnUserPick(Control) {}
    virtual void OnUserEdit(Control) {}
    // The user clicked a node of the tree (or beside the nodes, which leaves the selection as it was), or
    // moved the tree's selection by other means: keys, or the tree choosing a node as it took the focus.
    virtual void OnUserClickNode() {}
    // The keyboard focus left a sheet the user had been working in.
    virtual void OnUserLeave(Control /*sheet*/) {}
};

// One page window. Controllers set and read state through the first group of members; the window system (or
// a test) reports the user's own doings through the User* members, which update the state as the control
// would and then tell the controller. Nothing a controller sets reaches the User* path.
class PageView {
public:
    explicit PageView(PageClass page) : page_(page) {}
    virtual ~PageView() = default;
    PageView(const PageView&) = delete;
    PageView& operator=(const PageView&) = delete;

    PageClass Page() const { return page_; }

    // --- State the controller sets and reads -------------------------------------------------------------
    void SetCaption(std::string_view text);
    const std::string& Caption() const { return caption_; }

    void SetText(Control id, std::string_view text);
    const std::string& Text(Control id) const { return At(id).Text; }
    void SetEnabled(Control id, bool enabled);
    bool Enabled(Control id) const { return At(id).Enabled; }
    void SetVisible(Control id, bool visible);
    bool Visible(Control id) const { return At(id).Visible; }
    void SetChecked(Control id, bool checked);
    bool Checked(Control id) const { return At(id).Checked; }

    // Replacing or clearing the items drops the selection, as a list does.
    void SetItems(Control id, std::span<const std::string_view> items);
    void ClearItems(Control id);
    void AddItem(Control id, std::string_view item);
    std::span<const std::string> Items(Control id) const { return At(id).Items; }
    // An index that names no item selects nothing (-1), as a list given such an index does.
    void SetSelection(Control id, std::int32_t index);
    std::int32_t Selection(Control id) const { return At(id).Selection; }
    // The selected item's text; empty when nothing is selected.
    std::string_view SelectedText(Control id) const;

    // Clearing the tree drops its selection.
    void ClearTree();
    void AddNode(std::string_view text, std::int32_t slot);
    std::span<const TreeNode> Nodes() const { return nodes_; }
    // Index of the selected node, -1 for none.
    std::int32_t SelectedNode() const { return selectedNode_; }

    // A message box over the page; the page stays open.
    virtual void ShowError(std::string_view text) = 0;
    // The page closes itself; its modal loop ends.
    void Close();
    bool Closed() const { return closed_; }

    // --- What the user did -------------------------------------------------------------------------------
    // Each returns false, changing nothing, when the user could not have done it: the control is not on this
    // page, is hidden or disabled, sits on a hidden tab, or the page has closed.
    bool UserClick(Control id);
    bool UserDoubleClick(Control id);
    bool UserPick(Control id, std::int32_t index);
    bool UserEdit(Control id, std::string_view text);
    // A left click on node `node` of the tree; -1 is a click beside the nodes.
    bool UserClickNode(std::int32_t node);
    // A right click selects the node without the click action.
    bool UserRightClickNode(std::int32_t node);
    // The tree's selection moved to `node` other than by a click (arrow keys, or the tree taking the focus
    // with nothing selected): the same action as a click on it.
    bool UserSelectNode(std::int32_t node);
    bool UserLeave(Control sheet);
    // The close box: the page closes without any action of its own.
    void UserClose();

    // Whether the user can reach the control at all.
    bool Reachable(Control id) const;

    // Shows the page: the controller hears OnShow, then the page runs until it closes.
    void Show(PageEvents& events);

protected:
    // Runs the page until Close or the close box ends it.
    virtual void RunModal() = 0;
    // The controller closed the page: a window-backed view ends its modal loop here.
    virtual void EndModal() {}
    // Lets a window-backed view mirror a control (or the caption, for nullopt) the controller just changed.
    virtual void Changed(std::optional<Control> /*id*/) {}

private:
    ControlState& At(Control id) { return controls_[static_cast<std::size_t>(id)]; }
    const ControlState& At(Control id) const { return controls_[static_cast<std::size_t>(id)]; }

    PageClass page_;
    std::array<ControlState, ControlCount> controls_{};
    std::string caption_;
    std::vector<TreeNode> nodes_;
    std::int32_t selectedNode_ = -1;
    PageEvents* events_ = nullptr;
    bool closed_ = false;
};

} // namespace korax::wizard
