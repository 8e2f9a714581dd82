// Boards reached through the built driver library and the port I/O library stand-in. Each test writes a
// scenario for the stand-in and names it in the stand-in's environment variable; the driver loads the
// stand-in at every IniDriver and releases it at FreeDriver, so each initialisation meets fresh boards.
// The stand-in appends every port access to a trace file, which is what the write tests compare.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "host/HostHarness.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>
#include <unistd.h>
#endif

namespace {

using namespace korax::hosttest;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

constexpr std::uint8_t ModelA100 = 0;
constexpr std::uint8_t ModelA200 = 1;
constexpr std::uint8_t ModelB100 = 2;
constexpr std::uint8_t ModelC100 = 3;

constexpr const char* ScenarioVariable = "KORAX_SIM_SCENARIO";

// The stand-in reads its variable with GetEnvironmentVariableA on Win32, which does not see the C
// runtime's copy of the environment: both sides must use the process environment itself.
#if defined(_WIN32)
void SetVariable(const char* name, const std::string& value) {
    SetEnvironmentVariableA(name, value.c_str());
}
void ClearVariable(const char* name) {
    SetEnvironmentVariableA(name, nullptr);
}
std::optional<std::string> Variable(const char* name) {
    char value[512];
    const DWORD length = GetEnvironmentVariableA(name, value, sizeof value);
    if (length == 0 || length >= sizeof value) return std::nullopt;
    return std::string(value, length);
}
unsigned long ProcessId() {
    return GetCurrentProcessId();
}
#else
void SetVariable(const char* name, const std::string& value) {
    setenv(name, value.c_str(), 1);
}
void ClearVariable(const char* name) {
    unsetenv(name);
}
std::optional<std::string> Variable(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr) return std::nullopt;
    return std::string(value);
}
unsigned long ProcessId() {
    return static_cast<unsigned long>(getpid());
}
#endif

// Whether the port I/O library is mapped into the process right now, asked without loading it.
bool PortLibraryLoaded() {
#if defined(_WIN32)
    return GetModuleHandleA("ControXIO.dll") != nullptr;
#else
    char self[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) return false;
    const fs::path beside =
        fs::path(std::string(self, static_cast<std::size_t>(n))).parent_path() / "libControXIO.so";
    void* handle = dlopen(beside.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (handle != nullptr) dlclose(handle); // the look-up took a reference of its own
    return handle != nullptr;
#endif
}

// The latest value a tag was reported with.
struct Reading {
    std::uint8_t DataType = 0;
    double Real = 0;
    std::int32_t Word = 0;
    std::optional<std::string> Text;
};

class BoardHost : public HostTest {
protected:
    void SetUp() override {
        HostTest::SetUp();
        const std::string test = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        folder_ = fs::temp_directory_path() / ("korax-boards-" + std::to_string(ProcessId()) + "-" + test);
        fs::remove_all(folder_);
        fs::create_directories(folder_);
    }
    void TearDown() override {
        ClearVariable(ScenarioVariable);
        HostTest::TearDown();
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    }

    // The scenario the stand-in reads at its next load, with every access traced into this test's folder.
    void UseScenario(const std::string& text) {
        const fs::path scenario = folder_ / "boards.scenario";
        std::ofstream(scenario) << text << "\ntrace " << TracePath().string() << "\n";
        SetVariable(ScenarioVariable, scenario.string());
    }
    fs::path TracePath() const { return folder_ / "ports.trace"; }
    std::vector<std::string> Trace() const {
        std::vector<std::string> lines;
        std::ifstream file(TracePath());
        for (std::string line; std::getline(file, line);) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            lines.push_back(line);
        }
        return lines;
    }

    bool Start(const TagSet& tags, Block& block) {
        char* message = nullptr;
        const bool result = driver->IniDriver(tags.Count(), tags.Array(), block.Data(), &message) != 0;
        const auto text = Take(message);
        EXPECT_EQ(text, std::nullopt) << *text;
        return result;
    }

    // One OnDataRead; the reports update the latest reading of each tag.
    void ReadOnce(std::size_t capacity) {
        std::vector<TagValueRec> records(capacity);
        std::int32_t count = 0;
        char* message = nullptr;
        EXPECT_EQ(driver->OnDataRead(&count, records.data(), &message), 1);
        Take(message); // only link supervision speaks here, and it is not under test
        for (std::int32_t i = 0; i < std::clamp<std::int32_t>(count, 0, static_cast<std::int32_t>(capacity));
             ++i) {
            const TagValueRec& record = records[static_cast<std::size_t>(i)];
            Reading reading;
            reading.DataType = record.DataType;
            if (record.DataType == RealType) std::memcpy(&reading.Real, record.Value, sizeof reading.Real);
            if (record.DataType == BooleanType) std::memcpy(&reading.Word, record.Value, sizeof reading.Word);
            if (record.DataType == TextType) {
                char* text = nullptr;
                std::memcpy(&text, record.Value, sizeof text);
                reading.Text = Take(text);
            }
            history_[record.TagId].push_back(reading);
        }
    }

    // Scans as a host's timer would until `done` holds; false when two seconds pass first.
    bool ScanUntil(std::size_t capacity, const std::function<bool()>& done) {
        const auto end = std::chrono::steady_clock::now() + 2s;
        while (std::chrono::steady_clock::now() < end) {
            ReadOnce(capacity);
            if (done()) return true;
            std::this_thread::sleep_for(5ms);
        }
        return false;
    }

    std::optional<Reading> Last(std::int32_t tagId) const {
        const auto found = history_.find(tagId);
        if (found == history_.end() || found->second.empty()) return std::nullopt;
        return found->second.back();
    }
    bool RealIs(std::int32_t tagId, double value) const {
        const auto last = Last(tagId);
        return last && last->DataType == RealType && last->Real == value;
    }

    bool Write(const TagValueRec& record) {
        char* message = nullptr;
        const bool written = driver->OnDataWrite(1, &record, &message) != 0;
        Take(message);
        return written;
    }

    fs::path folder_;
    std::map<std::int32_t, std::vector<Reading>> history_;
};

