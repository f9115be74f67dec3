// The palette rebuild against large histories: the target application's table and the all-applications
// table each hold N items. The rebuild runs before every showing, so it must stay well under a frame.
#include "QuoddleAppDelegate.h"
#include "platform/sim/SimDesktop.h"

#include <benchmark/benchmark.h>

#include <random>

namespace quoddle {
namespace {

void fill(ApplicationHistory& table, std::int64_t items, TimePoint now, std::mt19937& random) {
    std::uniform_int_distribution<int> count(1, 9999), age(0, 365 * 24 * 3600);
    for (std::int64_t i = 0; i < items; ++i)
        table.put(HistoryItem{"Service " + std::to_string(i),
                              std::nullopt,
                              count(random),
                              now - std::chrono::seconds(age(random)),
                              {}});
    // A few services used often enough to be shown for their count alone.
    for (int i = 0; i < 3; ++i)
        table.put(HistoryItem{"Favourite " + std::to_string(i), std::nullopt, 10000 + i, now, {}});
}

void BM_addServiceButton(benchmark::State& state) {
    resetProcessWideState();
    SimDesktop desktop;
    QuoddleAppDelegate controller(desktop.platform());
    RunningApplication app = desktop.workspace.launch("TextEdit", "com.apple.TextEdit");
    controller.serviceTargetAppPid = app.processIdentifier;
    std::mt19937 random(42);
    fill(controller.menuItemHistoryDic.tableFor("TextEdit"), state.range(0), desktop.clock.now(), random);
    fill(controller.menuItemHistoryDic.tableFor("*"), state.range(0), desktop.clock.now(), random);

    for (auto _ : state)
        benchmark::DoNotOptimize(controller.addServiceButton());
    state.SetComplexityN(state.range(0));
    state.counters["buttons"] = static_cast<double>(controller.serviceButtonArray.size());
    resetProcessWideState();
}
BENCHMARK(BM_addServiceButton)
    ->Arg(100)
    ->Arg(10000)
    ->Arg(100000)
    ->Complexity(benchmark::oN)
    ->Unit(benchmark::kMicrosecond);

} // namespace
} // namespace quoddle
