// Pressing a desktop service: what is refused and why, and that the log never carries the selected text;
// and the body a notification of its output is sent with. Real service files and real programs; the
// outputs are recorded. Where the outputs of the shipped services go in real applications, and sending a
// notification to a notification server, is the desktop tier's.
#include "platform/TempFolder.h"
#include "platform/linux/QtTestApp.h"
#include "platform/linux/services/DesktopNotifications.h"
#include "platform/linux/services/DesktopServices.h"
#include "platform/linux/session/LinuxLocalization.h"

#include <gtest/gtest.h>

namespace quoddle {
namespace {

using test::spinUntil;

class RecordedOutputs : public ServiceOutputs {
public:
    void replaceSelection(const std::string& text) override { outputs.push_back("replaced: " + text); }
    void copyToClipboard(const std::string& text) override { outputs.push_back("copied: " + text); }
    void showNotification(const std::string&, const std::string&,
                          std::function<void(const std::string&)>) override {}
    std::vector<std::string> outputs;
};

class RecordedAppServices : public LinuxLocalizedAppServices {
public:
    void beep() override { ++beepCount; }
    void log(const std::string& line) override { logLines.push_back(line); }
    int beepCount = 0;
    std::vector<std::string> logLines;
};

constexpr ProcessId kApplication = 4242;
const std::string kSecret = "my secret selection";

class DesktopServicePress : public test::WithQtApplication, public ::testing::Test {
protected:
    DesktopServicePress() {
        const std::pair<const char*, const char*> services[] = {{"Upper", "tr a-z A-Z\nOutput=replace"},
                                                                {"Print Nothing", "true\nOutput=replace"},
                                                                {"Link", "echo %s\nAccepts=url"},
                                                                {"Argument", "printf %%s %s\nOutput=copy"}};
        for (const auto& [name, exec] : services)
            writeBytes(folder / (std::string(name) + ".service"),
                       "[Quoddle Service]\nName=" + std::string(name) + "\nExec=" + exec + "\n");
    }
    void TearDown() override {
        for (const std::string& line : app.logLines)
            EXPECT_EQ(line.find("secret"), std::string::npos) << "the log holds selected text: " << line;
    }

    TempFolder folder;
    RecordedOutputs outputs;
    RecordedAppServices app;
    std::optional<DesktopServices::Selection> selection = DesktopServices::Selection{kSecret, true};
    ProcessId active = kApplication;
    ServiceCatalog catalog{{folder.path().string()}, [this](const std::string& line) { app.log(line); }};
    DesktopServices services{catalog,
                             outputs,
                             app,
                             [this](ProcessId) { return selection; },
                             [this]() -> std::optional<ProcessId> { return active; },
                             "/usr/bin/quoddle"};
};

// Each refusal beeps once, says why in the log, and leaves the selection as it was; so does a replacement
// the user switched to another application for while its program ran. A program that fails goes the way of
// one without output, and is logged as the desktop tier's hung service is.
TEST_F(DesktopServicePress, WhatCannotBeDoneBeepsAndChangesNothing) {
    using Selection = DesktopServices::Selection;
    const Selection editable{kSecret, true};
    const std::tuple<const char*, std::optional<Selection>, bool, const char*> refusals[] = {
        {"Print Nothing", editable, false, "no output"},
        {"Link", editable, false, "not one link"},
        {"Upper", Selection{kSecret, false}, false, "cannot be edited"},
        {"Argument", Selection{std::string("nul\0byte", 8), true}, false, "NUL"},
        {"Upper", std::nullopt, false, "no selected text"},
        {"Upper", editable, true, "no longer active"}};
    for (const auto& [service, refusedSelection, switched, why] : refusals) {
        selection = refusedSelection;
        active = kApplication;
        const int beeps = app.beepCount;
        ASSERT_EQ(services.press(kApplication, service), ax::Error::success);
        if (switched) active = kApplication + 1;
        ASSERT_TRUE(spinUntil([&] { return app.beepCount > beeps || !outputs.outputs.empty(); })) << service;
        ASSERT_FALSE(app.logLines.empty());
        EXPECT_NE(app.logLines.back().find(why), std::string::npos) << app.logLines.back();
    }
    EXPECT_EQ(app.beepCount, static_cast<int>(std::size(refusals)));
    EXPECT_TRUE(outputs.outputs.empty());
    EXPECT_EQ(services.press(kApplication, "No Such Service"), ax::Error::cannotComplete);
}

// Plain text of at most so many characters: markup escaped, cut at whole characters (never inside an
// escape) with an ellipsis, bad bytes and NULs replaced, so that the bus takes any output of a service.
TEST(NotificationBodyTest, EscapesCutsAndRepairsTheText) {
    const std::tuple<std::string, std::size_t, std::string> cases[] = {
        {"a < b && c > d", 2000, "a &lt; b &amp;&amp; c &gt; d"},
        {"<b>bold</b> &amp;", 2000, "&lt;b&gt;bold&lt;/b&gt; &amp;amp;"},
        {"abcdefg", 6, "abcde…"},
        {"éééééééééé", 5, "éééé…"},
        {"&&&&", 4, "&amp;&amp;&amp;&amp;"},
        {"ok \xff end", 2000, "ok \uFFFD end"},
        {std::string("a\0b", 3), 2000, "a\uFFFDb"},
        {std::string(6, '\xff'), 4, "\uFFFD\uFFFD\uFFFD…"}};
    for (const auto& [text, limit, body] : cases)
        EXPECT_EQ(notificationBody(text, limit), body) << text;
    EXPECT_EQ(notificationBody(std::string(10000, 'x')), std::string(1999, 'x') + "…") << "the usual limit";
}

} // namespace
} // namespace quoddle
