// korax-host run in-process against the built driver and the board simulator behind the port I/O library
// stand-in, with its output as it goes to a pipe: one line per change. Scans run in real time; what is
// asserted holds on a slow machine (values that are fixed in the scenario, writes, and the summary).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "host/HostRun.h"

namespace {

using namespace korax::tools::host;

constexpr const char* Scenario = "board 0 KRX-A100 0x220\n"
                                 "ad 0 2 1234\n"
                                 "wave 0 0 ramp 0 4095 20\n"
                                 "board 1 KRX-C100 0x300\n"
                                 "di 1 1 0xA5\n";

constexpr const char* Tags = "id, name, address, data type, interval, initial\n"
                             "0, Fixed, AD0:2, real, 50\n"
                             "1, Ramp, AD0:0, real, 20\n"
                             "2, Bits, DI1:8, real, 50\n"
                             "3, Bit13, DI1:13, bool, 50\n"
                             "4, Lamp, DO0:3, bool, 20, false\n"
                             "5, Setpoint, DA0:1, real, 20, 0\n"
                             "6, Link, COMMLINK, string, 50\n"
                             "7, Nowhere, XYZ1, real, 50\n";

struct HostResult {
    int Code = -1;
    std::string Out;
};

class HostRun : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        stem = std::string("hostrun_") + info->name();
        Write(".scenario", Scenario);
        Write(".csv", Tags);
        options.ScenarioPath = File(".scenario");
        options.TagPath = File(".csv");
        options.DurationSeconds = 1.0;
    }
    void TearDown() override {
        for (const char* suffix : {".scenario", ".csv", ".pdb", ".late"}) {
            std::error_code ignored;
            std::filesystem::remove(stem + suffix, ignored);
        }
    }
    std::string File(const char* suffix) const { return stem + suffix; }
    void Write(const char* suffix, const std::string& text) {
        std::ofstream(File(suffix), std::ios::binary) << text;
    }

    HostResult Host(std::vector<std::string> typed = {}) {
        HostResult run;
        HostConsole console;
        console.Write = [&run](std::string_view text) { run.Out += text; };
        std::size_t next = 0;
        console.ReadLine = [&]() -> std::optional<std::string> {
            if (next == typed.size()) return std::nullopt;
            return typed[next++];
        };
        console.StopRequested = [] { return false; };
        options.TakesInput = !typed.empty();
        run.Code = korax::tools::ProcessExitCode(RunHost(options, console));
        return run;
    }

    std::string stem;
    HostOptions options;
};

bool Has(const std::string& out, const std::string& text) {
    return out.find(text) != std::string::npos;
}

TEST_F(HostRun, ScriptedRunShowsValuesWritesAndReleasesEveryString) {
    // No block file: the host takes the driver's factory block, which holds the KRX-A100 alone.
    options.Writes = {{"Lamp", "1", 0}, {"Setpoint", "2048", 200}, {"Bits", "7", 0}};
    const HostResult run = Host({"Lamp = 0", "Nobody=1", "Setpoint=nine", "just words"});
    ASSERT_EQ(run.Code, 0) << run.Out;
    const std::string& out = run.Out;

    EXPECT_TRUE(Has(out, "IniDriver: true")) << out;
    EXPECT_TRUE(Has(out, "DetectScanTime: 10 ms")) << out;
    EXPECT_TRUE(Has(out, " Fixed (AD0:2) = 1234\n")) << out;
    EXPECT_TRUE(Has(out, " Link (COMMLINK) = \"" +
                             std::string(reinterpret_cast<const char*>(u8"通信线路正常")) + "\"\n"))
        << "the driver's GBK text shows as UTF-8\n"
        << out;
    // Writes from the command line and typed ones go through OnDataWrite and show when reported back.
    EXPECT_TRUE(Has(out, " write Lamp (DO0:3) = true: accepted\n")) << out;
    EXPECT_TRUE(Has(out, " write Lamp (DO0:3) = false: accepted\n")) << out;
    EXPECT_TRUE(Has(out, " write Setpoint (DA0:1) = 2048: accepted\n")) << out;
    EXPECT_TRUE(Has(out, " Setpoint (DA0:1) = 2048\n")) << out;
    EXPECT_TRUE(Has(out, " write Bits (DI1:8) = 7: refused\n")) << out;
    EXPECT_TRUE(Has(out, "input \"Nobody=1\": no tag named Nobody")) << out;
    EXPECT_TRUE(Has(out, "write Setpoint: \"nine\" is not a number")) << out;
    EXPECT_TRUE(Has(out, "input \"just words\": expected NAME=VALUE")) << out;

    // Station 1 is not in the factory block: its tags are never reported, and the summary says why.
    EXPECT_TRUE(Has(out, "never reported, address refused: Bits (DI1:8), Bit13 (DI1:13), Nowhere (XYZ1) ("))
        << out;
    EXPECT_TRUE(Has(out, "0 refused, 0 blocks still live")) << "every string went back to the manager\n"
                                                            << out;
    EXPECT_TRUE(std::regex_search(
        out,
        std::regex(
            R"(summary: \d+ OnDataRead calls in 1\.\d s, \d+ reports, 4 writes \(3 accepted, 1 refused\))")))
        << out;

    // Not a terminal: every line of a change is "time name (address) = value", none redrawn.
    EXPECT_FALSE(Has(out, "\x1b[")) << out;
    const std::regex change(R"(^\d\d:\d\d:\d\d\.\d\d\d \S+ \(\S+\) = .+$)");
    int changes = 0;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
        if (line.find(") = ") != std::string::npos && line.find(" write ") == std::string::npos) {
            EXPECT_TRUE(std::regex_match(line, change)) << line;
            ++changes;
        }
    }
    EXPECT_GE(changes, 6);
    // The ramp moves at every conversion: more than one value of it shows.
    std::set<std::string> ramp;
    const std::regex rampLine(R"(Ramp \(AD0:0\) = (\d+))");
    for (auto it = std::sregex_iterator(out.begin(), out.end(), rampLine); it != std::sregex_iterator();
         ++it) {
        ramp.insert((*it)[1].str());
    }
    EXPECT_GE(ramp.size(), 2u) << out;
}

