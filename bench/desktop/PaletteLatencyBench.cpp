// How fast the palette answers a real selection, and what Quoddle costs while it waits: run on the virtual
// desktop (scripts/desktop-session build/PaletteLatencyBench). For the GTK sample and for each of Debian's
// applications that the end-to-end tests drive, each iteration drag-selects words with XTest and times,
// from outside, the synthetic release to the palette's X window being mapped, and to its first drawing
// (XDamage). On a virtual display an application's own drawing can keep the X server busy for a while
// after a drag, so the time from the server's handling of the release (its raw event) to the drawing is
// reported too: that part is Quoddle's. An application that is not installed or does not start is
// reported skipped.
#include "DebianApplications.h"

#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>
#include <X11/extensions/Xdamage.h>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <poll.h>
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

double millisecondsBetween(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

// The applications' text-selection events, timestamped as they reach this process.
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

// When the X server handled a release, mapped the palette's window and was first drawn into it, as seen
// on a connection of the benchmark's own.
struct Moments {
    Clock::time_point released, mapped, drawn;
};

class PaletteWatch {
public:
    explicit PaletteWatch(unsigned long window) : display_(XOpenDisplay(nullptr)), window_(window) {
        int error = 0, event = 0, major = 2, minor = 1; // 2.1: raw events of master devices
        if (!display_ || !XDamageQueryExtension(display_, &damageEvent_, &error) ||
            !XQueryExtension(display_, "XInputExtension", &inputOpcode_, &event, &error) ||
            XIQueryVersion(display_, &major, &minor) != Success)
            return;
        unsigned char bits[XIMaskLen(XI_LASTEVENT)] = {};
        XISetMask(bits, XI_RawButtonRelease);
        XIEventMask mask{XIAllMasterDevices, sizeof bits, bits};
        XISelectEvents(display_, DefaultRootWindow(display_), &mask, 1);
        XSelectInput(display_, window_, StructureNotifyMask);
        damage_ = XDamageCreate(display_, window_, XDamageReportNonEmpty);
        XSync(display_, False);
    }
    ~PaletteWatch() {
        if (damage_) XDamageDestroy(display_, damage_);
        if (display_) XCloseDisplay(display_);
    }
    bool available() const { return damage_ != 0; }

    // Forgets what was drawn so far, so the next drawing is reported.
    void reset() {
        XDamageSubtract(display_, damage_, None, None);
        XSync(display_, False);
        while (XPending(display_)) {
            XEvent event;
            XNextEvent(display_, &event);
        }
    }
    // Waits for the release, the map and the first drawing after it.
    std::optional<Moments> waitForPalette() {
        std::optional<Clock::time_point> released, mapped, drawn;
        const Clock::time_point deadline = Clock::now() + 3s;
        while (!(released && mapped && drawn) && Clock::now() < deadline) {
            pumpAtspi();
            if (!XPending(display_)) {
                pollfd connection{ConnectionNumber(display_), POLLIN, 0};
                poll(&connection, 1, 2);
                continue;
            }
            XEvent event;
            XNextEvent(display_, &event);
            const Clock::time_point now = Clock::now();
            if (event.type == GenericEvent && event.xcookie.extension == inputOpcode_ &&
                event.xcookie.evtype == XI_RawButtonRelease && !released)
                released = now;
            if (event.type == MapNotify && event.xmap.window == window_) mapped = now;
            if (event.type == damageEvent_ + XDamageNotify) {
                if (mapped && !drawn) drawn = now;
                XDamageSubtract(display_, damage_, None, None);
            }
        }
        if (!released || !mapped || !drawn) return std::nullopt;
        return Moments{*released, *mapped, *drawn};
    }

private:
    Display* display_;
    unsigned long window_;
    int damageEvent_ = 0;
    int inputOpcode_ = 0;
    Damage damage_ = 0;
};

// One application with its words and a Quoddle, kept while the next case drags in the same application.
struct Desk {
    explicit Desk(const Target& target) : name(target.name) {
        app = start(target, folder.path());
        if (!app->window() || !readyForWords(screen, *app, target, folder.path())) return;
        quoddle = std::make_unique<Quoddle>(PlistDictionary{}, QuoddleOptions{.verbose = true});
        if (!quoddle->ready()) return;
        screen.activate(app->window());
        waitFor([&] { return (palette = quoddle->paletteWindow(screen)) != 0; });
    }

    std::string name;
    Screen screen;
    TempFolder folder;
    std::unique_ptr<Application> app;
    std::unique_ptr<Quoddle> quoddle;
    unsigned long palette = 0;
};
std::unique_ptr<Desk> desk;

Desk& deskFor(const Target& target) {
    if (!desk || desk->name != target.name) {
        desk.reset(); // one application at a time
        desk = std::make_unique<Desk>(target);
    }
    return *desk;
}

void recordIdleCost(benchmark::State& state, Desk& at) {
    auto idleCost = [&](std::chrono::seconds span) {
        const ProcessCost before = costOf(at.quoddle->pid());
        std::this_thread::sleep_for(span);
        const ProcessCost after = costOf(at.quoddle->pid());
        return std::pair{double(after.contextSwitches - before.contextSwitches) / double(span.count()),
                         double(after.cpuTicks - before.cpuTicks) * 1000.0 / double(sysconf(_SC_CLK_TCK))};
    };
    const auto [shownWakeups, shownCpuMs] = idleCost(std::chrono::seconds(3));
    at.screen.key("Escape");
    waitFor([&] { return !at.screen.mappedFrame(at.palette); }, 2s);
    const auto [idleWakeups, idleCpuMs] = idleCost(std::chrono::seconds(5));
    const ProcessCost memory = costOf(at.quoddle->pid());
    state.counters["rss_MB"] = double(memory.rssKiB) * 1024.0 / 1e6;
    state.counters["rss_anonymous_MB"] = double(memory.anonymousKiB) * 1024.0 / 1e6;
    state.counters["idle_wakeups_per_s"] = idleWakeups;
    state.counters["idle_cpu_ms_in_5s"] = idleCpuMs;
    state.counters["shown_wakeups_per_s"] = shownWakeups;
    state.counters["shown_cpu_ms_in_3s"] = shownCpuMs;
}

void PaletteLatency(benchmark::State& state, const Target& target, const Place& place, bool withIdleCost) {
    if (!Screen().available()) {
        state.SkipWithError("no display: run under scripts/desktop-session");
        return;
    }
    Desk& at = deskFor(target);
    if (!at.app->window() || !at.quoddle || !at.quoddle->ready() || !at.palette) {
        state.SkipWithError((target.name + " or Quoddle did not start").c_str());
        return;
    }
    const std::optional<Segment> words = locateWords(at.screen, *at.app, place);
    PaletteWatch watch(at.palette);
    if (!words || !watch.available()) {
        state.SkipWithError("the words are not to be found on the screen, or no XDamage");
        return;
    }
    const Accessible element = place.role == ATSPI_ROLE_INVALID ? Accessible() : wordsElement(*at.app, place);

    std::vector<double> toMapped, toDrawn, serverToDrawn;
    for (auto _ : state) {
        // Start from nothing: no palette, and a click away from the words leaves no selection to drag.
        at.screen.key("Escape");
        waitFor([&] { return !at.screen.mappedFrame(at.palette); }, 2s);
        // Then a pause, as a hand makes between a click and the next drag; without one, the click's own
        // check of the selection could find the next drag's.
        at.screen.click(words->toX + 80, words->fromY);
        const Clock::time_point clicked = Clock::now();
        waitFor([&] {
            pumpAtspi();
            return Clock::now() - clicked > 150ms && (!element || element.selectedText().empty());
        });
        at.screen.drag(words->fromX, words->fromY, words->toX, words->toY, false);
        // Let the selection settle as a hand pauses before letting go.
        const Clock::time_point dragged = Clock::now();
        waitFor(
            [&] {
                pumpAtspi();
                return Clock::now() - std::max(dragged, lastSelectionEvent) > 30ms;
            },
            1s);
        watch.reset();
        const Clock::time_point released = Clock::now();
        at.screen.release();
        const std::optional<Moments> shown = watch.waitForPalette();
        if (!shown) {
            const std::string log = at.quoddle->log();
            std::fprintf(stderr, "%s: after %zu palettes, Quoddle's log ends:\n%s\n", target.name.c_str(),
                         toMapped.size(),
                         log.substr(log.size() - std::min<size_t>(log.size(), 4000)).c_str());
            state.SkipWithError("the palette did not open");
            break;
        }
        toMapped.push_back(millisecondsBetween(released, shown->mapped));
        toDrawn.push_back(millisecondsBetween(released, shown->drawn));
        serverToDrawn.push_back(millisecondsBetween(shown->released, shown->drawn));
        state.SetIterationTime(toDrawn.back() / 1000);
    }
    state.counters["mapped_p50_ms"] = percentile(toMapped, 0.5);
    state.counters["mapped_p99_ms"] = percentile(toMapped, 0.99);
    state.counters["drawn_p50_ms"] = percentile(toDrawn, 0.5);
    state.counters["drawn_p99_ms"] = percentile(toDrawn, 0.99);
    // The first drag after the application started: its first accessibility answers can be slow (Firefox
    // took up to 313 ms for one call), and with 50 drags the p99 is that drag whenever it is the slowest.
    if (!toDrawn.empty()) state.counters["first_drawn_ms"] = toDrawn.front();
    state.counters["server_release_to_drawn_p50_ms"] = percentile(serverToDrawn, 0.5);
    state.counters["server_release_to_drawn_p99_ms"] = percentile(serverToDrawn, 0.99);
    // What Quoddle costs while nothing happens, and while the palette waits with its pointer check on.
    if (withIdleCost && !toDrawn.empty()) recordIdleCost(state, at);
}

// A function, as the words it shows are another file's constant.
const Target& gtkSampleView() {
    static const Target sample{
        .name = "GtkSample",
        .command = {(buildDirectory() / "quoddle-gtk-sample").string(), "--view-text",
                    kWords + " zeta eta theta iota kappa"},
        .title = "Quoddle GTK Sample",
        .places = {{"text view", ATSPI_ROLE_TEXT, kWords, Locate::ElementCorner, true, 150}}};
    return sample;
}

} // namespace
} // namespace quoddle::desktop

int main(int argc, char** argv) {
    using namespace quoddle::desktop;
    AtspiEventListener* listener = atspi_event_listener_new(onSelection, nullptr, nullptr);
    atspi_event_listener_register(listener, "object:text-selection-changed", nullptr);
    std::vector<const Target*> targets{&gtkSampleView(), &kMousepad};
    for (const char* name : {"gedit", "GnomeTextEditor", "kwrite", "LibreOfficeWriter", "FirefoxESR",
                             "Chromium", "xfce4terminal", "xterm"})
        targets.push_back(&debianApplication(name));
    for (const Target* target : targets)
        for (const Place& place : target->places)
            benchmark::RegisterBenchmark(("PaletteLatency/" + target->name + "/" + place.name).c_str(),
                                         [target, &place](benchmark::State& state) {
                                             PaletteLatency(state, *target, place,
                                                            target == &gtkSampleView());
                                         })
                ->Iterations(target == &gtkSampleView() ? 100 : 50)
                ->UseManualTime()
                ->Unit(benchmark::kMillisecond);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    desk.reset();
    atspi_event_listener_deregister(listener, "object:text-selection-changed", nullptr);
    g_object_unref(listener);
}
