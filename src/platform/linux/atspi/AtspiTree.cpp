#include "platform/linux/atspi/AtspiTree.h"

#include "platform/linux/atspi/AtspiCall.h"
#include "platform/linux/atspi/AtspiMenuEvents.h"
#include "platform/linux/atspi/ElementPresentations.h"

#include <algorithm>
#include <cctype>
#include <deque>
#include <set>

namespace quoddle {

namespace {

// Trees come from other applications: bound what is read of them.
constexpr int kMaxChildren = 4096;
constexpr int kMaxHitDepth = 32;
constexpr std::size_t kMaxChildrenSearchedAtPoint = 256;
constexpr std::size_t kMaxChildrenLookedThrough = 16;
constexpr int kMaxTextAncestorSteps = 4;
constexpr int kMenuBarSearchDepth = 6;
constexpr int kMenuBarSearchBudget = 400;
constexpr std::size_t kMaxTopLevelMenus = 24;
constexpr std::size_t kMaxItemsLookedAt = 96;
// A selection longer than this is not read (in the toolkit's offset units).
constexpr int kMaxSelectionLength = 16 * 1024 * 1024;
// After a call ran into the time-out, the application's calls fail at once for this long.
constexpr std::chrono::seconds kUnresponsiveBackoff{3};

std::string trimmed(std::string text) {
    auto blank = [](unsigned char c) { return std::isspace(c) != 0; };
    text.erase(text.begin(), std::find_if_not(text.begin(), text.end(), blank));
    text.erase(std::find_if_not(text.rbegin(), text.rend(), blank).base(), text.end());
    return text;
}

bool contains(const Rect& frame, int x, int y) {
    return x >= frame.minX() && x < frame.maxX() && y >= frame.minY() && y < frame.maxY();
}

bool isTextRole(AtspiRole role) {
    return role == ATSPI_ROLE_TEXT || role == ATSPI_ROLE_ENTRY || role == ATSPI_ROLE_PASSWORD_TEXT ||
           role == ATSPI_ROLE_DOCUMENT_TEXT;
}

} // namespace

AtspiTree::AtspiTree(ProcessId ownPid, ApplicationOfPid applicationOfPid,
                     std::chrono::milliseconds callTimeout, Log log)
    : ownPid_(ownPid), applicationOfPid_(std::move(applicationOfPid)), callTimeout_(callTimeout),
      log_(std::move(log)), systemWide_(std::make_shared<const AtspiElement>(AtspiElementKind::systemWide,
                                                                             GRef<AtspiAccessible>(), -1)) {}

bool AtspiTree::isUnresponsive(ProcessId pid) {
    auto it = unresponsiveUntil_.find(pid);
    if (it == unresponsiveUntil_.end()) return false;
    if (Clock::now() < it->second) return true;
    unresponsiveUntil_.erase(it);
    return false;
}

void AtspiTree::askAgainAfterAPress() {
    if (!unresponsiveUntil_.empty())
        log_("a press: applications that did not answer accessibility are asked again");
    unresponsiveUntil_.clear();
}

void AtspiTree::noteCall(ProcessId pid, const char* operation, Clock::duration took, bool failed) {
    if (!failed || took < callTimeout_ * 4 / 5) return;
    unresponsiveUntil_[pid] = Clock::now() + kUnresponsiveBackoff;
    // Whatever fails in that application meanwhile has this for its cause.
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(took).count();
    log_("process " + std::to_string(pid) + " did not answer accessibility (" + operation + ", " +
         std::to_string(ms) + " ms): its calls fail at once until the next press, for up to " +
         std::to_string(kUnresponsiveBackoff.count()) + " s");
}

// --- Handles ---------------------------------------------------------------------------------------------

ax::ElementRef AtspiTree::applicationElement(ProcessId pid) {
    if (GRef<AtspiAccessible> application = applicationOfPid_(pid))
        return cache_.element(AtspiElementKind::application, application.get(), pid);
    return cache_.placeholderApplication(pid);
}

ax::ElementRef AtspiTree::objectElement(AtspiAccessible* object) {
    if (!object) return nullptr;
    GErrorSlot error;
    const auto pid = static_cast<ProcessId>(atspi_accessible_get_process_id(object, error.out()));
    if (error) return nullptr;
    return objectElement(object, pid);
}

ax::ElementRef AtspiTree::objectElement(AtspiAccessible* object, ProcessId pid) {
    if (roleOf(object) == ATSPI_ROLE_APPLICATION)
        return cache_.element(AtspiElementKind::application, object, pid);
    return cache_.element(AtspiElementKind::object, object, pid);
}

ax::ElementRef AtspiTree::menuElement(AtspiAccessible* menu) {
    ax::ElementRef plain = objectElement(menu);
    if (!plain) return nullptr;
    if (roleOf(menu) != ATSPI_ROLE_MENU) return plain;
    return cache_.element(AtspiElementKind::menuOfMenu, menu, atspiElementOf(plain)->pid);
}

ax::ElementRef AtspiTree::ownWidgetElement(const OwnWindowHit& hit) {
    // The same widget at the same place keeps its handle.
    if (lastOwnWidget_ && lastOwnWidget_->own.role == hit.role && lastOwnWidget_->own.title == hit.title &&
        lastOwnWidget_->own.frame == hit.frame)
        return lastOwnWidget_;
    auto element =
        std::make_shared<AtspiElement>(AtspiElementKind::ownWidget, GRef<AtspiAccessible>(), ownPid_);
    element->own = hit;
    lastOwnWidget_ = element;
    return element;
}

ax::ElementRef AtspiTree::plainWindowElement(ProcessId pid, const OwnWindowHit& window) {
    if (lastPlainWindow_ && lastPlainWindow_->pid == pid && lastPlainWindow_->own.role == window.role &&
        lastPlainWindow_->own.title == window.title && lastPlainWindow_->own.frame == window.frame)
        return lastPlainWindow_;
    auto element =
        std::make_shared<AtspiElement>(AtspiElementKind::plainWindow, GRef<AtspiAccessible>(), pid);
    element->own = window;
    lastPlainWindow_ = element;
    return element;
}

bool AtspiTree::hasText(const AtspiElement& element) {
    if (element.kind != AtspiElementKind::object || !element.accessible) return false;
    return static_cast<bool>(
        GRef<AtspiText>::adopt(atspi_accessible_get_text_iface(element.accessible.get())));
}

// --- The port's operations, by kind
// -------------------------------------------------------------------------

ax::Result<ax::Value> AtspiTree::attribute(const AtspiElement& element, ax::Attribute name) {
    return presentationOf(element.kind).attribute(*this, element, name);
}

ax::Result<std::vector<ax::Attribute>> AtspiTree::attributeNames(const AtspiElement& element) {
    return presentationOf(element.kind).attributeNames(*this, element);
}

ax::Result<std::vector<ax::Action>> AtspiTree::actionNames(const AtspiElement& element) {
    return presentationOf(element.kind).actionNames(*this, element);
}

ax::Error AtspiTree::press(const AtspiElement& element) {
    return presentationOf(element.kind).press(*this, element);
}

ax::Result<ProcessId> AtspiTree::pid(const AtspiElement& element) {
    if (element.kind == AtspiElementKind::systemWide) return {ax::Error::illegalArgument};
    return {ax::Error::success, element.pid};
}

std::optional<std::vector<ax::ElementRef>> AtspiTree::presentedChildren(const AtspiElement& element) {
    return presentationOf(element.kind).children(*this, element);
}

// --- Reading objects ---------------------------------------------------------------------------------------

std::optional<AtspiRole> AtspiTree::roleOf(AtspiAccessible* object) {
    GErrorSlot error;
    AtspiRole role = atspi_accessible_get_role(object, error.out());
    if (error) return std::nullopt;
    return role;
}

GRef<AtspiAccessible> AtspiTree::parentOf(AtspiAccessible* object) {
    GErrorSlot error;
    auto parent = GRef<AtspiAccessible>::adopt(atspi_accessible_get_parent(object, error.out()));
    if (error) return {};
    return parent;
}

std::optional<std::vector<GRef<AtspiAccessible>>> AtspiTree::childrenOf(AtspiAccessible* object) {
    GErrorSlot error;
    const int count = atspi_accessible_get_child_count(object, error.out());
    if (error || count < 0) return std::nullopt;
    std::vector<GRef<AtspiAccessible>> children;
    for (int i = 0; i < std::min(count, kMaxChildren); ++i) {
        auto child =
            GRef<AtspiAccessible>::adopt(atspi_accessible_get_child_at_index(object, i, error.out()));
        if (error) return std::nullopt;
        if (child) children.push_back(std::move(child));
    }
    return children;
}

std::optional<std::string> AtspiTree::title(AtspiAccessible* object) {
    GErrorSlot error;
    std::optional<std::string> name = takeGString(atspi_accessible_get_name(object, error.out()));
    if (error || !name) return std::nullopt;
    return trimmed(std::move(*name));
}

std::optional<Rect> AtspiTree::extents(AtspiAccessible* object) {
    auto component = GRef<AtspiComponent>::adopt(atspi_accessible_get_component_iface(object));
    if (!component) return std::nullopt;
    GErrorSlot error;
    GMemory<AtspiRect> rect(
        atspi_component_get_extents(component.get(), ATSPI_COORD_TYPE_SCREEN, error.out()));
    if (error || !rect) return std::nullopt;
    const Point offset = windowOffsetOf(object).value_or(Point{});
    return Rect{{rect->x + offset.x, rect->y + offset.y}, {double(rect->width), double(rect->height)}};
}

bool AtspiTree::answersInWindowCoordinates(ProcessId pid) {
    if (auto known = windowRelative_.find(pid); known != windowRelative_.end()) return known->second;
    GRef<AtspiAccessible> application = applicationOfPid_(pid);
    if (!application) return false;
    GErrorSlot error;
    std::optional<std::string> toolkit =
        takeGString(atspi_accessible_get_toolkit_name(application.get(), error.out()));
    std::optional<std::string> version =
        takeGString(atspi_accessible_get_toolkit_version(application.get(), error.out()));
    const bool relative = toolkit == "GTK" && version && version->starts_with("4.");
    if (!error) windowRelative_[pid] = relative;
    return relative;
}

void AtspiTree::placeWindowAt(ProcessId pid, const std::vector<GRef<AtspiAccessible>>& windows,
                              const Rect& xWindow) {
    constexpr double kMaxDecoration = 64;
    windowOffsets_.erase(pid); // the windows' own extents are measured as the toolkit gives them
    for (const auto& window : windows) {
        if (!hasState(window.get(), ATSPI_STATE_SHOWING)) continue;
        const std::optional<Rect> frame = extents(window.get());
        if (!frame) continue;
        const double insetX = (xWindow.size.width - frame->size.width) / 2;
        const double insetY = (xWindow.size.height - frame->size.height) / 2;
        if (insetX < 0 || insetX > kMaxDecoration || insetX != insetY) continue;
        windowOffsets_[pid] =
            Point{xWindow.minX() + insetX - frame->minX(), xWindow.minY() + insetY - frame->minY()};
        return;
    }
}

std::optional<Point> AtspiTree::windowOffsetOf(AtspiAccessible* object) {
    if (windowOffsets_.empty()) return std::nullopt;
    GErrorSlot error;
    const auto pid = static_cast<ProcessId>(atspi_accessible_get_process_id(object, error.out()));
    auto it = windowOffsets_.find(pid);
    if (error || it == windowOffsets_.end()) return std::nullopt;
    return it->second;
}

bool AtspiTree::hasState(AtspiAccessible* object, AtspiStateType state) {
    auto states = GRef<AtspiStateSet>::adopt(atspi_accessible_get_state_set(object));
    return states && atspi_state_set_contains(states.get(), state);
}

std::optional<std::string> AtspiTree::mnemonic(AtspiAccessible* item) {
    auto action = GRef<AtspiAction>::adopt(atspi_accessible_get_action_iface(item));
    if (!action) return std::nullopt;
    GErrorSlot error;
    std::optional<std::string> binding =
        takeGString(atspi_action_get_key_binding(action.get(), 0, error.out()));
    if (error || !binding) return std::nullopt;
    return mnemonicOfKeyBinding(*binding);
}

GRef<AtspiAccessible> AtspiTree::findMenuBar(AtspiAccessible* application) {
    // Breadth first from the application's windows, the active window's bar preferred: menu bars sit a few
    // levels below their frame.
    std::deque<std::pair<GRef<AtspiAccessible>, int>> queue;
    auto windows = childrenOf(application);
    if (!windows) return {};
    std::stable_partition(windows->begin(), windows->end(), [this](const GRef<AtspiAccessible>& w) {
        return hasState(w.get(), ATSPI_STATE_ACTIVE);
    });
    for (auto& window : *windows)
        queue.emplace_back(std::move(window), 1);
    int budget = kMenuBarSearchBudget;
    while (!queue.empty() && budget-- > 0) {
        auto [object, depth] = std::move(queue.front());
        queue.pop_front();
        std::optional<AtspiRole> role = roleOf(object.get());
        if (role == ATSPI_ROLE_MENU_BAR) return object;
        // Menus and text hold no menu bar; skip their (possibly large) subtrees.
        if (!role || depth >= kMenuBarSearchDepth || *role == ATSPI_ROLE_MENU || *role == ATSPI_ROLE_TEXT ||
            *role == ATSPI_ROLE_TABLE || *role == ATSPI_ROLE_TREE_TABLE || *role == ATSPI_ROLE_LIST)
            continue;
        if (auto children = childrenOf(object.get()))
            for (auto& child : *children)
                queue.emplace_back(std::move(child), depth + 1);
    }
    return {};
}

std::optional<std::vector<GRef<AtspiAccessible>>> AtspiTree::menuItemsOf(AtspiAccessible* menu) {
    std::optional<AtspiRole> role = roleOf(menu);
    if (role == ATSPI_ROLE_MENU || role == ATSPI_ROLE_POPUP_MENU) return childrenOf(menu);
    if (role != ATSPI_ROLE_MENU_ITEM) return std::nullopt;
    // A Qt item holds its menu as a popup-menu child.
    auto children = childrenOf(menu);
    if (!children) return std::nullopt;
    for (auto& child : *children)
        if (roleOf(child.get()) == ATSPI_ROLE_POPUP_MENU) return childrenOf(child.get());
    return std::nullopt;
}

std::vector<GRef<AtspiAccessible>> AtspiTree::ownServicesItems(AtspiAccessible* application) {
    std::set<std::string> candidates{"Services", servicesSource_.servicesTitle};
    if (servicesSource_.servicesItemTitles)
        for (std::string& title : servicesSource_.servicesItemTitles())
            candidates.insert(std::move(title));
    candidates.erase("");
    GRef<AtspiAccessible> menuBar = findMenuBar(application);
    if (!menuBar) return {};
    auto menus = childrenOf(menuBar.get());
    if (!menus) return {};
    std::size_t looked = 0;
    for (std::size_t m = 0; m < std::min(menus->size(), kMaxTopLevelMenus); ++m) {
        auto items = menuItemsOf((*menus)[m].get());
        if (!items) continue;
        for (auto& item : *items) {
            if (++looked > kMaxItemsLookedAt) return {};
            std::optional<std::string> name = title(item.get());
            if (!name || !candidates.contains(*name)) continue;
            if (auto services = menuItemsOf(item.get())) return std::move(*services);
        }
    }
    return {};
}

// --- Hit testing -------------------------------------------------------------------------------------------

GRef<AtspiAccessible> AtspiTree::showingChildAt(AtspiAccessible* parent, int x, int y, int levels,
                                                bool windowRelative) {
    auto children = childrenOf(parent);
    if (!children || children->size() > kMaxChildrenSearchedAtPoint) return {};
    // GTK 4 marks its widgets visible, not showing.
    const AtspiStateType shown = windowRelative ? ATSPI_STATE_VISIBLE : ATSPI_STATE_SHOWING;
    // Later children are drawn over earlier ones.
    for (auto it = children->rbegin(); it != children->rend(); ++it) {
        if (!hasState(it->get(), shown)) continue;
        std::optional<Rect> frame = extents(it->get());
        if (frame && contains(*frame, x, y)) return *it;
    }
    // A child may stand for its content without covering it (a GTK notebook's page is a tab whose extents
    // are the tab's): its own children are looked at too.
    if (levels > 1 && children->size() <= kMaxChildrenLookedThrough)
        for (auto it = children->rbegin(); it != children->rend(); ++it)
            if (GRef<AtspiAccessible> inner = showingChildAt(it->get(), x, y, levels - 1, windowRelative))
                return inner;
    return {};
}

ax::Result<ax::ElementRef> AtspiTree::elementAtPoint(ProcessId pid, int x, int y, const Rect& xWindow) {
    GRef<AtspiAccessible> application = applicationOfPid_(pid);
    if (!application) return {ax::Error::cannotComplete};
    AtspiCall call(*this, pid);
    if (call.refused()) return {ax::Error::cannotComplete};
    auto windows = childrenOf(application.get());
    if (!windows) {
        call.failed();
        return {ax::Error::cannotComplete};
    }
    const bool windowRelative = answersInWindowCoordinates(pid);
    if (windowRelative) placeWindowAt(pid, *windows, xWindow);
    // The window under the point: a showing one that contains it, the active one first (X stacking already
    // chose the application; AT-SPI knows no stacking order among its windows).
    GRef<AtspiAccessible> current;
    for (int pass = 0; pass < 2 && !current; ++pass)
        for (auto& window : *windows) {
            if (!hasState(window.get(), ATSPI_STATE_SHOWING)) continue;
            if (pass == 0 && !hasState(window.get(), ATSPI_STATE_ACTIVE) && !windowRelative) continue;
            std::optional<Rect> frame = extents(window.get());
            if (frame && contains(*frame, x, y)) {
                current = window;
                break;
            }
        }
    if (!current) return {ax::Error::noValue};
    for (int depth = 0; depth < kMaxHitDepth; ++depth) {
        auto component = GRef<AtspiComponent>::adopt(atspi_accessible_get_component_iface(current.get()));
        if (!component) break;
        GErrorSlot error;
        const Point offset = windowRelative ? windowOffsets_[pid] : Point{};
        auto deeper = GRef<AtspiAccessible>::adopt(atspi_component_get_accessible_at_point(
            component.get(), static_cast<int>(x - offset.x), static_cast<int>(y - offset.y),
            windowRelative ? ATSPI_COORD_TYPE_WINDOW : ATSPI_COORD_TYPE_SCREEN, error.out()));
        // Some containers do not pass the question on (a GTK notebook answers only for its tabs): then the
        // child under the point is looked for among the children.
        if (error || !deeper || deeper.get() == current.get())
            deeper = showingChildAt(current.get(), x, y, 2, windowRelative);
        if (!deeper) break;
        current = std::move(deeper);
    }
    // A Qt text edit's deepest element is its viewport: the text is one or two levels up.
    if (auto text = GRef<AtspiText>::adopt(atspi_accessible_get_text_iface(current.get())); !text) {
        GRef<AtspiAccessible> ancestor = parentOf(current.get());
        for (int step = 0; ancestor && step < kMaxTextAncestorSteps; ++step) {
            std::optional<AtspiRole> role = roleOf(ancestor.get());
            if (!role || *role == ATSPI_ROLE_FRAME || *role == ATSPI_ROLE_APPLICATION) break;
            if (auto ancestorText = GRef<AtspiText>::adopt(atspi_accessible_get_text_iface(ancestor.get()));
                ancestorText && isTextRole(*role)) {
                current = ancestor;
                break;
            }
            ancestor = parentOf(ancestor.get());
        }
    }
    return {ax::Error::success, objectElement(current.get(), pid)};
}

// --- The user's text ---------------------------------------------------------------------------------------

namespace {

// The first selection's offsets, start before end; none when nothing is selected, or when a call fails
// (which counts against the application).
std::optional<std::pair<int, int>> selectionRange(AtspiText* text, AtspiCall& call) {
    GErrorSlot error;
    const int selections = atspi_text_get_n_selections(text, error.out());
    if (error || selections <= 0) {
        if (error) call.failed();
        return std::nullopt;
    }
    GMemory<AtspiRange> range(atspi_text_get_selection(text, 0, error.out()));
    if (error || !range) {
        call.failed();
        return std::nullopt;
    }
    const int start = std::min(range->start_offset, range->end_offset);
    const int end = std::max(range->start_offset, range->end_offset);
    if (start < 0 || end == start) return std::nullopt;
    return std::pair{start, end};
}

} // namespace

std::optional<std::string> AtspiTree::selectedText(const AtspiElement& element) {
    if (element.kind != AtspiElementKind::object || !element.accessible) return std::nullopt;
    AtspiCall call(*this, element.pid);
    if (call.refused()) return std::nullopt;
    auto text = GRef<AtspiText>::adopt(atspi_accessible_get_text_iface(element.accessible.get()));
    if (!text) return std::nullopt;
    const std::optional<std::pair<int, int>> range = selectionRange(text.get(), call);
    if (!range || range->second - range->first > kMaxSelectionLength) return std::nullopt;
    GErrorSlot error;
    std::optional<std::string> selected =
        takeGString(atspi_text_get_text(text.get(), range->first, range->second, error.out()));
    if (error) {
        call.failed();
        return std::nullopt;
    }
    return selected;
}

std::optional<Point> AtspiTree::selectionEndPoint(const AtspiElement& element) {
    if (element.kind != AtspiElementKind::object || !element.accessible) return std::nullopt;
    AtspiCall call(*this, element.pid);
    if (call.refused()) return std::nullopt;
    auto text = GRef<AtspiText>::adopt(atspi_accessible_get_text_iface(element.accessible.get()));
    const std::optional<std::pair<int, int>> range = text ? selectionRange(text.get(), call) : std::nullopt;
    if (!range) return std::nullopt;
    GErrorSlot error;
    GMemory<AtspiRect> last(atspi_text_get_character_extents(text.get(), range->second - 1,
                                                             ATSPI_COORD_TYPE_SCREEN, error.out()));
    // Some toolkits give an empty place for a character they have not laid out yet.
    if (error || !last || (last->width <= 0 && last->height <= 0)) return std::nullopt;
    const Point offset = windowOffsetOf(element.accessible.get()).value_or(Point{});
    return Point{double(last->x + last->width) + offset.x, double(last->y + last->height) + offset.y};
}

bool AtspiTree::replaceSelection(const AtspiElement& element, const std::string& text) {
    if (element.kind != AtspiElementKind::object || !element.accessible) return false;
    AtspiCall call(*this, element.pid);
    if (call.refused()) return false;
    AtspiAccessible* object = element.accessible.get();
    auto readable = GRef<AtspiText>::adopt(atspi_accessible_get_text_iface(object));
    auto editable = GRef<AtspiEditableText>::adopt(atspi_accessible_get_editable_text_iface(object));
    if (!readable || !editable) return false;
    GErrorSlot error;
    const int caret = atspi_text_get_caret_offset(readable.get(), error.out());
    if (error) return false;
    const auto [start, end] = selectionRange(readable.get(), call).value_or(std::pair{caret, caret});
    if (start < 0) return false;
    if (end > start && (!atspi_editable_text_delete_text(editable.get(), start, end, error.out()) || error))
        return false;
    if (text.empty()) return true;
    // The length is in bytes of UTF-8.
    return atspi_editable_text_insert_text(editable.get(), start, text.c_str(), static_cast<int>(text.size()),
                                           error.out()) &&
           !error;
}

bool AtspiTree::isEditable(const AtspiElement& element) {
    if (element.kind != AtspiElementKind::object || !element.accessible) return false;
    return hasState(element.accessible.get(), ATSPI_STATE_EDITABLE);
}

} // namespace quoddle
