#pragma once
// The board page's analog tabs: one gain per analog input channel, shown eight at a time, and one output
// range per analog output channel. The page edits them in per-slot arrays that reach the working block
// only when the page stores its settings.
#include <array>
#include <cstdint>
#include <span>
#include <string_view>

#include "boards/ModelTables.h"
#include "config/DevicePDB.h"
#include "wizard/PageView.h"

namespace korax::wizard {

// How many analog inputs the model shown has.
enum class AdClass : std::uint8_t { Eight = 0, Sixteen = 1, ThirtyTwo = 2, None = 3 };
// How many analog outputs the model shown has; Other is a count the tab has no layout for.
enum class DaClass : std::uint8_t { One = 0, Two = 1, Six = 2, None = 3, Twelve = 4, Other = 5 };

// The model the DevTypeEd list shows; NoBoard when it shows none.
std::uint8_t ShownModel(const PageView& view);

class AnalogSettings {
public:
    AnalogSettings(PageView& view, config::DevicePDB& block) : view_(view), block_(block) {}

    AdClass InputClass = AdClass::None;
    DaClass OutputClass = DaClass::None;
    std::array<std::int32_t, config::BoardCount> AdPageCount{};
    std::array<std::int32_t, config::BoardCount> AdPage{};
    std::array<std::array<std::int32_t, config::AdGainCount>, config::BoardCount> AdRangeCodes{};
    std::array<std::array<std::int32_t, config::DaRangeCount>, config::BoardCount> DaRangeIndexes{};
    // View-only visits keep every gain and range list disabled.
    bool ViewOnly = false;

    // From the model shown in DevTypeEd.
    void ComputeClasses();
    // Pages of eight inputs for slot b, by the class of the model shown (not slot b's own) and b's wiring.
    std::int32_t PageCount(int b) const;
    // Arrays of every slot from the working block; every slot back on its first page.
    void Load();
    void RefreshInputTab(int c);
    void RefreshOutputTab(int c);
    // The eight gains shown become slot b's codes for the channels of b's current page. A list the user
    // left as the page showed it keeps its code, also one the model does not offer.
    void KeepVisibleGainPage(int b);
    // The twelve ranges shown become slot b's, by the same rule.
    void KeepOutputRanges(int b);
    // What the lists show counts as the user's choice for the next keep (a board added takes them).
    void TakeShownAsEdits();
    void PageUp(int c);
    void PageDown(int c);
    // First page, all gain codes 0.
    void ResetInputs(int c);
    void Recount(int c) { AdPageCount[Slot(c)] = PageCount(c); }
    // Slot `to` takes everything of slot `from`, which is left at zero.
    void Move(int from, int to);
    // Gains and ranges of slot b back to 0.
    void Clear(int b);
    // Slot b's gains and ranges into its entry of the working block.
    void Store(int b) const;
    // Every slot's.
    void Store() const;

private:
    static std::size_t Slot(int b) { return static_cast<std::size_t>(b); }
    void Relabel(int c);
    void RefreshPaging(int c);

    PageView& view_;
    config::DevicePDB& block_;
    // The selection the page itself gave each gain and range list, to tell the user's changes from it.
    static constexpr std::int32_t NoneShown = -2;
    std::array<std::int32_t, AdRowCount> adShown_{};
    std::array<std::int32_t, DaRowCount> daShown_{};
};

} // namespace korax::wizard
