#include "wizard/WizardFlow.h"

#include <limits>

#include "wizard/BoardPage.h"
#include "wizard/EndPage.h"
#include "wizard/StartPage.h"

namespace korax::wizard {

namespace {

constexpr std::uint32_t WaitForever = std::numeric_limits<std::uint32_t>::max();

using ControllerMaker = std::unique_ptr<PageEvents> (*)(WizardState&, PageView&);

template <typename Page>
std::unique_ptr<PageEvents> Make(WizardState& wizard, PageView& view) {
    return std::make_unique<Page>(wizard, view);
}

// Indexed by PageClass.
constexpr std::array<ControllerMaker, 3> PageControllers = {&Make<StartPage>, &Make<BoardPage>,
                                                            &Make<EndPage>};

std::optional<PageClass> ClassOf(PageNumber number) {
    for (const PageClassRow& row : PageClasses) {
        if (row.Number == number) return row.Class;
    }
    // A number outside the table has no window: it ends the wizard like 0 and 9.
    return std::nullopt;
}

void SignalDone(WizardState& wizard) {
    if (wizard.DoneEvent) wizard.DoneEvent->Set();
}

} // namespace

bool PageStack::Push(PageNumber page) {
    if (Full()) return false;
    pages_[static_cast<std::size_t>(depth_)] = page;
    ++depth_;
    return true;
}

std::optional<PageNumber> PageStack::Pop() {
    if (depth_ <= 0) return std::nullopt;
    --depth_;
    return pages_[static_cast<std::size_t>(depth_)];
}

bool WizardState::Forward(PageNumber left, PageNumber next) {
    if (!PageHistory.Push(left)) return false;
    NextPage = next;
    return true;
}

bool WizardState::Back() {
    const std::optional<PageNumber> page = PageHistory.Pop();
    if (!page) return false;
    NextPage = *page;
    return true;
}

void WizardState::FinishWriting() {
    config::CopyPDB(&WorkingBlock, HostBlock);
    NextPage = PageNumber::Done;
}

WizardState& Wizard() {
    static WizardState state;
    return state;
}

void RunPage(WizardState& wizard, ViewFactory& views, PageNumber first) {
    for (PageNumber number = first;;) {
        const std::optional<PageClass> page = ClassOf(number);
        if (!page) break;
        std::unique_ptr<PageView> view = views.CreatePage(*page);
        if (!view) break;
        // Each page sets NextPage when it is shown, so a page closed by its close box ends the wizard.
        const std::unique_ptr<PageEvents> controller =
            PageControllers[static_cast<std::size_t>(*page)](wizard, *view);
        view->Show(*controller);
        number = wizard.NextPage;
    }
    SignalDone(wizard);
}

std::int32_t EditDevice(config::DevicePDB* hostBlock, ViewFactory& views) {
    WizardState& wizard = Wizard();
    wizard.DoneEvent = platform::Event::CreateAutoReset(false);
    config::CopyPDB(hostBlock, &wizard.WorkingBlock);
    wizard.HostBlock = hostBlock;
    wizard.ConfigChanged = false;
    wizard.NextPage = PageNumber::Done;
    wizard.PageHistory.Clear();

    try {
        RunPage(wizard, views, PageNumber::Start);
    } catch (...) {
        // Nothing may escape to the host. A page that failed ends the wizard the way its close box would:
        // the host's block keeps whatever a finish button already gave it.
        SignalDone(wizard);
    }

    // Signalled on this very thread before the wait, so the wait returns at once; without an event it fails.
    const bool completed = wizard.DoneEvent && wizard.DoneEvent->Wait(WaitForever);
    const std::int32_t result = completed && wizard.ConfigChanged ? RunAccepted : RunNotAccepted;
    wizard.DoneEvent.reset();
    // The host's block is only borrowed for the call.
    wizard.HostBlock = nullptr;
    return result;
}

} // namespace korax::wizard
