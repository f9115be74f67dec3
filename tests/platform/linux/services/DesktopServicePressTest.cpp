// Pressing a desktop service: what is refused before the program runs, where the output goes, and that the
// log never carries the selected text. Real service files and real programs; the outputs are recorded.
#include "platform/linux/QtTestApp.h"
#include "platform/linux/services/DesktopServices.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace quoddle {
namespace {

namespace fs = std::filesystem;
using test::spinUntil;

class RecordedOutputs : public ServiceOutputs {
public:
    void replaceSelection(const std::string& text) override { replaced.push_back(text); }
    void copyToClipboard(const std::string& text) override { copied.push_back(text); }
    void showNotification(const std::string& summary, const std::string& body,
                          std::function<void(const std::string&)> failed) override {
        notified.push_back(summary + ": " + body);
        if (!notificationServer) failed("no notification server");
    }
    std::vector<std::string> replaced, copied, notified;
    bool notificationServer = true;
};

class RecordedAppServices : public AppServices {
public:
    void beep() override { ++beeps; }
    void log(const std::string& line) override { lines.push_back(line); }
    std::string localizedString(const std::string& key) const override { return key; }
    std::optional<std::string> bundlePath() const override { return std::nullopt; }
    std::string displayNameAtPath(const std::string& path) const override { return path; }
    void transformToForegroundApplication() override {}
    void activateIgnoringOtherApps() override {}
    int runModalAlert(const std::string&, const std::string&, int) override { return 0; }
    int beeps = 0;
    std::vector<std::string> lines;
};

constexpr ProcessId kApplication = 4242;
const std::string kSecret = "my secret selection";

class DesktopServicePress : public test::WithQtApplication, public ::testing::Test {
protected:
    DesktopServicePress() {
        add("upper", "Upper", "tr a-z A-Z", "Output=replace\n");
        add("lines", "Add Line Break", "sh -c \"cat; echo\"", "Output=replace\n");
        add("nothing", "Print Nothing", "true", "Output=replace\n");
        add("fails", "Fail", "sh -c \"exit 3\"", "Output=copy\n");
        add("copy", "Copy Upper", "tr a-z A-Z", "Output=copy\n");
        add("count", "Count", "wc -c", "Output=notify\n");
        add("link", "Link", "echo %s", "Accepts=url\nOutput=copy\n");
        add("argument", "Argument", "printf %%s %s", "Output=copy\n");
    }
    ~DesktopServicePress() override {
        std::error_code ignored;
        fs::remove_all(folder, ignored);
    }
    void add(const std::string& id, const std::string& name, const std::string& exec,
             const std::string& more) {
        std::ofstream(folder / (id + ".service"))
            << "[Quoddle Service]\nName=" << name << "\nExec=" << exec << "\n"
            << more;
    }
    // Presses the service and lets what it started run to its end.
    void press(const std::string& name) {
        ASSERT_EQ(services.press(kApplication, name), kAXErrorSuccess);
        spinUntil([&] { return beepsOrOutputs() > before; }, std::chrono::seconds(5));
        before = beepsOrOutputs();
    }
    std::size_t beepsOrOutputs() const {
        return std::size_t(app.beeps) + outputs.replaced.size() + outputs.copied.size() +
               outputs.notified.size();
    }
    void TearDown() override {
        for (const std::string& line : app.lines)
            EXPECT_EQ(line.find("secret"), std::string::npos) << "the log holds selected text: " << line;
    }

    static fs::path madeFolder() {
        char pattern[] = "/tmp/quoddle-press-XXXXXX";
        return mkdtemp(pattern);
    }

