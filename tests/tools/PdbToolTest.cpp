// korax-pdb run in-process on files: blocks round-trip through JSON in every defined field, bad input is
// refused with a message that names it, and a refused command leaves the file it was to write as it was.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "config/DevicePDB.h"
#include "config/Models.h"
#include "pdb/PdbTool.h"

namespace {

using korax::config::BoardEntry;
using korax::config::DevicePDB;
using Bytes = std::vector<std::uint8_t>;

struct Result {
    int Code;
    std::string Out;
    std::string Err;
};

Result Pdb(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), "korax-pdb");
    std::ostringstream out;
    std::ostringstream err;
    const int code = korax::tools::pdb::RunPdbTool(arguments, out, err);
    return {code, out.str(), err.str()};
}

Bytes ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::string& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

void WriteText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

Bytes BlockBytes(const DevicePDB& block) {
    const auto* raw = reinterpret_cast<const std::uint8_t*>(&block);
    return Bytes(raw, raw + sizeof block);
}

DevicePDB BlockOf(const Bytes& bytes) {
    DevicePDB block;
    std::memcpy(&block, bytes.data(), sizeof block);
    return block;
}

// Only the fields the block defines, copied over zeros: what must survive a trip without a template.
Bytes DefinedOnly(const Bytes& bytes) {
    const DevicePDB source = BlockOf(bytes);
    DevicePDB zero;
    std::memset(&zero, 0, sizeof zero);
    korax::config::CopyPDB(&source, &zero);
    return BlockBytes(zero);
}

void PutBoard(DevicePDB& block, int slot, std::uint8_t model, std::uint32_t base) {
    BoardEntry& entry = block.Boards[slot];
    entry.BoardNo = slot;
    entry.DevType = model;
    korax::config::SetShortString(entry.DevName, korax::config::DevNameSize,
                                  korax::config::Models[model].Name);
    entry.BaseAddress = base;
}

// A block every defined field of which differs from the factory's somewhere, over bytes of a pattern.
DevicePDB VariedBlock() {
    Bytes raw(sizeof(DevicePDB));
    for (std::size_t i = 0; i < raw.size(); ++i) raw[i] = static_cast<std::uint8_t>(i * 37 + 11);
    DevicePDB block = BlockOf(raw);
    korax::config::FillDefaultPDB(block);
    block.HeaderReal = 0.1 + 1e-17; // needs every digit
    block.CreateMode = 5;
    block.SelectedBoard = 7;
    PutBoard(block, 0, 0, 0x3F0);
    block.Boards[0].InputMode = 1;
    block.Boards[0].ADMaxRange = 1;
    block.Boards[0].Spare1 = -7;
    block.Boards[0].Spare2 = 123456;
    const std::int32_t a100Gains[] = {7, 6, 5, 4, 3, 2, 1, 0, 8};
    for (int k = 0; k < 32; ++k) block.Boards[0].ADGain[k] = a100Gains[k % 9];
    block.Boards[0].DARange[1] = 1;
    PutBoard(block, 7, 1, 0x200);
    for (int k = 0; k < 32; ++k) block.Boards[7].ADGain[k] = k % 8;
    PutBoard(block, 12, 2, 0x300);
    for (int k = 0; k < 6; ++k) block.Boards[12].DARange[k] = k % 5;
    PutBoard(block, 31, 6, 0x210);
    // A name the wizard would not write: Chinese text in the driver's code page.
    korax::config::SetShortString(block.Boards[31].DevName, korax::config::DevNameSize, "板卡甲");
    // An unused slot that is not at its factory values (vacated by a renumbering).
    block.Boards[20].BoardNo = 0;
    block.Boards[20].BaseAddress = 0;
    return block;
}

class PdbTool : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        stem = std::string("pdbtool_") + info->test_suite_name() + "_" + info->name();
    }
    void TearDown() override {
        for (const char* suffix : {".pdb", ".json", ".out.pdb", ".template.pdb", ".back"}) {
            std::error_code ignored;
            std::filesystem::remove(stem + suffix, ignored);
        }
    }
    std::string File(const char* suffix) const { return stem + suffix; }

    std::string stem;
};

