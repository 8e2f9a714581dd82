#include "wizard/EndPage.h"

#include "wizard/WizardTexts.h"

namespace korax::wizard {

void EndPage::OnShow() {
    wizard_.NextPage = PageNumber::Done;
    view_.SetCaption(texts::EndCaption);
    view_.SetText(Control::Title, texts::HeaderTitle);
    view_.SetText(Control::Instruction, texts::EndInstruction);
    view_.SetText(Control::LastBtn, texts::BackButton);
    view_.SetText(Control::FinishBtn, texts::FinishButton);
}

void EndPage::OnUserClick(Control id) {
    if (id == Control::FinishBtn) {
        wizard_.FinishWriting();
        view_.Close();
    }
    if (id == Control::LastBtn && wizard_.Back()) view_.Close();
}

} // namespace korax::wizard
