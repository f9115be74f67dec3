#include "platform/linux/LinuxDesktop.h"

#include "Preferences.h"
#include "platform/linux/atspi/AccessibilityStatus.h"
#include "platform/linux/services/PrimarySelection.h"
#include "platform/linux/wayland/GnomeShellHelper.h"
#include "platform/linux/wayland/WaylandClipboard.h"
#include "platform/linux/x11/X11Windows.h"

#include <QApplication>
#include <QClipboard>
#include <QEvent>
#include <QTimer>

#include <X11/Xlib.h>

#include <cctype>
#include <unistd.h>

namespace quoddle {

namespace {

// Every AT-SPI call waits at most this long: an application that stops answering costs one such wait
// (the tree then leaves it alone for a while), never a frozen palette.
constexpr std::chrono::milliseconds kAtspiTimeout{250};
// A preference is on the disk this long after its last change, as the platform's user defaults would be.
constexpr std::chrono::milliseconds kPreferencesSaveDelay{500};

std::optional<std::string> desktopFileIdOfProcess(Display* display, ProcessId pid) {
    if (!display) return std::nullopt;
    auto clients = readWindowProperty(display, DefaultRootWindow(display), "_NET_CLIENT_LIST");
    if (!clients) return std::nullopt;
    for (unsigned long window : *clients)
        if (windowPid(display, window) == pid)
            if (auto id = desktopFileIdOfWindow(display, window)) return id;
    return std::nullopt;
}

// The key that closed a menu, by its X name: "Return", "Escape", "space", or the character of a letter.
std::string keyNameOf(unsigned long keysym) {
    if (keysym == 0) return {};
    const char* name = XKeysymToString(keysym);
    if (!name) return {};
    std::string key(name);
    if (key.size() == 1) key[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(key[0])));
    return key;
}

// Quoddle's own clicks: the input monitor must see a press or release on Quoddle's windows before Qt acts
// on it (a palette button hides the palette on release), as the original platform's tap sees every event
// before the application it goes to.
class OwnClicksFirst : public QObject {
public:
    explicit OwnClicksFirst(std::function<void()> drainInput) : drainInput_(std::move(drainInput)) {}

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonRelease)
            drainInput_();
        return false;
    }

private:
    std::function<void()> drainInput_;
};

std::string outputInWords(ServiceOutput output) {
    switch (output) {
    case ServiceOutput::none:
        return "none";
    case ServiceOutput::replaceSelection:
        return "replaces the selection";
    case ServiceOutput::copyToClipboard:
        return "copied to the clipboard";
    case ServiceOutput::showNotification:
        return "shown in a notification";
    }
    return {};
}

} // namespace

TimePoint WallClock::now() const {
    return std::chrono::floor<std::chrono::milliseconds>(std::chrono::system_clock::now());
}

