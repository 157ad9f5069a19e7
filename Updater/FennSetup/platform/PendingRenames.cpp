#include "platform/PendingRenames.h"

#include <algorithm>

namespace fenn {

namespace {

constexpr wchar_t kNtPrefix[] = L"\\??\\";

struct Units {
  const std::vector<uint8_t>& bytes;
  size_t count() const { return bytes.size() / 2; }  // an odd last byte is no character
  wchar_t at(size_t index) const {
    return static_cast<wchar_t>(bytes[2 * index] | (bytes[2 * index + 1] << 8));
  }
  // The index of the first NUL from `start`; count() when there is none.
  size_t endOfText(size_t start) const {
    while (start < count() && at(start) != L'\0') ++start;
    return start;
  }
  std::wstring text(size_t begin, size_t end) const {
    std::wstring result;
    for (size_t index = begin; index < end; ++index) result += at(index);
    return result;
  }
};

}  // namespace

std::vector<PendingRename> ReadPendingRenames(const std::vector<uint8_t>& value) {
  const Units units{value};
  std::vector<PendingRename> pairs;
  size_t position = 0;
  while (position < units.count()) {
    const size_t fileEnd = units.endOfText(position);
    const size_t target = fileEnd + 1;
    if (target >= units.count()) break;  // a last name without its partner, or the terminator
    const size_t targetEnd = units.endOfText(target);
    const size_t next = std::min(targetEnd + 1, units.count());
    if (fileEnd > position) {
      PendingRename pair;
      pair.offset = 2 * position;
      pair.length = 2 * (next - position);
      pair.file = units.text(position, fileEnd);
      if (pair.file.rfind(kNtPrefix, 0) == 0) pair.file.erase(0, 4);
      pair.deletes = targetEnd == target;
      pairs.push_back(pair);
    }
    position = next;
  }
  return pairs;
}

std::vector<uint8_t> WithoutPair(const std::vector<uint8_t>& value, const PendingRename& pair) {
  std::vector<uint8_t> rest(value.begin(),
                            value.begin() + static_cast<std::ptrdiff_t>(pair.offset));
  rest.insert(rest.end(), value.begin() + static_cast<std::ptrdiff_t>(pair.offset + pair.length),
              value.end());
  return rest;
}

bool HoldsOnlyTerminators(const std::vector<uint8_t>& value) {
  return std::all_of(value.begin(), value.end(), [](uint8_t byte) { return byte == 0; });
}

}  // namespace fenn
