// Quoddle on applications from Debian, not written here: mousepad (GTK 3) and Qt Linguist (Qt 6). They
// have no Services menu, so the menu-learning test names a submenu of the first menu as the Services menu,
// as a user can with the ServiceMenuItemTitle preference (the recorded Qt Assistant menus test the
// inference on a real Qt application).
#include "DesktopHarness.h"

#include <gtest/gtest.h>

#include <fstream>

namespace quoddle::desktop {
namespace {

struct RealApplication {
    std::string name;
    std::vector<std::string> command; // "{file}" stands for the document it opens
    std::string fileName, fileText;
    std::string titleEnd;       // how its window title ends
    std::string applicationKey; // its AT-SPI name, which Quoddle keeps its history under
    std::string firstMenu, submenu, item;
    // Where editable text is: the document itself, or for Linguist (whose translation editor sits in a
    // cramped dock) its Find dialog, opened with Ctrl+F, where the words are typed first.
    bool typesIntoFindDialog = false;
};

std::ostream& operator<<(std::ostream& out, const RealApplication& app) {
    return out << app.name;
}

const RealApplication kMousepad{"mousepad",     {"mousepad", "{file}"},
                                "notes.txt",    "alpha beta gamma delta epsilon\nzeta eta theta iota kappa\n",
                                " - Mousepad",  "mousepad",
                                "File",         "Open Recent",
                                "Clear History"};
const RealApplication kLinguist{
    "linguist",
    {"/usr/lib/qt6/bin/linguist", "{file}"},
    "sample.ts",
    "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<!DOCTYPE TS>\n<TS version=\"2.1\" "
    "language=\"de\">\n<context>\n"
    "<name>Sample</name>\n<message>\n<source>alpha beta gamma delta epsilon</source>\n"
    "<translation type=\"unfinished\">alpha beta gamma delta "
    "epsilon</translation>\n</message>\n</context>\n</TS>\n",
    " - Qt Linguist",
    "Linguist",
    "File",
    "", // its first menu's only submenu, the recent files, is empty in a new session
    "",
    true};

class RealApplications : public ::testing::TestWithParam<RealApplication> {
protected:
    void SetUp() override {
        if (!screen.available()) GTEST_SKIP() << "no display: run under scripts/desktop-session";
        char pattern[] = "/tmp/quoddle-document-XXXXXX";
        folder = mkdtemp(pattern);
        const std::filesystem::path file = folder / GetParam().fileName;
        std::ofstream(file) << GetParam().fileText;
        std::vector<std::string> command;
        for (std::string part : GetParam().command)
            command.push_back(part == "{file}" ? file.string() : part);
        app = std::make_unique<Application>(command, file.string() + GetParam().titleEnd);
        ASSERT_TRUE(app->window()) << "the application's window never mapped: " << app->output();
    }
    void TearDown() override {
        app.reset();
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }
    void startQuoddle(const PlistDictionary& preferences = {}) {
        quoddle = std::make_unique<Quoddle>(preferences);
        ASSERT_NE(quoddle->log().find("quoddle: ready"), std::string::npos) << quoddle->log();
        screen.activate(app->window());
        if (GetParam().typesIntoFindDialog) {
            screen.key("f", {"Control_L"});
            ASSERT_TRUE(waitFor([&] { return app->accessible().find(ATSPI_ROLE_DIALOG).showing(); }));
            for (char c : std::string("alpha beta gamma"))
                screen.key(c == ' ' ? "space" : std::string(1, c));
        }
        // The editable widget showing the words, the topmost if several do.
        ASSERT_TRUE(waitFor([&] {
            for (const Accessible& text : app->accessible().findAll(ATSPI_ROLE_TEXT, 16))
                if (auto box = text.extents(); box && text.showing() && text.hasState(ATSPI_STATE_EDITABLE) &&
                                               text.text().starts_with("alpha") &&
                                               (!textView || box->y < textView.extents()->y))
                    textView = text;
            return bool(textView);
        }));
    }
    void dragSelect() {
        // Over the first words of the first line.
        const Box view = *textView.extents();
        const int y = view.y + std::min(10, view.height / 2);
        screen.drag(view.x + 6, y, view.x + 120, y);
    }
    bool paletteShown() { return quoddle->palette(screen).has_value(); }

