#include "quillmere/system/path_text.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "widths.h"

namespace {

template <class C>
class PathText : public ::testing::Test {};
using Widths = ::testing::Types<char, wchar_t>;
TYPED_TEST_SUITE(PathText, Widths);

TYPED_TEST(PathText, EndsWithIsTailOfEitherString) {
  using C = TypeParam;
  auto ends = [](const std::string& a, const std::string& b) {
    return tv::PathEndsWith(W<C>(a).c_str(), W<C>(b).c_str());
  };
  EXPECT_TRUE(ends("c:\\x\\a.exe", "\\a.exe"));
  EXPECT_TRUE(ends("\\a.exe", "c:\\x\\a.exe"));
  EXPECT_TRUE(ends("a.exe", "a.exe"));
  EXPECT_FALSE(ends("A.EXE", "a.exe"));
  EXPECT_FALSE(ends("", "a.exe"));
  EXPECT_FALSE(ends("a.exe", ""));
  EXPECT_FALSE(ends("c:\\notepad.exe", "\\pad.exe"));
  EXPECT_FALSE(ends("c:\\x\\b.exe", "\\a.exe"));
}

TYPED_TEST(PathText, StartsWithNeedsTheWholePrefix) {
  using C = TypeParam;
  auto starts = [](const std::string& t, const std::string& p) {
    return tv::PathStartsWith(W<C>(t).c_str(), W<C>(p).c_str());
  };
  EXPECT_TRUE(starts("c:\\app\\bin\\x.dll", "c:\\app\\"));
  EXPECT_TRUE(starts("c:\\app", "c:\\app"));
  EXPECT_FALSE(starts("c:\\ap", "c:\\app"));
  EXPECT_FALSE(starts("", "c:\\"));
  EXPECT_FALSE(starts("c:\\", ""));
  EXPECT_FALSE(starts("C:\\APP\\x", "c:\\app\\"));
}

TYPED_TEST(PathText, FileNameIsWhatFollowsTheLastBackslash) {
  using C = TypeParam;
  C out[8];
  auto name = [&](const std::string& path, std::size_t maxLength, std::size_t outSize) {
    std::fill(out, out + 8, C('#'));
    tv::FileNameFromPath(W<C>(path).c_str(), maxLength, out, outSize);
    return N(out);
  };
  EXPECT_EQ(name("c:\\dir\\app.exe", 260, 8), "app.exe");
  EXPECT_EQ(name("c:\\dir\\application.exe", 260, 8), "applica");  // cut to outSize - 1
  EXPECT_EQ(name("c:\\dir\\app.exe", 9, 8), "ap");                  // the path read up to maxLength
  EXPECT_EQ(name("c:\\dir\\", 260, 8), "");
  EXPECT_EQ(name("plain", 260, 8), "plain");
  EXPECT_EQ(out[5], C(0));
}

// Drive targets as QueryDosDevice reports them on one Windows machine.
const std::map<char, std::string> kDrives = {
    {'C', "\\Device\\HarddiskVolume3"},
    {'D', "\\Device\\HarddiskVolume30"},
    {'E', "\\Device\\CdRom0"},
    {'Z', "\\Device\\LanmanRedirector\\;Z:00000000000a1b2c\\server\\share"},
};

template <class C>
bool Target(C letter, C* target, std::size_t capacity) {
  auto it = kDrives.find(static_cast<char>(letter));
  if (it == kDrives.end() || it->second.size() >= capacity) return false;
  std::copy(it->second.begin(), it->second.end(), target);
  target[it->second.size()] = C(0);
  return true;
}

template <class C>
bool Map(const std::string& device, std::basic_string<C>* out, std::size_t outSize = 260) {
  std::vector<C> buffer(outSize, C('#'));
  buffer[0] = C(0);
  bool ok = tv::MapDevicePath(W<C>(device).c_str(), buffer.data(), outSize, Target<C>);
  *out = buffer.data();
  return ok;
}

TYPED_TEST(PathText, DevicePathsMapToDriveLetters) {
  using C = TypeParam;
  const std::pair<const char*, const char*> cases[] = {  // no drive path: no match, the output untouched
      {"\\Device\\HarddiskVolume3\\data\\f.txt", "C:\\data\\f.txt"},
      // A target matches as a whole component only: volume 30 is D:, not C: with a stray "0".
      {"\\Device\\HarddiskVolume30\\x", "D:\\x"},
      {"\\Device\\HarddiskVolume30", "D:"},
      {"\\Device\\CdRom0\\setup.exe", "E:\\setup.exe"},
      // A network drive is compared without its drive and session part.
      {"\\Device\\LanmanRedirector\\server\\share\\doc.txt", "Z:\\doc.txt"},
      {"\\Device\\LanmanRedirector\\server\\share2\\doc.txt", nullptr},
      {"\\Device\\CdRom01\\setup.exe", nullptr},
      {"\\Device\\HarddiskVolume9\\f.txt", nullptr},
      {"\\device\\harddiskvolume3\\f.txt", nullptr},
      // Wine's names are drive letter paths already.
      {"\\??\\C:\\dir\\file.txt", "C:\\dir\\file.txt"},
      {"\\??\\z:\\", "z:\\"},
      {"\\??\\UNC\\server\\share\\f", nullptr},
      {"\\??\\1:\\f", nullptr},
  };
  for (const auto& c : cases) {
    std::basic_string<C> out;
    EXPECT_EQ(Map<C>(c.first, &out), c.second != nullptr) << c.first;
    EXPECT_EQ(N(out.c_str()), c.second ? c.second : "") << c.first;
  }
}

TYPED_TEST(PathText, MappingInPlaceAndBounded) {
  using C = TypeParam;
  std::basic_string<C> device = W<C>("\\Device\\HarddiskVolume3\\a\\b.txt");
  std::vector<C> buffer(device.begin(), device.end());
  buffer.push_back(C(0));
  ASSERT_TRUE(tv::MapDevicePath(buffer.data(), buffer.data(), buffer.size(), Target<C>));
  EXPECT_EQ(N(buffer.data()), "C:\\a\\b.txt");
  // A result that does not fit is no match, and the output stays as it was.
  std::basic_string<C> out;
  EXPECT_FALSE(Map<C>("\\Device\\HarddiskVolume3\\data\\f.txt", &out, 13));
  EXPECT_TRUE(Map<C>("\\Device\\HarddiskVolume3\\data\\f.txt", &out, 14));
}

TYPED_TEST(PathText, LongPathsTakeTheExtendedForm) {
  using C = TypeParam;
  auto form = [](const std::string& path) {
    std::basic_string<C> full = W<C>(path);
    std::size_t length = tv::LongPathForm(full.c_str(), static_cast<C*>(nullptr), 0);
    std::vector<C> out(length + 1, C('#'));
    EXPECT_EQ(tv::LongPathForm(full.c_str(), out.data(), out.size()), length);
    EXPECT_EQ(out[length], C(0));
    std::vector<C> tight(length, C('#'));  // one short: nothing written
    EXPECT_EQ(tv::LongPathForm(full.c_str(), tight.data(), tight.size()), length);
    EXPECT_EQ(tight[0], C('#'));
    return N(out.data());
  };
  std::string deep = "\\" + std::string(270, 'd') + "\\f.txt";
  EXPECT_EQ(form("C:" + deep), "\\\\?\\C:" + deep);
  EXPECT_EQ(form("\\\\server\\share" + deep), "\\\\?\\UNC\\server\\share" + deep);
  EXPECT_EQ(form("\\\\?\\C:" + deep), "\\\\?\\C:" + deep);
  EXPECT_EQ(form("\\\\.\\C:" + deep), "\\\\.\\C:" + deep);
  // Below MAX_PATH characters the path stays as it is; from 260 on it takes the form.
  std::string short259 = "C:\\" + std::string(256, 's');
  EXPECT_EQ(form(short259), short259);
  EXPECT_EQ(form(short259 + "x"), "\\\\?\\" + short259 + "x");
  EXPECT_EQ(form("\\\\server\\share\\f.txt"), "\\\\server\\share\\f.txt");
}

TYPED_TEST(PathText, KillListTakesPositiveNumbersOnly) {
  using C = TypeParam;
  auto ids = [](const std::string& list) {
    std::vector<std::uint32_t> got;
    tv::ForEachListedProcessId(W<C>(list).c_str(), [&](std::uint32_t id) { got.push_back(id); });
    return got;
  };
  EXPECT_EQ(ids("1234,0,abc,5678"), (std::vector<std::uint32_t>{1234, 5678}));
  EXPECT_EQ(ids("12,"), (std::vector<std::uint32_t>{12}));
  EXPECT_EQ(ids(",,7"), (std::vector<std::uint32_t>{7}));
  EXPECT_EQ(ids("-5,0x10,017,9x"), (std::vector<std::uint32_t>{16, 15, 9}));
  EXPECT_EQ(ids(""), (std::vector<std::uint32_t>{}));
}

TYPED_TEST(PathText, NameMatchGetsItsBackslash) {
  using C = TypeParam;
  C out[7];
  tv::BuildNameMatch(W<C>("a.exe").c_str(), out, 7);
  EXPECT_EQ(N(out), "\\a.exe");
  tv::BuildNameMatch(W<C>("ab.exe").c_str(), out, 7);
  EXPECT_EQ(N(out), "\\ab.ex");
}

}  // namespace
