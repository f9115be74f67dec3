#include "input/ClickState.h"

namespace quoddle {

namespace {

bool isTextControl(const std::optional<ax::Role>& role) {
    return role == ax::Role::textArea || role == ax::Role::terminal || role == ax::Role::textField ||
           role == ax::Role::comboBox;
}

} // namespace

std::optional<std::string> explanationOf(ClickVerdict verdict) {
    switch (verdict) {
    case ClickVerdict::open:
    case ClickVerdict::noSelection:
    case ClickVerdict::noRelease:
        return std::nullopt;
    case ClickVerdict::selectionOutsidePressedControl:
        return "no palette: the selection is not in the text field that was pressed";
    case ClickVerdict::pressedImage:
        return "no palette: the press was on an image";
    }
    return std::nullopt;
}

void ClickState::leftPressed(std::optional<ElementSummary> element) {
    clear();
    pressed_ = std::move(element);
    pressSeen_ = true;
}

void ClickState::clear() {
    pressed_.reset();
    selection_.reset();
    released_ = false;
    pressSeen_ = false;
    whyIgnored_.reset();
    explained_ = false;
    switching_ = false;
}

void ClickState::applicationDeactivated(std::optional<ProcessId> active) {
    if (active)
        keepOnlyAPressIn(*active);
    else
        switching_ = true;
}

void ClickState::applicationActivated(ProcessId active) {
    if (std::exchange(switching_, false)) keepOnlyAPressIn(active);
}

void ClickState::keepOnlyAPressIn(ProcessId active) {
    // The press that activated the application belongs to it, not to the time before the switch.
    if (pressed_ && pressed_->pid == active) return;
    clear();
}

ClickVerdict ClickState::verdict() const {
    if (!selection_) return ClickVerdict::noSelection;
    if (!released_) return ClickVerdict::noRelease;
    const std::optional<ax::Role> pressedRole = pressed_ ? pressed_->role : std::nullopt;
    if (pressedRole == ax::Role::image) return ClickVerdict::pressedImage;
    // In a text control the selection must lie in the element that was pressed; other elements are not
    // compared.
    if ((isTextControl(pressedRole) || isTextControl(selection_->role)) &&
        (!pressed_ || pressed_->identity != selection_->identity))
        return ClickVerdict::selectionOutsidePressedControl;
    return ClickVerdict::open;
}

} // namespace quoddle
