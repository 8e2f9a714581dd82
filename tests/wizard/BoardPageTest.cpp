#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "Blocks.h"
#include "wizard/WizardTexts.h"

using namespace korax;
using namespace korax::test;
using wizard::BoardPage;
using wizard::OperationMode;

namespace {

std::vector<std::string> NodeTexts(const HeadlessView& v) {
    std::vector<std::string> texts;
    for (const wizard::TreeNode& node : v.Nodes()) texts.push_back(node.Text);
    return texts;
}

} // namespace

TEST(BoardPage, DefaultBlockShowsOneBoardAndItsFields) {
    BoardSession s;
    s.Run([](HeadlessView& v, BoardPage&) {
        EXPECT_EQ(NodeTexts(v), std::vector<std::string>{"板卡号:0 KRX-A100 基址:220 单端"});
        EXPECT_EQ(v.Caption(), "Norvane板卡向导:修改板卡配置");
        EXPECT_EQ(v.SelectedText(Control::DevTypeEd), "KRXA100");
        EXPECT_EQ(v.Text(Control::IDEd), "0");
        EXPECT_EQ(v.SelectedText(Control::BaseAddress), "220H");
        EXPECT_EQ(v.Items(Control::BaseAddress).back(), "3F0H");
        EXPECT_TRUE(v.Enabled(Control::InputMode));
        EXPECT_EQ(
            std::vector<std::string>(v.Items(Control::InputMode).begin(), v.Items(Control::InputMode).end()),
            (std::vector<std::string>{"单端", "差动"}));
        EXPECT_EQ(v.Selection(Control::InputMode), 0);
        EXPECT_FALSE(v.Enabled(Control::ADMaxRange));
        EXPECT_EQ(v.SelectedText(Control::ADMaxRange), "5V");
        // Analog inputs: channels 0..7 on page 0 of 2; outputs: the first two range lists.
        EXPECT_TRUE(v.Visible(Control::ADSheet));
        EXPECT_EQ(v.Text(Control::ADCh0), "0");
        EXPECT_EQ(v.Text(Control::ADCh7), "7");
        EXPECT_FALSE(v.Enabled(Control::UpButton));
        EXPECT_TRUE(v.Enabled(Control::DownButton));
        EXPECT_TRUE(v.Enabled(Control::DA_Range0) && v.Enabled(Control::DA_Range1));
        EXPECT_FALSE(v.Enabled(Control::DA_Range2));
        EXPECT_TRUE(v.Visible(Control::DelBtn));
    });
}

TEST(BoardPage, CreateModeShowsTheBoardsAlreadyThereWithoutDelete) {
    BoardSession s(OperationMode::Create);
    PutBoard(s.Block(), 3, 2, 0x300);
    s.Run([](HeadlessView& v, BoardPage&) {
        EXPECT_EQ(v.Caption(), "Norvane板卡向导:板卡安装");
        EXPECT_EQ(NodeTexts(v), (std::vector<std::string>{"板卡号:0 KRX-A100 基址:220 单端",
                                                          "板卡号:3 KRX-B100 基址:300 单端"}));
        EXPECT_FALSE(v.Visible(Control::DelBtn));
        EXPECT_TRUE(v.Visible(Control::AddBtn));
    });
}

TEST(BoardPage, TypingPastTheLastSlotMovesTheBoardThereWithItsGainsAndRanges) {
    BoardSession s;
    s.Block().Boards[0].ADGain[9] = 8;
    s.Block().Boards[0].DARange[1] = 1;
    s.Run([&](HeadlessView& v, BoardPage& page) {
        v.Type(Control::IDEd, "45"); // through slot 4 on to 31
        EXPECT_EQ(v.Text(Control::IDEd), "31");
        EXPECT_EQ(NodeTexts(v), std::vector<std::string>{"板卡号:31 KRX-A100 基址:220 单端"});
        EXPECT_EQ(s.Block().SelectedBoard, 31);
        EXPECT_EQ(s.Block().Boards[0].DevType, config::NoBoard);
        EXPECT_EQ(s.Block().Boards[4].DevType, config::NoBoard);
        v.UserEdit(Control::IDEd, "31"); // its own number again
        EXPECT_EQ(page.CurrentBoard, 31);
        EXPECT_EQ(page.Analog.AdRangeCodes[31][9], 8);
        EXPECT_EQ(page.Analog.DaRangeIndexes[31][1], 1);
        v.Click(Control::FinishBtn);
    });
    EXPECT_EQ(s.Block().Boards[31].BoardNo, 31);
    EXPECT_EQ(s.Block().Boards[31].ADGain[9], 8);
    EXPECT_EQ(s.Block().Boards[31].DARange[1], 1);
    EXPECT_EQ(s.Block().Boards[0].ADGain[9], 0);
}

