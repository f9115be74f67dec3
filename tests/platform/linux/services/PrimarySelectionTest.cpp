#include "platform/linux/services/PrimarySelection.h"
#include "platform/linux/QtTestApp.h"

#include <QProcess>
#include <QStringList>

#include <gtest/gtest.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <cerrno>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <poll.h>
#include <signal.h>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace quoddle {
namespace {

using namespace std::chrono_literals;
using test::spinUntil;

// Owns PRIMARY on a connection of its own and answers every request from a thread, as the policy says:
// an owner whose answers the test decides.
class ScriptedOwner {
public:
    struct Answer {
        std::string type;
        std::string bytes;
    };
    using Policy = std::function<std::optional<Answer>(const std::string& target)>;

    explicit ScriptedOwner(Policy policy) : policy_(std::move(policy)) {
        display_ = XOpenDisplay(nullptr);
        if (!display_) return;
        window_ = XCreateSimpleWindow(display_, DefaultRootWindow(display_), 0, 0, 1, 1, 0, 0, 0);
        XSetSelectionOwner(display_, XA_PRIMARY, window_, CurrentTime);
        XSync(display_, False);
        if (pipe(wake_) != 0) return;
        thread_ = std::thread([this] { serve(); });
    }
    ~ScriptedOwner() {
        if (thread_.joinable()) {
            const char stop = 's';
            [[maybe_unused]] const auto written = write(wake_[1], &stop, 1);
            thread_.join();
            close(wake_[0]);
            close(wake_[1]);
        }
        if (display_) XCloseDisplay(display_);
    }
    ScriptedOwner(const ScriptedOwner&) = delete;
    ScriptedOwner& operator=(const ScriptedOwner&) = delete;

    Window window() const { return window_; }
    std::vector<std::string> targetsAsked() {
        std::lock_guard lock(mutex_);
        return targets_;
    }

private:
    void serve() {
        for (;;) {
            while (XPending(display_) > 0) {
                XEvent event;
                XNextEvent(display_, &event);
                if (event.type == SelectionRequest) answer(event.xselectionrequest);
            }
            pollfd waits[2] = {{ConnectionNumber(display_), POLLIN, 0}, {wake_[0], POLLIN, 0}};
            if (poll(waits, 2, -1) < 0 && errno != EINTR) return;
            if (waits[1].revents) return;
        }
    }

    void answer(const XSelectionRequestEvent& request) {
        char* name = XGetAtomName(display_, request.target);
        const std::string target = name ? name : "";
        XFree(name);
        {
            std::lock_guard lock(mutex_);
            targets_.push_back(target);
        }
        XSelectionEvent reply{};
        reply.type = SelectionNotify;
        reply.display = display_;
        reply.requestor = request.requestor;
        reply.selection = request.selection;
        reply.target = request.target;
        reply.time = request.time;
        reply.property = None;
        if (const auto given = policy_(target)) {
            XChangeProperty(display_, request.requestor, request.property,
                            XInternAtom(display_, given->type.c_str(), False), 8, PropModeReplace,
                            reinterpret_cast<const unsigned char*>(given->bytes.data()),
                            static_cast<int>(given->bytes.size()));
            reply.property = request.property;
        }
        XSendEvent(display_, request.requestor, False, NoEventMask, reinterpret_cast<XEvent*>(&reply));
        XFlush(display_);
    }

    Policy policy_;
    Display* display_ = nullptr;
    Window window_ = None;
    int wake_[2] = {-1, -1};
    std::thread thread_;
    std::mutex mutex_;
    std::vector<std::string> targets_;
};

class PrimarySelectionTest : public test::WithQtApplication, public ::testing::Test {
protected:
    void SetUp() override {
        display = XOpenDisplay(nullptr);
        if (!display) GTEST_SKIP() << "no X display";
        // Whatever an earlier test left as the selection is not this test's.
        XSetSelectionOwner(display, XA_PRIMARY, None, CurrentTime);
        XSync(display, False);
    }
    void TearDown() override {
        if (owner) {
            owner->kill();
            owner->waitForFinished(5000);
        }
        if (display) XCloseDisplay(display);
    }

    Window primaryOwner() { return XGetSelectionOwner(display, XA_PRIMARY); }

    // xclip in the foreground, holding `bytes` as PRIMARY; the window that owns it, or None.
    Window offer(const std::string& bytes, const QStringList& options = {}) {
        owner = std::make_unique<QProcess>();
        owner->setStandardOutputFile(QProcess::nullDevice());
        owner->setStandardErrorFile(QProcess::nullDevice());
        owner->start("xclip", QStringList{"-selection", "primary", "-i", "-quiet"} + options);
        if (!owner->waitForStarted(5000)) return None;
        owner->write(bytes.data(), static_cast<qint64>(bytes.size()));
        owner->closeWriteChannel();
        if (!spinUntil([&] { return primaryOwner() != None; })) return None;
        return primaryOwner();
    }

