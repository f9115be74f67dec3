// A selection's palette against large histories: the target application's table and the all-applications
// table each hold N items. Its buttons are rebuilt before every showing, so this must stay well under a
// frame.
#include "Preferences.h"
#include "Quoddle.h"
#include "platform/sim/SimDesktop.h"

#include <benchmark/benchmark.h>

#include <random>

namespace quoddle {
namespace {

PlistDictionary storedTable(std::int64_t items, TimePoint now, std::mt19937& random) {
    std::uniform_int_distribution<int> count(1, 9999), age(0, 365 * 24 * 3600);
    PlistDictionary table;
    auto add = [&](const std::string& title, int uses, TimePoint date) {
        table.emplace(title, plistOfHistoryItem(HistoryItem{title, std::nullopt, uses, date, {}}));
    };
    for (std::int64_t i = 0; i < items; ++i)
        add("Service " + std::to_string(i), count(random), now - std::chrono::seconds(age(random)));
    // A few services used often enough to be shown for their count alone.
    for (int i = 0; i < 3; ++i)
        add("Favourite " + std::to_string(i), 10000 + i, now);
    return table;
}

void BM_PaletteForASelection(benchmark::State& state) {
    SimDesktop desktop;
    const RunningApplication app = desktop.launch("TextEdit", "com.apple.TextEdit");
    ax::ElementRef text = desktop.accessibility.add(
        desktop.accessibility.addWindow(app.processIdentifier, {.frame = Rect{{0, 0}, {800, 600}}}),
        {.role = ax::Role::textArea, .frame = Rect{{10, 10}, {700, 500}}});
    std::mt19937 random(42);
    desktop.defaultsStore.set(
        preference::history,
        PlistDictionary{{"TextEdit", storedTable(state.range(0), desktop.clock.now(), random)},
                        {"*", storedTable(state.range(0), desktop.clock.now(), random)}});
    Quoddle quoddle(desktop.platform());
    quoddle.start();
    desktop.moveMouseTo({100, 100});
    for (auto _ : state) {
        desktop.pressLeftButton();
        desktop.accessibility.focus(text);
        desktop.accessibility.selectText(text, ax::RangeValue{0, 4});
        desktop.releaseLeftButton();
        state.PauseTiming();
        if (!desktop.palette.isVisible()) state.SkipWithError("the palette did not open");
        desktop.pressKey();
        state.ResumeTiming();
    }
    state.SetComplexityN(state.range(0));
    state.counters["buttons"] = static_cast<double>(desktop.palette.buttons().size());
}
BENCHMARK(BM_PaletteForASelection)
    ->Arg(100)
    ->Arg(10000)
    ->Arg(100000)
    ->Complexity(benchmark::oN)
    ->Unit(benchmark::kMicrosecond);

} // namespace
} // namespace quoddle
