// Measures a silent search of the plug-in DLL, driven through its exports as an installer drives
// them (the string stack and ExecuteCodeSegment of tests/wine/installer.h; the script function
// answers "true" to every program). N victims each hold F files open in a folder of their own
// and have a DLL loaded; the search has one module target (the DLL) and one file target (the
// victims' folders). Each round runs four searches in turn: both targets, the module target
// alone, the file target alone, and none (what every search costs: privileges, the service
// list, the thread). A pass's time is its search's less the empty search's; its share is taken
// of the sum of both passes and that fixed cost, round by round. Beside the module search, in the
// same round, runs the bare module loop (module_bare.exe: a 64-bit program that lists every
// process's modules and compares their paths, with none of the plug-in's code), from its start
// to its end; their ratio is what the module search costs beyond listing the modules. Then, with
// the victims still running, the handle-scan benchmark measures its bare loop over the same
// handle table.
// Arguments: dll=TARVOLK.DLL testbin=FOLDER-OF-THE-64-BIT-VICTIM [n=10] [files=20] [rounds=3]
//            [bare=MODULE_BARE.EXE] [scanbench=HANDLE_SCAN_BENCH.EXE scanbin=FOLDER-OF-ITS-VICTIM]
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "installer.h"

namespace {

const char kRoot[] = "C:\\tvsearchbench";

double Now() {
  LARGE_INTEGER f, c;
  QueryPerformanceFrequency(&f);
  QueryPerformanceCounter(&c);
  return double(c.QuadPart) / double(f.QuadPart);
}

struct Search {
  double seconds = 0;
  int offered = 0;  // victims offered to the function
  int others = 0;   // other programs offered
  std::string answer;
};

Stack g_stack;
Plugin* g_plugin = nullptr;
Search* g_current = nullptr;
constexpr int kFunctionAddress = 7;

std::string Lower(std::string s) {
  for (auto& c : s) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
  return s;
}

// The script function: pops the id, the image path and the display name, and goes on.
int OnProgram(HWND) {
  g_stack.Pop();
  std::string image = Lower(g_stack.Pop());
  g_stack.Pop();
  if (image.rfind(Lower(kRoot), 0) == 0) {
    ++g_current->offered;
  } else {
    ++g_current->others;
  }
  g_stack.Push("true");
  return 0;
}

Search RunOne(bool module, bool file, const std::string& dll) {
  Search s;
  g_current = &s;
  double start = Now();
  if (module) {
    g_stack.Push(dll);
    g_plugin->Call("AddModule", &g_stack);
  }
  if (file) {
    g_stack.Push(std::string(kRoot) + "\\v");
    g_plugin->Call("AddFile", &g_stack);
  }
  g_stack.Push(std::to_string(kFunctionAddress));
  g_plugin->Call("SilentSearch", &g_stack);
  s.seconds = Now() - start;
  s.answer = g_stack.Pop();
  g_current = nullptr;
  return s;
}

// Runs the bare module loop for the target; the seconds from its start to its end, and the
// number of processes it found holding the target (-1: it could not run).
double RunBare(const std::string& program, const std::string& target, int* holders) {
  std::string line = "\"" + program + "\" \"" + target + "\"";
  STARTUPINFOA si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi = {};
  *holders = -1;
  double start = Now();
  if (!CreateProcessA(program.c_str(), &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return 0;
  WaitForSingleObject(pi.hProcess, INFINITE);
  double seconds = Now() - start;
  DWORD code = 0;
  if (GetExitCodeProcess(pi.hProcess, &code)) *holders = static_cast<int>(code);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return seconds;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

std::string Value(int argc, char** argv, const char* key, const char* fallback) {
  std::string k = std::string(key) + "=";
  for (int i = 1; i < argc; ++i)
    if (std::string(argv[i]).rfind(k, 0) == 0) return argv[i] + k.size();
  return fallback;
}

}  // namespace

int main(int argc, char** argv) {
  std::string dll = Value(argc, argv, "dll", ""), bin = Value(argc, argv, "testbin", "");
  int n = std::atoi(Value(argc, argv, "n", "10").c_str());
  int files = std::atoi(Value(argc, argv, "files", "20").c_str());
  int rounds = std::max(1, std::atoi(Value(argc, argv, "rounds", "3").c_str()));
  std::string scanBench = Value(argc, argv, "scanbench", ""), scanBin = Value(argc, argv, "scanbin", "");
  std::string bare = Value(argc, argv, "bare", "");
  if (dll.empty() || bin.empty() || n < 1) {
    std::printf("usage: search_bench dll=TARVOLK.DLL testbin=FOLDER [n=10] [files=20] [rounds=3]\n");
    return 2;
  }
  CreateDirectoryA(kRoot, nullptr);
  std::string victim = std::string(kRoot) + "\\tvsearchbench.exe";
  std::string module = std::string(kRoot) + "\\tvsearchbench.dll";
  CopyFileA((bin + "\\tvvictim.exe").c_str(), victim.c_str(), FALSE);
  CopyFileA((bin + "\\mods\\tvmod.dll").c_str(), module.c_str(), FALSE);

  // The victims start side by side; each sets its event when it holds its files and its DLL.
  std::vector<PROCESS_INFORMATION> victims;
  std::vector<HANDLE> events;
  double startVictims = Now();
  for (int i = 0; i < n; ++i) {
    std::string event = "TvSearchBench" + std::to_string(i);
    events.push_back(CreateEventA(nullptr, TRUE, FALSE, event.c_str()));
    std::string line = "\"" + victim + "\" ready=" + event + " dll=" + module + " many=" + kRoot + "\\v" +
                       std::to_string(i) + "," + std::to_string(files);
    CreateDirectoryA((std::string(kRoot) + "\\v" + std::to_string(i)).c_str(), nullptr);
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessA(victim.c_str(), &line[0], nullptr, nullptr, FALSE, 0, nullptr, kRoot, &si, &pi)) {
      std::printf("cannot start victim %d: %lu\n", i, GetLastError());
      return 2;
    }
    victims.push_back(pi);
  }
  bool ready = true;
  for (int i = 0; i < n; ++i) {
    HANDLE both[2] = {events[i], victims[i].hProcess};
    ready = ready && WaitForMultipleObjects(2, both, FALSE, 120000) == WAIT_OBJECT_0;
  }
  std::printf("%d victims (64-bit), each holding %d files and its DLL, ready in %.1f s; plug-in %d-bit %s\n", n,
              files, Now() - startVictims, static_cast<int>(8 * sizeof(void*)),
#ifdef TARVOLK_UNICODE
              "Unicode"
#else
              "ANSI"
#endif
  );
  int status = ready ? 0 : 1;

  if (ready) {
    Plugin plugin(dll);
    g_plugin = &plugin;
    Installer::Get().functions[kFunctionAddress - 1] = &OnProgram;
    std::vector<double> both, modules, filesOnly, none, bareLoop;
    for (int round = 1; round <= rounds; ++round) {
      Search b = RunOne(true, true, module), m = RunOne(true, false, module);
      int holders = 0;
      double bareSeconds = bare.empty() ? 0 : RunBare(bare, module, &holders);
      Search f = RunOne(false, true, module), z = RunOne(false, false, module);
      std::printf("round %d: both %.3f s (%d victims offered, %d others), modules %.3f s (%d), files %.3f s (%d), "
                  "none %.3f s",
                  round, b.seconds, b.offered, b.others, m.seconds, m.offered, f.seconds, f.offered, z.seconds);
      if (!bare.empty()) {
        std::printf(", bare module loop %.3f s (%d)", bareSeconds, holders);
        if (holders != n) status = 1;
        bareLoop.push_back(bareSeconds);
      }
      std::printf("\n");
      for (const Search* s : {&b, &m, &f, &z}) {
        if (s->answer != "done") status = 1;
      }
      // Every victim is found by either target, and offered once.
      if (b.offered != n || m.offered != n || f.offered != n || z.offered != 0) status = 1;
      both.push_back(b.seconds);
      modules.push_back(m.seconds);
      filesOnly.push_back(f.seconds);
      none.push_back(z.seconds);
    }
    // Each round's passes: its single-target searches less its empty one; their shares of the
    // three parts' sum, so that noise between the searches cannot make them pass 100%.
    std::vector<double> moduleShare, fileShare, fixedShare;
    for (int r = 0; r < rounds; ++r) {
      double m = std::max(0.0, modules[r] - none[r]), f = std::max(0.0, filesOnly[r] - none[r]);
      double sum = m + f + none[r];
      moduleShare.push_back(100 * m / sum);
      fileShare.push_back(100 * f / sum);
      fixedShare.push_back(100 * none[r] / sum);
    }
    double tb = Median(both), tm = Median(modules), tf = Median(filesOnly), tz = Median(none);
    std::printf("median of %d rounds: wall time %.3f s (both targets); module pass %.3f s (%.0f%%), "
                "file pass %.3f s (%.0f%%), fixed cost %.3f s (%.0f%%)\n",
                rounds, tb, tm - tz, Median(moduleShare), tf - tz, Median(fileShare), tz, Median(fixedShare));
    if (!bareLoop.empty()) {
      // The whole module search (fixed cost included) against the bare loop (its start included).
      double tl = Median(bareLoop);
      std::printf("module search / bare 64-bit module loop (medians of %d rounds): %.3f s / %.3f s = %.2f\n", rounds,
                  tm, tl, tl > 0 ? tm / tl : 0.0);
    }
    Installer::Get().SendUnload();
  }

  // The bare loop of the handle-scan benchmark over this same handle table.
  if (!scanBench.empty()) {
    std::string line = "\"" + scanBench + "\" testbin=" + scanBin + " n=" + std::to_string(files) +
                       " rounds=" + std::to_string(rounds);
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    std::fflush(stdout);
    if (CreateProcessA(scanBench.c_str(), &line[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi)) {
      WaitForSingleObject(pi.hProcess, INFINITE);
      CloseHandle(pi.hThread);
      CloseHandle(pi.hProcess);
    }
  }
  for (PROCESS_INFORMATION& pi : victims) TerminateProcess(pi.hProcess, 0);
  for (PROCESS_INFORMATION& pi : victims) {
    WaitForSingleObject(pi.hProcess, 5000);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
  }
  return status;
}
