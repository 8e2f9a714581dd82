// The configuration wizard on a real (virtual) display. The main thread is the host: it loads the driver
// library, owns a window, and calls DLLEdDev with that window and a parameter block, sitting in the pages'
// modal loops. A second thread plays the user on the pages through window messages and reads what they show.
//
// Usage: wizard_gui.exe flows|board|keys|screens. The screens group saves a picture of every page in the
// working folder (BMP; the test command converts them to PNG).
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "WizardCapture.h"
#include "WizardPilot.h"
#include "config/DevicePDB.h"
#include "wizard/WizardTexts.h"

namespace {

using namespace korax::test;
using korax::config::DevicePDB;
namespace texts = korax::wizard::texts;

using FullPdbProc = void(__stdcall*)(void*);
using EditDeviceProc = std::int32_t(__stdcall*)(void*, void*);

constexpr std::int32_t Accepted = 1;
constexpr std::int32_t NotAccepted = 2;
constexpr std::uint8_t KrxA100 = 0;
constexpr std::uint8_t KrxB100 = 2;
constexpr std::uint8_t NoBoard = 7;
constexpr int BaseIndex300 = 16; // 200H + 16 * 10H
constexpr int MessageTextId = 0xFFFF;
constexpr int IconIds[] = {0x0014, 0x0440}; // where a message box keeps its icon, by implementation

const std::string_view BoardTab = texts::SheetTitles[0];
const std::string_view InputTab = texts::SheetTitles[1];
const std::string_view OutputTab = texts::SheetTitles[2];

std::vector<std::uint8_t> Bytes(const DevicePDB& block) {
    std::vector<std::uint8_t> bytes(sizeof block);
    std::memcpy(bytes.data(), &block, sizeof block);
    return bytes;
}

template <typename Proc>
Proc Entry(HMODULE module, const char* name) {
    return reinterpret_cast<Proc>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

// The host's side: its window, its blocks, and a wizard run with a user playing the pages.
class Host {
public:
    Host(HWND window, FullPdbProc fullPdb, EditDeviceProc editDevice)
        : window_(window), fullPdb_(fullPdb), editDevice_(editDevice) {}

    std::unique_ptr<DevicePDB> DefaultBlock() const {
        auto block = std::make_unique<DevicePDB>();
        std::memset(block.get(), 0, sizeof *block);
        fullPdb_(block.get());
        return block;
    }

    // Calls DLLEdDev on this thread while `user` plays on a second one. The user ends the wizard; a wizard
    // still open some seconds after the user is done is a failure, and its windows are closed.
    std::int32_t Run(DevicePDB& block, const std::function<void(Pilot&)>& user) {
        const DWORD self = GetCurrentThreadId();
        std::atomic<bool> ended{false};
        std::thread player([&] {
            Pilot pilot(window_, self);
            try {
                user(pilot);
            } catch (const Abort&) {
            } catch (const std::exception& error) {
                Check(false, error.what());
            }
            if (!WaitUntil([&] { return ended.load(); })) {
                Check(false, "the wizard ended when the user was done");
                while (!ended) {
                    for (HWND window : DialogsOf(self)) PostMessageW(window, WM_CLOSE, 0, 0);
                    Sleep(100);
                }
            }
        });
        const std::int32_t result = editDevice_(window_, &block);
        ended = true;
        player.join();
        Check(DialogsOf(self).empty(), "no page left open after DLLEdDev returned");
        Check(IsWindowEnabled(window_) != FALSE, "the host's window usable again");
        return result;
    }

private:
    HWND window_;
    FullPdbProc fullPdb_;
    EditDeviceProc editDevice_;
};

void PutBoard(DevicePDB& block, int slot, std::uint8_t model, std::uint32_t base) {
    korax::config::BoardEntry& entry = block.Boards[slot];
    entry.BoardNo = slot;
    entry.DevType = model;
    korax::config::SetShortString(entry.DevName, korax::config::DevNameSize,
                                  model == KrxB100 ? "KRX-B100" : "KRX-A100");
    entry.BaseAddress = base;
}

// What every page window is: owned by the host's window, on the calling thread, in front, fixed size with
// a close box only, centred on the screen.
void CheckFrame(const Pilot& p, const std::string& page) {
    HWND window = p.Page();
    const LONG style = GetWindowLongW(window, GWL_STYLE);
    const LONG exStyle = GetWindowLongW(window, GWL_EXSTYLE);
    Check(GetWindow(window, GW_OWNER) == p.Host(), page + " owned by the host's window");
    Check(GetWindowThreadProcessId(window, nullptr) == p.Thread(), page + " runs on the thread of DLLEdDev");
    Check((exStyle & WS_EX_TOPMOST) != 0, page + " kept on top");
    Check((style & WS_CAPTION) == WS_CAPTION && (style & WS_SYSMENU) != 0,
          page + " has a caption and close box");
    Check((style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME)) == 0,
          page + " can be neither minimised, maximised nor resized");
    RECT frame{};
    GetWindowRect(window, &frame);
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    Check(frame.left == (GetSystemMetrics(SM_CXSCREEN) - width) / 2 &&
              frame.top == (GetSystemMetrics(SM_CYSCREEN) - height) / 2,
          page + " centred on the screen");
    Check(p.Text(Control::Title) == W(texts::HeaderTitle), page + " title line");
    // The title line in a larger font than the rest.
    LOGFONTW title{};
    LOGFONTW body{};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(p.Item(Control::Title), WM_GETFONT, 0, 0)), sizeof title,
               &title);
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(p.Item(Control::Instruction), WM_GETFONT, 0, 0)),
               sizeof body, &body);
    Check(std::abs(title.lfHeight) > std::abs(body.lfHeight), page + " title in a larger font");
}