LinuxDesktop::LinuxDesktop(DisplayHandle display)
    : display_(std::move(display)), appServices_(ui_.frontWindows),
      defaultsStore_([this](const std::string& line) { appServices_.log(line); }),
      applications_(getpid(), [this](ProcessId pid) { return desktopFileIdOfProcess(display_.get(), pid); }),
      workspace_(applications_, runLoop_, RunningApplication{getpid(), "org.quoddle.Quoddle", "Quoddle"},
                 [this] { openAccessibilitySettings(); }),
      tree_(
          getpid(), [this](ProcessId pid) { return applications_.objectOf(pid); }, kAtspiTimeout,
          [this](const std::string& line) { appServices_.log(line); }),
      hub_(tree_, runLoop_, getpid(),
           [this] {
               input_.drain();
               if (waylandMenuButtons_) waylandMenuButtons_->readNow();
           }),
      keyPoster_(display_.get()), keyboardLayout_(display_.get()),
      strokes_(keyboardLayout_, appServices_,
               {[this](ProcessId pid) { return accessibility_.terminalOf(pid); },
                [this](ProcessId pid) -> std::optional<std::string> {
                    if (std::optional<DesktopServices::Selection> selection = selectionOf(pid))
                        return std::move(selection->text);
                    return std::nullopt;
                },
                [this](const std::string& text) { serviceOutputs_.copyToClipboard(text); },
                [this](const KeyStroke& stroke) { return keyPoster_.postStroke(stroke); },
                [this](ProcessId pid) { return waylandGestures_ && waylandGestures_->isWaylandClient(pid); },
                [this](ProcessId pid) { return editSelection(pid, std::string()); },
                [this](ProcessId pid) {
                    const std::optional<std::string> text = clipboardText();
                    return text && !text->empty() && editSelection(pid, *text);
                }}),
      accessibility_(
          tree_, hub_, display_.get(), ui_.ownWindows, strokes_, getpid(),
          [this] { workspace_.refreshApplications(); },
          [this](const RunningApplication& application) { workspace_.notePlainApplication(application); },
          [] { return deviceScale(); }),
      eventTaps_(input_),
      loginItems_(XdgAutostartLoginItems::forThisSession("org.quoddle.Quoddle", "quoddle")),
      activeWindow_([this](std::optional<ProcessId> pid) { workspace_.activeProcessChanged(pid); }),
      primaryOwner_([this](std::optional<ProcessId> pid) { accessibility_.primaryOwnerChanged(pid); }),
      preferences_(defaultsStore_), tray_({[this] { ui_.application.send(&ApplicationActions::reopen); },
                                           [this](bool paused) {
                                               eventTaps_.setPaused(paused);
                                               pauseExplained_ = false;
                                           },
                                           [] { QApplication::quit(); }}),
      serviceCatalog_(serviceDirectories(appServices_.bundlePath().value_or("")),
                      [this](const std::string& line) { appServices_.log(line); }),
      serviceOutputs_(keyPoster_),
      desktopServices_(
          serviceCatalog_, serviceOutputs_, appServices_, [this](ProcessId pid) { return selectionOf(pid); },
          [this]() -> std::optional<ProcessId> {
              if (auto active = workspace_.activeApplication()) return active->processIdentifier;
              return std::nullopt;
          },
          appServices_.bundlePath().value_or("")),
      platform_{defaultsStore_,  workspace_,     runLoop_,       clock_,      appServices_,
                ui_.application, accessibility_, eventTaps_,     ui_.pointer, ui_.screens,
                keyboardLayout_, loginItems_,    ui_.interface()} {
    hub_.setApplicationsChangedHandler([this] { workspace_.applicationsChanged(); });
    waylandSession_ = currentWaylandSession();
    if (waylandSession_) takeWaylandRoute();
    preferencesSave_ = std::make_unique<QTimer>();
    preferencesSave_->setSingleShot(true);
    preferencesSave_->setInterval(kPreferencesSaveDelay);
    QObject::connect(preferencesSave_.get(), &QTimer::timeout,
                     [this] { defaultsStore_.synchronizeInBackground(); });
    defaultsStore_.setChangeHandler([this] { preferencesChanged(); });
    preferences_.registerDefaults(preference::registeredDefaults(appServices_));
    ui_.settings->setPreferences(preferences_);
    appServices_.setForegroundHandler([this] { tray_.setVisible(true); });
    tree_.setServicesMenuSource(
        {appServices_.localizedString("Services"), [this] { return servicesItemTitles(); },
         [this] { return desktopServices_.names(); },
         [this](ProcessId pid, const std::string& name) { return desktopServices_.press(pid, name); }});
    ui_.settings->setDesktopServices(
        [this] {
            std::vector<DesktopServiceListing> listing;
            for (const DesktopService& service : serviceCatalog_.services())
                listing.push_back({service.name, outputInWords(service.output), service.path});
            return listing;
        },
        serviceCatalog_.directories().empty() ? std::string() : serviceCatalog_.directories().front());
}

