#include "wizard/AnalogSettings.h"

#include <algorithm>
#include <optional>
#include <string>

namespace korax::wizard {

namespace {

struct AdClassRow {
    std::int32_t HighestChannel;
    AdClass Class;
};
// Any other highest channel, -1 included, has no analog input tab.
constexpr std::array<AdClassRow, 3> AdClasses = {{
    {7, AdClass::Eight},
    {15, AdClass::Sixteen},
    {31, AdClass::ThirtyTwo},
}};

struct DaClassRow {
    std::int32_t HighestChannel;
    DaClass Class;
};
// Any other highest channel is DaClass::Other.
constexpr std::array<DaClassRow, 5> DaClasses = {{
    {0, DaClass::One},
    {1, DaClass::Two},
    {5, DaClass::Six},
    {11, DaClass::Twelve},
    {-1, DaClass::None},
}};

struct PageCountRow {
    std::int32_t SingleEnded;
    std::int32_t Differential; // differential wiring pairs the inputs up: half the channels
};
// Indexed by AdClass.
constexpr std::array<PageCountRow, 4> PageCounts = {{{1, 1}, {2, 1}, {4, 2}, {0, 0}}};
// The pages of a slot never reach past its 32 gain codes.
static_assert(std::ranges::all_of(PageCounts, [](const PageCountRow& row) {
    return row.SingleEnded * AdRowCount <= config::AdGainCount &&
           row.Differential * AdRowCount <= config::AdGainCount;
}));

// Range lists enabled from the first on, indexed by DaClass; nothing leaves the enabling as it is. A model
// without analog outputs has none to choose.
constexpr std::array<std::optional<int>, 6> DaEnabledLists = {1, 2, 6, 0, 12, std::nullopt};

std::size_t Index(auto code) {
    return static_cast<std::size_t>(code);
}

std::size_t Channel(std::int32_t page, int k) {
    return static_cast<std::size_t>(page * AdRowCount + k);
}

} // namespace

std::uint8_t ShownModel(const PageView& view) {
    return config::ModelFromIndex(view.Selection(Control::DevTypeEd));
}

void AnalogSettings::ComputeClasses() {
    const std::uint8_t model = ShownModel(view_);
    const std::int32_t ad = boards::ModelChannelTable(model, boards::TagKind::AD);
    const std::int32_t da = boards::ModelChannelTable(model, boards::TagKind::DA);
    InputClass = AdClass::None;
    for (const AdClassRow& row : AdClasses) {
        if (row.HighestChannel == ad) InputClass = row.Class;
    }
    OutputClass = DaClass::Other;
    for (const DaClassRow& row : DaClasses) {
        if (row.HighestChannel == da) OutputClass = row.Class;
    }
}

std::int32_t AnalogSettings::PageCount(int b) const {
    const PageCountRow& row = PageCounts[Index(InputClass)];
    return block_.Boards[b].InputMode == config::DifferentialWiring ? row.Differential : row.SingleEnded;
}

void AnalogSettings::Load() {
    for (int b = 0; b < config::BoardCount; ++b) {
        // Element by element: the block is packed, so its words may sit at any address.
        const config::BoardEntry& entry = block_.Boards[b];
        for (int k = 0; k < config::AdGainCount; ++k) AdRangeCodes[Slot(b)][Index(k)] = entry.ADGain[k];
        for (int k = 0; k < config::DaRangeCount; ++k) DaRangeIndexes[Slot(b)][Index(k)] = entry.DARange[k];
        AdPage[Slot(b)] = 0;
        AdPageCount[Slot(b)] = PageCount(b);
    }
}

void AnalogSettings::Relabel(int c) {
    for (int k = 0; k < AdRowCount; ++k) {
        view_.SetText(AdChannelLabel(k), std::to_string(Channel(AdPage[Slot(c)], k)));
    }
}

void AnalogSettings::RefreshInputTab(int c) {
    view_.SetVisible(Control::ADSheet, InputClass != AdClass::None);
    if (InputClass != AdClass::None) Relabel(c);
    const std::span<const config::GainEntry> gains = config::GainsOf(ShownModel(view_));
    for (int k = 0; k < AdRowCount; ++k) {
        view_.ClearItems(AdRangeList(k));
        for (const config::GainEntry& gain : gains) view_.AddItem(AdRangeList(k), config::GainLabelOf(gain));
    }
    RefreshPaging(c);
}

void AnalogSettings::RefreshPaging(int c) {
    const std::int32_t page = AdPage[Slot(c)];
    view_.SetEnabled(Control::UpButton, page != 0);
    view_.SetEnabled(Control::DownButton, page < AdPageCount[Slot(c)] - 1);
    // The lists show the kept codes: a pick not yet kept is dropped here.
    const std::span<const config::GainEntry> gains = config::GainsOf(ShownModel(view_));
    for (int k = 0; k < AdRowCount; ++k) {
        const std::int32_t code = AdRangeCodes[Slot(c)][Channel(page, k)];
        const auto found = std::ranges::find(gains, code, &config::GainEntry::Code);
        // A code the model does not offer shows as the first gain.
        const auto index = found == gains.end() ? 0 : static_cast<std::int32_t>(found - gains.begin());
        view_.SetSelection(AdRangeList(k), index);
        adShown_[Index(k)] = view_.Selection(AdRangeList(k));
    }
}

void AnalogSettings::RefreshOutputTab(int c) {
    view_.SetVisible(Control::DASheet, OutputClass != DaClass::Other);
    if (const std::optional<int> enabled = DaEnabledLists[Index(OutputClass)]) {
        for (int k = 0; k < DaRowCount; ++k) view_.SetEnabled(DaRangeList(k), k < *enabled && !ViewOnly);
    }
    if (OutputClass == DaClass::Other) return;
    const std::span<const std::string_view> ranges = config::DaRangesOf(ShownModel(view_));
    for (int k = 0; k < DaRowCount; ++k) {
        view_.SetItems(DaRangeList(k), ranges);
        view_.SetSelection(DaRangeList(k), DaRangeIndexes[Slot(c)][Index(k)]);
        daShown_[Index(k)] = view_.Selection(DaRangeList(k));
    }
}

void AnalogSettings::KeepVisibleGainPage(int b) {
    const std::span<const config::GainEntry> gains = config::GainsOf(ShownModel(view_));
    for (int k = 0; k < AdRowCount; ++k) {
        const std::int32_t index = view_.Selection(AdRangeList(k));
        // A list the user left as it was shown keeps the stored code, even one the model does not offer;
        // an empty list (a model without gains) gives -1.
        if (index >= 0 && index == adShown_[Index(k)]) continue;
        const bool listed = index >= 0 && static_cast<std::size_t>(index) < gains.size();
        AdRangeCodes[Slot(b)][Channel(AdPage[Slot(b)], k)] = listed ? gains[Index(index)].Code : -1;
    }
}

void AnalogSettings::KeepOutputRanges(int b) {
    for (int k = 0; k < DaRowCount; ++k) {
        const std::int32_t index = view_.Selection(DaRangeList(k));
        if (index != daShown_[Index(k)]) DaRangeIndexes[Slot(b)][Index(k)] = index;
    }
}

void AnalogSettings::TakeShownAsEdits() {
    adShown_.fill(NoneShown);
    daShown_.fill(NoneShown);
}

void AnalogSettings::PageUp(int c) {
    if (AdPage[Slot(c)] > 0) {
        KeepVisibleGainPage(c);
        --AdPage[Slot(c)];
        Relabel(c);
    }
    RefreshPaging(c);
}

void AnalogSettings::PageDown(int c) {
    if (AdPage[Slot(c)] < AdPageCount[Slot(c)] - 1) {
        KeepVisibleGainPage(c);
        ++AdPage[Slot(c)];
        Relabel(c);
    }
    RefreshPaging(c);
}

void AnalogSettings::ResetInputs(int c) {
    AdPage[Slot(c)] = 0;
    AdRangeCodes[Slot(c)].fill(0);
}

void AnalogSettings::Move(int from, int to) {
    AdRangeCodes[Slot(to)] = AdRangeCodes[Slot(from)];
    DaRangeIndexes[Slot(to)] = DaRangeIndexes[Slot(from)];
    AdPage[Slot(to)] = AdPage[Slot(from)];
    AdPageCount[Slot(to)] = AdPageCount[Slot(from)];
    AdRangeCodes[Slot(from)].fill(0);
    DaRangeIndexes[Slot(from)].fill(0);
    AdPage[Slot(from)] = 0;
    AdPageCount[Slot(from)] = 0;
}

void AnalogSettings::Clear(int b) {
    AdRangeCodes[Slot(b)].fill(0);
    DaRangeIndexes[Slot(b)].fill(0);
}

void AnalogSettings::Store(int b) const {
    config::BoardEntry& entry = block_.Boards[b];
    for (int k = 0; k < config::AdGainCount; ++k) entry.ADGain[k] = AdRangeCodes[Slot(b)][Index(k)];
    for (int k = 0; k < config::DaRangeCount; ++k) entry.DARange[k] = DaRangeIndexes[Slot(b)][Index(k)];
}

void AnalogSettings::Store() const {
    for (int b = 0; b < config::BoardCount; ++b) Store(b);
}

} // namespace korax::wizard
