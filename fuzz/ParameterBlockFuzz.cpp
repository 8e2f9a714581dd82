// Parameter blocks of any content through the board driver object on the board simulator: the block is
// copied, the configured boards are checked, tags become requests on them and a few scan steps, writes
// and reads run on the simulated registers. A host may hand over a block another version wrote, so every
// byte is the input's: model codes above 7, a selected board out of range, names of length 255, any base
// address, board numbers that select no entry.
//
// Input: the block first (where the input ends early, the default block's bytes stand), then the tags
// and steps, read front to back:
//   tag count (0..24), per tag: identifier byte, data type byte, interval byte, value kind byte + value,
//   form byte (high bit: raw text with a length byte, else five address bytes, see MakeAddress);
//   a byte whose low bit makes every converter report "not ready";
//   then steps, an operation byte each (with its arguments) until the input ends.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "boards/DLLRealize.h"
#include "config/DevicePDB.h"
#include "fuzz/FuzzInput.h"
#include "sim/BoardSimulator.h"

namespace {

using namespace korax;
using framework::TagDefinition;
using framework::Value;
using fuzz::Require;

constexpr std::size_t MaxTags = 24;
constexpr std::size_t MaxSteps = 64;
constexpr std::size_t MaxText = 80;       // past the 64 characters an address field holds
constexpr std::uint32_t IdRange = 34;     // a little more than the tags, so some identifiers name none
constexpr std::uint32_t IntervalUnit = 4; // ms per interval byte

// The block in heap memory of exactly its size, so the sanitizer sees any read past it.
std::vector<std::uint8_t> TakeBlock(fuzz::Reader& input) {
    std::vector<std::uint8_t> bytes(sizeof(config::DevicePDB));
    config::FillDefaultPDB(*reinterpret_cast<config::DevicePDB*>(bytes.data()));
    const std::size_t given = std::min(input.Remaining(), bytes.size());
    std::vector<std::uint8_t> head(given);
    input.Bytes(head.data(), given);
    std::copy(head.begin(), head.end(), bytes.begin());
    return bytes;
}

Value TakeValue(fuzz::Reader& input) {
    switch (input.Byte() % 5) {
    case 1:
        return Value::Integer(input.Get<std::int32_t>());
    case 2:
        return Value::Real(input.Get<double>()); // NaN and infinities included
    case 3:
        return Value::Boolean(input.Bool());
    case 4:
        return Value::Text(input.Text(MaxText));
    default:
        return {};
    }
}

TagDefinition TakeTag(fuzz::Reader& input, std::size_t index) {
    TagDefinition tag;
    tag.TagId = input.Byte() % IdRange;
    tag.Name = "T" + std::to_string(index);
    tag.DataType = input.Byte() % 4; // 3 is no data type the driver knows
    tag.ScanInterval = input.Byte() * IntervalUnit;
    tag.InitialValue = TakeValue(input);
    if ((input.Byte() & 0x80) != 0) {
        tag.Address = input.Text(MaxText);
    } else {
        tag.Address = fuzz::MakeAddress(input);
    }
    return tag;
}

// The simulator answers for every configured entry at the base address the driver will use.
sim::BoardSimulator SimulatorFor(const config::DevicePDB& block, bool notReady) {
    sim::BoardSimulator simulator;
    for (std::uint8_t station = 0; station < config::BoardCount; ++station) {
        const config::BoardEntry& entry = block.Boards[station];
        if (!config::IsBoard(entry.DevType)) continue;
        simulator.AddBoard(station, entry.DevType, static_cast<std::uint16_t>(entry.BaseAddress & 0xFFFF));
        if (notReady) simulator.SetNotReady(station, true);
    }
    return simulator;
}

class CountingSink final : public framework::TBaseDLLObject::ReportSink {
public:
    void Report(const framework::TagItem&) override { ++Reports; }
    std::size_t Reports = 0;
};

// What the scan relies on after any operation: while active the index points into the tag table, and
// no request is for a board the check did not find. (Tags may name such a board: after a close the
// table is built again without a new check, and those tags are simply never polled.)
void CheckObject(const boards::TDLLObject& object) {
    const auto& tags = object.TagList();
    if (!object.Active()) return;
    for (const std::int32_t position : object.TagIndex())
        Require(position == framework::TBaseDLLObject::NoTag ||
                (position >= 0 && static_cast<std::size_t>(position) < tags.size()));
    for (const framework::RequestPtr& request : object.PollList())
        Require(object.BoardPresent(request->Station));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Reader input(data, size);
    const std::vector<std::uint8_t> bytes = TakeBlock(input);
    const auto* block = reinterpret_cast<const config::DevicePDB*>(bytes.data());

    std::vector<TagDefinition> tags(input.Byte() % (MaxTags + 1));
    for (std::size_t i = 0; i < tags.size(); ++i) tags[i] = TakeTag(input, i);
    std::vector<const TagDefinition*> list;
    for (const TagDefinition& tag : tags) list.push_back(&tag);

    sim::BoardSimulator simulator = SimulatorFor(*block, input.Bool());
    fuzz::InputClock clock;
    boards::TDLLObject object(clock, true, &simulator);
    object.Initialise(block, list);
    CheckObject(object);

    std::size_t added = 0;
    for (std::size_t step = 0; step < MaxSteps && !input.Empty(); ++step) {
        switch (input.Byte() % 8) {
        case 0:
            object.ScanStep();
            clock.Advance(input.Byte());
            break;
        case 1: {
            const std::uint32_t id = input.Byte() % IdRange;
            object.WriteTag(id, TakeValue(input));
            break;
        }
        case 2:
            object.ReadTag(input.Byte() % IdRange);
            break;
        case 3: {
            CountingSink sink;
            object.CollectReports(sink);
            Require(sink.Reports <= object.TagList().size());
            break;
        }
        case 4: {
            const TagDefinition tag = TakeTag(input, tags.size() + added++);
            const TagDefinition* one[] = {&tag};
            std::int32_t result = -1;
            object.AddTagList(one, std::span(&result, 1));
            Require(result == 0 || result == 1);
            break;
        }
        case 5:
            object.CloseDriver();
            break;
        case 6:
            object.Initialise(block, list);
            break;
        default:
            clock.Advance(input.Get<std::uint32_t>()); // long pauses, and the tick's wrap
            break;
        }
        CheckObject(object);
    }
    return 0;
}
