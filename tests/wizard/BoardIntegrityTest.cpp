// What no way through the board page may do to the block: two entries with one board number, two boards on
// the same ports, a board gone without a delete, a byte changed by viewing.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "Blocks.h"
#include "wizard/WizardTexts.h"

using namespace korax;
using namespace korax::test;
using wizard::BoardPage;
using wizard::OperationMode;

namespace {

int BoardCount(const config::DevicePDB& block) {
    int count = 0;
    for (const config::BoardEntry& entry : block.Boards) count += config::IsBoard(entry.DevType) ? 1 : 0;
    return count;
}

// Ports each model answers on from its base address, written out from the port maps.
constexpr std::uint32_t PortsOf[] = {15, 13, 16, 8, 2, 4, 4};

// Empty when every board carries its slot's number and no two boards' ports meet.
std::string Unsound(const config::DevicePDB& block) {
    for (int a = 0; a < config::BoardCount; ++a) {
        const config::BoardEntry& first = block.Boards[a];
        if (!config::IsBoard(first.DevType)) continue;
        if (first.BoardNo != a)
            return "slot " + std::to_string(a) + " holds number " + std::to_string(first.BoardNo);
        for (int b = a + 1; b < config::BoardCount; ++b) {
            const config::BoardEntry& second = block.Boards[b];
            if (!config::IsBoard(second.DevType)) continue;
            if (first.BaseAddress < second.BaseAddress + PortsOf[second.DevType] &&
                second.BaseAddress < first.BaseAddress + PortsOf[first.DevType]) {
                return "boards " + std::to_string(a) + " and " + std::to_string(b) + " share ports";
            }
        }
    }
    return {};
}

} // namespace

// Emptying the number field, then picking a model: the field names the board shown again, and next stores
// it under that number, not as a copy in the lowest free slot.
TEST(BoardIntegrity, AnEmptiedNumberFieldNeverCopiesTheBoard) {
    BoardSession s;
    PutBoard(s.Block(), 3, 0, 0x300);
    s.Run([](HeadlessView& v, BoardPage&) {
        v.ClickNode(1);
        v.Type(Control::IDEd, "");
        v.Pick(Control::DevTypeEd, 1);
        EXPECT_EQ(v.Text(Control::IDEd), "3");
        v.Click(Control::NextBtn);
        EXPECT_TRUE(v.Closed());
    });
    EXPECT_EQ(s.Block().Boards[1].DevType, config::NoBoard);
    EXPECT_EQ(s.Block().Boards[3].DevType, 1);

    // The only board, in slot 3: it moves to 0 with the emptied field and stays one board.
    BoardSession single;
    single.Block().Boards[0].DevType = config::NoBoard;
    PutBoard(single.Block(), 3, 0, 0x300);
    single.Block().SelectedBoard = 3;
    single.Run([](HeadlessView& v, BoardPage&) {
        v.Type(Control::IDEd, "");
        v.Pick(Control::DevTypeEd, 1);
        v.Click(Control::FinishBtn);
    });
    EXPECT_EQ(BoardCount(single.Block()), 1);
    EXPECT_EQ(Unsound(single.Block()), "");
}

TEST(BoardIntegrity, RefusedNumbersAreNamedAsTyped) {
    BoardSession s;
    PutBoard(s.Block(), 3, 0, 0x300);
    s.Run([](HeadlessView& v, BoardPage&) {
        v.Type(Control::IDEd, "+3");
        v.Click(Control::AddBtn);
        v.Type(Control::IDEd, "");
        v.Click(Control::AddBtn);
        EXPECT_EQ(v.Errors, (std::vector<std::string>{"板卡号+3已被其他板卡使用，请输入一个空闲的板卡号。",
                                                      "'' is not a valid integer value"}));
        EXPECT_EQ(v.Nodes().size(), 2u);
    });
}

// Tabbing into the tree selects its first node as a click would; arrows move on, and delete deletes the
// board highlighted.
TEST(BoardIntegrity, DeleteTakesTheNodeTheTreeShowsHowEverItWasSelected) {
    BoardSession s;
    PutBoard(s.Block(), 2, 2, 0x300);
    s.Run([](HeadlessView& v, BoardPage&) {
        v.TabIntoTree();
        v.Click(Control::DelBtn);
        ASSERT_EQ(v.Nodes().size(), 1u);
        EXPECT_EQ(v.Text(Control::IDEd), "2");
        v.Click(Control::AddBtn);
        v.ArrowToNode(1);
        EXPECT_EQ(v.Text(Control::IDEd), "2");
        EXPECT_EQ(v.SelectedText(Control::DevTypeEd), "KRXB100");
        v.Click(Control::DelBtn);
        v.Click(Control::FinishBtn);
    });
    EXPECT_EQ(s.Block().Boards[0].DevType, 2); // the board added in slot 0
    EXPECT_EQ(s.Block().Boards[2].DevType, config::NoBoard);
}