// The error box over the page: its text, the page's caption, the error icon; dismissed with OK.
void ExpectErrorBox(Pilot& p, std::string_view text) {
    HWND box = p.WaitBox();
    Check(TextOf(GetDlgItem(box, MessageTextId)) == W(text), "the box says \"" + Narrow(W(text)) + "\"");
    Check(TextOf(box) == TextOf(p.Page()), "the box bears the page's caption");
    bool errorIcon = false;
    const HICON hand = LoadIconA(nullptr, IDI_HAND);
    for (const int id : IconIds) {
        if (reinterpret_cast<HICON>(SendDlgItemMessageW(box, id, STM_GETICON, 0, 0)) == hand)
            errorIcon = true;
    }
    Check(errorIcon, "the box shows the error icon");
    p.Dismiss(box);
}

void ChooseAndGoOn(Pilot& p, Control option) {
    p.WaitPage(texts::StartCaption);
    p.Click(option);
    Require(WaitUntil([&] { return p.Checked(option); }), "option chosen");
    p.Click(Control::NextBtn);
}

// --- Flows through the pages -------------------------------------------------------------------------------

void FinishAtOnce(Host& host) {
    auto block = host.DefaultBlock();
    block->Boards[0].ADGain[3] = 5;
    const auto before = Bytes(*block);
    const std::int32_t result = host.Run(*block, [](Pilot& p) {
        p.WaitPage(texts::StartCaption);
        CheckFrame(p, "start page");
        Check(p.Text(Control::Instruction) == W(texts::StartInstruction) &&
                  p.Label(Control::BrowseOp) == W(texts::BrowseOption) &&
                  p.Label(Control::FinishBtn) == W(texts::FinishButton),
              "the controller's texts shown");
        const std::wstring description =
            TextOf(GetDlgItem(p.Page(), korax::wizard::win32::OptionDescription0));
        Check(description.find(W(texts::NewOptionDescription[0])) == 0 &&
                  description.ends_with(W(texts::NewOptionDescription[1])),
              "the first option's two-line description");
        Check(p.Checked(Control::NewOp) && !p.Checked(Control::ModifyOp) && !p.Checked(Control::BrowseOp),
              "creating is chosen when the page opens");
        Check(p.Item(Control::LastBtn) == nullptr, "no back button on the start page");
        CheckGlyphs(p, "start page");
        p.Click(Control::FinishBtn);
    });
    Check(result == NotAccepted, "finishing at once is not accepted");
    Check(Bytes(*block) == before, "finishing at once leaves the block alone");
}

void CreateThroughTheEndPage(Host& host) {
    auto block = host.DefaultBlock();
    const std::int32_t result = host.Run(*block, [](Pilot& p) {
        ChooseAndGoOn(p, Control::NewOp);
        p.WaitPage(texts::BoardCaptions[0]);
        CheckFrame(p, "board page");
        Check(p.Visible(Control::AddBtn) && !p.Visible(Control::DelBtn),
              "creating adds boards but deletes none");
        p.Pick(Control::BaseAddress, BaseIndex300);
        Require(WaitUntil([&] { return p.Nodes() == std::vector{W("板卡号:0 KRX-A100 基址:300 单端")}; }),
                "the tree shows the new base address");
        p.Click(Control::NextBtn);
        p.WaitPage(texts::EndCaption);
        CheckFrame(p, "end page");
        Check(p.Text(Control::Instruction) == W(texts::EndInstruction), "end page instruction");
        Check(p.Label(Control::LastBtn) == W(texts::BackButton) && p.Item(Control::NextBtn) == nullptr,
              "end page buttons");
        CheckGlyphs(p, "end page");
        p.Click(Control::FinishBtn);
    });
    Check(result == Accepted, "creating through the end page is accepted");
    Check(block->Boards[0].BaseAddress == 0x300, "the end page's finish writes the block");
}

