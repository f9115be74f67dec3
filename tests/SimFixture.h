#pragma once
// Quoddle on a fresh simulated desktop, and a scene to use it in: TextEdit with a window holding a text
// area and an image, its Services menu, and Notes, another application with a text area.

#include "Preferences.h"
#include "Quoddle.h"
#include "history/SettingsText.h"
// Every test that compares stored values prints them with the same PrintTo: without it in some files,
// gtest's printer for them would differ between translation units.
#include "platform/PlistValuePrinter.h"
#include "platform/sim/SimDesktop.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace quoddle {

class SimFixture : public ::testing::Test {
public:
    // Made on first use, so a test can prepare the stored preferences first.
    Quoddle& quoddle() {
        if (!quoddle_) quoddle_ = std::make_unique<Quoddle>(desktop.platform());
        return *quoddle_;
    }
    // Ends this Quoddle and starts a new one on the same desktop (a relaunch).
    Quoddle& relaunch() {
        quoddle_.reset();
        quoddle().start();
        return *quoddle_;
    }
    ApplicationActions& actions() { return quoddle().actions(); }
    SimAccessibility& ax() { return desktop.accessibility; }
    bool paletteShown() const { return desktop.palette.isVisible(); }
    // The history as Quoddle stored it, once its save delay has passed.
    ServiceHistory storedHistory() {
        desktop.runLoop.advance(std::chrono::seconds(5));
        const PlistValue* value = desktop.defaultsStore.find(preference::history);
        return value ? ServiceHistory::fromPlist(*value, [](const std::string&) {}) : ServiceHistory();
    }
    void click(const std::string& title) {
        SimButton* button = desktop.palette.buttonTitled(title);
        ASSERT_NE(button, nullptr) << title;
        desktop.clickButton(*button);
    }

    SimDesktop desktop;

private:
    std::unique_ptr<Quoddle> quoddle_;
};

class TextEditScene : public SimFixture {
public:
    void SetUp() override {
        textEdit = desktop.launch("TextEdit", "com.apple.TextEdit");
        notes = desktop.launch("Notes", "com.apple.Notes");
        menus = ax().addStandardMenuBar(textEdit.processIdentifier, {"Make Sticky", "Search With Google"});
        ax::ElementRef window =
            ax().addWindow(textEdit.processIdentifier, {.frame = Rect{{100, 100}, {800, 600}}});
        textArea = ax().add(window, {.role = ax::Role::textArea, .frame = Rect{{120, 150}, {600, 400}}});
        image = ax().add(window, {.role = ax::Role::image, .frame = Rect{{750, 150}, {100, 100}}});
        notesText =
            ax().add(ax().addWindow(notes.processIdentifier, {.frame = Rect{{1000, 100}, {400, 400}}}),
                     {.role = ax::Role::textArea, .frame = Rect{{1010, 110}, {380, 380}}});
        quoddle().start();
        desktop.settingsWindow.orderOut();
        desktop.workspace.activate(textEdit.processIdentifier);
    }

    void pressAt(Point at) {
        desktop.moveMouseTo(at);
        desktop.pressLeftButton();
    }
    // The element takes the focus and selects its characters 3.. (length).
    void selectIn(ax::ElementRef target, long length) {
        ax().focus(target);
        ax().selectText(target, ax::RangeValue{3, length});
    }
    // A drag over the text area's characters (Notes's if asked), released at the end.
    void dragSelect(long length = 5, ax::ElementRef target = nullptr) {
        pressAt(target == notesText ? Point{1100, 200} : Point{200, 200});
        selectIn(target ? target : textArea, length);
        desktop.releaseLeftButton();
        // As long as a hand takes to move on: the palette reads the Services menu's titles meanwhile.
        desktop.runLoop.advance(std::chrono::milliseconds(100));
    }
    // The user chooses the Services item from the menu bar's Services menu (TextEdit's unless another).
    void chooseFromServicesMenu(std::size_t index, const SimMenuBar* bar = nullptr) {
        const SimMenuBar& from = bar ? *bar : menus;
        ax().openMenu(from.servicesMenu);
        ax().highlightMenuItem(from.servicesMenu, from.services[index]);
        ax().chooseMenuItem(from.services[index]);
    }
    // The use count of the title under the application key, as the settings text shows it.
    int uses(const std::string& key, const std::string& title) {
        const ServiceHistory history = historyOfSettingText(actions().historyText(), {}, {}).history;
        const HistoryItem* item = history.find(key) ? history.find(key)->find(title) : nullptr;
        return item ? item->count : 0;
    }

    RunningApplication textEdit, notes;
    SimMenuBar menus;
    ax::ElementRef textArea, image, notesText;
};

} // namespace quoddle
