// The message-return paths of the entry points with a driver object in the calling thread's slot, called
// in-process so a test can leave a pending message in the object the way the scan cycle would.
#include <gtest/gtest.h>

#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "config/DevicePDB.h"
#include "driver/Exports.h"
#include "driver/HostMemory.h"
#include "driver/Library.h"

namespace {

using namespace korax::driver;

// Copies a string handed out and gives its block back (strings from the driver belong to the caller).
std::optional<std::string> Take(char* text) {
    if (text == nullptr) return std::nullopt;
    std::string copy(text);
    ReleaseHostBlock(text);
    return copy;
}

class Exports : public ::testing::Test {
protected:
    void SetUp() override {
        library::Attach(); // a statically linked test gets no load notification of its own on Win32
        korax::config::FillDefaultPDB(block);
        ASSERT_NE(library::CreateForThread(), nullptr);
    }
    void TearDown() override { library::DestroyCurrent(); }

    korax::config::DevicePDB block{};
};

TEST_F(Exports, APendingMessageIsHandedOutOnce) {
    library::Current()->SetsErrEvent("pending");
    char* message = nullptr;
    EXPECT_EQ(GetDeviceStatus(&message), 1);
    EXPECT_EQ(Take(message), "pending");
    EXPECT_EQ(GetDeviceStatus(&message), 1);
    EXPECT_EQ(Take(message), std::nullopt);
    EXPECT_TRUE(library::Current()->sErrEvent().empty());
}

// The time-out message a scan step leaves is handed out by whichever export comes first, once.
TEST_F(Exports, APendingTimeoutLeavesThroughOnDataReadAndOnDataWrite) {
    const std::string timeout = "通讯超时错，期待设备应答";
    std::vector<TagValueRec> records(2);
    std::int32_t count = -1;
    char* message = nullptr;
    library::Current()->SetsErrEvent(timeout);
    EXPECT_EQ(OnDataRead(&count, records.data(), &message), 1);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(Take(message), timeout);
    EXPECT_EQ(OnDataRead(&count, records.data(), &message), 1);
    EXPECT_EQ(Take(message), std::nullopt);

    library::Current()->SetsErrEvent(timeout);
    records[0] = TagValueRec{};
    EXPECT_EQ(OnDataWrite(1, records.data(), &message), 0) << "no tag 0 to write";
    EXPECT_EQ(Take(message), timeout);
    EXPECT_EQ(OnDataWrite(1, records.data(), &message), 0);
    EXPECT_EQ(Take(message), std::nullopt);
}

TEST_F(Exports, WriteLogSwitchesLoggingOnlyWithAPendingMessage) {
    auto* object = library::Current();
    char* message = nullptr;
    object->SetEnLog(false);
    WriteLog(1, &message);
    EXPECT_EQ(Take(message), std::nullopt);
    EXPECT_FALSE(object->EnLog()) << "no pending message: nothing changes";
    object->SetsErrEvent("pending");
    WriteLog(1, &message);
    Take(message);
    EXPECT_TRUE(object->EnLog());
    EXPECT_TRUE(object->sErrEvent().empty());
}

TEST_F(Exports, IniDriverExStoresTheAlarmEventOfTheThreadsObject) {
    int event = 0;
    EXPECT_EQ(IniDriverEx(&event), 1);
    EXPECT_EQ(library::Current()->AlarmEvent(), &event);
}

} // namespace

#if !defined(_WIN32)
// The .def files that name the Win32 exports must list the host ABI's entries, in its order, each with
// the argument bytes of its stdcall name.
TEST(HostAbiList, TheDefinitionFilesExportEveryEntryWithItsStackBytes) {
    std::vector<std::string> expected;
#define KORAX_DEF_LINE(Name, Result, Parameters, Bytes) expected.push_back(#Name " = " #Name "@" #Bytes);
    KORAX_HOST_EXPORTS(KORAX_DEF_LINE)
#undef KORAX_DEF_LINE
    EXPECT_EQ(expected.size(), 18u);
    for (const char* file : {"korax24.def", "korax24_probe.def"}) {
        std::ifstream def(std::string(KORAX_SOURCE_DIR "/src/driver/") + file);
        ASSERT_TRUE(def) << file;
        std::vector<std::string> lines;
        for (std::string line; std::getline(def, line);) {
            if (line.rfind("  ", 0) == 0) lines.push_back(line.substr(2));
        }
        if (std::string(file) == "korax24_probe.def") {
            ASSERT_FALSE(lines.empty());
            lines.pop_back(); // the diagnostic entry of the twin
        }
        EXPECT_EQ(lines, expected) << file;
    }
}
#endif