void ViewAndFinishOnTheBoardPage(Host& host) {
    auto block = host.DefaultBlock();
    korax::config::SetShortString(block->Boards[0].DevName, korax::config::DevNameSize, "stale");
    PutBoard(*block, 3, KrxB100, 0x300);
    const auto before = Bytes(*block);
    const std::int32_t result = host.Run(*block, [](Pilot& p) {
        ChooseAndGoOn(p, Control::BrowseOp);
        p.WaitPage(texts::BoardCaptions[2]);
        const auto allDisabled = [&] {
            std::vector<Control> fields = {Control::IDEd, Control::DevTypeEd, Control::BaseAddress,
                                           Control::InputMode, Control::ADMaxRange};
            for (int k = 0; k < korax::wizard::AdRowCount; ++k)
                fields.push_back(korax::wizard::AdRangeList(k));
            for (int k = 0; k < korax::wizard::DaRowCount; ++k)
                fields.push_back(korax::wizard::DaRangeList(k));
            return std::ranges::none_of(fields, [&](Control c) { return p.Enabled(c); });
        };
        Check(allDisabled(), "viewing disables every field and list");
        Check(!p.Visible(Control::AddBtn) && !p.Visible(Control::DelBtn), "viewing neither adds nor deletes");
        // The tree stays usable: another board is shown, still read-only.
        p.ClickNode(1);
        Require(WaitUntil([&] { return p.Text(Control::IDEd) == L"3"; }),
                "a click on the second node shows board 3");
        Check(p.SelectedText(Control::DevTypeEd) == L"KRXB100", "board 3's model shown");
        Check(allDisabled(), "every field stays disabled for another board");
        p.ClickNode(0);
        Require(WaitUntil([&] { return p.Text(Control::IDEd) == L"0"; }), "back on board 0");
        p.Click(Control::FinishBtn);
    });
    Check(result == NotAccepted, "viewing is not accepted");
    Check(Bytes(*block) == before, "viewing leaves every byte of the block");
}

void CloseBoxOnTheBoardPage(Host& host) {
    auto block = host.DefaultBlock();
    const auto before = Bytes(*block);
    const std::int32_t result = host.Run(*block, [](Pilot& p) {
        ChooseAndGoOn(p, Control::NewOp);
        p.WaitPage(texts::BoardCaptions[0]);
        p.Pick(Control::BaseAddress, BaseIndex300);
        p.CloseBox();
    });
    Check(result == Accepted, "creating counts as accepted even when the page is closed");
    Check(Bytes(*block) == before, "the close box writes nothing");
}

void BackAndNextKeepTheEdits(Host& host) {
    auto block = host.DefaultBlock();
    const std::int32_t result = host.Run(*block, [](Pilot& p) {
        // A double click on an option goes on at once.
        p.WaitPage(texts::StartCaption);
        p.DoubleClick(Control::ModifyOp);
        p.WaitPage(texts::BoardCaptions[1]);
        p.Pick(Control::BaseAddress, BaseIndex300);
        p.ShowTab(InputTab);
        p.Pick(korax::wizard::AdRangeList(0), 3); // "0-10V"
        p.Click(Control::NextBtn);
        p.WaitPage(texts::EndCaption);
        p.Click(Control::LastBtn);
        const auto editsShown = [&](const std::string& when) {
            Check(p.SelectedText(Control::BaseAddress) == L"300H", when + ": base address kept");
            p.ShowTab(InputTab);
            Check(p.SelectedText(korax::wizard::AdRangeList(0)) == L"0-10V", when + ": gain kept");
        };
        p.WaitPage(texts::BoardCaptions[1]);
        editsShown("back from the end page");
        p.Click(Control::LastBtn);
        ChooseAndGoOn(p, Control::ModifyOp);
        p.WaitPage(texts::BoardCaptions[1]);
        editsShown("again from the start page");
        p.Click(Control::FinishBtn);
    });
    Check(result == Accepted, "modifying is accepted");
    Check(block->Boards[0].BaseAddress == 0x300 && block->Boards[0].ADGain[0] == 4,
          "the edits reach the block");
}

// --- The board page ----------------------------------------------------------------------------------------

