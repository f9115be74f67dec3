// The cost of the input tap's callback per event: it runs for every click and key press on the desktop.
#include "Quoddle.h"
#include "platform/sim/SimDesktop.h"

#include <benchmark/benchmark.h>

namespace quoddle {
namespace {

// A key press empties the click data and hides the palette at once.
void BM_TapCallbackKeyDown(benchmark::State& state) {
    SimDesktop desktop;
    Quoddle quoddle(desktop.platform());
    quoddle.start();
    for (auto _ : state)
        desktop.eventTaps.deliver(InputEventType::keyDown);
}
BENCHMARK(BM_TapCallbackKeyDown);

// A left press only queues its work for the main loop; the queue is run, outside the timing, every so
// often so it does not grow without bound.
void BM_TapCallbackLeftButtonDown(benchmark::State& state) {
    SimDesktop desktop;
    Quoddle quoddle(desktop.platform());
    quoddle.start();
    std::int64_t sinceDrain = 0;
    for (auto _ : state) {
        desktop.eventTaps.deliver(InputEventType::leftButtonDown);
        if (++sinceDrain == 4096) {
            state.PauseTiming();
            desktop.runLoop.runPending();
            sinceDrain = 0;
            state.ResumeTiming();
        }
    }
    desktop.runLoop.runPending();
}
BENCHMARK(BM_TapCallbackLeftButtonDown);

} // namespace
} // namespace quoddle
