// FILETIME values as text, both ways: the UTC date-times that `vxtool info` prints and that
// `vxtool pack --times` reads.
#pragma once

#include <cstdint>
#include <string>

namespace vxtool {

// "2000-06-16T06:25:32.8100000Z": a FILETIME as UTC ISO 8601 text, to 100 ns. Any value works.
std::string formatFileTime(uint64_t fileTime);

// Reads one time as `pack --times` takes it: a UTC date-time YYYY-MM-DDTHH:MM:SS[.f]Z with one to
// seven fractional digits, or a raw decimal FILETIME. Values past 0x7FFFFFFFFFFFFFFF are refused:
// Windows turns no larger FILETIME into a date. On failure `problem` says what is wrong ("is before
// 1601", ...) and false is returned.
bool parseFileTime(const std::string& text, uint64_t& fileTime, std::string& problem);

}  // namespace vxtool
