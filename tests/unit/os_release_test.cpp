#include "settings/os_release.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace {

struct Row {
  std::uint32_t major, minor;
  bool workstation, x64;
  const char* name;
  int number;
};

tv::OsFacts Facts(const Row& r) {
  tv::OsFacts os;
  os.queried = true;
  os.platform = tv::kPlatformNt;
  os.major = r.major;
  os.minor = r.minor;
  os.workstation = r.workstation;
  os.x64 = r.x64;
  return os;
}

using Release = std::pair<std::string, int>;  // the name and whether the system is 64-bit

Release Name(const tv::OsFacts& os, const char* product = nullptr) {
  std::int32_t n = -7;
  std::string name = tv::ReleaseName<char>(os, product, &n);
  return {name, n};
}

// The releases Wine cannot report, and versions the table does not know.
TEST(ReleaseName, ReleasesBeyondWine) {
  const Row rows[] = {
      {5, 0, true, true, "2000", 0},    {5, 2, true, false, "2003", 0},   {5, 2, false, true, "2003", 1},
      {6, 0, true, true, "VISTA", 1},   {6, 1, false, true, "2008 R2", 1}, {6, 2, false, false, "2012", 0},
      {6, 3, false, true, "2012", 1},   {5, 3, true, true, "Unknown", 0},  {6, 4, true, true, "Unknown", 1},
      {7, 0, true, true, "Unknown", 0}, {11, 0, true, true, "Unknown", 0},
  };
  for (const Row& r : rows) EXPECT_EQ(Name(Facts(r)), Release(r.name, r.number)) << r.major << "." << r.minor;
}

TEST(ReleaseName, FailedQueryAndOtherPlatformsAreNt) {
  tv::OsFacts failed = Facts({10, 0, true, true, "", 0});
  failed.queried = false;
  EXPECT_EQ(Name(failed), Release("NT", 0));
  tv::OsFacts nine = Facts({4, 10, true, true, "", 0});
  nine.platform = 1;  // the Windows 9x family
  EXPECT_EQ(Name(nine), Release("NT", 0));
}

TEST(ReleaseName, VersionTenServersByProductName) {
  tv::OsFacts server = Facts({10, 0, false, true, "", 0});
  ASSERT_TRUE(tv::NeedsProductName(server));
  EXPECT_FALSE(tv::NeedsProductName(Facts({10, 0, true, true, "", 0})));
  EXPECT_FALSE(tv::NeedsProductName(Facts({6, 3, false, true, "", 0})));
  struct Case {
    const char* product;
    const char* name;
  } cases[] = {
      {"Windows Server 2019 Datacenter", "2019"},
      {"Windows Server 2016 Standard", "2016"},
      {"Windows Server 2016 or 2019", "2019"},  // 2019 is looked for first
      {"Windows Server 2022 Standard", "unknown"},
      {"Windows Server 201", "unknown"},
      {"", "unknown"},
      {nullptr, "unknown"},  // the name could not be read
  };
  for (const Case& c : cases) EXPECT_EQ(Name(server, c.product), Release(c.name, 1)) << (c.product ? c.product : "-");
  server.x64 = false;
  EXPECT_EQ(Name(server, "Windows Server 2016"), Release("2016", 0));
  std::int32_t n;
  server.x64 = true;
  EXPECT_STREQ(tv::ReleaseName<wchar_t>(server, L"Windows Server 2019 Essentials", &n), "2019");
  EXPECT_EQ(n, 1);
}

}  // namespace
