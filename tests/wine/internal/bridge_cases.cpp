// The 64-bit companion's blocks, and a real run through 64-bit rundll32 on the 32-bit variants.
#include <fstream>
#include <tuple>

#include "installer.h"
#include "quillmere/system/helper_batch.h"
#include "quillmere/system/helper_bridge.h"
#include "victims.h"

namespace {

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

LRESULT Deliver(tv::HelperBatchWriter& batch, std::uint32_t flags, std::uint32_t walked) {
  const unsigned char* block = batch.Finish(flags, walked, 40);
  COPYDATASTRUCT data = {tv::kHelperBatchMessage, static_cast<DWORD>(batch.size()), const_cast<unsigned char*>(block)};
  return tv::HandleHelperCopyData(&data);
}

#ifndef _WIN64
// Runs the companion as a plug-in in `folder` would: tvmod.dll stands in as its Tarvolk.dll there,
// beside `companion` as Quillmere64.dll. The test programs' folders are ASCII.
std::wstring Wide(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }
tv::HelperOutcome RunFrom(const std::wstring& folder, const std::string& companion, const char* args, Received* got) {
  CreateDirectoryW(folder.c_str(), nullptr);
  std::wstring plugin = folder + L"\\Tarvolk.dll";
  CHECK(CopyFileW(Wide(Arg("testbin32") + "\\mods\\tvmod.dll").c_str(), plugin.c_str(), FALSE));
  CHECK(CopyFileW(Wide(companion).c_str(), (folder + L"\\Quillmere64.dll").c_str(), FALSE));
  HMODULE module = LoadLibraryW(plugin.c_str());
  CHECK(module != nullptr);
  if (module == nullptr) return {};
  HINSTANCE own = tv::g_instance;
  tv::g_instance = module;
  tv::EnumRequest request = {got, 0};
  tv::HelperOutcome outcome = tv::RunHelper64(args, &Receive, &request);
  tv::g_instance = own;
  FreeLibrary(module);
  return outcome;
}
#endif

}  // namespace

// Records in order in the build's width, the outcome, and a refusal of anything else for good.
TEST_CASE(BridgeTakesWellFormedBlocksOnly) {
  static tv::HelperBatchWriter batch;
  batch.Clear();
  CHECK(batch.Add(1234u, 7u, 0xFFFFFFFF00012345ull, L"C:\\x\\caf\u00e9.dll", L"Shown", L"C:\\x\\app.exe"));
  CHECK(batch.Add(1234u, 7u, 0ull, L"C:\\x\\two.dll", L"Shown", L"C:\\x\\app.exe"));
  Received got;
  tv::EnumRequest request = {&got, 0};
  tv::SetHelperRequest(nullptr, nullptr);
  CHECK_EQ(Deliver(batch, 0, 7), 0);  // no request set
  tv::SetHelperRequest(&Receive, &request);
  CHECK_EQ(Deliver(batch, 0, 7), 1);
  CHECK_EQ(got.entries.size(), 2u);
  CHECK(!tv::LastHelperOutcome().complete && tv::LastHelperOutcome().walked == 7);
  if (got.entries.size() == 2) {
    const tv::ProcessEntry& e = got.entries[0];
    char expected[32] = {};  // in UTF-8 for the Unicode build, in the ANSI code page for the ANSI build
    WideCharToMultiByte(sizeof(TChar) == 2 ? CP_UTF8 : CP_ACP, 0, L"C:\\x\\caf\u00e9.dll", -1, expected,
                        sizeof(expected), nullptr, nullptr);
    CHECK_EQ(
        std::make_tuple(e.processId, Narrow(e.itemPath), Narrow(e.displayName), Narrow(e.imagePath),
                        reinterpret_cast<ULONG_PTR>(e.window), e.position, e.total),
        std::make_tuple(1234ul, std::string(expected), "Shown", "C:\\x\\app.exe", ULONG_PTR{0x00012345}, 7ul, 40ul));
    CHECK_EQ(Narrow(got.entries[1].itemPath), "C:\\x\\two.dll");
  }
  batch.Clear();
  CHECK_EQ(Deliver(batch, tv::kHelperBatchLast, 9), 1);  // the last block may be empty
  CHECK(tv::LastHelperOutcome().complete && tv::LastHelperOutcome().walked == 9);

  // A callback's 0 stops the run: the rest of the block and every later block go nowhere.
  tv::SetHelperRequest(&Receive, &request);
  got.entries.clear();
  got.stopAfter = 1;
  CHECK(batch.Add(1u, 1u, 0ull, L"a", L"b", L"c") && batch.Add(1u, 1u, 0ull, L"d", L"b", L"c"));
  CHECK_EQ(Deliver(batch, 0, 1), 0);
  got.stopAfter = 0;
  CHECK_EQ(Deliver(batch, tv::kHelperBatchLast, 1), 0);
  CHECK_EQ(got.entries.size(), 1u);
  CHECK(!tv::LastHelperOutcome().complete);

  // A first-version companion (a 1584-byte record per message, dwData 1) is refused for good.
  tv::SetHelperRequest(&Receive, &request);
  got.entries.clear();
  std::vector<BYTE> old(1584, 0);
  COPYDATASTRUCT first = {1, 1584, old.data()};
  CHECK_EQ(tv::HandleHelperCopyData(&first), 0);
  CHECK_EQ(Deliver(batch, 0, 1), 0);
  CHECK(got.entries.empty());
  tv::SetHelperRequest(nullptr, nullptr);
}

