// Scenario texts configure the simulator, and the built port I/O library stand-in runs the scenario it
// is pointed at, answering through its two entries as a driver calls them.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/DynamicLibrary.h"
#include "sim/Scenario.h"

#if defined(_WIN32)
#include <windows.h>
#define PORT_API __stdcall
#else
#include <limits.h>
#include <unistd.h>
#define PORT_API
#endif

namespace {

using korax::platform::DynamicLibrary;
using korax::sim::BoardSimulator;
using korax::sim::ReadScenarioFile;
using korax::sim::ScenarioError;
using korax::sim::SimulatorFromScenario;

// The error line number and text of a scenario that must be refused.
std::string Refusal(const std::string& text, std::int32_t& line) {
    try {
        SimulatorFromScenario(text);
    } catch (const ScenarioError& error) {
        line = error.Line();
        return error.what();
    }
    line = 0;
    return "accepted";
}

std::uint16_t ConvertA100(BoardSimulator& bus, std::uint16_t base, std::uint8_t channel) {
    bus.Write(base + 11, 1);
    bus.Write(base + 9, 0);
    bus.Write(base + 10, channel);
    bus.Write(base + 12, 1);
    if (bus.Read(base + 5) != 0) return 0xFFFF;
    const std::uint8_t high = bus.Read(base + 5);
    return static_cast<std::uint16_t>((high & 0x0F) << 8 | bus.Read(base + 4));
}

TEST(Scenario, EveryDirectiveConfiguresTheSimulator) {
    BoardSimulator bus = SimulatorFromScenario(R"(# two boards
board 0 KRX-A100 0x220
BOARD 3 krx-c100 768     # by name in any case, decimal base
board 4 6 0x340          # by model code

ad 0 3 2612
wave 0 4 ramp 0 300 4
wave 0 5 SINE 1000 3000 4
adhigh 0 0x30
di 3 1 0x5A
toggle 3 2 0x0F 3
counter 3 2 400
counter 3 0 0x0102 0x0101
di 4 3 7
notready 4
)");
    EXPECT_EQ(ConvertA100(bus, 0x220, 3), 2612);
    EXPECT_EQ(ConvertA100(bus, 0x220, 4), 0);
    EXPECT_EQ(ConvertA100(bus, 0x220, 4), 100);
    EXPECT_EQ(ConvertA100(bus, 0x220, 5), 2000);
    EXPECT_EQ(ConvertA100(bus, 0x220, 5), 3000);
    bus.Write(0x22A, 3);
    bus.Write(0x22C, 1);
    bus.Read(0x225);
    EXPECT_EQ(bus.Read(0x225), 0x3A) << "upper bits on top of the high nibble";

    EXPECT_EQ(bus.Read(0x301), 0x5A);
    for (const std::uint8_t expected : {0x00, 0x00, 0x00, 0x0F}) EXPECT_EQ(bus.Read(0x302), expected);
    EXPECT_EQ(bus.CounterReading(3, 2), 400);
    EXPECT_EQ(bus.Read(0x304), 0x02);
    EXPECT_EQ(bus.Read(0x304), 0x01);
    EXPECT_EQ(bus.CounterReading(3, 0), 0x0001);
    EXPECT_EQ(bus.DiByte(4, 3), 7);
    EXPECT_EQ(bus.TraceFile(), "");
}

TEST(Scenario, NotReadyTakesOnOrOffAndTraceTakesTheRestOfTheLine) {
    BoardSimulator bus = SimulatorFromScenario("board 1 KRX-A200 0x300\n"
                                               "notready 1 on\n"
                                               "notready 1 Off\r\n"
                                               "trace  C:\\trace files\\run#1.txt  # comment\n");
    EXPECT_EQ(bus.TraceFile(), "C:\\trace files\\run#1.txt");
    bus.SetTraceFile(""); // the accesses below must not leave a file wherever the test runs
    bus.Write(0x30C, 1);
    EXPECT_EQ(bus.Read(0x305), 0x00);
    BoardSimulator busy = SimulatorFromScenario("board 1 KRX-A200 0x300\nnotready 1\n");
    busy.Write(0x30C, 1);
    EXPECT_EQ(busy.Read(0x305), 0x10);
}

TEST(Scenario, BadLinesAreRefusedWithTheirNumber) {
    struct Case {
        std::string Text;
        std::int32_t Line;
        std::string Reason;
    };
    const std::string board = "# header\nboard 0 KRX-A100 0x220\n\n";
    const Case cases[] = {
        {board + "blink 0", 4, "unknown directive 'blink'"},
        {board + "ad 0 3", 4, "'ad' needs more values"},
        {board + "ad 0 3 1 2", 4, "'ad' has too many values"},
        {board + "ad 0 3 12x", 4, "code '12x' is not a number"},
        {board + "ad 0 3 4096", 4, "code 4096 is out of range"},
        {board + "ad 1 3 1", 4, "no board declared at station 1"},
        {board + "ad 0 16 1", 4, "the board has no such group or channel"},
        {board + "di 0 2 1", 4, "the board has no such group or channel"},
        {board + "counter 0 1 5", 4, "the board has no such group or channel"},
        {board + "wave 0 1 square 0 1 2", 4, "waveform must be ramp or sine"},
        {board + "wave 0 1 ramp 0 1 0", 4, "period must be at least 1"},
        {board + "notready 0 maybe", 4, "notready takes on or off"},
        {"board 32 KRX-A100 0x220", 1, "station 32 is out of range"},
        {"board 0 KRX-Z900 0x220", 1, "unknown model 'KRX-Z900'"},
        {"board 0 7 0x220", 1, "model code 7 is out of range"},
        {"board 0 0 0x10000", 1, "base 0x10000 is out of range"},
        {"trace", 1, "'trace' needs more values"},
    };
    for (const Case& c : cases) {
        std::int32_t line = 0;
        EXPECT_EQ(Refusal(c.Text, line), "line " + std::to_string(c.Line) + ": " + c.Reason) << c.Text;
        EXPECT_EQ(line, c.Line) << c.Text;
    }
    EXPECT_EQ(ReadScenarioFile("no such scenario.txt"), std::nullopt);
}

// The stand-in library, loaded by its file name beside the test, with the scenario a test names.
#if defined(_WIN32)
constexpr const char* LibraryName = "ControXIO.dll";
constexpr const char* DamagedVariant = "variants\\noin\\ControXIO.dll";
#else
constexpr const char* LibraryName = "libControXIO.so";
constexpr const char* DamagedVariant = "variants/noin/libControXIO.so";
#endif
using OutPort = void(PORT_API*)(std::uint32_t, std::uint32_t);
using InPort = std::uint32_t(PORT_API*)(std::uint32_t);

std::string ExecutableFolder() {
#if defined(_WIN32)
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    const std::string file(path, length);
    return file.substr(0, file.find_last_of("\\/") + 1);
#else
    char path[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    const std::string file(path, length > 0 ? static_cast<std::size_t>(length) : 0);
    return file.substr(0, file.rfind('/') + 1);
#endif
}

// Names the scenario for libraries loaded while it lives, and forgets it afterwards (the Win32 tests all
// share one process).
class ScenarioVariable {
public:
    explicit ScenarioVariable(const std::string& path) { Set(path.c_str()); }
    ~ScenarioVariable() { Set(nullptr); }

private:
    static void Set(const char* path) {
#if defined(_WIN32)
        SetEnvironmentVariableA("KORAX_SIM_SCENARIO", path);
#else
        if (path != nullptr)
            setenv("KORAX_SIM_SCENARIO", path, 1);
        else
            unsetenv("KORAX_SIM_SCENARIO");
#endif
    }
};

std::string FileText(const std::string& path) {
    std::stringstream text;
    text << std::ifstream(path).rdbuf();
    return text.str();
}

TEST(ControXIO, EntriesAnswerFromTheScenarioAndAppendToItsTrace) {
    const std::string scenario = "sim_controxio_answers.scenario";
    const std::string trace = "sim_controxio_answers.trace";
    std::remove(trace.c_str());
    std::ofstream(scenario) << "board 2 KRX-C300 0x300\ndi 2 1 0xA5\ntrace " << trace << "\n";
    const ScenarioVariable variable(scenario);

    DynamicLibrary library = DynamicLibrary::Load(LibraryName);
    ASSERT_TRUE(library.Loaded());
    const auto in = reinterpret_cast<InPort>(library.Symbol("in_port"));
    const auto out = reinterpret_cast<OutPort>(library.Symbol("out_port"));
    ASSERT_NE(in, nullptr);
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(in(0x301), 0xA5u);
    out(0x10302, 0xFFFFFF3C); // only the low 16 bits of the port and the low 8 bits of the value count
    EXPECT_EQ(in(0x302), 0x00u) << "DI shares the address; the write went to the outputs";
    EXPECT_EQ(in(0x2FF), 0xFFu);
    library.Free();

    EXPECT_EQ(FileText(trace), "R 0x301 0xA5\nW 0x302 0x3C\nR 0x302 0x00\nR 0x2FF 0xFF\n");
    std::remove(trace.c_str());
    std::remove(scenario.c_str());
}

TEST(ControXIO, BadScenarioRunsWithoutBoards) {
    const std::string scenario = "sim_controxio_bad.scenario";
    std::ofstream(scenario) << "board 2 KRX-C300 0x300\ndi 2 9 1\n";
    const ScenarioVariable variable(scenario);
    DynamicLibrary library = DynamicLibrary::Load(LibraryName);
    ASSERT_TRUE(library.Loaded());
    const auto in = reinterpret_cast<InPort>(library.Symbol("in_port"));
    ASSERT_NE(in, nullptr);
    EXPECT_EQ(in(0x300), 0xFFu) << "the board of the refused scenario must not be half set up";
    library.Free();
    std::remove(scenario.c_str());
}

TEST(ControXIO, DamagedVariantLacksOnlyInPort) {
    DynamicLibrary library = DynamicLibrary::Load(ExecutableFolder() + DamagedVariant);
    ASSERT_TRUE(library.Loaded());
    EXPECT_NE(library.Symbol("out_port"), nullptr);
    EXPECT_EQ(library.Symbol("in_port"), nullptr);
}

} // namespace
