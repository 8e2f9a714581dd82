#pragma once
// The tag layouts the benchmark and the instruction-count check register: where the tags sit decides how
// many requests there are and how many tags share each one.
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "boards/DLLRealize.h"
#include "boards/ModelTables.h"
#include "config/DevicePDB.h"
#include "framework/DLLBase.h"
#include "support/FakeClock.h"
#include "support/TagDefinitions.h"

namespace korax::bench {

// A board that answers at once: every conversion ready, every input 0.
class QuietBus : public boards::PortBus {
public:
    void Write(std::uint16_t, std::uint8_t) override {}
    std::uint8_t Read(std::uint16_t) override { return 0; }
    void Delay(std::uint32_t) override {}
};

class NullSink : public framework::TBaseDLLObject::ReportSink {
public:
    void Report(const framework::TagItem&) override { ++reports; }
    std::int64_t reports = 0;
};

enum class Layout {
    // The tags on the 16 analog inputs of one KRX-A100: 65,535 tags put 4,096 on each input.
    Shared,
    // A full device: 32 boards, the seven models in turn, and the tags dealt out over every channel of
    // every type of every board, one after the other, so up to that many each tag has a channel of its
    // own and beyond it they share them evenly.
    Device,
};

inline std::string_view NameOf(Layout layout) {
    return layout == Layout::Shared ? "shared" : "device";
}

inline Layout LayoutNamed(std::string_view name) {
    if (name == "shared") return Layout::Shared;
    if (name == "device") return Layout::Device;
    throw std::invalid_argument("layout: shared or device");
}

struct Channel {
    std::int32_t Station;
    std::string_view Type;
    std::int32_t Number;
    std::uint8_t DataType; // 0 real for values, 1 Boolean for points
};

inline std::unique_ptr<config::DevicePDB> BlockFor(Layout layout) {
    auto block = std::make_unique<config::DevicePDB>();
    config::FillDefaultPDB(*block);
    if (layout == Layout::Device) {
        for (std::uint8_t slot = 0; slot < config::BoardCount; ++slot)
            block->Boards[slot].DevType = static_cast<std::uint8_t>(slot % 7);
    }
    return block;
}

// Every channel of every type of every board of the full device, board by board, in type order.
inline std::vector<Channel> DeviceChannels() {
    std::vector<Channel> channels;
    for (std::int32_t station = 0; station < config::BoardCount; ++station) {
        const auto model = static_cast<std::uint8_t>(station % 7);
        for (std::int32_t type = 0; type < framework::TagTypeCount; ++type) {
            const framework::ChannelRange range = framework::ChannelRangeOf(model, type);
            if (range.Min < 0) continue;
            const bool point =
                boards::GroupSizeOf(type) > 1 || type == static_cast<std::int32_t>(boards::TagKind::RunCount);
            for (std::int32_t number = range.Min; number <= range.Max; ++number)
                channels.push_back({station, framework::TagTypes[static_cast<std::size_t>(type)].Name, number,
                                    static_cast<std::uint8_t>(point ? 1 : 0)});
        }
    }
    return channels;
}

// The host's definitions: every tag due at every call (scan interval 0), names of at most 15 characters.
inline test::Definitions TagsFor(Layout layout, int count) {
    test::Definitions tags;
    if (layout == Layout::Shared) {
        constexpr int Inputs = 16;
        for (int id = 0; id < count; ++id)
            tags.Add(static_cast<std::uint32_t>(id), std::string("AD").append(std::to_string(id % Inputs)),
                     0);
        return tags;
    }
    const std::vector<Channel> channels = DeviceChannels();
    for (int id = 0; id < count; ++id) {
        const Channel& channel = channels[static_cast<std::size_t>(id) % channels.size()];
        std::string address(channel.Type);
        address.append(std::to_string(channel.Station)).append(":").append(std::to_string(channel.Number));
        tags.Add(static_cast<std::uint32_t>(id), std::move(address), 0).Typed(channel.DataType);
    }
    return tags;
}

// A registered object on a quiet board, run until the steady state: every request answered at least
// twice with the same reply and every forced report spent. Until every request has been sent once, the
// selection brings a request still at its planned countdown only now and then, the later ones of a long
// list after many steps; from then on it serves the list in turn.
struct SteadyObject {
    SteadyObject(Layout layout, int count, test::FakeClock& clock)
        : block(BlockFor(layout)), tags(TagsFor(layout, count)), object(clock, true, &bus) {
        if (!object.Initialise(block.get(), tags.List())) throw std::runtime_error("initialisation failed");
        const auto allSent = [&] {
            for (const framework::RequestPtr& request : object.PollList())
                if (request->Countdown > 1) return false;
            return true;
        };
        constexpr int MostSteps = 10'000'000;
        int steps = 0;
        while (!allSent()) {
            if (++steps > MostSteps) throw std::runtime_error("some request is never sent");
            Step(clock);
        }
        for (std::size_t i = 0; i < 2 * object.PollList().size() + 20; ++i) Step(clock);
        sink.reports = 0;
    }
    // One OnDataRead call: the scan step and the change detection.
    void Step(test::FakeClock& clock) {
        clock.Advance(10);
        object.ScanStep();
        object.CollectReports(sink);
    }

    std::unique_ptr<config::DevicePDB> block;
    test::Definitions tags;
    QuietBus bus;
    boards::TDLLObject object;
    NullSink sink;
};

// Operator new calls of the whole program so far (AllocationCounter.cpp).
std::uint64_t Allocations();

} // namespace korax::bench
