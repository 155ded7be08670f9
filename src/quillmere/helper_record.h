// The record that the 64-bit companion sends for each process or module it lists: 1584 bytes,
// little-endian, laid out as the 64-bit side lays out its own entry. No Windows headers, so that
// the layout is pinned in every build, the native one included.
#pragma once
#include <cstddef>
#include <cstdint>

namespace tv {

constexpr std::uint32_t kHelperPathChars = 260;
constexpr std::uintptr_t kHelperEntryMessage = 1;  // dwData of a record
constexpr std::uintptr_t kHelperCountMessage = 2;  // dwData of the module count (4 bytes)

struct HelperEntry64 {
  std::uint32_t processId;
  std::uint16_t itemPath[kHelperPathChars];     // UTF-16, NUL-terminated
  std::uint16_t displayName[kHelperPathChars];  // UTF-16, NUL-terminated
  std::uint32_t alignment;                      // not read
  std::uint32_t windowLow;                      // the window handle's low 32 bits
  std::uint32_t windowHigh;                     // not read
  std::uint16_t imagePath[kHelperPathChars];    // UTF-16, NUL-terminated
  std::uint32_t position;
  std::uint32_t total;
};

static_assert(offsetof(HelperEntry64, processId) == 0, "process id");
static_assert(offsetof(HelperEntry64, itemPath) == 4, "item path");
static_assert(offsetof(HelperEntry64, displayName) == 524, "display name");
static_assert(offsetof(HelperEntry64, alignment) == 1044, "alignment");
static_assert(offsetof(HelperEntry64, windowLow) == 1048, "window");
static_assert(offsetof(HelperEntry64, windowHigh) == 1052, "window, high half");
static_assert(offsetof(HelperEntry64, imagePath) == 1056, "image path");
static_assert(offsetof(HelperEntry64, position) == 1576, "position");
static_assert(offsetof(HelperEntry64, total) == 1580, "total");
static_assert(sizeof(HelperEntry64) == 1584, "record size");

}  // namespace tv
