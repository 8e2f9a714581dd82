#include "wizard/BoardPage.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <string>

#include "boards/ModelTables.h"
#include "wizard/WizardTexts.h"

namespace korax::wizard {

namespace {

constexpr std::int32_t FirstSlot = 0;
constexpr std::int32_t LastSlot = config::BoardCount - 1;

// How many ports from its base address on a board of a model answers on (none for an unused slot): the
// wizard keeps these blocks of different boards apart, the gaps below a model's lowest register included.
std::uint32_t PortsFromBase(std::uint8_t model) {
    return static_cast<std::uint32_t>(boards::BoardPortSpan(model).Last + 1);
}

// The base addresses the list offers: 200H, 210H, ... 3F0H; item i stands for FirstBaseAddress + i * step.
using config::BaseAddressCount;
using config::BaseAddressStep;
using config::DefaultBaseAddress;
using config::FirstBaseAddress;
constexpr int NodeAddressDigits = 3;

// What the page looks like per wizard mode (indexed by OperationMode).
struct ModeLook {
    bool AddShown;
    bool DeleteShown;
    bool ViewOnly;
};
constexpr std::array<ModeLook, 3> ModeLooks = {{
    {true, false, false}, // create: boards are only added
    {true, true, false},  // modify
    {false, false, true}, // view
}};

// The fields a view-only visit keeps disabled, beside the gain and range lists.
constexpr std::array<Control, 5> BoardFields = {Control::IDEd, Control::DevTypeEd, Control::BaseAddress,
                                                Control::InputMode, Control::ADMaxRange};

constexpr std::array<std::string_view, config::ModelCount> ModelListNames = [] {
    std::array<std::string_view, config::ModelCount> names{};
    for (std::size_t m = 0; m < names.size(); ++m) names[m] = boards::Models[m].ListName;
    return names;
}();

std::string HexUpper(std::uint32_t value, int minDigits) {
    std::array<char, 8> digits{};
    const auto end = std::to_chars(digits.data(), digits.data() + digits.size(), value, 16).ptr;
    std::string text(digits.data(), end);
    std::ranges::transform(text, text.begin(), [](char c) {
        return c >= 'a' && c <= 'f' ? static_cast<char>(c - 'a' + 'A') : c;
    });
    if (text.size() < static_cast<std::size_t>(minDigits)) {
        text.insert(0, static_cast<std::size_t>(minDigits) - text.size(), '0');
    }
    return text;
}

std::string NodeText(const config::BoardEntry& entry) {
    std::string text(texts::NodeBoard);
    text += std::to_string(entry.BoardNo);
    text += texts::NodeSeparator;
    text += config::ShortStringText(entry.DevName, config::DevNameSize);
    text += texts::NodeBase;
    text += HexUpper(entry.BaseAddress, NodeAddressDigits);
    text += texts::NodeSeparator;
    text += config::InputModeText(entry.InputMode);
    return text;
}

void SetModel(config::BoardEntry& entry, std::uint8_t model) {
    entry.DevType = model;
    config::SetShortString(entry.DevName, config::DevNameSize, config::ModelName(model).value_or(""));
}

bool IsSlot(std::int32_t b) {
    return b >= FirstSlot && b <= LastSlot;
}

} // namespace

std::optional<std::int32_t> ParseBoardNumber(std::string_view text) {
    // A plus sign may stand before the digits, as a minus may.
    if (text.starts_with('+')) {
        text.remove_prefix(1);
        if (text.empty() || text.front() < '0' || text.front() > '9') return std::nullopt;
    }
    std::int32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, 10);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

const BoardPage::Action BoardPage::ClickActions[] = {
    {Control::AddBtn, &BoardPage::AddBoard},  {Control::DelBtn, &BoardPage::DeleteBoard},
    {Control::UpButton, &BoardPage::PageUp},  {Control::DownButton, &BoardPage::PageDown},
    {Control::NextBtn, &BoardPage::Next},     {Control::LastBtn, &BoardPage::Back},
    {Control::FinishBtn, &BoardPage::Finish},
};
const BoardPage::Action BoardPage::PickActions[] = {
    {Control::DevTypeEd, &BoardPage::ChangeModel},
    {Control::BaseAddress, &BoardPage::ChangeBaseAddress},
    {Control::InputMode, &BoardPage::ChangeWiring},
};
const BoardPage::Action BoardPage::LeaveActions[] = {
    {Control::ADSheet, &BoardPage::KeepGains},
    {Control::DASheet, &BoardPage::KeepRanges},
};

void BoardPage::Dispatch(std::span<const Action> actions, Control id) {
    for (const Action& action : actions) {
        if (action.Id == id) (this->*action.Run)();
    }
}

void BoardPage::OnUserClick(Control id) {
    Dispatch(ClickActions, id);
}
void BoardPage::OnUserPick(Control id) {
    Dispatch(PickActions, id);
}
void BoardPage::OnUserLeave(Control sheet) {
    Dispatch(LeaveActions, sheet);
}
void BoardPage::OnUserEdit(Control id) {
    if (id == Control::IDEd) Renumber();
}
void BoardPage::OnUserClickNode() {
    SelectBoard();
}

// --- Helpers ---------------------------------------------------------------------------------------------

std::optional<int> BoardPage::LowestUnusedSlot() const {
    for (int b = FirstSlot; b <= LastSlot; ++b) {
        if (!HoldsBoard(b)) return b;
    }
    return std::nullopt;
}

std::optional<int> BoardPage::LowestUsedSlot() const {
    for (int b = FirstSlot; b <= LastSlot; ++b) {
        if (HoldsBoard(b)) return b;
    }
    return std::nullopt;
}

int BoardPage::SelectedBoardShown() const {
    // A host block naming no slot shows board 0 rather than reaching past the 32 entries.
    return IsSlot(block_.SelectedBoard) ? block_.SelectedBoard : FirstSlot;
}

int BoardPage::BoardOfNode(std::int32_t node) const {
    // A node stands for its entry's board number. An entry from elsewhere whose number names no slot stands
    // for its own slot, so no board number can ever index past the block.
    const std::int32_t slot = view_.Nodes()[static_cast<std::size_t>(node)].Slot;
    const std::int32_t number = block_.Boards[slot].BoardNo;
    return IsSlot(number) ? number : slot;
}

std::uint32_t BoardPage::ShownBaseAddress() const {
    // The item's text without its suffix, in hexadecimal. The list always has a selection once the fields
    // have been refreshed; should it have none, the default address stands.
    std::string_view item = view_.SelectedText(Control::BaseAddress);
    if (item.ends_with(texts::BaseAddressSuffix)) item.remove_suffix(texts::BaseAddressSuffix.size());
    std::uint32_t address = DefaultBaseAddress;
    std::from_chars(item.data(), item.data() + item.size(), address, 16);
    return address;
}

bool BoardPage::PortsFree(int b, std::uint8_t model, std::uint32_t base) const {
    const std::uint64_t first = base;
    const std::uint64_t end = first + PortsFromBase(model);
    for (int other = FirstSlot; other <= LastSlot; ++other) {
        if (other == b || !HoldsBoard(other)) continue;
        const config::BoardEntry& entry = block_.Boards[other];
        const std::uint64_t otherFirst = entry.BaseAddress;
        const std::uint64_t otherEnd = otherFirst + PortsFromBase(entry.DevType);
        if (first < otherEnd && otherFirst < end) return false;
    }
    return true;
}

std::optional<std::uint32_t> BoardPage::FreeBaseAddress(int b, std::uint8_t model, std::uint32_t from) const {
    const int start = config::BaseAddressIndex(from);
    for (int i = 0; i < BaseAddressCount; ++i) {
        const auto index = static_cast<std::uint32_t>((start + i) % BaseAddressCount);
        const std::uint32_t address = FirstBaseAddress + BaseAddressStep * index;
        if (PortsFree(b, model, address)) return address;
    }
    return std::nullopt;
}

void BoardPage::ShowBaseTaken(std::uint32_t address) {
    view_.ShowError(std::string(texts::BaseTakenBefore) + HexUpper(address, 0) +
                    std::string(texts::BaseAddressSuffix) + std::string(texts::BaseTakenAfter));
}

// --- Showing the page and refreshing it ------------------------------------------------------------------

void BoardPage::SetUpControls() {
    view_.SetText(Control::Title, texts::HeaderTitle);
    view_.SetText(Control::Instruction, texts::BoardInstruction);
    view_.SetText(Control::AddBtn, texts::AddButton);
    view_.SetText(Control::DelBtn, texts::DeleteButton);
    view_.SetText(Control::LastBtn, texts::BackButton);
    view_.SetText(Control::NextBtn, texts::NextButton);
    view_.SetText(Control::FinishBtn, texts::FinishButton);
    // The board tree is in front when the page opens.
    view_.SetItems(Control::ParmPage, texts::SheetTitles);
    view_.SetSelection(Control::ParmPage, 0);

    view_.SetItems(Control::DevTypeEd, ModelListNames);
    view_.ClearItems(Control::BaseAddress);
    for (int i = 0; i < BaseAddressCount; ++i) {
        const std::uint32_t address = FirstBaseAddress + BaseAddressStep * static_cast<std::uint32_t>(i);
        view_.AddItem(Control::BaseAddress, HexUpper(address, 0) + std::string(texts::BaseAddressSuffix));
    }
    view_.ClearItems(Control::InputMode);
    view_.AddItem(Control::InputMode, config::InputModeText(config::SingleEndedWiring));
    view_.SetItems(Control::ADMaxRange, texts::MaxRangeItems);
    view_.SetEnabled(Control::ADMaxRange, false);
}

void BoardPage::OnShow() {
    wizard_.NextPage = PageNumber::Done;
    const ModeLook& look = ModeLooks[static_cast<std::size_t>(wizard_.WizardMode)];
    Analog.ViewOnly = look.ViewOnly;
    SetUpControls();

    CurrentBoard = SelectedBoardShown();
    FillFields(CurrentBoard);
    Analog.ComputeClasses();
    Analog.Load();
    RefreshBoardFields();
    RebuildTree();

    view_.SetCaption(texts::BoardCaptions[static_cast<std::size_t>(wizard_.WizardMode)]);
    view_.SetVisible(Control::AddBtn, look.AddShown);
    view_.SetVisible(Control::DelBtn, look.DeleteShown);
    if (look.ViewOnly) {
        for (Control field : BoardFields) view_.SetEnabled(field, false);
        for (int k = 0; k < AdRowCount; ++k) view_.SetEnabled(AdRangeList(k), false);
        for (int k = 0; k < DaRowCount; ++k) view_.SetEnabled(DaRangeList(k), false);
    }
}

void BoardPage::FillFields(int b) {
    const config::BoardEntry& entry = Entry(b);
    view_.SetSelection(Control::DevTypeEd, config::IsBoard(entry.DevType) ? entry.DevType : -1);
    view_.SetText(Control::IDEd, std::to_string(b));
    view_.SetSelection(Control::BaseAddress, config::BaseAddressIndex(entry.BaseAddress));
    view_.SetSelection(Control::InputMode, entry.InputMode);
    view_.SetSelection(Control::ADMaxRange, entry.ADMaxRange);
}

void BoardPage::RefreshBoardFields() {
    Analog.RefreshInputTab(CurrentBoard);
    Analog.RefreshOutputTab(CurrentBoard);
    view_.SetEnabled(Control::IDEd, !ViewOnly());
    view_.SetEnabled(Control::BaseAddress, !ViewOnly());
    // The field always names the board shown once the page has refreshed it: a number left there that
    // moved nothing (another board's, or no number at all) gives way to the board's own.
    if (ParseBoardNumber(view_.Text(Control::IDEd)) != CurrentBoard) {
        view_.SetText(Control::IDEd, std::to_string(CurrentBoard));
    }
    if (view_.Selection(Control::BaseAddress) < 0) {
        view_.SetSelection(Control::BaseAddress, config::BaseAddressIndex(DefaultBaseAddress));
    }

    // The wirings the model offers; a model without a gain table row offers none.
    const boards::Model* model = boards::ModelOf(ShownModel(view_));
    const bool differential = model != nullptr && boards::OffersDifferential(*model);
    const bool singleEnded = model != nullptr && boards::OffersSingleEnded(*model);
    if (differential && singleEnded) {
        view_.SetEnabled(Control::InputMode, !ViewOnly());
        view_.ClearItems(Control::InputMode);
        view_.AddItem(Control::InputMode, config::InputModeText(config::SingleEndedWiring));
        view_.AddItem(Control::InputMode, config::InputModeText(config::DifferentialWiring));
    } else {
        // Nothing to choose: the list keeps what it had and only shows the board's wiring.
        view_.SetEnabled(Control::InputMode, false);
        if (singleEnded) view_.AddItem(Control::InputMode, config::InputModeText(config::SingleEndedWiring));
        if (differential)
            view_.AddItem(Control::InputMode, config::InputModeText(config::DifferentialWiring));
    }
    view_.SetSelection(Control::InputMode, Entry(CurrentBoard).InputMode);
    view_.SetEnabled(Control::ADMaxRange, false);
}

void BoardPage::RebuildTree() {
    view_.ClearTree();
    for (int b = FirstSlot; b <= LastSlot; ++b) {
        if (HoldsBoard(b)) view_.AddNode(NodeText(Entry(b)), b);
    }
}

void BoardPage::WriteShownBoard(int n) {
    config::BoardEntry& entry = Entry(n);
    // A board always carries the number of its slot; a slot vacated by renumbering holds 0 until then.
    entry.BoardNo = n;
    SetModel(entry, ShownModel(view_));
    // The base address and the wiring went into the entry when the user picked them; the lists may show
    // another value for one they cannot show (an address off the list), which must not replace it.
}

// --- User actions ----------------------------------------------------------------------------------------

void BoardPage::SelectBoard() {
    const std::int32_t node = view_.SelectedNode();
    if (node < 0) return;
    // The gains and ranges of the board left were kept when the focus left its analog tab.
    CurrentBoard = BoardOfNode(node);
    FillFields(CurrentBoard);
    Analog.ComputeClasses();
    RefreshBoardFields();
}

void BoardPage::Renumber() {
    const int old = CurrentBoard;
    std::int32_t n = ParseBoardNumber(view_.Text(Control::IDEd)).value_or(0);
    if (n < FirstSlot || n > LastSlot) {
        n = std::clamp(n, FirstSlot, LastSlot);
        view_.SetText(Control::IDEd, std::to_string(n));
    }
    if (n == old) return;
    // This runs at every keystroke, so typing 12 passes through 1. A number naming another board's slot
    // moves nothing and the field keeps the text: the board moves once the number names a free slot, and
    // storing refuses a number that still names another board. No board is ever written over.
    if (HoldsBoard(n)) return;

    MoveBoard(old, n);
}

void BoardPage::MoveBoard(int old, int n) {
    Entry(old).BoardNo = n;
    block_.SelectedBoard = n;
    config::BoardEntry& from = Entry(old);
    config::BoardEntry& to = Entry(n);
    to.BoardNo = from.BoardNo;
    to.DevType = from.DevType;
    config::SetShortString(to.DevName, config::DevNameSize,
                           config::ShortStringText(from.DevName, config::DevNameSize));
    to.BaseAddress = from.BaseAddress;
    to.InputMode = from.InputMode;
    to.ADMaxRange = from.ADMaxRange;
    to.Spare1 = from.Spare1;
    to.Spare2 = from.Spare2;
    for (int k = 0; k < config::AdGainCount; ++k) to.ADGain[k] = from.ADGain[k];
    for (int k = 0; k < config::DaRangeCount; ++k) to.DARange[k] = from.DARange[k];

    from.BoardNo = 0;
    from.DevType = config::NoBoard;
    config::SetShortString(from.DevName, config::DevNameSize, {});
    from.BaseAddress = 0;
    from.InputMode = 0;
    from.ADMaxRange = 0;
    from.Spare1 = 0;
    from.Spare2 = 0;
    for (int k = 0; k < config::AdGainCount; ++k) from.ADGain[k] = 0;
    for (int k = 0; k < config::DaRangeCount; ++k) from.DARange[k] = 0;

    Analog.Move(old, n);
    RebuildTree();
    CurrentBoard = n;
}

void BoardPage::ChangeModel() {
    const int c = CurrentBoard;
    const std::uint8_t model = ShownModel(view_);
    if (!PortsFree(c, model, Entry(c).BaseAddress)) {
        // A model answering on more ports would reach another board's: the board keeps its model.
        ShowBaseTaken(Entry(c).BaseAddress);
        view_.SetSelection(Control::DevTypeEd, config::IsBoard(Entry(c).DevType) ? Entry(c).DevType : -1);
        return;
    }
    Analog.ComputeClasses();
    Analog.ResetInputs(c);
    Analog.Recount(c);
    // A slot that becomes a board here (the page shows an unused slot) carries its own number.
    Entry(c).BoardNo = c;
    SetModel(Entry(c), model);
    RefreshBoardFields();
    RebuildTree();
}

void BoardPage::ChangeBaseAddress() {
    config::BoardEntry& entry = Entry(CurrentBoard);
    const std::uint32_t address = ShownBaseAddress();
    if (!PortsFree(CurrentBoard, entry.DevType, address)) {
        ShowBaseTaken(address);
        view_.SetSelection(Control::BaseAddress, config::BaseAddressIndex(entry.BaseAddress));
        return;
    }
    entry.BaseAddress = address;
    RebuildTree();
}

void BoardPage::ChangeWiring() {
    const int c = CurrentBoard;
    Analog.ResetInputs(c);
    Entry(c).InputMode = view_.Selection(Control::InputMode);
    Analog.Recount(c);
    Analog.RefreshInputTab(c);
    RebuildTree();
}

void BoardPage::AddBoard() {
    if (CurrentBoard != -1) {
        // Commit the board shown under the number in the field.
        if (!CommitNumber()) return;
        Analog.KeepVisibleGainPage(CurrentBoard);
        Analog.KeepOutputRanges(CurrentBoard);
        WriteShownBoard(CurrentBoard);
        Analog.Store(CurrentBoard);
    }
    const std::optional<int> free = LowestUnusedSlot();
    if (!free) return;
    const config::BoardEntry& shown = Entry(CurrentBoard);
    const std::uint8_t model = ShownModel(view_);
    // The new board takes the values in the fields, but never the ports of another board: it goes to the
    // first free base address from the one shown on.
    const std::optional<std::uint32_t> base = FreeBaseAddress(*free, model, shown.BaseAddress);
    if (!base) {
        view_.ShowError(texts::NoFreeBase);
        return;
    }
    wizard_.ConfigChanged = true;
    config::BoardEntry& entry = Entry(*free);
    entry.BoardNo = *free;
    SetModel(entry, model);
    entry.BaseAddress = *base;
    entry.InputMode = shown.InputMode;
    entry.ADMaxRange = shown.ADMaxRange;
    CurrentBoard = *free;
    view_.SetText(Control::IDEd, std::to_string(*free));
    view_.SetSelection(Control::BaseAddress, config::BaseAddressIndex(*base));
    // The analog lists keep what they show, so leaving an analog tab afterwards gives those gains and
    // ranges to the new board.
    Analog.Store(*free);
    Analog.TakeShownAsEdits();
    RebuildTree();
}

void BoardPage::DeleteBoard() {
    const std::int32_t node = view_.SelectedNode();
    if (node >= 0) {
        const int b = BoardOfNode(node);
        config::BoardEntry& entry = Entry(b);
        entry.DevType = config::NoBoard;
        config::SetShortString(entry.DevName, config::DevNameSize, {});
        entry.BaseAddress = DefaultBaseAddress;
        entry.InputMode = 0;
        entry.ADMaxRange = 0;
        Analog.Clear(b);
        // Only a board deleted changes the configuration.
        wizard_.ConfigChanged = true;
    }
    CurrentBoard = LowestUsedSlot().value_or(SelectedBoardShown());
    FillFields(CurrentBoard);
    Analog.ComputeClasses();
    RefreshBoardFields();
    RebuildTree();
    view_.SetText(Control::IDEd, std::to_string(CurrentBoard));
}

bool BoardPage::CommitNumber() {
    const std::string text = view_.Text(Control::IDEd);
    const std::optional<std::int32_t> number = ParseBoardNumber(text);
    if (!number) {
        view_.ShowError(std::string(texts::NotAnIntegerBefore) + text +
                        std::string(texts::NotAnIntegerAfter));
        return false;
    }
    const int n = std::clamp(*number, FirstSlot, LastSlot);
    if (n == CurrentBoard) return true;
    if (HoldsBoard(n)) {
        view_.ShowError(std::string(texts::NumberTakenBefore) + text + std::string(texts::NumberTakenAfter));
        return false;
    }
    // A number other than the board's own is a renumbering: the board moves, no copy stays behind.
    MoveBoard(CurrentBoard, n);
    return true;
}

bool BoardPage::StoreSettings() {
    // Viewing changes nothing: the working block stays as the host gave it.
    if (ViewOnly()) return true;
    if (!CommitNumber()) return false;
    Analog.KeepVisibleGainPage(CurrentBoard);
    WriteShownBoard(CurrentBoard);
    Analog.Store();
    return true;
}

void BoardPage::Next() {
    // Without room for the way back the page stays, and nothing is stored.
    if (wizard_.PageHistory.Full() || !StoreSettings()) return;
    wizard_.Forward(PageNumber::Board, PageNumber::End);
    view_.Close();
}

void BoardPage::Back() {
    // Gains and ranges edited since the page opened are dropped; structure edits are already in the block.
    if (wizard_.Back()) view_.Close();
}

void BoardPage::Finish() {
    if (!StoreSettings()) return;
    wizard_.FinishWriting();
    view_.Close();
}

} // namespace korax::wizard