void ModelsAndWiring(Host& host) {
    auto block = host.DefaultBlock();
    const auto before = Bytes(*block);
    const std::int32_t result = host.Run(*block, [](Pilot& p) {
        ChooseAndGoOn(p, Control::ModifyOp);
        p.WaitPage(texts::BoardCaptions[1]);
        Check(p.Tabs() == std::vector{W(BoardTab), W(InputTab), W(OutputTab)}, "three tabs");
        Check(p.Visible(Control::DeviceTree) && !p.Visible(korax::wizard::AdRangeList(0)),
              "the tree in front");
        Check(p.SelectedText(Control::DevTypeEd) == L"KRXA100" && p.Text(Control::IDEd) == L"0" &&
                  p.SelectedText(Control::BaseAddress) == L"220H",
              "the default board's fields");
        Check(p.ListItems(Control::InputMode) == std::vector{W("单端"), W("差动")} &&
                  p.SelectedText(Control::InputMode) == W("单端"),
              "the wirings offered");
        Check(!p.Enabled(Control::ADMaxRange) && p.SelectedText(Control::ADMaxRange) == L"5V",
              "the maximum range is shown, not edited");
        Check(p.Text(korax::wizard::AdChannelLabel(0)) == L"0", "channel labels set before the tab is shown");

        // KRX-B100: no analog inputs, six outputs with five ranges each.
        p.Pick(Control::DevTypeEd, KrxB100);
        Require(WaitUntil([&] { return p.Tabs().size() == 2; }), "the analog input tab goes");
        Check(p.Tabs() == std::vector{W(BoardTab), W(OutputTab)}, "the tabs left");
        Check(p.Nodes() == std::vector{W("板卡号:0 KRX-B100 基址:220 单端")}, "the node names the model");
        Check(!p.Enabled(Control::InputMode), "no wiring to choose");
        p.ShowTab(OutputTab);
        for (int k = 0; k < korax::wizard::DaRowCount; ++k) {
            Check(p.Enabled(korax::wizard::DaRangeList(k)) == (k < 6),
                  "output list " + std::to_string(k) + " enabling");
        }
        Check(p.ListItems(korax::wizard::DaRangeList(0)) ==
                  std::vector{W("0-5V"), W("0-10V"), W("+/-5V"), W("+/-10V"), W("4-20mA")},
              "five output ranges");
        Check(p.Visible(korax::wizard::DaRangeList(0)) && !p.Visible(Control::DeviceTree),
              "the output tab's lists shown instead of the tree");

        // Back to KRX-A100: the input tab returns, the output tab stays in front.
        p.Pick(Control::DevTypeEd, KrxA100);
        Require(WaitUntil([&] { return p.Tabs().size() == 3; }), "the analog input tab returns");
        Check(SendMessageW(p.Item(Control::ParmPage), TCM_GETCURSEL, 0, 0) == 2,
              "the output tab stays in front");
        Check(p.ListItems(korax::wizard::DaRangeList(0)).size() == 2 &&
                  p.Enabled(korax::wizard::DaRangeList(1)) && !p.Enabled(korax::wizard::DaRangeList(2)),
              "two outputs with two ranges");

        // Differential wiring: one page of eight inputs.
        p.Pick(Control::InputMode, 1);
        Require(WaitUntil([&] { return p.Nodes() == std::vector{W("板卡号:0 KRX-A100 基址:220 差动")}; }),
                "the node shows the wiring");
        p.ShowTab(InputTab);
        for (int k = 0; k < korax::wizard::AdRowCount; ++k) {
            Check(p.Text(korax::wizard::AdChannelLabel(k)) == std::to_wstring(k),
                  "channel label " + std::to_string(k));
        }
        Check(!p.Enabled(Control::UpButton) && !p.Enabled(Control::DownButton), "one page: no paging");
        p.Pick(Control::InputMode, 0);
        Require(WaitUntil([&] { return p.Enabled(Control::DownButton); }), "single-ended: a second page");
        p.CloseBox();
    });
    Check(result == Accepted, "modifying is accepted");
    Check(Bytes(*block) == before, "closed without finishing: the block unchanged");
}

void PagingTheGains(Host& host) {
    auto block = host.DefaultBlock();
    const std::int32_t result = host.Run(*block, [](Pilot& p) {
        using korax::wizard::AdChannelLabel;
        using korax::wizard::AdRangeList;
        ChooseAndGoOn(p, Control::ModifyOp);
        p.WaitPage(texts::BoardCaptions[1]);
        p.ShowTab(InputTab);
        Check(p.Visible(AdRangeList(7)) && p.Visible(Control::UpButton), "the input tab's controls shown");
        Check(!p.Enabled(Control::UpButton) && p.Enabled(Control::DownButton), "first of two pages");
        Check(p.ListItems(AdRangeList(0)).size() == 9 && p.SelectedText(AdRangeList(0)) == L"+/-5V",
              "KRX-A100's gains, code 0 shown");
        p.Pick(AdRangeList(0), 3); // "0-10V" for channel 0
        p.Click(Control::DownButton);
        Require(WaitUntil([&] { return p.Text(AdChannelLabel(0)) == L"8"; }), "paged down");
        Check(p.Text(AdChannelLabel(7)) == L"15", "channels 8 to 15");
        Check(p.SelectedText(AdRangeList(0)) == L"+/-5V", "channel 8's own gain");
        Check(p.Enabled(Control::UpButton) && !p.Enabled(Control::DownButton), "second of two pages");
        p.Pick(AdRangeList(0), 8); // "+/-10V" for channel 8
        p.Click(Control::UpButton);
        Require(WaitUntil([&] { return p.Text(AdChannelLabel(0)) == L"0"; }), "paged up");
        Check(p.SelectedText(AdRangeList(0)) == L"0-10V", "channel 0's gain kept across paging");
        p.Click(Control::FinishBtn);
    });
    Check(result == Accepted, "modifying is accepted");
    Check(block->Boards[0].ADGain[0] == 4 && block->Boards[0].ADGain[8] == 8,
          "the gains of both pages stored");
}

