// The bridge to the 64-bit companion: record handling, and on the 32-bit variants a real run of
// Quillmere64.dll through the 64-bit rundll32 against a 64-bit victim.
#include <algorithm>
#include <cstring>

#include "installer.h"
#include "quillmere/helper_bridge.h"
#include "quillmere/helper_record.h"
#include "victims.h"

namespace {

std::string Text(const tv::tchar* t) { return Narrow(TString(t)); }

struct Received {
  std::vector<tv::ProcessEntry> entries;
  int answer = 1;
  int stopAfter = 0;  // 0: never
};

int Receive(const tv::ProcessEntry* e, void* arg) {
  auto* r = static_cast<Received*>(arg);
  r->entries.push_back(*e);
  if (r->stopAfter && static_cast<int>(r->entries.size()) >= r->stopAfter) return 0;
  return r->answer;
}

void Put(std::uint16_t* out, const std::wstring& text) {
  for (size_t i = 0; i <= text.size(); ++i) out[i] = i < text.size() ? static_cast<std::uint16_t>(text[i]) : 0;
}

}  // namespace

TEST_CASE(BridgeTakesOnlyWholeRecords) {
  std::vector<BYTE> bytes(1585, 0);
  auto* record = reinterpret_cast<tv::HelperEntry64*>(bytes.data());
  record->processId = 1234;
  Put(record->itemPath, L"C:\\x\\caf\u00e9.dll");
  Put(record->displayName, L"Shown");
  Put(record->imagePath, L"C:\\x\\app.exe");
  record->windowLow = 0x00012345;
  record->windowHigh = 0xFFFFFFFF;
  record->position = 7;
  record->total = 9;
  Received got;
  tv::EnumRequest request = {&got, 0};
  LRESULT answer = -1;
  COPYDATASTRUCT data = {1, 1584, bytes.data()};
  CHECK(!tv::HandleHelperCopyData(&data, &answer));  // no request set yet
  tv::SetHelperRequest(&Receive, &request);
  data.cbData = 1583;
  CHECK(!tv::HandleHelperCopyData(&data, &answer));
  data.cbData = 1585;
  CHECK(!tv::HandleHelperCopyData(&data, &answer));
  CHECK(got.entries.empty());
  data.cbData = 1584;
  CHECK(tv::HandleHelperCopyData(&data, &answer));
  CHECK_EQ(answer, 1);
  got.answer = 0;
  CHECK(tv::HandleHelperCopyData(&data, &answer));
  CHECK_EQ(answer, 0);  // the callback's 0 is the message's answer
  CHECK_EQ(got.entries.size(), 2u);
  if (!got.entries.empty()) {
    const tv::ProcessEntry& e = got.entries[0];
    CHECK_EQ(e.processId, 1234);
#ifdef TARVOLK_UNICODE
    CHECK_EQ(Text(e.itemPath), "C:\\x\\caf\xC3\xA9.dll");
#else
    // The ANSI code page in x86-ansi, as the process and module passes give their names.
    char expected[32] = {};
    WideCharToMultiByte(CP_ACP, 0, L"C:\\x\\caf\u00e9.dll", -1, expected, sizeof(expected), nullptr, nullptr);
    CHECK_EQ(Text(e.itemPath), std::string(expected));
#endif
    CHECK_EQ(Text(e.displayName), "Shown");
    CHECK_EQ(Text(e.imagePath), "C:\\x\\app.exe");
    CHECK_EQ(reinterpret_cast<ULONG_PTR>(e.window), 0x00012345);
    CHECK(e.position == 7 && e.total == 9);
  }
  // The count message: exactly four bytes.
  std::uint32_t count = 321;
  COPYDATASTRUCT countData = {2, 4, &count};
  tv::ClearHelperModuleCount();
  CHECK(tv::HandleHelperCopyData(&countData, &answer));
  CHECK_EQ(tv::HelperModuleCount(), 321);
  countData.cbData = 8;
  CHECK(!tv::HandleHelperCopyData(&countData, &answer));
  tv::SetHelperRequest(nullptr, nullptr);
  CHECK(!tv::HandleHelperCopyData(&data, &answer));
}

#ifndef _WIN64
static std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(tolower(c)); });
  return s;
}

