#pragma once
// What every end-to-end test has: the screen it acts on (without a display the test is skipped), a folder
// of its own, the application and the Quoddle it starts, and the steps all of them take with those.

#include "DesktopHarness.h"

#include <gtest/gtest.h>

#include <cctype>

namespace quoddle::desktop {

class DesktopTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!screen.available()) GTEST_SKIP() << "no display: run under scripts/desktop-session";
    }
    // Starts Quoddle, then brings the application's window to the front.
    void startQuoddle(const PlistDictionary& preferences = {}, const QuoddleOptions& options = {}) {
        quoddle = std::make_unique<Quoddle>(preferences, options);
        ASSERT_TRUE(quoddle->ready()) << quoddle->log();
        if (app) screen.activate(app->window());
    }
    // Starts the sample application with the text in its text view, and finds that view.
    void startApp(const std::string& sample, const std::string& text) {
        app = startSample(sample, text);
        ASSERT_TRUE(app->window()) << "the application's window never mapped";
        ASSERT_TRUE(textView = app->textView()) << "no text view in the AT-SPI tree";
    }
    bool paletteShown() { return quoddle->palette(screen).has_value(); }
    // Drags along the first line of the text view (dragAlongFirstLine); true once the palette shows.
    bool paletteAfterDrag(int width = 137) {
        dragAlongFirstLine(screen, textView, width);
        return waitFor([this] { return paletteShown(); });
    }
    // Clicks the shown palette's button of that label; true once the palette has gone after it.
    bool clickButton(const std::string& label) {
        std::optional<Box> button;
        waitFor([&] {
            for (const auto& [name, box] : quoddle->paletteButtons())
                if (name == label) button = box;
            return button.has_value();
        });
        if (button) screen.click(button->centerX(), button->centerY());
        const bool clicked = button && waitFor([&] { return !paletteShown(); });
        EXPECT_TRUE(clicked) << "no palette button " << label << ", or the palette stays\n" << quoddle->log();
        return clicked;
    }

    Screen screen;
    TempFolder folder;
    std::unique_ptr<Application> app;
    std::unique_ptr<Quoddle> quoddle;
    Accessible textView;
};

// The text in capitals, as Make Upper Case makes the tests' ASCII words.
inline std::string upper(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

} // namespace quoddle::desktop
