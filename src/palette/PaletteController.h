#pragma once
// The palette: it opens beside the pointer once a left press, a non-empty selection in the pressed
// application and the release have all been seen, and goes again when a button has done its work, on a key
// or a press elsewhere, or when the pointer wanders off.

#include "accessibility/ElementQueries.h"
#include "input/ClickState.h"
#include "input/InputMonitor.h"
#include "palette/PaletteButtons.h"

#include <functional>
#include <optional>
#include <string>

namespace quoddle {

class PaletteController : public InputHandler, private PaletteHost {
public:
    // Why the application of the process is not observed, for the verbose log; none when it is.
    using WhyNotObserved = std::function<std::optional<std::string>(ProcessId)>;

    PaletteController(Platform& platform, const UserDefaults& preferences, ElementQueries& queries,
                      ClickState& clicks, KeyboardTables& keyboard, ServicesMenu& servicesMenu,
                      HistoryRecorder& history, ProcessId ownPid, WhyNotObserved whyNotObserved);
    ~PaletteController() override;
    PaletteController(const PaletteController&) = delete;
    PaletteController& operator=(const PaletteController&) = delete;

    void leftButtonPressed() override;
    void leftButtonReleased() override;
    void otherInputPressed() override;
    // Asked after every release and every non-empty selection; opens the palette when all has been seen.
    void showIfReady();

private:
    void hidePalette() override;
    void pinPalette() override;
    void placeBesidePointer();
    void startPointerWatch();
    void stopPointerWatch();
    void checkPointer();
    // Says why what the press led to opened no palette, once per press, in the verbose log.
    void explain(const std::string& line);
    void explainNoSelection();

    Platform& platform_;
    const UserDefaults& preferences_;
    ElementQueries& queries_;
    ClickState& clicks_;
    ServicesMenu& servicesMenu_;
    PaletteWindow& palette_;
    PaletteButtons buttons_;
    ProcessId ownPid_;
    ProcessId target_ = -1;
    bool pinned_ = false;
    // From a left press in Quoddle's own windows until its release: the palette stays under a button
    // being clicked.
    bool pressInOwnWindow_ = false;
    std::optional<TimerId> pointerWatch_;
    std::optional<TimerId> titlesRead_; // the Services menu's titles, read soon after the palette shows
    WhyNotObserved whyNotObserved_;
};

} // namespace quoddle