    Screen screen;
    std::filesystem::path folder;
    std::unique_ptr<Application> app;
    std::unique_ptr<Quoddle> quoddle;
    Accessible textView;
};

TEST_P(RealApplications, ADragSelectionShowsThePaletteAndCopyReachesTheApplication) {
    startQuoddle();
    dragSelect();
    ASSERT_TRUE(waitFor([&] { return paletteShown(); })) << quoddle->log();
    // Read first: once AT-SPI shows the buttons, Qt has drawn them and the screenshot has them.
    const auto buttons = quoddle->paletteButtons();
    screen.screenshot(screenshotDirectory() / (GetParam().name + "-palette.png"));
    ASSERT_FALSE(buttons.empty());
    for (const auto& [label, box] : buttons)
        if (label == "Copy") screen.click(box.centerX(), box.centerY());
    EXPECT_TRUE(waitFor([&] { return screen.clipboardText().find("lpha") != std::string::npos; }))
        << "clipboard: " << screen.clipboardText();
    EXPECT_TRUE(waitFor([&] { return !paletteShown(); }));
}

// Only mousepad: Linguist's first menu has no submenu of fixed items in a new session.
class MenuOfARealApplication : public RealApplications {};

TEST_P(MenuOfARealApplication, AChoiceFromTheSubmenuNamedAsTheServicesMenuIsLearned) {
    startQuoddle({{"ServiceMenuItemTitle", GetParam().submenu}});
    // Showing the palette once reads the titles of that submenu.
    dragSelect();
    ASSERT_TRUE(waitFor([&] { return paletteShown(); })) << quoddle->log();
    screen.key("Escape");
    ASSERT_TRUE(waitFor([&] { return !paletteShown(); }));

    auto shown = [&](const std::string& name) -> std::optional<Box> {
        for (AtspiRole role : {ATSPI_ROLE_MENU, ATSPI_ROLE_MENU_ITEM})
            for (const Accessible& item : app->accessible().findAll(role, 16)) {
                std::string itemName = item.name();
                while (!itemName.empty() && itemName.back() == ' ')
                    itemName.pop_back();
                if (itemName == name && item.showing())
                    if (auto box = item.extents(); box && box->width > 1 && box->x >= 0) return box;
            }
        return std::nullopt;
    };
    std::optional<Box> menu, submenu, item;
    ASSERT_TRUE(waitFor([&] { return (menu = shown(GetParam().firstMenu)).has_value(); }));
    screen.click(menu->centerX(), menu->centerY());
    ASSERT_TRUE(waitFor([&] { return (submenu = shown(GetParam().submenu)).has_value(); }));
    screen.moveTo(submenu->centerX(), submenu->centerY());
    ASSERT_TRUE(waitFor([&] { return (item = shown(GetParam().item)).has_value(); }));
    screen.moveTo(item->x + 8, submenu->centerY());
    screen.moveTo(item->centerX(), item->centerY());
    ASSERT_TRUE(waitFor([&] {
        for (const Accessible& candidate : app->accessible().findAll(ATSPI_ROLE_MENU_ITEM, 16))
            if (candidate.showing() && candidate.extents() &&
                candidate.extents()->contains(item->centerX(), item->centerY()) &&
                (candidate.hasState(ATSPI_STATE_SELECTED) || candidate.hasState(ATSPI_STATE_FOCUSED)))
                return true;
        return false;
    })) << "the item under the pointer is never highlighted";
    screen.click(item->centerX(), item->centerY());

    EXPECT_TRUE(
        waitFor([&] { return quoddle->storedUses(GetParam().applicationKey, GetParam().item) == 1; }, 5s))
        << quoddle->historyText() << quoddle->log();
    screen.key("Escape"); // a question the item may have asked
}

INSTANTIATE_TEST_SUITE_P(FromDebian, RealApplications, ::testing::Values(kMousepad, kLinguist),
                         [](const auto& info) { return info.param.name; });
INSTANTIATE_TEST_SUITE_P(FromDebian, MenuOfARealApplication, ::testing::Values(kMousepad),
                         [](const auto& info) { return info.param.name; });

} // namespace
} // namespace quoddle::desktop
