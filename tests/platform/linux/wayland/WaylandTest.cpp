// The Wayland route's parts that need no compositor: which session the environment describes, where sway's
// tree puts a process's window (and a sway that answers badly or not at all), and the drag trigger's bursts
// against recorded buttons and the buttons a compositor tells, on the simulated run loop's virtual time. That
// a selection in a Wayland window opens the palette there is the Wayland desktop tier's.
#include "platform/linux/wayland/SelectionDragTrigger.h"
#include "platform/linux/wayland/SwayWindows.h"
#include "platform/linux/wayland/WaylandSession.h"
#include "platform/sim/SimRunLoop.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

namespace quoddle {
namespace {

using namespace std::chrono_literals;

// --- The session -------------------------------------------------------------------------------------

TEST(WaylandSessionTest, ReadsTheSessionFromItsEnvironment) {
    using Env = std::map<std::string, std::string>;
    struct Row {
        const char* why;
        Env environment;
        std::optional<WaylandCompositor> expected; // none: an X11 session
    };
    const Row rows[] = {
        {"an X11 session", {{"XDG_SESSION_TYPE", "x11"}, {"DISPLAY", ":0"}}, std::nullopt},
        {"X11 with a Wayland display left over",
         {{"XDG_SESSION_TYPE", "x11"}, {"WAYLAND_DISPLAY", "w"}},
         std::nullopt},
        {"GNOME on Ubuntu",
         {{"XDG_SESSION_TYPE", "wayland"}, {"XDG_CURRENT_DESKTOP", "ubuntu:GNOME"}},
         WaylandCompositor::gnome},
        {"Plasma", {{"XDG_SESSION_TYPE", "wayland"}, {"XDG_CURRENT_DESKTOP", "KDE"}}, WaylandCompositor::kde},
        {"sway by its socket",
         {{"XDG_SESSION_TYPE", "wayland"}, {"SWAYSOCK", "/run/sway.sock"}},
         WaylandCompositor::sway},
        {"no type: a Wayland display and no X one",
         {{"WAYLAND_DISPLAY", "wayland-0"}, {"XDG_CURRENT_DESKTOP", "gnome"}},
         WaylandCompositor::gnome},
        {"no type and both displays: XWayland clients of an X11-looking session",
         {{"WAYLAND_DISPLAY", "wayland-0"}, {"DISPLAY", ":0"}},
         std::nullopt},
        {"a desktop named like one but not it",
         {{"XDG_SESSION_TYPE", "wayland"}, {"XDG_CURRENT_DESKTOP", "GNOMEX"}},
         WaylandCompositor::other},
        {"an empty socket variable",
         {{"XDG_SESSION_TYPE", "wayland"}, {"SWAYSOCK", ""}},
         WaylandCompositor::other},
    };
    for (const Row& row : rows) {
        const std::optional<WaylandSession> session = waylandSessionOf([&](const char* name) -> const char* {
            auto it = row.environment.find(name);
            return it == row.environment.end() ? nullptr : it->second.c_str();
        });
        ASSERT_EQ(session.has_value(), row.expected.has_value()) << row.why;
        if (!session) continue;
        EXPECT_EQ(session->compositor, *row.expected) << row.why;
        EXPECT_EQ(!session->swaySocket.empty(), *row.expected == WaylandCompositor::sway) << row.why;
    }
}

TEST(WaylandSessionTest, TellsWhatStandsInForThePointerAndHowToTurnOnTheGnomeHelper) {
    const WaylandSession gnome{WaylandCompositor::gnome, {}};
    const std::string off = waylandRouteInWords(gnome, false), on = waylandRouteInWords(gnome, true);
    EXPECT_NE(off.find("gnome-extensions enable quoddle@quoddle.org"), std::string::npos) << off;
    EXPECT_EQ(on.find("gnome-extensions"), std::string::npos) << on;
    EXPECT_NE(on.find("mouse button goes up"), std::string::npos) << on;
    // Elsewhere the extension is no answer.
    const std::string sway = waylandRouteInWords({WaylandCompositor::sway, "/run/sway.sock"}, true);
    EXPECT_EQ(sway.find("GNOME"), std::string::npos) << sway;
    EXPECT_NE(sway.find("stayed unchanged"), std::string::npos) << sway;
}

// --- sway's tree ---------------------------------------------------------------------------------------

// The shape sway-ipc(7) gives: outputs, workspaces, tiled and floating containers; rect is the container on
// the screen, window_rect the content inside it.
constexpr const char* kTree = R"({"type":"root","rect":{"x":0,"y":0},"nodes":[
 {"type":"output","name":"HEADLESS-1","rect":{"x":0,"y":0},"nodes":[
  {"type":"workspace","rect":{"x":0,"y":0},"nodes":[
   {"type":"con","pid":41,"visible":true,"focused":false,"rect":{"x":0,"y":0},"window_rect":{"x":2,"y":24}},
   {"type":"con","pid":42,"visible":false,"focused":false,"rect":{"x":640,"y":0},"window_rect":{"x":2,"y":2}}],
   "floating_nodes":[
   {"type":"floating_con","pid":41,"visible":true,"focused":true,"rect":{"x":320,"y":160},"window_rect":{"x":0,"y":0}}]}]},
 {"type":"output","name":"HEADLESS-2","rect":{"x":1280,"y":0},"nodes":[
  {"type":"workspace","nodes":[
   {"type":"con","pid":43,"visible":true,"rect":{"x":1290,"y":10},"window_rect":{"x":1,"y":30}}]}]}]})";

