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

// A history of many items, whose save takes the instance a while.
std::string largeHistoryText(const std::string& tag) {
    std::string text = "#-- " + tag + "\n";
    // Counts fall line by line: the export orders items by count, highest first.
    for (int i = 0; i < 20000; ++i)
        text += tag + "\t" + std::to_string(20000 - i) + "\tService number " + std::to_string(i) +
                " of a long list\t\n";
    return text;
}

class InstanceTest : public DesktopTest {
protected:
    bool settingsWindowShown(pid_t pid) {
        const unsigned long window = screen.window("Quoddle Settings", pid);
        return window && screen.mappedFrame(window);
    }
};

// --- A second start ----------------------------------------------------------------------------------

TEST_F(InstanceTest, ASecondStartBringsTheSettingsWindowForwardAndEndsAtOnceWithoutAWord) {
    Quoddle quoddle;
    ASSERT_TRUE(quoddle.ready()) << quoddle.log();
    EXPECT_FALSE(settingsWindowShown(quoddle.pid())) << "not shown at launch with these preferences";

    Finished second = quoddle.run({});
    EXPECT_EQ(second.status, 0);
    EXPECT_EQ(second.out + second.err, "");
    EXPECT_TRUE(waitFor([&] { return settingsWindowShown(quoddle.pid()); })) << quoddle.log();

    // Again while the window is up; the first instance runs on.
    second = quoddle.run({});
    EXPECT_EQ(second.status, 0);
    EXPECT_TRUE(quoddle.process().running());
    EXPECT_EQ(quoddle.quit(), 0) << "a shown settings window does not hold up the end";
}

TEST_F(InstanceTest, ASecondStartReportsAnInstanceThatDoesNotAnswerAndThatOneLaterIgnoresIt) {
    Quoddle quoddle;
    ASSERT_TRUE(quoddle.ready()) << quoddle.log();
    quoddle.process().signal(SIGSTOP);
    const auto began = std::chrono::steady_clock::now();
    Finished second = quoddle.run({});
    const auto waited = std::chrono::steady_clock::now() - began;
    quoddle.process().signal(SIGCONT);
    EXPECT_EQ(second.status, 1);
    EXPECT_EQ(second.err, "quoddle: Quoddle is already running for this user.\n");
    EXPECT_GE(waited, 2s);
    EXPECT_LT(waited, 6s);

    // The request waited in the socket; the client that sent it has gone, so it is not carried out.
    EXPECT_TRUE(waitFor([&] {
        return quoddle.log().find("went away before its reopen") != std::string::npos;
    })) << quoddle.log();
    EXPECT_FALSE(settingsWindowShown(quoddle.pid()));
    EXPECT_EQ(quoddle.run({}).status, 0) << "answering again";
}

// --- The history commands while Quoddle runs ---------------------------------------------------------

TEST_F(InstanceTest, AnImportWhileRunningIsTheInstancesAndOutlivesItsSaveItsQuitAndARestart) {
    Quoddle quoddle(historyOf({"gedit", "*"}, {"Old Service"}, 9));
    ASSERT_TRUE(quoddle.ready()) << quoddle.log();
    const fs::path imported = quoddle.file("import.txt", "\xEF\xBB\xBF" + kImported);
    Finished run = quoddle.run({"history", "import", imported});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "#Apply Setting Text\n");
    run = quoddle.run({"history", "export"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, kImported) << "the running instance's history, the old one replaced";

    // The instance's next save writes the import, not the history it loaded.
    EXPECT_TRUE(waitFor([&] { return storedText(quoddle) == kImported; })) << storedText(quoddle);

    // What the offline command says in the same cases.
    run = quoddle.run({"history", "import", quoddle.file("empty.txt", "# nothing here\n\n")});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "#No Menu Item!. Dont Apply.\n");
    const fs::path missing = imported.parent_path() / "missing.txt";
    run = quoddle.run({"history", "import", missing});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "quoddle: cannot read '" + missing.string() + "': No such file or directory\n");
    EXPECT_EQ(quoddle.historyText(), kImported) << "neither changed anything";

    // From standard input.
    const std::string edited = "#-- *\n*\t6\tMake Upper Case\tUpper\n";
    run = quoddle.run({"history", "import", "-"}, quoddle.file("edited.txt", edited));
    EXPECT_EQ(run.status, 0) << run.err;
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
        const std::string text = largeHistoryText(std::string("app-") + strsignal(signal));
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
