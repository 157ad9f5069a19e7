#include "file_time_text.h"

#include <cinttypes>
#include <cstdio>

namespace vxtool {

namespace {

constexpr uint64_t kTicksPerSecond = 10000000u;
constexpr uint64_t kLargestFileTime = 0x7FFFFFFFFFFFFFFFull;
// 1601-01-01 counted in days from 0000-03-01, the origin of the civil-date conversions below
// (H. Hinnant's algorithms, with years that start in March so that leap days come last).
constexpr int64_t kDay1601 = 584694;

int64_t daysFromCivil(int64_t year, int64_t month, int64_t day) {
  year -= month <= 2 ? 1 : 0;
  const int64_t era = year / 400;
  const int64_t yoe = year - era * 400;
  const int64_t doy = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - kDay1601;
}

bool isLeapYear(int64_t year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int64_t daysInMonth(int64_t year, int64_t month) {
  static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && isLeapYear(year) ? 29 : kDays[month - 1];
}

bool isDigit(char c) {
  return c >= '0' && c <= '9';
}

// Reads exactly `count` digits at `text[at]`, advancing `at`.
bool readDigits(const std::string& text, size_t& at, size_t count, int64_t& value) {
  value = 0;
  for (size_t i = 0; i < count; ++i, ++at) {
    if (at >= text.size() || !isDigit(text[at])) return false;
    value = value * 10 + (text[at] - '0');
  }
  return true;
}

bool expect(const std::string& text, size_t& at, char c) {
  if (at >= text.size() || text[at] != c) return false;
  ++at;
  return true;
}

bool parseDecimal(const std::string& text, uint64_t& fileTime, std::string& problem) {
  uint64_t value = 0;
  for (char c : text) {
    const uint64_t digit = static_cast<uint64_t>(c - '0');
    if (value > (kLargestFileTime - digit) / 10) {
      problem = "is out of range (largest FILETIME 9223372036854775807)";
      return false;
    }
    value = value * 10 + digit;
  }
  fileTime = value;
  return true;
}

bool parseDateTime(const std::string& text, uint64_t& fileTime, std::string& problem) {
  size_t at = 0;
  int64_t year, month, day, hour, minute, second;
  bool ok =
      readDigits(text, at, 4, year) && expect(text, at, '-') && readDigits(text, at, 2, month) &&
      expect(text, at, '-') && readDigits(text, at, 2, day) && expect(text, at, 'T') &&
      readDigits(text, at, 2, hour) && expect(text, at, ':') && readDigits(text, at, 2, minute) &&
      expect(text, at, ':') && readDigits(text, at, 2, second);
  uint64_t ticks = 0;
  if (ok && at < text.size() && text[at] == '.') {
    ++at;
    size_t digits = 0;
    for (; at < text.size() && isDigit(text[at]); ++at, ++digits) {
      if (digits < 7) ticks = ticks * 10 + static_cast<uint64_t>(text[at] - '0');
    }
    ok = digits >= 1 && digits <= 7;
    for (; digits < 7; ++digits) ticks *= 10;
  }
  ok = ok && expect(text, at, 'Z') && at == text.size();
  if (!ok) {
    problem = "is neither a UTC date-time YYYY-MM-DDTHH:MM:SS[.fffffff]Z nor a decimal FILETIME";
    return false;
  }
  if (month < 1 || month > 12 || day < 1 || day > daysInMonth(year, month) || hour > 23 ||
      minute > 59 || second > 59) {
    problem = "is not a valid date and time";
    return false;
  }
  if (year < 1601) {
    problem = "is before 1601, where FILETIME begins";
    return false;
  }
  // Four-digit years end in 9999, well inside the FILETIME range.
  const uint64_t seconds = static_cast<uint64_t>(daysFromCivil(year, month, day)) * 86400u +
                           static_cast<uint64_t>(hour * 3600 + minute * 60 + second);
  fileTime = seconds * kTicksPerSecond + ticks;
  return true;
}

}  // namespace

bool parseFileTime(const std::string& text, uint64_t& fileTime, std::string& problem) {
  if (text.empty()) {
    problem = "is empty";
    return false;
  }
  bool allDigits = true;
  for (char c : text) allDigits = allDigits && isDigit(c);
  if (allDigits) return parseDecimal(text, fileTime, problem);
  return parseDateTime(text, fileTime, problem);
}

std::string formatFileTime(uint64_t fileTime) {
  const uint64_t ticks = fileTime % kTicksPerSecond;
  uint64_t seconds = fileTime / kTicksPerSecond;
  const unsigned second = static_cast<unsigned>(seconds % 60);
  seconds /= 60;
  const unsigned minute = static_cast<unsigned>(seconds % 60);
  seconds /= 60;
  const unsigned hour = static_cast<unsigned>(seconds % 24);
  // Days since 1601-01-01 to a civil date.
  const int64_t days = static_cast<int64_t>(seconds / 24);
  const int64_t z = days + kDay1601;
  const int64_t era = z / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  const int64_t day = doy - (153 * mp + 2) / 5 + 1;
  const int64_t month = mp < 10 ? mp + 3 : mp - 9;
  const int64_t year = yoe + era * 400 + (month <= 2 ? 1 : 0);
  char text[64];
  std::snprintf(text, sizeof text,
                "%04" PRId64 "-%02" PRId64 "-%02" PRId64 "T%02u:%02u:%02u.%07" PRIu64 "Z", year,
                month, day, hour, minute, second, ticks);
  return text;
}

}  // namespace vxtool
