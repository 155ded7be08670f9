#include <algorithm>
#include <map>
#include <set>
#include <vector>

#include "installer.h"
#include "quillmere/system/handle_scan.h"
#include "victims.h"

namespace {

struct Holders {
  std::string under;                                // lowercased folder
  std::map<DWORD, std::set<std::string>> byProcess;  // lowercased paths under it
};

int CollectUnder(const tv::ProcessEntry* e, void* arg) {
  auto* h = static_cast<Holders*>(arg);
  std::string path = Lower(Narrow(e->itemPath));
  if (path.compare(0, h->under.size(), h->under) == 0) h->byProcess[e->processId].insert(path);
  return 1;
}

using QueryFn = LONG(WINAPI*)(ULONG, void*, ULONG, ULONG*);
QueryFn g_realQuery;
LONG WINAPI WithoutExtendedTable(ULONG infoClass, void* buffer, ULONG size, ULONG* returned) {
  if (infoClass == 64) return static_cast<LONG>(0xC0000003);  // STATUS_INVALID_INFO_CLASS
  return g_realQuery(infoClass, buffer, size, returned);
}

// Queries that never return for one chosen handle each; every query recorded (buffer, thread, what).
enum class Asked { type, device, name };
struct QueryCall {
  void* buffer;
  DWORD thread;
  bool hangs;
  HANDLE handle;
  Asked asked;
};
constexpr LONG kCallSlots = 1 << 15;
QueryCall g_calls[kCallSlots];
volatile LONG g_callCount;
HANDLE g_hangInDevice, g_hangInName;  // the device query and the object name query
tv::ProcessApi g_realApi;

void Record(void* buffer, bool hangs, HANDLE handle, Asked asked) {
  LONG i = InterlockedIncrement(&g_callCount) - 1;
  if (i < kCallSlots) g_calls[i] = {buffer, GetCurrentThreadId(), hangs, handle, asked};
  if (hangs) Sleep(INFINITE);
}
LONG WINAPI HangingObjectQuery(HANDLE handle, ULONG infoClass, void* buffer, ULONG size, ULONG* returned) {
  Record(buffer, infoClass == 1 && handle == g_hangInName, handle, infoClass == 1 ? Asked::name : Asked::type);
  return g_realApi.NtQueryObject(handle, infoClass, buffer, size, returned);
}
LONG WINAPI HangingDeviceQuery(HANDLE file, void* ioStatus, void* buffer, ULONG size, ULONG infoClass) {
  Record(buffer, file == g_hangInDevice, file, Asked::device);
  return g_realApi.NtQueryVolumeInformationFile(file, ioStatus, buffer, size, infoClass);
}

void RecordQueries(HANDLE hangInDevice, HANDLE hangInName) {
  auto& api = const_cast<tv::ProcessApi&>(tv::Api());
  g_realApi = api;
  g_callCount = 0;
  g_hangInDevice = hangInDevice;
  g_hangInName = hangInName;
  api.NtQueryObject = &HangingObjectQuery;
  api.NtQueryVolumeInformationFile = &HangingDeviceQuery;
}
void StopRecording() {
  auto& api = const_cast<tv::ProcessApi&>(tv::Api());
  api.NtQueryObject = g_realApi.NtQueryObject;
  api.NtQueryVolumeInformationFile = g_realApi.NtQueryVolumeInformationFile;
}
LONG RecordedCalls() { return g_callCount < kCallSlots ? g_callCount : kCallSlots; }

int QueryThreadsLeft() {
  std::set<DWORD> threads;
  for (LONG i = 0; i < RecordedCalls(); ++i) threads.insert(g_calls[i].thread);
  int left = 0;
  for (DWORD id : threads) {
    HANDLE thread = OpenThread(SYNCHRONIZE, FALSE, id);
    if (thread == nullptr) continue;
    left += WaitForSingleObject(thread, 0) != WAIT_OBJECT_0;
    CloseHandle(thread);
  }
  return left;
}

int StopAtFirst(const tv::ProcessEntry*, void* arg) {
  ++*static_cast<int*>(arg);
  return 0;
}
// The scan checks the cancel event every 10 ms: the wait lets it look before the pass could end.
int CancelAtFirst(const tv::ProcessEntry*, void* arg) {
  ++*static_cast<int*>(arg);
  SetEvent(tv::SearchCancelEvent());
  Sleep(20);
  return 1;
}

}  // namespace

// Holders of the plug-in's own width and the installer itself: search.nsi's "paths" and "file prefix".
TEST_CASE(HandleScanFindsFileAndFolderHolders) {
  std::string folder = TestFolder("handles-" + std::to_string(GetCurrentProcessId()));
  std::string data = folder + "\\data";
  CreateDirectoryA(data.c_str(), nullptr);
  std::string other = data + "\\other.txt", spared = data + "\\spared.txt";
  CHECK(WriteFileText(other, "x") && WriteFileText(spared, "x"));
  Victim wide(Arg(sizeof(void*) == 8 ? "testbin32" : "testbin64"), folder, "tvhold2", "file=" + other);
  // A holder whose image is named services.exe is never examined.
  Victim service(OwnBin(), folder, "services.exe", "file=" + spared);

  Holders found{Lower(data), {}};
  tv::EnumRequest request = {&found, 0};
  CHECK(tv::EnumFileHandleEntries(&CollectUnder, &request));
  std::map<DWORD, std::set<std::string>> expected = {{wide.Id(), {Lower(other)}}};
  CHECK_EQ(found.byProcess, expected);

  // Where the extended table is refused, the classic one gives the same holders.
  auto& api = const_cast<tv::ProcessApi&>(tv::Api());
  g_realQuery = api.NtQuerySystemInformation;
  api.NtQuerySystemInformation = &WithoutExtendedTable;
  tv::HandleTable classic;
  CHECK(classic.Read() && !classic.Extended() && classic.Count() > 50);
  Holders again{found.under, {}};
  request.callbackArg = &again;
  CHECK(tv::EnumFileHandleEntries(&CollectUnder, &request));
  CHECK_EQ(again.byProcess, expected);
  api.NtQuerySystemInformation = g_realQuery;
}

