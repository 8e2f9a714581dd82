// The device test run behind DLLTestDev, through the built driver library. Natively the confirmation text
// goes to stderr, where these tests read it. On Win32 it is a real message box, which needs a desktop that
// these tests run without (the box cannot open and the call goes on at once): here they check the outcome
// only, and the GUI test under a virtual display looks at the box itself.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "host/HostHarness.h"

namespace {

using namespace korax::hosttest;

const std::string Notice = "Confirm: 暂时不支持测试功能！\n";
// The host passes any byte as its Boolean; none of them may change the outcome.
constexpr Bool Flags[] = {0, 1, 0xFF};

// Bytes of the block the driver gives no meaning to: a test run that normalised the host's block in place
// instead of copying it would change them.
void MarkUndefinedBytes(Block& block) {
    korax::config::DevicePDB& pdb = block.Pdb();
    std::memset(pdb.Padding, 0xA5, sizeof pdb.Padding);
    for (korax::config::BoardEntry& entry : pdb.Boards) {
        const std::size_t used = 1u + entry.DevName[0];
        if (used < sizeof entry.DevName) std::memset(entry.DevName + used, 0x5A, sizeof entry.DevName - used);
        std::memset(entry.Padding1, 0xA5, sizeof entry.Padding1);
        std::memset(entry.SpareArea, 0x5A, sizeof entry.SpareArea);
        std::memset(entry.Padding2, 0xA5, sizeof entry.Padding2);
    }
}

class DeviceTest : public HostTest {
protected:
    struct Outcome {
        bool Result;
        std::string Shown; // the confirmation text, where this platform lets a test see it
    };
    Outcome RunTest(void* block, Bool flag) {
#if !defined(_WIN32)
        testing::internal::CaptureStderr();
#endif
        const bool result = driver->DLLTestDev(block, flag) != 0;
        std::string shown;
#if !defined(_WIN32)
        shown = testing::internal::GetCapturedStderr();
#endif
        return {result, shown};
    }
};

TEST_F(DeviceTest, NilBlockChangesNothing) {
    ASSERT_TRUE(Initialise(TagSet{{0, "AD0"}, {1, "AD1"}}));
    const std::uint16_t scanTime = driver->DetectScanTime();
    ASSERT_NE(scanTime, 1000);
    for (const Bool flag : Flags) {
        const Outcome outcome = RunTest(nullptr, flag);
        EXPECT_FALSE(outcome.Result) << int{flag};
        EXPECT_EQ(outcome.Shown, "") << int{flag};
        EXPECT_EQ(driver->DetectScanTime(), scanTime) << "the thread's object stays in place";
    }
}

TEST_F(DeviceTest, InitialisedBoardsShowTheNoticeOnceThenTheObjectIsGone) {
    for (const Bool flag : Flags) {
        // Whether or not the thread had an object before, it has none afterwards.
        if (flag != 0) {
            ASSERT_TRUE(Initialise(TagSet{{0, "AD0"}}));
        }
        Block block(*driver);
        MarkUndefinedBytes(block);
        const std::vector<std::uint8_t> before = block.Bytes;
        const Outcome outcome = RunTest(block.Data(), flag);
        EXPECT_FALSE(outcome.Result) << int{flag};
#if !defined(_WIN32)
        EXPECT_EQ(outcome.Shown, Notice) << int{flag};
#endif
        EXPECT_EQ(driver->DetectScanTime(), 1000) << int{flag};
        EXPECT_TRUE(block.Bytes == before) << "the host's block was written";
    }
}

TEST_F(DeviceTest, BlockWithoutBoardsFailsSilently) {
    for (const Bool flag : Flags) {
        ASSERT_TRUE(Initialise(TagSet{{0, "AD0"}}));
        Block block(*driver);
        block.WithoutBoards();
        MarkUndefinedBytes(block);
        const std::vector<std::uint8_t> before = block.Bytes;
        const Outcome outcome = RunTest(block.Data(), flag);
        EXPECT_FALSE(outcome.Result) << int{flag};
        EXPECT_EQ(outcome.Shown, "") << int{flag};
        EXPECT_EQ(driver->DetectScanTime(), 1000) << "the failed initialisation's object is freed as well";
        EXPECT_TRUE(block.Bytes == before) << "the host's block was written";
    }
}

} // namespace
