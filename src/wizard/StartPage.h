#pragma once
#include "wizard/PageView.h"
#include "wizard/WizardFlow.h"

namespace korax::wizard {

// Page 1: the user chooses to create, modify or view the board configuration.
class StartPage final : public PageEvents {
public:
    StartPage(WizardState& wizard, PageView& view) : wizard_(wizard), view_(view) {}

    void OnShow() override;
    void OnUserClick(Control id) override;
    void OnUserDoubleClick(Control id) override;

private:
    void Next();
    void Finish();

    WizardState& wizard_;
    PageView& view_;
};

} // namespace korax::wizard
