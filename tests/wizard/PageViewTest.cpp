#include <gtest/gtest.h>

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "HeadlessView.h"

using namespace korax;
using namespace korax::test;

namespace {

struct Recorder final : wizard::PageEvents {
    void OnShow() override {}
    void OnUserPick(Control id) override { Heard.push_back(std::string(wizard::InfoOf(id).Name)); }
    void OnUserEdit(Control id) override { Heard.push_back(std::string(wizard::InfoOf(id).Name)); }
    void OnUserClick(Control id) override { Heard.push_back(std::string(wizard::InfoOf(id).Name)); }
    std::vector<std::string> Heard;
};

constexpr std::array<std::string_view, 2> TwoItems = {"a", "b"};

} // namespace

TEST(PageView, OnlyWhatTheUserCouldDoReachesTheController) {
    Recorder events;
    HeadlessView view(PageClass::Board, [&](HeadlessView& v) {
        v.SetItems(Control::DevTypeEd, TwoItems);
        v.SetSelection(Control::DevTypeEd, 1);
        v.SetText(Control::IDEd, "3");
        EXPECT_TRUE(events.Heard.empty());

        v.SetSelection(Control::DevTypeEd, 2); // no such item: nothing selected
        EXPECT_EQ(v.Selection(Control::DevTypeEd), -1);
        v.SetSelection(Control::DevTypeEd, 0);
        v.SetItems(Control::DevTypeEd, TwoItems);
        EXPECT_EQ(v.Selection(Control::DevTypeEd), -1);

        EXPECT_FALSE(v.Pick(Control::DevTypeEd, 2));
        EXPECT_TRUE(v.Pick(Control::DevTypeEd, 1));
        EXPECT_TRUE(v.Type(Control::IDEd, "7"));
        v.SetEnabled(Control::IDEd, false);
        EXPECT_FALSE(v.Type(Control::IDEd, "8"));
        v.SetVisible(Control::ADSheet, false); // its controls go with the tab
        EXPECT_FALSE(v.Click(Control::DownButton));
        EXPECT_FALSE(v.Click(Control::NewOp)); // a start page control
        v.Close();
        EXPECT_FALSE(v.Click(Control::NextBtn));
    });
    view.Show(events);
    EXPECT_EQ(events.Heard, (std::vector<std::string>{"DevTypeEd", "IDEd"}));
    EXPECT_EQ(view.Text(Control::IDEd), "7");
}
