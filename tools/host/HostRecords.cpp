#include "host/HostRecords.h"

#include <algorithm>
#include <cstring>

#include "common/TextCodec.h"

namespace korax::tools::host {

namespace {

// Initial values travel as OLE Automation variants, texts as the host's own 8-bit string.
void WriteInitialValue(HostTagDef& record, const TagValue& initial, std::string& gbkText) {
    switch (initial.Type) {
    case DataType::Real:
        record.InitialType = static_cast<std::uint16_t>(driver::VariantType::Double);
        std::memcpy(record.InitialValue, &initial.Real, sizeof(double));
        break;
    case DataType::Boolean: {
        record.InitialType = static_cast<std::uint16_t>(driver::VariantType::Boolean);
        const std::int16_t truth = initial.Truth ? -1 : 0;
        std::memcpy(record.InitialValue, &truth, sizeof truth);
        break;
    }
    case DataType::Text: {
        record.InitialType = static_cast<std::uint16_t>(driver::VariantType::HostString);
        gbkText = Utf8ToGbk(initial.Text);
        const char* text = gbkText.c_str();
        std::memcpy(record.InitialValue, &text, sizeof text);
        break;
    }
    }
}

} // namespace

std::vector<HostTagDef> TagDefinitions(const std::vector<TagListEntry>& tags,
                                       std::vector<std::string>& initialTexts) {
    std::vector<HostTagDef> records(tags.size());
    initialTexts.resize(tags.size());
    for (std::size_t i = 0; i < tags.size(); ++i) {
        const TagListEntry& entry = tags[i];
        HostTagDef& record = records[i];
        std::memset(&record, 0, sizeof record);
        record.TagId = entry.Id;
        const std::string name = Utf8ToGbk(entry.Name);
        const std::string address = Utf8ToGbk(entry.Address);
        // A field filled to the end has no terminating zero; the driver stops at the field's end.
        std::memcpy(record.Name, name.data(), std::min(name.size(), sizeof record.Name));
        std::memcpy(record.Address, address.data(), std::min(address.size(), sizeof record.Address));
        record.DataType = static_cast<std::uint8_t>(entry.Type);
        record.ScanInterval = entry.ScanInterval;
        if (entry.Initial) WriteInitialValue(record, *entry.Initial, initialTexts[i]);
    }
    return records;
}

TagValueRec WriteRecord(std::uint32_t tagId, const TagValue& value, std::string& gbkText) {
    TagValueRec record;
    std::memset(&record, 0, sizeof record);
    record.TagId = static_cast<std::int32_t>(tagId);
    record.DataType = static_cast<std::uint8_t>(value.Type);
    switch (value.Type) {
    case DataType::Real:
        driver::EncodeReal(record, value.Real);
        break;
    case DataType::Boolean:
        driver::EncodeBoolean(record, value.Truth);
        break;
    case DataType::Text:
        gbkText = Utf8ToGbk(value.Text); // the host's: the driver copies it
        driver::EncodeText(record, gbkText.c_str());
        break;
    }
    return record;
}

std::optional<TagValue> TakeRecordValue(const TagValueRec& record, SharedMemory& memory) {
    const auto type = driver::RecordDataType(record);
    if (!type) return std::nullopt;
    TagValue value;
    value.Type = *type;
    switch (*type) {
    case DataType::Real:
        value.Real = driver::DecodeReal(record);
        break;
    case DataType::Boolean:
        value.Truth = driver::DecodeBoolean(record);
        break;
    case DataType::Text: {
        char* text = driver::DecodeText(record);
        value.Text = GbkToUtf8(memory.Take(text).value_or(std::string()));
        break;
    }
    }
    return value;
}

} // namespace korax::tools::host
