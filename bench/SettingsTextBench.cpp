// The settings text of a 100,000-item history: writing it (load), reading it into a new history (apply),
// and, for scale, a plain line-and-tab read of the same text and the regex field split on its own.
#include "history/SettingsText.h"
#include "support/Regex.h"

#include <benchmark/benchmark.h>

#include <random>
#include <string_view>

namespace quoddle {
namespace {

constexpr int kItems = 100'000;
constexpr int kApplications = 40;

const ServiceHistory& history() {
    static const ServiceHistory made = [] {
        ServiceHistory h;
        std::mt19937 random(7);
        const TimePoint start = std::chrono::sys_days{std::chrono::year{2026} / 1 / 1};
        for (int i = 0; i < kItems; ++i) {
            std::string app =
                i % kApplications == 0 ? "*" : "Application " + std::to_string(i % kApplications);
            HistoryItem item{"Services Item Title " + std::to_string(i),
                             std::nullopt,
                             static_cast<std::int32_t>(random() % 10000),
                             start + std::chrono::seconds(i),
                             {}};
            if (i % 5 == 0) item.userTitle = "Label " + std::to_string(i);
            h.tableFor(app).put(std::move(item));
        }
        return h;
    }();
    return made;
}

const std::string& text() {
    static const std::string made = settingTextOfHistory(history());
    return made;
}

void BM_LoadSettingText(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(settingTextOfHistory(history()));
    state.SetItemsProcessed(state.iterations() * kItems);
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text().size()));
}
BENCHMARK(BM_LoadSettingText)->Unit(benchmark::kMillisecond);

void BM_ApplySettingText(benchmark::State& state) {
    const TimePoint now = std::chrono::system_clock::now();
    for (auto _ : state) {
        ParsedSettingText parsed = historyOfSettingText(text(), history(), now);
        if (parsed.acceptedLines != static_cast<std::size_t>(kItems)) state.SkipWithError("lines were lost");
        benchmark::DoNotOptimize(parsed);
    }
    state.SetItemsProcessed(state.iterations() * kItems);
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text().size()));
}
BENCHMARK(BM_ApplySettingText)->Unit(benchmark::kMillisecond);

// The floor: cut the same text into lines and tab-separated fields with std::string_view::find, no regex,
// no history.
void BM_PlainLineAndTabRead(benchmark::State& state) {
    const std::string_view all = text();
    for (auto _ : state) {
        std::size_t fields = 0;
        for (std::size_t start = 0; start < all.size();) {
            std::size_t end = all.find('\n', start);
            if (end == std::string_view::npos) end = all.size();
            const std::string_view line = all.substr(start, end - start);
            start = end + 1;
            if (line.empty() || line.front() == '#') continue;
            for (std::size_t from = 0; from < line.size();) {
                std::size_t tab = line.find('\t', from);
                if (tab == std::string_view::npos) tab = line.size();
                if (tab > from) ++fields;
                benchmark::DoNotOptimize(line.substr(from, tab - from));
                from = tab + 1;
            }
        }
        benchmark::DoNotOptimize(fields);
    }
    state.SetItemsProcessed(state.iterations() * kItems);
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text().size()));
}
BENCHMARK(BM_PlainLineAndTabRead)->Unit(benchmark::kMillisecond);

// Only the field split of every item line through the regex helpers: the share of apply that is the regex.
void BM_RegexFieldSplitOnly(benchmark::State& state) {
    std::vector<std::string> lines;
    forEachLineOfText(text(), [&](std::string_view line) {
        if (!line.empty() && line.front() != '#') lines.emplace_back(line);
    });
    for (auto _ : state)
        for (const std::string& line : lines)
            benchmark::DoNotOptimize(splitByPattern(line, "\t+"));
    state.SetItemsProcessed(state.iterations() * kItems);
}
BENCHMARK(BM_RegexFieldSplitOnly)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace quoddle
