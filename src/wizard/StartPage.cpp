#include "wizard/StartPage.h"

#include <array>

#include "wizard/WizardTexts.h"

namespace korax::wizard {

namespace {

struct OptionRow {
    Control Option;
    std::string_view Text;
    OperationMode Mode;
    bool ChangesConfig; // viewing alone never makes the run count as accepted
};

// Tested in this order when the user goes on.
constexpr std::array<OptionRow, 3> Options = {{
    {Control::NewOp, texts::NewOption, OperationMode::Create, true},
    {Control::ModifyOp, texts::ModifyOption, OperationMode::Modify, true},
    {Control::BrowseOp, texts::BrowseOption, OperationMode::View, false},
}};

} // namespace

void StartPage::OnShow() {
    wizard_.NextPage = PageNumber::Done;
    view_.SetCaption(texts::StartCaption);
    view_.SetText(Control::Title, texts::HeaderTitle);
    view_.SetText(Control::Instruction, texts::StartInstruction);
    for (const OptionRow& row : Options) view_.SetText(row.Option, row.Text);
    view_.SetText(Control::NextBtn, texts::NextButton);
    view_.SetText(Control::FinishBtn, texts::FinishButton);
    view_.SetChecked(Control::NewOp, true);
}

void StartPage::OnUserClick(Control id) {
    if (id == Control::NextBtn) Next();
    if (id == Control::FinishBtn) Finish();
}

void StartPage::OnUserDoubleClick(Control id) {
    for (const OptionRow& row : Options) {
        if (row.Option == id) Next();
    }
}

void StartPage::Next() {
    if (!wizard_.Forward(PageNumber::Start, PageNumber::Board)) return;
    for (const OptionRow& row : Options) {
        if (!view_.Checked(row.Option)) continue;
        wizard_.WizardMode = row.Mode;
        if (row.ChangesConfig) wizard_.ConfigChanged = true;
        break;
    }
    view_.Close();
}

void StartPage::Finish() {
    // Leaves without writing anything.
    wizard_.NextPage = PageNumber::Done;
    view_.Close();
}

} // namespace korax::wizard
