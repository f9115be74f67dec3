#pragma once
// Property-list values to and from the bytes of a property-list file (libplist), and the forms of values
// that such a file holds exactly.

#include "platform/PlistValue.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace quoddle {

// A file holds a date as seconds since 2001-01-01T00:00:00Z; libplist 2.2 takes those as a 32-bit whole
// number of seconds plus microseconds. Dates are kept to the nearest millisecond (halves round to the
// later one) and clamped to what those 32 bits reach: 1932-12-13T20:45:52Z to 2069-01-19T03:14:07.999Z.
PlistDate storableDate(PlistDate date);
// Valid UTF-8 without NUL: every ill-formed sequence and every NUL becomes U+FFFD. libplist cuts strings at
// NUL, and writes a file that it cannot read back from a string that is not UTF-8.
std::string storableString(std::string_view text);
// The value with every date, string and dictionary key in its storable form, in place: nothing is copied
// that is already in its stored form.
void makeStorable(PlistValue& value);

// The binary property list of the dictionary; none when libplist fails to produce it. Values need not be in
// storable form: they are written as makeStorable leaves them.
std::optional<std::string> encodeBinaryPlist(const PlistDictionary& values);

// Larger files are refused unread (and kept aside): some 400,000 history items, far beyond any real use,
// while a history that grew large through imports still loads.
constexpr std::size_t kMaxPlistFileSize = 32 << 20;

struct DecodedPlist {
    std::optional<PlistDictionary> values; // every value in storable form
    std::string problem;                   // why there are no values, for a log line
};
// Reads a binary (starting "bplist00") or XML property list whose top level is a dictionary.
DecodedPlist decodePlist(std::string_view bytes);

} // namespace quoddle
