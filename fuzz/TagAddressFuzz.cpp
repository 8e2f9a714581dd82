// Arbitrary address texts and parameter blocks through the address parsers, the tag validation (by way
// of Initialise and AddTagList, as the host's tag lists reach it) and the tag editor's check. Beyond the
// sanitizers it insists on what the tag table relies on: an accepted tag lies inside its tables' ranges,
// and the editor's check answers exactly for the addresses that name a type.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <vector>

#include "config/DevicePDB.h"
#include "framework/DLLBase.h"
#include "framework/TagTypes.h"

namespace {

using korax::config::DevicePDB;
using namespace korax::framework;

class FixedClock final : public korax::platform::Clock {
public:
    std::uint32_t TickMs() override { return 1000; }
    double Now() override { return 45000.5; }
};

constexpr std::size_t MaxAddresses = 4;
constexpr std::size_t MaxAddressLength = 400; // past the 255 the parsers read

void Require(bool condition) {
    if (!condition) __builtin_trap();
}

// The rest of the input becomes the block: repeated over all of it, or written into a default block
// at an offset the input chooses. The block is heap memory of exactly its size, so the sanitizer sees
// any read past it.
std::vector<std::uint8_t> MakeBlock(FuzzedDataProvider& input, bool raw) {
    std::vector<std::uint8_t> bytes(sizeof(DevicePDB));
    const std::size_t offset = input.ConsumeIntegralInRange<std::size_t>(0, bytes.size() - 1);
    const std::vector<std::uint8_t> rest = input.ConsumeRemainingBytes<std::uint8_t>();
    if (raw) {
        for (std::size_t i = 0; i < bytes.size() && !rest.empty(); ++i) bytes[i] = rest[i % rest.size()];
    } else {
        korax::config::FillDefaultPDB(*reinterpret_cast<DevicePDB*>(bytes.data()));
        if (!rest.empty())
            std::memcpy(bytes.data() + offset, rest.data(), std::min(rest.size(), bytes.size() - offset));
    }
    return bytes;
}

void CheckAcceptedTag(const TagItem& tag) {
    if (tag.Special) return;
    const TagType* type = TagTypeAt(tag.TypeIndex);
    Require(type != nullptr);
    Require(korax::config::IsBoard(tag.DevKind));
    Require(tag.Station >= 0 && tag.Station < korax::config::BoardCount);
    const ChannelRange channels = ChannelRangeOf(tag.DevKind, tag.TypeIndex);
    Require(channels.Min != -1 && tag.Channel >= channels.Min && tag.Channel <= channels.Max);
    Require(tag.Slot >= type->SlotMin && tag.Slot <= type->SlotMax);
    Require(tag.Bit >= type->BitMin && tag.Bit <= type->BitMax);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const bool rawBlock = input.ConsumeBool();
    const auto kind = input.ConsumeIntegral<std::uint8_t>();
    const bool nilBlock = input.ConsumeProbability<float>() < 0.1f;

    std::vector<TagDefinition> definitions;
    while (definitions.size() < MaxAddresses && input.remaining_bytes() > 0) {
        TagDefinition definition;
        definition.TagId = static_cast<std::uint32_t>(definitions.size());
        definition.Name = "Tag" + std::to_string(definitions.size());
        definition.Address = input.ConsumeRandomLengthString(MaxAddressLength);
        definition.DataType = input.ConsumeIntegralInRange<std::uint8_t>(0, 3);
        definitions.push_back(std::move(definition));
    }
    const std::vector<std::uint8_t> bytes = MakeBlock(input, rawBlock);
    const auto* block = reinterpret_cast<const DevicePDB*>(bytes.data());

    FixedClock clock;
    TBaseDLLObject editor(clock, false);
    for (const TagDefinition& definition : definitions) {
        const std::string& address = definition.Address;
        const std::int32_t type = editor.FindTagType(address);
        Require(type >= NoTagType && type < TagTypeCount);
        Require(editor.AddressKeyword(address).empty() == (type == NoTagType));
        editor.ParseStation(address);
        for (const std::uint8_t k : {kind, std::uint8_t{0}, std::uint8_t{3}, korax::config::NoBoard}) {
            editor.ParseSlot(address, k);
            editor.ParseChannel(address, k);
            editor.ParseBit(address, k);
        }
        std::string edited = address;
        Require(editor.CheckTagAddress(nilBlock ? nullptr : block, edited) == (type != NoTagType));
        Require(edited.size() < 256);
    }

    std::vector<const TagDefinition*> list;
    for (const TagDefinition& definition : definitions) list.push_back(&definition);
    TBaseDLLObject object(clock, true);
    object.Initialise(nilBlock ? nullptr : block, list);
    std::vector<std::int32_t> results(list.size(), -1);
    object.AddTagList(list, results);
    for (const std::int32_t result : results) Require(result == 0 || result == 1);
    for (const TagPtr& tag : object.TagList()) CheckAcceptedTag(*tag);
    return 0;
}
