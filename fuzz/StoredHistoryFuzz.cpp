// The stored service history as any property-list tree: loading never fails, keeps what is sound, and
// what it keeps survives a save and a second load unchanged.
#include "history/ServiceHistory.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

using namespace quoddle;

// Reads the fuzzer's bytes as a recipe for a property-list tree.
class TreeReader {
public:
    TreeReader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    PlistValue value(int depth) {
        switch (byte() % (depth > 3 ? 5 : 8)) {
        case 0:
            return PlistValue(text());
        case 1:
            return PlistValue(static_cast<std::int64_t>(word()));
        case 2:
            return PlistValue(static_cast<double>(static_cast<std::int64_t>(word())) / 7.0);
        case 3:
            return PlistValue(byte() % 2 == 0);
        case 4:
            return PlistValue(PlistDate(std::chrono::milliseconds(static_cast<std::int64_t>(word()) >> 16)));
        case 5: {
            PlistArray array;
            for (int n = byte() % 4; n > 0; --n)
                array.push_back(value(depth + 1));
            return PlistValue(std::move(array));
        }
        default: {
            PlistDictionary dictionary;
            for (int n = byte() % 6; n > 0; --n)
                dictionary.insert_or_assign(key(), value(depth + 1));
            return PlistValue(std::move(dictionary));
        }
        }
    }

private:
    std::uint8_t byte() { return offset_ < size_ ? data_[offset_++] : 0; }
    std::uint64_t word() {
        std::uint64_t w = 0;
        for (int i = 0; i < 8; ++i)
            w = (w << 8) | byte();
        return w;
    }
    std::string text() {
        std::string s;
        for (int n = byte() % 12; n > 0; --n)
            s += static_cast<char>(byte());
        return s;
    }
    // Mostly the keys a history item has, so the interesting shapes come up often.
    std::string key() {
        static const char* known[] = {"Title", "Count", "Date", "UserTitle"};
        std::uint8_t choice = byte();
        return choice < 160 ? known[choice % 4] : text();
    }

    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t offset_ = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    TreeReader reader(data, size);
    PlistDictionary stored;
    for (int applications = 1 + (size > 0 ? data[0] % 3 : 0); applications > 0; --applications) {
        PlistValue table = reader.value(1);
        stored.insert_or_assign("App" + std::to_string(applications), std::move(table));
    }
    auto ignore = [](const std::string&) {};
    ServiceHistory loaded = ServiceHistory::fromPlist(PlistValue(stored), ignore);
    ServiceHistory again = ServiceHistory::fromPlist(PlistValue(loaded.toPlist()), ignore);
    if (!(again == loaded)) std::abort();
    return 0;
}