TEST_F(HostRun, BothBoardsOfABlockAreScanned) {
    // The block file the host reads: factory defaults plus the KRX-C100 as station 1 at 0x300, written
    // the way korax-pdb and the wizard lay it out.
    std::vector<unsigned char> block(19216, 0);
    const auto put32 = [&block](std::size_t at, std::uint32_t value) {
        for (int i = 0; i < 4; ++i)
            block[at + static_cast<std::size_t>(i)] = static_cast<unsigned char>(value >> (8 * i));
    };
    block[6] = 0xF0;
    block[7] = 0x3F;
    for (std::size_t n = 0; n < 32; ++n) {
        const std::size_t entry = 16 + 600 * n;
        put32(entry, static_cast<std::uint32_t>(n));
        block[entry + 4] = n == 0 ? 0 : n == 1 ? 3 : 7;
        put32(entry + 264, n == 1 ? 0x300 : 0x220);
    }
    const std::string a100 = "KRX-A100";
    const std::string c100 = "KRX-C100";
    block[16 + 5] = static_cast<unsigned char>(a100.size());
    std::copy(a100.begin(), a100.end(), block.begin() + 16 + 6);
    block[616 + 5] = static_cast<unsigned char>(c100.size());
    std::copy(c100.begin(), c100.end(), block.begin() + 616 + 6);
    std::ofstream(File(".pdb"), std::ios::binary).write(reinterpret_cast<const char*>(block.data()), 19216);
    options.BlockPath = File(".pdb");
    options.DurationSeconds = 0.6;

    const HostResult run = Host();
    ASSERT_EQ(run.Code, 0) << run.Out;
    EXPECT_TRUE(Has(run.Out, " Bits (DI1:8) = 165\n")) << run.Out;    // 0xA5, the whole byte
    EXPECT_TRUE(Has(run.Out, " Bit13 (DI1:13) = true\n")) << run.Out; // bit 5 of it
    EXPECT_TRUE(Has(run.Out, "never reported, address refused: Nowhere (XYZ1) (")) << run.Out;
}

TEST_F(HostRun, BadTagFileLineStopsBeforeTheDriverIsCalled) {
    Write(".csv", "0, Fixed, AD0:2, real, 50\n"
                  "\n"
                  "1, Broken, AD0:1, real\n");
    const HostResult run = Host();
    EXPECT_EQ(run.Code, 1);
    EXPECT_TRUE(Has(run.Out, "korax-host: error: " + File(".csv") + " line 3: expected 5 or 6 fields"))
        << run.Out;
    EXPECT_FALSE(Has(run.Out, "IniDriver")) << run.Out;
}

