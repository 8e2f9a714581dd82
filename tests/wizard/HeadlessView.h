#pragma once
// Page views without windows: a test plays the user on them. The keyboard focus moves as a window system
// moves it, so working in an analog tab and then using a control outside it reports leaving the tab first.
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "config/DevicePDB.h"
#include "wizard/PageView.h"
#include "wizard/WizardFlow.h"

namespace korax::test {

using wizard::Control;
using wizard::PageClass;

class HeadlessView final : public wizard::PageView {
public:
    using Step = std::function<void(HeadlessView&)>;

    // `step` plays the user while the page is open; a page it leaves open is closed with the close box.
    HeadlessView(PageClass page, Step step, std::vector<std::string>* errors = nullptr)
        : PageView(page), step_(std::move(step)), errors_(errors) {}

    void ShowError(std::string_view text) override {
        Errors.emplace_back(text);
        if (errors_ != nullptr) errors_->emplace_back(text);
    }
    std::vector<std::string> Errors;

    bool Click(Control id) { return Focus(id) && UserClick(id); }
    bool DoubleClick(Control id) { return Focus(id) && UserDoubleClick(id); }
    bool Pick(Control id, std::int32_t index) { return Focus(id) && UserPick(id, index); }
    // Selects the field's text and types over it, one keystroke (one change of the text) at a time.
    // No keys at all: the text is selected and deleted.
    bool Type(Control id, std::string_view keys) {
        if (!Focus(id)) return false;
        if (keys.empty()) return UserEdit(id, "");
        for (std::size_t i = 0; i < keys.size(); ++i) {
            const std::string text = (i == 0 ? std::string() : Text(id)) + keys[i];
            if (!UserEdit(id, text)) return false;
        }
        return true;
    }
    bool ClickNode(std::int32_t node) { return Focus(Control::DeviceTree) && UserClickNode(node); }
    bool RightClickNode(std::int32_t node) { return Focus(Control::DeviceTree) && UserRightClickNode(node); }
    // The tab key into the tree: with nothing selected, the tree selects its first node by itself.
    bool TabIntoTree() {
        if (!Focus(Control::DeviceTree)) return false;
        return SelectedNode() >= 0 || Nodes().empty() || UserSelectNode(0);
    }
    // An arrow key in the tree moves its selection to `node`.
    bool ArrowToNode(std::int32_t node) { return Focus(Control::DeviceTree) && UserSelectNode(node); }
    // Index of the first node whose text starts with `prefix`; -1 when none does.
    std::int32_t NodeStarting(std::string_view prefix) const {
        for (std::size_t i = 0; i < Nodes().size(); ++i) {
            if (Nodes()[i].Text.starts_with(prefix)) return static_cast<std::int32_t>(i);
        }
        return -1;
    }

protected:
    void RunModal() override {
        if (step_) step_(*this);
        if (!Closed()) UserClose();
    }

private:
    bool Focus(Control id) {
        if (!Reachable(id)) return false;
        const wizard::ControlInfo& info = wizard::InfoOf(id);
        if (!info.TakesFocus) return true;
        const std::optional<Control> left = focusSheet_;
        focusSheet_ = info.Sheet;
        if (left && left != info.Sheet) UserLeave(*left);
        return Reachable(id);
    }

    Step step_;
    std::vector<std::string>* errors_;
    std::optional<Control> focusSheet_;
};

// Plays whole wizard runs: each page shown takes the next step; pages beyond the steps are closed at once.
class HeadlessWizard final : public wizard::ViewFactory {
public:
    HeadlessWizard& Then(HeadlessView::Step step) {
        steps_.push_back(std::move(step));
        return *this;
    }
    std::int32_t Run(config::DevicePDB* block) { return wizard::EditDevice(block, *this); }

    std::unique_ptr<wizard::PageView> CreatePage(PageClass page) override {
        Pages.push_back(page);
        HeadlessView::Step step = next_ < steps_.size() ? steps_[next_++] : nullptr;
        return std::make_unique<HeadlessView>(page, std::move(step), &Errors);
    }

    std::vector<PageClass> Pages;
    std::vector<std::string> Errors;

private:
    std::vector<HeadlessView::Step> steps_;
    std::size_t next_ = 0;
};

} // namespace korax::test
