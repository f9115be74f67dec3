#include "platform/Accessibility.h"

namespace quoddle::ax {

// No default: a name added to an enumeration is a compile error (-Werror=switch) until it has its text.
std::string_view nameOf(Role role) {
    switch (role) {
    case Role::unknown:
        return "AXUnknown";
    case Role::systemWide:
        return "AXSystemWide";
    case Role::application:
        return "AXApplication";
    case Role::window:
        return "AXWindow";
    case Role::sheet:
        return "AXSheet";
    case Role::menuBar:
        return "AXMenuBar";
    case Role::menuBarItem:
        return "AXMenuBarItem";
    case Role::menu:
        return "AXMenu";
    case Role::menuItem:
        return "AXMenuItem";
    case Role::button:
        return "AXButton";
    case Role::menuButton:
        return "AXMenuButton";
    case Role::checkBox:
        return "AXCheckBox";
    case Role::radioButton:
        return "AXRadioButton";
    case Role::link:
        return "AXLink";
    case Role::tabGroup:
        return "AXTabGroup";
    case Role::table:
        return "AXTable";
    case Role::outline:
        return "AXOutline";
    case Role::row:
        return "AXRow";
    case Role::cell:
        return "AXCell";
    case Role::list:
        return "AXList";
    case Role::group:
        return "AXGroup";
    case Role::scrollArea:
        return "AXScrollArea";
    case Role::scrollBar:
        return "AXScrollBar";
    case Role::slider:
        return "AXSlider";
    case Role::progressIndicator:
        return "AXProgressIndicator";
    case Role::levelIndicator:
        return "AXLevelIndicator";
    case Role::splitGroup:
        return "AXSplitGroup";
    case Role::splitter:
        return "AXSplitter";
    case Role::toolbar:
        return "AXToolbar";
    case Role::helpTag:
        return "AXHelpTag";
    case Role::ruler:
        return "AXRuler";
    case Role::dateField:
        return "AXDateField";
    case Role::timeField:
        return "AXTimeField";
    case Role::webArea:
        return "AXWebArea";
    case Role::textArea:
        return "AXTextArea";
    case Role::terminal:
        return "AXTerminal";
    case Role::textField:
        return "AXTextField";
    case Role::comboBox:
        return "AXComboBox";
    case Role::staticText:
        return "AXStaticText";
    case Role::heading:
        return "AXHeading";
    case Role::image:
        return "AXImage";
    }
    return "AXUnknown";
}

std::string_view nameOf(Attribute attribute) {
    switch (attribute) {
    case Attribute::role:
        return "AXRole";
    case Attribute::title:
        return "AXTitle";
    case Attribute::description:
        return "AXDescription";
    case Attribute::children:
        return "AXChildren";
    case Attribute::parent:
        return "AXParent";
    case Attribute::position:
        return "AXPosition";
    case Attribute::size:
        return "AXSize";
    case Attribute::focused:
        return "AXFocused";
    case Attribute::enabled:
        return "AXEnabled";
    case Attribute::focusedElement:
        return "AXFocusedUIElement";
    case Attribute::selectedChildren:
        return "AXSelectedChildren";
    case Attribute::selectedTextRange:
        return "AXSelectedTextRange";
    case Attribute::selectedTextMarkerRange:
        return "AXSelectedTextMarkerRange";
    }
    return "AXUnknown";
}

std::string_view nameOf(Action action) {
    switch (action) {
    case Action::press:
        return "AXPress";
    case Action::cancel:
        return "AXCancel";
    case Action::showMenu:
        return "AXShowMenu";
    }
    return "AXUnknown";
}

std::string_view nameOf(Notification notification) {
    switch (notification) {
    case Notification::selectedTextChanged:
        return "AXSelectedTextChanged";
    case Notification::menuItemSelected:
        return "AXMenuItemSelected";
    case Notification::menuOpened:
        return "AXMenuOpened";
    case Notification::menuClosed:
        return "AXMenuClosed";
    case Notification::selectedChildrenChanged:
        return "AXSelectedChildrenChanged";
    }
    return "AXUnknown";
}

} // namespace quoddle::ax