TEST_F(HostRun, BadOptionsAreRefusedBeforeTheScan) {
    options.Writes = {{"Lamp", "maybe", 0}};
    HostResult run = Host();
    EXPECT_EQ(run.Code, 1);
    EXPECT_TRUE(Has(run.Out, "--write Lamp: \"maybe\" is not a Boolean")) << run.Out;

    options.Writes = {{"Nobody", "1", 0}};
    run = Host();
    EXPECT_EQ(run.Code, 1);
    EXPECT_TRUE(Has(run.Out, "--write Nobody: no tag of that name")) << run.Out;

    options.Writes.clear();
    options.Reads = {{{"Fixed", "Nobody"}, 0}};
    run = Host();
    EXPECT_EQ(run.Code, 1);
    EXPECT_TRUE(Has(run.Out, "--read Nobody: no tag of that name")) << run.Out;

    options.Reads.clear();
    Write(".late", "# more\n9, Spare, AD0:1, real, 50\n0, Again, AD0:3, real, 50\n");
    options.Additions = {{File(".late"), 0}};
    run = Host();
    EXPECT_EQ(run.Code, 1);
    EXPECT_TRUE(Has(run.Out, ".late line 3: id 0 is already used by tag Fixed of an earlier tag list"))
        << run.Out;

    options.Additions.clear();
    Write(".pdb", "too short");
    options.BlockPath = File(".pdb");
    run = Host();
    EXPECT_EQ(run.Code, 1);
    EXPECT_TRUE(Has(run.Out, "9 bytes; the driver's parameter block has 19216 (GetPDBLen)")) << run.Out;

    options.BlockPath.clear();
    options.ScenarioPath = "no such scenario";
    run = Host();
    EXPECT_EQ(run.Code, 1);
    EXPECT_TRUE(Has(run.Out, "scenario no such scenario: no such file")) << run.Out;
}

TEST_F(HostRun, EveryOtherTagExportIsCalledAtItsTime) {
    Write(".csv", "0, Fixed, AD0:2, real, 50\n"
                  "1, Lamp, DO0:3, bool, 20, false\n"
                  "2, Setpoint, DA0:1, real, 20, 0\n"
                  "3, Log, ENLOG, bool, 20\n"
                  "4, Slow, AD0:1, real, 60000\n");
    Write(".pdb", "10, Extra, AD0:3, real, 20\n"
                  "11, Wrong, XYZ1, real, 20\n");
    Write(".late", "12, Late, AD0:4, real, 20\n");
    options.Additions = {{File(".pdb"), 300}, {File(".late"), 60000}};
    options.WriteSets = {{{{"Lamp", "1"}, {"Setpoint", "2048"}}, 100},
                         {{{"Fixed", "1"}, {"Lamp", "0"}}, 200}};
    options.Reads = {{{"Fixed", "Extra"}, 400}};
    options.LogSwitches = {{false, 0}};
    const HostResult run = Host();
    ASSERT_EQ(run.Code, 0) << run.Out;
    for (const char* line : {
             " WriteTags Lamp (DO0:3) = true, Setpoint (DA0:1) = 2048: 0 (all written)\n",
             " Setpoint (DA0:1) = 2048\n",
             " WriteTags Fixed (AD0:2) = 1, Lamp (DO0:3) = false: 1 (not all written)\n", // AD is read-only
             ".pdb: 1 (not all added): Extra (AD0:3) added, Wrong (XYZ1) refused\n",
             " ReadTags Fixed, Extra: 0 (",
             // Nothing is pending, so the driver leaves logging on, as an ENLOG tag turns it.
             " WriteLog off: no message was pending, so the driver left the logging state as it was\n",
             " Log (ENLOG) = true\n",
             "also called: WriteTags 2 (1 not all written), ReadTags 1, AddTags 1, WriteLog 1\n",
             "never reported, address refused: Wrong (XYZ1) (",
             "never reported, not due yet: Slow (AD0:1, every 60000 ms) (",
             "never registered: Late (AD0:4) (",
         }) {
        EXPECT_TRUE(Has(run.Out, line)) << line << "\n" << run.Out;
    }
    EXPECT_FALSE(Has(run.Out, " Log (ENLOG) = false")) << run.Out;
}

