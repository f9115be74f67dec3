// One Quoddle per user on the virtual desktop: what a second start does, the history commands while
// Quoddle runs, and the signals that end a session.
#include "DesktopTest.h"

#include "history/ServiceHistory.h"
#include "history/SettingsText.h"
#include "platform/defaults/FileDefaultsStore.h"

#include <csignal>
#include <cstring>

namespace quoddle::desktop {
namespace {

namespace fs = std::filesystem;

// The history as the preferences file holds it, read without asking any Quoddle.
std::string storedText(const Quoddle& quoddle) {
    FileDefaultsStore store(quoddle.preferencesFile());
    const PlistValue* stored = store.find("MenuItemHistoryDic");
    return stored ? settingTextOfHistory(ServiceHistory::fromPlist(*stored, [](const std::string&) {})) : "";
}

// A settings text as an export writes it, so that what comes back must equal it.
const std::string kImported = "#-- *\n"
                              "*\t5\tMake Upper Case\tUpper\n"
                              "#-- Caf\xC3\xA9\n"
                              "Caf\xC3\xA9\t2\tSearch \xE2\x80\x94 Web\t\n"
                              "#-- quoddle-gtk-sample\n"
                              "quoddle-gtk-sample\t5\tMake Upper Case\t\n";

// A program run beside the instance: its exit status, then what it printed and its errors.
std::string outcome(Quoddle& quoddle, const std::vector<std::string>& arguments,
                    const fs::path& input = "/dev/null") {
    const Finished run = quoddle.run(arguments, input);
    return std::to_string(run.status) + " " + run.out + run.err;
}

class InstanceTest : public DesktopTest {};

// --- A second start ----------------------------------------------------------------------------------

// Against an instance that does not answer (stopped), it reports that; the request it left in the socket is
// not carried out later, as its client has gone. Against one that answers, it brings the settings window
// forward and ends at once without a word, also while the window is up.
TEST_F(InstanceTest, ASecondStartReportsAStoppedInstanceAndBringsTheSettingsWindowOfAnAnsweringOneForward) {
    Quoddle quoddle;
    ASSERT_TRUE(quoddle.ready()) << quoddle.log();
    const auto settingsShown = [&] {
        const unsigned long window = screen.window("Quoddle Settings", quoddle.pid());
        return window && screen.mappedFrame(window);
    };
    quoddle.process().signal(SIGSTOP);
    const auto began = std::chrono::steady_clock::now();
    const std::string second = outcome(quoddle, {});
    const auto waited = std::chrono::steady_clock::now() - began;
    quoddle.process().signal(SIGCONT);
    EXPECT_EQ(second, "1 quoddle: Quoddle is already running for this user.\n");
    EXPECT_GE(waited, 2s);
    EXPECT_LT(waited, 6s);
    EXPECT_TRUE(waitFor([&] {
        return quoddle.log().find("went away before its reopen") != std::string::npos;
    })) << quoddle.log();
    EXPECT_FALSE(settingsShown()) << "not shown at launch with these preferences, nor for the stale request";

    for (int time = 0; time < 2; ++time) {
        EXPECT_EQ(outcome(quoddle, {}), "0 ");
        EXPECT_TRUE(waitFor(settingsShown)) << quoddle.log();
    }
    EXPECT_TRUE(quoddle.process().running());
    EXPECT_EQ(quoddle.quit(), 0) << "a shown settings window does not hold up the end";
}

// --- The history commands while Quoddle runs ---------------------------------------------------------

TEST_F(InstanceTest, AnImportWhileRunningIsTheInstancesAndOutlivesItsSaveItsQuitAndARestart) {
    Quoddle quoddle(historyOf({"gedit", "*"}, {"Old Service"}, 9));
    ASSERT_TRUE(quoddle.ready()) << quoddle.log();
    const fs::path imported = quoddle.file("import.txt", "\xEF\xBB\xBF" + kImported);
    EXPECT_EQ(outcome(quoddle, {"history", "import", imported}), "0 #Apply Setting Text\n");
    EXPECT_EQ(outcome(quoddle, {"history", "export"}), "0 " + kImported)
        << "the running instance's history, the old one replaced";

    // The instance's next save writes the import, not the history it loaded.
    EXPECT_TRUE(waitFor([&] { return storedText(quoddle) == kImported; })) << storedText(quoddle);

    // What the offline command says in the same cases.
    EXPECT_EQ(outcome(quoddle, {"history", "import", quoddle.file("empty.txt", "# nothing here\n\n")}),
              "1 #No Menu Item!. Dont Apply.\n");
    const fs::path missing = imported.parent_path() / "missing.txt";
    EXPECT_EQ(outcome(quoddle, {"history", "import", missing}),
              "1 quoddle: cannot read '" + missing.string() + "': No such file or directory\n");
    EXPECT_EQ(quoddle.historyText(), kImported) << "neither changed anything";

    // From standard input.
    const std::string edited = "#-- *\n*\t6\tMake Upper Case\tUpper\n";
    EXPECT_EQ(outcome(quoddle, {"history", "import", "-"}, quoddle.file("edited.txt", edited)),
              "0 #Apply Setting Text\n");
    EXPECT_EQ(quoddle.historyText(), edited);

    ASSERT_EQ(quoddle.quit(), 0);
    EXPECT_EQ(storedText(quoddle), edited);
    EXPECT_EQ(quoddle.historyText(), edited) << "on the file, nobody running";
    ASSERT_TRUE(quoddle.start()) << quoddle.log();
    EXPECT_EQ(quoddle.historyText(), edited) << "loaded again";
}

// --- Signals (SIGTERM just after a use of the palette: PaletteTest's service button) -----------------

TEST_F(InstanceTest, EverySignalThatEndsTheSessionSavesAndMoreOfThemDuringTheSaveLeaveAWholeFile) {
    for (int signal : {SIGHUP, SIGINT, SIGTERM}) {
        SCOPED_TRACE(strsignal(signal));
        Quoddle quoddle;
        ASSERT_TRUE(quoddle.ready()) << quoddle.log();
        // A history of many items, whose save takes the instance a while. Counts fall line by line: the
        // export orders items by count, highest first.
        const std::string tag = std::string("app-") + strsignal(signal);
        std::string text = "#-- " + tag + "\n";
        for (int i = 0; i < 20000; ++i)
            text += tag + "\t" + std::to_string(20000 - i) + "\tService number " + std::to_string(i) +
                    " of a long list\t\n";
        ASSERT_EQ(quoddle.run({"history", "import", quoddle.file("large.txt", text)}).status, 0);
        // At once, before its delayed save, then a burst of every kind while it saves.
        quoddle.process().signal(signal);
        for (int i = 0; i < 60 && quoddle.process().running(); ++i)
            quoddle.process().signal(i % 3 == 0 ? SIGTERM : i % 3 == 1 ? SIGHUP : SIGINT);
        ASSERT_TRUE(waitFor([&] { return !quoddle.process().running(); }, 10s)) << quoddle.log();
        EXPECT_EQ(quoddle.quit(), 0) << quoddle.log();
        EXPECT_TRUE(storedText(quoddle) == text)
            << "the stored history holds " << storedText(quoddle).size() << " bytes of text";
        const fs::path beside = quoddle.preferencesFile().parent_path();
        EXPECT_EQ(std::distance(fs::directory_iterator(beside), fs::directory_iterator()), 1)
            << "a save leaves nothing beside the preferences";
        EXPECT_EQ(quoddle.log().find("could not be written"), std::string::npos) << quoddle.log();
    }
}

} // namespace
} // namespace quoddle::desktop
