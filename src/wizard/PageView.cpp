#include "wizard/PageView.h"

namespace korax::wizard {

namespace {

bool OnPage(Control id, PageClass page) {
    return (InfoOf(id).Pages & (1u << static_cast<int>(page))) != 0;
}

bool IsItemOf(std::int32_t index, std::size_t count) {
    return index >= 0 && static_cast<std::size_t>(index) < count;
}

} // namespace

void PageView::SetCaption(std::string_view text) {
    caption_ = text;
    Changed(std::nullopt);
}

void PageView::SetText(Control id, std::string_view text) {
    At(id).Text = text;
    Changed(id);
}

void PageView::SetEnabled(Control id, bool enabled) {
    At(id).Enabled = enabled;
    Changed(id);
}

void PageView::SetVisible(Control id, bool visible) {
    At(id).Visible = visible;
    Changed(id);
}

void PageView::SetChecked(Control id, bool checked) {
    At(id).Checked = checked;
    Changed(id);
}

void PageView::SetItems(Control id, std::span<const std::string_view> items) {
    ControlState& state = At(id);
    state.Items.assign(items.begin(), items.end());
    state.Selection = -1;
    Changed(id);
}

void PageView::ClearItems(Control id) {
    SetItems(id, {});
}

void PageView::AddItem(Control id, std::string_view item) {
    At(id).Items.emplace_back(item);
    Changed(id);
}

void PageView::SetSelection(Control id, std::int32_t index) {
    ControlState& state = At(id);
    state.Selection = IsItemOf(index, state.Items.size()) ? index : -1;
    Changed(id);
}

std::string_view PageView::SelectedText(Control id) const {
    const ControlState& state = At(id);
    return IsItemOf(state.Selection, state.Items.size())
               ? std::string_view(state.Items[static_cast<std::size_t>(state.Selection)])
               : std::string_view();
}

void PageView::ClearTree() {
    nodes_.clear();
    selectedNode_ = -1;
    Changed(Control::DeviceTree);
}

void PageView::AddNode(std::string_view text, std::int32_t slot) {
    nodes_.push_back({std::string(text), slot});
    Changed(Control::DeviceTree);
}

void PageView::Close() {
    closed_ = true;
    EndModal();
}

bool PageView::Reachable(Control id) const {
    if (closed_ || !OnPage(id, page_)) return false;
    const ControlState& state = At(id);
    if (!state.Enabled || !state.Visible) return false;
    const std::optional<Control> sheet = InfoOf(id).Sheet;
    return !sheet || At(*sheet).Visible;
}

bool PageView::UserClick(Control id) {
    const ControlKind kind = InfoOf(id).Kind;
    if (!Reachable(id) || (kind != ControlKind::Button && kind != ControlKind::Option)) return false;
    if (kind == ControlKind::Option) {
        // The options of a page exclude each other: choosing one clears the rest.
        for (std::size_t i = 0; i < ControlCount; ++i) {
            const auto other = static_cast<Control>(i);
            if (InfoOf(other).Kind == ControlKind::Option && OnPage(other, page_)) {
                controls_[i].Checked = other == id;
            }
        }
    }
    if (events_ != nullptr) events_->OnUserClick(id);
    return true;
}

bool PageView::UserDoubleClick(Control id) {
    // The first click of the two has already chosen the option.
    if (InfoOf(id).Kind != ControlKind::Option || !UserClick(id)) return false;
    if (events_ != nullptr && !closed_) events_->OnUserDoubleClick(id);
    return true;
}

bool PageView::UserPick(Control id, std::int32_t index) {
    const ControlKind kind = InfoOf(id).Kind;
    if (!Reachable(id) || (kind != ControlKind::List && kind != ControlKind::Tabs)) return false;
    ControlState& state = At(id);
    if (!IsItemOf(index, state.Items.size())) return false;
    state.Selection = index;
    if (events_ != nullptr) events_->OnUserPick(id);
    return true;
}

bool PageView::UserEdit(Control id, std::string_view text) {
    if (!Reachable(id) || InfoOf(id).Kind != ControlKind::Edit) return false;
    At(id).Text = text;
    if (events_ != nullptr) events_->OnUserEdit(id);
    return true;
}

bool PageView::UserClickNode(std::int32_t node) {
    if (!Reachable(Control::DeviceTree)) return false;
    // A click beside the nodes keeps the node selected before, and the click action still runs.
    if (IsItemOf(node, nodes_.size())) selectedNode_ = node;
    if (events_ != nullptr) events_->OnUserClickNode();
    return true;
}

bool PageView::UserRightClickNode(std::int32_t node) {
    if (!Reachable(Control::DeviceTree) || !IsItemOf(node, nodes_.size())) return false;
    selectedNode_ = node;
    return true;
}

bool PageView::UserSelectNode(std::int32_t node) {
    if (!Reachable(Control::DeviceTree) || !IsItemOf(node, nodes_.size())) return false;
    selectedNode_ = node;
    if (events_ != nullptr) events_->OnUserClickNode();
    return true;
}

bool PageView::UserLeave(Control sheet) {
    if (!Reachable(sheet) || InfoOf(sheet).Kind != ControlKind::Sheet) return false;
    if (events_ != nullptr) events_->OnUserLeave(sheet);
    return true;
}

void PageView::UserClose() {
    closed_ = true;
}

void PageView::Show(PageEvents& events) {
    // The controller dies with the page; nothing may reach it afterwards, whichever way the page ends.
    struct Detach {
        PageEvents*& events;
        ~Detach() { events = nullptr; }
    } detach{events_};
    events_ = &events;
    events.OnShow();
    RunModal();
}

} // namespace korax::wizard