#ifndef _WIN64
TEST_CASE(CompanionListsSixtyFourBitModules) {
  CHECK(GetFileAttributesA((Arg("testbin32") + "\\Quillmere64.dll").c_str()) != INVALID_FILE_ATTRIBUTES);
  std::string folder = TestFolder("bridge");
  std::string dll = Arg("testbin64") + "\\mods\\tvmod.dll";
  Victim v(Arg("testbin64"), folder, "tvwide",
           "dll=" + dll + " class=" + Own("TvBridge") + " caption=" + Own("TvBridgeCaption") + " style=1");

  Received got;
  tv::EnumRequest request = {&got, 0};
  tv::HelperOutcome outcome = tv::RunHelper64("1 1", &Receive, &request);
  CHECK(outcome.complete);
  std::vector<tv::ProcessEntry> mine;
  for (auto& e : got.entries)
    if (e.processId == v.Id()) mine.push_back(e);
  CHECK(mine.size() > 3);
  for (auto& e : mine) {
    CHECK_EQ(Narrow(e.displayName), Own("TvBridgeCaption"));
    CHECK(e.window == FindWindowA(Own("TvBridge").c_str(), nullptr));
  }
  for (auto& e : got.entries) CHECK(e.processId != GetCurrentProcessId());
  CHECK(outcome.walked > 3);

  // A 0 answer stops the helper at once: one record, and RunHelper64 returned, so it ended.
  Received first;
  first.stopAfter = 1;
  request.callbackArg = &first;
  CHECK(!tv::RunHelper64("0 1", &Receive, &request).complete);
  CHECK_EQ(first.entries.size(), 1u);

  DWORD before = OwnHandleCount();
  for (int i = 0; i < 3; ++i) tv::RunHelper64("0 1", &Receive, &request);
  CHECK_EQ(OwnHandleCount(), before);
}

// A silent companion (tvmod.dll) counts as absent after a few seconds; its rundll32 is ended.
TEST_CASE(CompanionThatNeverAnswersIsEnded) {
  std::string folder = TestFolder("bridge") + "\\" + Own("silent");
  DeleteFileA((folder + "\\tvstandin.pid").c_str());
  Received got;
  DWORD start = GetTickCount();
  CHECK(!RunFrom(Wide(folder), Arg("testbin64") + "\\mods\\tvmod.dll", "0 1", &got).complete && got.entries.empty());
  DWORD took = GetTickCount() - start;
  CHECK(took >= 4500 && took < 15000);
  DWORD pid = 0;
  std::ifstream(folder + "\\tvstandin.pid") >> pid;
  HANDLE process = pid != 0 ? OpenProcess(SYNCHRONIZE, FALSE, pid) : nullptr;
  CHECK(pid != 0 && (process == nullptr || WaitForSingleObject(process, 0) == WAIT_OBJECT_0));
  if (process != nullptr) CloseHandle(process);
}

#ifdef TARVOLK_UNICODE
TEST_CASE(CompanionFoundInAFolderOutsideTheAnsiCodePage) {
  // As under a Greek user name on a system whose ANSI code page has no Greek.
  std::wstring folder = T(TestFolder("bridge")) + L"\\\u03A0\u03C1\u03CC\u03C3\u03B8\u03B5\u03C4\u03B1-" +
                        T(Own("plugin"));
  BOOL lossy = FALSE;
  WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, folder.c_str(), -1, nullptr, 0, nullptr, &lossy);
  CHECK(lossy);  // what makes this case worth running
  Received got;
  CHECK(RunFrom(folder, Arg("testbin32") + "\\Quillmere64.dll", "0 0", &got).complete);
  CHECK(got.entries.size() > 3);
}
#endif
#endif