    fs::path folder = madeFolder();
    RecordedOutputs outputs;
    RecordedAppServices app;
    std::optional<DesktopServices::Selection> selection = DesktopServices::Selection{kSecret, true};
    ProcessId active = kApplication;
    ServiceCatalog catalog{{folder.string()}, [this](const std::string& line) { app.log(line); }};
    DesktopServices services{catalog,
                             outputs,
                             app,
                             [this](ProcessId) { return selection; },
                             [this]() -> std::optional<ProcessId> { return active; },
                             "/usr/bin/quoddle"};
    std::size_t before = 0;
};

TEST_F(DesktopServicePress, TheOutputGoesWhereTheServiceSays) {
    EXPECT_EQ(services.names(), (std::vector<std::string>{"Add Line Break", "Argument", "Copy Upper", "Count",
                                                          "Fail", "Link", "Print Nothing", "Upper"}));
    press("Upper");
    press("Copy Upper");
    press("Count");
    press("Argument");
    EXPECT_EQ(outputs.replaced, std::vector<std::string>{"MY SECRET SELECTION"});
    EXPECT_EQ(outputs.copied, (std::vector<std::string>{"MY SECRET SELECTION", kSecret}));
    EXPECT_EQ(outputs.notified, std::vector<std::string>{"Count: 19"});
    EXPECT_EQ(app.beeps, 0);
}

// A line-oriented program's closing line break is not pasted over a selection that had none; a selection
// that ended with one keeps it.
TEST_F(DesktopServicePress, AReplacementKeepsTheSelectionsEnding) {
    press("Add Line Break");
    selection->text = "two\nlines\n";
    press("Add Line Break");
    EXPECT_EQ(outputs.replaced, (std::vector<std::string>{kSecret, "two\nlines\n\n"}));
    EXPECT_EQ(replacementOf("a\r\n", false), "a");
    EXPECT_EQ(replacementOf("a\n\n", false), "a\n");
    EXPECT_EQ(replacementOf("", false), "");
}

// Each refusal beeps, says why in the log, and leaves the selection as it was.
TEST_F(DesktopServicePress, WhatCannotBeDoneBeepsAndChangesNothing) {
    press("Fail");
    EXPECT_NE(app.lines.back().find("desktop service fails failed: exit status 3"), std::string::npos)
        << app.lines.back();
    press("Print Nothing");
    EXPECT_NE(app.lines.back().find("no output"), std::string::npos) << app.lines.back();
    press("Link");
    EXPECT_NE(app.lines.back().find("not one link"), std::string::npos) << app.lines.back();
    selection->editable = false;
    press("Upper");
    EXPECT_NE(app.lines.back().find("cannot be edited"), std::string::npos) << app.lines.back();
    selection->editable = true;
    selection->text = std::string("nul\0byte", 8);
    press("Argument");
    EXPECT_NE(app.lines.back().find("NUL"), std::string::npos) << app.lines.back();
    selection.reset();
    press("Upper");
    EXPECT_NE(app.lines.back().find("no selected text"), std::string::npos) << app.lines.back();
    EXPECT_EQ(app.beeps, 6);
    EXPECT_TRUE(outputs.replaced.empty());
    EXPECT_TRUE(outputs.copied.empty());
    EXPECT_EQ(services.press(kApplication, "No Such Service"), kAXErrorCannotComplete);
}

TEST_F(DesktopServicePress, AReplacementIsNotPastedIntoAnotherApplication) {
    ASSERT_EQ(services.press(kApplication, "Upper"), kAXErrorSuccess);
    active = kApplication + 1; // the user switched while the program ran
    spinUntil([&] { return app.beeps > 0; });
    EXPECT_TRUE(outputs.replaced.empty());
    EXPECT_NE(app.lines.back().find("no longer active"), std::string::npos);
}

TEST_F(DesktopServicePress, ANotificationThatCannotBeShownBeeps) {
    outputs.notificationServer = false;
    ASSERT_EQ(services.press(kApplication, "Count"), kAXErrorSuccess);
    spinUntil([&] { return app.beeps > 0; });
    EXPECT_EQ(app.beeps, 1);
    EXPECT_NE(app.lines.back().find("notification could not be shown: no notification server"),
              std::string::npos);
}

// A service file added while Quoddle runs can be pressed at once.
TEST_F(DesktopServicePress, AServiceAddedLaterIsFound) {
    EXPECT_EQ(services.press(kApplication, "Lower"), kAXErrorCannotComplete);
    add("lower", "Lower", "tr A-Z a-z", "Output=copy\n");
    selection->text = "LOUD";
    spinUntil([&] { return services.press(kApplication, "Lower") == kAXErrorSuccess; });
    spinUntil([&] { return !outputs.copied.empty(); });
    EXPECT_EQ(outputs.copied, std::vector<std::string>{"loud"});
}

} // namespace
} // namespace quoddle
