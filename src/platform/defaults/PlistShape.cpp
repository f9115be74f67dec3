#include "platform/defaults/PlistShape.h"

#include <algorithm>
#include <optional>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace quoddle {

namespace {

const std::string kDamaged = "its structure is damaged";
const std::string kTooDeep = "it nests too deeply";
const std::string kTooLarge = "its shared parts expand too much";
// What libplist spends on a node besides the bytes of its string or data, about.
constexpr std::uint64_t kNodeBytes = 64;
const std::string kNulKey = "a dictionary key holds a NUL character";

// The binary layout: objects after the 8-byte header, then a table of object offsets, then a 32-byte
// trailer giving the sizes of offsets and object references, the object count, the top object and where
// the table starts.
class BinaryPlist {
public:
    explicit BinaryPlist(std::string_view bytes) : bytes_(bytes) {}

    bool readTrailer() {
        if (bytes_.size() < 8 + 1 + 32) return false;
        std::size_t trailer = bytes_.size() - 32;
        offsetSize_ = byte(trailer + 6);
        refSize_ = byte(trailer + 7);
        count_ = number(trailer + 8, 8);
        top_ = number(trailer + 16, 8);
        table_ = number(trailer + 24, 8);
        return offsetSize_ >= 1 && offsetSize_ <= 8 && refSize_ >= 1 && refSize_ <= 8 && count_ >= 1 &&
               top_ < count_ && table_ >= 9 && table_ < trailer && count_ <= (trailer - table_) / offsetSize_;
    }
    std::uint64_t top() const { return top_; }
    unsigned refSize() const { return refSize_; }

    struct Object {
        bool valid = false;
        unsigned type = 0;           // the high half of the marker byte
        std::uint64_t contentAt = 0; // after the marker and the length that may follow it
        std::uint64_t length = 0;    // elements of a container, units of a string, bytes of data
        bool container() const { return type == 0xA || type == 0xC || type == 0xD; }
        bool string() const { return type == 0x5 || type == 0x6; }
        // Bytes of content per unit of length.
        unsigned unit(unsigned refSize) const {
            if (container()) return refSize * (type == 0xD ? 2 : 1);
            if (string() || type == 0x4) return type == 0x6 ? 2 : 1;
            return 0;
        }
        std::uint64_t refCount() const { return type == 0xD ? 2 * length : length; }
    };
    // The object's type and, for containers, strings and data, where its content is; invalid when the
    // object or its content lies outside the object area.
    Object object(std::uint64_t index) const {
        std::uint64_t at = number(table_ + index * offsetSize_, offsetSize_);
        if (at < 8 || at >= table_) return {};
        unsigned marker = byte(at);
        Object object{true, marker >> 4, at + 1, marker & 0xFu};
        unsigned unit = object.unit(refSize_);
        if (unit == 0) {
            object.length = 0;
            return object;
        }
        if (object.length == 0xF) {
            if (object.contentAt >= table_ || byte(object.contentAt) >> 4 != 0x1) return {};
            unsigned size = 1u << (byte(object.contentAt) & 0xF);
            if (size > 8 || object.contentAt + 1 + size > table_) return {};
            object.length = number(object.contentAt + 1, size);
            object.contentAt += 1 + size;
        }
        if (object.length > (table_ - object.contentAt) / unit) return {};
        return object;
    }
    std::optional<std::uint64_t> reference(const Object& container, std::uint64_t i) const {
        std::uint64_t index = number(container.contentAt + i * refSize_, refSize_);
        if (index >= count_) return std::nullopt;
        return index;
    }
    // libplist 2.2 fails an assertion, ending the process, when it reads a dictionary key holding NUL.
    bool isStringWithNul(const Object& object) const {
        if (!object.string()) return false;
        unsigned unit = object.unit(refSize_);
        for (std::uint64_t i = 0; i < object.length; ++i) {
            std::uint64_t at = object.contentAt + i * unit;
            if (byte(at) == 0 && (unit == 1 || byte(at + 1) == 0)) return true;
        }
        return false;
    }

private:
    unsigned byte(std::uint64_t at) const { return static_cast<unsigned char>(bytes_[at]); }
    std::uint64_t number(std::uint64_t at, unsigned size) const {
        std::uint64_t value = 0;
        for (unsigned i = 0; i < size; ++i)
            value = value << 8 | byte(at + i);
        return value;
    }

