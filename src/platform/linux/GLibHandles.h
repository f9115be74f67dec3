#pragma once
// Owners for what GLib hands out (memory, string vectors, key files), so nothing is freed by hand.

#include <glib.h>

#include <memory>
#include <optional>
#include <string>

namespace quoddle {

struct GFreeDeleter {
    void operator()(void* memory) const { g_free(memory); }
};
template <typename T> using GMemory = std::unique_ptr<T, GFreeDeleter>;

struct GStrvDeleter {
    void operator()(char** vector) const { g_strfreev(vector); }
};
using Strv = std::unique_ptr<char*, GStrvDeleter>;

struct GKeyFileDeleter {
    void operator()(GKeyFile* file) const { g_key_file_free(file); }
};
using KeyFile = std::unique_ptr<GKeyFile, GKeyFileDeleter>;

// A string the callee allocated with g_malloc, as a std::string; none for null.
inline std::optional<std::string> takeGString(char* text) {
    GMemory<char> owned(text);
    if (!owned) return std::nullopt;
    return std::string(owned.get());
}

} // namespace quoddle
