// What one OnDataRead costs in the steady state (every tag due, nothing changed, forced reports spent),
// with few and with many registered tags, and what registering 65,535 tags costs in time and memory.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <memory>
#include <string>

#include "config/DevicePDB.h"
#include "framework/DLLBase.h"
#include "support/FakeClock.h"
#include "support/TagDefinitions.h"

using namespace korax::framework;

namespace {

constexpr int Channels = 16;

// Tags of one channel share one request, as the board classes arrange it, so both table sizes poll the
// same sixteen requests and the difference left is the tag table itself.
class GroupingObject : public TBaseDLLObject {
public:
    using TBaseDLLObject::TBaseDLLObject;
    bool JoinRequest(PollListType& list, TagItem& tag, bool write) override {
        if (write) return TBaseDLLObject::JoinRequest(list, tag, write);
        for (const RequestPtr& request : list) {
            if (request->Station == tag.Station && request->TypeIndex == tag.TypeIndex &&
                request->ChannelLow == tag.Channel) {
                request->TagPositions.push_back(tag.ListIndex);
                return false;
            }
        }
        return TBaseDLLObject::JoinRequest(list, tag, write);
    }
    void SendRequest(PollRequest& request) override {
        ReplyReady_ = true; // the board answers at once
        TBaseDLLObject::SendRequest(request);
    }
};

class NullSink : public TBaseDLLObject::ReportSink {
public:
    void Report(const TagItem&) override { ++reports; }
    std::int64_t reports = 0;
};

korax::test::Definitions MakeTags(int count) {
    korax::test::Definitions tags;
    for (int id = 0; id < count; ++id) {
        tags.Add(static_cast<std::uint32_t>(id), std::string("AD").append(std::to_string(id % Channels)), 0);
    }
    return tags;
}

std::unique_ptr<korax::config::DevicePDB> DefaultBlock() {
    auto block = std::make_unique<korax::config::DevicePDB>();
    korax::config::FillDefaultPDB(*block);
    return block;
}

void OnDataReadSteadyState(benchmark::State& state) {
    korax::test::FakeClock clock;
    const auto block = DefaultBlock();
    auto tags = MakeTags(static_cast<int>(state.range(0)));
    GroupingObject object(clock, true);
    if (!object.Initialise(block.get(), tags.List())) state.SkipWithError("initialisation failed");
    NullSink sink;
    for (int i = 0; i < 10; ++i) { // spend the forced reports
        clock.Advance(10);
        object.ScanStep();
        object.CollectReports(sink);
    }
    sink.reports = 0;
    for (auto _ : state) {
        clock.Advance(10);
        object.ScanStep();
        object.CollectReports(sink);
    }
    if (sink.reports != 0) state.SkipWithError("the steady state reported tags");
}
BENCHMARK(OnDataReadSteadyState)->Arg(100)->Arg(65535);

void IniDriver65535(benchmark::State& state) {
    korax::test::FakeClock clock;
    const auto block = DefaultBlock();
    auto tags = MakeTags(65535);
    double bytesPerTag = 0;
    for (auto _ : state) {
        const std::size_t before = mallinfo2().uordblks;
        auto object = std::make_unique<GroupingObject>(clock, true);
        const bool loaded = object->Initialise(block.get(), tags.List());
        const std::size_t after = mallinfo2().uordblks;
        bytesPerTag = static_cast<double>(after - before) / 65535.0;
        benchmark::DoNotOptimize(loaded);
        state.PauseTiming();
        object.reset();
        state.ResumeTiming();
    }
    state.counters["bytes_per_tag"] = bytesPerTag;
}
BENCHMARK(IniDriver65535)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
