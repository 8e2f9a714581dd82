// What one OnDataRead costs (the scan step and the change detection of the driver object, on a board
// that answers at once) in the steady state (every tag due, nothing changed, forced reports spent),
// with few and with many registered tags, and what registering 65,535 tags costs in time and memory.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <memory>
#include <string>

#include "config/DevicePDB.h"
#include "boards/DLLRealize.h"
#include "framework/DLLBase.h"
#include "support/FakeClock.h"
#include "support/TagDefinitions.h"

using namespace korax::framework;

namespace {

constexpr int Channels = 16;

// A board that answers at once: every conversion ready, every input 0.
class QuietBus : public korax::boards::PortBus {
public:
    void Write(std::uint16_t, std::uint8_t) override {}
    std::uint8_t Read(std::uint16_t) override { return 0; }
    void Delay(std::uint32_t) override {}
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
    QuietBus bus;
    korax::boards::TDLLObject object(clock, true, &bus);
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
    QuietBus bus;
    double bytesPerTag = 0;
    for (auto _ : state) {
        const std::size_t before = mallinfo2().uordblks;
        auto object = std::make_unique<korax::boards::TDLLObject>(clock, true, &bus);
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
