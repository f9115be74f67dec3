// quoddle-wayland-input: a pointer and a keyboard for a wlroots compositor (the virtual pointer and virtual
// keyboard protocols), driven line by line from standard input, for the Wayland tests as XTest is for the
// X11 ones. The devices live as long as the program: a seat has a keyboard, and so windows take the focus,
// only while one exists.
//
//   move X Y      the pointer to that point of the screen (absolute, in the compositor's pixels)
//   press         the left button down      release   and up
//   key COMBO     a key with modifiers, such as "ctrl+c", "End", "shift+Home"
//
// Each command is answered "ok" once the compositor has handled it, or "error ..." on standard output.
#include "virtual-keyboard-unstable-v1-client-protocol.h"
#include "wlr-virtual-pointer-unstable-v1-client-protocol.h"

#include <wayland-client.h>
#include <xkbcommon/xkbcommon.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <linux/input-event-codes.h>
#include <optional>
#include <sstream>
#include <string>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

namespace {

struct Globals {
    wl_seat* seat = nullptr;
    zwlr_virtual_pointer_manager_v1* pointers = nullptr;
    zwp_virtual_keyboard_manager_v1* keyboards = nullptr;
};

void announced(void* data, wl_registry* registry, std::uint32_t name, const char* interface, std::uint32_t) {
    auto& globals = *static_cast<Globals*>(data);
    if (std::strcmp(interface, wl_seat_interface.name) == 0 && !globals.seat)
        globals.seat = static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
    else if (std::strcmp(interface, zwlr_virtual_pointer_manager_v1_interface.name) == 0)
        globals.pointers = static_cast<zwlr_virtual_pointer_manager_v1*>(
            wl_registry_bind(registry, name, &zwlr_virtual_pointer_manager_v1_interface, 1));
    else if (std::strcmp(interface, zwp_virtual_keyboard_manager_v1_interface.name) == 0)
        globals.keyboards = static_cast<zwp_virtual_keyboard_manager_v1*>(
            wl_registry_bind(registry, name, &zwp_virtual_keyboard_manager_v1_interface, 1));
}

void withdrawn(void*, wl_registry*, std::uint32_t) {}

constexpr wl_registry_listener kRegistryListener{announced, withdrawn};

std::uint32_t now() {
    using namespace std::chrono;
    return static_cast<std::uint32_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

// A full keymap (US layout): a minimal one leaves GTK without the keys it looks up.
class Keyboard {
public:
    Keyboard(zwp_virtual_keyboard_v1* device) : device_(device) {
        context_ = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
        const xkb_rule_names names{"evdev", "pc105", "us", "", ""};
        keymap_ =
            context_ ? xkb_keymap_new_from_names(context_, &names, XKB_KEYMAP_COMPILE_NO_FLAGS) : nullptr;
        if (!keymap_) return;
        char* text = xkb_keymap_get_as_string(keymap_, XKB_KEYMAP_FORMAT_TEXT_V1);
        const std::size_t size = std::strlen(text) + 1;
        const int fd = memfd_create("quoddle-keymap", MFD_CLOEXEC);
        if (fd >= 0 && write(fd, text, size) == static_cast<ssize_t>(size))
            zwp_virtual_keyboard_v1_keymap(device_, WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1, fd,
                                           static_cast<std::uint32_t>(size));
        if (fd >= 0) close(fd);
        std::free(text);
    }
    bool usable() const { return keymap_ != nullptr; }

    // "ctrl+shift+c": the modifiers held around the last key.
    bool press(const std::string& combo) {
        std::vector<std::string> parts;
        std::stringstream in(combo);
        for (std::string part; std::getline(in, part, '+');)
            parts.push_back(part);
        if (parts.empty()) return false;
        std::uint32_t mods = 0;
        for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
            const char* name = parts[i] == "ctrl"    ? XKB_MOD_NAME_CTRL
                               : parts[i] == "shift" ? XKB_MOD_NAME_SHIFT
                               : parts[i] == "alt"   ? XKB_MOD_NAME_ALT
                                                     : nullptr;
            if (!name) return false;
            mods |= 1u << xkb_keymap_mod_get_index(keymap_, name);
        }
        const std::optional<std::uint32_t> code = keycodeOf(parts.back());
        if (!code) return false;
        zwp_virtual_keyboard_v1_modifiers(device_, mods, 0, 0, 0);
        zwp_virtual_keyboard_v1_key(device_, now(), *code, WL_KEYBOARD_KEY_STATE_PRESSED);
        zwp_virtual_keyboard_v1_key(device_, now(), *code, WL_KEYBOARD_KEY_STATE_RELEASED);
        zwp_virtual_keyboard_v1_modifiers(device_, 0, 0, 0, 0);
        return true;
    }

private:
    // The evdev code (the X keycode less 8) of the key that gives the symbol at its first level.
    std::optional<std::uint32_t> keycodeOf(const std::string& name) {
        const xkb_keysym_t wanted = xkb_keysym_from_name(name.c_str(), XKB_KEYSYM_CASE_INSENSITIVE);
        if (wanted == XKB_KEY_NoSymbol) return std::nullopt;
        for (xkb_keycode_t key = xkb_keymap_min_keycode(keymap_); key <= xkb_keymap_max_keycode(keymap_);
             ++key) {
            const xkb_keysym_t* symbols = nullptr;
            const int count = xkb_keymap_key_get_syms_by_level(keymap_, key, 0, 0, &symbols);
            for (int i = 0; i < count; ++i)
                if (xkb_keysym_to_lower(symbols[i]) == xkb_keysym_to_lower(wanted) && key >= 8)
                    return key - 8;
        }
        return std::nullopt;
    }

    zwp_virtual_keyboard_v1* device_;
    xkb_context* context_ = nullptr;
    xkb_keymap* keymap_ = nullptr;
};

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s SCREEN-WIDTH SCREEN-HEIGHT\n", argv[0]);
        return 2;
    }
    const auto width = static_cast<std::uint32_t>(std::stoul(argv[1]));
    const auto height = static_cast<std::uint32_t>(std::stoul(argv[2]));
    wl_display* display = wl_display_connect(nullptr);
    if (!display) {
        std::fprintf(stderr, "no Wayland display\n");
        return 1;
    }
    Globals globals;
    wl_registry* registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &kRegistryListener, &globals);
    wl_display_roundtrip(display);
    if (!globals.seat || !globals.pointers || !globals.keyboards) {
        std::fprintf(stderr, "the compositor offers no virtual pointer or keyboard\n");
        return 1;
    }
    zwlr_virtual_pointer_v1* pointer =
        zwlr_virtual_pointer_manager_v1_create_virtual_pointer(globals.pointers, globals.seat);
    Keyboard keyboard(
        zwp_virtual_keyboard_manager_v1_create_virtual_keyboard(globals.keyboards, globals.seat));
    if (!keyboard.usable()) {
        std::fprintf(stderr, "no keymap\n");
        return 1;
    }
    wl_display_roundtrip(display);
    std::cout << "ready" << std::endl;

    for (std::string line; std::getline(std::cin, line);) {
        std::istringstream words(line);
        std::string command;
        words >> command;
        bool understood = true;
        if (command == "move") {
            std::uint32_t x = 0, y = 0;
            understood = static_cast<bool>(words >> x >> y) && x < width && y < height;
            if (understood) {
                zwlr_virtual_pointer_v1_motion_absolute(pointer, now(), x, y, width, height);
                zwlr_virtual_pointer_v1_frame(pointer);
            }
        } else if (command == "press" || command == "release") {
            zwlr_virtual_pointer_v1_button(pointer, now(), BTN_LEFT,
                                           command == "press" ? WL_POINTER_BUTTON_STATE_PRESSED
                                                              : WL_POINTER_BUTTON_STATE_RELEASED);
            zwlr_virtual_pointer_v1_frame(pointer);
        } else if (command == "key") {
            std::string combo;
            understood = static_cast<bool>(words >> combo) && keyboard.press(combo);
        } else {
            understood = false;
        }
        if (wl_display_roundtrip(display) < 0) {
            std::cout << "error the compositor went away" << std::endl;
            return 1;
        }
        std::cout << (understood ? "ok" : "error not understood: " + line) << std::endl;
    }
    wl_display_disconnect(display);
    return 0;
}