TEST(SwayWindowsTest, FindsTheFocusedWindowOfTheProcessElseItsVisibleOne) {
    EXPECT_EQ(swayWindowOrigin(kTree, 41), (Point{320, 160})) << "the focused of two windows";
    EXPECT_EQ(swayWindowOrigin(kTree, 43), (Point{1291, 40})) << "on the second output, content inset";
    EXPECT_EQ(swayWindowOrigin(kTree, 42), std::nullopt) << "a window on a hidden workspace";
    EXPECT_EQ(swayWindowOrigin(kTree, 7), std::nullopt);
    EXPECT_EQ(swayWindowOrigin(kTree, 0), std::nullopt) << "no pid";
    for (const char* bad : {"", "{", "[]", "null", R"({"nodes":"no list","pid":41})", "\xff\xfe"})
        EXPECT_EQ(swayWindowOrigin(bad, 41), std::nullopt) << bad;
    // Nesting deeper than any real tree is cut off, not followed until the stack runs out.
    std::string deep;
    for (int i = 0; i < 200; ++i)
        deep += R"({"nodes":[)";
    deep += R"({"pid":41,"visible":true,"rect":{"x":1,"y":1}})";
    for (int i = 0; i < 200; ++i)
        deep += "]}";
    EXPECT_EQ(swayWindowOrigin(deep, 41), std::nullopt);
}

// A sway stand-in on a socket: answers one request with what the test gives (or not at all).
class FakeSway {
public:
    explicit FakeSway(std::string reply) : path_("/tmp/quoddle-fake-sway-" + std::to_string(getpid())) {
        ::unlink(path_.c_str());
        listener_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{AF_UNIX, {}};
        std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path_.c_str());
        EXPECT_EQ(::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        EXPECT_EQ(::listen(listener_, 1), 0);
        server_ = std::thread([this, reply = std::move(reply)] {
            const int client = ::accept(listener_, nullptr, nullptr);
            if (client < 0) return;
            char request[14];
            if (::read(client, request, sizeof request) == sizeof request) {
                std::memcpy(&requestedType_, request + 10, 4);
                if (::write(client, reply.data(), reply.size())) {
                }
            }
            // Held open until the test ends: a sway that stalls mid-answer.
            char rest;
            while (::read(client, &rest, 1) > 0) {
            }
            ::close(client);
        });
    }
    ~FakeSway() {
        ::shutdown(listener_, SHUT_RDWR);
        ::close(listener_);
        ::unlink(path_.c_str());
    }
    void finish() { server_.join(); }
    const std::string& path() const { return path_; }
    std::uint32_t requestedType() const { return requestedType_; }

    static std::string message(std::uint32_t type, const std::string& payload, std::uint32_t claimed) {
        std::string bytes = "i3-ipc";
        bytes.append(reinterpret_cast<const char*>(&claimed), 4);
        bytes.append(reinterpret_cast<const char*>(&type), 4);
        return bytes + payload;
    }

private:
    std::string path_;
    int listener_ = -1;
    std::thread server_;
    std::uint32_t requestedType_ = 0;
};

