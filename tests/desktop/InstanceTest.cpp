// One Quoddle per user on the virtual desktop: what a second start does, the history commands while
// Quoddle runs, and the signals that end a session.
#include "DesktopHarness.h"

#include "history/ServiceHistory.h"
#include "history/SettingsText.h"
#include "platform/defaults/FileDefaultsStore.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>
#include <unistd.h>

namespace quoddle::desktop {
namespace {

namespace fs = std::filesystem;

std::string readFile(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

// A Quoddle on preferences of this test's own, which it can start again on the same preferences, and run
// the program's commands beside (with the same XDG_CONFIG_HOME, and the session's XDG_RUNTIME_DIR).
class Instance {
public:
    explicit Instance(const PlistDictionary& preferences = {}) {
        char pattern[] = "/tmp/quoddle-instance-XXXXXX";
        folder_ = ::mkdtemp(pattern);
        fs::create_directories(folder_ / "config" / "quoddle");
        FileDefaultsStore store(preferencesFile());
        store.set("ShowSettingsOnLaunch", false);
        for (const auto& [key, value] : preferences)
            store.set(key, value);
        store.synchronize();
    }
    ~Instance() {
        process_.reset();
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    }

    // Starts it and waits until it says it is ready; false when it did not get there.
    bool start() {
        logFile_ = folder_ / ("quoddle-" + std::to_string(++starts_) + ".log");
        process_ = std::make_unique<Process>(std::vector<std::string>{program()}, environment(), logFile_);
        waitFor([this] { return log().find("quoddle: ready") != std::string::npos || !process_->running(); },
                10s);
        return process_->running();
    }
    Process& process() { return *process_; }
    pid_t pid() const { return process_->pid(); }
    std::string log() const { return readFile(logFile_); }

    struct Run {
        int status = -1;
        std::string out, err;
    };
    // Runs the program with the arguments to its end, standard input from the file when one is given.
    Run run(const std::vector<std::string>& arguments, const fs::path& input = "/dev/null") {
        const fs::path out = folder_ / "run.out", err = folder_ / "run.err";
        std::vector<std::string> command{"/bin/sh", "-c", "exec \"$0\" \"$@\" <\"$RUN_IN\" 2>\"$RUN_ERR\"",
                                         program()};
        command.insert(command.end(), arguments.begin(), arguments.end());
        std::map<std::string, std::string> variables = environment();
        variables["RUN_IN"] = input;
        variables["RUN_ERR"] = err;
        Run result;
        {
            Process process(command, variables, out);
            if (!waitFor([&] { return !process.running(); }, 15s)) ADD_FAILURE() << "still running";
            result.status = process.terminate();
        }
        result.out = readFile(out);
        result.err = readFile(err);
        return result;
    }
    // The history as the preferences file holds it, read without asking any Quoddle.
    std::string storedText() const {
        FileDefaultsStore store(preferencesFile());
        const PlistValue* stored = store.find("MenuItemHistoryDic");
        return stored ? settingTextOfHistory(ServiceHistory::fromPlist(*stored, [](const std::string&) {}))
                      : "";
    }
    // Files beside the preferences: a save leaves nothing else there.
    std::vector<std::string> preferenceFolderEntries() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder_ / "config" / "quoddle"))
            names.push_back(entry.path().filename());
        return names;
    }
    fs::path file(const std::string& name, const std::string& contents) const {
        std::ofstream(folder_ / name, std::ios::binary) << contents;
        return folder_ / name;
    }

private:
    static std::string program() { return (buildDirectory() / "quoddle").string(); }
    fs::path preferencesFile() const { return folder_ / "config" / "quoddle" / "preferences.plist"; }
    std::map<std::string, std::string> environment() const {
        return {{"XDG_CONFIG_HOME", (folder_ / "config").string()},
                {"XDG_DATA_HOME", (folder_ / "data").string()},
                // No services installed on the machine: only the source tree's.
                {"XDG_DATA_DIRS", (folder_ / "no-system-data").string()}};
    }

    fs::path folder_;
    fs::path logFile_;
    int starts_ = 0;
    std::unique_ptr<Process> process_;
};