// Whether the lines appear one right after the other somewhere in the trace.
bool HasRun(const std::vector<std::string>& trace, const std::vector<std::string>& run) {
    return std::search(trace.begin(), trace.end(), run.begin(), run.end()) != trace.end();
}

std::string Joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += line + "\n";
    return text;
}

TEST_F(BoardHost, LiveInputsReachTheHost) {
    UseScenario("board 0 KRX-A100 0x220\n"
                "ad 0 3 0x5A7\n"
                "adhigh 0 0xF0\n"
                "board 1 KRX-C100 0x300\n"
                "di 1 0 0x24\n"
                "di 1 1 0x9C\n"
                "board 2 KRX-A200 0x260\n"
                "notready 2\n");
    Block block(*driver);
    block.WithoutBoards()
        .WithBoard(0, ModelA100, 0x220)
        .WithBoard(1, ModelC100, 0x300)
        .WithBoard(2, ModelA200, 0x260);
    block.Pdb().Boards[0].ADGain[3] = 5;
    block.Pdb().Boards[2].ADGain[0] = 6; // the A200 takes only four codes
    TagSet tags{{1, "AD0:3"}, {2, "DI1:5"}, {3, "DI1:4"}, {4, "DI1:2"}, {5, "DI1:8"}, {6, "AD2:0"}};
    tags.Typed(1, RealType, 20)
        .Typed(2, BooleanType, 20)
        .Typed(3, BooleanType, 20)
        .Typed(4, TextType, 20)
        .Typed(5, RealType, 20)
        .Typed(6, RealType, 20)
        .Initial(6, 7.0);
    ASSERT_TRUE(Start(tags, block));

    const bool arrived = ScanUntil(tags.Records.size(), [&] {
        const auto bit = Last(2);
        const auto text = Last(4);
        const std::vector<std::string> trace = Trace();
        return RealIs(1, 0x5A7) && bit && bit->Word == 1 && text && text->Text == "开" && RealIs(5, 0x9C) &&
               std::count(trace.begin(), trace.end(), "R 0x265 0x10") >= 2;
    });
    EXPECT_TRUE(arrived);
    EXPECT_TRUE(RealIs(1, 0x5A7)) << "the raw code, the bits above the high nibble ignored";
    ASSERT_TRUE(Last(3));
    EXPECT_EQ(Last(3)->Word, 0) << "bit 4 of 0x24 is clear";
    for (const Reading& r : history_[6]) EXPECT_EQ(r.Real, 7.0) << "a converter that is never ready";
    EXPECT_EQ(driver->FreeDriver(), 1);

    const std::vector<std::string> trace = Trace();
    EXPECT_TRUE(HasRun(trace, {"W 0x22B 0x01", "W 0x229 0x05", "W 0x22A 0x03", "W 0x22C 0x01", "R 0x225 0x00",
                               "R 0x225 0xF5", "R 0x224 0xA7"}))
        << Joined(trace);
    EXPECT_TRUE(HasRun(trace, {"W 0x269 0x02", "W 0x26A 0x00", "W 0x26C 0x01", "R 0x265 0x10"}))
        << "no mode byte, gain code 6 as 2, stopped by the status\n"
        << Joined(trace);
    EXPECT_FALSE(HasRun(trace, {"R 0x264 0x00"})) << "the data of a busy converter is never read";
    EXPECT_TRUE(HasRun(trace, {"R 0x300 0x24"}) && HasRun(trace, {"R 0x301 0x9C"})) << Joined(trace);
}