void LeavingATabKeepsItsChoices(Host& host) {
    auto block = host.DefaultBlock();
    PutBoard(*block, 1, KrxA100, 0x300);
    const std::int32_t result = host.Run(*block, [](Pilot& p) {
        using korax::wizard::AdRangeList;
        using korax::wizard::DaRangeList;
        ChooseAndGoOn(p, Control::ModifyOp);
        p.WaitPage(texts::BoardCaptions[1]);
        // Board 0's choices, kept as the focus leaves each analog tab for the next one.
        p.ShowTab(InputTab);
        p.Pick(AdRangeList(0), 3); // "0-10V"
        p.ShowTab(OutputTab);
        p.Pick(DaRangeList(0), 1); // "0-10V"
        p.ShowTab(BoardTab);
        const auto showBoard = [&](int node, const wchar_t* number) {
            p.ClickNode(node);
            Require(WaitUntil([&] { return p.Text(Control::IDEd) == number; }), "board shown");
        };
        const auto choicesShown = [&](const wchar_t* gain, const wchar_t* range, const std::string& board) {
            p.ShowTab(InputTab);
            Check(p.SelectedText(AdRangeList(0)) == gain, board + ": gain of channel 0");
            p.ShowTab(OutputTab);
            Check(p.SelectedText(DaRangeList(0)) == range, board + ": range of output 0");
            p.ShowTab(BoardTab);
        };
        showBoard(1, L"1");
        choicesShown(L"+/-5V", L"0-5V", "board 1");
        showBoard(0, L"0");
        choicesShown(L"0-10V", L"0-10V", "board 0");
        p.Click(Control::FinishBtn);
    });
    Check(result == Accepted, "modifying is accepted");
    Check(block->Boards[0].ADGain[0] == 4 && block->Boards[0].DARange[0] == 1, "board 0's choices stored");
    Check(block->Boards[1].ADGain[0] == 0 && block->Boards[1].DARange[0] == 0, "board 1's left alone");
}

void AddRenumberSelectDelete(Host& host) {
    auto block = host.DefaultBlock();
    const std::int32_t result = host.Run(*block, [](Pilot& p) {
        ChooseAndGoOn(p, Control::ModifyOp);
        p.WaitPage(texts::BoardCaptions[1]);
        p.Focus(Control::BaseAddress);
        p.Click(Control::AddBtn);
        Require(WaitUntil([&] { return p.Nodes().size() == 2; }), "a board added");
        Check(p.Nodes()[1] == W("板卡号:1 KRX-A100 基址:230 单端"), "the new board's node, on free ports");
        Check(p.Text(Control::IDEd) == L"1", "the new board's number shown");
        Check(p.FocusWindow() == p.Item(Control::BaseAddress), "adding leaves the focus where it was");

        // Typed key by key over the selected text: the corrected field keeps the caret after the last key.
        p.Focus(Control::IDEd);
        SendMessageW(p.Item(Control::IDEd), EM_SETSEL, 0, -1);
        for (wchar_t key : {L'4', L'5'}) PostMessageW(p.Item(Control::IDEd), WM_CHAR, key, 1);
        Require(WaitUntil([&] { return p.Text(Control::IDEd) == L"31"; }),
                "a number past the last slot becomes 31");
        DWORD caret = 0;
        SendMessageW(p.Item(Control::IDEd), EM_GETSEL, 0, reinterpret_cast<LPARAM>(&caret));
        Check(caret == 2, "the caret stays where the user was typing");
        Check(p.Nodes() ==
                  std::vector{W("板卡号:0 KRX-A100 基址:220 单端"), W("板卡号:31 KRX-A100 基址:230 单端")},
              "the board moved to slot 31");

        p.ClickNode(0);
        Require(WaitUntil([&] { return p.Text(Control::IDEd) == L"0"; }), "a click shows board 0");
        Check(p.SelectedNode() == 0, "the node clicked is selected");
        p.ClickNode(1, true);
        Require(WaitUntil([&] { return p.SelectedNode() == 1; }), "a right click selects the node");
        Sleep(200);
        Check(p.Text(Control::IDEd) == L"0", "a right click shows no other board");

        p.Click(Control::DelBtn);
        Require(WaitUntil([&] { return p.Nodes().size() == 1; }), "the selected board deleted");
        Check(p.Nodes()[0] == W("板卡号:0 KRX-A100 基址:220 单端") && p.Text(Control::IDEd) == L"0",
              "board 0 left and shown");
        p.Click(Control::FinishBtn);
    });
    Check(result == Accepted, "modifying is accepted");
    Check(block->Boards[0].DevType == KrxA100 && block->Boards[1].DevType == NoBoard &&
              block->Boards[31].DevType == NoBoard,
          "added, moved and deleted: only board 0 left");
}