TEST(SwayWindowsTest, AsksForTheTreeAndGivesUpOnAnAnswerThatIsNotOne) {
    const std::string tree = kTree;
    struct Row {
        const char* why;
        std::string reply;
        std::optional<Point> expected;
    };
    const Row rows[] = {
        {"a whole answer", FakeSway::message(4, tree, std::uint32_t(tree.size())), Point{320, 160}},
        {"an answer to another request", FakeSway::message(0, tree, std::uint32_t(tree.size())),
         std::nullopt},
        {"an answer cut short, then silence", FakeSway::message(4, tree, std::uint32_t(tree.size() + 100)),
         std::nullopt},
        {"a length no tree has", FakeSway::message(4, "", 0xffffffffu), std::nullopt},
        {"not the protocol", "HTTP/1.1 400\r\n\r\n", std::nullopt},
    };
    for (const Row& row : rows) {
        FakeSway sway(row.reply);
        SwayWindows windows(sway.path());
        // The silent rows come back after the deadline, and the stand-in lets go when the client does.
        EXPECT_EQ(windows.windowOrigin(41, 100ms), row.expected) << row.why;
        sway.finish();
        EXPECT_EQ(sway.requestedType(), 4u) << row.why << ": GET_TREE";
    }
    EXPECT_EQ(SwayWindows("/tmp/quoddle-no-such-socket").windowOrigin(41), std::nullopt);
}

// --- The drag trigger ----------------------------------------------------------------------------------

class DragTriggerTest : public testing::Test {
protected:
    ax::ElementRef text = std::make_shared<ax::Element>();
    ax::ElementRef other = std::make_shared<ax::Element>();
    SimClock clock;
    SimRunLoop loop{clock};
    std::vector<std::pair<char, ax::ElementRef>> gestures; // 'p' press, 'r' release
    std::vector<std::optional<Point>> releasedAt;
    SelectionDragTrigger::Gesture record{[this](const ax::ElementRef& e) { gestures.emplace_back('p', e); },
                                         [this](const ax::ElementRef& e, std::optional<Point> at) {
                                             gestures.emplace_back('r', e);
                                             releasedAt.push_back(at);
                                         }};
    SelectionDragTrigger trigger{loop, record};
    using Gestures = std::vector<std::pair<char, ax::ElementRef>>;

    void drag(const ax::ElementRef& element, int steps) {
        for (int i = 0; i < steps; ++i) {
            trigger.selectionChanged(element);
            loop.advance(20ms);
        }
    }
};

TEST_F(DragTriggerTest, ABurstIsOnePressAndOneReleaseOnceItGoesQuiet) {
    drag(text, 10); // 200 ms of steps closer than the quiet
    EXPECT_EQ(gestures, (Gestures{{'p', text}}));
    loop.advance(SelectionDragTrigger::kQuiet - 30ms);
    EXPECT_EQ(gestures.size(), 1u) << "not yet quiet for long enough";
    loop.advance(20ms);
    EXPECT_EQ(gestures, (Gestures{{'p', text}, {'r', text}}));
    EXPECT_EQ(releasedAt.front(), std::nullopt) << "nothing told where the button went up";
    drag(text, 1); // a double-click's one report is a gesture of its own
    loop.advance(SelectionDragTrigger::kQuiet);
    EXPECT_EQ(gestures.size(), 4u);
    // The selection moving to another element mid-burst is another drag.
    gestures.clear();
    drag(text, 2);
    drag(other, 2);
    loop.advance(SelectionDragTrigger::kQuiet);
    EXPECT_EQ(gestures, (Gestures{{'p', text}, {'p', other}, {'r', other}}));
    trigger.selectionChanged(nullptr);
    loop.advance(SelectionDragTrigger::kQuiet);
    EXPECT_EQ(gestures.size(), 3u) << "an event with no element";
}

TEST_F(DragTriggerTest, BurstsOfRecordedButtonsAreNotGuessed) {
    // A drag in an X window: the buttons are seen, so its events need no guess, also those that come
    // a moment after the release.
    trigger.recordedButton(true);
    drag(text, 5);
    trigger.recordedButton(false);
    drag(text, 2);
    loop.advance(SelectionDragTrigger::kQuiet);
    EXPECT_TRUE(gestures.empty());
    // A double-click in an X window reports its selection only after the release.
    trigger.recordedButton(true);
    trigger.recordedButton(false);
    loop.advance(10ms);
    drag(text, 1);
    loop.advance(SelectionDragTrigger::kQuiet);
    EXPECT_TRUE(gestures.empty());
    // Well after that release, a selection made where no button is seen is guessed again.
    drag(text, 2);
    loop.advance(SelectionDragTrigger::kQuiet);
    EXPECT_EQ(gestures, (Gestures{{'p', text}, {'r', text}}));
    // A recorded press in the middle of a guessed burst (in an X window) ends it without a release.
    gestures.clear();
    drag(text, 2);
    trigger.recordedButton(true);
    trigger.recordedButton(false);
    loop.advance(SelectionDragTrigger::kQuiet * 2);
    EXPECT_EQ(gestures, (Gestures{{'p', text}}));
}