// Lists the user did not touch keep what the block held, also codes the model does not offer; a model
// without outputs offers no range list to change.
TEST(BoardIntegrity, UntouchedListsKeepTheStoredCodes) {
    BoardSession s;
    s.Block().Boards[0].ADGain[3] = 12;
    PutBoard(s.Block(), 1, 3, 0x300); // KRX-C100: no analog outputs
    s.Block().Boards[1].DARange[0] = 3;
    s.Block().SelectedBoard = 1;
    s.Run([](HeadlessView& v, BoardPage&) {
        EXPECT_FALSE(v.Enabled(Control::DA_Range0));
        EXPECT_FALSE(v.Pick(Control::DA_Range0, 1));
        v.ClickNode(0);
        v.Pick(Control::AD_Range0, 8);
        v.Click(Control::FinishBtn);
    });
    EXPECT_EQ(s.Block().Boards[0].ADGain[0], 8);
    EXPECT_EQ(s.Block().Boards[0].ADGain[3], 12);
    EXPECT_EQ(s.Block().Boards[1].DARange[0], 3);
}

TEST(BoardIntegrity, NoBaseAddressOrModelReachesAnotherBoardsPorts) {
    BoardSession s;
    PutBoard(s.Block(), 1, 0, 0x230);
    s.Run([](HeadlessView& v, BoardPage&) {
        v.Pick(Control::BaseAddress, 3); // 230H, board 1's
        EXPECT_EQ(v.SelectedText(Control::BaseAddress), "220H");
        v.Click(Control::AddBtn); // 220H and 230H taken: the new board goes to 240H
        EXPECT_EQ(v.SelectedText(Control::BaseAddress), "240H");
        EXPECT_EQ(v.Errors, std::vector<std::string>{"基址230H与其他板卡的端口重叠，请选择一个空闲的基址。"});
    });
    EXPECT_EQ(s.Block().Boards[0].BaseAddress, 0x220u);
    EXPECT_EQ(s.Block().Boards[2].BaseAddress, 0x240u);
    // A model answering on more ports than the gap before the next board leaves is refused.
    BoardSession tight;
    PutBoard(tight.Block(), 0, 4, 0x3F0);
    PutBoard(tight.Block(), 1, 3, 0x3F4); // off the list, as a host block may hold it
    tight.Run([](HeadlessView& v, BoardPage&) {
        v.Pick(Control::DevTypeEd, 6); // KRX-C300: four ports, fits
        v.Pick(Control::DevTypeEd, 2); // KRX-B100: sixteen, does not
        EXPECT_EQ(v.SelectedText(Control::DevTypeEd), "KRXC300");
        EXPECT_EQ(v.Errors.size(), 1u);
    });
    EXPECT_EQ(tight.Block().Boards[0].DevType, 6);
}

