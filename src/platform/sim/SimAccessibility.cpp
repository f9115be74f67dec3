#include "platform/sim/SimAccessibility.h"

#include <algorithm>
#include <stdexcept>

namespace quoddle {

namespace {

const std::vector<std::string> kMenuItemActions{"AXPress", "AXCancel"};

bool contains(const Rect& frame, double x, double y) {
    return x >= frame.minX() && x < frame.maxX() && y >= frame.minY() && y < frame.maxY();
}

} // namespace

SimAccessibility::SimAccessibility() {
    systemWide_ =
        std::static_pointer_cast<const SimElement>(newNode(-1, std::nullopt, {.role = "AXSystemWide"}));
}

SimAccessibility::~SimAccessibility() {
    for (const auto& weak : observers_)
        if (auto observer = weak.lock()) observer->service_ = nullptr;
}

// ---- The port

AXUIElementRef SimAccessibility::createApplication(ProcessId pid) {
    if (AXUIElementRef existing = application(pid)) return existing;
    // Like the platform, any process gets an element; it works once the process has a tree.
    return std::make_shared<SimElement>(this, 0, pid);
}

AXResult<SimAccessibility::Node*> SimAccessibility::resolve(const AXUIElementRef& element) {
    if (!enabled_) return {kAXErrorAPIDisabled};
    auto sim = dynamic_cast<const SimElement*>(element.get());
    if (!sim || sim->owner() != this) return {kAXErrorIllegalArgument};
    SimElementId id = sim->id();
    if (id == 0) {
        auto app = applications_.find(sim->pid());
        if (app == applications_.end()) return {kAXErrorInvalidUIElement};
        id = app->second;
    }
    auto it = nodes_.find(id);
    if (it == nodes_.end()) return {kAXErrorInvalidUIElement};
    return {kAXErrorSuccess, &it->second};
}

AXResult<AXUIElementRef> SimAccessibility::copyElementAtPosition(const AXUIElementRef& systemWide, float x,
                                                                 float y) {
    ++callCount_;
    auto target = resolve(systemWide);
    if (!target) return {target.error};
    if (target.value->handle != systemWide_) return {kAXErrorIllegalArgument};
    if (ownWindowsHitTest_)
        if (AXUIElementRef own = ownWindowsHitTest_(x, y)) return {kAXErrorSuccess, own};
    for (SimElementId window : windowStack_)
        if (AXUIElementRef hit = hitTest(window, x, y)) return {kAXErrorSuccess, hit};
    return {kAXErrorNoValue};
}

AXUIElementRef SimAccessibility::hitTest(SimElementId id, double x, double y) const {
    const Node& node = nodes_.at(id);
    if (!node.frame || !contains(*node.frame, x, y)) return nullptr;
    // Later children are drawn over earlier ones.
    for (auto child = node.children.rbegin(); child != node.children.rend(); ++child)
        if (AXUIElementRef hit = hitTest(*child, x, y)) return hit;
    return node.handle;
}

std::optional<AXAttributeValue> SimAccessibility::attributeOf(const Node& node,
                                                              const std::string& name) const {
    for (const auto& [stored, value] : node.attributes)
        if (stored == name) return value;
    if (name == "AXChildren") {
        AXArray children;
        for (SimElementId child : node.children)
            children.emplace_back(AXUIElementRef(nodes_.at(child).handle));
        return children;
    }
    if (name == "AXParent" && node.parent) return AXUIElementRef(nodes_.at(*node.parent).handle);
    if (name == "AXPosition" && node.frame) return AXPointValue{node.frame->origin.x, node.frame->origin.y};
    if (name == "AXSize" && node.frame) return AXSizeValue{node.frame->size.width, node.frame->size.height};
    return std::nullopt;
}

std::vector<std::string> SimAccessibility::attributeNamesOf(const Node& node) const {
    std::vector<std::string> names;
    auto list = [&](const std::string& name) {
        if (!node.hiddenNames.count(name) && std::find(names.begin(), names.end(), name) == names.end())
            names.push_back(name);
    };
    for (const auto& entry : node.attributes)
        list(entry.first);
    list("AXChildren");
    if (node.parent) list("AXParent");
    if (node.frame) {
        list("AXPosition");
        list("AXSize");
    }
    for (const auto& entry : node.failingAttributes)
        list(entry.first);
    return names;
}

AXResult<AXAttributeValue> SimAccessibility::copyAttributeValue(const AXUIElementRef& element,
                                                                const std::string& attribute) {
    ++callCount_;
    attributeReads_.push_back({element, attribute});
    auto node = resolve(element);
    if (!node) return {node.error};
    if (auto failing = node.value->failingAttributes.find(attribute);
        failing != node.value->failingAttributes.end())
        return {failing->second};
    if (auto value = attributeOf(*node.value, attribute)) return {kAXErrorSuccess, std::move(*value)};
    return {kAXErrorAttributeUnsupported};
}

AXResult<std::vector<std::string>> SimAccessibility::copyAttributeNames(const AXUIElementRef& element) {
    ++callCount_;
    auto node = resolve(element);
    if (!node) return {node.error};
    if (node.value->attributeNamesError) return {*node.value->attributeNamesError};
    return {kAXErrorSuccess, attributeNamesOf(*node.value)};
}

AXResult<std::vector<std::string>> SimAccessibility::copyActionNames(const AXUIElementRef& element) {
    ++callCount_;
    auto node = resolve(element);
    if (!node) return {node.error};
    if (node.value->actionNamesError) return {*node.value->actionNamesError};
    return {kAXErrorSuccess, node.value->actions};
}

AXError SimAccessibility::performAction(const AXUIElementRef& element, const std::string& action) {
    ++callCount_;
    auto node = resolve(element);
    if (!node) return node.error;
    const auto& actions = node.value->actions;
    if (std::find(actions.begin(), actions.end(), action) == actions.end()) return kAXErrorActionUnsupported;
    performedActions_.push_back({node.value->handle, action});
    return kAXErrorSuccess;
}

AXResult<ProcessId> SimAccessibility::getPid(const AXUIElementRef& element) {
    ++callCount_;
    auto node = resolve(element);
    if (!node) return {node.error};
    if (node.value->handle == systemWide_) return {kAXErrorIllegalArgument};
    return {kAXErrorSuccess, node.value->handle->pid()};
}

AXError SimAccessibility::postKeyboardEvent(const AXUIElementRef& application, char16_t character,
                                            std::uint16_t virtualKey, bool keyDown) {
    ++callCount_;
    auto node = resolve(application);
    if (!node) return node.error;
    keyboardEvents_.push_back({node.value->handle->pid(), character, virtualKey, keyDown});
    return kAXErrorSuccess;
}

AXResult<AXObserverRef> SimAccessibility::createObserver(ProcessId pid, AXObserverCallback callback) {
    ++callCount_;
    if (!enabled_) return {kAXErrorAPIDisabled};
    if (auto failing = observerErrors_.find(pid); failing != observerErrors_.end()) return {failing->second};
    if (!callback) return {kAXErrorIllegalArgument};
    std::erase_if(observers_, [](const auto& weak) { return weak.expired(); });
    auto observer = std::make_shared<SimObserver>(this, pid, callback);
    observers_.push_back(observer);
    return {kAXErrorSuccess, observer};
}

AXError SimObserver::addNotification(const AXUIElementRef& element, const std::string& notification,
                                     const void* context) {
    if (!service_) return kAXErrorFailure;
    ++service_->callCount_;
    auto node = service_->resolve(element);
    if (!node) return node.error;
    const auto& handle = node.value->handle;
    if (handle->pid() != pid_) return kAXErrorIllegalArgument;
    for (const auto& r : registrations_)
        if (r.id == handle->id() && r.notification == notification) return kAXErrorFailure; // already there
    registrations_.push_back({handle->id(), handle, notification, context});
    return kAXErrorSuccess;
}

AXError SimObserver::removeNotification(const AXUIElementRef& element, const std::string& notification) {
    if (!service_) return kAXErrorFailure;
    ++service_->callCount_;
    auto node = service_->resolve(element);
    // A vanished element's registrations go too; the call still reports the element as invalid.
    auto sim = dynamic_cast<const SimElement*>(element.get());
    SimElementId id = node ? node.value->handle->id() : sim ? sim->id() : 0;
    auto removed = std::erase_if(registrations_, [&](const Registration& r) {
        return id != 0 && r.id == id && r.notification == notification;
    });
    if (!node) return node.error;
    return removed ? kAXErrorSuccess : kAXErrorFailure;
}

std::vector<SimRegistration> SimAccessibility::registrations() const {
    std::vector<SimRegistration> all;
    for (const auto& weak : observers_)
        if (auto observer = weak.lock())
            for (const auto& r : observer->registrations_)
                all.push_back({observer->pid(), r.element, r.notification, r.context});
    return all;
}

void SimAccessibility::clearRecords() {
    attributeReads_.clear();
    performedActions_.clear();
    keyboardEvents_.clear();
    callCount_ = 0;
}

// ---- Building trees

AXUIElementRef SimAccessibility::newNode(ProcessId pid, std::optional<SimElementId> parent,
                                         SimElementInit init) {
    const SimElementId id = nextId_++;
    Node node;
    node.handle = std::make_shared<SimElement>(this, id, pid);
    node.parent = parent;
    if (!init.role.empty()) node.attributes.emplace_back("AXRole", std::move(init.role));
    if (init.title) node.attributes.emplace_back("AXTitle", std::move(*init.title));
    if (init.description) node.attributes.emplace_back("AXDescription", std::move(*init.description));
    for (auto& attribute : init.attributes)
        node.attributes.push_back(std::move(attribute));
    node.frame = init.frame;
    node.actions = std::move(init.actions);
    AXUIElementRef handle = node.handle;
    nodes_.emplace(id, std::move(node));
    if (parent) nodes_.at(*parent).children.push_back(id);
    return handle;
}

SimAccessibility::Node& SimAccessibility::nodeOf(const AXUIElementRef& element) {
    return const_cast<Node&>(std::as_const(*this).nodeOf(element));
}

const SimAccessibility::Node& SimAccessibility::nodeOf(const AXUIElementRef& element) const {
    auto sim = dynamic_cast<const SimElement*>(element.get());
    if (!sim || sim->owner() != this) throw std::logic_error("not an element of this simulated desktop");
    SimElementId id = sim->id();
    if (id == 0) {
        auto app = applications_.find(sim->pid());
        if (app == applications_.end()) throw std::logic_error("no application with that process identifier");
        id = app->second;
    }
    auto it = nodes_.find(id);
    if (it == nodes_.end()) throw std::logic_error("the element has been removed");
    return it->second;
}

AXUIElementRef SimAccessibility::addApplication(ProcessId pid, const std::string& name) {
    if (applications_.count(pid)) throw std::logic_error("the process already has an application element");
    AXUIElementRef app = newNode(pid, std::nullopt, {.role = "AXApplication", .title = name});
    applications_[pid] = static_cast<const SimElement&>(*app).id();
    return app;
}

AXUIElementRef SimAccessibility::application(ProcessId pid) const {
    auto it = applications_.find(pid);
    return it == applications_.end() ? nullptr : AXUIElementRef(nodes_.at(it->second).handle);
}

AXUIElementRef SimAccessibility::addWindow(ProcessId pid, SimElementInit init) {
    AXUIElementRef app = application(pid);
    if (!app) throw std::logic_error("no application with that process identifier");
    if (init.role.empty()) init.role = "AXWindow";
    AXUIElementRef window = add(app, std::move(init));
    windowStack_.insert(windowStack_.begin(), static_cast<const SimElement&>(*window).id());
    return window;
}

AXUIElementRef SimAccessibility::add(const AXUIElementRef& parent, SimElementInit init) {
    const Node& node = nodeOf(parent);
    return newNode(node.handle->pid(), node.handle->id(), std::move(init));
}

AXUIElementRef SimAccessibility::addMenu(const AXUIElementRef& item,
                                         const std::vector<std::string>& itemTitles) {
    AXUIElementRef menu = add(item, {.role = "AXMenu", .actions = {"AXCancel"}});
    for (const auto& title : itemTitles)
        add(menu, {.role = "AXMenuItem", .title = title, .actions = kMenuItemActions});
    return menu;
}

SimMenuBar SimAccessibility::addStandardMenuBar(ProcessId pid, const std::vector<std::string>& serviceTitles,
                                                const std::string& servicesTitle) {
    AXUIElementRef app = application(pid);
    if (!app) throw std::logic_error("no application with that process identifier");
    auto title = attributeOf(nodeOf(app), "AXTitle");
    const std::string name = title && title->is<std::string>() ? *title->get<std::string>() : "Application";

    SimMenuBar bar;
    bar.menuBar = add(app, {.role = "AXMenuBar"});
    auto barItem = [&](const std::string& itemTitle) {
        return add(bar.menuBar, {.role = "AXMenuBarItem", .title = itemTitle, .actions = kMenuItemActions});
    };
    addMenu(barItem("Apple"), {"About This Mac", "", "System Preferences…"});
    bar.applicationMenu = addMenu(barItem(name), {"About " + name, "", "Preferences…", "", servicesTitle, "",
                                                  "Hide " + name, "Quit " + name});
    bar.servicesItem = children(bar.applicationMenu)[4];
    bar.servicesMenu = addMenu(bar.servicesItem, serviceTitles);
    bar.services = children(bar.servicesMenu);
    addMenu(barItem("File"), {"New", "Open…", "Close"});
    addMenu(barItem("Edit"), {"Undo", "", "Cut", "Copy", "Paste"});
    return bar;
}

std::vector<AXUIElementRef> SimAccessibility::children(const AXUIElementRef& element) const {
    std::vector<AXUIElementRef> result;
    for (SimElementId child : nodeOf(element).children)
        result.emplace_back(nodes_.at(child).handle);
    return result;
}

void SimAccessibility::setAttribute(const AXUIElementRef& element, const std::string& name,
                                    AXAttributeValue value) {
    auto& attributes = nodeOf(element).attributes;
    for (auto& [stored, storedValue] : attributes)
        if (stored == name) {
            storedValue = std::move(value);
            return;
        }
    attributes.emplace_back(name, std::move(value));
}

void SimAccessibility::hideAttributeName(const AXUIElementRef& element, const std::string& name) {
    nodeOf(element).hiddenNames.insert(name);
}

void SimAccessibility::failAttribute(const AXUIElementRef& element, const std::string& name, AXError error) {
    nodeOf(element).failingAttributes[name] = error;
}

void SimAccessibility::failAttributeNames(const AXUIElementRef& element, AXError error) {
    nodeOf(element).attributeNamesError = error;
}

void SimAccessibility::failActionNames(const AXUIElementRef& element, AXError error) {
    nodeOf(element).actionNamesError = error;
}

void SimAccessibility::setFrame(const AXUIElementRef& element, Rect frame) {
    nodeOf(element).frame = frame;
}

void SimAccessibility::raiseWindow(const AXUIElementRef& window) {
    const SimElementId id = nodeOf(window).handle->id();
    auto it = std::find(windowStack_.begin(), windowStack_.end(), id);
    if (it == windowStack_.end()) throw std::logic_error("not a window");
    std::rotate(windowStack_.begin(), it, it + 1);
}

void SimAccessibility::remove(const AXUIElementRef& element) {
    const Node& node = nodeOf(element);
    const SimElementId id = node.handle->id();
    if (node.parent) std::erase(nodes_.at(*node.parent).children, id);
    eraseSubtree(id);
}

void SimAccessibility::eraseSubtree(SimElementId id) {
    auto it = nodes_.find(id);
    if (it == nodes_.end()) return;
    const std::vector<SimElementId> children = it->second.children;
    const ProcessId pid = it->second.handle->pid();
    nodes_.erase(it);
    std::erase(windowStack_, id);
    if (auto app = applications_.find(pid); app != applications_.end() && app->second == id)
        applications_.erase(app);
    if (auto focus = focused_.find(pid); focus != focused_.end() && focus->second == id)
        focused_.erase(focus);
    for (SimElementId child : children)
        eraseSubtree(child);
}

void SimAccessibility::quitApplication(ProcessId pid) {
    AXUIElementRef app = application(pid);
    if (!app) throw std::logic_error("no application with that process identifier");
    remove(app);
}

// ---- Acting as the user

void SimAccessibility::post(const AXUIElementRef& element, const std::string& notification) {
    auto sim = dynamic_cast<const SimElement*>(element.get());
    if (!sim || sim->owner() != this) throw std::logic_error("not an element of this simulated desktop");
    if (!enabled_) return;
    SimElementId id = sim->id();
    auto app = applications_.find(sim->pid());
    if (id == 0 && app != applications_.end()) id = app->second;
    const SimElementId appId = app == applications_.end() ? 0 : app->second;

    // Collect first: callbacks register and withdraw notifications while they run.
    std::vector<std::pair<std::shared_ptr<SimObserver>, const void*>> deliveries;
    for (const auto& weak : observers_) {
        auto observer = weak.lock();
        if (!observer || !observer->inRunLoop()) continue;
        // One call per observer; a registration on the element itself wins over the application's.
        const SimObserver::Registration* onElement = nullptr;
        const SimObserver::Registration* onApplication = nullptr;
        for (const auto& r : observer->registrations_) {
            if (r.notification != notification) continue;
            if (r.id == id)
                onElement = &r;
            else if (r.id == appId)
                onApplication = &r;
        }
        if (const auto* match = onElement ? onElement : onApplication)
            deliveries.emplace_back(observer, match->context);
    }
    for (auto& [observer, context] : deliveries) {
        AXObserverRef ref = observer;
        observer->callback_(ref, element, notification, context);
    }
}

void SimAccessibility::focus(const AXUIElementRef& element) {
    const ProcessId pid = nodeOf(element).handle->pid();
    if (auto previous = focused_.find(pid); previous != focused_.end())
        setAttribute(nodes_.at(previous->second).handle, "AXFocused", false);
    setAttribute(element, "AXFocused", true);
    focused_[pid] = nodeOf(element).handle->id();
    if (AXUIElementRef app = application(pid)) setAttribute(app, "AXFocusedUIElement", element);
}

void SimAccessibility::selectText(const AXUIElementRef& element, AXRangeValue range) {
    setAttribute(element, "AXSelectedTextRange", range);
    post(element, "AXSelectedTextChanged");
}

void SimAccessibility::selectTextMarkers(const AXUIElementRef& element, const std::string& description) {
    setAttribute(element, "AXSelectedTextMarkerRange", AXOpaqueValue{description});
    post(element, "AXSelectedTextChanged");
}

void SimAccessibility::openMenu(const AXUIElementRef& menu) {
    post(menu, "AXMenuOpened");
}

void SimAccessibility::highlightMenuItem(const AXUIElementRef& menu, const AXUIElementRef& item) {
    setAttribute(menu, "AXSelectedChildren", item ? AXArray{item} : AXArray{});
    post(menu, "AXSelectedChildrenChanged");
}

void SimAccessibility::chooseMenuItem(const AXUIElementRef& item) {
    post(item, "AXMenuItemSelected");
    for (auto parent = nodeOf(item).parent; parent;) {
        const Node& node = nodes_.at(*parent);
        auto role = attributeOf(node, "AXRole");
        AXUIElementRef handle = node.handle;
        parent = node.parent;
        if (role && role->get<std::string>() && *role->get<std::string>() == "AXMenu") closeMenu(handle);
    }
}

void SimAccessibility::closeMenu(const AXUIElementRef& menu) {
    setAttribute(menu, "AXSelectedChildren", AXArray{});
    post(menu, "AXMenuClosed");
}

} // namespace quoddle