TEST_CASE(CompanionListsSixtyFourBitModules) {
  CHECK(GetFileAttributesA((Arg("testbin32") + "\\Quillmere64.dll").c_str()) != INVALID_FILE_ATTRIBUTES);
  std::string folder = TestFolder("bridge");
  std::string dll = Arg("testbin64") + "\\mods\\tvmod.dll";
  Victim v(Arg("testbin64"), "tvvictim.exe", folder, "tvwide",
           "dll=" + dll + " class=" + Own("TvBridge") + " caption=" + Own("TvBridgeCaption") + " style=1");
  CHECK(v.Started());

  // The count is asked before any pass, with file system redirection still on (earlier cases
  // turned it off for this thread: turn it back on). The 64-bit rundll32 must start all the same.
  auto enable = reinterpret_cast<BOOLEAN(WINAPI*)(BOOLEAN)>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "Wow64EnableWow64FsRedirection")));
  CHECK(enable != nullptr && enable(TRUE));
  tv::ClearHelperModuleCount();
  CHECK(tv::RunHelper64("GetSystemModulesCount64", "", nullptr, nullptr));
  DWORD count = tv::HelperModuleCount();
  CHECK(count > 5);

  Received got;
  tv::EnumRequest request = {&got, 0};
  CHECK(tv::RunHelper64("EnumSystemProcesses64", "1 1", &Receive, &request));
  std::vector<tv::ProcessEntry> mine;
  for (auto& e : got.entries)
    if (e.processId == v.Id()) mine.push_back(e);
  CHECK(mine.size() > 3);
  // Roughly the modules counted before: other tests start and end processes meanwhile.
  CHECK(got.entries.size() <= count + 100);
  bool module = false;
  for (auto& e : mine) {
    module |= Lower(Text(e.itemPath)) == Lower(dll);
    CHECK_EQ(Lower(Text(e.imagePath)), Lower(v.Path()));
    // Windows were asked for: the caption of the victim's main window, as FillDisplayName gives it.
    CHECK_EQ(Text(e.displayName), Own("TvBridgeCaption"));
    CHECK(e.window == FindWindowA(Own("TvBridge").c_str(), nullptr));
  }
  CHECK(module);
  // Only 64-bit processes come back: never this one.
  for (auto& e : got.entries) CHECK(e.processId != GetCurrentProcessId());

  // A 0 answer stops the helper at once: one record, and RunHelper64 returned, so it ended.
  Received first;
  first.stopAfter = 1;
  request.callbackArg = &first;
  CHECK(tv::RunHelper64("EnumSystemProcesses64", "0 1", &Receive, &request));
  CHECK_EQ(first.entries.size(), 1u);

  DWORD before = 0, after = 0;
  before = OwnHandleCount();
  CHECK(before > 0);
  for (int i = 0; i < 3; ++i) tv::RunHelper64("EnumSystemProcesses64", "0 1", &Receive, &request);
  after = OwnHandleCount();
  CHECK_EQ(after, before);
}

#ifdef TARVOLK_UNICODE
TEST_CASE(CompanionFoundInAFolderOutsideTheAnsiCodePage) {
  // The plug-in in a folder with a Greek name (a temporary folder under such a user name, on a
  // system whose ANSI code page has no Greek): a DLL loaded from there stands for it.
  std::wstring folder = T(TestFolder("bridge")) + L"\\\u03A0\u03C1\u03CC\u03C3\u03B8\u03B5\u03C4\u03B1-" +
                        T(Own("plugin"));
  BOOL lossy = FALSE;
  WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, folder.c_str(), -1, nullptr, 0, nullptr, &lossy);
  CHECK(lossy);  // what makes this case worth running
  CreateDirectoryW(folder.c_str(), nullptr);
  std::wstring plugin = folder + L"\\Tarvolk.dll";
  CHECK(CopyFileW(T(Arg("testbin32") + "\\mods\\tvmod.dll").c_str(), plugin.c_str(), FALSE));
  CHECK(CopyFileW(T(Arg("testbin32") + "\\Quillmere64.dll").c_str(), (folder + L"\\Quillmere64.dll").c_str(), FALSE));
  HMODULE module = LoadLibraryW(plugin.c_str());
  CHECK(module != nullptr);
  if (module == nullptr) return;
  HINSTANCE own = tv::g_instance;
  tv::g_instance = module;
  tv::ClearHelperModuleCount();
  CHECK(tv::RunHelper64("GetSystemModulesCount64", "", nullptr, nullptr));
  tv::g_instance = own;
  FreeLibrary(module);
  CHECK(tv::HelperModuleCount() > 5);
}
#endif
#endif