TEST_F(DragTriggerTest, NothingFiresOnceTheTriggerIsGone) {
    {
        SelectionDragTrigger shortLived{loop, record};
        shortLived.selectionChanged(text);
        shortLived.recordedButton(false);
    }
    loop.advance(SelectionDragTrigger::kQuiet * 2);
    EXPECT_EQ(gestures, (Gestures{{'p', text}}));
    EXPECT_EQ(loop.scheduledTimerCount(), 0u);
}

// Where the compositor tells the button (GNOME Shell's extension), the button says when a drag ends.
class ToldButtonTest : public DragTriggerTest {
protected:
    std::optional<PointerReading> pointer; // none: the helper does not answer
    int probes = 0;
    SelectionDragTrigger told{loop, record, [this] {
                                  ++probes;
                                  return pointer;
                              }};

    void dragWithButton(const ax::ElementRef& element, int steps) {
        for (int i = 0; i < steps; ++i) {
            told.selectionChanged(element);
            loop.advance(20ms);
        }
    }
};

TEST_F(ToldButtonTest, TheReleaseIsTheButtonGoingUpWhereThePointerIs) {
    pointer = PointerReading{{100, 200}, true};
    dragWithButton(text, 3);
    // A hand that holds still with the button down has not let go, however long it waits.
    loop.advance(SelectionDragTrigger::kQuiet * 4);
    EXPECT_EQ(gestures, (Gestures{{'p', text}}));
    pointer = PointerReading{{140, 210}, false};
    loop.advance(SelectionDragTrigger::kButtonPoll);
    EXPECT_EQ(gestures, (Gestures{{'p', text}, {'r', text}}));
    EXPECT_EQ(releasedAt, (std::vector<std::optional<Point>>{Point{140, 210}}));
    // The drag's last reports, coming after the release, are no new drag; nor is nothing asked after
    // between drags.
    dragWithButton(text, 2);
    const int asked = probes;
    loop.advance(SelectionDragTrigger::kQuiet * 4);
    EXPECT_EQ(gestures.size(), 2u);
    EXPECT_EQ(probes, asked) << "the button is asked after while no drag goes on";
}

TEST_F(ToldButtonTest, ASelectionMadeWhileTheButtonIsUpIsNoDrag) {
    pointer = PointerReading{{5, 5}, false};
    dragWithButton(text, 4); // shift and the arrow keys
    loop.advance(SelectionDragTrigger::kQuiet * 2);
    EXPECT_TRUE(gestures.empty());
    // The positive control: the same element dragged with the button down right after.
    pointer->leftButtonDown = true;
    dragWithButton(text, 2);
    pointer->leftButtonDown = false;
    loop.advance(SelectionDragTrigger::kButtonPoll);
    EXPECT_EQ(gestures, (Gestures{{'p', text}, {'r', text}}));
}

TEST_F(ToldButtonTest, AHelperThatStopsAnsweringLeavesTheDragToTheQuietRule) {
    dragWithButton(text, 2); // no answer from the start
    loop.advance(SelectionDragTrigger::kQuiet);
    EXPECT_EQ(gestures, (Gestures{{'p', text}, {'r', text}}));
    EXPECT_EQ(releasedAt.back(), std::nullopt);
    // Gone in the middle of a drag the button began.
    gestures.clear();
    pointer = PointerReading{{1, 1}, true};
    dragWithButton(text, 2);
    pointer.reset();
    loop.advance(SelectionDragTrigger::kButtonPoll);
    EXPECT_EQ(gestures, (Gestures{{'p', text}}));
    loop.advance(SelectionDragTrigger::kQuiet);
    EXPECT_EQ(gestures, (Gestures{{'p', text}, {'r', text}}));
    EXPECT_EQ(loop.scheduledTimerCount(), 0u) << "the button is no longer asked after";
}

TEST_F(ToldButtonTest, XWindowsDragsAndAnotherElementMidDragAreNotMixedUp) {
    // A drag in an X window: its buttons are recorded, and the helper is not asked.
    pointer = PointerReading{{1, 1}, true};
    told.recordedButton(true);
    dragWithButton(text, 3);
    told.recordedButton(false);
    pointer->leftButtonDown = false;
    loop.advance(SelectionDragTrigger::kQuiet);
    EXPECT_TRUE(gestures.empty());
    EXPECT_EQ(probes, 0);
    // The selection leaving for another element while the button is down: that element's drag ends at
    // the release, once.
    pointer->leftButtonDown = true;
    dragWithButton(text, 2);
    dragWithButton(other, 2);
    pointer->leftButtonDown = false;
    loop.advance(SelectionDragTrigger::kQuiet * 2);
    EXPECT_EQ(gestures, (Gestures{{'p', text}, {'p', other}, {'r', other}}));
}

} // namespace
} // namespace quoddle
