// The release-name table of GetOsVersion. No Windows headers: unit-tested natively.
#pragma once
#include <cstdint>

namespace tv {

// What the version query and the system record told.
struct OsFacts {
  bool queried = false;       // the version query succeeded
  std::uint32_t platform = 0; // 2: the NT family
  std::uint32_t major = 0;
  std::uint32_t minor = 0;
  bool workstation = false;   // product type 1; every other product type is a server
  bool x64 = false;           // the machine's processor architecture is AMD64
};

constexpr std::uint32_t kPlatformNt = 2;

// Only version-10 servers are told apart by their product name.
inline bool NeedsProductName(const OsFacts& os) {
  return os.queried && os.platform == kPlatformNt && os.major == 10 && !os.workstation;
}

namespace detail {
template <class C>
bool HasText(const C* text, const char* part) {
  for (; *text != C(0); ++text) {
    std::size_t i = 0;
    while (part[i] != '\0' && text[i] == C(static_cast<unsigned char>(part[i]))) ++i;
    if (part[i] == '\0') return true;
  }
  return false;
}
}  // namespace detail

// The release name and the number pushed with it. productName is read only for a version-10
// server (NeedsProductName) and is null when it could not be read. "Unknown" is an unlisted
// version; "unknown" a version-10 server whose product name names neither year.
template <class C>
const char* ReleaseName(const OsFacts& os, const C* productName, std::int32_t* number) {
  const std::int32_t flag = os.x64 ? 1 : 0;
  *number = 0;
  if (!os.queried || os.platform != kPlatformNt || os.major <= 4) return "NT";
  if (os.major == 10) {
    *number = flag;
    if (os.workstation) return "10";
    if (productName == nullptr) return "unknown";
    if (detail::HasText(productName, "2019")) return "2019";
    if (detail::HasText(productName, "2016")) return "2016";
    return "unknown";
  }
  if (os.major == 6) {
    *number = flag;
    switch (os.minor) {
      case 0: return os.workstation ? "VISTA" : "2008";
      case 1: return os.workstation ? "7" : "2008 R2";
      case 2:
      case 3: return os.workstation ? "8" : "2012";
      default: return "Unknown";
    }
  }
  if (os.major == 5) {
    switch (os.minor) {
      case 0: return "2000";
      case 1: return "XP";
      case 2:
        if (os.workstation && os.x64) {
          *number = 1;
          return "XP";
        }
        *number = flag;
        return "2003";
      default: return "Unknown";
    }
  }
  return "Unknown";
}

}  // namespace tv
