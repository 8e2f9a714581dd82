// The port trace: what one request of each channel kind of each model leaves in it, the ring, a trace
// that cannot be written, many threads at once, and the settings file.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <latch>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "boards/DLLRealize.h"
#include "boards/PortTrace.h"
#include "config/DevicePDB.h"
#include "framework/Value.h"
#include "support/FakeClock.h"
#include "support/RecordingBus.h"
#include "support/TagDefinitions.h"

namespace {

using korax::boards::TraceFile;
using korax::boards::TraceSettings;
using korax::framework::Value;
namespace fs = std::filesystem;

std::string Folder() {
    const fs::path folder =
        fs::temp_directory_path() /
        ("korax-trace-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
         ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(folder);
    return folder.string();
}

std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(text.substr(start, end - start));
    EXPECT_EQ(start, text.size()) << "a line without its end";
    return lines;
}

// "<us> T<thread> " taken off a record line.
std::string Body(const std::string& line) {
    static const std::regex record(R"(^\d+ T\d+ ([WRDQVM] .*)$)");
    std::smatch match;
    return std::regex_match(line, match, record) ? match[1].str() : "not a record: " + line;
}

struct Access {
    const char* raw;     // the record's fields
    const char* meaning; // the decoded text after "board 0 <model> <port> <arrow> <byte>: "; nil: none
};

struct Case {
    std::uint8_t model;
    const char* name;
    const char* address;
    std::map<std::uint16_t, std::vector<std::uint8_t>> reads;
    double written; // < 0: a read request
    std::vector<Access> lines;
};

// Board 0 at 0x300; the tag is T1. Expected ports, bytes and meanings are written out by hand.
const std::vector<Case>& Cases() {
    static const std::vector<Case> cases = {
        {0,
         "KRX-A100",
         "AD0:15",
         {{0x305, {0x00, 0x09}}, {0x304, {0xAB}}},
         -1,
         {{"Q board 0 AD ch 15: T1", nullptr},
          {"W 0x030B 0x01", "AD mode = 1"},
          {"D 1", nullptr},
          {"W 0x0309 0x00", "AD gain code = 0"},
          {"D 1", nullptr},
          {"W 0x030A 0x0F", "AD channel select = 15"},
          {"D 5", nullptr},
          {"W 0x030C 0x01", "AD start conversion"},
          {"D 10", nullptr},
          {"R 0x0305 0x00", "AD status, ready, high nibble = 0"},
          {"R 0x0305 0x09", "AD status, ready, high nibble = 9"},
          {"R 0x0304 0xAB", "AD low byte"},
          {"V T1=2475", nullptr}}},
        {0,
         "KRX-A100",
         "DI0:15",
         {{0x307, {0x81}}},
         -1,
         {{"Q board 0 DI ch 8-15: T1", nullptr}, {"R 0x0307 0x81", "DI byte 1"}, {"V T1=129", nullptr}}},
        {0,
         "KRX-A100",
         "DO0:0",
         {},
         0x5A,
         {{"Q board 0 DO ch 0-7 write 90: T1", nullptr},
          {"W 0x030D 0x5A", "DO byte 0"},
          {"W 0x030D 0x5A", "DO byte 0"}}},
        {0,
         "KRX-A100",
         "DA0:1",
         {},
         0x9C5,
         {{"Q board 0 DA ch 1 write 2501: T1", nullptr},
          {"W 0x0306 0xC5", "DA channel 1 low byte"},
          {"W 0x0307 0x09", "DA channel 1 high byte"}}},
        {0,
         "KRX-A100",
         "COUNT0:0",
         {{0x300, {0x02, 0x01}}},
         -1,
         {{"Q board 0 COUNT ch 0: T1", nullptr},
          {"R 0x0300 0x02", "counter 0 data"},
          {"D 1", nullptr},
          {"R 0x0300 0x01", "counter 0 data"},
          {"V T1=4402", nullptr}}},
        {0,
         "KRX-A100",
         "RunCount0:0",
         {},
         1,
         {{"Q board 0 RunCount ch 0 write 1: T1", nullptr},
          {"W 0x0303 0x30", "counter 0 control: low then high byte, mode 0, binary"},
          {"D 1", nullptr},
          {"W 0x0300 0x34", "counter 0 data"},
          {"D 1", nullptr},
          {"W 0x0300 0x12", "counter 0 data"}}},
        {1,
         "KRX-A200",
         "AD0:31",
         {{0x305, {0x10}}},
         -1,
         {{"Q board 0 AD ch 31: T1", nullptr},
          {"W 0x0309 0x00", "AD gain code = 0"},
          {"D 1", nullptr},
          {"W 0x030A 0x1F", "AD channel select = 31"},
          {"D 5", nullptr},
          {"W 0x030C 0x01", "AD start conversion"},
          {"D 10", nullptr},
          {"R 0x0305 0x10", "AD status, not ready"}}},
        {2,
         "KRX-B100",
         "DI0:8",
         {{0x30F, {0x00}}},
         -1,
         {{"Q board 0 DI ch 8-15: T1", nullptr}, {"R 0x030F 0x00", "DI byte 1"}, {"V T1=0", nullptr}}},
        {2,
         "KRX-B100",
         "DO0:15",
         {},
         3,
         {{"Q board 0 DO ch 8-15 write 3: T1", nullptr},
          {"W 0x030D 0x03", "DO byte 1"},
          {"W 0x030D 0x03", "DO byte 1"}}},
        {2,
         "KRX-B100",
         "DA0:5",
         {},
         0x123,
         {{"Q board 0 DA ch 5 write 291: T1", nullptr},
          {"W 0x030B 0x23", "DA channel 5 low byte"},
          {"W 0x030A 0x01", "DA channel 5 high byte"}}},
        {3,
         "KRX-C100",
         "DI0:31",
         {{0x303, {0x7F}}},
         -1,
         {{"Q board 0 DI ch 24-31: T1", nullptr}, {"R 0x0303 0x7F", "DI byte 3"}, {"V T1=127", nullptr}}},
        {3,
         "KRX-C100",
         "DO0:16",
         {},
         1,
         {{"Q board 0 DO ch 16-23 write 1: T1", nullptr},
          {"W 0x0302 0x01", "DO byte 2"},
          {"W 0x0302 0x01", "DO byte 2"}}},
        {3,
         "KRX-C100",
         "COUNT0:2",
         {{0x306, {0x00, 0x00}}},
         -1,
         {{"Q board 0 COUNT ch 2: T1", nullptr},
          {"R 0x0306 0x00", "counter 2 data"},
          {"D 1", nullptr},
          {"R 0x0306 0x00", "counter 2 data"},
          {"V T1=4660", nullptr}}},
        {3,
         "KRX-C100",
         "RunCount0:2",
         {},
         1,
         {{"Q board 0 RunCount ch 2 write 1: T1", nullptr},
          {"W 0x0307 0xB0", "counter 2 control: low then high byte, mode 0, binary"},
          {"D 1", nullptr},
          {"W 0x0306 0x34", "counter 2 data"},
          {"D 1", nullptr},
          {"W 0x0306 0x12", "counter 2 data"}}},
        {4,
         "KRX-C200",
         "DI0:7",
         {{0x301, {0x01}}},
         -1,
         {{"Q board 0 DI ch 0-7: T1", nullptr}, {"R 0x0301 0x01", "DI byte 0"}, {"V T1=1", nullptr}}},
        {4,
         "KRX-C200",
         "DO0:7",
         {},
         0x80,
         {{"Q board 0 DO ch 0-7 write 128: T1", nullptr},
          {"W 0x0300 0x80", "DO byte 0"},
          {"W 0x0300 0x80", "DO byte 0"}}},
        {5,
         "KRX-C210",
         "DI0:15",
         {{0x303, {0x02}}},
         -1,
         {{"Q board 0 DI ch 8-15: T1", nullptr}, {"R 0x0303 0x02", "DI byte 1"}, {"V T1=2", nullptr}}},
        {5,
         "KRX-C210",
         "DO0:8",
         {},
         2,
         {{"Q board 0 DO ch 8-15 write 2: T1", nullptr},
          {"W 0x0301 0x02", "DO byte 1"},
          {"W 0x0301 0x02", "DO byte 1"}}},
        {6,
         "KRX-C300",
         "DI0:31",
         {{0x303, {0x04}}},
         -1,
         {{"Q board 0 DI ch 24-31: T1", nullptr}, {"R 0x0303 0x04", "DI byte 3"}, {"V T1=4", nullptr}}},
        {6,
         "KRX-C300",
         "DO0:31",
         {},
         4,
         {{"Q board 0 DO ch 24-31 write 4: T1", nullptr},
          {"W 0x0303 0x04", "DO byte 3"},
          {"W 0x0303 0x04", "DO byte 3"}}},
    };
    return cases;
}

// One board 0 at 0x300 of the model, the other slots empty.
korax::config::DevicePDB BlockOf(std::uint8_t model) {
    korax::config::DevicePDB block{};
    korax::config::FillDefaultPDB(block);
    for (auto& entry : block.Boards) entry.DevType = korax::config::NoBoard;
    block.Boards[0].DevType = model;
    block.Boards[0].BaseAddress = 0x300;
    return block;
}

TEST(PortTrace, OneRequestOfEachChannelKindOfEachModel) {
    const std::string folder = Folder();
    for (const Case& c : Cases()) {
        SCOPED_TRACE(c.address);
        SCOPED_TRACE(c.name);
        for (std::size_t counter = 0; counter < 3; ++counter) korax::boards::CountTarget(0, counter) = 0x1234;
        const std::string file = folder + "/trace";
        korax::test::FakeClock clock;
        korax::test::RecordingBus bus;
        for (const auto& [port, bytes] : c.reads) bus.reads[port].assign(bytes.begin(), bytes.end());
        {
            TraceFile trace(TraceSettings{file}, clock, TraceFile::Writing::Inline);
            korax::boards::TDLLObject object(clock, true, &bus);
            object.TraceTo(trace);
            korax::test::Definitions tags;
            tags.Add(1, c.address, 100);
            const auto block = BlockOf(c.model);
            ASSERT_TRUE(object.Initialise(&block, tags.List()));
            if (c.written >= 0) {
                ASSERT_TRUE(object.WriteTag(1, Value::Real(c.written)));
                object.ScanStep();
            }
        }
        const std::vector<std::string> lines = Lines(Read(file));
        ASSERT_GE(lines.size(), 3u);
        EXPECT_EQ(lines[0], "# korax24 trace 1");
        std::size_t last = lines.size();
        while (last > 0 && !Body(lines[last - 1]).starts_with("Q ")) --last;
        ASSERT_GT(last, 0u);
        std::vector<std::string> got, expected;
        for (std::size_t i = last - 1; i < lines.size(); ++i) got.push_back(Body(lines[i]));
        for (const Access& a : c.lines) {
            std::string line = a.raw;
            if (a.meaning != nullptr) {
                const std::string raw = a.raw;
                line += "  ; board 0 " + std::string(c.name) + " 0x" + raw.substr(5, 3) +
                        (raw[0] == 'W' ? " <- " : " -> ") + raw.substr(9) + ": " + a.meaning;
            }
            expected.push_back(line);
        }
        EXPECT_EQ(got, expected);
    }
    for (std::size_t counter = 0; counter < 3; ++counter) korax::boards::CountTarget(0, counter) = 0;
}

TEST(PortTrace, MessagesAndTheTimeSinceTheStart) {
    const std::string file = Folder() + "/trace";
    korax::test::FakeClock clock;
    korax::test::RecordingBus bus;
    {
        TraceFile trace(TraceSettings{file}, clock, TraceFile::Writing::Inline);
        korax::boards::TDLLObject object(clock, true, &bus);
        object.TraceTo(trace);
        clock.Advance(7);
        object.SetsErrEvent("报警");
    }
    const std::vector<std::string> lines = Lines(Read(file));
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_TRUE(std::regex_match(lines[3], std::regex(R"(7000 T\d+ M 报警)"))) << lines[3];
}

// Records of one byte more than a line needs: "<us> T<thread> M line NNNNN" lines of a known size.
void SubmitLines(TraceFile& trace, int first, int count) {
    korax::boards::TraceBatch batch;
    for (int i = first; i < first + count; ++i) {
        const std::string text = "line " + std::to_string(100000 + i);
        batch.Records.push_back({0, static_cast<std::uint32_t>(batch.Texts.size()),
                                 static_cast<std::uint16_t>(text.size()), 0,
                                 korax::boards::TraceKind::Message});
        batch.Texts += text;
        batch.Thread = 7;
    }
    trace.Submit(batch);
}

TEST(PortTrace, RingOfTwoSegmentsWithinTheSize) {
    const std::string file = Folder() + "/ring.txt";
    korax::test::FakeClock clock;
    clock.tick = 0;
    {
        TraceFile trace(TraceSettings{.File = file, .Size = 65536}, clock, TraceFile::Writing::Inline);
        for (int i = 0; i < 4000; i += 100) SubmitLines(trace, i, 100); // 22 bytes a line: 88,000 bytes
    }
    const std::string current = Read(file), previous = Read(file + ".1");
    EXPECT_LE(current.size(), 32768u);
    EXPECT_LE(previous.size(), 32768u);
    EXPECT_GT(previous.size(), 32768u - 24) << "the segment filled up to its last whole line";
    const auto older = Lines(previous), newer = Lines(current);
    EXPECT_EQ(older[0], "# korax24 trace 1");
    EXPECT_EQ(newer[0], "# korax24 trace 1");
    EXPECT_EQ(newer[3], "# wrapped");
    // The two segments read in order are the latest lines without a gap, ending with the last one.
    std::vector<int> numbers;
    for (const auto* lines : {&older, &newer})
        for (const std::string& line : *lines)
            if (!line.starts_with("#")) numbers.push_back(std::stoi(line.substr(line.size() - 6)) - 100000);
    ASSERT_FALSE(numbers.empty());
    EXPECT_EQ(numbers.back(), 3999);
    for (std::size_t i = 1; i < numbers.size(); ++i) ASSERT_EQ(numbers[i], numbers[i - 1] + 1);
}

TEST(PortTrace, UnwritableFileGivesOneMessageAndTheDriverGoesOn) {
    const std::string file = Folder() + "/missing/folder/trace";
    korax::test::FakeClock clock;
    TraceFile trace(TraceSettings{file}, clock);
    korax::test::RecordingBus bus;
    korax::boards::TDLLObject first(clock, true, &bus), second(clock, true, &bus);
    first.TraceTo(trace);
    second.TraceTo(trace);
    korax::test::Definitions tags;
    tags.Add(1, "DI0:0", 0);
    const auto block = BlockOf(3);
    ASSERT_TRUE(first.Initialise(&block, tags.List()));
    EXPECT_EQ(first.TakeErrEvent(), "2023-03-15 12:00:00：端口跟踪文件" + file + "无法写入，已停止跟踪");
    ASSERT_TRUE(second.Initialise(&block, tags.List()));
    for (int step = 0; step < 5; ++step) {
        clock.Advance(10);
        first.ScanStep();
        second.ScanStep();
        EXPECT_EQ(first.TakeErrEvent(), "");
        EXPECT_EQ(second.TakeErrEvent(), "");
    }
    EXPECT_EQ(bus.log.size(), 12u) << "both objects went on reading their input";
    EXPECT_FALSE(fs::exists(file));
}

TEST(PortTrace, SixteenThreadsAtOnce) {
    const std::string file = Folder() + "/threads";
    constexpr int Threads = 16, Steps = 100; // fewer records than the writer may fall behind by
    korax::test::FakeClock startClock;
    {
        TraceFile trace(TraceSettings{file}, startClock);
        std::vector<std::thread> threads;
        std::latch together(Threads); // all alive at once, so no two share a thread id
        for (int t = 0; t < Threads; ++t) {
            threads.emplace_back([&trace, &together] {
                korax::test::FakeClock clock;
                korax::test::RecordingBus bus;
                korax::boards::TDLLObject object(clock, true, &bus);
                object.TraceTo(trace);
                korax::test::Definitions tags;
                tags.Add(1, "AD0:1", 0).Add(2, "DI0:3", 0);
                const auto block = BlockOf(0);
                const bool started = object.Initialise(&block, tags.List());
                together.arrive_and_wait();
                for (int step = 0; started && step < Steps; ++step) {
                    clock.Advance(10);
                    object.ScanStep();
                }
            });
        }
        for (std::thread& thread : threads) thread.join();
        trace.Drain();
    }
    const std::vector<std::string> lines = Lines(Read(file));
    std::map<std::string, std::uint64_t> lastTime;
    std::size_t requests = 0;
    bool lost = false;
    static const std::regex record(
        R"(^(\d+) (T\d+) ([WR] 0x[0-9A-F]{4} 0x[0-9A-F]{2}  ; .+|D \d+|Q .+|V .+|M .+)$)");
    for (const std::string& line : lines) {
        if (line.starts_with("#")) {
            lost = lost || line.starts_with("# lost ");
            continue;
        }
        std::smatch match;
        ASSERT_TRUE(std::regex_match(line, match, record)) << line;
        const std::uint64_t us = std::stoull(match[1].str());
        EXPECT_GE(us, lastTime[match[2].str()]) << "one thread's lines keep their order";
        lastTime[match[2].str()] = us;
        requests += match[3].str().starts_with("Q ") ? 1 : 0;
    }
    EXPECT_EQ(lastTime.size(), static_cast<std::size_t>(Threads));
    EXPECT_FALSE(lost);
    EXPECT_EQ(requests, static_cast<std::size_t>(Threads) * (Steps + 1));
}

TEST(TraceSettingsFile, Parsing) {
    const std::string folder = "/opt/host";
    const std::string file = folder + (fs::path::preferred_separator == '\\' ? "\\" : "/");
    const struct {
        const char* text;
        bool on;
        std::string file;
        bool ports, requests, messages;
        std::uint64_t size;
    } cases[] = {
        {"", false, "", false, false, false, 0},
        {"[other]\nfile=x\n", false, "", false, false, false, 0},
        {"[trace]", true, file + "korax24.trace", true, true, true, 4194304},
        {"\xEF\xBB\xBF; note\r\n[ Trace ]\r\n# off? no\r\nFILE = t.log \r\nsize=65536\r\n", true,
         file + "t.log", true, true, true, 65536},
        {"[trace]\nsize=65535\n", true, file + "korax24.trace", true, true, true, 65536},
        {"[trace]\nsize=1073741824\n", true, file + "korax24.trace", true, true, true, 1073741824},
        {"[trace]\nsize=99999999999\n", true, file + "korax24.trace", true, true, true, 1073741824},
        {"[trace]\nsize=-5\nsize=4k\n", true, file + "korax24.trace", true, true, true, 4194304},
        {"[trace]\nrecord=ports\n", true, file + "korax24.trace", true, false, false, 4194304},
        {"[trace]\nrecord= Requests , messages,\n", true, file + "korax24.trace", false, true, true, 4194304},
        {"[trace]\nrecord=everything\n", true, file + "korax24.trace", true, true, true, 4194304},
        {"[trace]\nfile=/var/log/k.trace\nenabled=1\n", true, "/var/log/k.trace", true, true, true, 4194304},
        {"[trace]\nenabled=0\n", false, "", false, false, false, 0},
        {"[trace]\nenabled=perhaps\n", true, file + "korax24.trace", true, true, true, 4194304},
        {"[trace]\n[other]\nenabled=0\nsize=70000\n", true, file + "korax24.trace", true, true, true,
         4194304},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const auto settings = korax::boards::ParseTraceSettings(c.text, folder);
        ASSERT_EQ(settings.has_value(), c.on);
        if (!c.on) continue;
        EXPECT_EQ(settings->File, c.file);
        EXPECT_EQ(settings->Ports, c.ports);
        EXPECT_EQ(settings->Requests, c.requests);
        EXPECT_EQ(settings->Messages, c.messages);
        EXPECT_EQ(settings->Size, c.size);
    }
}

TEST(TraceSettingsFile, TheVariableNamesTheFile) {
    const std::string ini = Folder() + "/k.ini";
    const auto use = [](const std::string& path) {
#if defined(_WIN32)
        _putenv_s("KORAX24_INI", path.c_str());
#else
        setenv("KORAX24_INI", path.c_str(), 1);
#endif
    };
    use(ini);
    EXPECT_FALSE(korax::boards::LoadTraceSettings()) << "absent";
    std::ofstream(ini) << "[trace]\nfile=t\n";
    const auto settings = korax::boards::LoadTraceSettings();
    ASSERT_TRUE(settings);
    EXPECT_EQ(fs::path(settings->File), fs::path(ini).parent_path() / "t");
    use("");
}

} // namespace
