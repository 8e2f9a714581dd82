// Direct port access with the system's door replaced: the driver asks for exactly the ports of the
// configured boards, fails initialisation naming a refused board, and never executes an instruction on a
// port the system did not grant.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "boards/DLLRealize.h"
#include "boards/PortAccess.h"
#include "config/DevicePDB.h"
#include "platform/PortIo.h"
#include "support/FakeClock.h"
#include "support/TagDefinitions.h"

namespace {

using korax::boards::SystemPortBus;
using korax::boards::TDLLObject;
using korax::test::Definitions;
using Range = std::pair<std::uint32_t, std::uint32_t>; // first port, count

constexpr std::uint8_t A100 = 0, A200 = 1, B100 = 2, C100 = 3, C200 = 4, C210 = 5, C300 = 6;

// The system's door, played by the test: grants what `refused` does not name and counts every
// instruction on a port it does not hold.
class FakePorts : public korax::platform::PortIo {
public:
    bool Grant(std::uint16_t first, std::uint32_t count, std::string& reason) override {
        asked.emplace_back(first, count);
        if (refused.contains(first)) {
            reason = "Operation not permitted";
            return false;
        }
        for (std::uint32_t p = first; p < first + count; ++p) ++held[p];
        return true;
    }
    void Revoke(std::uint16_t first, std::uint32_t count) override {
        for (std::uint32_t p = first; p < first + count; ++p) --held[p];
    }
    void Out(std::uint16_t port, std::uint8_t) override { Touch(port); }
    std::uint8_t In(std::uint16_t port) override {
        Touch(port);
        return 0;
    }
    int Holding() const {
        int n = 0;
        for (const auto& [port, count] : held) n += count != 0 ? 1 : 0;
        return n;
    }

    std::set<std::uint32_t> refused;
    std::vector<Range> asked;
    std::map<std::uint32_t, int> held;
    std::set<std::uint32_t> touched;
    int ungranted = 0;

private:
    void Touch(std::uint16_t port) {
        touched.insert(port);
        if (held[port] <= 0) ++ungranted;
    }
};

class DirectPorts : public ::testing::Test {
protected:
    DirectPorts() {
        korax::config::FillDefaultPDB(block);
        for (auto& entry : block.Boards) entry.DevType = korax::config::NoBoard;
    }
    void Board(int slot, std::uint8_t model, std::uint32_t base) {
        block.Boards[slot].DevType = model;
        block.Boards[slot].BaseAddress = base;
    }

