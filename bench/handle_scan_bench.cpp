// Measures the open-file handle scan: a victim holds N files open in one folder, and the scan
// looks for the holders of that folder, as searches run it (every query in the pass's worker
// thread, each limited to 200 ms) and as a bare loop (the handle table, the type filter by type
// index and the name query of every "File" handle, on the calling thread, with no worker, no
// device query, no image paths and no display names), the two in turns for a number of rounds.
// It reports the workers terminated at the limit over all rounds.
// Arguments: testbin=FOLDER-OF-THE-VICTIM [n=2000] [rounds=3]
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "frame/plugin.h"
#include "quillmere/system/handle_scan.h"
#include "quillmere/system/path_text.h"
#include <winternl.h>

namespace {

struct Holders {
  std::wstring folder;
  DWORD files = 0;
};

int CountUnder(const tv::ProcessEntry* e, void* arg) {
  auto* h = static_cast<Holders*>(arg);
  std::wstring path(e->itemPath, e->itemPath + tv::Length(e->itemPath));
  for (auto& c : path) c = static_cast<wchar_t>(towlower(c));
  if (path.compare(0, h->folder.size(), h->folder) == 0) ++h->files;
  return 1;
}

double Seconds(LARGE_INTEGER a, LARGE_INTEGER b) {
  LARGE_INTEGER f;
  QueryPerformanceFrequency(&f);
  return double(b.QuadPart - a.QuadPart) / double(f.QuadPart);
}

struct Result {
  double seconds;
  DWORD rows, found;
  tv::HandleScanStats stats;
};

Result MeasureScan(const std::wstring& folder) {
  Holders h{folder};
  tv::EnumRequest request = {&h, 0};
  LARGE_INTEGER a, b;
  QueryPerformanceCounter(&a);
  tv::EnumFileHandleEntries(&CountUnder, &request);
  QueryPerformanceCounter(&b);
  return {Seconds(a, b), tv::CountSystemHandles(), h.files, tv::LastHandleScanStats()};
}

// The bare loop: everything on this thread, one process handle per process.
Result MeasureBare(const std::wstring& folder) {
  Result r = {};
  LARGE_INTEGER a, b;
  QueryPerformanceCounter(&a);
  tv::HandleTable table;
  if (!table.Read()) return r;
  static signed char verdicts[0x10000];  // 0 unknown, 1 file, -1 other
  DWORD lastId = 0xFFFFFFFFu;
  HANDLE process = nullptr;
  alignas(8) static BYTE buffer[1024];
  for (DWORD i = 0; i < table.Count(); ++i) {
    tv::SystemHandle row = table.At(i);
    if (row.processId != lastId) {
      if (process) CloseHandle(process);
      process = OpenProcess(PROCESS_DUP_HANDLE, FALSE, row.processId);
      lastId = row.processId;
    }
    ++r.stats.handlesExamined;
    HANDLE h = nullptr;
    if (row.processId == GetCurrentProcessId()) {
      h = reinterpret_cast<HANDLE>(row.handleValue);
    } else if (!process || !DuplicateHandle(process, reinterpret_cast<HANDLE>(row.handleValue), GetCurrentProcess(),
                                            &h, 0, FALSE, DUPLICATE_SAME_ACCESS)) {
      continue;
    }
    if (verdicts[row.typeIndex] == 0) {
      ++r.stats.typeQueries;
      if (tv::Api().NtQueryObject(h, 2, buffer, sizeof buffer, nullptr) >= 0) {
        auto* name = reinterpret_cast<UNICODE_STRING*>(buffer);
        std::wstring type(name->Buffer, name->Length / 2);
        verdicts[row.typeIndex] = type == L"File" ? 1 : -1;
      }
    }
    if (verdicts[row.typeIndex] == 1) {
      ++r.stats.fileHandles;
      if (tv::Api().NtQueryObject(h, 1, buffer, sizeof buffer, nullptr) >= 0) {
        auto* name = reinterpret_cast<UNICODE_STRING*>(buffer);
        std::wstring path(name->Buffer, name->Length / 2);
        for (auto& c : path) c = static_cast<wchar_t>(towlower(c));
        if (path.size() > 4 && path.compare(4, folder.size(), folder) == 0) ++r.found;  // after Wine's "\\??\\"
      }
    }
    if (row.processId != GetCurrentProcessId()) CloseHandle(h);
  }
  if (process) CloseHandle(process);
  QueryPerformanceCounter(&b);
  r.seconds = Seconds(a, b);
  r.rows = table.Count();
  return r;
}

Result Median(std::vector<Result> results) {
  std::sort(results.begin(), results.end(), [](const Result& a, const Result& b) { return a.seconds < b.seconds; });
  return results[results.size() / 2];
}

void Print(const char* name, const Result& r) {
  std::printf("%-30s %8.3f s  %6lu rows  %9.0f handles/s  %5lu held files found\n", name, r.seconds, r.rows,
              r.rows / r.seconds, r.found);
}

}  // namespace

