// Host tag definitions as raw records through IniDriver and AddTags, the way a host's tag list reaches
// the driver: names and addresses that fill their fields without a zero, every variant type code, huge and
// repeated identifiers, nil entries and counts that disagree with the array. The tags are then scanned,
// read on demand and their reports checked against what was defined, and every string is released.
//
// Input, front to back:
//   block byte: bit 0 nil block, bit 1 nil tag array, bits 2..3 how many board entries are overwritten
//   (each: station, model code, base address low and high, board number);
//   record count (0..16), per record a control byte and the 136 bytes of the record; control bits:
//   0 nil entry, 1 identifier of the record before, 2 an identifier above 0x7FFFFFFF, 3 a string value
//   for a string variant (a length byte and the characters follow the record);
//   count byte: low two bits exact / fewer / negative / zero, the rest how many fewer;
//   split byte: where AddTags takes over; AddTags count byte; bit 7 of it: no result array;
//   scan count (0..7), per scan an advance of the clock in 8 ms units.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "config/DevicePDB.h"
#include "driver/HostRecords.h"
#include "fuzz/HostSide.h"

namespace {

using namespace korax;
using driver::HostTagDef;
using driver::TagValueRec;
using driver::VariantType;
using fuzz::Require;

constexpr std::size_t MaxRecords = 16;
constexpr std::size_t MaxScans = 7;
constexpr std::uint32_t ScanAdvanceUnit = 8;
// Identifiers are meant to be small and dense: the index costs four bytes for every identifier below the
// largest. Indexable ones stay below 2^18 here so an input cannot ask for gigabytes; every identifier the
// driver refuses outright (above 0x7FFFFFFF) can occur.
constexpr std::uint32_t IndexableIds = 0x3FFFF;
constexpr std::uint32_t RefusedIdBit = 0x80000000u;
constexpr std::uint32_t TextType = 2;

// Texts a record's variant points to; they live until the end of the input, as a host's do.
struct Texts {
    std::vector<std::unique_ptr<std::string>> Narrow;
    std::vector<std::unique_ptr<std::u16string>> Wide;
};

// A string variant carries a pointer, which no input may choose: it points to text from the input or is
// nil. By-reference variants keep their bytes: the driver must not follow them.
void FixPointer(HostTagDef& record, bool withText, fuzz::Reader& input, Texts& texts) {
    const auto type = static_cast<VariantType>(record.InitialType);
    const void* pointer = nullptr;
    if (type == VariantType::HostString) {
        if (withText)
            pointer = texts.Narrow.emplace_back(std::make_unique<std::string>(input.Text(255)))->c_str();
    } else if (type == VariantType::WideString) {
        if (withText) {
            const std::string bytes = input.Text(255);
            auto wide = std::make_unique<std::u16string>(bytes.size() / 2, u'\0');
            std::memcpy(wide->data(), bytes.data(), wide->size() * 2);
            pointer = texts.Wide.emplace_back(std::move(wide))->c_str();
        }
    } else {
        return;
    }
    std::memset(record.InitialValue, 0, sizeof record.InitialValue);
    std::memcpy(record.InitialValue, &pointer, sizeof pointer);
}

std::vector<std::uint8_t> MakeBlock(fuzz::Reader& input, std::uint8_t boardPokes) {
    std::vector<std::uint8_t> bytes(sizeof(config::DevicePDB));
    auto& block = *reinterpret_cast<config::DevicePDB*>(bytes.data());
    FullPDB(&block);
    for (std::uint8_t i = 0; i < boardPokes; ++i) {
        config::BoardEntry& entry = block.Boards[input.Byte() % config::BoardCount];
        entry.DevType = input.Byte();
        entry.BaseAddress = input.Get<std::uint16_t>();
        entry.BoardNo = static_cast<std::int8_t>(input.Byte());
    }
    return bytes;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::HostSide& host = fuzz::HostSide::Get();
    fuzz::Reader input(data, size);

    const std::uint8_t blockByte = input.Byte();
    std::vector<std::uint8_t> block = MakeBlock(input, (blockByte >> 2) & 3);

    Texts texts;
    std::vector<HostTagDef> records(input.Byte() % (MaxRecords + 1));
    std::vector<const HostTagDef*> pointers(records.size());
    std::set<std::int32_t> ids;
    for (std::size_t i = 0; i < records.size(); ++i) {
        const std::uint8_t control = input.Byte();
        HostTagDef& record = records[i];
        input.Bytes(&record, sizeof record);
        if ((control & 0x02) != 0 && i > 0) {
            record.TagId = records[i - 1].TagId;
        } else if ((control & 0x04) != 0) {
            record.TagId |= RefusedIdBit;
        } else {
            record.TagId &= IndexableIds;
        }
        FixPointer(record, (control & 0x08) != 0, input, texts);
        pointers[i] = (control & 0x01) != 0 ? nullptr : &record;
        ids.insert(static_cast<std::int32_t>(record.TagId));
    }

    const std::int32_t count = fuzz::HostCount(input, records.size());
    const std::size_t split = input.Byte() % (records.size() + 1);
    const std::uint8_t addByte = input.Byte();
    const auto added = static_cast<std::uint16_t>((addByte & 0x7F) % (records.size() - split + 1));
    const bool withResults = (addByte & 0x80) == 0;

    // A host's array is never nil, even when it is empty.
    const HostTagDef* const none = nullptr;
    const HostTagDef* const* array = pointers.empty() ? &none : pointers.data();
    char* message = nullptr;
    IniDriver(count, (blockByte & 2) != 0 ? nullptr : array, (blockByte & 1) != 0 ? nullptr : block.data(),
              &message);
    host.Release(message);

    // A thread without a driver object (the initialisation refused) gets the fixed scan time.
    const bool hasObject = DetectScanTime() != 1000;
    std::vector<std::int32_t> results(added, -1);
    const HostTagDef* const* rest = pointers.empty() ? &none : pointers.data() + split;
    const std::int32_t addResult = AddTags(added, rest, withResults ? results.data() : nullptr);
    Require(addResult == 0 || addResult == 1);
    if (hasObject && withResults) {
        for (const std::int32_t result : results) Require(result == 0 || result == 1);
    }

    // Every definition handed over may have become a tag: that many records, not one more.
    const std::size_t bound = static_cast<std::size_t>(std::max(count, 0)) + added;
    const auto reports = std::make_unique<TagValueRec[]>(bound);
    const std::size_t scans = input.Byte() % (MaxScans + 1);
    for (std::size_t scan = 0; scan < scans; ++scan) {
        host.Clock.Advance(input.Byte() * ScanAdvanceUnit);
        std::int32_t reported = -1;
        OnDataRead(&reported, reports.get(), &message);
        host.Release(message);
        Require(reported >= 0 && static_cast<std::size_t>(reported) <= bound);
        for (std::int32_t i = 0; i < reported; ++i) {
            TagValueRec& record = reports[static_cast<std::size_t>(i)];
            Require(ids.contains(record.TagId));
            if (record.DataType != TextType) continue;
            char* text = nullptr;
            std::memcpy(&text, record.Value, sizeof text);
            host.Release(text);
        }
    }

    std::vector<std::int32_t> wanted(ids.begin(), ids.end());
    ReadTags(static_cast<std::uint16_t>(wanted.size()), wanted.data(), 0);
    FreeDriver();
    host.EndSession();
    return 0;
}
