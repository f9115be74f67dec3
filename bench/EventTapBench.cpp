// The cost of the event tap's callback per event: it runs for every click and key press on the desktop.
#include "QuoddleAppDelegate.h"
#include "input/PassiveEventTap.h"
#include "platform/sim/SimDesktop.h"

#include <benchmark/benchmark.h>

namespace quoddle {
namespace {

// A key press clears the click data and hides the palette at once.
void BM_TapCallbackKeyDown(benchmark::State& state) {
    SimDesktop desktop;
    QuoddleAppDelegate controller(desktop.platform());
    gQuoddleAppDelegate = &controller;
    CGEvent event{kCGEventKeyDown, {10, 10}};
    for (auto _ : state)
        benchmark::DoNotOptimize(MyPassiveEventTapCallBack(nullptr, kCGEventKeyDown, &event, nullptr));
    gQuoddleAppDelegate = nullptr;
}
BENCHMARK(BM_TapCallbackKeyDown);

// A left press only queues its work for the main loop; the queue is drained, with no controller to call,
// every so often so it does not grow without bound.
void BM_TapCallbackLeftMouseDown(benchmark::State& state) {
    SimDesktop desktop;
    QuoddleAppDelegate controller(desktop.platform());
    CGEvent event{kCGEventLeftMouseDown, {10, 10}};
    std::int64_t sinceDrain = 0;
    gQuoddleAppDelegate = &controller;
    for (auto _ : state) {
        benchmark::DoNotOptimize(MyPassiveEventTapCallBack(nullptr, kCGEventLeftMouseDown, &event, nullptr));
        if (++sinceDrain == 4096) {
            state.PauseTiming();
            gQuoddleAppDelegate = nullptr;
            desktop.runLoop.runPending();
            gQuoddleAppDelegate = &controller;
            sinceDrain = 0;
            state.ResumeTiming();
        }
    }
    gQuoddleAppDelegate = nullptr;
    desktop.runLoop.runPending();
}
BENCHMARK(BM_TapCallbackLeftMouseDown);

// Events outside the mask's interest (a disabled type number) cost only the dispatch.
void BM_TapCallbackIgnoredType(benchmark::State& state) {
    SimDesktop desktop;
    QuoddleAppDelegate controller(desktop.platform());
    gQuoddleAppDelegate = &controller;
    CGEvent event{5, {10, 10}};
    for (auto _ : state)
        benchmark::DoNotOptimize(MyPassiveEventTapCallBack(nullptr, 5, &event, nullptr));
    gQuoddleAppDelegate = nullptr;
}
BENCHMARK(BM_TapCallbackIgnoredType);

} // namespace
} // namespace quoddle