    korax::test::FakeClock clock;
    korax::config::DevicePDB block{};
    FakePorts ports;
    SystemPortBus bus{ports, {}}; // no port library: every transfer is a port instruction
    TDLLObject object{clock, true, &bus};
};

TEST_F(DirectPorts, AsksForExactlyThePortsOfEachConfiguredBoard) {
    Board(0, C300, 0x100);  // below the usual 0x200..0x3F0
    Board(2, A100, 0x3F8);  // runs past 0x3FF
    Board(5, B100, 0xFFF8); // wraps to port 0
    Board(6, A200, 0x300);  // its lowest register is base + 4
    Board(7, C100, 0x200);
    Board(8, C200, 0x210);
    Board(9, C210, 0x220);
    Definitions tags;
    tags.Add(1, "DI0:9", 20)
        .Add(2, "AD2:3", 20)
        .Add(3, "DI2:15", 20)
        .Add(4, "COUNT2:0", 20)
        .Add(5, "DI5:15", 20)
        .Add(6, "AD6:31", 20)
        .Add(7, "COUNT7:2", 20)
        .Add(8, "DI8:7", 20)
        .Add(9, "DI9:15", 20)
        .Add(10, "DA5:5", 20)
        .Add(11, "DO2:15", 20)
        .Add(12, "DA2:1", 20);
    ASSERT_TRUE(object.Initialise(&block, tags.List())) << object.sErrEvent();
    EXPECT_EQ(ports.asked, (std::vector<Range>{{0x100, 4},
                                               {0x3F8, 15},
                                               {0xFFF8, 8},
                                               {0x0000, 8},
                                               {0x304, 9},
                                               {0x200, 8},
                                               {0x210, 2},
                                               {0x220, 4}}));
    for (int i = 0; i < 60; ++i) {
        clock.Advance(10);
        object.ScanStep();
    }
    for (std::uint32_t id : {10u, 11u, 12u}) {
        ASSERT_TRUE(object.WriteTag(id, korax::framework::Value::Real(0x1FF)));
        object.ScanStep();
        object.ScanStep();
    }
    EXPECT_EQ(ports.ungranted, 0);
    EXPECT_TRUE(ports.touched.contains(0x0003)) << "B100 DA channel 5 low byte, wrapped";
    EXPECT_TRUE(ports.touched.contains(0x406)) << "A100 DO group 1 above 0x3FF";
    object.CloseDriver();
    EXPECT_EQ(ports.Holding(), 0) << "every grant is given back at close";
}

TEST_F(DirectPorts, RefusedBoardFailsInitialisationNamingItsPorts) {
    Board(0, A100, 0x220);
    Board(3, C300, 0x100);
    ports.refused = {0x100};
    Definitions tags;
    tags.Add(1, "DI0:0", 20).Add(2, "DI3:0", 20);
    EXPECT_FALSE(object.Initialise(&block, tags.List()));
    EXPECT_TRUE(object.sErrEvent().ends_with(
        "：端口操作驱动库无法取得I/O端口访问权限：板卡3（KRX-C300），端口0x100-0x103：Operation not "
        "permitted"))
        << object.sErrEvent();
    EXPECT_EQ(ports.Holding(), 0) << "the ports granted before the refusal are given back";
    object.ScanStep();
    EXPECT_FALSE(object.WriteTag(1, korax::framework::Value::Real(1)));
    EXPECT_TRUE(ports.touched.empty()) << "no instruction on any port";
}

std::vector<std::pair<std::uint32_t, std::uint32_t>> libraryWrites;
void KORAX_PORTLIB_API LibraryOut(std::uint32_t port, std::uint32_t value) {
    libraryWrites.emplace_back(port, value);
}
std::uint32_t KORAX_PORTLIB_API LibraryIn(std::uint32_t port) {
    return 0xABCD0000u | port; // only the low byte is the port's
}

// With a port I/O library every transfer goes through it, on any port, and the system is asked nothing.
TEST(SystemPortBus, APortLibraryTakesEveryTransferAndOnlyItsLowByteCounts) {
    FakePorts ports;
    SystemPortBus bus(ports, {});
    bus.Bind(&LibraryOut, &LibraryIn);
    std::string reason;
    EXPECT_TRUE(bus.Acquire(0x300, 8, reason));
    EXPECT_TRUE(ports.asked.empty());
    libraryWrites.clear();
    bus.Write(0x1234, 0x5A);
    EXPECT_EQ(libraryWrites, (std::vector<std::pair<std::uint32_t, std::uint32_t>>{{0x1234, 0x5A}}));
    EXPECT_EQ(bus.Read(0x01FE), 0xFE);
    EXPECT_TRUE(ports.touched.empty());
}

TEST(SystemPortBus, TouchesOnlyGrantedPorts) {
    FakePorts ports;
    SystemPortBus bus(ports, {});
    std::string reason;
    ASSERT_TRUE(bus.Acquire(0xFFFE, 4, reason)); // 0xFFFE, 0xFFFF, 0, 1
    EXPECT_EQ(ports.asked, (std::vector<Range>{{0xFFFE, 2}, {0x0000, 2}}));
    for (const std::uint16_t port : {0xFFFD, 0xFFFE, 0x0001, 0x0002}) {
        bus.Write(port, 1);
        const std::uint8_t read = bus.Read(port);
        EXPECT_EQ(read, port == 0xFFFD || port == 0x0002 ? 0xFF : 0x00) << port;
    }
    EXPECT_EQ(ports.touched, (std::set<std::uint32_t>{0xFFFE, 0x0001}));
    bus.Release();
    bus.Write(0x0001, 1);
    EXPECT_EQ(bus.Read(0x0001), 0xFF) << "released ports read as a floating bus";
    EXPECT_EQ(ports.ungranted, 0);
    EXPECT_EQ(ports.Holding(), 0);
}

} // namespace
