// How fast the palette answers a real selection, and what Quoddle costs while it waits: run on the virtual
// desktop (scripts/desktop-session build/PaletteLatencyBench). Each iteration drag-selects in the GTK
// sample application with XTest and times, from outside, the synthetic release (and the later of the
// release and the application's last selection event) to the palette's X window being mapped.
#include "DesktopHarness.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <thread>
#include <unistd.h>

namespace quoddle::desktop {
namespace {

using Clock = std::chrono::steady_clock;

double percentile(std::vector<double> values, double fraction) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const auto index = static_cast<std::size_t>(fraction * static_cast<double>(values.size() - 1) + 0.5);
    return values[std::min(index, values.size() - 1)];
}

// The application's text-selection events, timestamped as they reach this process.
Clock::time_point lastSelectionEvent;
void onSelection(AtspiEvent* event, void*) {
    lastSelectionEvent = Clock::now();
    g_boxed_free(ATSPI_TYPE_EVENT, event);
}

void pumpAtspi() {
    while (g_main_context_iteration(nullptr, FALSE)) {
    }
}

struct ProcessCost {
    long rssKiB = 0;
    long anonymousKiB = 0;    // the process's own memory, without the shared libraries' pages
    long contextSwitches = 0; // voluntary and involuntary: each is a wake-up or a preemption
    long cpuTicks = 0;
};

ProcessCost costOf(pid_t pid) {
    ProcessCost cost;
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        std::istringstream fields(line);
        std::string key;
        long value = 0;
        fields >> key >> value;
        if (key == "VmRSS:") cost.rssKiB = value;
        if (key == "RssAnon:") cost.anonymousKiB = value;
        if (key == "voluntary_ctxt_switches:" || key == "nonvoluntary_ctxt_switches:")
            cost.contextSwitches += value;
    }
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    std::istringstream after(text.substr(text.rfind(')') + 2));
    std::string field;
    for (int i = 3; i <= 15 && after >> field; ++i)
        if (i == 14 || i == 15) cost.cpuTicks += std::stol(field); // utime, stime
    return cost;
}

void PaletteLatency(benchmark::State& state) {
    Screen screen;
    if (!screen.available()) {
        state.SkipWithError("no display: run under scripts/desktop-session");
        return;
    }
    Application gtk({(buildDirectory() / "quoddle-gtk-sample").string(), "--view-text",
                     "alpha beta gamma delta epsilon zeta eta theta iota kappa"},
                    "Quoddle GTK Sample");
    Quoddle quoddle;
    screen.activate(gtk.window());
    Accessible view = gtk.textView();
    AtspiEventListener* listener = atspi_event_listener_new(onSelection, nullptr, nullptr);
    atspi_event_listener_register(listener, "object:text-selection-changed", nullptr);
    const Box box = *view.extents();
    const unsigned long palette = quoddle.paletteWindow(screen);
    if (!palette || !view) {
        state.SkipWithError("the sample application or the palette window is missing");
        return;
    }

    std::vector<double> fromRelease, fromLaterEvent;
    for (auto _ : state) {
        // Start from nothing: no palette, no selection.
        screen.key("Escape");
        waitFor([&] { return !screen.mappedFrame(palette); }, 2s);
        screen.click(box.x + box.width - 10, box.y + box.height - 10);
        pumpAtspi();
        screen.drag(box.x + 6, box.y + 10, box.x + 156, box.y + 10, false);
        // Let the selection settle as a hand pauses before letting go.
        waitFor(
            [&] {
                pumpAtspi();
                return Clock::now() - lastSelectionEvent > 30ms;
            },
            1s);
        const Clock::time_point released = Clock::now();
        screen.release();
        std::optional<Clock::time_point> mapped = screen.waitForMap(palette, pumpAtspi);
        if (!mapped) {
            state.SkipWithError("the palette did not open");
            break;
        }
        const double sinceRelease = std::chrono::duration<double>(*mapped - released).count();
        const double sinceLater =
            std::chrono::duration<double>(*mapped - std::max(released, lastSelectionEvent)).count();
        fromRelease.push_back(sinceRelease * 1000);
        fromLaterEvent.push_back(sinceLater * 1000);
        state.SetIterationTime(sinceRelease);
    }
    state.counters["release_p50_ms"] = percentile(fromRelease, 0.5);
    state.counters["release_p99_ms"] = percentile(fromRelease, 0.99);
    state.counters["later_event_p50_ms"] = percentile(fromLaterEvent, 0.5);
    state.counters["later_event_p99_ms"] = percentile(fromLaterEvent, 0.99);

    // What Quoddle costs while nothing happens, and while the palette waits with its pointer check on.
    auto idleCost = [&](std::chrono::seconds span) {
        const ProcessCost before = costOf(quoddle.pid());
        std::this_thread::sleep_for(span);
        const ProcessCost after = costOf(quoddle.pid());
        return std::pair{double(after.contextSwitches - before.contextSwitches) / double(span.count()),
                         double(after.cpuTicks - before.cpuTicks) * 1000.0 / double(sysconf(_SC_CLK_TCK))};
    };
    const auto [shownWakeups, shownCpuMs] = idleCost(std::chrono::seconds(3));
    screen.key("Escape");
    waitFor([&] { return !screen.mappedFrame(palette); }, 2s);
    const auto [idleWakeups, idleCpuMs] = idleCost(std::chrono::seconds(5));
    const ProcessCost memory = costOf(quoddle.pid());
    state.counters["rss_MB"] = double(memory.rssKiB) * 1024.0 / 1e6;
    state.counters["rss_anonymous_MB"] = double(memory.anonymousKiB) * 1024.0 / 1e6;
    state.counters["idle_wakeups_per_s"] = idleWakeups;
    state.counters["idle_cpu_ms_in_5s"] = idleCpuMs;
    state.counters["shown_wakeups_per_s"] = shownWakeups;
    state.counters["shown_cpu_ms_in_3s"] = shownCpuMs;
    atspi_event_listener_deregister(listener, "object:text-selection-changed", nullptr);
    g_object_unref(listener);
}

BENCHMARK(PaletteLatency)->Iterations(120)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace
} // namespace quoddle::desktop

BENCHMARK_MAIN();