    std::string_view bytes_;
    unsigned offsetSize_ = 0;
    unsigned refSize_ = 0;
    std::uint64_t count_ = 0;
    std::uint64_t top_ = 0;
    std::uint64_t table_ = 0;
};

// A part of the tree libplist builds: its estimated size in memory and its depth.
struct Subtree {
    std::uint64_t bytes = kNodeBytes;
    int depth = 1;
};

// Skips the construct that starts at text[at] ('<' of a comment, CDATA section, processing instruction or
// declaration) and gives the position after it; npos when it is not closed.
std::size_t skipMarkup(std::string_view text, std::size_t at) {
    auto after = [&](std::string_view end, std::size_t from) {
        std::size_t found = text.find(end, from);
        return found == std::string_view::npos ? found : found + end.size();
    };
    if (text.substr(at, 4) == "<!--") return after("-->", at + 4);
    if (text.substr(at, 9) == "<![CDATA[") return after("]]>", at + 9);
    if (text.substr(at, 2) == "<?") return after("?>", at + 2);
    // A declaration: quoted parts and an internal subset in brackets may hold '>'.
    int brackets = 0;
    for (std::size_t i = at + 2; i < text.size(); ++i) {
        char c = text[i];
        if (c == '"' || c == '\'') {
            i = text.find(c, i + 1);
            if (i == std::string_view::npos) return i;
        } else if (c == '[') {
            ++brackets;
        } else if (c == ']') {
            --brackets;
        } else if (c == '>' && brackets <= 0) {
            return i + 1;
        }
    }
    return std::string_view::npos;
}

// The position of the '>' that ends the tag starting at text[at], past quoted attribute values.
std::size_t tagEnd(std::string_view text, std::size_t at) {
    for (std::size_t i = at + 1; i < text.size(); ++i) {
        char c = text[i];
        if (c == '"' || c == '\'') {
            i = text.find(c, i + 1);
            if (i == std::string_view::npos) return i;
        } else if (c == '>') {
            return i;
        }
    }
    return std::string_view::npos;
}

} // namespace

std::string binaryPlistShapeProblem(std::string_view bytes, const PlistShapeLimits& limits) {
    BinaryPlist plist(bytes);
    if (!plist.readTrailer()) return kDamaged;
    // Depth-first over the containers without recursion, measuring a shared container once.
    struct Frame {
        std::uint64_t index;
        BinaryPlist::Object object;
        std::uint64_t next = 0;
        Subtree size;
    };
    enum class State { active, done };
    std::unordered_map<std::uint64_t, std::pair<State, Subtree>> seen;
    std::unordered_set<std::uint64_t> checkedKeys;
    std::vector<Frame> path;
    // Starts measuring a container; false when it lies too deep.
    auto enter = [&](std::uint64_t index, const BinaryPlist::Object& object) {
        if (static_cast<int>(path.size()) + 1 > limits.maxDepth) return false;
        seen[index] = {State::active, {}};
        path.push_back({index, object, 0, Subtree{}});
        return true;
    };
    // Adds a measured part to the container at the end of the path; the limit that passes, if any.
    auto add = [&](const Subtree& part) -> std::string {
        Subtree& parent = path.back().size;
        parent.bytes += part.bytes;
        parent.depth = std::max(parent.depth, part.depth + 1);
        if (parent.bytes > limits.maxTreeBytes) return kTooLarge;
        if (static_cast<int>(path.size()) - 1 + parent.depth > limits.maxDepth) return kTooDeep;
        return {};
    };
    auto top = plist.object(plist.top());
    if (!top.valid) return kDamaged;
    if (!top.container()) return {};
    if (!enter(plist.top(), top)) return kTooDeep;
    while (!path.empty()) {
        Frame& frame = path.back();
        if (frame.next == frame.object.refCount()) {
            Subtree finished = frame.size;
            seen[frame.index] = {State::done, finished};
            path.pop_back();
            if (path.empty()) break;
            if (auto problem = add(finished); !problem.empty()) return problem;
            continue;
        }
        bool isKey = frame.object.type == 0xD && frame.next < frame.object.length;
        auto child = plist.reference(frame.object, frame.next++);
        if (!child) return kDamaged;
        Subtree part;
        if (auto it = seen.find(*child); it != seen.end()) {
            // A container inside itself: libplist refuses it too.
            if (it->second.first == State::active) return kDamaged;
            part = it->second.second;
        } else {
            auto object = plist.object(*child);
            if (!object.valid) return kDamaged;
            if (isKey && checkedKeys.insert(*child).second && plist.isStringWithNul(object)) return kNulKey;
            if (object.container()) {
                if (!enter(*child, object)) return kTooDeep;
                continue;
            }
            part.bytes += object.length * object.unit(plist.refSize());
        }
        if (auto problem = add(part); !problem.empty()) return problem;
    }
    return {};
}

std::string xmlPlistShapeProblem(std::string_view bytes, const PlistShapeLimits& limits) {
    int depth = 0;
    for (std::size_t at = bytes.find('<'); at != std::string_view::npos; at = bytes.find('<', at)) {
        std::string_view rest = bytes.substr(at);
        if (rest.starts_with("<!") || rest.starts_with("<?")) {
            at = skipMarkup(bytes, at);
        } else {
            std::size_t end = tagEnd(bytes, at);
            if (end == std::string_view::npos) break;
            if (rest.starts_with("</"))
                depth = std::max(depth - 1, 0);
            else if (bytes[end - 1] != '/' && ++depth > limits.maxDepth)
                return kTooDeep;
            at = end + 1;
        }
        if (at == std::string_view::npos) break;
    }
    return {};
}

} // namespace quoddle
