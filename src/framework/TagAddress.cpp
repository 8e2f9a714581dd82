// Tag types, address parsing and tag validation of the driver object.
//
// An address reads <type>[<station>:][<slot>,]<channel>[.<bit>], e.g. AD3, DI1:5, DO5.7. The parsers
// share no grammar: each scans the text on its own, and where they disagree (the bit after a station, the
// form the tag editor writes back) the tag table keeps what they give, because hosts store addresses
// that were accepted under exactly these rules.
#include <algorithm>
#include <initializer_list>
#include <string>

#include "framework/DLLBase.h"
#include "framework/FrameworkTexts.h"
#include "framework/TagTypes.h"

namespace korax::framework {

namespace {

// Addresses are short strings inside the driver: whatever a caller hands in, only this much is read.
constexpr std::size_t ShortStringMax = 255;

std::string_view ShortString(std::string_view text) {
    return text.substr(0, ShortStringMax);
}

char UpperAscii(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

std::string UpperCase(std::string_view text) {
    std::string upper(text);
    for (char& c : upper) c = UpperAscii(c);
    return upper;
}

// Type names are plain ASCII, so a match can only start on a real character, never inside a GBK pair.
bool StartsWithIgnoreCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (UpperAscii(text[i]) != UpperAscii(prefix[i])) return false;
    }
    return true;
}

// The decimal value of the whole text; -1 for anything else, which the checks then report.
std::int32_t IntegerValue(std::string_view text) {
    std::int32_t value = 0;
    return ParseInt32(text, value) ? value : -1;
}

bool Contains(std::string_view text, char c) {
    return text.find(c) != std::string_view::npos;
}

std::string_view Before(std::string_view text, char c) {
    return text.substr(0, text.find(c));
}

// The text after the first c; all of it when there is none.
std::string_view After(std::string_view text, char c) {
    const std::size_t at = text.find(c);
    return at == std::string_view::npos ? text : text.substr(at + 1);
}

// The address with as many leading characters removed as the type's name has.
std::string_view WithoutTypeName(std::string_view address, const TagType& type) {
    return address.substr(std::min(type.Name.size(), address.size()));
}

// The board entry a station selects; nil for a station that selects none of the 32 entries.
const config::BoardEntry* EntryOf(const config::DevicePDB* block, std::int32_t station) {
    if (block == nullptr || station < 0 || station >= config::BoardCount) return nullptr;
    return &block->Boards[station];
}

std::uint8_t KindOf(const config::DevicePDB* block, std::int32_t station) {
    const config::BoardEntry* entry = EntryOf(block, station);
    return entry == nullptr ? config::NoBoard : config::BoardKind(entry->DevType);
}

} // namespace

bool TBaseDLLObject::CheckDataType(std::uint8_t, std::uint8_t) {
    return true;
}

std::int32_t TBaseDLLObject::ParseSlot(std::string_view address, std::uint8_t kind) {
    address = ShortString(address);
    const TagType* type = TagTypeAt(FindTagType(address));
    if (!config::IsBoard(kind) || type == nullptr) return -1;
    std::string_view rest = WithoutTypeName(address, *type);
    if (Contains(rest, ':')) rest = After(rest, ':');
    if (Contains(rest, ',')) return IntegerValue(Before(rest, ','));
    return type->SlotMin;
}

std::int32_t TBaseDLLObject::ParseChannel(std::string_view address, std::uint8_t kind) {
    address = ShortString(address);
    const std::int32_t typeIndex = FindTagType(address);
    const TagType* type = TagTypeAt(typeIndex);
    if (!config::IsBoard(kind) || type == nullptr) return -1;
    const std::int32_t defaultChannel = ChannelRangeOf(kind, typeIndex).Min;
    if (defaultChannel == -1) return -1;
    std::string_view rest = WithoutTypeName(address, *type);
    if (Contains(rest, ':')) rest = After(rest, ':');
    if (Contains(rest, ',')) rest = After(rest, ',');
    if (Contains(rest, '.')) rest = Before(rest, '.');
    return rest.empty() ? defaultChannel : IntegerValue(rest);
}

std::int32_t TBaseDLLObject::ParseBit(std::string_view address, std::uint8_t kind) {
    address = ShortString(address);
    const TagType* type = TagTypeAt(FindTagType(address));
    if (!config::IsBoard(kind) || type == nullptr) return -1;
    // Runs over the whole address. After a station or a slot the first "." is taken as the one before the
    // bit, so DI1:5.7 keeps "7", which holds no further "." and leaves the bit at its minimum.
    std::string_view rest = address;
    if (Contains(rest, ':')) rest = After(rest, '.');
    if (Contains(rest, ',')) rest = After(rest, '.');
    if (Contains(rest, '.')) return IntegerValue(After(rest, '.'));
    return type->BitMin;
}

std::string TagItem::Keyword() const {
    if (Special) return UpperCase(ShortString(TagAddress));
    const TagType* type = TagTypeAt(TypeIndex);
    return type == nullptr ? std::string() : UpperCase(type->Name);
}

bool TagItem::AddressStartsWith(std::string_view keyword) const {
    return StartsWithIgnoreCase(TagAddress, keyword);
}

