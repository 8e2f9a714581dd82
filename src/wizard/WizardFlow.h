#pragma once
// The wizard's page loop and the navigation state every page shares. One wizard runs per process: the
// state is process-wide and outlives each run (the working copy keeps the last run's boards).
#include <array>
#include <cstdint>
#include <memory>
#include <optional>

#include "config/DevicePDB.h"
#include "platform/Event.h"
#include "wizard/PageView.h"

namespace korax::wizard {

// Page numbers of the page table. Closed and Done end the wizard.
enum class PageNumber : std::uint8_t { Closed = 0, Start = 1, Board = 4, End = 7, Done = 9 };

// What the user chose on the start page; the board page reads it.
enum class OperationMode : std::uint8_t { Create = 0, Modify = 1, View = 2 };

// The way back: the pages left by "next", most recent on top.
class PageStack {
public:
    static constexpr std::int8_t Capacity = 11;

    // False, recording nothing, when the stack is full.
    bool Push(PageNumber page);
    // Nothing when the stack is empty.
    std::optional<PageNumber> Pop();
    void Clear() { depth_ = 0; }
    bool Full() const { return depth_ >= Capacity; }
    std::int8_t Depth() const { return depth_; }

private:
    std::array<PageNumber, Capacity> pages_{};
    std::int8_t depth_ = 0;
};

struct WizardState {
    config::DevicePDB WorkingBlock{};
    config::DevicePDB* HostBlock = nullptr;
    PageNumber NextPage = PageNumber::Done;
    PageStack PageHistory;
    OperationMode WizardMode = OperationMode::Create;
    bool ConfigChanged = false;
    std::unique_ptr<platform::Event> DoneEvent;

    // "Next": records the page left and names the next one. False, changing nothing, when the way back
    // cannot be recorded; the page then stays open.
    bool Forward(PageNumber left, PageNumber next);
    // "Back": the page on top of the history becomes the next one. False, changing nothing, when there is
    // none.
    bool Back();
    // A finish button that accepts the edits: the working copy goes back into the host's block.
    void FinishWriting();
};

// The process-wide wizard state.
WizardState& Wizard();

// Makes the page windows. A window-backed factory also owns whatever must hold while the wizard runs
// (the host's window as the owner of every page).
class ViewFactory {
public:
    virtual ~ViewFactory() = default;
    // Nil ends the wizard as if the page had been closed at once.
    virtual std::unique_ptr<PageView> CreatePage(PageClass page) = 0;
};

// The page table: page number to page window; the numbers without a window end the wizard.
struct PageClassRow {
    PageNumber Number;
    std::optional<PageClass> Class;
};
inline constexpr std::array<PageClassRow, 5> PageClasses = {{
    {PageNumber::Closed, std::nullopt},
    {PageNumber::Start, PageClass::Start},
    {PageNumber::Board, PageClass::Board},
    {PageNumber::End, PageClass::End},
    {PageNumber::Done, std::nullopt},
}};

inline constexpr std::int32_t RunAccepted = 1;
inline constexpr std::int32_t RunNotAccepted = 2;

// Shows page after page, starting at `first`, each until it closes, then signals DoneEvent.
void RunPage(WizardState& wizard, ViewFactory& views, PageNumber first);

// The whole of DLLEdDev that is not window-system work: copies the host's block, runs the pages and answers
// RunAccepted when the wizard completed with ConfigChanged set, RunNotAccepted otherwise.
std::int32_t EditDevice(config::DevicePDB* hostBlock, ViewFactory& views);

} // namespace korax::wizard
