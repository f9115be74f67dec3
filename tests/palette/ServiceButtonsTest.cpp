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

    EXPECT_TRUE(controller().addServiceButton());
    EXPECT_EQ(serviceButtonTitles(), (Titles{"C", "B", "A", "E"}));
    EXPECT_EQ(controller().serviceNameArray, (Titles{"C", "B", "A", "E"}));
    for (std::size_t i = 0; i < controller().serviceButtonArray.size(); ++i)
        EXPECT_EQ(controller().serviceButtonArray[i]->tag(), static_cast<int>(i));
    EXPECT_EQ(shortcutButtonTitles(), (Titles{"Dict"}));
}

TEST_F(ServiceButtons, TwoShortcutRowsAndThreeServicesMakeA136PointPalette) {
    desktop.window.frameAllowance = 22; // a titled palette: heights add the title bar
    desktop.window.setFrame(Rect{{300, 400}, {180, 122}}, false);
    target("TextEdit");
    history("TextEdit", "Newest", 1, 1);
    history("TextEdit", "Older", 1, 2);
    history("*", "Elsewhere", 1, 0);

    ASSERT_TRUE(controller().addServiceButton());
    EXPECT_EQ(shortcutButtonLine, 2) << "the default shortcut text fills two rows";
    std::vector<Rect> frames;
    for (const ButtonRef& button : controller().serviceButtonArray)
        frames.push_back(button->frame());
    EXPECT_EQ(frames, (std::vector<Rect>{{{6, 58}, {168, 20}}, {{6, 84}, {168, 20}}, {{6, 110}, {168, 20}}}));
    EXPECT_EQ(contentHeight(), 136);
    EXPECT_EQ(desktop.window.frame(), (Rect{{300, 400}, {180, 158}})) << "origin and width stay";
    EXPECT_EQ(serviceButtonTitles(), (Titles{"Newest", "Older", "Elsewhere"}));
    for (const ButtonRef& button : controller().serviceButtonArray)
        EXPECT_EQ(std::static_pointer_cast<SimButton>(button)->bezelStyle, 11);
}

TEST_F(ServiceButtons, AUserTitleLabelsTheButtonWhileTheClickUsesTheTitle) {
    setShortcutText("");
    target("Safari", {"Make Sticky", "Search With Google"});
    controller().allServiceNameDic = {{"Search With Google", "1"}, {"Make Sticky", "1"}};
    history("Safari", "Search With Google", 3, 0, "Google");
    history("Safari", "Make Sticky", 2, 1, "");
    ASSERT_TRUE(controller().addServiceButton());
    EXPECT_EQ(serviceButtonTitles(), (Titles{"Google", ""})) << "an empty user title is still a label";
    EXPECT_EQ(controller().serviceNameArray, (Titles{"Search With Google", "Make Sticky"}));
    EXPECT_EQ(controller().serviceButtonArray[0]->frame().origin.y, 6) << "no shortcut rows";

    desktop.window.orderFront();
    controller().startCheckMouseTimer();
    desktop.window.buttonTitled("Google")->performClick();
    EXPECT_EQ(pressedServices(), (Titles{"AXPress Search With Google"}));
    EXPECT_EQ(uses("Safari", "Search With Google"), 4) << "the use is recorded under the title";
    EXPECT_FALSE(desktop.window.isVisible());
    EXPECT_FALSE(controller().checkMouseTimer);
}

TEST_F(ServiceButtons, AServiceTheTargetNoLongerOffersBeepsAndHidesAllTheSame) {
    setShortcutText("");
    target("Safari", {"Make Sticky"});
    history("Safari", "Gone Service", 1, 0);
    ASSERT_TRUE(controller().addServiceButton());
    desktop.window.orderFront();
    desktop.window.buttonTitled("Gone Service")->performClick();
    EXPECT_EQ(desktop.appServices.beepCount, 1);
    EXPECT_TRUE(pressedServices().empty());
    EXPECT_FALSE(desktop.window.isVisible());
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

TEST_F(ServiceButtons, ATitleInBothHistoriesGetsOneButtonAndTakenTitlesDoNotCount) {
    setShortcutText("Spell\tservice\tSpelling\n");
    target("Pages");
    history("Pages", "Spelling", 20000, 0);
    history("Pages", "Shared", 1, 1);
    history("*", "Spelling", 20000, 0);
    history("*", "Shared", 2, 0);
    history("*", "Other", 1, 4);
    ASSERT_TRUE(controller().addServiceButton());
    EXPECT_EQ(serviceButtonTitles(), (Titles{"Shared", "Other"}))
        << "the shortcut service never gets a service button, however much it is used";
}

TEST_F(ServiceButtons, AFrequentPassHasNoCap) {
    setShortcutText("");
    setPreference(kAlwaysShowItemCount, 2);
    target("Notes");
    for (int i = 0; i < 6; ++i)
        history("Notes", "S" + std::to_string(i), 10 - i, i);
    history("Notes", "Rare", 1, 0);
    ASSERT_TRUE(controller().addServiceButton());
    EXPECT_EQ(serviceButtonTitles(), (Titles{"S0", "S1", "S2", "S3", "S4", "S5", "Rare"}));
    EXPECT_EQ(contentHeight(), 7 * 26 + 6);
}

TEST_F(ServiceButtons, WithoutHistoryOrShortcutsThePaletteWouldBeEmpty) {
    setShortcutText("");
    target("Preview");
    EXPECT_FALSE(controller().addServiceButton());
    setShortcutText("Copy\tchar\tc\tcommand\n");
    EXPECT_TRUE(controller().addServiceButton());
    EXPECT_TRUE(controller().serviceButtonArray.empty());
}

TEST_F(ServiceButtons, AnEndedTargetConsultsNoHistoryAtAll) {
    RunningApplication app = target("Gone");
    history("Gone", "Mine", 1, 0);
    history("*", "Everyone's", 1, 0);
    desktop.workspace.quit(app.processIdentifier);
    EXPECT_TRUE(controller().addServiceButton()) << "the default shortcut buttons still show";
    EXPECT_TRUE(controller().serviceButtonArray.empty());

    RunningApplication unnamed =
        desktop.workspace.launchUnnamedOrUnbundled(std::nullopt, "com.example.unnamed");
    controller().serviceTargetAppPid = unnamed.processIdentifier;
    setShortcutText("");
    EXPECT_FALSE(controller().addServiceButton());
}

TEST_F(ServiceButtons, ARebuildReplacesEveryButton) {
    target("TextEdit");
    history("TextEdit", "One", 1, 0);
    ASSERT_TRUE(controller().addServiceButton());
    ASSERT_TRUE(controller().addServiceButton());
    EXPECT_EQ(desktop.window.buttons().size(), 7u) << "six shortcut buttons and one service button";
    EXPECT_EQ(controller().shortcutKeyArray.size(), 6u);
    EXPECT_EQ(controller().serviceNameArray.size(), 1u);
}

} // namespace
} // namespace quoddle