PlistDictionary historyOf(const std::string& applicationKey, const std::string& title, int count) {
    auto item = [&] {
        return PlistDictionary{
            {"Title", title}, {"Count", count}, {"Date", std::chrono::system_clock::now()}};
    };
    return {{"MenuItemHistoryDic", PlistDictionary{{applicationKey, PlistDictionary{{title, item()}}},
                                                   {"*", PlistDictionary{{title, item()}}}}}};
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

class InstanceTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!screen.available()) GTEST_SKIP() << "no display: run under scripts/desktop-session";
    }
    std::optional<Box> settingsWindow(pid_t pid) {
        const unsigned long window = screen.windowNamed(pid, "Quoddle Settings");
        return window ? screen.mappedFrame(window) : std::nullopt;
    }
    Screen screen;
};

// --- A second start ----------------------------------------------------------------------------------

TEST_F(InstanceTest, ASecondStartBringsTheSettingsWindowForwardAndEndsAtOnceWithoutAWord) {
    Instance quoddle;
    ASSERT_TRUE(quoddle.start()) << quoddle.log();
    EXPECT_FALSE(settingsWindow(quoddle.pid())) << "not shown at launch with these preferences";

    Instance::Run second = quoddle.run({});
    EXPECT_EQ(second.status, 0);
    EXPECT_EQ(second.out + second.err, "");
    EXPECT_TRUE(waitFor([&] { return settingsWindow(quoddle.pid()).has_value(); })) << quoddle.log();

    // Again while the window is up; the first instance runs on.
    second = quoddle.run({});
    EXPECT_EQ(second.status, 0);
    EXPECT_TRUE(quoddle.process().running());
    EXPECT_EQ(quoddle.process().terminate(), 0) << "a shown settings window does not hold up the end";
}

TEST_F(InstanceTest, ASecondStartReportsAnInstanceThatDoesNotAnswerAndThatOneLaterIgnoresIt) {
    Instance quoddle;
    ASSERT_TRUE(quoddle.start()) << quoddle.log();
    quoddle.process().signal(SIGSTOP);
    const auto began = std::chrono::steady_clock::now();
    Instance::Run second = quoddle.run({});
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
    EXPECT_FALSE(settingsWindow(quoddle.pid()));
    EXPECT_EQ(quoddle.run({}).status, 0) << "answering again";
}

// --- The history commands while Quoddle runs ---------------------------------------------------------

TEST_F(InstanceTest, AnImportWhileRunningIsTheInstancesAndOutlivesItsSaveItsQuitAndARestart) {
    Instance quoddle(historyOf("gedit", "Old Service", 9));
    ASSERT_TRUE(quoddle.start()) << quoddle.log();
    const fs::path imported = quoddle.file("import.txt", "\xEF\xBB\xBF" + kImported);
    Instance::Run run = quoddle.run({"history", "import", imported});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "#Apply Setting Text\n");
    run = quoddle.run({"history", "export"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, kImported) << "the running instance's history, the old one replaced";

    // The instance's next save writes the import, not the history it loaded.
    EXPECT_TRUE(waitFor([&] { return quoddle.storedText() == kImported; }, 5s)) << quoddle.storedText();

    // What the offline command says in the same cases.
    run = quoddle.run({"history", "import", quoddle.file("empty.txt", "# nothing here\n\n")});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "#No Menu Item!. Dont Apply.\n");
    const fs::path missing = imported.parent_path() / "missing.txt";
    run = quoddle.run({"history", "import", missing});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "quoddle: cannot read '" + missing.string() + "': No such file or directory\n");
    EXPECT_EQ(quoddle.run({"history", "export"}).out, kImported) << "neither changed anything";

    // From standard input.
    const std::string edited = "#-- *\n*\t6\tMake Upper Case\tUpper\n";
    run = quoddle.run({"history", "import", "-"}, quoddle.file("edited.txt", edited));
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(quoddle.run({"history", "export"}).out, edited);

    ASSERT_EQ(quoddle.process().terminate(), 0);
    EXPECT_EQ(quoddle.storedText(), edited);
    EXPECT_EQ(quoddle.run({"history", "export"}).out, edited) << "on the file, nobody running";
    ASSERT_TRUE(quoddle.start()) << quoddle.log();
    EXPECT_EQ(quoddle.run({"history", "export"}).out, edited) << "loaded again";
}