TEST(HostOptionText, EachScheduledCallIsReadOrRefusedWithTheReason) {
    struct Case {
        const char* Text;
        const char* Parsed; // what was read, or the reason
    };
    const auto writeSet = [](std::string_view text) -> std::string {
        const auto set = ParseWriteSetOption(text);
        if (!set) return set.Error().Text;
        std::string shown;
        for (const NamedValue& value : set->Values) shown += "[" + value.Name + "=" + value.Value + "]";
        return shown + " at " + std::to_string(set->AtMs);
    };
    for (const Case& c : std::initializer_list<Case>{
             {"A=1, B = on@2.5", "[A=1][B= on] at 2500"},
             {"A=x@y@0", "[A=x@y] at 0"},
             {"A=1,,B=2", "\"\" is not NAME=VALUE[,NAME=VALUE...][@SECONDS]"},
             {"=1", "\"=1\" is not NAME=VALUE[,NAME=VALUE...][@SECONDS]"},
             {"A=1@-1", "\"-1\" after '@' is not a number of seconds"},
             {"A=1@", "\"\" after '@' is not a number of seconds"},
         }) {
        EXPECT_EQ(writeSet(c.Text), c.Parsed) << c.Text;
    }
    const auto read = ParseReadOption("Fixed, Extra@0.25");
    ASSERT_TRUE(read);
    EXPECT_EQ(read->Names, (std::vector<std::string>{"Fixed", "Extra"}));
    EXPECT_EQ(read->AtMs, 250u);
    EXPECT_EQ(ParseReadOption("Fixed,").Error().Text, "\"Fixed,\" is not NAME[,NAME...][@SECONDS]");
    const auto addition = ParseAdditionOption("more tags.csv@1");
    ASSERT_TRUE(addition);
    EXPECT_EQ(addition->Path, "more tags.csv");
    EXPECT_EQ(addition->AtMs, 1000u);
    EXPECT_FALSE(ParseAdditionOption("@1"));
    EXPECT_TRUE(ParseLogOption("on")->Enable);
    EXPECT_FALSE(ParseLogOption("off@3")->Enable);
    EXPECT_EQ(ParseLogOption("yes").Error().Text, "\"yes\" is not on|off[@SECONDS]");
}

TEST_F(HostRun, TagEditorListsAreFetchedAsAnEditorDoes) {
    options.TagPath.clear();
    options.ListTagTypes = true;
    const HostResult run = Host();
    EXPECT_EQ(run.Code, 0) << run.Out;
    // The driver's texts are GBK; the host shows them as UTF-8.
    for (const char8_t* line : {u8"GetTags: 14 tag templates\n", u8"GetTagAddrList: 14 entries\n",
                                u8"  AD           模拟量输入            real  input    0..4095\n",
                                u8"  ENLOG        日志文件输出控制      bool  control  0..1      yes\n",
                                u8"  RunCount     启动或停止定时器      bool  output   0..0\n"}) {
        const std::string text = reinterpret_cast<const char*>(line);
        EXPECT_TRUE(Has(run.Out, text)) << text << "\n" << run.Out;
    }
}

TEST_F(HostRun, BlockWithoutBoardsIsRefusedByTheDriver) {
    std::vector<unsigned char> block(19216, 0);
    for (std::size_t n = 0; n < 32; ++n) block[16 + 600 * n + 4] = 7; // every slot unused
    std::ofstream(File(".pdb"), std::ios::binary).write(reinterpret_cast<const char*>(block.data()), 19216);
    options.BlockPath = File(".pdb");
    const HostResult run = Host();
    EXPECT_EQ(run.Code, 3);
    EXPECT_TRUE(Has(run.Out, "IniDriver: false")) << run.Out;
    EXPECT_TRUE(Has(run.Out, "the driver refused to initialise: no slot of the block holds a board"))
        << run.Out;
    EXPECT_TRUE(Has(run.Out, "summary: 0 OnDataRead calls")) << run.Out;
}

TEST_F(HostRun, AddressChecksShowTheNormalisedAddress) {
    options.TagPath.clear();
    options.CheckAddresses = {"AD3", "xyz"};
    const HostResult run = Host();
    EXPECT_EQ(run.Code, 0) << run.Out;
    EXPECT_TRUE(Has(run.Out, "TagEdAddr AD3: accepted, normalised to AD0:0.3.0\n")) << run.Out;
    EXPECT_TRUE(Has(run.Out, "TagEdAddr xyz: refused, normalised to EVENT_NO")) << run.Out;
}

#if !defined(_WIN32)
// Natively the device test's message goes to standard error instead of a message box that would wait.
TEST_F(HostRun, DeviceTestReportsItsResult) {
    options.TagPath.clear();
    options.Test = true;
    const HostResult run = Host();
    EXPECT_EQ(run.Code, 0) << run.Out;
    EXPECT_TRUE(Has(run.Out, "DLLTestDev: false\n")) << run.Out;
}
#endif

} // namespace
