// The tag editor's entry points through the loaded library: the address check and the two template lists.
// Records are read back at raw byte offsets, as a host that knows only the layout would read them.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "host/HostHarness.h"

namespace {

using namespace korax::hosttest;

constexpr std::uint8_t Untouched = 0xCC;

std::string ShortText(const std::uint8_t* field) {
    return std::string(reinterpret_cast<const char*>(field + 1), field[0]);
}

std::int32_t WordAt(const std::uint8_t* record, std::size_t offset) {
    std::int32_t value = 0;
    std::memcpy(&value, record + offset, sizeof value);
    return value;
}

double RealAt(const std::uint8_t* record, std::size_t offset) {
    double value = 0;
    std::memcpy(&value, record + offset, sizeof value);
    return value;
}

// An array of records as the host lays it out, every byte marked so unwritten ones show.
template <typename Record>
struct Records {
    std::vector<Record> Items;
    explicit Records(std::size_t count) : Items(count) {
        std::memset(Items.data(), Untouched, count * sizeof(Record));
    }
    const std::uint8_t* Bytes(std::size_t index) const {
        return reinterpret_cast<const std::uint8_t*>(&Items[index]);
    }
    bool Written(std::size_t index) const { return Bytes(index)[0] != Untouched; }
};

const std::array<const char*, 14> Names = {"AD",   "CLREVENT",   "CommLink",    "COUNT",   "DA",
                                           "DI",   "EnCommLink", "ENLOG",       "DO",      "EVENT_NO",
                                           "FREQ", "TEMP",       "CountTarget", "RunCount"};

class TagEditorHostTest : public HostTest {
protected:
    // TagEdAddr on a host string from the shared memory manager; the cell's result in *address.
    bool EditAddress(const char* text, bool skipCheck, std::optional<std::string>* address) {
        Block block(*driver);
        const std::size_t size = std::strlen(text) + 1;
        char* cell = static_cast<char*>(Manager::Get().GetMem(static_cast<std::int32_t>(size)));
        std::memcpy(cell, text, size);
        char* const original = cell;
        char* message = reinterpret_cast<char*>(&message);
        const bool result = driver->TagEdAddr(block.Data(), &cell, skipCheck ? 1 : 0, &message) != 0;
        EXPECT_EQ(Take(message), std::nullopt);
        EXPECT_NE(cell, original) << "the address comes back as a new string";
        *address = Take(cell);
        char* keep = original;
        EXPECT_EQ(Take(keep), text) << "the string on entry stays the host's, unchanged";
        return result;
    }
};

TEST_F(TagEditorHostTest, AddressCheckNormalisesKnownTypes) {
    std::optional<std::string> address;
    EXPECT_TRUE(EditAddress("AD3", false, &address));
    EXPECT_EQ(address, "AD0:0.3.0");
    EXPECT_TRUE(EditAddress("do5.7", false, &address));
    EXPECT_EQ(address, "DO0:0.5.7");

    EXPECT_FALSE(EditAddress("XYZ", false, &address));
    ASSERT_TRUE(address.has_value());
    EXPECT_EQ(address->substr(0, 8), "EVENT_NO");

    EXPECT_TRUE(EditAddress("XYZ", true, &address)) << "skip check accepts anything as it is";
    EXPECT_EQ(address, "XYZ");
}

TEST_F(TagEditorHostTest, AddressCheckToleratesNilCellAndNilString) {
    Block block(*driver);
    char* address = nullptr;
    char* message = nullptr;
    EXPECT_EQ(driver->TagEdAddr(block.Data(), &address, 0, &message), 0);
    EXPECT_EQ(Take(message), std::nullopt);
    EXPECT_EQ(Take(address), "EVENT_NO-1:-1.-1.-1");
    EXPECT_EQ(driver->TagEdAddr(block.Data(), nullptr, 0, &message), 0);
    EXPECT_EQ(Take(message), std::nullopt);
    EXPECT_EQ(driver->TagEdAddr(block.Data(), &address, 1, nullptr), 1);
    EXPECT_EQ(address, nullptr) << "an empty address is handed back as nil";
}

TEST_F(TagEditorHostTest, TemplatesAreCopiedInOrderWithTheirFixedBytes) {
    Records<TagTemplate> templates(14);
    std::uint16_t count = 14;
    EXPECT_EQ(driver->GetTags(&count, templates.Items.data()), 0);
    const std::uint8_t* ad = templates.Bytes(0);
    EXPECT_EQ(ad[0], 2);
    EXPECT_EQ(ad[1], 'A');
    EXPECT_EQ(ad[2], 'D');
    EXPECT_EQ(ad[3], Untouched) << "only the length byte and the characters are written";
    EXPECT_EQ(ShortText(ad + 256), "模拟量输入");
    EXPECT_EQ(ad[256 + 1 + ad[256]], Untouched);
    EXPECT_EQ(RealAt(ad, 548), 4095.0);
    for (std::size_t i = 0; i < 14; ++i) EXPECT_EQ(ShortText(templates.Bytes(i)), Names[i]) << i;

    // The link state tag: a Boolean input with the host's settings for special tags.
    const std::uint8_t* link = templates.Bytes(2);
    EXPECT_EQ(ShortText(link + 256), "设备通信线路状态");
    EXPECT_EQ(link[512], 1);
    EXPECT_EQ(link[513], 0);
    EXPECT_EQ(link[514], 0);
    EXPECT_EQ(WordAt(link, 516), 0);
    EXPECT_EQ(WordAt(link, 520), 0);
    EXPECT_EQ(link[524], 1);
    EXPECT_EQ(WordAt(link, 528), 0);
    EXPECT_EQ(WordAt(link, 532), 27);
    EXPECT_EQ(link[536], 1);
    EXPECT_EQ(WordAt(link, 540), 0);
    EXPECT_EQ(WordAt(link, 544), 15);
    EXPECT_EQ(RealAt(link, 548), 1.0);
    EXPECT_EQ(RealAt(link, 556), 0.0);
    EXPECT_EQ(WordAt(link, 564), 0);

    // An ordinary tag: the special bytes are 0.
    const std::uint8_t* target = templates.Bytes(12);
    EXPECT_EQ(ShortText(target + 256), "计数的目标值");
    EXPECT_EQ(target[512], 0);
    EXPECT_EQ(target[513], 1);
    EXPECT_EQ(target[524], 0);
    EXPECT_EQ(WordAt(target, 532), 0);
    EXPECT_EQ(target[536], 0);
    EXPECT_EQ(WordAt(target, 544), 0);
    EXPECT_EQ(RealAt(target, 548), 65535.0);
    EXPECT_EQ(ShortText(templates.Bytes(7) + 256), "日志文件输出控制");
    EXPECT_EQ(templates.Bytes(7)[513], 2);
}

TEST_F(TagEditorHostTest, TemplateCountsAreBoundedByTheFourteen) {
    std::uint16_t count = 0;
    EXPECT_EQ(driver->GetTags(&count, nullptr), 0);
    EXPECT_EQ(count, 14);

    Records<TagTemplate> many(20);
    count = 20;
    EXPECT_EQ(driver->GetTags(&count, many.Items.data()), 0);
    EXPECT_TRUE(many.Written(13));
    EXPECT_FALSE(many.Written(14)) << "no more than the fourteen are copied";

    Records<TagTemplate> few(3);
    count = 2;
    driver->GetTags(&count, few.Items.data());
    EXPECT_TRUE(few.Written(1));
    EXPECT_FALSE(few.Written(2));
    count = 0;
    Records<TagTemplate> none(1);
    driver->GetTags(&count, none.Items.data());
    EXPECT_FALSE(none.Written(0));
    EXPECT_EQ(driver->GetTags(nullptr, none.Items.data()), 0);
    EXPECT_EQ(driver->GetTags(nullptr, nullptr), 0);
}

TEST_F(TagEditorHostTest, AddressListEntriesCarryTheTemplatesRange) {
    std::int32_t count = 0;
    driver->GetTagAddrList(0, &count, nullptr);
    EXPECT_EQ(count, 14);

    Records<TagAddrEntry> entries(16);
    count = 16;
    driver->GetTagAddrList(0, &count, entries.Items.data());
    EXPECT_TRUE(entries.Written(13));
    EXPECT_FALSE(entries.Written(14));
    const std::uint8_t* da = entries.Bytes(4);
    EXPECT_EQ(ShortText(da), "DA");
    EXPECT_EQ(da[3], Untouched);
    EXPECT_EQ(ShortText(da + 256), "模拟量输出");
    EXPECT_EQ(da[512], 0);
    EXPECT_EQ(da[513], 1);
    EXPECT_EQ(RealAt(da, 516), 4095.0);
    EXPECT_EQ(RealAt(da, 524), 0.0);
    EXPECT_EQ(WordAt(da, 532), 0);
    const std::uint8_t* enlog = entries.Bytes(7);
    EXPECT_EQ(ShortText(enlog), "ENLOG");
    EXPECT_EQ(enlog[512], 1);
    EXPECT_EQ(enlog[513], 2);
    EXPECT_EQ(RealAt(enlog, 516), 1.0);

    for (const std::int32_t nothing : {0, -1}) {
        Records<TagAddrEntry> none(1);
        count = nothing;
        driver->GetTagAddrList(0, &count, none.Items.data());
        EXPECT_FALSE(none.Written(0)) << nothing;
    }
    driver->GetTagAddrList(0, nullptr, entries.Items.data());
}

} // namespace