// --- Signals -------------------------------------------------------------------------------------------

// The palette's buttons as AT-SPI shows them.
std::vector<std::pair<std::string, Box>> paletteButtons(pid_t pid) {
    std::vector<std::pair<std::string, Box>> buttons;
    for (const Accessible& window : Accessible::application(pid, 2s).children()) {
        if (window.name() != "Quoddle palette") continue;
        window.forgetCachedTree();
        for (const Accessible& button : window.findAll(ATSPI_ROLE_PUSH_BUTTON, 4))
            if (std::optional<Box> box = button.extents(); box && button.showing())
                buttons.emplace_back(button.name(), *box);
    }
    return buttons;
}

TEST_F(InstanceTest, ASigtermJustAfterAUseOfThePaletteKeepsTheUse) {
    Application app(
        {(buildDirectory() / "quoddle-gtk-sample").string(), "--view-text", "alpha beta gamma delta"},
        "Quoddle GTK Sample");
    ASSERT_TRUE(app.window());
    Instance quoddle(historyOf("quoddle-gtk-sample", "Make Upper Case", 3));
    ASSERT_TRUE(quoddle.start()) << quoddle.log();
    screen.activate(app.window());
    Accessible textView = app.textView();
    ASSERT_TRUE(textView);
    const Box view = *textView.extents();
    screen.drag(view.x + 8, view.y + 10, view.x + 140, view.y + 10);

    std::optional<Box> button;
    ASSERT_TRUE(waitFor([&] {
        for (const auto& [label, box] : paletteButtons(quoddle.pid()))
            if (label == "Make Upper Case") button = box;
        return button.has_value();
    })) << quoddle.log();
    screen.click(button->centerX(), button->centerY());
    ASSERT_TRUE(waitFor([&] { return textView.text().find("BETA") != std::string::npos; }))
        << textView.text();

    // At once, well inside the delay of the save that follows a use.
    const std::string counted = "quoddle-gtk-sample\t4\tMake Upper Case\t";
    EXPECT_EQ(quoddle.process().terminate(), 0);
    EXPECT_NE(quoddle.storedText().find(counted), std::string::npos) << quoddle.storedText() << quoddle.log();
    EXPECT_NE(quoddle.storedText().find("*\t4\tMake Upper Case\t"), std::string::npos);
}

TEST_F(InstanceTest, EverySignalThatEndsTheSessionSavesAndMoreOfThemDuringTheSaveLeaveAWholeFile) {
    for (int signal : {SIGHUP, SIGINT, SIGTERM}) {
        SCOPED_TRACE(strsignal(signal));
        Instance quoddle;
        ASSERT_TRUE(quoddle.start()) << quoddle.log();
        const std::string text = largeHistoryText(std::string("app-") + strsignal(signal));
        ASSERT_EQ(quoddle.run({"history", "import", quoddle.file("large.txt", text)}).status, 0);
        // At once, before its delayed save, then a burst of every kind while it saves.
        quoddle.process().signal(signal);
        for (int i = 0; i < 60 && quoddle.process().running(); ++i)
            quoddle.process().signal(i % 3 == 0 ? SIGTERM : i % 3 == 1 ? SIGHUP : SIGINT);
        ASSERT_TRUE(waitFor([&] { return !quoddle.process().running(); }, 10s)) << quoddle.log();
        EXPECT_EQ(quoddle.process().terminate(), 0) << quoddle.log();
        EXPECT_TRUE(quoddle.storedText() == text)
            << "the stored history holds " << quoddle.storedText().size() << " bytes of text";
        EXPECT_EQ(quoddle.preferenceFolderEntries(), std::vector<std::string>{"preferences.plist"});
        EXPECT_EQ(quoddle.log().find("could not be written"), std::string::npos) << quoddle.log();
    }
}

} // namespace
} // namespace quoddle::desktop
