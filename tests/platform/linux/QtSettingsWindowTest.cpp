#include "platform/linux/QtSettingsWindow.h"
#include "Library/UserDefaults.h"
#include "Preferences.h"
#include "platform/linux/LinuxAppServices.h"
#include "platform/linux/QtApplicationTarget.h"
#include "platform/linux/QtInterface.h"
#include "platform/linux/QtTestApp.h"
#include "platform/sim/SimDefaultsStore.h"

#include <QApplication>
#include <QCheckBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTextEdit>
#include <QTimer>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <map>

namespace quoddle {
namespace {

using test::spinUntil;

// What the controller hears of, by command.
class RecordingActions : public ApplicationActions {
public:
    void loadSettingText() override { ++calls["loadSettingText"]; }
    void setSettingText() override { ++calls["setSettingText"]; }
    void changeSetting() override { ++calls["changeSetting"]; }
    void showSettingWindow() override { ++calls["showSettingWindow"]; }
    void openUniversalAccessPref() override { ++calls["openUniversalAccessPref"]; }
    bool applicationShouldHandleReopen(bool) override {
        ++calls["applicationShouldHandleReopen"];
        return true;
    }
    void applicationWillTerminate() override { ++calls["applicationWillTerminate"]; }
    std::string settingTextOfCurrentHistory() override { return {}; }
    std::string applySettingText(const std::string&) override { return {}; }
    std::map<std::string, int> calls;
};

class QtSettingsWindowTest : public test::WithQtApplication, public ::testing::Test {};

TEST_F(QtSettingsWindowTest, SendsItsCommandsToTheRegisteredControllerOnly) {
    QtInterface ui;
    QtSettingsWindow& window = *ui.settings;
    // No controller yet: the buttons do nothing.
    window.loadButton().click();
    window.accessibilityButton().click();

    RecordingActions controller;
    ui.application.setActionTarget(&controller);
    EXPECT_EQ(ui.application.actionTarget(), &controller);
    window.loadButton().click();
    window.applyButton().click();
    window.applyButton().click();
    window.accessibilityButton().click();
    EXPECT_EQ(controller.calls,
              (std::map<std::string, int>{
                  {"loadSettingText", 1}, {"setSettingText", 2}, {"openUniversalAccessPref", 1}}));

    ui.application.setActionTarget(nullptr);
    window.loadButton().click();
    EXPECT_EQ(controller.calls["loadSettingText"], 1);
}

// Every preference has a control that shows its value (stored, else registered) and stores a change at
// once; the ranges keep values that would break the palette out.
TEST_F(QtSettingsWindowTest, ThePreferenceControlsStoreEachChangeAtOnce) {
    QtInterface ui;
    QtSettingsWindow& window = *ui.settings;
    RecordingActions controller;
    ui.application.setActionTarget(&controller);
    SimDefaultsStore store;
    store.set(kServiceButtonWindowWidth, std::int64_t{240});
    store.set(kAlwaysShowItemCount, std::int64_t{-5}); // stored by hand, out of range
    UserDefaults defaults(store);
    defaults.registerDefaults(quoddleRegisteredDefaults(LinuxLocalizedAppServices()));
    window.setPreferences(defaults);

    EXPECT_EQ(window.preferenceSpinBox(kServiceButtonWindowWidth)->value(), 240);
    EXPECT_EQ(window.preferenceSpinBox(kRecentAppMenuItemNum)->value(), 3);  // the registered default
    EXPECT_EQ(window.preferenceSpinBox(kAlwaysShowItemCount)->value(), 1);   // shown clamped
    EXPECT_EQ(store.find(kAlwaysShowItemCount)->get<std::int64_t>()[0], -5); // and not written back
    EXPECT_TRUE(window.preferenceCheckBox("ShowSettingsOnLaunch")->isChecked());
    EXPECT_FALSE(window.preferenceCheckBox("HideDockIcon")->isChecked()); // "show in the tray": inverted
    EXPECT_EQ(window.servicesTitleField().text(), QStringLiteral("Services"));
    EXPECT_TRUE(controller.calls.empty()) << "showing values is no change";

    window.preferenceSpinBox(kShortcutButtonNumPerLine)->setValue(99);
    EXPECT_EQ(defaults.integerForKey(kShortcutButtonNumPerLine), 12);
    window.preferenceCheckBox("HideDockIcon")->setChecked(true);
    EXPECT_FALSE(defaults.boolForKey("HideDockIcon"));
    window.preferenceCheckBox("LaunchAutomaticallyOnLogin")->setChecked(true);
    EXPECT_TRUE(defaults.boolForKey("LaunchAutomaticallyOnLogin"));
    EXPECT_EQ(controller.calls, (std::map<std::string, int>{{"changeSetting", 1}}));
    window.servicesTitleField().end(false);
    QKeyEvent typed(QEvent::KeyPress, Qt::Key_X, Qt::NoModifier, QStringLiteral("x"));
    QApplication::sendEvent(&window.servicesTitleField(), &typed);
    EXPECT_EQ(defaults.stringForKey(kServiceMenuItemTitle), "Servicesx");

    // Changed elsewhere (the controller at launch, another window): shown on the next refresh.
    defaults.setInteger(kServiceButtonWindowWidth, 300);
    window.refreshPreferences();
    EXPECT_EQ(window.preferenceSpinBox(kServiceButtonWindowWidth)->value(), 300);
    ui.application.setActionTarget(nullptr);
}

// The desktop services found are listed, read again when the page is shown; one can become a shortcut
// button, typed into the shortcut text as an edit of the user's (which the controller then stores).
TEST_F(QtSettingsWindowTest, ListsTheDesktopServicesAndAddsOneAsAShortcutButton) {
    QtInterface ui;
    QtSettingsWindow& window = *ui.settings;
    std::vector<DesktopServiceListing> found{
        {"Make Upper Case", "replaces the selection", "/usr/share/a.service"},
        {"Speak", "none", "/home/u/.local/share/b.service"}};
    window.setDesktopServices([&] { return found; }, "/tmp/quoddle-no-such-folder");
    ASSERT_EQ(window.desktopServicesList().topLevelItemCount(), 2);
    EXPECT_EQ(window.desktopServicesList().topLevelItem(1)->text(2),
              QStringLiteral("/home/u/.local/share/b.service"));
    found.pop_back();
    window.tabs().setCurrentIndex(4);
    EXPECT_EQ(window.desktopServicesList().topLevelItemCount(), 1);

    QtTextView& shortcuts = window.shortcutButtonSettingTextView();
    shortcuts.setString("Copy\tchar\tc\tcontrol");
    int edits = 0;
    shortcuts.setDidProcessEditingHandler([&] { ++edits; });
    EXPECT_FALSE(window.addToPaletteButton().isEnabled());
    window.desktopServicesList().topLevelItem(0)->setSelected(true);
    ASSERT_TRUE(window.addToPaletteButton().isEnabled());
    window.addToPaletteButton().click();
    EXPECT_EQ(shortcuts.string(), "Copy\tchar\tc\tcontrol\nMake Upper Case\tservice\tMake Upper Case\n");
    EXPECT_GE(edits, 1);
    EXPECT_EQ(window.tabs().currentIndex(), 2);
}

TEST_F(QtSettingsWindowTest, NamesEveryControlAndKeepsTheApplicationWhenClosed) {
    QtInterface ui;
    QtSettingsWindow& window = *ui.settings;
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Quoddle Settings"));
    QStringList tabs;
    for (int i = 0; i < window.tabs().count(); ++i)
        tabs << window.tabs().tabText(i);
    EXPECT_EQ(tabs, (QStringList{"General", "History", "Shortcut Buttons", "Blacklist", "Desktop Services"}));
    // The history page carries the text view and its two buttons.
    QWidget* history = window.tabs().widget(1);
    EXPECT_TRUE(history->isAncestorOf(&window.settingTextView().widget()));
    EXPECT_TRUE(history->isAncestorOf(&window.loadButton()));
    EXPECT_TRUE(history->isAncestorOf(&window.applyButton()));
    EXPECT_TRUE(window.tabs().widget(2)->isAncestorOf(&window.shortcutButtonSettingTextView().widget()));
    EXPECT_TRUE(window.tabs().widget(3)->isAncestorOf(&window.blacklistAppSettingTextView().widget()));
    EXPECT_EQ(window.accessibilityButton().text(), QStringLiteral("Turn On Accessibility\u2026"));

    // A screen reader finds every control by name.
    for (QWidget* widget : window.findChildren<QWidget*>()) {
        const bool control =
            qobject_cast<QPushButton*>(widget) || qobject_cast<QTextEdit*>(widget) ||
            qobject_cast<QLabel*>(widget) || qobject_cast<QTabWidget*>(widget) ||
            qobject_cast<QCheckBox*>(widget) || qobject_cast<QSpinBox*>(widget) ||
            (qobject_cast<QLineEdit*>(widget) && !qobject_cast<QSpinBox*>(widget->parent())) ||
            qobject_cast<QTreeWidget*>(widget);
        if (control) {
            EXPECT_FALSE(widget->accessibleName().isEmpty()) << widget->metaObject()->className();
        }
    }

    // The state line shows plain text in the colour it is given.
    QtTextField& field = window.axapiMessageTextField();
    field.setStringValue("<b>\"Enable access for assistive devices\" is ON.</b>");
    field.setTextColor(Color{0, 0, 0, 1});
    EXPECT_EQ(window.axapiMessageLabel().textFormat(), Qt::PlainText);
    EXPECT_EQ(window.axapiMessageLabel().text(),
              QStringLiteral("<b>\"Enable access for assistive devices\" is ON.</b>"));
    EXPECT_EQ(window.axapiMessageLabel().palette().color(QPalette::WindowText), QColor(Qt::black));

    // Closing hides the window; the application does not take it as its last window closing.
    bool lastClosed = false;
    QObject::connect(qApp, &QApplication::lastWindowClosed, &window, [&] { lastClosed = true; });
    ui.settingWindow.orderFront();
    ASSERT_TRUE(spinUntil([&] { return window.isVisible(); }));
    window.close();
    EXPECT_FALSE(ui.settingWindow.isVisible());
    test::turnLoop();
    EXPECT_FALSE(lastClosed);
}

TEST_F(QtSettingsWindowTest, AnswersHitTestsOnItsButtonsThroughQt) {
    QtInterface ui;
    QtSettingsWindow& window = *ui.settings;
    window.tabs().setCurrentIndex(1); // the History page, with Load and Apply
    ui.settingWindow.orderFront();
    // Wherever the window manager puts the window, once Qt and the X server agree on where it is.
    QPoint center;
    QPoint corner;
    ASSERT_TRUE(spinUntil([&] {
        center = window.loadButton().mapToGlobal(window.loadButton().rect().center());
        corner = window.mapToGlobal(QPoint(2, window.height() - 2));
        return QApplication::widgetAt(center) == &window.loadButton() && QApplication::widgetAt(corner) &&
               QApplication::widgetAt(corner)->window() == &window;
    }));
    const auto onLoad = ui.ownWindows.hitTest(Point{center.x() + 0.5, center.y() + 0.5});
    ASSERT_TRUE(onLoad);
    EXPECT_EQ(onLoad->role, "AXButton");
    EXPECT_EQ(onLoad->title, "Load");
    EXPECT_EQ(onLoad->frame,
              rectOfQRect(QRect(window.loadButton().mapToGlobal(QPoint(0, 0)), window.loadButton().size())));
    const auto onWindow = ui.ownWindows.hitTest(Point{double(corner.x()), double(corner.y())});
    ASSERT_TRUE(onWindow);
    EXPECT_EQ(onWindow->role, "AXWindow");
    EXPECT_EQ(onWindow->title, "Quoddle Settings");
    EXPECT_EQ(onWindow->frame, rectOfQRect(window.geometry()));
    ui.settingWindow.orderOut();
}

TEST_F(QtSettingsWindowTest, ActivatesTheWindowLastOrderedFront) {
    QtInterface ui;
    LinuxAppServices services(ui.frontWindows);
    EXPECT_EQ(ui.frontWindows.mostRecent(), nullptr);
    services.activateIgnoringOtherApps(); // nothing to activate: nothing happens

    ui.nowLoadingWindow.orderFront();
    ui.settingWindow.orderFront();
    EXPECT_TRUE(ui.settingWindow.isVisible());
    EXPECT_EQ(ui.frontWindows.mostRecent(), ui.settings.get());
    // The palette never becomes the window to activate.
    ui.palette.orderFront();
    EXPECT_EQ(ui.frontWindows.mostRecent(), ui.settings.get());
    services.activateIgnoringOtherApps();
    ASSERT_TRUE(spinUntil([&] { return QApplication::activeWindow() == ui.settings.get(); }));

    ui.settingWindow.orderOut();
    EXPECT_FALSE(ui.settingWindow.isVisible());
    EXPECT_EQ(ui.frontWindows.mostRecent(), nullptr);
    ui.palette.orderOut();
    ui.nowLoadingWindow.orderOut();
}

TEST_F(QtSettingsWindowTest, TellsTheControllerOnceWhenTheLoopQuits) {
    QtApplicationTarget application;
    RecordingActions controller;
    application.setActionTarget(&controller);
    QTimer::singleShot(0, qApp, &QCoreApplication::quit);
    QCoreApplication::exec();
    EXPECT_EQ(controller.calls["applicationWillTerminate"], 1);
    QTimer::singleShot(0, qApp, &QCoreApplication::quit);
    QCoreApplication::exec();
    EXPECT_EQ(controller.calls["applicationWillTerminate"], 1);

    QtApplicationTarget unregistered; // no controller: nothing to tell, nothing breaks
    QTimer::singleShot(0, qApp, &QCoreApplication::quit);
    QCoreApplication::exec();
}

// Presses a button of the next modal alert once it is up, and keeps what it showed.
struct AlertAnswer {
    explicit AlertAnswer(QMessageBox::StandardButton button) {
        poll.setInterval(5);
        QObject::connect(&poll, &QTimer::timeout, [this, button] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box || !box->isVisible()) return;
            poll.stop();
            for (QLabel* label : box->findChildren<QLabel*>())
                if (!label->text().isEmpty()) shown.emplace_back(label->text(), label->textFormat());
            box->button(button)->click();
        });
        poll.start();
    }
    QTimer poll;
    std::vector<std::pair<QString, Qt::TextFormat>> shown;
};

TEST_F(QtSettingsWindowTest, RunsAlertsOfPlainTextAndAnswersWithTheOriginalCodes) {
    QtFrontWindows front;
    LinuxAppServices services(front);
    {
        AlertAnswer answer(QMessageBox::Ok);
        EXPECT_EQ(services.runModalAlert("<b>Quoddle</b> %s %@", "<a href=\"x\">info</a> 100%", 0), 1000);
        using Shown = std::vector<std::pair<QString, Qt::TextFormat>>;
        EXPECT_EQ(answer.shown, (Shown{{"<b>Quoddle</b> %s %@", Qt::PlainText},
                                       {"<a href=\"x\">info</a> 100%", Qt::PlainText}}));
    }
    {
        AlertAnswer answer(QMessageBox::Cancel);
        EXPECT_EQ(services.runModalAlert("Message", "Informative", 1), 1001);
    }
}

} // namespace
} // namespace quoddle