int main(int argc, char** argv) {
  std::string bin;
  int n = 2000, rounds = 3;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a.rfind("testbin=", 0) == 0) bin = a.substr(8);
    if (a.rfind("n=", 0) == 0) n = std::atoi(a.c_str() + 2);
    if (a.rfind("rounds=", 0) == 0) rounds = std::atoi(a.c_str() + 7);
  }
  if (rounds < 1) rounds = 1;
  CreateDirectoryA("C:\\tvbench", nullptr);
  CreateDirectoryA("C:\\tvbench\\files", nullptr);
  std::string victim = "C:\\tvbench\\tvbench.exe";
  CopyFileA((bin + "\\tvvictim.exe").c_str(), victim.c_str(), FALSE);
  HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, "TvBenchReady");
  std::string line = "\"" + victim + "\" ready=TvBenchReady many=C:\\tvbench\\files," + std::to_string(n);
  STARTUPINFOA si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi = {};
  if (!CreateProcessA(victim.c_str(), &line[0], nullptr, nullptr, FALSE, 0, nullptr, "C:\\tvbench", &si, &pi)) {
    std::printf("cannot start the victim: %lu\n", GetLastError());
    return 2;
  }
  HANDLE both[2] = {ready, pi.hProcess};
  if (WaitForMultipleObjects(2, both, FALSE, 120000) != WAIT_OBJECT_0) {
    std::printf("the victim did not get ready\n");
    return 2;
  }
  std::printf("victim %lu holds %d files open under C:\\tvbench\\files (%s, %d-bit)\n", pi.dwProcessId, n,
#ifdef TARVOLK_UNICODE
              "UTF-16",
#else
              "ANSI",
#endif
              static_cast<int>(8 * sizeof(void*)));
  std::wstring folder = L"c:\\tvbench\\files\\";
  // Other programs share the machine: the two take turns, and each is judged by its median round.
  std::vector<Result> scans, bares;
  DWORD killed = 0, started = 0;
  for (int round = 1; round <= rounds; ++round) {
    scans.push_back(MeasureScan(folder));
    bares.push_back(MeasureBare(folder));
    killed += scans.back().stats.workersKilled;
    started += scans.back().stats.workersStarted;
    std::printf("round %d: scan %.3f s, bare loop %.3f s, %lu workers terminated\n", round, scans.back().seconds,
                bares.back().seconds, scans.back().stats.workersKilled);
  }
  Result workers = Median(scans), bare = Median(bares);
  Print("scan (worker, 200 ms limit)", workers);
  Print("bare loop (no threads)", bare);
  const tv::HandleScanStats& s = workers.stats;
  DWORD nonFile = s.handlesExamined - s.fileHandles;
  std::printf("speed ratio bare/scan (medians of %d rounds): %.1f\n", rounds,
              (bare.rows / bare.seconds) / (workers.rows / workers.seconds));
  std::printf("file handles %lu (%lu on a disk, asked their name), other handles %lu; %lu type names asked (%lu of "
              "other types)\n",
              s.fileHandles, s.diskFiles, nonFile, s.typeQueries, s.otherTypes);
  std::printf("threads per file handle: %.4f (%lu worker threads for %lu file handles, %lu killed at 200 ms)\n",
              s.fileHandles ? double(s.workersStarted) / s.fileHandles : 0.0, s.workersStarted, s.fileHandles,
              s.workersKilled);
  std::printf("threads per handle examined: %.4f (%lu handles, in %lu orders to the worker)\n",
              s.handlesExamined ? double(s.workersStarted) / s.handlesExamined : 0.0, s.handlesExamined, s.orders);
  std::printf("workers terminated at the 200 ms limit: %lu in %d scans (%lu worker threads started)\n", killed, rounds,
              started);
  TerminateProcess(pi.hProcess, 0);
  WaitForSingleObject(pi.hProcess, 5000);
  bool allFound = true;
  for (int r = 0; r < rounds; ++r)
    allFound = allFound && scans[r].found >= static_cast<DWORD>(n) && bares[r].found == scans[r].found;
  return allFound ? 0 : 1;
}
