#pragma once
// Checks of a property-list file's structure made before libplist reads it. libplist 2.2 reads nesting
// recursively, so about 85,000 levels overflow an 8 MiB stack; it copies a shared object of a binary file
// once for every reference to it, so a 75-byte file can expand to 2^24 nodes (seconds and gigabytes); and a
// binary dictionary key holding NUL makes it fail an assertion, which ends the process.

#include <cstdint>
#include <string>
#include <string_view>

namespace quoddle {

struct PlistShapeLimits {
    int maxDepth;               // objects (binary) or elements (XML) on any path from the top
    std::uint64_t maxTreeBytes; // the binary file's tree once every shared object is copied, estimated at
                                // 64 bytes a node plus the bytes of its string or data
};

// Why libplist must not read the binary property list (one that starts "bplist00"), or empty when it may.
std::string binaryPlistShapeProblem(std::string_view bytes, const PlistShapeLimits& limits);
// The same for an XML property list, read by the XML rules that libplist follows for comments, CDATA,
// processing instructions, declarations and quoted attribute values. XML shares nothing, so only the
// depth counts.
std::string xmlPlistShapeProblem(std::string_view bytes, const PlistShapeLimits& limits);

} // namespace quoddle