TEST_F(PdbTool, CreateWritesTheFactoryBlockAndNeverOverwritesUnasked) {
    const std::string file = File(".pdb");
    ASSERT_EQ(Pdb({"create", file}).Code, 0);
    DevicePDB expected;
    std::memset(&expected, 0, sizeof expected);
    korax::config::FillDefaultPDB(expected);
    EXPECT_EQ(ReadBytes(file), BlockBytes(expected));

    WriteBytes(file, Bytes(sizeof(DevicePDB), 0xAB));
    const Result again = Pdb({"create", file});
    EXPECT_EQ(again.Code, 1);
    EXPECT_NE(again.Err.find("--force"), std::string::npos) << again.Err;
    EXPECT_EQ(ReadBytes(file), Bytes(sizeof(DevicePDB), 0xAB));
    EXPECT_EQ(Pdb({"create", file, "--force"}).Code, 0);
    EXPECT_EQ(ReadBytes(file), BlockBytes(expected));
}

// Every defined field survives; without a template the other bytes are zero, with the source block as
// template the block comes back byte for byte.
TEST_F(PdbTool, BlocksRoundTripThroughJson) {
    const Bytes original = BlockBytes(VariedBlock());
    WriteBytes(File(".pdb"), original);
    ASSERT_EQ(Pdb({"to-json", File(".pdb"), "-o", File(".json")}).Code, 0);

    const Result plain = Pdb({"from-json", File(".json"), "-o", File(".out.pdb")});
    ASSERT_EQ(plain.Code, 0) << plain.Err;
    EXPECT_EQ(ReadBytes(File(".out.pdb")), DefinedOnly(original));

    const Result templated =
        Pdb({"from-json", File(".json"), "-o", File(".out.pdb"), "--template", File(".pdb")});
    ASSERT_EQ(templated.Code, 0) << templated.Err;
    EXPECT_EQ(ReadBytes(File(".out.pdb")), original);

    // The factory block is the common case: it must come back too, and its JSON lists slot 0 only.
    ASSERT_EQ(Pdb({"create", File(".pdb"), "--force"}).Code, 0);
    const Result json = Pdb({"to-json", File(".pdb")});
    EXPECT_NE(json.Out.find("\"slot\": 0"), std::string::npos);
    EXPECT_EQ(json.Out.find("\"slot\": 1"), std::string::npos);
    WriteText(File(".json"), json.Out);
    ASSERT_EQ(Pdb({"from-json", File(".json"), "-o", File(".out.pdb")}).Code, 0);
    EXPECT_EQ(ReadBytes(File(".out.pdb")), ReadBytes(File(".pdb")));
}

// Any block whatever, converted to JSON and back with itself as template (and --raw for values the wizard
// never writes), comes back byte for byte: the tool changes no byte it was not asked to change.
TEST_F(PdbTool, AnyBlockRoundTripsWithItselfAsTemplate) {
    std::mt19937 random(20261208);
    for (int round = 0; round < 40; ++round) {
        Bytes original(sizeof(DevicePDB));
        for (std::uint8_t& byte : original) byte = static_cast<std::uint8_t>(random());
        DevicePDB block = BlockOf(original);
        // Half the rounds on blocks a wizard could have written, with short names over random tails.
        if (round % 2 == 0) {
            korax::config::FillDefaultPDB(block);
            for (BoardEntry& entry : block.Boards) {
                for (std::uint8_t& byte : entry.DevName) byte = static_cast<std::uint8_t>(random());
                entry.DevName[0] = static_cast<std::uint8_t>(random() % 9);
            }
        }
        original = BlockBytes(block);
        WriteBytes(File(".pdb"), original);
        ASSERT_EQ(Pdb({"to-json", File(".pdb"), "-o", File(".json")}).Code, 0);
        const Result back =
            Pdb({"from-json", File(".json"), "-o", File(".out.pdb"), "--raw", "--template", File(".pdb")});
        ASSERT_EQ(back.Code, 0) << back.Err;
        ASSERT_EQ(ReadBytes(File(".out.pdb")), original) << "round " << round;
    }
}

TEST_F(PdbTool, ValuesNoJsonNumberHoldsTravelAsBitPatterns) {
    DevicePDB block = VariedBlock();
    block.HeaderReal = std::numeric_limits<double>::quiet_NaN();
    WriteBytes(File(".pdb"), BlockBytes(block));
    ASSERT_EQ(Pdb({"to-json", File(".pdb"), "-o", File(".json")}).Code, 0);
    ASSERT_EQ(Pdb({"from-json", File(".json"), "-o", File(".out.pdb"), "--template", File(".pdb")}).Code, 0);
    EXPECT_EQ(ReadBytes(File(".out.pdb")), BlockBytes(block));
}