void NumbersRefused(Host& host) {
    auto block = host.DefaultBlock();
    const std::int32_t result = host.Run(*block, [](Pilot& p) {
        ChooseAndGoOn(p, Control::ModifyOp);
        HWND page = p.WaitPage(texts::BoardCaptions[1]);
        p.Type(Control::IDEd, "abc");
        p.Click(Control::NextBtn);
        ExpectErrorBox(p, "'abc' is not a valid integer value");
        Sleep(200);
        Check(IsWindowVisible(page) && p.Text(Control::IDEd) == L"abc",
              "the page stays, with the text typed");

        // A number that another board holds is refused as well.
        p.Type(Control::IDEd, "0");
        p.Click(Control::AddBtn);
        Require(WaitUntil([&] { return p.Nodes().size() == 2; }), "a board added");
        p.Type(Control::IDEd, "0");
        p.Click(Control::NextBtn);
        ExpectErrorBox(p, "板卡号0已被其他板卡使用，请输入一个空闲的板卡号。");
        Check(IsWindowVisible(page), "the page stays");
        p.Type(Control::IDEd, "5");
        p.Click(Control::NextBtn);
        p.WaitPage(texts::EndCaption);
        p.Click(Control::FinishBtn);
    });
    Check(result == Accepted, "modifying is accepted");
    Check(block->Boards[5].DevType == KrxA100 && block->Boards[5].BoardNo == 5 &&
              block->Boards[1].DevType == NoBoard,
          "the added board under its free number");
}

// --- The keyboard alone --------------------------------------------------------------------------------

// The create flow with the tab, arrow, space and enter keys only.
void KeyboardOnlyCreate(Host& host) {
    using korax::wizard::AdRangeList;
    auto block = host.DefaultBlock();
    const std::int32_t result = host.Run(*block, [](Pilot& p) {
        p.WaitPage(texts::StartCaption);
        Require(WaitUntil([&] { return p.FocusWindow() == p.Item(Control::NewOp); }),
                "the start page opens with the focus on the options");
        p.Key(VK_DOWN);
        Check(p.Checked(Control::ModifyOp) && !p.Checked(Control::NewOp),
              "an arrow key chooses the next option");
        p.Key(VK_UP);
        Check(p.Checked(Control::NewOp) && p.FocusWindow() == p.Item(Control::NewOp), "and back");
        p.Key(VK_RETURN);

        p.WaitPage(texts::BoardCaptions[0]);
        Require(WaitUntil([&] { return p.FocusWindow() == p.Item(Control::DevTypeEd); }),
                "the board page opens with the focus on the model list");
        p.Key(VK_DOWN);
        Require(WaitUntil([&] { return p.Nodes() == std::vector{W("板卡号:0 KRX-A200 基址:220 单端")}; }),
                "an arrow key picks the next model");
        p.Key(VK_TAB);
        Check(p.FocusWindow() == p.Item(Control::IDEd), "tab: the board number next");
        p.Key(VK_TAB);
        p.Key(VK_DOWN);
        p.Key(VK_TAB);
        p.Key(VK_DOWN);
        Require(WaitUntil([&] { return p.Nodes() == std::vector{W("板卡号:0 KRX-A200 基址:230 差动")}; }),
                "base address and wiring picked by keys");
        p.Key(VK_TAB);
        Check(p.FocusWindow() == p.Item(Control::ParmPage), "the tabs' strip after the fields");
        p.Key(VK_RIGHT);
        Require(WaitUntil([&] { return p.Visible(AdRangeList(0)); }), "an arrow key brings the next tab");
        p.Key(VK_TAB);
        Check(p.FocusWindow() == p.Item(AdRangeList(0)), "the strip before what is on its tab");
        p.Key(VK_DOWN); // "+/-0.625V", code 7
        p.TabTo(Control::AddBtn);
        p.Key(VK_SPACE);
        Require(WaitUntil([&] { return p.Nodes().size() == 2; }), "the space key adds a board");
        Check(p.Text(Control::IDEd) == L"1", "the new board shown");
        p.TabTo(Control::NextBtn);
        p.Key(VK_RETURN);

        p.WaitPage(texts::EndCaption);
        Require(WaitUntil([&] { return p.FocusWindow() == p.Item(Control::FinishBtn); }),
                "the end page opens with the focus on finish");
        p.Key(VK_RETURN);
    });
    Check(result == Accepted, "creating by keys is accepted");
    for (int b = 0; b < 2; ++b) {
        const korax::config::BoardEntry& entry = block->Boards[b];
        Check(entry.DevType == 1 && entry.InputMode == 1 && entry.ADGain[0] == 7 && entry.ADGain[1] == 0,
              "board " + std::to_string(b) + ": KRX-A200, differential, the gain picked");
    }
    Check(block->Boards[0].BaseAddress == 0x230 && block->Boards[1].BaseAddress == 0x240,
          "the boards on ports of their own");
}

