#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "Blocks.h"
#include "wizard/WizardFlow.h"
#include "wizard/WizardTexts.h"

using namespace korax;
using namespace korax::test;
using wizard::PageNumber;

namespace {

HeadlessView::Step Choose(Control option) {
    return [option](HeadlessView& v) {
        v.Click(option);
        v.Click(Control::NextBtn);
    };
}
HeadlessView::Step Press(Control button) {
    return [button](HeadlessView& v) { v.Click(button); };
}
const HeadlessView::Step CloseBox = [](HeadlessView&) {};

} // namespace

TEST(PageHistory, RefusesAPushBeyondElevenAndAPopFromEmpty) {
    wizard::PageStack history;
    EXPECT_FALSE(history.Pop());
    for (int i = 0; i < wizard::PageStack::Capacity; ++i) EXPECT_TRUE(history.Push(PageNumber::Board));
    EXPECT_FALSE(history.Push(PageNumber::End));
    EXPECT_EQ(history.Depth(), 11);
    EXPECT_EQ(history.Pop(), PageNumber::Board);
}

TEST(WizardFlow, StartPageShowsItsTextsAndFinishLeavesTheBlockAlone) {
    auto block = DefaultBlock();
    block->Boards[0].ADGain[3] = 5;
    const auto before = Bytes(*block);
    HeadlessWizard run;
    run.Then([](HeadlessView& v) {
        EXPECT_EQ(v.Caption(), "Norvane板卡向导：选择执行的操作方式");
        EXPECT_EQ(v.Text(Control::Title), "欢迎使用Norvane板卡配置向导");
        EXPECT_EQ(v.Text(Control::Instruction), "请选择下面的操作选项，然后用鼠标单击下一步或完成按钮：");
        EXPECT_EQ(v.Text(Control::BrowseOp), "察看设备");
        EXPECT_TRUE(v.Checked(Control::NewOp));
        EXPECT_FALSE(v.Click(Control::LastBtn)); // the start page has no back button
        v.Click(Control::FinishBtn);
    });
    EXPECT_EQ(run.Run(block.get()), wizard::RunNotAccepted);
    EXPECT_EQ(Bytes(*block), before);
    EXPECT_EQ(run.Pages, std::vector<PageClass>{PageClass::Start});
}

// Viewing writes the block back on finish, byte for byte as it was: a name the board page would not write,
// and a gain code the model does not offer (shown as its first gain), stay.
TEST(WizardFlow, BrowseThenFinishOnTheBoardPageLeavesEveryByteAndIsNotAccepted) {
    auto block = DefaultBlock();
    config::SetShortString(block->Boards[0].DevName, config::DevNameSize, "stale");
    block->Boards[0].ADGain[0] = 12;
    block->Boards[0].DARange[1] = 4; // a range KRX-A100 does not offer
    const auto before = Bytes(*block);
    HeadlessWizard run;
    run.Then(Choose(Control::BrowseOp))
        .Then([](HeadlessView& v) {
            EXPECT_EQ(v.Caption(), wizard::texts::BoardCaptions[2]);
            EXPECT_EQ(v.SelectedText(Control::AD_Range0), "0-1.25V");
            v.Click(Control::NextBtn);
        })
        .Then(Press(Control::LastBtn))
        .Then(Press(Control::FinishBtn));
    EXPECT_EQ(run.Run(block.get()), wizard::RunNotAccepted);
    EXPECT_EQ(Bytes(*block), before);
}

TEST(WizardFlow, CreateOrModifyThroughTheEndPageIsAccepted) {
    for (Control option : {Control::NewOp, Control::ModifyOp}) {
        auto block = DefaultBlock();
        HeadlessWizard run;
        run.Then(Choose(option))
            .Then([](HeadlessView& v) {
                v.Pick(Control::BaseAddress, 31);
                v.Click(Control::NextBtn);
            })
            .Then([](HeadlessView& v) {
                EXPECT_EQ(v.Caption(), "Norvane板卡向导：向导退出前的确认");
                EXPECT_EQ(v.Text(Control::Instruction), "确认后单击完成按钮，或单击上一步按钮修改配置：");
                v.Click(Control::FinishBtn);
            });
        EXPECT_EQ(run.Run(block.get()), wizard::RunAccepted);
        EXPECT_EQ(block->Boards[0].BaseAddress, 0x3F0u);
        EXPECT_EQ(run.Pages, (std::vector{PageClass::Start, PageClass::Board, PageClass::End}));
    }
}

TEST(WizardFlow, ClosingTheBoardPageAfterChoosingNewKeepsTheBlockAndIsAccepted) {
    auto block = DefaultBlock();
    const auto before = Bytes(*block);
    HeadlessWizard run;
    run.Then(Choose(Control::NewOp)).Then([](HeadlessView& v) {
        v.Click(Control::AddBtn);
        v.Pick(Control::BaseAddress, 5);
    }); // the close box
    EXPECT_EQ(run.Run(block.get()), wizard::RunAccepted);
    EXPECT_EQ(Bytes(*block), before);
}

