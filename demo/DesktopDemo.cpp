// Quoddle's typical use on a virtual desktop, step by step, with the GTK and Qt sample applications: what a
// person does (real input through XTest), what Quoddle does in answer, and screenshots of the palette next
// to the real selection. scripts/demo runs it inside scripts/desktop-session.
#include "DesktopHarness.h"

#include <fstream>
#include <iostream>

namespace quoddle::desktop {
namespace {

void step(const std::string& what) {
    std::cout << "\n> " << what << "\n";
}
void say(const std::string& what) {
    std::cout << "  Quoddle: " << what << "\n";
}
void app(const std::string& what) {
    std::cout << "  Application: " << what << "\n";
}

std::string describe(const Box& box) {
    return "(" + std::to_string(box.x) + ", " + std::to_string(box.y) + "), " + std::to_string(box.width) +
           " x " + std::to_string(box.height) + " pixels";
}

class Demo {
public:
    int run() {
        if (!screen_.available()) {
            std::cerr << "quoddle-desktop-demo: no display; scripts/demo runs it on a virtual one\n";
            return 1;
        }
        step("Quoddle starts, with the GTK sample application open");
        Application gtk({(buildDirectory() / "quoddle-gtk-sample").string(), "--view-text",
                         "the quick brown fox jumps over the lazy dog"},
                        "Quoddle GTK Sample");
        Quoddle quoddle;
        say(lastLine(quoddle.log()));
        screen_.activate(gtk.window());
        Accessible view = textViewOf(gtk);

        step("You drag over a few words in the text view and let go");
        if (!selectAndShow(quoddle, view, "gtk-palette")) return 1;

        step("You click \"Copy\" on the palette");
        click(quoddle, "Copy");
        waitFor([&] { return screen_.clipboardText().find("quick") != std::string::npos; });
        app("the clipboard now holds \"" + screen_.clipboardText() + "\"");

        step("You choose Edit > Services > Make Upper Case from the application's own menu");
        chooseFromMenu(gtk);
        waitFor([&] { return quoddle.storedUses("quoddle-gtk-sample", "Make Upper Case") > 0; }, 5s);
        app("the text reads \"" + view.text() + "\"");
        say("learned it: Make Upper Case used " +
            std::to_string(quoddle.storedUses("quoddle-gtk-sample", "Make Upper Case")) +
            " time(s) in quoddle-gtk-sample");

        step("You select other words: the service you used has a button of its own now");
        screen_.click(view.extents()->x + view.extents()->width - 20,
                      view.extents()->y + view.extents()->height - 20);
        if (!selectAndShow(quoddle, view, "gtk-palette-with-service", 190)) return 1;

        step("You click \"Make Upper Case\" on the palette");
        click(quoddle, "Make Upper Case");
        waitFor([&] { return !quoddle.palette(screen_); });
        waitFor([&] { return quoddle.storedUses("quoddle-gtk-sample", "Make Upper Case") > 1; }, 5s);
        app("the text reads \"" + view.text() + "\"");
        shot("gtk-after-service");

        step("The same in the Qt sample application");
        Application qt({(buildDirectory() / "quoddle-qt-sample").string(), "--view-text",
                        "pack my box with five dozen liquor jugs"},
                       "Quoddle Qt Sample");
        screen_.activate(qt.window());
        Accessible qtView = textViewOf(qt);
        if (!selectAndShow(quoddle, qtView, "qt-palette")) return 1;
        click(quoddle, "Copy");
        waitFor([&] { return screen_.clipboardText().find("pack") != std::string::npos; });
        app("the clipboard now holds \"" + screen_.clipboardText() + "\"");

        step("In mousepad, a real editor with no Services menu of its own, you select words again");
        const std::filesystem::path notes = std::filesystem::temp_directory_path() / "quoddle-demo-notes.txt";
        std::ofstream(notes) << "sphinx of black quartz, judge my vow\n";
        Application mousepad({"mousepad", notes.string()}, notes.string() + " - Mousepad");
        screen_.activate(mousepad.window());
        Accessible notesView;
        waitFor([&] {
            for (const Accessible& text : mousepad.accessible().findAll(ATSPI_ROLE_TEXT, 16))
                if (text.showing() && text.hasState(ATSPI_STATE_EDITABLE)) notesView = text;
            return bool(notesView);
        });
        if (!selectAndShow(quoddle, notesView, "mousepad-before")) return 1;
        say("Make Upper Case is offered here too: mousepad has none, so Quoddle's desktop service of that "
            "name runs");

        step("You click \"Make Upper Case\" on the palette");
        const std::string before = notesView.text();
        click(quoddle, "Make Upper Case");
        waitFor([&] { return notesView.text() != before; });
        waitFor([&] { return !quoddle.palette(screen_); });
        app("the text reads \"" + notesView.text().substr(0, notesView.text().find('\n')) + "\"");
        shot("mousepad-after");
        std::filesystem::remove(notes);

        step("Quoddle quits with the session");
        quoddle.quit();
        say("the history, as the settings window shows it:");
        std::cout << indented(quoddle.historyText());
        std::cout << "\nScreenshots: " << screenshotDirectory().string() << "\n";
        return 0;
    }

private:
    Accessible textViewOf(Application& application) {
        Accessible view;
        waitFor([&] { return bool(view = application.textView()); });
        return view;
    }