// No client sees the pointer's buttons in Wayland windows, nor can post keys there: what stands in for
// them on this compositor.
void LinuxDesktop::takeWaylandRoute() {
    waylandGestures_ = std::make_unique<WaylandGestures>(
        *waylandSession_, runLoop_, tree_, accessibility_, ui_.pointer, input_,
        [this](ProcessId pid) { workspace_.activeProcessChanged(pid); });
    hub_.setSelectionReportHandler(
        [this](const ax::ElementRef& element) { waylandGestures_->selectionReported(element); });
    if (waylandSession_->compositor == WaylandCompositor::gnome) {
        waylandMenuButtons_ = std::make_unique<WaylandMenuButtons>(
            runLoop_, WaylandMenuButtons::Hooks{
                          [] { return GnomeShellHelper().pointer(); },
                          // X tells the active window only among its own: not an X window's menus.
                          [this](ProcessId pid) {
                              return waylandGestures_->isWaylandClient(pid) ||
                                     activeWindow_.activePid() != pid;
                          },
                          [this](ProcessId pid) { return hub_.menusOpen(pid); },
                          [this](ProcessId pid, const MenuInput& input) { hub_.menuInputOf(pid, input); }});
        hub_.setMenuShownHandler([this](ProcessId pid) { waylandMenuButtons_->menuShown(pid); });
        ui_.settings->setDesktopHelper(
            {"Quoddle's GNOME Shell extension is on: the palette opens where the mouse button goes up",
             "Quoddle's GNOME Shell extension is off: in Wayland windows the palette opens a moment after "
             "a selection rests, not beside it, and Services items chosen in menus are not learned",
             "Turn On GNOME Shell Extension", [] { return GnomeShellHelper().running(); },
             [] { return GnomeShellHelper::turnOnExtension(); }});
    }
    serviceOutputs_.setKeylessRoute(
        {[this](ProcessId pid) { return waylandGestures_->isWaylandClient(pid); },
         [this](ProcessId pid, const std::string& text) { return editSelection(pid, text); },
         xClipboardReachesWaylandWindows(waylandSession_->compositor)
             ? std::function<void(const std::string&)>()
             : [this](const std::string& text) {
                   if (!WaylandClipboard::copy(text))
                       appServices_.log(
                           "the copy reaches X windows only: wl-copy (wl-clipboard) is missing or failed");
               }});
}

LinuxDesktop::~LinuxDesktop() {
    defaultsStore_.setChangeHandler(nullptr);
    appServices_.setForegroundHandler(nullptr);
    if (ownClicksFirst_) qApp->removeEventFilter(ownClicksFirst_.get());
    if (inputListener_) input_.removeListener(inputListener_);
}

bool LinuxDesktop::start(std::string* reason) {
    applications_.rescan();
    if (waylandSession_)
        appServices_.log(
            waylandRouteInWords(*waylandSession_, waylandSession_->compositor == WaylandCompositor::gnome &&
                                                      GnomeShellHelper().running()));
    std::string activeWindowProblem;
    if (activeWindow_.start(&activeWindowProblem))
        workspace_.activeProcessChanged(activeWindow_.activePid());
    else
        appServices_.log("the active window cannot be followed: " + activeWindowProblem);
    std::string primaryProblem;
    if (!primaryOwner_.start(&primaryProblem))
        appServices_.log("selections in windows without accessibility cannot be seen: " + primaryProblem);
    inputListener_ = input_.addListener([this](const InputEvent& event) { input(event); });
    ownClicksFirst_ = std::make_unique<OwnClicksFirst>([this] { input_.drain(); });
    qApp->installEventFilter(ownClicksFirst_.get());
    return input_.start(reason);
}

void LinuxDesktop::input(const InputEvent& event) {
    // X pixels; Quoddle's own windows and the core count Qt's.
    const double scale = deviceScale();
    const Point at = waylandGestures_ && !event.guessed ? waylandGestures_->placeOfRecorded()
                                                        : Point{event.rootX / scale, event.rootY / scale};
    const bool leftPress = event.kind == InputEvent::Kind::buttonPress && event.detail == 1;
    const std::optional<OwnWindowHit> own = leftPress ? ui_.ownWindows.hitTest(at) : std::nullopt;
    if (waylandGestures_) waylandGestures_->recorded(event, own.has_value());
    if (leftPress) accessibility_.notePress(at, own);
    if (event.kind == InputEvent::Kind::buttonRelease && event.detail == 1) {
        accessibility_.releaseSeen(at);
        if (eventTaps_.paused() && !std::exchange(pauseExplained_, true))
            appServices_.explain("no palette: Quoddle is paused");
    }
    menuInput(event);
}