// The KRX-A200 has differential wiring (its header says 0 such inputs, and only -1 means "none"): a block
// the wizard writes that way is set, converted and read back like any other.
TEST_F(PdbTool, A200DifferentialWiringIsAValidBlock) {
    DevicePDB block = VariedBlock();
    WriteBytes(File(".pdb"), BlockBytes(block));
    ASSERT_EQ(Pdb({"set", File(".pdb"), "--slot", "7", "wiring=differential"}).Code, 0);
    EXPECT_EQ(BlockOf(ReadBytes(File(".pdb"))).Boards[7].InputMode, 1);
    ASSERT_EQ(Pdb({"to-json", File(".pdb"), "-o", File(".json")}).Code, 0);
    ASSERT_EQ(Pdb({"from-json", File(".json"), "-o", File(".back")}).Code, 0);
    EXPECT_EQ(BlockOf(ReadBytes(File(".back"))).Boards[7].InputMode, 1);
}

// Values the wizard never writes convert to JSON and back only when asked for with --raw.
TEST_F(PdbTool, OddBlocksRoundTripWithRawOnly) {
    DevicePDB block = VariedBlock();
    block.Boards[3].DevType = 9;         // no model
    block.Boards[0].BaseAddress = 0x225; // off the grid
    block.Boards[7].ADGain[2] = 12;      // not in the KRX-A200 list
    block.Boards[12].BoardNo = 4;        // differs from its slot
    const Bytes original = BlockBytes(block);
    WriteBytes(File(".pdb"), original);
    ASSERT_EQ(Pdb({"to-json", File(".pdb"), "-o", File(".json")}).Code, 0);

    const Result strict = Pdb({"from-json", File(".json"), "-o", File(".out.pdb")});
    EXPECT_EQ(strict.Code, 1);
    EXPECT_NE(strict.Err.find("--raw"), std::string::npos) << strict.Err;
    EXPECT_FALSE(std::filesystem::exists(File(".out.pdb")));

    const Result raw =
        Pdb({"from-json", File(".json"), "-o", File(".out.pdb"), "--raw", "--template", File(".pdb")});
    ASSERT_EQ(raw.Code, 0) << raw.Err;
    EXPECT_EQ(ReadBytes(File(".out.pdb")), original);
}

// A hand-written text names only what differs; the rest is the factory's.
TEST_F(PdbTool, ShortJsonFillsTheRestWithFactoryValues) {
    WriteText(File(".json"), R"({"boards": [
        {"slot": 1, "model": "krx-c100", "baseAddress": "0x300"},
        {"slot": 0, "adGain": ["0-10V", 8], "daRange": ["+/-5V"], "model": "KRX-B100"}]})");
    const Result result = Pdb({"from-json", File(".json"), "-o", File(".out.pdb")});
    // Labels are those of the model the entry names, whatever the order of the fields: KRX-B100 has no
    // gain list, so "0-10V" is refused there.
    EXPECT_EQ(result.Code, 1);
    EXPECT_NE(result.Err.find("boards[1] (slot 0).adGain[0]"), std::string::npos) << result.Err;

    WriteText(File(".json"), R"({"boards": [
        {"slot": 1, "model": "krx-c100", "baseAddress": "0x300"},
        {"slot": 0, "adGain": ["0-10V", 8], "daRange": ["0-10V"]}]})");
    ASSERT_EQ(Pdb({"from-json", File(".json"), "-o", File(".out.pdb")}).Code, 0);
    DevicePDB expected;
    std::memset(&expected, 0, sizeof expected);
    korax::config::FillDefaultPDB(expected);
    PutBoard(expected, 1, 3, 0x300);
    expected.Boards[0].ADGain[0] = 4;
    expected.Boards[0].ADGain[1] = 8;
    expected.Boards[0].DARange[0] = 1;
    EXPECT_EQ(ReadBytes(File(".out.pdb")), BlockBytes(expected));
}

struct BadJson {
    const char* Text;
    const char* Message;
};