    // Drags over the words from `from` pixels into the first line.
    bool selectAndShow(Quoddle& quoddle, const Accessible& view, const std::string& name, int from = 6) {
        const Box box = *view.extents();
        // As a person would, try again when a drag did not take (a click just before can make it a double
        // click).
        bool shown = false;
        for (int attempt = 0; attempt < 3 && !shown; ++attempt) {
            screen_.drag(box.x + from, box.y + 10, box.x + from + 140, box.y + 10);
            shown = waitFor([&] { return quoddle.palette(screen_).has_value(); }, 1500ms);
        }
        if (!shown) {
            std::cout << "  Quoddle: no palette\n";
            return false;
        }
        say("the palette opens beside the pointer at " + describe(*quoddle.palette(screen_)) + ", with:");
        for (const auto& [label, button] : quoddle.paletteButtons())
            std::cout << "    [" << label << "]\n";
        shot(name);
        return true;
    }

    void click(Quoddle& quoddle, const std::string& label) {
        std::optional<Box> button;
        waitFor([&] {
            for (const auto& [name, box] : quoddle.paletteButtons())
                if (name == label) button = box;
            return button.has_value();
        });
        if (button) screen_.click(button->centerX(), button->centerY());
    }

    void chooseFromMenu(Application& application) {
        auto shown = [&](AtspiRole role, const std::string& name) -> std::optional<Box> {
            Accessible item = application.accessible().find(role, name, 14);
            if (!item.showing()) return std::nullopt;
            return item.extents();
        };
        Accessible bar = application.accessible().find(ATSPI_ROLE_MENU_BAR);
        std::optional<Box> edit = bar.find(ATSPI_ROLE_MENU, "Edit", 0).extents();
        if (!edit) return;
        screen_.click(edit->centerX(), edit->centerY());
        std::optional<Box> services, item;
        waitFor([&] { return (services = shown(ATSPI_ROLE_MENU, "Services")).has_value(); });
        screen_.moveTo(services->centerX(), services->centerY());
        waitFor([&] { return (item = shown(ATSPI_ROLE_MENU_ITEM, "Make Upper Case")).has_value(); });
        screen_.moveTo(item->x + 8, services->centerY());
        screen_.moveTo(item->centerX(), item->centerY());
        waitFor([&] {
            Accessible chosen = application.accessible().find(ATSPI_ROLE_MENU_ITEM, "Make Upper Case", 14);
            return chosen.hasState(ATSPI_STATE_SELECTED);
        });
        shot("gtk-services-menu");
        screen_.click(item->centerX(), item->centerY());
    }

    void shot(const std::string& name) {
        const std::filesystem::path file = screenshotDirectory() / ("demo-" + name + ".png");
        screen_.screenshot(file);
        std::cout << "  (screenshot " << file.filename().string() << ")\n";
    }

    static std::string lastLine(const std::string& log) {
        std::string text = log;
        while (!text.empty() && text.back() == '\n')
            text.pop_back();
        std::string line = text.substr(text.find_last_of('\n') + 1);
        if (line.starts_with("quoddle: ")) line.erase(0, 9);
        return line;
    }

    static std::string indented(const std::string& text) {
        std::string result;
        std::size_t start = 0;
        while (start < text.size()) {
            const std::size_t end = text.find('\n', start);
            result += "    " + text.substr(start, end - start) + "\n";
            if (end == std::string::npos) break;
            start = end + 1;
        }
        return result;
    }

    Screen screen_;
};

} // namespace
} // namespace quoddle::desktop

int main() {
    return quoddle::desktop::Demo().run();
}