std::string TBaseDLLObject::AddressKeyword(std::string_view address) {
    const TagType* type = TagTypeAt(FindTagType(address));
    return type == nullptr ? std::string() : UpperCase(type->Name);
}

void TBaseDLLObject::ValidateTag(TagPtr& item) {
    if (item == nullptr) return;
    const TagItem& tag = *item;
    const config::BoardEntry* entry = EntryOf(PDB_.get(), tag.Station);
    const std::string name =
        entry == nullptr ? std::string() : config::ShortStringText(entry->DevName, config::DevNameSize);

    const auto reject = [&](std::initializer_list<std::string_view> pieces) {
        std::string message = platform::FormatDateTime(Clock().Now());
        for (const std::string_view piece : {texts::TagPrefix, std::string_view(tag.TagName),
                                             texts::AddressPrefix, std::string_view(tag.TagAddress)})
            message += piece;
        for (const std::string_view piece : pieces) message += piece;
        SetDevMsg(std::move(message));
        item.reset();
    };

    const TagType* type = TagTypeAt(tag.TypeIndex);
    if (type == nullptr) return reject({texts::UnknownTagType});
    // Any kind outside the model table counts as no board, so no look-up below leaves the table.
    if (!config::IsBoard(tag.DevKind)) return reject({texts::NoDeviceBefore, name, texts::NoDeviceAfter});
    if (tag.Slot == -1) return reject({texts::SlotErrorBefore, name, texts::NoSuchTagAfter});
    if (tag.Channel == -1) return reject({texts::ChannelErrorBefore, name, texts::NoSuchTagAfter});
    if (tag.Bit == -1) return reject({texts::BitErrorBefore, name, texts::NoSuchTagAfter});
    const ChannelRange channels = ChannelRangeOf(tag.DevKind, tag.TypeIndex);
    if (channels.Min == -1) return reject({texts::TypeNotOnDeviceBefore, name, texts::TypeNotOnDeviceAfter});

    // All six ranges are checked and the last one that fails names the reason.
    struct RangeCheck {
        bool Failed;
        std::string_view Before;
        std::string_view After;
        std::int32_t Limit;
    };
    const RangeCheck checks[] = {
        {tag.Bit > type->BitMax, texts::BitAboveBefore, texts::MaximumAfter, type->BitMax},
        {tag.Bit < type->BitMin, texts::BitBelowBefore, texts::MinimumAfter, type->BitMin},
        {tag.Channel > channels.Max, texts::ChannelOutBefore, texts::MaximumAfter, channels.Max},
        {tag.Channel < channels.Min, texts::ChannelOutBefore, texts::MinimumAfter, channels.Min},
        {tag.Slot > type->SlotMax, texts::SlotOutBefore, texts::MaximumAfter, type->SlotMax},
        {tag.Slot < type->SlotMin, texts::SlotOutBefore, texts::MinimumAfter, type->SlotMin},
    };
    const RangeCheck* failed = nullptr;
    for (const RangeCheck& check : checks) {
        if (check.Failed) failed = &check;
    }
    if (failed != nullptr) {
        const std::string limit = std::to_string(failed->Limit);
        reject({failed->Before, name, failed->After, limit});
    }
}

bool TBaseDLLObject::CheckTagAddress(const config::DevicePDB* block, std::string& address) {
    const std::string source(ShortString(address));
    const std::int32_t typeIndex = FindTagType(source);
    const std::string keyword =
        typeIndex == NoTagType ? std::string(texts::FallbackKeyword) : AddressKeyword(source);
    const std::int32_t station = ParseStation(source);
    const std::uint8_t kind = KindOf(block, station);
    const std::int32_t bit = ParseBit(source, kind);
    const std::int32_t channel = ParseChannel(source, kind);
    const std::int32_t slot = ParseSlot(source, kind);

    // The editor's normal form: Keyword station:slot.channel.bit, the slot left out for a type without slots.
    address = keyword + std::to_string(station) + ":";
    const TagType* type = TagTypeAt(typeIndex);
    if (type == nullptr || type->SlotMin != -1) address += std::to_string(slot) + ".";
    address += std::to_string(channel) + "." + std::to_string(bit);
    return typeIndex != NoTagType;
}

std::int32_t TBaseDLLObject::FindTagType(std::string_view address) const {
    address = ShortString(address);
    std::int32_t result = NoTagType;
    std::size_t bestLength = 0;
    // The longest matching name wins (COUNTTARGET2 is a count target, not a count); of equal ones the first.
    for (std::int32_t index = 0; index < TagTypeCount; ++index) {
        const std::string_view name = TagTypes[static_cast<std::size_t>(index)].Name;
        if (name.size() > bestLength && StartsWithIgnoreCase(address, name)) {
            result = index;
            bestLength = name.size();
        }
    }
    return result;
}

std::int32_t TBaseDLLObject::ParseStation(std::string_view address) {
    address = ShortString(address);
    const TagType* type = TagTypeAt(FindTagType(address));
    if (type == nullptr) return -1;
    const std::string_view rest = WithoutTypeName(address, *type);
    return Contains(rest, ':') ? IntegerValue(Before(rest, ':')) : DefaultStation_;
}

} // namespace korax::framework