TEST_F(BoardHost, WritesReachTheOutputLatches) {
    UseScenario("board 0 KRX-A100 0x220\nboard 2 KRX-B100 0x240\n");
    Block block(*driver);
    block.WithoutBoards().WithBoard(0, ModelA100, 0x220).WithBoard(2, ModelB100, 0x240);
    TagSet tags{{1, "DA0:1"}, {2, "DO0:2"}, {3, "DO0:4"}, {4, "DA2:2"}};
    tags.Typed(1, RealType, 20).Typed(2, BooleanType, 20).Typed(3, BooleanType, 20).Typed(4, RealType, 20);
    ASSERT_TRUE(Start(tags, block));

    // Polling outputs touches no port, so the trace holds exactly the writes, in the order they were sent.
    const std::vector<std::pair<TagValueRec, std::vector<std::string>>> steps = {
        {RealRecord(1, 0x123), {"W 0x226 0x23", "W 0x227 0x01"}},
        {WordRecord(2, 1), {"W 0x22D 0x04", "W 0x22D 0x04"}},
        {WordRecord(3, 1), {"W 0x22D 0x14", "W 0x22D 0x14"}},     // the group's byte keeps bit 2
        {RealRecord(4, 0xABC), {"W 0x245 0xBC", "W 0x244 0x0A"}}, // the B100 puts its low byte above
    };
    std::vector<std::string> expected;
    for (const auto& [record, lines] : steps) {
        ASSERT_TRUE(Write(record)) << record.TagId;
        expected.insert(expected.end(), lines.begin(), lines.end());
        EXPECT_TRUE(ScanUntil(tags.Records.size(), [&] { return Trace().size() >= expected.size(); }))
            << record.TagId;
    }
    EXPECT_EQ(driver->FreeDriver(), 1);
    EXPECT_EQ(Trace(), expected);
}

TEST_F(BoardHost, CounterCountsFromTheTargetThatRunCountLoads) {
    UseScenario("board 1 KRX-C100 0x300\ncounter 1 2 400\n");
    Block block(*driver);
    block.WithoutBoards().WithBoard(1, ModelC100, 0x300);
    TagSet tags{{1, "COUNT1:2"}, {2, "CountTarget1:2"}, {3, "RunCount1:2"}};
    tags.Typed(1, RealType, 20).Typed(2, RealType, 20).Typed(3, RealType, 20);
    ASSERT_TRUE(Start(tags, block));

    ASSERT_TRUE(Write(RealRecord(2, 1000)));
    EXPECT_TRUE(ScanUntil(3, [&] { return RealIs(1, 600); })) << "target 1000 minus the reading 400";
    ASSERT_TRUE(Write(RealRecord(3, 1)));
    EXPECT_TRUE(ScanUntil(3, [&] { return RealIs(1, 0); })) << "the counter now holds the target";
    EXPECT_TRUE(HasRun(Trace(), {"W 0x307 0xB0", "W 0x306 0xE8", "W 0x306 0x03"})) << Joined(Trace());

    // The next initialisation loads the port library anew, and with it boards as the scenario describes
    // them; the target belongs to the driver and is still there.
    EXPECT_EQ(driver->FreeDriver(), 1);
    history_.clear();
    ASSERT_TRUE(Start(tags, block));
    EXPECT_TRUE(ScanUntil(3, [&] { return RealIs(1, 600); }));
}

TEST_F(BoardHost, FreeDriverReleasesThePortLibrary) {
    Block block(*driver);
    block.WithoutBoards().WithBoard(0, ModelA100, 0x220);
    TagSet tags{{1, "AD0:0"}};
    tags.Typed(1, RealType, 20);
    EXPECT_FALSE(PortLibraryLoaded());
    for (int round = 0; round < 2; ++round) {
        ASSERT_TRUE(Start(tags, block)) << round;
        EXPECT_TRUE(PortLibraryLoaded()) << round;
        ScanUntil(1, [&] { return Last(1).has_value(); });
        EXPECT_EQ(driver->FreeDriver(), 1);
        EXPECT_FALSE(PortLibraryLoaded()) << round;
    }
}

