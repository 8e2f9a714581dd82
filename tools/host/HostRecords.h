#pragma once
// The records korax-host hands the driver and takes back, built from and read into the host's own tag
// list and values; the value bytes go through the driver's one record encoding (driver/ValueRecord.h).
#include <optional>
#include <string>
#include <vector>

#include "host/DriverBinding.h"
#include "host/TagFile.h"

namespace korax::tools::host {

// The tag definition records of a tag list, for IniDriver. A text initial value points into the
// GBK strings of `initialTexts`, which must outlive the records.
std::vector<HostTagDef> TagDefinitions(const std::vector<TagListEntry>& tags,
                                       std::vector<std::string>& initialTexts);

// A value record for OnDataWrite. A text points into `gbkText`, which must outlive the record.
TagValueRec WriteRecord(std::uint32_t tagId, const TagValue& value, std::string& gbkText);

// The value a record from OnDataRead carries, or nothing for a data type outside 0..2. Every text the
// record holds goes back to the memory manager at once, whatever becomes of the record.
std::optional<TagValue> TakeRecordValue(const TagValueRec& record, SharedMemory& memory);

} // namespace korax::tools::host
