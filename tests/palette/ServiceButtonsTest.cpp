#include "PaletteFixture.h"

namespace quoddle {
namespace {

using Titles = std::vector<std::string>;

class ServiceButtons : public PaletteFixture {};

TEST_F(ServiceButtons, WorkedExampleFrequentThenRecentWithTakenTitlesSkipped) {
    setShortcutText("Dict\tservice\tD\n");
    target("TextEdit");
    history("TextEdit", "A", 5, 3);
    history("TextEdit", "B", 2, 1);
    history("TextEdit", "C", 12000, 9);
    history("TextEdit", "D", 1, 2);
    history("*", "E", 3, 0);
    history("*", "B", 4, 1);
    history("*", "F", 1, 8);
    history("*", "D", 20000, 0); // however much it is used, the shortcut's service gets no service button

    EXPECT_TRUE(controller().addServiceButton());
    EXPECT_EQ(serviceButtonTitles(), (Titles{"C", "B", "A", "E"}));
    EXPECT_EQ(controller().serviceNameArray, (Titles{"C", "B", "A", "E"}));
    for (std::size_t i = 0; i < controller().serviceButtonArray.size(); ++i)
        EXPECT_EQ(controller().serviceButtonArray[i]->tag(), static_cast<int>(i));
    EXPECT_EQ(shortcutButtonTitles(), (Titles{"Dict"}));
}

TEST_F(ServiceButtons, TwoShortcutRowsAndThreeServicesMakeA136PointPaletteRebuiltWhole) {
    desktop.window.frameAllowance = 22; // a titled palette: heights add the title bar
    desktop.window.setFrame(Rect{{300, 400}, {180, 122}}, false);
    target("TextEdit");
    history("TextEdit", "Newest", 1, 1);
    history("TextEdit", "Older", 1, 2);
    history("*", "Elsewhere", 1, 0);

    ASSERT_TRUE(controller().addServiceButton());
    ASSERT_TRUE(controller().addServiceButton());
    EXPECT_EQ(shortcutButtonLine, 2) << "the default shortcut text fills two rows";
    std::vector<Rect> frames;
    for (const ButtonRef& button : controller().serviceButtonArray)
        frames.push_back(button->frame());
    EXPECT_EQ(frames, (std::vector<Rect>{{{6, 58}, {168, 20}}, {{6, 84}, {168, 20}}, {{6, 110}, {168, 20}}}));
    EXPECT_EQ(contentHeight(), 136);
    EXPECT_EQ(desktop.window.frame(), (Rect{{300, 400}, {180, 158}})) << "origin and width stay";
    EXPECT_EQ(serviceButtonTitles(), (Titles{"Newest", "Older", "Elsewhere"}));
    EXPECT_EQ(desktop.window.buttons().size(), 9u) << "the second rebuild replaced every button";
    EXPECT_EQ(controller().shortcutKeyArray.size(), 6u);
    EXPECT_EQ(controller().serviceNameArray.size(), 3u);
}

TEST_F(ServiceButtons, AUserTitleLabelsTheButtonWhileTheClickUsesTheTitle) {
    setShortcutText("");
    target("Safari", {"Make Sticky", "Search With Google"});
    controller().allServiceNameDic = {{"Search With Google", "1"}, {"Make Sticky", "1"}};
    history("Safari", "Search With Google", 3, 0, "Google");
    history("Safari", "Make Sticky", 2, 1, "");
    history("Safari", "Gone Service", 1, 2);
    ASSERT_TRUE(controller().addServiceButton());
    EXPECT_EQ(serviceButtonTitles(), (Titles{"Google", "", "Gone Service"}))
        << "an empty user title is still a label";
    EXPECT_EQ(controller().serviceButtonArray[0]->frame().origin.y, 6) << "no shortcut rows";

    desktop.window.orderFront();
    controller().startCheckMouseTimer();
    desktop.window.buttonTitled("Google")->performClick();
    EXPECT_EQ(pressedServices(), (Titles{"AXPress Search With Google"}));
    EXPECT_EQ(uses("Safari", "Search With Google"), 4) << "the use is recorded under the title";
    EXPECT_FALSE(desktop.window.isVisible());
    EXPECT_FALSE(controller().checkMouseTimer);

    desktop.window.orderFront();
    desktop.window.buttonTitled("Gone Service")->performClick();
    EXPECT_EQ(desktop.appServices.beepCount, 1) << "a service the target no longer offers";
    EXPECT_EQ(pressedServices().size(), 1u);
    EXPECT_FALSE(desktop.window.isVisible()) << "hides all the same";
}

TEST_F(ServiceButtons, ARecentLimitOfZeroStillAdmitsTheNewestItem) {
    setShortcutText("");
    setPreference(kRecentAppMenuItemNum, 0);
    setPreference(kRecentAllMenuItemNum, -5);
    target("Mail");
    history("Mail", "Old", 1, 5);
    history("Mail", "New", 1, 1);
    history("*", "Everywhere", 1, 2);
    history("*", "Anywhere", 1, 3);
    ASSERT_TRUE(controller().addServiceButton());
    EXPECT_EQ(serviceButtonTitles(), (Titles{"New", "Everywhere"}));
}

TEST_F(ServiceButtons, WithoutAnyButtonTheAnswerIsNo) {
    setShortcutText("");
    RunningApplication app = target("Preview");
    EXPECT_FALSE(controller().addServiceButton()) << "no history and no shortcuts";

    history("Preview", "Mine", 1, 0);
    history("*", "Everyone's", 1, 0);
    desktop.workspace.quit(app.processIdentifier);
    EXPECT_FALSE(controller().addServiceButton()) << "an ended target consults no history at all";
    controller().serviceTargetAppPid =
        desktop.workspace.launchUnnamedOrUnbundled(std::nullopt, "com.example.unnamed").processIdentifier;
    EXPECT_FALSE(controller().addServiceButton()) << "nor does a nameless one";

    setShortcutText("Copy\tchar\tc\tcommand\n");
    EXPECT_TRUE(controller().addServiceButton());
    EXPECT_TRUE(controller().serviceButtonArray.empty());
}

} // namespace
} // namespace quoddle
