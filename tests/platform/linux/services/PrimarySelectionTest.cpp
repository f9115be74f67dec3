// Reading PRIMARY without taking it, from owners the test starts: xclip offering bytes as one target, and
// an owner that never answers.
#include "platform/linux/services/PrimarySelection.h"
#include "platform/linux/QtTestApp.h"

#include <QProcess>
#include <QStringList>

#include <gtest/gtest.h>

#include "platform/linux/X11TestSession.h"

#include <signal.h>

namespace quoddle {
namespace {

using namespace std::chrono_literals;
using test::spinUntil;

class PrimarySelectionTest : public test::WithQtApplication, public ::testing::Test {
protected:
    void SetUp() override {
        if (!(display = testing::openTestDisplay())) GTEST_SKIP() << "no X display";
        // Whatever an earlier test left as the selection is not this test's.
        XSetSelectionOwner(display.get(), XA_PRIMARY, None, CurrentTime);
        XSync(display.get(), False);
    }
    void TearDown() override {
        if (!owner) return;
        owner->kill();
        owner->waitForFinished(5000);
    }
    testing::XWindow primaryOwner() { return XGetSelectionOwner(display.get(), XA_PRIMARY); }

    // xclip in the foreground, holding the bytes as PRIMARY of that target; the window that owns it.
    testing::XWindow offer(const std::string& bytes, const char* target = "UTF8_STRING") {
        owner = std::make_unique<QProcess>();
        owner->setStandardOutputFile(QProcess::nullDevice());
        owner->setStandardErrorFile(QProcess::nullDevice());
        owner->start("xclip", {"-selection", "primary", "-i", "-quiet", "-t", target});
        if (!owner->waitForStarted(5000)) return None;
        owner->write(bytes.data(), static_cast<qint64>(bytes.size()));
        owner->closeWriteChannel();
        spinUntil([&] { return primaryOwner() != None; });
        return primaryOwner();
    }

    DisplayHandle display;
    std::unique_ptr<QProcess> owner;
};

TEST_F(PrimarySelectionTest, TakesWhatTextTheOwnerOffersAndAnOwnerThatNeverAnswersCostsTheLimitOnly) {
    // UTF-8 as it is. Asked twice: the owner keeps the selection, never taken from it.
    const std::string text = "Grüße, 世界 — \"quoted\" $(x) 😀\nsecond line";
    const std::tuple<std::string, const char*, std::optional<std::string>> cases[] = {
        {text, "UTF8_STRING", text},
        {"caf\xe9 na\xefve", "STRING", "caf\xc3\xa9 na\xc3\xafve"},            // Latin-1, converted
        {"ok \xff\xfe end", "UTF8_STRING", "ok \xef\xbf\xbd\xef\xbf\xbd end"}, // said to be UTF-8, repaired
        {std::string(1 << 20, 'a'), "UTF8_STRING",
         std::string(1 << 20, 'a')},        // too large for one reply: in pieces
        {"", "UTF8_STRING", std::nullopt}}; // no text either
    for (const auto& [bytes, target, expected] : cases) {
        const testing::XWindow xclip = offer(bytes, target);
        ASSERT_NE(xclip, testing::XWindow(None)) << target;
        EXPECT_EQ(readPrimarySelection(5s), expected) << target;
        EXPECT_EQ(readPrimarySelection(5s, bytes.size() - 1), std::nullopt)
            << "more than taken is nothing, not a part";
        EXPECT_EQ(primaryOwner(), xclip);
        owner->kill();
        owner->waitForFinished(5000);
        ASSERT_TRUE(spinUntil([&] { return primaryOwner() == None; }));
    }

    // A hung owner costs the limit, not more (again a generous bound), and keeps the selection.
    // Owns PRIMARY on a connection of its own whose events nobody reads: every request goes unanswered.
    DisplayHandle silent = testing::openTestDisplay();
    const testing::XWindow window =
        XCreateSimpleWindow(silent.get(), DefaultRootWindow(silent.get()), 0, 0, 1, 1, 0, 0, 0);
    XSetSelectionOwner(silent.get(), XA_PRIMARY, window, CurrentTime);
    XSync(silent.get(), False);
    ASSERT_EQ(primaryOwner(), window);
    const auto asked = std::chrono::steady_clock::now();
    EXPECT_EQ(readPrimarySelection(300ms), std::nullopt);
    EXPECT_GE(std::chrono::steady_clock::now() - asked, 300ms) << "it gave up before its limit";
    EXPECT_LT(std::chrono::steady_clock::now() - asked, 5s);
    EXPECT_EQ(primaryOwner(), window);
    silent.reset();
}

} // namespace
} // namespace quoddle