// A hung query costs its handle and 200 ms: a new worker with its own block takes the rest.
TEST_CASE(HandleScanOutlivesHangingQueries) {
  std::string folder = TestFolder("hang-" + std::to_string(GetCurrentProcessId()));
  std::vector<HANDLE> held;
  std::map<HANDLE, std::string> paths;
  for (int i = 0; i < 6; ++i) {
    std::string path = folder + "\\held" + std::to_string(i) + ".txt";
    CHECK(WriteFileText(path, "x"));
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    CHECK(h != INVALID_HANDLE_VALUE);
    held.push_back(h);
    paths[h] = Lower(path);
  }
  // The two lowest handles hang; the table lists them first.
  std::sort(held.begin(), held.end());
  std::vector<DWORD> order;
  {
    tv::HandleTable table;
    CHECK(table.Read());
    for (DWORD i = 0; i < table.Count(); ++i) {
      tv::SystemHandle row = table.At(i);
      for (size_t k = 0; k < held.size(); ++k)
        if (row.processId == GetCurrentProcessId() && row.handleValue == reinterpret_cast<ULONG_PTR>(held[k]))
          order.push_back(static_cast<DWORD>(k));
    }
  }
  CHECK(order == std::vector<DWORD>({0, 1, 2, 3, 4, 5}));
  // A pipe: a file object whose device is no disk, never asked its name.
  HANDLE pipe[2] = {};
  CHECK(CreatePipe(&pipe[0], &pipe[1], nullptr, 0));

  DWORD handlesBefore = OwnHandleCount();
  RecordQueries(held[0], held[1]);
  Holders found{Lower(folder), {}};
  tv::EnumRequest request = {&found, 0};
  DWORD start = GetTickCount();
  CHECK(tv::EnumFileHandleEntries(&CollectUnder, &request));
  DWORD took = GetTickCount() - start;
  StopRecording();
  DWORD handlesAfter = OwnHandleCount();

  std::set<std::string> after;
  for (size_t k = 2; k < held.size(); ++k) after.insert(paths[held[k]]);
  CHECK(found.byProcess.size() == 1 && found.byProcess[GetCurrentProcessId()] == after);
  CHECK(took >= 350);  // each hanging query had its 200 ms
  CHECK_EQ(handlesAfter, handlesBefore);  // the terminated workers' threads and events are closed

  // No query after a hanging one got its buffer (until the next hung), and no worker is left.
  CHECK(g_callCount < kCallSlots);
  std::vector<LONG> hung;
  for (LONG i = 0; i < RecordedCalls(); ++i)
    if (g_calls[i].hangs) hung.push_back(i);
  CHECK_EQ(hung.size(), 2u);
  for (size_t h = 0; h < hung.size(); ++h) {
    const QueryCall& stuck = g_calls[hung[h]];
    LONG until = h + 1 < hung.size() ? hung[h + 1] : RecordedCalls();
    int later = 0, reused = 0;
    for (LONG i = hung[h] + 1; i < until; ++i, ++later)
      reused += g_calls[i].buffer == stuck.buffer;
    CHECK(later > 0);
    CHECK_EQ(reused, 0);
  }
  CHECK_EQ(QueryThreadsLeft(), 0);

  // Every file object was asked its device; only those on a disk were asked their name.
  auto asked = [](HANDLE handle, Asked what) {
    int n = 0;
    for (LONG i = 0; i < RecordedCalls(); ++i) n += g_calls[i].handle == handle && g_calls[i].asked == what;
    return n;
  };
  for (HANDLE end : pipe) CHECK(asked(end, Asked::device) == 1 && asked(end, Asked::name) == 0);
  for (size_t k = 0; k < held.size(); ++k) CHECK(asked(held[k], Asked::device) == 1);
  for (size_t k = 2; k < held.size(); ++k) CHECK(asked(held[k], Asked::name) == 1);
  CHECK(asked(held[0], Asked::name) == 0 && asked(held[1], Asked::name) == 1);  // the first hung before it
  for (HANDLE end : pipe) CloseHandle(end);
  for (HANDLE h : held) CloseHandle(h);
}

TEST_CASE(HandleScanStopsAndLeaksNothing) {
  CHECK(tv::CountSystemHandles() > 50);
  DWORD before = OwnHandleCount();
  RecordQueries(nullptr, nullptr);
  int calls = 0;
  tv::EnumRequest request = {&calls, 0};
  CHECK(!tv::EnumFileHandleEntries(&StopAtFirst, &request));
  CHECK_EQ(calls, 1);
  calls = 0;
  CHECK(!tv::EnumFileHandleEntries(&CancelAtFirst, &request));  // through the search's cancel event
  CHECK(calls >= 1);
  StopRecording();
  CHECK(RecordedCalls() > 0);
  CHECK_EQ(QueryThreadsLeft(), 0);
  Holders none{"c:\\tvtest\\nowhere", {}};
  request.callbackArg = &none;
  for (int i = 0; i < 5; ++i) CHECK(tv::EnumFileHandleEntries(&CollectUnder, &request));
  CHECK_EQ(OwnHandleCount(), before);
  CHECK(none.byProcess.empty());
}
