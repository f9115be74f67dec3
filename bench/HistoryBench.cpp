// Recording a use into a large history, and ordering a large application table.
#include "history/ServiceHistory.h"

#include <benchmark/benchmark.h>

#include <random>

namespace quoddle {
namespace {

const TimePoint t0 = std::chrono::sys_days{std::chrono::year{2026} / 1 / 1};

ApplicationHistory makeTable(int size) {
    std::mt19937 random(7);
    ApplicationHistory table;
    table.reserve(size);
    for (int i = 0; i < size; ++i)
        table.put(
            HistoryItem{"Service number " + std::to_string(i),
                        std::nullopt,
                        std::uniform_int_distribution<int>(1, 500)(random),
                        t0 + std::chrono::seconds(std::uniform_int_distribution<int>(0, 1 << 24)(random)),
                        {}});
    return table;
}

void BM_RecordUseIn10000Items(benchmark::State& state) {
    ServiceHistory history;
    history.tableFor("TextEdit") = makeTable(10000);
    history.tableFor("*") = makeTable(10000);
    TimePoint now = t0;
    int i = 0;
    for (auto _ : state) {
        const std::string title = "Service number " + std::to_string(i++ % 10000);
        now += std::chrono::seconds(1);
        for (const char* key : {"TextEdit", "*"})
            history.tableFor(key).recordUse(title, now);
    }
}
BENCHMARK(BM_RecordUseIn10000Items);

void BM_SortByCount10000(benchmark::State& state) {
    ApplicationHistory table = makeTable(10000);
    for (auto _ : state)
        benchmark::DoNotOptimize(table.itemsByCount());
}
BENCHMARK(BM_SortByCount10000)->Unit(benchmark::kMicrosecond);

// The palette's recent pass: the newest few of a large table.
void BM_NewestOf10000(benchmark::State& state) {
    ApplicationHistory table = makeTable(10000);
    for (auto _ : state)
        benchmark::DoNotOptimize(table.newestItems(3, [](const std::string&) { return false; }));
}
BENCHMARK(BM_NewestOf10000)->Unit(benchmark::kMicrosecond);

} // namespace
} // namespace quoddle