TEST(BoardPage, ANumberNamingAnotherBoardMovesNothingUntilItNamesAFreeSlot) {
    BoardSession s;
    PutBoard(s.Block(), 1, 1);
    s.Run([&](HeadlessView& v, BoardPage& page) {
        v.Type(Control::IDEd, "1");
        EXPECT_EQ(v.Text(Control::IDEd), "1");
        EXPECT_EQ(page.CurrentBoard, 0);
        EXPECT_EQ(s.Block().Boards[0].DevType, 0);
        // Neither storing nor adding takes the other board's slot.
        v.Click(Control::AddBtn);
        v.Click(Control::NextBtn);
        EXPECT_FALSE(v.Closed());
        EXPECT_EQ(v.Errors, std::vector<std::string>(2, "板卡号1已被其他板卡使用，请输入一个空闲的板卡号。"));
        EXPECT_EQ(v.Nodes().size(), 2u);
        v.UserEdit(Control::IDEd, "12"); // the second keystroke
        EXPECT_EQ(NodeTexts(v), (std::vector<std::string>{"板卡号:1 KRX-A200 基址:220 单端",
                                                          "板卡号:12 KRX-A100 基址:220 单端"}));
        v.Click(Control::FinishBtn);
        EXPECT_TRUE(v.Closed());
    });
    EXPECT_EQ(s.Block().Boards[1].DevType, 1);
    EXPECT_EQ(s.Block().Boards[12].DevType, 0);
}

TEST(BoardPage, AddingWithEverySlotUsedOnlyCommitsTheBoardShown) {
    BoardSession s;
    for (int b = 1; b < config::BoardCount; ++b) PutBoard(s.Block(), b, 0);
    config::DevicePDB expected;
    std::memcpy(&expected, &s.Block(), sizeof expected);
    expected.Boards[0].ADGain[0] = 8;
    s.Run([](HeadlessView& v, BoardPage&) {
        v.Pick(Control::AD_Range0, 8); // "+/-10V", kept by the commit alone: the button takes no focus
        v.Click(Control::AddBtn);
        EXPECT_EQ(v.Nodes().size(), 32u);
        EXPECT_TRUE(v.Errors.empty());
    });
    EXPECT_EQ(std::memcmp(&expected, &s.Block(), sizeof expected), 0);
    EXPECT_FALSE(s.wizard->ConfigChanged);
}

TEST(BoardPage, DeletingTheOnlyBoardAndStoringLeavesAnInvalidUnusedSlot) {
    BoardSession s;
    s.Block().Boards[0].ADGain[8] = 8;
    s.Run([](HeadlessView& v, BoardPage& page) {
        v.ClickNode(0);
        v.Click(Control::DelBtn);
        EXPECT_TRUE(v.Nodes().empty());
        EXPECT_EQ(v.Selection(Control::DevTypeEd), -1);
        EXPECT_EQ(page.CurrentBoard, 0);
        EXPECT_EQ(v.Text(Control::IDEd), "0");
        v.Click(Control::FinishBtn);
    });
    EXPECT_TRUE(s.wizard->ConfigChanged);
    EXPECT_EQ(s.Block().Boards[0].DevType, config::NoBoard);
    EXPECT_EQ(Name(s.Block().Boards[0]), "无效");
    EXPECT_EQ(s.Block().Boards[0].ADGain[8], 0); // channels 0..7 take the -1 of the empty gain lists
}

TEST(BoardPage, DeletingWithoutASelectedNodeOnlyShowsTheFirstBoard) {
    BoardSession s;
    s.Block().Boards[0].DevType = config::NoBoard;
    PutBoard(s.Block(), 2, 0);
    PutBoard(s.Block(), 5, 3);
    s.Block().SelectedBoard = 5;
    s.Run([](HeadlessView& v, BoardPage& page) {
        EXPECT_EQ(v.SelectedText(Control::DevTypeEd), "KRXC100");
        v.Click(Control::DelBtn);
        EXPECT_EQ(v.Nodes().size(), 2u);
        EXPECT_EQ(page.CurrentBoard, 2);
        EXPECT_EQ(v.Text(Control::IDEd), "2");
        EXPECT_EQ(v.SelectedText(Control::DevTypeEd), "KRXA100");
    });
    EXPECT_FALSE(s.wizard->ConfigChanged); // nothing deleted, nothing changed
}

