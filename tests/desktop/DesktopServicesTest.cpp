// Desktop services on the virtual desktop: a person selects text in a real application, and a service
// button of the palette runs a service on it, whose output replaces the text, lands on the clipboard or
// shows in a notification. The services are the shipped ones and a few the test writes as a user would.
#include "DesktopHarness.h"
#include "NotificationServer.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iostream>

namespace quoddle::desktop {
namespace {

namespace fs = std::filesystem;

// Every title gets a button: the history holds each under "*", and every used item is always shown.
PlistDictionary offering(const std::vector<std::string>& titles) {
    PlistDictionary all;
    for (const std::string& title : titles)
        all[title] =
            PlistDictionary{{"Title", title}, {"Count", 1}, {"Date", std::chrono::system_clock::now()}};
    return {{"AlwaysShowItemCount", 1}, {"MenuItemHistoryDic", PlistDictionary{{"*", all}}}};
}

std::string serviceFile(const std::string& name, const std::string& exec, const std::string& more = "") {
    return "[Quoddle Service]\nName=" + name + "\nExec=" + exec + "\n" + more;
}

std::string readAll(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class DesktopServices : public ::testing::Test {
protected:
    void SetUp() override {
        if (!screen.available()) GTEST_SKIP() << "no display: run under scripts/desktop-session";
        char pattern[] = "/tmp/quoddle-services-XXXXXX";
        folder = mkdtemp(pattern);
    }
    void TearDown() override {
        quoddle.reset();
        app.reset();
        std::error_code ignored;
        fs::remove_all(folder, ignored);
    }
    void startSample(const std::string& program, const std::string& title, const std::string& text) {
        app = std::make_unique<Application>(
            std::vector<std::string>{(buildDirectory() / program).string(), "--view-text", text}, title);
        ASSERT_TRUE(app->window()) << "the application's window never mapped";
        textView = app->textView();
        ASSERT_TRUE(textView);
    }
    void startMousepad(const std::string& text) {
        const fs::path file = folder / "notes.txt";
        std::ofstream(file) << text;
        app = std::make_unique<Application>(std::vector<std::string>{"mousepad", file.string()},
                                            file.string() + " - Mousepad");
        ASSERT_TRUE(app->window()) << "mousepad's window never mapped: " << app->output();
        ASSERT_TRUE(waitFor([&] {
            for (const Accessible& candidate : app->accessible().findAll(ATSPI_ROLE_TEXT, 16))
                if (candidate.showing() && candidate.hasState(ATSPI_STATE_EDITABLE) &&
                    candidate.text().starts_with(text.substr(0, 5)))
                    textView = candidate;
            return bool(textView);
        }));
    }
    void startQuoddle(const PlistDictionary& preferences,
                      const std::map<std::string, std::string>& services = {},
                      const std::map<std::string, std::string>& environment = {}) {
        quoddle = std::make_unique<Quoddle>(preferences, services, environment);
        ASSERT_NE(quoddle->log().find("quoddle: ready"), std::string::npos) << quoddle->log();
        screen.activate(app->window());
    }
    // Drags along the first line of the text view, from its start to `width` pixels on (the whole line
    // when 0), and returns what the application says is selected once the palette is up.
    std::string dragSelect(int width = 130) {
        const Box view = *textView.extents();
        const int y = view.y + 10;
        screen.drag(view.x + 3, y, width ? view.x + width : view.x + view.width - 4, y);
        if (!waitFor([&] { return paletteShown(); })) return {};
        return textView.selectedText();
    }
    bool paletteShown() { return quoddle->palette(screen).has_value(); }
    // Waits for the palette and clicks its button of that label; the moment of the click.
    std::chrono::steady_clock::time_point clickButton(const std::string& label) {
        std::optional<Box> button;
        waitFor([&] {
            for (const auto& [name, box] : quoddle->paletteButtons())
                if (name == label) button = box;
            return button.has_value();
        });
        if (!button) {
            ADD_FAILURE() << "no palette button " << label << "\n" << quoddle->log();
            return {};
        }
        const auto at = std::chrono::steady_clock::now();
        screen.click(button->centerX(), button->centerY());
        return at;
    }

    Screen screen;
    fs::path folder;
    std::unique_ptr<Application> app;
    std::unique_ptr<Quoddle> quoddle;
    Accessible textView;
};

// mousepad has no Services of its own: the shipped Make Upper Case replaces the text through the
// clipboard, undoes in one step, gives the user's clipboard back, and is learned for the application.
TEST_F(DesktopServices, MakeUpperCaseReplacesTheSelectionInMousepad) {
    startMousepad("alpha beta gamma delta\nsecond line\n");
    startQuoddle(offering({"Make Upper Case"}));
    screen.setClipboardText("what the user copied");
    const std::string original = textView.text();
    const std::string selected = dragSelect();
    ASSERT_FALSE(selected.empty());
    quoddle->paletteButtons(); // drawn once AT-SPI shows them, so the screenshot has them
    screen.screenshot(screenshotDirectory() / "services-mousepad-before.png");

    const auto pressed = clickButton("Make Upper Case");
    std::string upper = selected;
    for (char& c : upper)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    const std::string expected = upper + original.substr(selected.size());
    ASSERT_TRUE(waitFor([&] { return textView.text() == expected; })) << "text: " << textView.text() << "\n"
                                                                      << quoddle->log();
    const auto replaced = std::chrono::steady_clock::now();
    std::cout << "[ measured ] press to replaced text: "
              << std::chrono::duration_cast<std::chrono::milliseconds>(replaced - pressed).count() << " ms\n";
    screen.screenshot(screenshotDirectory() / "services-mousepad-after.png");

    EXPECT_TRUE(waitFor([&] { return screen.clipboardText() == "what the user copied"; }))
        << "clipboard: " << screen.clipboardText();
    screen.key("z", {"Control_L"});
    EXPECT_TRUE(waitFor([&] { return textView.text() == original; }))
        << "after one undo: " << textView.text();

    ASSERT_EQ(quoddle->quit(), 0);
    EXPECT_EQ(quoddle->storedUses("mousepad", "Make Upper Case"), 1) << quoddle->historyText();
    EXPECT_EQ(quoddle->storedUses("*", "Make Upper Case"), 2) << quoddle->historyText();
}

// The sample applications' own Services come first; a user's service of another name joins them, and
// its use is recorded so that the next palette offers it for this application too.
TEST_F(DesktopServices, AUserServiceReplacesTextInTheQtSampleAndIsLearned) {
    startSample("quoddle-qt-sample", "Quoddle Qt Sample", "alpha beta gamma");
    startQuoddle(offering({"Reverse Text"}),
                 {{"reverse.service", serviceFile("Reverse Text", "rev", "Output=replace\n")}});
    const std::string selected = dragSelect();
    ASSERT_FALSE(selected.empty());
    clickButton("Reverse Text");
    const std::string reversed(selected.rbegin(), selected.rend());
    EXPECT_TRUE(waitFor([&] { return textView.text().starts_with(reversed); }))
        << "text: " << textView.text() << "\n"
        << quoddle->log();
    EXPECT_TRUE(waitFor([&] { return !paletteShown(); }));

    // Offered again, now from this application's own history as well.
    ASSERT_FALSE(dragSelect().empty());
    const std::string before = textView.text();
    clickButton("Reverse Text");
    EXPECT_TRUE(waitFor([&] { return textView.text() != before; })) << quoddle->log();
    ASSERT_EQ(quoddle->quit(), 0);
    EXPECT_EQ(quoddle->storedUses("quoddle-qt-sample", "Reverse Text"), 2) << quoddle->historyText();
}

TEST_F(DesktopServices, CountWordsShowsANotification) {
    NotificationServer notifications;
    ASSERT_TRUE(notifications.waitUntilOwned(5s));
    startSample("quoddle-gtk-sample", "Quoddle GTK Sample", "alpha beta gamma delta");
    startQuoddle(offering({"Count Words and Characters"}));
    const std::string selected = dragSelect(0);
    ASSERT_EQ(selected, "alpha beta gamma delta");
    clickButton("Count Words and Characters");
    std::optional<NotificationServer::Notification> shown = notifications.waitForNotification(5s);
    ASSERT_TRUE(shown) << quoddle->log();
    EXPECT_EQ(shown->summary, "Count Words and Characters");
    EXPECT_EQ(shown->body, "4 words, 22 characters");
    EXPECT_EQ(textView.text(), "alpha beta gamma delta"); // a notifying service leaves the text alone
}

// Quotes, command substitutions and separators are bytes like any others: they reach the service as the
// argument and on standard input exactly, and nothing runs but the service's own program.
TEST_F(DesktopServices, AHostileSelectionReachesTheServiceByteForByte) {
    // Short enough for one line of the text view.
    const fs::path marker = "/tmp/qx";
    fs::remove(marker);
    const std::string text = "say \"hi\" 'x' $(touch /tmp/qx); `touch /tmp/qx` | \\n %s";
    startSample("quoddle-qt-sample", "Quoddle Qt Sample", text);
    startQuoddle(offering({"Echo Argument", "Echo Input"}),
                 {{"argument.service", serviceFile("Echo Argument", "printf %%s %s", "Output=copy\n")},
                  {"input.service", serviceFile("Echo Input", "cat", "Output=copy\n")}});
    ASSERT_EQ(dragSelect(0), text);
    clickButton("Echo Argument");
    EXPECT_TRUE(waitFor([&] { return screen.clipboardText() == text; }))
        << "clipboard: " << screen.clipboardText() << "\n"
        << quoddle->log();
    ASSERT_TRUE(waitFor([&] { return !paletteShown(); }));
    screen.setClipboardText("reset");

    ASSERT_EQ(dragSelect(0), text);
    clickButton("Echo Input");
    EXPECT_TRUE(waitFor([&] { return screen.clipboardText() == text; }))
        << "clipboard: " << screen.clipboardText() << "\n"
        << quoddle->log();
    EXPECT_FALSE(fs::exists(marker));
    EXPECT_EQ(textView.text(), text);
}

// A service that never ends is killed at its time limit; meanwhile the palette keeps working.
TEST_F(DesktopServices, AServiceThatHangsIsKilledAndThePaletteStaysResponsive) {
    startSample("quoddle-gtk-sample", "Quoddle GTK Sample", "alpha beta gamma delta");
    startQuoddle(offering({"Wait Forever"}),
                 {{"hang.service", serviceFile("Wait Forever", "sleep 600", "TimeLimit=2\n")}});
    dragSelect();
    clickButton("Wait Forever");
    const auto pressed = std::chrono::steady_clock::now();
    ASSERT_TRUE(waitFor([&] { return !paletteShown(); }));
    screen.click(textView.extents()->x + 200, textView.extents()->y + 10); // the old selection goes
    dragSelect();
    ASSERT_TRUE(waitFor([&] { return paletteShown(); }));
    const std::string killed = "desktop service hang failed: killed after 2 s";
    // Measured from the press, and the service not yet killed: the palette opened while it ran.
    EXPECT_LT(std::chrono::steady_clock::now() - pressed, 1900ms);
    EXPECT_EQ(quoddle->log().find(killed), std::string::npos) << quoddle->log();
    EXPECT_TRUE(waitFor([&] { return quoddle->log().find(killed) != std::string::npos; })) << quoddle->log();
    EXPECT_EQ(quoddle->log().find("alpha"), std::string::npos) << "the log holds selected text";
}

// The link services hand the selection to the desktop's opener: as it is, or inside a search URL.
TEST_F(DesktopServices, OpenAsLinkAndSearchTheWebCallTheOpener) {
    const fs::path bin = folder / "bin", calls = folder / "opened";
    fs::create_directories(bin);
    std::ofstream(bin / "xdg-open") << "#!/bin/sh\nprintf '%s\\n' \"$*\" >> " << calls.string() << "\n";
    fs::permissions(bin / "xdg-open", fs::perms::owner_all);
    startSample("quoddle-gtk-sample", "Quoddle GTK Sample", "https://example.org/a?b=c");
    startQuoddle(offering({"Open as Link", "Search the Web"}), {},
                 {{"PATH", bin.string() + ":" + std::string(getenv("PATH"))}});
    ASSERT_EQ(dragSelect(0), "https://example.org/a?b=c");
    clickButton("Open as Link");
    ASSERT_TRUE(waitFor([&] { return readAll(calls) == "https://example.org/a?b=c\n"; }))
        << readAll(calls) << quoddle->log();
    ASSERT_TRUE(waitFor([&] { return !paletteShown(); }));
    // A press inside the selection would drag the text away: a click elsewhere lets it go first.
    const Box view = *textView.extents();
    screen.click(view.x + view.width - 10, view.y + view.height - 10);
    ASSERT_TRUE(waitFor([&] { return textView.selectedText().empty(); }));
    ASSERT_EQ(dragSelect(0), "https://example.org/a?b=c");
    clickButton("Search the Web");
    EXPECT_TRUE(waitFor([&] {
        return readAll(calls) ==
               "https://example.org/a?b=c\nhttps://duckduckgo.com/?q=https%3A%2F%2Fexample.org"
               "%2Fa%3Fb%3Dc\n";
    })) << readAll(calls);
}

} // namespace
} // namespace quoddle::desktop
