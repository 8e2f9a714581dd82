#pragma once
#include "wizard/PageView.h"
#include "wizard/WizardFlow.h"

namespace korax::wizard {

// Page 7: the user confirms the configuration or goes back to it.
class EndPage final : public PageEvents {
public:
    EndPage(WizardState& wizard, PageView& view) : wizard_(wizard), view_(view) {}

    void OnShow() override;
    void OnUserClick(Control id) override;

private:
    WizardState& wizard_;
    PageView& view_;
};

} // namespace korax::wizard