void LinuxDesktop::menuInput(const InputEvent& event) {
    MenuInput input;
    switch (event.kind) {
    case InputEvent::Kind::buttonPress:
        input.kind = MenuInput::Kind::buttonPress;
        break;
    case InputEvent::Kind::buttonRelease:
        input.kind = MenuInput::Kind::buttonRelease;
        break;
    case InputEvent::Kind::keyPress:
        input.kind = MenuInput::Kind::keyPress;
        input.key = keyNameOf(event.keysym);
        break;
    case InputEvent::Kind::keyRelease:
    case InputEvent::Kind::motion:
    case InputEvent::Kind::broken:
        return;
    }
    input.at = Point{double(event.rootX), double(event.rootY)};
    hub_.menuInput(input);
}

void LinuxDesktop::preferencesChanged() {
    preferencesSave_->start();
    ui_.settings->refreshPreferences();
    // The tray icon follows its switch while Quoddle runs, both ways.
    const bool trayWanted = !preferences_.boolForKey(preference::hideDockIcon);
    if (trayWanted != tray_.isVisible()) tray_.setVisible(trayWanted);
}

std::vector<std::string> LinuxDesktop::servicesItemTitles() const {
    std::vector<std::string> titles{appServices_.localizedString("Services")};
    if (const PlistValue* title = defaultsStore_.find(preference::servicesMenuTitle))
        if (const std::string* text = title->get<std::string>()) titles.push_back(*text);
    return titles;
}

std::optional<DesktopServices::Selection> LinuxDesktop::selectionOf(ProcessId pid) {
    const AtspiElement* element = atspiElementOf(accessibility_.lastHitElementOf(pid));
    const bool editable = element && tree_.isEditable(*element);
    if (element)
        if (std::optional<std::string> text = tree_.selectedText(*element))
            return DesktopServices::Selection{std::move(*text), editable};
    // Applications that keep their text from accessibility still offer it as the X selection.
    constexpr std::chrono::milliseconds kPrimaryWait{300};
    if (std::optional<std::string> text = readPrimarySelection(kPrimaryWait))
        return DesktopServices::Selection{std::move(*text), editable};
    return std::nullopt;
}

std::optional<std::string> LinuxDesktop::clipboardText() {
    if (waylandSession_ && !xClipboardReachesWaylandWindows(waylandSession_->compositor))
        if (std::optional<std::string> text = WaylandClipboard::text()) return text;
    const QString text = QApplication::clipboard()->text(QClipboard::Clipboard);
    return text.isNull() ? std::nullopt : std::optional<std::string>(text.toStdString());
}

bool LinuxDesktop::editSelection(ProcessId pid, const std::string& replacement) {
    const AtspiElement* element = atspiElementOf(accessibility_.lastHitElementOf(pid));
    return element && tree_.replaceSelection(*element, replacement);
}

void LinuxDesktop::openAccessibilitySettings() {
    if (accessibilityIsEnabled()) {
        appServices_.runModalAlert("Accessibility is on.",
                                   "Applications started before it was turned on may need to be restarted "
                                   "before Quoddle can see them.",
                                   0);
        return;
    }
    const int answer = appServices_.runModalAlert(
        "Turn on accessibility for this session?",
        "Quoddle reads other applications' text selections and menus through the desktop's accessibility "
        "interface. Qt applications started before this need to be restarted.",
        0);
    if (answer != kAlertFirstButtonReturn) return;
    std::string problem;
    if (!enableAccessibility(&problem))
        appServices_.runModalAlert("Accessibility could not be turned on.",
                                   problem + "\nTurn it on in your desktop's accessibility settings instead.",
                                   0);
}

} // namespace quoddle
