#include <gtest/gtest.h>

#include <string>

#include "Blocks.h"

using namespace korax;
using namespace korax::test;
using wizard::BoardPage;

namespace {

// Pages the user can reach from the first one with the down button.
int PagesReachable(HeadlessView& v) {
    int pages = 1;
    while (v.Click(Control::DownButton) && v.Enabled(Control::UpButton)) {
        ++pages;
        if (!v.Enabled(Control::DownButton)) break;
    }
    while (v.Enabled(Control::UpButton)) v.Click(Control::UpButton);
    return pages;
}

} // namespace

TEST(AnalogSettings, PagesAndDefaultGainFollowTheModelAndTheWiring) {
    BoardSession s;
    s.Run([](HeadlessView& v, BoardPage&) {
        EXPECT_EQ(v.SelectedText(Control::AD_Range0), "+/-5V");
        EXPECT_EQ(PagesReachable(v), 2);
        v.Pick(Control::InputMode, 1);
        EXPECT_EQ(PagesReachable(v), 1);
        v.Pick(Control::DevTypeEd, 1);
        EXPECT_EQ(v.SelectedText(Control::AD_Range7), "0-10V");
        EXPECT_EQ(v.Items(Control::AD_Range0).size(), 8u);
        EXPECT_EQ(PagesReachable(v), 2);
        v.Pick(Control::InputMode, 0);
        EXPECT_EQ(PagesReachable(v), 4);
    });
}

TEST(AnalogSettings, PagingKeepsTheVisibleGainsAndDropsAPickOnTheFirstPage) {
    BoardSession s;
    s.Run([](HeadlessView& v, BoardPage& page) {
        v.Pick(Control::AD_Range3, 2); // "0-5V", code 5
        v.Click(Control::DownButton);
        EXPECT_EQ(v.Text(Control::ADCh0), "8");
        EXPECT_EQ(v.Text(Control::ADCh7), "15");
        EXPECT_EQ(v.SelectedText(Control::AD_Range3), "+/-5V");
        EXPECT_EQ(page.Analog.AdRangeCodes[0][3], 5);
        v.Click(Control::UpButton);
        EXPECT_EQ(v.Text(Control::ADCh0), "0");
        EXPECT_EQ(v.SelectedText(Control::AD_Range3), "0-5V");

        // A board added while another board's second page shows starts on its first page, with the paging
        // buttons left as they were: its up button does not move and drops the pick not yet kept.
        v.Click(Control::DownButton);
        v.Click(Control::AddBtn);
        EXPECT_EQ(page.CurrentBoard, 1);
        v.Pick(Control::AD_Range0, 4);
        EXPECT_TRUE(v.Click(Control::UpButton));
        EXPECT_EQ(v.SelectedText(Control::AD_Range0), "+/-5V");
        EXPECT_FALSE(v.Enabled(Control::UpButton));
        EXPECT_EQ(page.Analog.AdPage[1], 0);
        EXPECT_EQ(page.Analog.AdRangeCodes[1][0], 0);
    });
}

TEST(AnalogSettings, WiringChangeReturnsToTheFirstPageWithAllGainsZero) {
    BoardSession s;
    for (int k = 0; k < config::AdGainCount; ++k) s.Block().Boards[0].ADGain[k] = 3;
    s.Run([](HeadlessView& v, BoardPage& page) {
        EXPECT_EQ(v.SelectedText(Control::AD_Range0), "+/-0.625V");
        v.Click(Control::DownButton);
        v.Pick(Control::InputMode, 1);
        EXPECT_EQ(v.Text(Control::ADCh0), "0");
        EXPECT_FALSE(v.Enabled(Control::DownButton));
        EXPECT_EQ(v.SelectedText(Control::AD_Range0), "+/-5V");
        EXPECT_EQ(v.Nodes()[0].Text, "板卡号:0 KRX-A100 基址:220 差动");
        for (std::int32_t code : page.Analog.AdRangeCodes[0]) EXPECT_EQ(code, 0);
    });
}

TEST(AnalogSettings, OutputTabFollowsTheModelsOutputs) {
    BoardSession s;
    s.Run([](HeadlessView& v, BoardPage&) {
        v.Pick(Control::DevTypeEd, 2); // KRX-B100: six outputs, five ranges, no inputs
        EXPECT_FALSE(v.Visible(Control::ADSheet));
        EXPECT_FALSE(v.Pick(Control::AD_Range0, 0));
        EXPECT_TRUE(v.Enabled(Control::DA_Range5));
        EXPECT_FALSE(v.Enabled(Control::DA_Range6));
        EXPECT_EQ(v.Items(Control::DA_Range5).size(), 5u);
        EXPECT_EQ(v.Items(Control::DA_Range0).back(), "4-20mA");
        v.Pick(Control::DevTypeEd, 3); // KRX-C100: no outputs, the tab stays with nothing to choose
        EXPECT_TRUE(v.Visible(Control::DASheet));
        EXPECT_EQ(v.Items(Control::DA_Range0).size(), 2u);
        EXPECT_FALSE(v.Enabled(Control::DA_Range0));
    });
}

TEST(AnalogSettings, PageCountsAreComputedOnOpeningWithTheModelShownFirst) {
    BoardSession s;
    PutBoard(s.Block(), 1, 1, 0x300); // KRX-A200 would have four pages of its own
    s.Run([](HeadlessView& v, BoardPage& page) {
        EXPECT_EQ(page.Analog.AdPageCount[1], 2);
        v.ClickNode(1);
        EXPECT_EQ(PagesReachable(v), 2);
        v.Pick(Control::DevTypeEd, 1);
        EXPECT_EQ(PagesReachable(v), 4);
    });
}

TEST(AnalogSettings, RangesShownWhenAddingGoToTheNewBoardOnceTheTabIsLeft) {
    BoardSession s;
    s.Run([](HeadlessView& v, BoardPage&) {
        v.Pick(Control::DA_Range1, 1);
        v.Click(Control::AddBtn); // commits board 0; the focus stays on the output tab
        v.Click(Control::FinishBtn);
    });
    EXPECT_EQ(s.Block().Boards[0].DARange[1], 1);
    EXPECT_EQ(s.Block().Boards[1].DevType, 0);
    EXPECT_EQ(s.Block().Boards[1].DARange[1], 1);
    EXPECT_EQ(s.Block().Boards[1].DARange[0], 0);
}

// A model without analog inputs has empty gain lists: the rows kept from its page are stored as -1, the
// code no gain list holds.
TEST(AnalogSettings, AModelWithoutGainsStoresMinusOneForTheRowsShown) {
    BoardSession s;
    s.Run([](HeadlessView& v, BoardPage&) {
        v.Pick(Control::DevTypeEd, 2); // KRX-B100
        v.Click(Control::FinishBtn);
    });
    for (int k = 0; k < 8; ++k) EXPECT_EQ(s.Block().Boards[0].ADGain[k], -1) << k;
}