// The escape key on every page does what the close box does: nothing written, the close box's result.
void EscapeOnEveryPage(Host& host) {
    struct Case {
        const char* Name;
        std::optional<Control> Option; // none: escape on the start page itself
        std::size_t Mode;              // the board page's caption
        bool ToEndPage;
        std::int32_t Expected;
    };
    const Case cases[] = {
        {"start page", std::nullopt, 0, false, NotAccepted},
        {"board page after create", Control::NewOp, 0, false, Accepted},
        {"end page after view", Control::BrowseOp, 2, true, NotAccepted},
        {"end page after modify", Control::ModifyOp, 1, true, Accepted},
    };
    for (const Case& c : cases) {
        auto block = host.DefaultBlock();
        const auto before = Bytes(*block);
        const std::int32_t result = host.Run(*block, [&](Pilot& p) {
            const auto focused = [&] {
                Require(WaitUntil([&] { return IsChild(p.Page(), p.FocusWindow()) != FALSE; }),
                        "the page has the focus");
            };
            p.WaitPage(texts::StartCaption);
            if (c.Option) {
                p.Click(*c.Option);
                Require(WaitUntil([&] { return p.Checked(*c.Option); }), "option chosen");
                focused();
                p.Key(VK_RETURN);
                p.WaitPage(texts::BoardCaptions[c.Mode]);
                if (c.ToEndPage) {
                    focused();
                    p.Key(VK_RETURN);
                    p.WaitPage(texts::EndCaption);
                }
            }
            focused();
            p.Key(VK_ESCAPE);
        });
        Check(result == c.Expected, std::string(c.Name) + ": the close box's result");
        Check(Bytes(*block) == before, std::string(c.Name) + ": nothing written");
    }
}

// A board chosen in the tree by keys alone is the one the delete key deletes.
void DeleteAfterKeyboardSelection(Host& host) {
    auto block = host.DefaultBlock();
    PutBoard(*block, 2, KrxB100, 0x300);
    const std::int32_t result = host.Run(*block, [](Pilot& p) {
        ChooseAndGoOn(p, Control::ModifyOp);
        p.WaitPage(texts::BoardCaptions[1]);
        Require(WaitUntil([&] { return p.FocusWindow() == p.Item(Control::DevTypeEd); }),
                "focus on the model");
        p.TabTo(Control::DeviceTree);
        Require(WaitUntil([&] { return p.SelectedNode() == 0; }), "the tree highlights its first node");
        p.Key(VK_DOWN);
        Require(WaitUntil([&] { return p.SelectedNode() == 1 && p.Text(Control::IDEd) == L"2"; }),
                "an arrow key selects board 2 and its fields follow");
        Check(p.SelectedText(Control::DevTypeEd) == L"KRXB100", "board 2's model shown");
        p.Key(VK_DELETE);
        Require(WaitUntil([&] { return p.Nodes().size() == 1; }),
                "the delete key deletes the board selected");
        Check(p.Nodes()[0] == W("板卡号:0 KRX-A100 基址:220 单端"), "board 0 left");
        // Alt + the access key shown on the add button adds one again.
        Check(p.Label(Control::AddBtn) + L"(&A)" == p.Text(Control::AddBtn),
              "the add button's access key shown");
        PostMessageW(p.FocusWindow(), WM_SYSCHAR, 'a', static_cast<LPARAM>(1u << 29));
        Require(WaitUntil([&] { return p.Nodes().size() == 2; }), "alt+a adds a board");
        p.Click(Control::FinishBtn);
    });
    Check(result == Accepted, "modifying is accepted");
    Check(block->Boards[2].DevType == NoBoard && block->Boards[0].DevType == KrxA100 &&
              block->Boards[1].DevType == KrxA100,
          "board 2 deleted, board 1 added");
}

