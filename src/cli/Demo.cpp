#include "cli/Demo.h"

#include "Quoddle.h"
#include "platform/sim/SimDesktop.h"

#include <sstream>

namespace quoddle {

namespace {

class Demo {
public:
    explicit Demo(std::ostream& out) : out_(out) {}

    int run() {
        setUpDesktop();
        step("Quoddle starts");
        quoddle_.start();
        say("observes " + std::to_string(quoddle_.observedApplicationCount()) +
            " running applications and listens to clicks and keys");
        desktop_.settingsWindow.orderOut();

        step("You drag over a word in TextEdit and let go");
        selectWithTheMouse();
        showPalette();
        say("it read the titles of TextEdit's Services menu: " +
            std::to_string(quoddle_.knownServiceTitleCount()) + " known now");

        step("You click \"Copy\" on the palette");
        click("Copy");
        std::string keys;
        for (const SimKeyEvent& e : desktop_.accessibility.keyEvents())
            keys += (keys.empty() ? "" : ", ") + keyName(e.virtualKey) + (e.keyDown ? " down" : " up");
        say("posts " + keys + " to TextEdit");
        say(std::string("the palette is ") + (desktop_.palette.isVisible() ? "still shown" : "hidden"));

        step("You choose Services > \"Make Sticky\" from TextEdit's menu yourself");
        desktop_.accessibility.openMenu(menus_.servicesMenu);
        desktop_.accessibility.highlightMenuItem(menus_.servicesMenu, menus_.services[0]);
        desktop_.accessibility.chooseMenuItem(menus_.services[0]);
        app("reports AXMenuOpened, AXSelectedChildrenChanged, AXMenuItemSelected, AXMenuClosed");
        printHistory();

        step("You select text again: the service you used has a button now");
        selectWithTheMouse();
        showPalette();

        step("You click \"Make Sticky\" on the palette");
        desktop_.accessibility.clearRecords();
        click("Make Sticky");
        for (const SimPerformedAction& a : desktop_.accessibility.performedActions())
            say("performs " + std::string(ax::nameOf(a.action)) + " on TextEdit's Services item");
        printHistory();

        step("You select text once more and move the pointer away from the palette");
        selectWithTheMouse();
        showPalette();
        desktop_.moveMouseTo({1300, 800});
        desktop_.runLoop.advance(std::chrono::milliseconds(100));
        say(std::string("the palette is ") + (desktop_.palette.isVisible() ? "still shown" : "hidden"));

        step("Quoddle quits");
        quoddle_.actions().terminate();
        say("the history is stored under \"MenuItemHistoryDic\"");
        return 0;
    }

private:
    void setUpDesktop() {
        textEdit_ = desktop_.workspace.launch("TextEdit", "com.apple.TextEdit");
        SimAccessibility& ax = desktop_.accessibility;
        ax.addApplication(textEdit_.processIdentifier, "TextEdit");
        menus_ = ax.addStandardMenuBar(textEdit_.processIdentifier,
                                       {"Make Sticky", "Search With Google", "Show Info in Finder"});
        ax::ElementRef window =
            ax.addWindow(textEdit_.processIdentifier, {.frame = Rect{{100, 80}, {900, 640}}});
        textArea_ = ax.add(window, {.role = ax::Role::textArea, .frame = Rect{{110, 110}, {880, 600}}});
        desktop_.workspace.activate(textEdit_.processIdentifier);
    }

    void selectWithTheMouse() {
        desktop_.moveMouseTo({300, 260});
        desktop_.pressLeftButton();
        desktop_.accessibility.focus(textArea_);
        desktop_.moveMouseTo({380, 262});
        desktop_.accessibility.selectText(textArea_, ax::RangeValue{40, 12});
        app("reports AXSelectedTextChanged while you drag");
        desktop_.releaseLeftButton();
        // A moment passes, as between a person's movements: timers due in it fire.
        desktop_.runLoop.advance(std::chrono::milliseconds(100));
    }

    void showPalette() {
        if (!desktop_.palette.isVisible()) {
            say("no palette");
            return;
        }
        const Rect f = desktop_.palette.frame();
        say("the palette opens at (" + number(f.origin.x) + ", " + number(f.origin.y) + "), " +
            number(f.size.width) + " x " + number(f.size.height) + " points, with these buttons:");
        for (const auto& button : desktop_.palette.buttons()) {
            const Rect b = button->frame();
            say("  [" + button->title() + "] at x=" + number(b.origin.x) + " y=" + number(b.origin.y) +
                " w=" + number(b.size.width) + " h=" + number(b.size.height));
        }
    }

    void click(const std::string& title) {
        if (SimButton* button = desktop_.palette.buttonTitled(title)) desktop_.clickButton(*button);
    }

    void printHistory() {
        say("the history, as the settings window shows it:");
        std::string text = quoddle_.actions().historyText();
        for (std::size_t start = 0; start < text.size();) {
            std::size_t end = text.find('\n', start);
            say("  " + text.substr(start, end - start));
            start = end == std::string::npos ? text.size() : end + 1;
        }
    }

    std::string keyName(std::uint16_t keyCode) {
        switch (keyCode) {
        case 55:
            return "Command";
        case 56:
            return "Shift";
        case 58:
            return "Option";
        case 59:
            return "Control";
        default:
            if (std::optional<char16_t> unit = desktop_.keyboardLayout.characterForKeyCode(keyCode);
                unit && *unit < 0x80)
                return "'" + std::string(1, static_cast<char>(*unit)) + "'";
            return "'?'";
        }
    }
    static std::string number(double value) {
        std::ostringstream text;
        text << value;
        return text.str();
    }
    void step(const std::string& what) { out_ << "\n> " << what << "\n"; }
    void say(const std::string& what) { out_ << "  Quoddle: " << what << "\n"; }
    void app(const std::string& what) { out_ << "  TextEdit: " << what << "\n"; }

    std::ostream& out_;
    SimDesktop desktop_;
    Quoddle quoddle_{desktop_.platform()};
    RunningApplication textEdit_;
    SimMenuBar menus_;
    ax::ElementRef textArea_;
};

} // namespace

int runDemo(std::ostream& out) {
    return Demo(out).run();
}

} // namespace quoddle