    Display* display = nullptr;
    std::unique_ptr<QProcess> owner;
};

TEST_F(PrimarySelectionTest, ReadsTheOwnersTextWithoutTakingTheSelection) {
    const std::string text = "Grüße, 世界 — \"quoted\" $(x) 😀\nsecond line";
    const Window xclip = offer(text);
    ASSERT_NE(xclip, static_cast<Window>(None)) << "xclip did not take PRIMARY";

    EXPECT_EQ(readPrimarySelection(5s), text);
    // Asking again works: the owner still has it, because it was never taken from it.
    EXPECT_EQ(primaryOwner(), xclip);
    EXPECT_EQ(readPrimarySelection(5s), text);
    EXPECT_EQ(primaryOwner(), xclip);

    // More than the caller takes is nothing at all, not a part.
    EXPECT_EQ(readPrimarySelection(5s, text.size()), text);
    EXPECT_EQ(readPrimarySelection(5s, text.size() - 1), std::nullopt);
}

TEST_F(PrimarySelectionTest, TakesWhatTextTheOwnerOffersAndNothingElse) {
    // UTF8_STRING refused: Latin-1 STRING, converted.
    {
        ScriptedOwner latin1([](const std::string& target) -> std::optional<ScriptedOwner::Answer> {
            if (target == "STRING") return ScriptedOwner::Answer{"STRING", "caf\xe9 na\xefve"};
            return std::nullopt;
        });
        ASSERT_EQ(primaryOwner(), latin1.window());
        EXPECT_EQ(readPrimarySelection(5s), "caf\xc3\xa9 na\xc3\xafve");
        EXPECT_EQ(latin1.targetsAsked(), (std::vector<std::string>{"UTF8_STRING", "STRING"}));
    }
    // Bytes that are not UTF-8 although the owner says so: replaced, so the text is valid.
    {
        ScriptedOwner broken([](const std::string& target) -> std::optional<ScriptedOwner::Answer> {
            return ScriptedOwner::Answer{target, "ok \xff\xfe end"};
        });
        const auto text = readPrimarySelection(5s);
        ASSERT_TRUE(text.has_value());
        EXPECT_EQ(*text, "ok \xef\xbf\xbd\xef\xbf\xbd end");
        EXPECT_EQ(broken.targetsAsked(), (std::vector<std::string>{"UTF8_STRING"}));
    }
    // A transfer in pieces, a type that is no text, or no text in any form: nothing.
    for (const std::string type : {"INCR", "text/html", ""}) {
        SCOPED_TRACE(type);
        ScriptedOwner other([type](const std::string&) -> std::optional<ScriptedOwner::Answer> {
            if (type.empty()) return std::nullopt;
            return ScriptedOwner::Answer{type, "<b>1234</b>"};
        });
        EXPECT_EQ(readPrimarySelection(5s), std::nullopt);
        EXPECT_FALSE(other.targetsAsked().empty());
    }
}

TEST_F(PrimarySelectionTest, NoOwnerOrNoTextIsNothing) {
    ASSERT_EQ(primaryOwner(), static_cast<Window>(None));
    // No owner: nothing to wait for, so the limit is not spent (a generous bound, not a speed goal).
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(readPrimarySelection(30s), std::nullopt);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 15s);

    // An empty selection is no text either.
    ASSERT_NE(offer(""), static_cast<Window>(None));
    EXPECT_EQ(readPrimarySelection(5s), std::nullopt);
}

TEST_F(PrimarySelectionTest, AnOwnerThatNeverAnswersCostsTheLimitOnly) {
    // Owns PRIMARY on a connection of its own whose events nobody reads: every request goes unanswered.
    Display* silent = XOpenDisplay(nullptr);
    ASSERT_NE(silent, nullptr);
    const Window window = XCreateSimpleWindow(silent, DefaultRootWindow(silent), 0, 0, 1, 1, 0, 0, 0);
    XSetSelectionOwner(silent, XA_PRIMARY, window, CurrentTime);
    XSync(silent, False);
    ASSERT_EQ(primaryOwner(), window);

    EXPECT_EQ(readPrimarySelection(300ms), std::nullopt);
    EXPECT_EQ(primaryOwner(), window);
    XCloseDisplay(silent);

    // So does a stopped program.
    const Window xclip = offer("text");
    ASSERT_NE(xclip, static_cast<Window>(None));
    ::kill(static_cast<pid_t>(owner->processId()), SIGSTOP);
    EXPECT_EQ(readPrimarySelection(300ms), std::nullopt);
    EXPECT_EQ(primaryOwner(), xclip);
}

} // namespace
} // namespace quoddle
