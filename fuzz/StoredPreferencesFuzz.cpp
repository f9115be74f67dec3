// Stored preferences from arbitrary bytes: making a store on any file must not crash. A file the store
// reads must come back the same after it is written out and read again; one it cannot read must be moved
// aside intact, with one log line.

#include "platform/defaults/FileDefaultsStore.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdlib.h>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace quoddle;

// One folder per process, emptied after every input and removed at exit. Memory-backed when the system has
// such a folder, because every write is synced to disk.
class ScratchFolder {
public:
    ScratchFolder() {
        fs::path base = fs::is_directory("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path();
        std::string pattern = (base / "quoddle-fuzz-XXXXXX").string();
        if (!::mkdtemp(pattern.data())) std::abort();
        path_ = pattern;
    }
    ~ScratchFolder() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    const fs::path& path() const { return path_; }
    void empty() const {
        for (const auto& entry : fs::directory_iterator(path_))
            fs::remove_all(entry.path());
    }

private:
    fs::path path_;
};

std::string readBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Equality in which a real that is not a number equals itself.
bool same(const PlistValue& a, const PlistValue& b);

bool same(const PlistDictionary& a, const PlistDictionary& b) {
    if (a.size() != b.size()) return false;
    for (auto i = a.begin(), j = b.begin(); i != a.end(); ++i, ++j)
        if (i->first != j->first || !same(i->second, j->second)) return false;
    return true;
}

bool same(const PlistValue& a, const PlistValue& b) {
    if (a.storage().index() != b.storage().index()) return false;
    if (auto x = a.get<double>())
        return *x == *b.get<double>() || (std::isnan(*x) && std::isnan(*b.get<double>()));
    if (auto x = a.get<PlistArray>()) {
        const auto& y = *b.get<PlistArray>();
        if (x->size() != y.size()) return false;
        for (std::size_t i = 0; i < x->size(); ++i)
            if (!same((*x)[i], y[i])) return false;
        return true;
    }
    if (auto x = a.get<PlistDictionary>()) return same(*x, *b.get<PlistDictionary>());
    return a == b;
}

void check(bool condition) {
    if (!condition) std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const ScratchFolder folder;
    const fs::path file = folder.path() / "preferences.plist";
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    std::ofstream(file, std::ios::binary) << bytes;

    std::vector<std::string> lines;
    auto logger = [&](const std::string& line) { lines.push_back(line); };
    FileDefaultsStore store(file, logger);

    if (!fs::exists(file)) {
        check(store.all().empty() && lines.size() == 1);
        std::vector<fs::path> aside;
        for (const auto& entry : fs::directory_iterator(folder.path()))
            aside.push_back(entry.path());
        check(aside.size() == 1 && readBytes(aside[0]) == bytes);
    } else {
        check(lines.empty());
        // What was read is already in the form the file holds: setting it again changes nothing.
        const fs::path copy = folder.path() / "copy" / "preferences.plist";
        FileDefaultsStore writer(copy, logger);
        for (const auto& [key, value] : store.all())
            writer.set(key, value);
        check(same(writer.all(), store.all()));
        check(writer.synchronize());
        FileDefaultsStore reread(copy, logger);
        check(lines.empty() && same(reread.all(), store.all()));
    }
    folder.empty();
    return 0;
}
