#pragma once
// Quoddle on a fresh simulated desktop, and a scene to use it in: TextEdit with a window holding a text
// area and an image, its Services menu, and Notes, another application with a text area.

#include "Quoddle.h"
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
    std::vector<std::string> buttonTitles() const {
        std::vector<std::string> titles;
        for (const auto& button : desktop.palette.buttons())
            titles.push_back(button->title());
        return titles;
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
        ax::ElementRef notesWindow =
            ax().addWindow(notes.processIdentifier, {.frame = Rect{{1000, 100}, {400, 400}}});
        notesText =
            ax().add(notesWindow, {.role = ax::Role::textArea, .frame = Rect{{1010, 110}, {380, 380}}});
        quoddle().start();
        desktop.settingsWindow.orderOut();
        desktop.workspace.activate(textEdit.processIdentifier);
    }

    // A drag over the text area's characters 3.. (length), released at the end.
    void dragSelect(long length = 5, ax::ElementRef target = nullptr) {
        if (!target) target = textArea;
        desktop.moveMouseTo(target == notesText ? Point{1100, 200} : Point{200, 200});
        desktop.pressLeftButton();
        ax().focus(target);
        ax().selectText(target, ax::RangeValue{3, length});
        desktop.releaseLeftButton();
    }
    // The user chooses the Services item from TextEdit's menu.
    void chooseFromServicesMenu(std::size_t index) {
        ax().openMenu(menus.servicesMenu);
        ax().highlightMenuItem(menus.servicesMenu, menus.services[index]);
        ax().chooseMenuItem(menus.services[index]);
    }
    int uses(const std::string& key, const std::string& title) {
        const std::string text = actions().historyText();
        const std::string line = key + "\t";
        for (std::size_t at = text.find(line); at != std::string::npos; at = text.find(line, at + 1)) {
            if (at != 0 && text[at - 1] != '\n') continue;
            const std::size_t end = text.find('\n', at);
            const std::string fields = text.substr(at + line.size(), end - at - line.size());
            const std::size_t tab = fields.find('\t');
            if (fields.substr(tab + 1, fields.find('\t', tab + 1) - tab - 1) == title)
                return std::stoi(fields.substr(0, tab));
        }
        return 0;
    }

    RunningApplication textEdit, notes;
    SimMenuBar menus;
    ax::ElementRef textArea, image, notesText;
};

} // namespace quoddle
