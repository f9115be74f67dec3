#pragma once
// What the palette decision has seen since the click data were last emptied: the left press (and the
// element under it), the release of that press, and a non-empty selection in the pressed application.
// Every left press starts afresh; a key, right or other press and the palette's showing empty it all, and
// so does the deactivation of an application, unless the press was made in the application that became
// active (the press that activated it).

#include "accessibility/ElementQueries.h"

#include <optional>
#include <string>
#include <utility>

namespace quoddle {

// Why the palette does or does not open for what was seen.
enum class ClickVerdict {
    open,
    noSelection,                    // no non-empty selection in the pressed application since the press
    noRelease,                      // the button is still down
    selectionOutsidePressedControl, // a text control was pressed, the selection is in another element
    pressedImage,
};

// The line that says why, for the verbose log; none for the verdicts that are no answer yet.
std::optional<std::string> explanationOf(ClickVerdict verdict);

class ClickState {
public:
    // A left press on the element under the pointer; none when nothing is there (a selection then never
    // counts, as no process matches).
    void leftPressed(std::optional<ElementSummary> element);
    void leftReleased() { released_ = true; }
    bool released() const { return released_; }
    // The element's selection became non-empty, or was found empty (or unfocused).
    void selectionSeen(ElementSummary element) {
        selection_ = std::move(element);
        whyIgnored_.reset();
    }
    void selectionEmptied() { selection_.reset(); }
    // A selection report that does not count, and why, for the verbose log (after a left press only).
    void selectionIgnored(std::string why) {
        if (pressSeen_ && !selection_) whyIgnored_ = std::move(why);
    }
    const std::optional<std::string>& whySelectionIgnored() const { return whyIgnored_; }
    void clear();
    // An application was deactivated; `active` is the one active now. Some window managers pass through
    // none on the way to the next application: what was seen waits for that one to become active.
    void applicationDeactivated(std::optional<ProcessId> active);
    void applicationActivated(ProcessId active);

    // The process of the pressed element; -1 when none, which no process matches.
    ProcessId pressedPid() const { return pressed_ ? pressed_->pid : -1; }
    ProcessId selectionPid() const { return selection_ ? selection_->pid : -1; }
    // The identity of the element whose selection counts, if one does.
    const std::string* selectionIdentity() const { return selection_ ? &selection_->identity : nullptr; }
    ClickVerdict verdict() const;
    // True once after each left press: whether what happens to it is still to be explained.
    bool firstExplanation() { return pressSeen_ && !std::exchange(explained_, true); }

private:
    void keepOnlyAPressIn(ProcessId active);

    std::optional<ElementSummary> pressed_;
    std::optional<ElementSummary> selection_;
    bool released_ = false;
    bool pressSeen_ = false; // a left press, on something or on nothing, since the last emptying
    bool switching_ = false; // deactivated with no application active yet
    std::optional<std::string> whyIgnored_;
    bool explained_ = false;
};

} // namespace quoddle
