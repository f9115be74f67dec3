#include "platform/sim/SimAccessibility.h"

#include <algorithm>
#include <stdexcept>

namespace quoddle {

namespace {

const std::vector<ax::Action> kMenuItemActions{ax::Action::press, ax::Action::cancel};

bool contains(const Rect& frame, double x, double y) {
    return x >= frame.minX() && x < frame.maxX() && y >= frame.minY() && y < frame.maxY();
}

} // namespace

SimAccessibility::SimAccessibility() {
    systemWide_ =
        std::static_pointer_cast<const SimElement>(newNode(-1, std::nullopt, {.role = ax::Role::systemWide}));
}

SimAccessibility::~SimAccessibility() {
    for (const auto& weak : observers_)
        if (auto observer = weak.lock()) observer->service_ = nullptr;
}

// ---- The port

ax::ElementRef SimAccessibility::applicationElement(ProcessId pid) {
    if (ax::ElementRef existing = application(pid)) return existing;
    // Like the platform, any process gets an element; it works once the process has a tree.
    return std::make_shared<SimElement>(this, 0, pid);
}

ax::Result<SimAccessibility::Node*> SimAccessibility::resolve(const ax::ElementRef& element) {
    if (!enabled_) return {ax::Error::apiDisabled};
    auto sim = dynamic_cast<const SimElement*>(element.get());
    if (!sim || sim->owner() != this) return {ax::Error::illegalArgument};
    SimElementId id = sim->id();
    if (id == 0) {
        auto app = applications_.find(sim->pid());
        if (app == applications_.end()) return {ax::Error::invalidElement};
        id = app->second;
    }
    auto it = nodes_.find(id);
    if (it == nodes_.end()) return {ax::Error::invalidElement};
    return {ax::Error::success, &it->second};
}

ax::Result<ax::ElementRef> SimAccessibility::elementAt(const ax::ElementRef& systemWide, float x, float y) {
    ++callCount_;
    auto target = resolve(systemWide);
    if (!target) return {target.error};
    if (target.value->handle != systemWide_) return {ax::Error::illegalArgument};
    if (ownWindowsHitTest_)
        if (ax::ElementRef own = ownWindowsHitTest_(x, y)) return {ax::Error::success, own};
    for (SimElementId window : windowStack_)
        if (ax::ElementRef hit = hitTest(window, x, y)) return {ax::Error::success, hit};
    return {ax::Error::noValue};
}

ax::ElementRef SimAccessibility::hitTest(SimElementId id, double x, double y) const {
    const Node& node = nodes_.at(id);
    if (!node.frame || !contains(*node.frame, x, y)) return nullptr;
    // Later children are drawn over earlier ones.
    for (auto child = node.children.rbegin(); child != node.children.rend(); ++child)
        if (ax::ElementRef hit = hitTest(*child, x, y)) return hit;
    return node.handle;
}

std::optional<ax::Value> SimAccessibility::attributeOf(const Node& node, ax::Attribute name) const {
    for (const auto& [stored, value] : node.attributes)
        if (stored == name) return value;
    if (name == ax::Attribute::children) {
        ax::Array children;
        for (SimElementId child : node.children)
            children.emplace_back(ax::ElementRef(nodes_.at(child).handle));
        return children;
    }
    if (name == ax::Attribute::parent && node.parent) return ax::ElementRef(nodes_.at(*node.parent).handle);
    if (name == ax::Attribute::position && node.frame)
        return ax::PointValue{node.frame->origin.x, node.frame->origin.y};
    if (name == ax::Attribute::size && node.frame)
        return ax::SizeValue{node.frame->size.width, node.frame->size.height};
    return std::nullopt;
}

std::vector<ax::Attribute> SimAccessibility::attributeNamesOf(const Node& node) const {
    std::vector<ax::Attribute> names;
    auto list = [&](ax::Attribute name) {
        if (!node.hiddenNames.count(name) && std::find(names.begin(), names.end(), name) == names.end())
            names.push_back(name);
    };
    for (const auto& entry : node.attributes)
        list(entry.first);
    list(ax::Attribute::children);
    if (node.parent) list(ax::Attribute::parent);
    if (node.frame) {
        list(ax::Attribute::position);
        list(ax::Attribute::size);
    }
    for (const auto& entry : node.failingAttributes)
        list(entry.first);
    return names;
}

ax::Result<ax::Value> SimAccessibility::attribute(const ax::ElementRef& element, ax::Attribute attribute) {
    ++callCount_;
    attributeReads_.push_back({element, attribute});
    auto node = resolve(element);
    if (!node) return {node.error};
    if (auto failing = node.value->failingAttributes.find(attribute);
        failing != node.value->failingAttributes.end())
        return {failing->second};
    if (auto value = attributeOf(*node.value, attribute)) return {ax::Error::success, std::move(*value)};
    return {ax::Error::attributeUnsupported};
}

ax::Result<std::vector<ax::Attribute>> SimAccessibility::attributeNames(const ax::ElementRef& element) {
    ++callCount_;
    auto node = resolve(element);
    if (!node) return {node.error};
    if (node.value->attributeNamesError) return {*node.value->attributeNamesError};
    return {ax::Error::success, attributeNamesOf(*node.value)};
}

ax::Result<std::vector<ax::Action>> SimAccessibility::actionNames(const ax::ElementRef& element) {
    ++callCount_;
    auto node = resolve(element);
    if (!node) return {node.error};
    if (node.value->actionNamesError) return {*node.value->actionNamesError};
    return {ax::Error::success, node.value->actions};
}

ax::Error SimAccessibility::perform(const ax::ElementRef& element, ax::Action action) {
    ++callCount_;
    auto node = resolve(element);
    if (!node) return node.error;
    const auto& actions = node.value->actions;
    if (std::find(actions.begin(), actions.end(), action) == actions.end())
        return ax::Error::actionUnsupported;
    performedActions_.push_back({node.value->handle, action});
    return ax::Error::success;
}

ax::Result<ProcessId> SimAccessibility::pid(const ax::ElementRef& element) {
    ++callCount_;
    auto node = resolve(element);
    if (!node) return {node.error};
    if (node.value->handle == systemWide_) return {ax::Error::illegalArgument};
    return {ax::Error::success, node.value->handle->pid()};
}

ax::Error SimAccessibility::postKeyStroke(const ax::ElementRef& application, const KeyStroke& stroke) {
    ++callCount_;
    auto node = resolve(application);
    if (!node) return node.error;
    const ProcessId pid = node.value->handle->pid();
    for (std::uint16_t modifier : stroke.modifiers)
        keyEvents_.push_back({pid, modifier, true});
    if (stroke.key) {
        keyEvents_.push_back({pid, *stroke.key, true});
        keyEvents_.push_back({pid, *stroke.key, false});
    }
    for (std::uint16_t modifier : stroke.modifiers)
        keyEvents_.push_back({pid, modifier, false});
    return ax::Error::success;
}

ax::Result<ax::ObserverRef> SimAccessibility::createObserver(ProcessId pid, ax::ObserverCallback callback) {
    ++callCount_;
    if (!enabled_) return {ax::Error::apiDisabled};
    if (auto failing = observerErrors_.find(pid); failing != observerErrors_.end()) return {failing->second};
    if (!callback) return {ax::Error::illegalArgument};
    std::erase_if(observers_, [](const auto& weak) { return weak.expired(); });
    auto observer = std::make_shared<SimObserver>(this, pid, callback);
    observers_.push_back(observer);
    return {ax::Error::success, observer};
}

ax::Error SimObserver::addNotification(const ax::ElementRef& element, ax::Notification notification,
                                       void* context) {
    if (!service_) return ax::Error::failure;
    ++service_->callCount_;
    auto node = service_->resolve(element);
    if (!node) return node.error;
    const auto& handle = node.value->handle;
    if (handle->pid() != pid_) return ax::Error::illegalArgument;
    for (const auto& r : registrations_)
        if (r.id == handle->id() && r.notification == notification)
            return ax::Error::failure; // already there
    registrations_.push_back({handle->id(), handle, notification, context});
    return ax::Error::success;
}

ax::Error SimObserver::removeNotification(const ax::ElementRef& element, ax::Notification notification) {
    if (!service_) return ax::Error::failure;
    ++service_->callCount_;
    auto node = service_->resolve(element);
    // A vanished element's registrations go too; the call still reports the element as invalid.
    auto sim = dynamic_cast<const SimElement*>(element.get());
    SimElementId id = node ? node.value->handle->id() : sim ? sim->id() : 0;
    auto removed = std::erase_if(registrations_, [&](const Registration& r) {
        return id != 0 && r.id == id && r.notification == notification;
    });
    if (!node) return node.error;
    return removed ? ax::Error::success : ax::Error::failure;
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
    keyEvents_.clear();
    callCount_ = 0;
}

// ---- Building trees

ax::ElementRef SimAccessibility::newNode(ProcessId pid, std::optional<SimElementId> parent,
                                         SimElementInit init) {
    const SimElementId id = nextId_++;
    Node node;
    node.handle = std::make_shared<SimElement>(this, id, pid);
    node.parent = parent;
    if (init.role) node.attributes.emplace_back(ax::Attribute::role, *init.role);
    if (init.title) node.attributes.emplace_back(ax::Attribute::title, std::move(*init.title));
    if (init.description)
        node.attributes.emplace_back(ax::Attribute::description, std::move(*init.description));
    for (auto& attribute : init.attributes)
        node.attributes.push_back(std::move(attribute));
    node.frame = init.frame;
    node.actions = std::move(init.actions);
    ax::ElementRef handle = node.handle;
    nodes_.emplace(id, std::move(node));
    if (parent) nodes_.at(*parent).children.push_back(id);
    return handle;
}

SimAccessibility::Node& SimAccessibility::nodeOf(const ax::ElementRef& element) {
    return const_cast<Node&>(std::as_const(*this).nodeOf(element));
}

const SimAccessibility::Node& SimAccessibility::nodeOf(const ax::ElementRef& element) const {
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

ax::ElementRef SimAccessibility::addApplication(ProcessId pid, const std::string& name) {
    if (applications_.count(pid)) throw std::logic_error("the process already has an application element");
    ax::ElementRef app = newNode(pid, std::nullopt, {.role = ax::Role::application, .title = name});
    applications_[pid] = static_cast<const SimElement&>(*app).id();
    return app;
}

ax::ElementRef SimAccessibility::application(ProcessId pid) const {
    auto it = applications_.find(pid);
    return it == applications_.end() ? nullptr : ax::ElementRef(nodes_.at(it->second).handle);
}

ax::ElementRef SimAccessibility::addWindow(ProcessId pid, SimElementInit init) {
    ax::ElementRef app = application(pid);
    if (!app) throw std::logic_error("no application with that process identifier");
    if (!init.role) init.role = ax::Role::window;
    ax::ElementRef window = add(app, std::move(init));
    windowStack_.insert(windowStack_.begin(), static_cast<const SimElement&>(*window).id());
    return window;
}

ax::ElementRef SimAccessibility::add(const ax::ElementRef& parent, SimElementInit init) {
    const Node& node = nodeOf(parent);
    return newNode(node.handle->pid(), node.handle->id(), std::move(init));
}

ax::ElementRef SimAccessibility::addMenu(const ax::ElementRef& item,
                                         const std::vector<std::string>& itemTitles) {
    ax::ElementRef menu = add(item, {.role = ax::Role::menu, .actions = {ax::Action::cancel}});
    for (const auto& title : itemTitles)
        add(menu, {.role = ax::Role::menuItem, .title = title, .actions = kMenuItemActions});
    return menu;
}

SimMenuBar SimAccessibility::addStandardMenuBar(ProcessId pid, const std::vector<std::string>& serviceTitles,
                                                const std::string& servicesTitle) {
    ax::ElementRef app = application(pid);
    if (!app) throw std::logic_error("no application with that process identifier");
    auto title = attributeOf(nodeOf(app), ax::Attribute::title);
    const std::string name = title && title->is<std::string>() ? *title->get<std::string>() : "Application";

    SimMenuBar bar;
    bar.menuBar = add(app, {.role = ax::Role::menuBar});
    auto barItem = [&](const std::string& itemTitle) {
        return add(bar.menuBar,
                   {.role = ax::Role::menuBarItem, .title = itemTitle, .actions = kMenuItemActions});
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

std::vector<ax::ElementRef> SimAccessibility::children(const ax::ElementRef& element) const {
    std::vector<ax::ElementRef> result;
    for (SimElementId child : nodeOf(element).children)
        result.emplace_back(nodes_.at(child).handle);
    return result;
}

void SimAccessibility::setAttribute(const ax::ElementRef& element, ax::Attribute name, ax::Value value) {
    auto& attributes = nodeOf(element).attributes;
    for (auto& [stored, storedValue] : attributes)
        if (stored == name) {
            storedValue = std::move(value);
            return;
        }
    attributes.emplace_back(name, std::move(value));
}

void SimAccessibility::hideAttributeName(const ax::ElementRef& element, ax::Attribute name) {
    nodeOf(element).hiddenNames.insert(name);
}

void SimAccessibility::failAttribute(const ax::ElementRef& element, ax::Attribute name, ax::Error error) {
    nodeOf(element).failingAttributes[name] = error;
}

void SimAccessibility::failAttributeNames(const ax::ElementRef& element, ax::Error error) {
    nodeOf(element).attributeNamesError = error;
}

void SimAccessibility::failActionNames(const ax::ElementRef& element, ax::Error error) {
    nodeOf(element).actionNamesError = error;
}

void SimAccessibility::setFrame(const ax::ElementRef& element, Rect frame) {
    nodeOf(element).frame = frame;
}

void SimAccessibility::raiseWindow(const ax::ElementRef& window) {
    const SimElementId id = nodeOf(window).handle->id();
    auto it = std::find(windowStack_.begin(), windowStack_.end(), id);
    if (it == windowStack_.end()) throw std::logic_error("not a window");
    std::rotate(windowStack_.begin(), it, it + 1);
}

void SimAccessibility::remove(const ax::ElementRef& element) {
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
    ax::ElementRef app = application(pid);
    if (!app) throw std::logic_error("no application with that process identifier");
    remove(app);
}

// ---- Acting as the user

void SimAccessibility::post(const ax::ElementRef& element, ax::Notification notification) {
    auto sim = dynamic_cast<const SimElement*>(element.get());
    if (!sim || sim->owner() != this) throw std::logic_error("not an element of this simulated desktop");
    if (!enabled_) return;
    SimElementId id = sim->id();
    auto app = applications_.find(sim->pid());
    if (id == 0 && app != applications_.end()) id = app->second;
    const SimElementId appId = app == applications_.end() ? 0 : app->second;

    // Collect first: callbacks register and withdraw notifications while they run.
    std::vector<std::pair<std::shared_ptr<SimObserver>, void*>> deliveries;
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
        ax::ObserverRef ref = observer;
        observer->callback_(ref, element, notification, context);
    }
}

void SimAccessibility::focus(const ax::ElementRef& element) {
    const ProcessId pid = nodeOf(element).handle->pid();
    if (auto previous = focused_.find(pid); previous != focused_.end())
        setAttribute(nodes_.at(previous->second).handle, ax::Attribute::focused, false);
    setAttribute(element, ax::Attribute::focused, true);
    focused_[pid] = nodeOf(element).handle->id();
    if (ax::ElementRef app = application(pid)) setAttribute(app, ax::Attribute::focusedElement, element);
}

void SimAccessibility::selectText(const ax::ElementRef& element, ax::RangeValue range) {
    setAttribute(element, ax::Attribute::selectedTextRange, range);
    post(element, ax::Notification::selectedTextChanged);
}

void SimAccessibility::selectTextMarkers(const ax::ElementRef& element, const std::string& description) {
    setAttribute(element, ax::Attribute::selectedTextMarkerRange, ax::OpaqueValue{description});
    post(element, ax::Notification::selectedTextChanged);
}

void SimAccessibility::openMenu(const ax::ElementRef& menu) {
    post(menu, ax::Notification::menuOpened);
}

void SimAccessibility::highlightMenuItem(const ax::ElementRef& menu, const ax::ElementRef& item) {
    setAttribute(menu, ax::Attribute::selectedChildren, item ? ax::Array{item} : ax::Array{});
    post(menu, ax::Notification::selectedChildrenChanged);
}

void SimAccessibility::chooseMenuItem(const ax::ElementRef& item) {
    post(item, ax::Notification::menuItemSelected);
    for (auto parent = nodeOf(item).parent; parent;) {
        const Node& node = nodes_.at(*parent);
        auto role = attributeOf(node, ax::Attribute::role);
        ax::ElementRef handle = node.handle;
        parent = node.parent;
        if (role && role->get<ax::Role>() && *role->get<ax::Role>() == ax::Role::menu) closeMenu(handle);
    }
}

void SimAccessibility::closeMenu(const ax::ElementRef& menu) {
    setAttribute(menu, ax::Attribute::selectedChildren, ax::Array{});
    post(menu, ax::Notification::menuClosed);
}

} // namespace quoddle
