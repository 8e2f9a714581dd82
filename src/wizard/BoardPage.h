#pragma once
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "wizard/AnalogSettings.h"
#include "wizard/PageView.h"
#include "wizard/WizardFlow.h"

namespace korax::wizard {

// The decimal integer a board number field holds: an optional sign and digits, within 32 bits.
std::optional<std::int32_t> ParseBoardNumber(std::string_view text);

// Page 4: the boards of the working block as a tree, the fields of the board shown, its analog tabs.
// Structure edits (add, delete, renumber, model, base address, wiring) go into the working block at once;
// gains and output ranges only when the page stores its settings on next or finish.
class BoardPage final : public PageEvents {
public:
    BoardPage(WizardState& wizard, PageView& view)
        : Analog(view, wizard.WorkingBlock), wizard_(wizard), view_(view), block_(wizard.WorkingBlock) {}

    // The slot of the board shown in the fields.
    std::int32_t CurrentBoard = 0;
    AnalogSettings Analog;

    void OnShow() override;
    void OnUserClick(Control id) override;
    void OnUserPick(Control id) override;
    void OnUserEdit(Control id) override;
    void OnUserClickNode() override;
    void OnUserLeave(Control sheet) override;

private:
    config::BoardEntry& Entry(int b) { return block_.Boards[b]; }
    bool HoldsBoard(int b) const { return config::IsBoard(block_.Boards[b].DevType); }
    std::optional<int> LowestUnusedSlot() const;
    std::optional<int> LowestUsedSlot() const;
    int SelectedBoardShown() const;
    int BoardOfNode(std::int32_t node) const;
    std::uint32_t ShownBaseAddress() const;
    bool ViewOnly() const { return Analog.ViewOnly; }
    // Whether a board of `model` at `base` in slot b would answer on no port of another board.
    bool PortsFree(int b, std::uint8_t model, std::uint32_t base) const;
    // The first base address of the list from `from` on (then from the start) whose ports are free for a
    // board of `model` in slot b.
    std::optional<std::uint32_t> FreeBaseAddress(int b, std::uint8_t model, std::uint32_t from) const;

    void SetUpControls();
    void FillFields(int b);
    void RefreshBoardFields();
    void RebuildTree();
    void WriteShownBoard(int n);
    void ShowBaseTaken(std::uint32_t address);
    // The board shown takes the number in the field: moved there when it names a free slot. Nothing, with
    // the reason shown, when the field holds no number or names another board.
    bool CommitNumber();
    void MoveBoard(int old, int n);
    bool StoreSettings();

    // User actions.
    void SelectBoard();
    void Renumber();
    void ChangeModel();
    void ChangeBaseAddress();
    void ChangeWiring();
    void AddBoard();
    void DeleteBoard();
    void PageUp() { Analog.PageUp(CurrentBoard); }
    void PageDown() { Analog.PageDown(CurrentBoard); }
    void Next();
    void Back();
    void Finish();
    void KeepGains() { Analog.KeepVisibleGainPage(CurrentBoard); }
    void KeepRanges() { Analog.KeepOutputRanges(CurrentBoard); }

    struct Action {
        Control Id;
        void (BoardPage::*Run)();
    };
    static const Action ClickActions[];
    static const Action PickActions[];
    static const Action LeaveActions[];
    void Dispatch(std::span<const Action> actions, Control id);

    WizardState& wizard_;
    PageView& view_;
    config::DevicePDB& block_;
};

} // namespace korax::wizard
