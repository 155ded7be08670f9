// The open-file handle scan on victims that hold files and folders open, under Wine's names.
#include <algorithm>
#include <map>
#include <set>

#include "installer.h"
#include "quillmere/handle_scan.h"
#include "victims.h"

namespace {

std::string Text(const tv::tchar* t) { return Narrow(TString(t)); }
std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(tolower(c)); });
  return s;
}
std::string OtherBin() {
#ifdef _WIN64
  return Arg("testbin32");
#else
  return Arg("testbin64");
#endif
}

struct Holders {
  std::string under;                                // lowercased folder
  std::map<DWORD, std::set<std::string>> byProcess;  // lowercased paths under it
  int calls = 0;
};

int CollectUnder(const tv::ProcessEntry* e, void* arg) {
  auto* h = static_cast<Holders*>(arg);
  ++h->calls;
  std::string path = Lower(Text(e->itemPath));
  if (path.compare(0, h->under.size(), h->under) == 0) h->byProcess[e->processId].insert(path);
  return 1;
}

using QueryFn = LONG(WINAPI*)(ULONG, void*, ULONG, ULONG*);
QueryFn g_realQuery;
LONG WINAPI WithoutExtendedTable(ULONG infoClass, void* buffer, ULONG size, ULONG* returned) {
  if (infoClass == 64) return static_cast<LONG>(0xC0000003);  // STATUS_INVALID_INFO_CLASS
  return g_realQuery(infoClass, buffer, size, returned);
}

}  // namespace

