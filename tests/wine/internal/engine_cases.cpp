// The process engine's passes and display names, on victims of the plug-in's own width.
#include <algorithm>
#include <utility>

#include "installer.h"
#include "quillmere/system/engine.h"
#include "victims.h"

namespace {

struct Seen {
  DWORD processId;
  std::string itemPath, displayName, imagePath;
  HWND window;
  DWORD position, total;
};

int Collect(const tv::ProcessEntry* e, void* arg) {
  static_cast<std::vector<Seen>*>(arg)->push_back(
      {e->processId, Narrow(e->itemPath), Narrow(e->displayName), Narrow(e->imagePath), e->window, e->position, e->total});
  return 1;
}

std::string FromAnsi(const std::string& s) {
#ifdef TARVOLK_UNICODE
  int n = MultiByteToWideChar(CP_ACP, 0, s.c_str(), -1, nullptr, 0);
  std::wstring wide(n > 0 ? n - 1 : 0, L'\0');
  MultiByteToWideChar(CP_ACP, 0, s.c_str(), -1, &wide[0], n);
  return Narrow(wide);
#else
  return s;
#endif
}

std::vector<Seen> Of(const std::vector<Seen>& all, DWORD id) {
  std::vector<Seen> out;
  for (auto& s : all)
    if (s.processId == id) out.push_back(s);
  return out;
}

// Before Vista (no QueryFullProcessImageName), with a program started from an unmapped share.
std::string g_shareImageName;
TString g_shareImage;
DWORD(WINAPI* g_imageFileName)(HANDLE, tv::tchar*, DWORD) = nullptr;

DWORD WINAPI ImageFileNameOnShare(HANDLE process, tv::tchar* out, DWORD size) {
  DWORD length = g_imageFileName(process, out, size);
  std::string name = Lower(Narrow(out)), tail = Lower("\\" + g_shareImageName);
  if (length == 0 || name.size() < tail.size() || name.compare(name.size() - tail.size(), tail.size(), tail) != 0)
    return length;
  if (g_shareImage.size() >= size) return 0;
  std::copy(g_shareImage.c_str(), g_shareImage.c_str() + g_shareImage.size() + 1, out);
  return static_cast<DWORD>(g_shareImage.size());
}

FARPROC WINAPI LookUpAsOnAShare(HMODULE module, const char* name) {
  std::string entry = name;
  if (entry.rfind("QueryFullProcessImageName", 0) == 0) return nullptr;
  FARPROC found = GetProcAddress(module, name);
  if (found && entry.rfind("GetProcessImageFileName", 0) == 0) {
    g_imageFileName = reinterpret_cast<decltype(g_imageFileName)>(reinterpret_cast<void*>(found));
    return reinterpret_cast<FARPROC>(reinterpret_cast<void*>(&ImageFileNameOnShare));
  }
  return found;
}

int CancelAtFirst(const tv::ProcessEntry*, void* arg) {
  ++*static_cast<int*>(arg);
  tv::CancelSearch();
  return 1;
}

}  // namespace

// A module named as the image with a soft hyphen before ".exe": lstrcmp ignores it, files differ.
TEST_CASE(ProcessPassReportsImagesAndModules) {
  std::string folder = TestFolder("engine");
  std::string soft = folder + "\\" + Own("tvpass") + "\xAD.exe";
  CHECK(CopyFileA((OwnBin() + "\\mods\\tvmod.dll").c_str(), soft.c_str(), FALSE));
  Victim v(OwnBin(), folder, "tvpass", "dll=" + soft);
  TString softText = T(FromAnsi(soft)), imageText = T(FromAnsi(v.Path()));
  CHECK(TV_AW(lstrcmp)(softText.c_str(), imageText.c_str()) == 0);  // what makes the module worth loading
  std::vector<Seen> all;
  tv::EnumRequest request = {&all, 0};
  CHECK(tv::EnumProcessEntries(&Collect, &request, true));
  std::vector<Seen> mine = Of(all, v.Id());
  CHECK(mine.size() > 3);
  if (mine.empty()) return;
  CHECK_EQ(Lower(mine[0].itemPath), Lower(FromAnsi(v.Path())));
  CHECK_EQ(mine[0].imagePath, mine[0].itemPath);
  int dll = 0, image = 0;
  for (size_t i = 1; i < mine.size(); ++i) {
    dll += Lower(mine[i].itemPath) == Lower(FromAnsi(soft));
    image += mine[i].itemPath == mine[0].imagePath;
    CHECK_EQ(mine[i].position, mine[0].position);
    CHECK_EQ(mine[i].imagePath, mine[0].imagePath);
  }
  CHECK_EQ(std::make_pair(dll, image), std::make_pair(1, 0));
  for (auto& e : all) CHECK(e.total == mine[0].total && e.position <= e.total);
}

TEST_CASE(ImagesOnUnmappedDevicesKeepTheirDevicePath) {
  std::string folder = TestFolder("engine");
  Victim v(OwnBin(), folder, "tvshare", "");
  // \Device\Mup is where UNC paths lead: a share without a drive letter.
  std::string device = "\\Device\\Mup\\tvserver-" + Arg("variant") + "\\share\\" + v.Name();
  g_shareImageName = v.Name();
  g_shareImage = T(device);
  tv::SetEntryLookup(&LookUpAsOnAShare);
  CHECK(tv::InitProcessApi());
  CHECK(tv::Api().QueryFullProcessImageName == nullptr && tv::Api().GetProcessImageFileName != nullptr);
  tv::tchar mapped[tv::kPathChars];
  CHECK(!tv::DevicePathToDosPath(g_shareImage.c_str(), mapped));

  std::vector<Seen> all;
  tv::EnumRequest request = {&all, 0};
  CHECK(tv::EnumProcessEntries(&Collect, &request, false));
  std::vector<Seen> mine = Of(all, v.Id());
  CHECK(mine.size() == 1 && mine[0].imagePath == device && mine[0].itemPath == device);
  char own[MAX_PATH];
  GetModuleFileNameA(nullptr, own, MAX_PATH);
  std::vector<Seen> self = Of(all, GetCurrentProcessId());
  CHECK(self.size() == 1 && Lower(self[0].imagePath) == Lower(FromAnsi(own)));
  tv::ProcessEntry e = {};
  e.processId = v.Id();
  tv::FillImagePath(&e);
  CHECK_EQ(Narrow(e.imagePath), device);
  tv::SetEntryLookup(nullptr);
}

TEST_CASE(PassesStopWhenCancelled) {
  int calls = 0;
  tv::EnumRequest request = {&calls, 0};
  CHECK(!tv::EnumProcessEntries(&CancelAtFirst, &request, false));
  CHECK_EQ(calls, 1);
}

TEST_CASE(WindowPassReportsCaptionedWindows) {
  std::string folder = TestFolder("engine");
  std::string cls = Own("TvWinPass"), caption = Own("TvWindowPass");
  Victim v(OwnBin(), folder, "tvwinpass", "class=" + cls + " caption=" + caption + " style=1");
  Victim hidden(OwnBin(), folder, "tvhidden", "class=" + cls + "H caption=" + Own("TvHidden"));
  std::vector<Seen> all;
  tv::EnumRequest request = {&all, 1};
  CHECK(tv::EnumWindowEntries(&Collect, &request));
  std::vector<Seen> mine = Of(all, v.Id());
  CHECK_EQ(mine.size(), 1u);
  CHECK(Of(all, hidden.Id()).empty());
  CHECK(!mine.empty() && mine[0].window == FindWindowA(cls.c_str(), nullptr));
}
