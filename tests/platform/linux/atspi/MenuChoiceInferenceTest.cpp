// The menu-choice inference replayed over real recordings of GTK and Qt menus (tests/platform/linux/fixtures:
// the sample applications, mousepad and Qt Assistant, worked with the mouse, the keyboard and mnemonics,
// cancelled, and pressed by a program), with the core's use of the notifications emulated: the title
// highlighted last before menuItemSelected is the one learned.
#include "platform/linux/atspi/MenuChoiceInference.h"
#include "platform/linux/atspi/AtspiMenuEvents.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <regex>
#include <set>

namespace quoddle {
namespace {

namespace fs = std::filesystem;

class FakeElement : public ax::Element {
public:
    FakeElement(std::string path, std::string name) : path(std::move(path)), name(std::move(name)) {}
    const std::string path, name;
};

std::optional<AtspiRole> roleNamed(const std::string& name) {
    for (int role = 0; role < ATSPI_ROLE_LAST_DEFINED; ++role) {
        gchar* roleName = atspi_role_get_name(static_cast<AtspiRole>(role));
        const bool same = roleName && name == roleName;
        g_free(roleName);
        if (same) return static_cast<AtspiRole>(role);
    }
    return std::nullopt;
}

struct Node {
    std::string role, name;
};

// `menu item:"Make Upper Case" < menu:"Services" < menu bar` as nodes, the source first.
std::vector<Node> pathOf(const std::string& text) {
    std::vector<Node> nodes;
    static const std::regex node(R"re(([a-z ]+?)(?::"([^"]*)")?(?: < |$))re");
    for (auto it = std::sregex_iterator(text.begin(), text.end(), node); it != std::sregex_iterator(); ++it)
        if (!(*it)[0].str().empty()) nodes.push_back({(*it)[1].str(), (*it)[2].str()});
    return nodes;
}

std::string keyOf(const std::vector<Node>& path, std::size_t from = 0) {
    std::string key;
    for (std::size_t i = from; i < path.size(); ++i)
        key += path[i].role + ":" + path[i].name + "<";
    return key;
}

// Replays one recording through the classifier and the inference, emulating the core's reading of
// the selected children and its recording on menuItemSelected.
struct Replay {
    // `asOnWayland`: the input as a Wayland window's menus give it, the buttons with no place and no keys.
    explicit Replay(const fs::path& file, bool asOnWayland = false) {
        std::ifstream in(file);
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        // First pass: what the recording knows of the items (extents, key bindings, submenus, members).
        static const std::regex extents(R"re(# extents .*?:"([^"]*)" (-?\d+) (-?\d+) (\d+) (\d+))re");
        static const std::regex binding(R"re(# keybinding .*?:"([^"]*)" "(.*)")re");
        static const std::regex event(R"re((\d+) (\S+) (-?\d+) (-?\d+) (.*))re");
        std::smatch m;
        for (const std::string& line : lines) {
            if (line.starts_with("# fixture ")) description = line;
            if (std::regex_match(line, m, extents))
                extentsByName[m[1]] =
                    Rect{{std::stod(m[2]), std::stod(m[3])}, {std::stod(m[4]), std::stod(m[5])}};
            else if (std::regex_match(line, m, binding))
                mnemonicByName[m[1]] = mnemonicOfKeyBinding(m[2]);
            else if (std::regex_match(line, m, event)) {
                std::vector<Node> path = pathOf(m[5]);
                for (std::size_t i = 0; i + 1 < path.size(); ++i) {
                    membersOf[keyOf(path, i + 1)].insert(keyOf(path, i));
                    if (path[i].role == "popup menu") submenuHolders.insert(keyOf(path, i + 1));
                }
            }
        }
        MenuChoiceInference::Hooks hooks;
        hooks.deliver = std::bind_front(&Replay::notified, this);
        hooks.extentsOf = [this](const ax::ElementRef& item) { return extentsByName[fake(item).name]; };
        hooks.itemsOf = [this](const ax::ElementRef& menu) {
            std::vector<ax::ElementRef> items;
            for (const std::string& member : membersOf[fake(menu).path])
                items.push_back(element(member));
            return items;
        };
        hooks.mnemonicsOf = [this](const ax::ElementRef& menu) {
            std::vector<std::pair<ax::ElementRef, std::string>> items;
            for (const std::string& member : membersOf[fake(menu).path]) {
                ax::ElementRef item = element(member);
                if (auto letter = mnemonicByName[fake(item).name]) items.emplace_back(item, *letter);
            }
            return items;
        };
        hooks.opensSubmenu = [this](const ax::ElementRef& item) {
            return fake(item).path.starts_with("menu:") || submenuHolders.count(fake(item).path) != 0;
        };
        inference = std::make_unique<MenuChoiceInference>(std::move(hooks));

        static const std::regex key(R"re(# input key (\S+).*)re");
        static const std::regex button(R"re(# input button-(press|release) \d+ at (\d+),(\d+).*)re");
        for (const std::string& line : lines) {
            if (std::regex_match(line, m, key)) {
                if (asOnWayland) continue;
                std::string name = m[1];
                if (name.starts_with("alt+")) name.erase(0, 4);
                inference->input({MenuInput::Kind::keyPress, {}, name});
            } else if (std::regex_match(line, m, button)) {
                inference->input(
                    {m[1] == "press" ? MenuInput::Kind::buttonPress : MenuInput::Kind::buttonRelease,
                     asOnWayland ? std::nullopt
                                 : std::optional<Point>(Point{std::stod(m[2]), std::stod(m[3])}),
                     {}});
            } else if (std::regex_match(line, m, event)) {
                replay(m[2], std::stoi(m[3]), pathOf(m[5]));
            }
        }
    }

    void replay(const std::string& type, int detail1, const std::vector<Node>& path) {
        std::optional<AtspiRole> role = roleNamed(path[0].role);
        if (!role) return;
        std::optional<AtspiRole> parentRole = path.size() > 1 ? roleNamed(path[1].role) : std::nullopt;
        ax::ElementRef source = element(keyOf(path));
        ax::ElementRef parentMenu = path.size() > 1 ? menu(keyOf(path, 1)) : nullptr;
        using enum MenuEventKind;
        const MenuEventKind kind = menuEventKindOf(type, detail1, *role, parentRole);
        if (kind == submenuShown || kind == itemHighlighted) inference->itemHighlighted(parentMenu, source);
        if (kind == itemShown) inference->itemShown(parentMenu, source);
        if (kind == itemUnhighlighted) inference->itemUnhighlighted(source);
        if (kind == submenuShown || kind == menuShown) inference->menuShown(menu(keyOf(path)));
        if (kind == menuHidden) inference->menuHidden(menu(keyOf(path)));
    }

    void notified(ax::Notification notification, const ax::ElementRef& element) {
        using enum ax::Notification;
        EXPECT_NE(notification, selectedTextChanged) << "a menu reported a text selection";
        opened += notification == menuOpened;
        closed += notification == menuClosed;
        if (notification == menuItemSelected && title) learned += (learned.empty() ? "" : ", ") + *title;
        if (notification == menuOpened || notification == selectedChildrenChanged) title.reset();
        if (notification != selectedChildrenChanged) return;
        const std::vector<ax::ElementRef> selected = inference->selectedChildren(element);
        if (!selected.empty()) title = fake(selected.front()).name;
    }

    // One handle per object, as the backend keeps them; a GTK menu object's menu is a handle of its own.
    ax::ElementRef element(const std::string& key) {
        auto& slot = handles[key];
        if (!slot)
            slot = std::make_shared<FakeElement>(
                key, key.substr(key.find(':') + 1, key.find('<') - key.find(':') - 1));
        return slot;
    }
    ax::ElementRef menu(const std::string& key) {
        if (key.starts_with("menu:")) {
            auto& slot = handles["menu-of " + key];
            if (!slot) slot = std::make_shared<FakeElement>(key, fake(element(key)).name);
            return slot;
        }
        return element(key);
    }
    static const FakeElement& fake(const ax::ElementRef& element) {
        return static_cast<const FakeElement&>(*element);
    }

    std::map<std::string, std::optional<Rect>> extentsByName;
    std::map<std::string, std::optional<std::string>> mnemonicByName;
    std::map<std::string, std::set<std::string>> membersOf;
    std::set<std::string> submenuHolders;
    std::map<std::string, ax::ElementRef> handles;
    std::unique_ptr<MenuChoiceInference> inference;
    std::optional<std::string> title;
    std::string description; // the recording's "# fixture" line
    std::string learned;     // the titles learned, in order
    int opened = 0, closed = 0;
};

// A recording teaches the item its description names last ("... onto "Make Upper Case", click it"), and
// nothing when the menus were cancelled or a program pressed the item itself.
TEST(MenuChoiceInference, EveryRecordedChoiceIsLearnedAndNothingElse) {
    static const std::regex lastQuoted(R"re(# fixture .*"([^"]*)".*)re");
    std::size_t replayed = 0;
    for (const auto& entry :
         fs::directory_iterator(fs::path(QUODDLE_SOURCE_DIR) / "tests/platform/linux/fixtures")) {
        const std::string name = entry.path().stem().string();
        Replay replay(entry.path());
        std::smatch described;
        ASSERT_TRUE(std::regex_match(replay.description, described, lastQuoted)) << name;
        const bool chosen = name.find("-cancel-") == std::string::npos && !name.ends_with("-by-action");
        EXPECT_EQ(replay.learned, chosen ? described[1].str() : "") << name;
        EXPECT_EQ(replay.opened, replay.closed) << name << ": every opened menu is reported closed";
        EXPECT_TRUE(!name.ends_with("-by-action") || replay.opened == 0)
            << name << ": a program's own press is no menu";
        ++replayed;
    }
    EXPECT_EQ(replayed, 20u) << "the recordings in tests/platform/linux/fixtures";
}

// In Wayland windows the compositor tells the button but not where the menus are, and no keys: the choices
// made with the mouse are still learned, and a click outside still chooses nothing.
TEST(MenuChoiceInference, ClicksWithoutAPlaceChooseTheHighlightedItemAndCancelNothingElse) {
    static const std::regex lastQuoted(R"re(# fixture .*"([^"]*)".*)re");
    std::size_t byMouse = 0;
    for (const auto& entry :
         fs::directory_iterator(fs::path(QUODDLE_SOURCE_DIR) / "tests/platform/linux/fixtures")) {
        const std::string name = entry.path().stem().string();
        Replay replay(entry.path(), true);
        std::smatch described;
        ASSERT_TRUE(std::regex_match(replay.description, described, lastQuoted)) << name;
        const bool clicked = name.find("-by-mouse") != std::string::npos;
        EXPECT_EQ(replay.learned, clicked ? described[1].str() : "") << name;
        EXPECT_EQ(replay.opened, replay.closed) << name;
        byMouse += clicked;
    }
    EXPECT_EQ(byMouse, 5u) << "the recordings made with the mouse";
}

} // namespace
} // namespace quoddle
