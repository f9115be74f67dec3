// Saving a large history (four applications of 10,000 items each): what the main thread spends building
// the stored form and handing it to the preferences file, and what the write itself costs.
#include "history/ServiceHistory.h"
#include "platform/defaults/FileDefaultsStore.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <random>
#include <unistd.h>

namespace quoddle {
namespace {

const TimePoint t0 = std::chrono::sys_days{std::chrono::year{2026} / 1 / 1};

ServiceHistory makeHistory() {
    std::mt19937 random(7);
    ServiceHistory history;
    for (const char* application : {"mousepad", "linguist", "firefox", "*"}) {
        ApplicationHistory& table = history.tableFor(application, 10000);
        for (int i = 0; i < 10000; ++i)
            table.put(
                HistoryItem{"Service number " + std::to_string(i),
                            std::nullopt,
                            std::uniform_int_distribution<int>(1, 500)(random),
                            t0 + std::chrono::seconds(std::uniform_int_distribution<int>(0, 1 << 24)(random)),
                            {}});
    }
    return history;
}

std::filesystem::path scratchFile() {
    return std::filesystem::temp_directory_path() /
           ("quoddle-save-bench-" + std::to_string(getpid()) + ".plist");
}

void BM_StoredFormOf40000Items(benchmark::State& state) {
    const ServiceHistory history = makeHistory();
    for (auto _ : state)
        benchmark::DoNotOptimize(history.toPlist());
    state.SetLabel("main thread: the history's stored form");
}
BENCHMARK(BM_StoredFormOf40000Items)->Unit(benchmark::kMillisecond);

void BM_SetAndWrite40000Items(benchmark::State& state) {
    ServiceHistory history = makeHistory();
    FileDefaultsStore store(scratchFile());
    int use = 0;
    for (auto _ : state) {
        history.tableFor("*").recordUse("Service number " + std::to_string(use++ % 10000), t0);
        store.set("MenuItemHistoryDic", history.toPlist());
        store.synchronize();
    }
    std::filesystem::remove(scratchFile());
    state.SetLabel("stored form, set and a synchronous write");
}
BENCHMARK(BM_SetAndWrite40000Items)->Unit(benchmark::kMillisecond);

// What a save made beside the main loop costs the main loop: the stored form, the set, and the copy handed
// to the writer thread. The write itself is waited for outside the measurement.
void BM_MainThreadPartOfABackgroundSave(benchmark::State& state) {
    ServiceHistory history = makeHistory();
    FileDefaultsStore store(scratchFile());
    int use = 0;
    for (auto _ : state) {
        history.tableFor("*").recordUse("Service number " + std::to_string(use++ % 10000), t0);
        store.set("MenuItemHistoryDic", history.toPlist());
        store.synchronizeInBackground();
        state.PauseTiming();
        store.synchronize();
        state.ResumeTiming();
    }
    std::filesystem::remove(scratchFile());
    state.SetLabel("main thread: stored form, set and hand-off");
}
BENCHMARK(BM_MainThreadPartOfABackgroundSave)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace quoddle