TEST(WizardFlow, DoubleClickOnAnOptionGoesOn) {
    auto block = DefaultBlock();
    HeadlessWizard run;
    run.Then([](HeadlessView& v) { v.DoubleClick(Control::ModifyOp); }).Then([](HeadlessView& v) {
        EXPECT_EQ(v.Caption(), wizard::texts::BoardCaptions[1]);
    });
    EXPECT_EQ(run.Run(block.get()), wizard::RunAccepted);
    EXPECT_EQ(wizard::Wizard().WizardMode, wizard::OperationMode::Modify);
}

TEST(WizardFlow, BackAndForthKeepsTheEditsMadeSoFar) {
    auto block = DefaultBlock();
    HeadlessWizard run;
    run.Then(Choose(Control::ModifyOp))
        .Then([](HeadlessView& v) {
            v.Click(Control::AddBtn);
            v.Pick(Control::BaseAddress, 4); // the new board 1 at 240H
            v.Click(Control::NextBtn);
        })
        .Then(Press(Control::LastBtn))
        .Then([](HeadlessView& v) {
            EXPECT_EQ(v.Nodes().size(), 2u);
            v.Click(Control::LastBtn);
        })
        .Then([](HeadlessView& v) {
            EXPECT_EQ(wizard::Wizard().PageHistory.Depth(), 0);
            v.Click(Control::NextBtn);
        })
        .Then([](HeadlessView& v) {
            ASSERT_EQ(v.Nodes().size(), 2u);
            EXPECT_EQ(v.Nodes()[1].Text, "板卡号:1 KRX-A100 基址:240 单端");
        });
    run.Run(block.get());
    EXPECT_EQ(run.Pages, (std::vector{PageClass::Start, PageClass::Board, PageClass::End, PageClass::Board,
                                      PageClass::Start, PageClass::Board}));
    EXPECT_EQ(block->Boards[1].DevType, config::NoBoard); // never finished
}

TEST(WizardFlow, EveryRunStartsWithAnEmptyHistory) {
    // Each run leaves two pages on the history; were it kept, the twelfth push would be refused.
    for (int i = 0; i < 8; ++i) {
        auto block = DefaultBlock();
        HeadlessWizard run;
        run.Then([](HeadlessView& v) {
               EXPECT_EQ(wizard::Wizard().PageHistory.Depth(), 0);
               v.Click(Control::NextBtn);
           })
            .Then(Press(Control::NextBtn))
            .Then(CloseBox);
        run.Run(block.get());
        ASSERT_EQ(run.Pages, (std::vector{PageClass::Start, PageClass::Board, PageClass::End}))
            << "run " << i;
    }
}

TEST(WizardFlow, ABoardNumberThatIsNoIntegerStopsNextAndFinishWithTheFieldsText) {
    auto block = DefaultBlock();
    HeadlessWizard run;
    config::DevicePDB working{};
    run.Then(Choose(Control::ModifyOp)).Then([&](HeadlessView& v) {
        v.Pick(Control::AD_Range0, 0); // a gain edit that must not be stored
        v.Type(Control::IDEd, "x");
        std::memcpy(&working, &wizard::Wizard().WorkingBlock, sizeof working);
        EXPECT_TRUE(v.Click(Control::NextBtn));
        EXPECT_FALSE(v.Closed());
        v.Type(Control::IDEd, "");
        v.Click(Control::FinishBtn);
        EXPECT_FALSE(v.Closed());
        EXPECT_EQ(wizard::Wizard().NextPage, PageNumber::Done);
        EXPECT_EQ(wizard::Wizard().PageHistory.Depth(), 1);
        EXPECT_EQ(Bytes(wizard::Wizard().WorkingBlock), Bytes(working));
        v.Type(Control::IDEd, "0");
        v.Click(Control::FinishBtn);
    });
    EXPECT_EQ(run.Run(block.get()), wizard::RunAccepted);
    EXPECT_EQ(run.Errors, (std::vector<std::string>{"'x' is not a valid integer value",
                                                    "'' is not a valid integer value"}));
    EXPECT_EQ(block->Boards[0].ADGain[0], 7); // stored once the number was fixed
}

TEST(WizardFlow, BackDropsGainEditsButKeepsStructureEdits) {
    auto block = DefaultBlock();
    HeadlessWizard run;
    run.Then(Choose(Control::ModifyOp))
        .Then([](HeadlessView& v) {
            v.Click(Control::AddBtn); // board 1, shown
            v.Pick(Control::AD_Range0, 0);
            v.Pick(Control::BaseAddress, 3); // leaving the tab keeps the gain on the page only
            v.Click(Control::LastBtn);
        })
        .Then(Choose(Control::ModifyOp))
        .Then([](HeadlessView& v) {
            ASSERT_EQ(v.Nodes().size(), 2u);
            v.ClickNode(1);
            EXPECT_EQ(v.SelectedText(Control::AD_Range0), "+/-5V");
            EXPECT_EQ(v.SelectedText(Control::BaseAddress), "230H");
            v.Click(Control::FinishBtn);
        });
    EXPECT_EQ(run.Run(block.get()), wizard::RunAccepted);
    EXPECT_EQ(block->Boards[1].ADGain[0], 0);
    EXPECT_EQ(block->Boards[1].BaseAddress, 0x230u);
}