// Long random sessions of a user on random blocks: after every action no two boards share a number or a
// port, no board comes but by an add (or a model for the empty slot shown) nor goes but by a delete, and
// viewing leaves the block as it was.
TEST(BoardIntegrity, RandomSessionsKeepTheBlockSound) {
    std::mt19937 random(20261208);
    const auto pick = [&](int count) { return std::uniform_int_distribution<int>(0, count - 1)(random); };
    const std::vector<std::string> numbers = {"", "-7", "0", "1", "3", "12", "31", "45", "x", "+3"};
    const auto anyNode = [&](const HeadlessView& v) {
        return pick(static_cast<int>(v.Nodes().size()) + 1) - 1;
    };
    enum Effect { Keeps, MayAdd, MayDelete };
    struct Action {
        const char* Name;
        Effect Does;
        std::function<bool(HeadlessView&)> Run;
    };
    const std::vector<Action> actions = {
        {"click node", Keeps, [&](HeadlessView& v) { return v.ClickNode(anyNode(v)); }},
        {"tab into tree", Keeps, [&](HeadlessView& v) { return v.TabIntoTree(); }},
        {"arrow", Keeps, [&](HeadlessView& v) { return v.ArrowToNode(anyNode(v)); }},
        {"right click", Keeps, [&](HeadlessView& v) { return v.RightClickNode(anyNode(v)); }},
        {"type", Keeps,
         [&](HeadlessView& v) {
             return v.Type(Control::IDEd,
                           numbers[static_cast<std::size_t>(pick(static_cast<int>(numbers.size())))]);
         }},
        {"model", MayAdd, [&](HeadlessView& v) { return v.Pick(Control::DevTypeEd, pick(7)); }},
        {"base", Keeps, [&](HeadlessView& v) { return v.Pick(Control::BaseAddress, pick(32)); }},
        {"wiring", Keeps, [&](HeadlessView& v) { return v.Pick(Control::InputMode, pick(2)); }},
        {"gain", Keeps, [&](HeadlessView& v) { return v.Pick(wizard::AdRangeList(pick(8)), pick(9)); }},
        {"range", Keeps, [&](HeadlessView& v) { return v.Pick(wizard::DaRangeList(pick(12)), pick(5)); }},
        {"paging", Keeps,
         [&](HeadlessView& v) { return v.Click(pick(2) == 0 ? Control::UpButton : Control::DownButton); }},
        {"tab", Keeps, [&](HeadlessView& v) { return v.Pick(Control::ParmPage, pick(3)); }},
        {"add", MayAdd, [&](HeadlessView& v) { return v.Click(Control::AddBtn); }},
        {"delete", MayDelete, [&](HeadlessView& v) { return v.Click(Control::DelBtn); }},
        {"navigation", Keeps,
         [&](HeadlessView& v) {
             const Control buttons[] = {Control::LastBtn, Control::NextBtn, Control::FinishBtn};
             const int which = pick(4);
             if (which == 3) v.UserClose();
             return which == 3 || v.Click(buttons[which]);
         }},
    };

    for (int session = 0; session < 500; ++session) {
        auto block = DefaultBlock();
        std::vector<std::uint32_t> bases(config::BoardCount);
        for (std::size_t i = 0; i < bases.size(); ++i)
            bases[i] = 0x200u + 0x10u * static_cast<std::uint32_t>(i);
        std::shuffle(bases.begin(), bases.end(), random);
        for (int b = 0; b < config::BoardCount; ++b) {
            config::BoardEntry& entry = block->Boards[b];
            if (pick(3) == 0) {
                PutBoard(*block, b, static_cast<std::uint8_t>(pick(7)), bases[static_cast<std::size_t>(b)]);
                entry.InputMode = pick(2);
            } else {
                entry.DevType = config::NoBoard;
                entry.BoardNo = pick(2) == 0 ? 0 : b; // vacated by renumbering, or never used
            }
            for (int k = 0; k < config::AdGainCount; ++k) entry.ADGain[k] = pick(14) - 1;
            for (int k = 0; k < config::DaRangeCount; ++k) entry.DARange[k] = pick(6);
        }
        block->SelectedBoard = pick(36) - 2;
        const bool viewing = pick(3) == 0;
        const auto before = Bytes(*block);
        const config::DevicePDB& working = wizard::Wizard().WorkingBlock;
        std::string failure;

        const HeadlessView::Step play = [&](HeadlessView& v) {
            if (v.Page() != PageClass::Board) {
                // Start page: an option and mostly next; end page: mostly back.
                v.Click(viewing ? Control::BrowseOp : pick(2) == 0 ? Control::NewOp : Control::ModifyOp);
                v.Click(pick(5) == 0                   ? Control::FinishBtn
                        : v.Page() == PageClass::Start ? Control::NextBtn
                                                       : Control::LastBtn);
                return;
            }
            for (int step = 0; step < 40 && !v.Closed() && failure.empty(); ++step) {
                const int boards = BoardCount(working);
                const auto snapshot = Bytes(working);
                // Typing twice as often as anything else; navigation half as often.
                const int roll = pick(static_cast<int>(actions.size()) + 2);
                const Action& action =
                    actions[static_cast<std::size_t>(roll >= static_cast<int>(actions.size()) ? 4 : roll)];
                if (roll == static_cast<int>(actions.size()) - 1 && pick(2) == 0) continue;
                const bool done = action.Run(v);
                const int now = BoardCount(working);
                std::string problem = Unsound(working);
                if (problem.empty() && now < boards - (done && action.Does == MayDelete ? 1 : 0))
                    problem = "a board lost";
                if (problem.empty() && now > boards + (done && action.Does == MayAdd ? 1 : 0))
                    problem = "a board copied";
                if (problem.empty() && viewing && Bytes(working) != snapshot)
                    problem = "viewing changed the block";
                if (!problem.empty())
                    failure = "session " + std::to_string(session) + ", " + action.Name + ": " + problem;
            }
        };
        HeadlessWizard run;
        for (int page = 0; page < 12; ++page) run.Then(play);
        run.Run(block.get());
        ASSERT_EQ(failure, "");
        if (viewing) {
            ASSERT_EQ(Bytes(*block), before) << "session " << session;
        } else {
            ASSERT_EQ(Unsound(*block), "") << "session " << session;
        }
    }
}
