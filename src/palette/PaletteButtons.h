#pragma once
// The palette's buttons, rebuilt before every showing: the shortcut buttons of the shortcut text in a grid
// at the top, then one button for each service picked from the target application's history and from all
// applications' history. A click invokes the service or posts the key, then does what the line's words say.

#include "accessibility/ServicesMenu.h"
#include "history/HistoryRecorder.h"
#include "platform/Platform.h"
#include "support/KeyboardTables.h"
#include "support/UserDefaults.h"

#include <string>
#include <vector>

namespace quoddle {

// What a click asks of the palette around the buttons.
class PaletteHost {
public:
    virtual ~PaletteHost() = default;
    virtual void hidePalette() = 0;
    // The palette stays until a button or a key hides it: no hiding when the pointer leaves or a press
    // lands elsewhere.
    virtual void pinPalette() = 0;
};

class PaletteButtons {
public:
    PaletteButtons(Platform& platform, const UserDefaults& preferences, KeyboardTables& keyboard,
                   ServicesMenu& servicesMenu, HistoryRecorder& history, PaletteHost& host);
    PaletteButtons(const PaletteButtons&) = delete;
    PaletteButtons& operator=(const PaletteButtons&) = delete;

    // Every button anew for the application of the process, on a palette already as wide as it is to be;
    // false when the palette would be empty.
    bool rebuild(ProcessId target);

private:
    void layOutShortcutButtons();
    void addServiceButtons(const std::string& applicationKey);
    void addServiceButton(const HistoryItem& item);
    void serviceButtonClicked(const std::string& title);
    void shortcutButtonClicked(const std::vector<std::string>& fields);
    // Posts the line's key with its modifiers to the active application; false (after a beep) when that
    // application cannot be reached.
    bool postShortcutKey(const std::vector<std::string>& fields);
    void applyShortcutWords(const std::vector<std::string>& fields);

    Platform& platform_;
    const UserDefaults& preferences_;
    KeyboardTables& keyboard_;
    ServicesMenu& servicesMenu_;
    HistoryRecorder& history_;
    PaletteHost& host_;
    PaletteWindow& palette_;
    ProcessId target_ = -1;
    std::vector<ButtonRef> shortcutButtons_;
    std::vector<ButtonRef> serviceButtons_;
    std::vector<std::string> takenTitles_; // titles that have a button: a service gets at most one
    std::int32_t shortcutRows_ = 2;
};

} // namespace quoddle