TEST_F(PdbTool, BadJsonIsRefusedWhereItIsAndTheTargetStaysUntouched) {
    const BadJson cases[] = {
        {"{\"boards\": [}", "line 1"},
        {"{\"boards\": [{\"slot\": 1, \"modle\": \"KRX-A100\"}]}", "unknown field \"modle\""},
        {"{\"boards\": [{\"slot\": 1, \"model\": \"KRX-A101\"}]}", "unknown model \"KRX-A101\""},
        {"{\"boards\": [{\"slot\": 1, \"model\": \"KRX-A100\", \"baseAddress\": \"0x225\"}]}",
         "off the grid"},
        {"{\"boards\": [{\"slot\": 1, \"model\": \"KRX-A100\", \"baseAddress\": \"0x1F0\"}]}",
         "off the grid"},
        {"{\"boards\": [{\"slot\": 32}]}", "boards[0].slot: 32 is out of range 0..31"},
        {"{\"boards\": [{\"slot\": 2}, {\"slot\": 2}]}", "slot 2 is listed twice"},
        {"{\"boards\": [{\"slot\": 0, \"adGain\": [9]}]}",
         "gain code 9 of analog input 0 is not in the model's list"},
        {"{\"boards\": [{\"slot\": 0, \"adGain\": [\"+/-20V\"]}]}",
         "gain \"+/-20V\" is not in the list of KRX-A100"},
        {"{\"boards\": [{\"slot\": 0, \"daRange\": [\"4-20mA\"]}]}",
         "output range code 4 of analog output 0"},
        {"{\"selectedBoard\": 40}", "selected board 40 is out of range"},
        {"{\"createMode\": 256}", "createMode: 256 is out of range 0..255"},
        {"{\"format\": \"other\"}", "format"},
        {"[1, 2]", "top level: expected an object"},
    };
    const Bytes before(sizeof(DevicePDB), 0x5A);
    for (const BadJson& bad : cases) {
        WriteBytes(File(".out.pdb"), before);
        WriteText(File(".json"), bad.Text);
        const Result result = Pdb({"from-json", File(".json"), "-o", File(".out.pdb")});
        EXPECT_EQ(result.Code, 1) << bad.Text;
        EXPECT_NE(result.Err.find(bad.Message), std::string::npos) << bad.Text << "\n" << result.Err;
        EXPECT_EQ(ReadBytes(File(".out.pdb")), before) << bad.Text;
    }
}

TEST_F(PdbTool, SetChangesOneFieldAndKeepsTheRestOfTheBlock) {
    WriteBytes(File(".pdb"), BlockBytes(VariedBlock()));
    const Result result =
        Pdb({"set", File(".pdb"), "--slot", "0", "gain3=+/-10V", "da0=0-10V", "base=0x380"});
    ASSERT_EQ(result.Code, 0) << result.Err;
    DevicePDB expected = VariedBlock();
    expected.Boards[0].ADGain[3] = 8;
    expected.Boards[0].DARange[0] = 1;
    expected.Boards[0].BaseAddress = 0x380;
    EXPECT_EQ(ReadBytes(File(".pdb")), BlockBytes(expected));

    ASSERT_EQ(Pdb({"set", File(".pdb"), "selected=31"}).Code, 0);
    EXPECT_EQ(BlockOf(ReadBytes(File(".pdb"))).SelectedBoard, 31);
}

// A new model starts from the gains the wizard gives it; "none" returns the slot to the factory's state.
TEST_F(PdbTool, ModelChangesResetWhatTheNewModelDoesNotOffer) {
    DevicePDB block = VariedBlock();
    WriteBytes(File(".pdb"), BlockBytes(block));
    ASSERT_EQ(Pdb({"set", File(".pdb"), "--slot", "0", "model=KRX-A200"}).Code, 0);
    const DevicePDB changed = BlockOf(ReadBytes(File(".pdb")));
    EXPECT_EQ(changed.Boards[0].DevType, 1);
    EXPECT_EQ(korax::config::ShortStringText(changed.Boards[0].DevName, korax::config::DevNameSize),
              "KRX-A200");
    EXPECT_EQ(changed.Boards[0].InputMode, 1) << "KRX-A200 offers differential wiring too: it stays";
    for (const std::int32_t gain : changed.Boards[0].ADGain) EXPECT_EQ(gain, 0);

    ASSERT_EQ(Pdb({"set", File(".pdb"), "--slot", "12", "model=none"}).Code, 0);
    DevicePDB factory;
    korax::config::FillDefaultPDB(factory);
    const BoardEntry& removed = BlockOf(ReadBytes(File(".pdb"))).Boards[12];
    EXPECT_EQ(removed.DevType, 7);
    EXPECT_EQ(removed.BaseAddress, factory.Boards[12].BaseAddress);
    for (const std::int32_t range : removed.DARange) EXPECT_EQ(range, 0);
}

struct BadSet {
    std::vector<std::string> Arguments; // after the file
    const char* Message;
};

