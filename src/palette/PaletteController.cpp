#include "palette/PaletteController.h"

#include "Preferences.h"
#include "palette/PaletteMetrics.h"
#include "palette/PalettePlacement.h"

namespace quoddle {

namespace {
constexpr double kOpacity = 0.85;
constexpr std::chrono::duration<double> kPointerWatchInterval{0.05};
constexpr std::chrono::duration<double> kTitlesReadDelay{0.05};
} // namespace

PaletteController::PaletteController(Platform& platform, const UserDefaults& preferences,
                                     ElementQueries& queries, ClickState& clicks, KeyboardTables& keyboard,
                                     ServicesMenu& servicesMenu, HistoryRecorder& history, ProcessId ownPid,
                                     WhyNotObserved whyNotObserved)
    : platform_(platform), preferences_(preferences), queries_(queries), clicks_(clicks),
      servicesMenu_(servicesMenu), palette_(platform.interface.palette),
      buttons_(platform, preferences, keyboard, servicesMenu, history, *this), ownPid_(ownPid),
      whyNotObserved_(std::move(whyNotObserved)) {
    palette_.setWillCloseHandler([this] { stopPointerWatch(); });
}

PaletteController::~PaletteController() {
    palette_.setWillCloseHandler(nullptr);
    stopPointerWatch();
    if (titlesRead_) platform_.runLoop.invalidateTimer(*titlesRead_);
}

void PaletteController::leftButtonPressed() {
    std::optional<ElementSummary> pressed;
    if (ax::ElementRef element = queries_.elementUnderPointer()) pressed = queries_.summaryOf(element);
    clicks_.leftPressed(std::move(pressed));
    const bool inOwnWindow = clicks_.pressedPid() == ownPid_;
    if (!inOwnWindow && !pinned_) hidePalette();
    pressInOwnWindow_ = inOwnWindow;
}

void PaletteController::leftButtonReleased() {
    pressInOwnWindow_ = false;
    clicks_.leftReleased();
    showIfReady();
}

void PaletteController::explainNoSelection() {
    // Also when the report that did not count comes after the release (an application that answers late).
    if (const std::optional<std::string>& why = clicks_.whySelectionIgnored()) {
        explain(*why);
    } else if (std::optional<std::string> why = whyNotObserved_(clicks_.pressedPid())) {
        explain(*why);
    }
}

void PaletteController::explain(const std::string& line) {
    // One line for what a press led to.
    if (clicks_.firstExplanation()) platform_.appServices.explain(line);
}

void PaletteController::otherInputPressed() {
    clicks_.clear();
    hidePalette();
}

void PaletteController::showIfReady() {
    if (palette_.isVisible()) return;
    if (const ClickVerdict verdict = clicks_.verdict(); verdict != ClickVerdict::open) {
        if (std::optional<std::string> why = explanationOf(verdict))
            explain(*why);
        else if (verdict == ClickVerdict::noSelection && clicks_.released())
            explainNoSelection();
        return;
    }
    // The target first: emptying the click data forgets it.
    target_ = clicks_.selectionPid();
    pinned_ = false;
    clicks_.clear();

    palette_.setFrameOrigin(platform_.pointer.screenLocation());
    // The rebuild reads the width, so it is set first.
    Rect frame = palette_.frame();
    frame.size.width = static_cast<double>(preferences_.integerForKey(preference::paletteWidth));
    palette_.setFrame(frame, false);
    palette_.setOpacity(kOpacity);
    if (buttons_.rebuild(target_)) {
        placeBesidePointer();
        startPointerWatch();
    } else {
        platform_.appServices.explain("no palette: it would have no buttons");
    }
    // Read once the palette has had a frame or two to draw: the first read of a large menu bar (a browser's)
    // takes long, and the palette must not stand there blank meanwhile.
    if (titlesRead_) platform_.runLoop.invalidateTimer(*titlesRead_);
    titlesRead_ = platform_.runLoop.scheduleTimer(kTitlesReadDelay, false, [this, pid = target_] {
        titlesRead_.reset();
        servicesMenu_.learnTitlesFrom(pid);
    });
}

void PaletteController::placeBesidePointer() {
    const std::vector<Rect> screens = platform_.screens.screenFrames();
    const Rect fallback = palette_.screenFrame().value_or(screens.empty() ? Rect{} : screens.front());
    palette_.setFrameOrigin(
        paletteOriginBesidePointer(palette_.frame().size, platform_.pointer.eventLocation(), screens,
                                   fallback, asInt32(preferences_.integerForKey(preference::paletteMargin))));
    palette_.orderFront();
}

void PaletteController::hidePalette() {
    if (palette_.isVisible()) palette_.orderOut();
    stopPointerWatch();
}

void PaletteController::pinPalette() {
    pinned_ = true;
    stopPointerWatch();
}

void PaletteController::startPointerWatch() {
    stopPointerWatch();
    pointerWatch_ = platform_.runLoop.scheduleTimer(kPointerWatchInterval, true, [this] { checkPointer(); });
}

void PaletteController::stopPointerWatch() {
    if (!pointerWatch_) return;
    platform_.runLoop.invalidateTimer(*pointerWatch_);
    pointerWatch_.reset();
}

void PaletteController::checkPointer() {
    // A press held inside the palette (a button being clicked) must not lose the palette under it.
    if (pressInOwnWindow_) return;
    const Point p = platform_.pointer.screenLocation();
    const Rect f = palette_.frame();
    if (p.x >= f.minX() && p.x < f.maxX() && p.y >= f.minY() && p.y < f.maxY()) return;
    // The margin is the user's integer, doubled in 32 bits as the palette's geometry is.
    const std::int32_t d =
        asInt32(2 * std::int64_t{asInt32(preferences_.integerForKey(preference::paletteMargin))});
    if (p.x < f.minX() - d || p.x > f.maxX() + d || p.y < f.minY() - d || p.y > f.maxY() + d) hidePalette();
}

} // namespace quoddle
