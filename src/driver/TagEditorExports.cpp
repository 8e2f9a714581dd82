// The entry points of the host's tag editor: tag templates, the address list and the address check.
// They need no driver object of the calling thread.
#include <algorithm>
#include <array>
#include <cstddef>
#include <memory>
#include <string>

#include "config/DevicePDB.h"
#include "driver/DriverTexts.h"
#include "driver/EditorRecords.h"
#include "driver/Exports.h"
#include "driver/HostMemory.h"
#include "driver/HostRecords.h"
#include "driver/Library.h"

using korax::config::DevicePDB;
using korax::driver::DriverObject;
using korax::driver::guarded;
using korax::driver::HostBool;
using korax::driver::HostFalse;
using korax::driver::SetOutMessage;
using korax::driver::TagAddrEntry;
using korax::driver::TagTemplate;
using korax::driver::ToHostBool;
namespace texts = korax::driver::texts;

namespace {

using texts::TemplateRow;
using texts::TemplateRows;

constexpr std::size_t TemplateCount = TemplateRows.size();
constexpr double RangeLow = 0.0;
// The host's own settings for the special tags; the driver only hands them over.
constexpr std::uint8_t SpecialFlag = 1;
constexpr std::int32_t SpecialWord532 = 27;
constexpr std::int32_t SpecialWord544 = 15;

// Name and description: only the length byte and the characters, the rest of each field stays the host's.
template <typename Record>
void WriteTexts(Record& record, std::size_t index) {
    korax::config::SetShortString(record.Name, sizeof record.Name, TemplateRows[index].Name);
    korax::config::SetShortString(record.Description, sizeof record.Description,
                                  TemplateRows[index].Description);
}

void WriteTemplate(TagTemplate& record, std::size_t index) {
    const TemplateRow& row = TemplateRows[index];
    WriteTexts(record, index);
    record.DataType = row.DataType;
    record.Access = row.Access;
    record.Field514 = 0;
    record.Field516 = 0;
    record.Field520 = 0;
    record.Field524 = row.Special ? SpecialFlag : 0;
    record.Field528 = 0;
    record.Field532 = row.Special ? SpecialWord532 : 0;
    record.Field536 = row.Special ? SpecialFlag : 0;
    record.Field540 = 0;
    record.Field544 = row.Special ? SpecialWord544 : 0;
    korax::driver::StoreDouble(record.RangeHigh, row.RangeHigh);
    korax::driver::StoreDouble(record.RangeLow, RangeLow);
    record.Tail = 0;
}

void WriteAddrEntry(TagAddrEntry& record, std::size_t index) {
    const TemplateRow& row = TemplateRows[index];
    WriteTexts(record, index);
    record.DataType = row.DataType;
    record.Access = row.Access;
    korax::driver::StoreDouble(record.RangeHigh, row.RangeHigh);
    korax::driver::StoreDouble(record.RangeLow, RangeLow);
    record.Tail = 0;
}

// How many records a host's count asks for: never more than there are templates, none for zero or less.
std::size_t RecordsWanted(std::int64_t count) {
    return static_cast<std::size_t>(std::clamp<std::int64_t>(count, 0, TemplateCount));
}

} // namespace

extern "C" {

std::int32_t KORAX_API GetTags(std::uint16_t* count, TagTemplate* templates) {
    return guarded(std::int32_t{0}, [&] {
        if (count == nullptr) return std::int32_t{0};
        if (templates == nullptr) {
            *count = static_cast<std::uint16_t>(TemplateCount);
            return std::int32_t{0};
        }
        for (std::size_t i = 0; i < RecordsWanted(*count); ++i) WriteTemplate(templates[i], i);
        return std::int32_t{0};
    });
}

void KORAX_API GetTagAddrList(std::int32_t, std::int32_t* count, TagAddrEntry* entries) {
    guarded([&] {
        if (count == nullptr) return;
        if (entries == nullptr) {
            *count = static_cast<std::int32_t>(TemplateCount);
            return;
        }
        for (std::size_t i = 0; i < RecordsWanted(*count); ++i) WriteAddrEntry(entries[i], i);
    });
}

HostBool KORAX_API TagEdAddr(void* block, char** address, HostBool skipCheck, char** message) {
    return guarded(HostFalse, [&] {
        std::string text = korax::driver::ReadHostString(address != nullptr ? *address : nullptr);
        std::unique_ptr<DriverObject> object;
        try {
            object = std::make_unique<DriverObject>(korax::driver::library::ObjectClock(), false);
        } catch (...) {
        }
        bool result = false;
        std::string note;
        if (object == nullptr || block == nullptr) {
            note = texts::InitFailed;
        } else if (skipCheck != HostFalse) {
            result = true;
        } else {
            result = object->CheckTagAddress(static_cast<const DevicePDB*>(block), text);
            note = object->TakeErrEvent();
        }
        SetOutMessage(message, note);
        if (address != nullptr) *address = korax::driver::toHost(text);
        return ToHostBool(result);
    });
}

} // extern "C"