TEST_F(PdbTool, BadFieldsAreRefusedAndTheFileStaysUntouched) {
    const BadSet cases[] = {
        {{"--slot", "0", "model=KRX-Z900"}, "unknown model \"KRX-Z900\""},
        {{"--slot", "0", "base=0x225"}, "off the grid"},
        {{"--slot", "0", "base=0x400"}, "off the grid"},
        {{"--slot", "0", "base=0x1F0"}, "off the grid"},
        {{"--slot", "0", "gain3=12"}, "is not in the model's list"},
        {{"--slot", "0", "gain3=+/-20V"}, "is not in the model's list"},
        {{"--slot", "0", "gain16=0-10V"}, "analog input 16 does not exist (0..15)"},
        {{"--slot", "0", "da2=0-5V"}, "analog output 2 does not exist (0..1)"},
        {{"--slot", "0", "da0=4-20mA"}, "is not offered (0-5V, 0-10V)"},
        {{"--slot", "12", "wiring=differential"}, "the model has no analog inputs"},
        {{"--slot", "31", "gain=0-10V"}, "has no analog inputs"},
        {{"--slot", "5", "base=0x300"}, "holds no board"},
        {{"--slot", "32", "base=0x300"}, "slot 32 is out of range 0..31"},
        {{"--slot", "-1", "base=0x300"}, "slot -1 is out of range 0..31"},
        {{"--slot", "0", "colour=red"}, "unknown board field \"colour\""},
        {{"--slot", "0", "base"}, "is not KEY=VALUE"},
        {{"selected=32"}, "out of range 0..31"},
        {{"model=KRX-A100"}, "board fields need --slot"},
        // The first assignment is fine, the second is not: neither is written.
        {{"--slot", "0", "base=0x300", "gain0=bad"}, "is not in the model's list"},
    };
    const Bytes before = BlockBytes(VariedBlock());
    for (const BadSet& bad : cases) {
        WriteBytes(File(".pdb"), before);
        std::vector<std::string> arguments = {"set", File(".pdb")};
        arguments.insert(arguments.end(), bad.Arguments.begin(), bad.Arguments.end());
        const Result result = Pdb(arguments);
        EXPECT_EQ(result.Code, 1) << bad.Message;
        EXPECT_NE(result.Err.find(bad.Message), std::string::npos) << bad.Message << "\n" << result.Err;
        EXPECT_EQ(ReadBytes(File(".pdb")), before) << bad.Message;
    }
}

TEST_F(PdbTool, FilesThatAreNoBlockAreRefused) {
    WriteBytes(File(".pdb"), Bytes(100, 0));
    for (const char* command : {"show", "to-json"}) {
        const Result result = Pdb({command, File(".pdb")});
        EXPECT_EQ(result.Code, 1);
        EXPECT_NE(result.Err.find("100 bytes; a parameter block has 19216"), std::string::npos) << result.Err;
    }
    const Result missing = Pdb({"show", File(".json")});
    EXPECT_EQ(missing.Code, 1);
    EXPECT_NE(missing.Err.find("no such file"), std::string::npos) << missing.Err;
    EXPECT_EQ(Pdb({"frobnicate"}).Code, 2);
    EXPECT_EQ(Pdb({}).Code, 2);
}

TEST_F(PdbTool, ShowNamesGainsAndRangesByTheirLabels) {
    WriteBytes(File(".pdb"), BlockBytes(VariedBlock()));
    const Result result = Pdb({"show", File(".pdb")});
    ASSERT_EQ(result.Code, 0) << result.Err;
    const std::string& table = result.Out;
    const auto shows = [&table](const std::string& text) { return table.find(text) != std::string::npos; };
    EXPECT_TRUE(shows("KRX-A100")) << table;
    EXPECT_TRUE(shows("0x3F0")) << table;
    // The wizard's word for differential wiring, turned from GBK into UTF-8 for the terminal.
    EXPECT_TRUE(shows(reinterpret_cast<const char*>(u8"差动 differential"))) << table;
    EXPECT_TRUE(shows(reinterpret_cast<const char*>(u8"板卡甲"))) << table;
    EXPECT_TRUE(shows("in  8  +/-10V")) << table;
    EXPECT_TRUE(shows("out  1  0-10V")) << table;
    EXPECT_TRUE(shows("out  4  4-20mA")) << table; // KRX-B100 offers the current range
    EXPECT_TRUE(shows("28 slots hold no board.")) << table;
}

TEST_F(PdbTool, VersionNeedsNoCommand) {
    const Result result = Pdb({"--version"});
    ASSERT_EQ(result.Code, 0) << result.Err;
    EXPECT_EQ(result.Out.rfind("korax-pdb ", 0), 0u) << result.Out;
    EXPECT_NE(result.Out.find("\n  commit           "), std::string::npos) << result.Out;
}

} // namespace