TEST_CASE(HandleScanFindsFileAndFolderHolders) {
  // A folder of this run alone: a holder left from an earlier run would rightly be reported.
  std::string folder = TestFolder("handles-" + std::to_string(GetCurrentProcessId()));
  std::string data = folder + "\\data";
  CreateDirectoryA(data.c_str(), nullptr);
  std::string held = data + "\\held.txt", other = data + "\\other.txt", spared = data + "\\spared.txt";
  std::string sub = data + "\\sub";
  CreateDirectoryA(sub.c_str(), nullptr);
  CHECK(WriteFileText(held, "x") && WriteFileText(other, "x") && WriteFileText(spared, "x"));
  Victim own(OwnBin(), "tvvictim.exe", folder, "tvhold", "file=" + held + " dir=" + sub);
  Victim wide(OtherBin(), "tvvictim.exe", folder, "tvhold2", "file=" + other);
  // A holder whose image is named services.exe is never examined.
  Victim service(OwnBin(), "tvvictim.exe", folder, "services.exe", "file=" + spared);
  HANDLE mine = CreateFileA(held.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  CHECK(own.Started());
  CHECK(wide.Started());
  CHECK(service.Started());
  CHECK(mine != INVALID_HANDLE_VALUE);

  Holders found;
  found.under = Lower(data);
  tv::EnumRequest request = {&found, 0};
  CHECK(tv::EnumFileHandleEntries(&CollectUnder, &request));
  std::map<DWORD, std::set<std::string>> expected = {
      {own.Id(), {Lower(held), Lower(sub)}},
      {wide.Id(), {Lower(other)}},
      {GetCurrentProcessId(), {Lower(held)}},  // the scan's own handles, examined in place
  };
  CHECK(found.byProcess == expected);
  for (auto& p : found.byProcess)
    for (auto& path : p.second) std::printf("  held by %lu: %s\n", p.first, path.c_str());

  // Type names are asked once per type index; names take two workers per file handle.
  const tv::HandleScanStats stats = tv::LastHandleScanStats();
  std::printf("  %lu handles examined, %lu type queries, %lu file handles, %lu+%lu threads\n",
              stats.handlesExamined, stats.typeQueries, stats.fileHandles, stats.threadsForTypes,
              stats.threadsForNames);
  CHECK(stats.handlesExamined > 50);
  CHECK(stats.typeQueries < 64 && stats.typeQueries * 4 < stats.handlesExamined);
  CHECK(stats.threadsForTypes == stats.typeQueries);
  CHECK(stats.fileHandles >= 4 && stats.threadsForNames <= 2 * stats.fileHandles);
  CHECK(stats.threadsForNames >= 2 * 4);

  // Where the extended table is refused, the classic one gives the same holders.
  auto& api = const_cast<tv::ProcessApi&>(tv::Api());
  g_realQuery = api.NtQuerySystemInformation;
  api.NtQuerySystemInformation = &WithoutExtendedTable;
  tv::HandleTable classic;
  CHECK(classic.Read() && !classic.Extended() && classic.Count() > 50);
  Holders again;
  again.under = found.under;
  request.callbackArg = &again;
  CHECK(tv::EnumFileHandleEntries(&CollectUnder, &request));
  CHECK(again.byProcess == expected);
  api.NtQuerySystemInformation = g_realQuery;
  tv::HandleTable extended;
  CHECK(extended.Read() && extended.Extended());
  CloseHandle(mine);
}

// Caching the type name by index holds only if an index names one type: check it on every
// handle of this process.
TEST_CASE(TypeIndexNamesOneType) {
  tv::HandleTable table;
  CHECK(table.Read());
  std::map<USHORT, std::wstring> names;
  int checked = 0, conflicts = 0;
  for (DWORD i = 0; i < table.Count(); ++i) {
    tv::SystemHandle row = table.At(i);
    if (row.processId != GetCurrentProcessId()) continue;
    alignas(8) BYTE buffer[1024] = {};
    if (tv::Api().NtQueryObject(reinterpret_cast<HANDLE>(row.handleValue), 2, buffer, sizeof buffer, nullptr) < 0)
      continue;
    struct Counted {
      USHORT length, maximumLength;
      wchar_t* text;
    };
    auto* name = reinterpret_cast<Counted*>(buffer);
    std::wstring type(name->text, name->length / 2);
    auto it = names.find(row.typeIndex);
    if (it == names.end())
      names[row.typeIndex] = type;
    else
      conflicts += it->second != type;
    ++checked;
  }
  CHECK(checked > 5);
  CHECK(names.size() > 2);
  CHECK_EQ(conflicts, 0);
}

namespace {
int StopAtFirst(const tv::ProcessEntry*, void* arg) {
  ++*static_cast<int*>(arg);
  return 0;
}
}  // namespace

TEST_CASE(HandleScanStopsAndLeaksNothing) {
  int calls = 0;
  tv::EnumRequest request = {&calls, 0};
  CHECK(!tv::EnumFileHandleEntries(&StopAtFirst, &request));
  CHECK_EQ(calls, 1);
  CHECK(tv::CountSystemHandles() > 50);
  Holders none;
  none.under = "c:\\tvtest\\nowhere";
  request.callbackArg = &none;
  tv::EnumFileHandleEntries(&CollectUnder, &request);
  DWORD before = 0, after = 0;
  before = OwnHandleCount();
  CHECK(before > 0);
  for (int i = 0; i < 5; ++i) tv::EnumFileHandleEntries(&CollectUnder, &request);
  after = OwnHandleCount();
  CHECK_EQ(after, before);
  CHECK(none.byProcess.empty());
}

// Many scans in a row, for a person looking into the scan while other processes start and end
// (under Wine 8 the scanning process can vanish then); not part of the normal run.
TEST_CASE(HandleScanStress) {
  if (Arg("only") != "HandleScanStress") return;
  Holders none;
  none.under = "c:\\tvtest\\nowhere";
  tv::EnumRequest request = {&none, 0};
  for (int i = 0; i < 40; ++i) {
    CHECK(tv::EnumFileHandleEntries(&CollectUnder, &request));
    std::printf("scan %d killed %lu\n", i, tv::LastHandleScanStats().workersKilled);
    std::fflush(stdout);
  }
}