TEST(BoardPage, SelectingABoardShowsItsFieldsAfterKeepingTheGainsOfTheBoardLeft) {
    BoardSession s;
    PutBoard(s.Block(), 3, 2, 0x3F0);
    s.Run([](HeadlessView& v, BoardPage& page) {
        v.Pick(Control::AD_Range2, 1); // "0-2.5V", code 6
        v.ClickNode(1);
        EXPECT_EQ(page.Analog.AdRangeCodes[0][2], 6);
        EXPECT_EQ(v.SelectedText(Control::DevTypeEd), "KRXB100");
        EXPECT_EQ(v.Text(Control::IDEd), "3");
        EXPECT_EQ(v.SelectedText(Control::BaseAddress), "3F0H");
        EXPECT_FALSE(v.Enabled(Control::InputMode));
        EXPECT_EQ(v.Items(Control::InputMode).size(), 2u); // nothing offered: the list keeps its items
        v.ClickNode(-1); // beside the nodes: the selected board is shown again
        EXPECT_EQ(v.Text(Control::IDEd), "3");
        v.ClickNode(0);
        EXPECT_EQ(v.Selection(Control::AD_Range2), 1);
    });
}

TEST(BoardPage, ModelAndBaseAddressPicksGoIntoTheBlockAtOnce) {
    BoardSession s;
    s.Run([&](HeadlessView& v, BoardPage&) {
        v.Pick(Control::DevTypeEd, 1);
        v.Pick(Control::BaseAddress, 31);
        EXPECT_EQ(NodeTexts(v), std::vector<std::string>{"板卡号:0 KRX-A200 基址:3F0 单端"});
        EXPECT_EQ(s.Block().Boards[0].DevType, 1);
        EXPECT_EQ(Name(s.Block().Boards[0]), "KRX-A200");
        EXPECT_EQ(s.Block().Boards[0].BaseAddress, 0x3F0u);
    });
}

TEST(BoardPage, ViewModeKeepsEveryFieldDisabledAndStoresTheSameValues) {
    BoardSession s(OperationMode::View);
    PutBoard(s.Block(), 1, 2);
    config::DevicePDB before;
    std::memcpy(&before, &s.Block(), sizeof before);
    const std::vector<Control> fields = {Control::IDEd,      Control::DevTypeEd,  Control::BaseAddress,
                                         Control::InputMode, Control::ADMaxRange, Control::AD_Range0,
                                         Control::AD_Range7, Control::DA_Range0,  Control::DA_Range5};
    s.Run([&](HeadlessView& v, BoardPage&) {
        EXPECT_EQ(v.Caption(), "Norvane板卡向导:察看板卡配置");
        EXPECT_FALSE(v.Visible(Control::AddBtn) || v.Visible(Control::DelBtn));
        for (int node : {1, 0}) {
            v.ClickNode(node);
            for (Control field : fields) EXPECT_FALSE(v.Enabled(field)) << wizard::InfoOf(field).Name;
        }
        EXPECT_FALSE(v.Pick(Control::DevTypeEd, 3));
        EXPECT_TRUE(v.Click(Control::DownButton)); // paging stays usable
        EXPECT_EQ(v.Text(Control::ADCh0), "8");
        v.Click(Control::FinishBtn);
    });
    EXPECT_EQ(std::memcmp(&before, &s.Block(), sizeof before), 0);
}

// Adding into a slot that renumbering vacated: the new board carries its slot's number, not the 0 the
// vacated entry held, so its node and the driver's lowest board number are right.
TEST(BoardPage, AnAddedBoardTakesTheNumberOfItsSlot) {
    BoardSession s;
    PutBoard(s.Block(), 1, 0);
    s.Run([&](HeadlessView& v, BoardPage&) {
        v.ClickNode(1);
        v.Type(Control::IDEd, "5");
        v.Click(Control::AddBtn);
        EXPECT_EQ(v.Text(Control::IDEd), "1");
        EXPECT_EQ(s.Block().Boards[1].BoardNo, 1);
        v.ClickNode(v.NodeStarting("板卡号:1 "));
        EXPECT_EQ(v.Text(Control::IDEd), "1");
    });
}

// Numbers from a host block that name no slot are shown as slot numbers, never used as indexes.
TEST(BoardPage, NumbersOutsideTheSlotsInTheHostBlockStayInsideIt) {
    BoardSession s;
    s.Block().SelectedBoard = 40;
    PutBoard(s.Block(), 2, 1);
    s.Block().Boards[2].BoardNo = 99;
    s.Run([&](HeadlessView& v, BoardPage& page) {
        EXPECT_EQ(page.CurrentBoard, 0);
        const std::int32_t node = v.NodeStarting("板卡号:99 ");
        ASSERT_EQ(node, 1);
        v.ClickNode(node);
        EXPECT_EQ(v.Text(Control::IDEd), "2");
        v.ClickNode(node);
        v.Click(Control::DelBtn);
    });
    EXPECT_EQ(s.Block().Boards[2].DevType, config::NoBoard);
}