// --- Pictures of every page --------------------------------------------------------------------------------

void Shot(std::initializer_list<HWND> windows, const std::string& name) {
    // Time for the windows to be drawn.
    Sleep(500);
    Check(Capture(windows, name), name + " is not blank");
}

void Screenshots(Host& host) {
    auto block = host.DefaultBlock();
    const std::int32_t result = host.Run(*block, [](Pilot& p) {
        p.WaitPage(texts::StartCaption);
        Shot({p.Page()}, "wizard-start");
        p.Click(Control::NextBtn);

        p.WaitPage(texts::BoardCaptions[0]);
        p.Click(Control::AddBtn);
        Require(WaitUntil([&] { return p.Nodes().size() == 2; }), "a board added");
        p.Pick(Control::BaseAddress, BaseIndex300);
        p.ClickNode(1);
        Require(WaitUntil([&] { return p.SelectedNode() == 1; }), "the new board selected");
        CheckGlyphs(p, "board page");
        Shot({p.Page()}, "wizard-board");
        p.ShowTab(InputTab);
        Shot({p.Page()}, "wizard-board-input");
        p.ShowTab(OutputTab);
        Shot({p.Page()}, "wizard-board-output");
        p.ShowTab(BoardTab);

        p.Type(Control::IDEd, "x");
        p.Click(Control::NextBtn);
        HWND box = p.WaitBox();
        Shot({p.Page(), box}, "wizard-error");
        p.Dismiss(box);
        p.Type(Control::IDEd, "1");
        p.Click(Control::NextBtn);

        p.WaitPage(texts::EndCaption);
        Shot({p.Page()}, "wizard-end");
        p.Click(Control::FinishBtn);
    });
    Check(result == Accepted, "creating is accepted");
}

struct Scenario {
    const char* Group;
    const char* Name;
    void (*Run)(Host&);
};

const Scenario Scenarios[] = {
    {"flows", "finish at once", FinishAtOnce},
    {"flows", "create through the end page", CreateThroughTheEndPage},
    {"flows", "view and finish on the board page", ViewAndFinishOnTheBoardPage},
    {"flows", "close box on the board page", CloseBoxOnTheBoardPage},
    {"flows", "back and next keep the edits", BackAndNextKeepTheEdits},
    {"board", "models and wiring", ModelsAndWiring},
    {"board", "paging the gains", PagingTheGains},
    {"board", "leaving a tab keeps its choices", LeavingATabKeepsItsChoices},
    {"board", "add, renumber, select, delete", AddRenumberSelectDelete},
    {"board", "numbers refused", NumbersRefused},
    {"keys", "keyboard only create", KeyboardOnlyCreate},
    {"keys", "escape on every page", EscapeOnEveryPage},
    {"keys", "delete after a keyboard selection", DeleteAfterKeyboardSelection},
    {"screens", "screenshots", Screenshots},
};

LRESULT CALLBACK HostProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcW(window, message, wParam, lParam);
}

} // namespace

int main(int argc, char** argv) {
    const std::string group = argc > 1 ? argv[1] : "";
    HMODULE driver = LoadLibraryA("korax24.dll");
    if (driver == nullptr) {
        std::fprintf(stderr, "FAILED: korax24.dll not loaded\n");
        return 1;
    }
    const auto fullPdb = Entry<FullPdbProc>(driver, "FullPDB");
    const auto editDevice = Entry<EditDeviceProc>(driver, "DLLEdDev");
    if (fullPdb == nullptr || editDevice == nullptr) {
        std::fprintf(stderr, "FAILED: entry points missing\n");
        return 1;
    }

    WNDCLASSW hostClass{};
    hostClass.lpfnWndProc = HostProcedure;
    hostClass.hInstance = GetModuleHandleW(nullptr);
    hostClass.lpszClassName = L"KoraxWizardHost";
    RegisterClassW(&hostClass);
    HWND window = CreateWindowExW(0, L"KoraxWizardHost", L"Host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 240,
                                  120, nullptr, nullptr, hostClass.hInstance, nullptr);
    if (window == nullptr) {
        std::fprintf(stderr, "FAILED: no host window (is there a display?)\n");
        return 1;
    }

    Host host(window, fullPdb, editDevice);
    int run = 0;
    for (const Scenario& scenario : Scenarios) {
        if (!group.empty() && group != scenario.Group) continue;
        verdict.Scenario(scenario.Name);
        scenario.Run(host);
        ++run;
    }
    DestroyWindow(window);
    FreeLibrary(driver);
    Check(run > 0, "a group of scenarios chosen: flows, board, keys or screens");
    std::printf("%s\n", verdict.Failures() == 0 ? "PASSED" : "FAILED");
    return verdict.Failures() == 0 ? 0 : 1;
}