// Copies of this program run from folders whose port I/O library lacks "in_port" or is missing; the
// build places them there and names the case in KORAX_TEST_VARIANT.
class PortLibraryVariant : public HostTest {
protected:
    void SetUp() override {
        variant_ = Variable("KORAX_TEST_VARIANT");
        if (!variant_) GTEST_SKIP() << "runs only from a copy beside a damaged or missing port I/O library";
        HostTest::SetUp();
    }

    // IniDriver with a board that would initialise; the out message is returned in *note.
    bool Start(std::optional<std::string>& note) {
        Block block(*driver);
        TagSet tags{{1, "AD0"}};
        char* message = nullptr;
        const bool result = driver->IniDriver(tags.Count(), tags.Array(), block.Data(), &message) != 0;
        note = Take(message);
        return result;
    }

    std::optional<std::string> variant_;
};

const std::string Piece = "：端口操作驱动库";

#if !defined(_WIN32)

// Without a port I/O library beside the driver, Linux needs the system's leave to touch the ports; a
// refusal fails the initialisation with a message instead of a fault at the first access.
TEST_F(PortLibraryVariant, RefusedPortAccessFailsInitialisation) {
    if (*variant_ != "noport") GTEST_SKIP() << "a port I/O library is beside the driver here";
    std::optional<std::string> note;
    Block block(*driver);
    const TagSet none{};
    char* message = nullptr;
    // No tags: nothing is polled, so even where access is granted no port is touched.
    const bool result = driver->IniDriver(0, none.Array(), block.Data(), &message) != 0;
    note = Take(message);
    if (result) GTEST_SKIP() << "this machine grants direct port access";
    ASSERT_TRUE(note);
    EXPECT_NE(note->find(Piece + "无法取得I/O端口访问权限："), std::string::npos) << *note;
    EXPECT_EQ(driver->DetectScanTime(), 500) << "the object exists but never initialised";
}

#else

// The moment the message was made, in the system's short date and long time format.
void ExpectMomentBefore(const std::string& message) {
    const std::size_t at = message.find(Piece);
    ASSERT_NE(at, std::string::npos) << message;
    const std::string moment = message.substr(0, at);
    EXPECT_TRUE(std::regex_match(moment, std::regex(R"(\d{1,4}\D\d{1,2}\D\d{1,4} .*\d{1,2}:\d{2}:\d{2}.*)")))
        << moment;
    const std::time_t now = std::time(nullptr);
    EXPECT_NE(moment.find(std::to_string(std::localtime(&now)->tm_year + 1900)), std::string::npos) << moment;
}

TEST_F(PortLibraryVariant, MissingLibraryFailsInitialisation) {
    if (*variant_ != "absent") GTEST_SKIP() << "the port I/O library is present here";
    std::optional<std::string> note;
    EXPECT_FALSE(Start(note));
    ASSERT_TRUE(note);
    ExpectMomentBefore(*note);
    const std::string tail = Piece + "没有找到，请重新安装驱动程序";
    EXPECT_TRUE(note->ends_with(tail)) << *note;
    EXPECT_EQ(note->find(Piece), note->size() - tail.size())
        << "the moment, then the two pieces, nothing else";
    EXPECT_EQ(driver->DetectScanTime(), 500) << "the object exists but never initialised";
    EXPECT_FALSE(PortLibraryLoaded());
}

// A library that lacks one of its two entries: the message names the entry, appended to an empty text, and
// the handle is kept though a later step failed, until close.
TEST_F(PortLibraryVariant, LibraryWithoutAnEntryFailsInitialisation) {
    const std::map<std::string, std::string> messages = {
        {"noin", "端口操作驱动库内部出错，in_port函数不存在"},
        {"noout", "端口操作驱动库内部出错，out_port函数不存在"},
    };
    const auto expected = messages.find(*variant_);
    if (expected == messages.end()) GTEST_SKIP() << "the port I/O library here is not a damaged one";
    std::optional<std::string> note;
    EXPECT_FALSE(Start(note));
    ASSERT_TRUE(note);
    EXPECT_EQ(*note, expected->second);
    EXPECT_EQ(driver->DetectScanTime(), 500);
    EXPECT_TRUE(PortLibraryLoaded());
    EXPECT_EQ(driver->FreeDriver(), 1);
    EXPECT_FALSE(PortLibraryLoaded()) << "released at close";
}

#endif

} // namespace
