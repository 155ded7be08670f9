// Loads one plug-in variant as the installer does and runs the cases. dll= variant= service=
#include "harness.h"

#include <algorithm>

Plugin& Dll() {
  static Plugin plugin(Arg("dll"));
  return plugin;
}

std::vector<std::string> CallExport(const char* name, const std::vector<std::string>& pushed, Stack* stack,
                                    HWND parent) {
  Stack own;
  Stack& s = stack ? *stack : own;
  s.PushAll(pushed);
  Dll().Call(name, &s, parent);
  std::vector<std::string> left = s.TopFirst();
  s.Clear();
  return left;
}

std::string WindowText(HWND window) {
  TChar text[1024] = {};
  TV_W(GetWindowText)(window, text, 1024);
  return Narrow(text);
}

ImportDouble::ImportDouble(const char* dll, const char* function, void* replacement)
    : dll_(dll), function_(function), original_(PatchImport(Dll().Module(), dll, function, replacement)) {
  CHECK(original_ != nullptr);
}

ImportDouble::~ImportDouble() {
  if (original_) PatchImport(Dll().Module(), dll_, function_, original_);
}

namespace {

std::string g_secrets[2];  // its bytes in the stack's width and in UTF-16
void* g_globalFree = nullptr;

HGLOBAL WINAPI WatchingGlobalFree(HGLOBAL block) {
  const char* p = static_cast<const char*>(block);
  const char* end = p + (p != nullptr ? GlobalSize(block) : 0);
  ++FreedBlocksWatch::freed;
  for (const std::string& secret : g_secrets)
    if (std::search(p, end, secret.begin(), secret.end()) != end) ++FreedBlocksWatch::holding;
  return reinterpret_cast<HGLOBAL(WINAPI*)(HGLOBAL)>(g_globalFree)(block);
}

std::atomic<HWND> g_page{nullptr};

INT_PTR CALLBACK StandInProcedure(HWND, UINT message, WPARAM wParam, LPARAM) {
  if (message == kNotifyCustomReady) g_page = reinterpret_cast<HWND>(wParam);
  if (message == kNotifyOuterNext) ++StandIn::leaves;
  return 0;  // a custom page: the installer waits for the plug-in to leave it
}

struct Look {
  HWND parent;
  std::function<void(HWND, HWND)> look;
  int leavesBefore;
};

DWORD WINAPI LookAtPage(void* p) {
  auto* job = static_cast<Look*>(p);
  for (int i = 0; i < 1000 && g_page.load() == nullptr; ++i) Sleep(10);
  HWND page = g_page.load();
  CHECK(page != nullptr);
  if (page != nullptr && job->look) job->look(job->parent, page);
  // Not left yet: Back. Once the installer was told, a message would wait for and end the next page.
  if (page != nullptr && StandIn::leaves.load() == job->leavesBefore) {
    DWORD_PTR answer;
    SendMessageTimeoutA(job->parent, kNotifyOuterNext, static_cast<WPARAM>(-1), 0, SMTO_NORMAL, 5000, &answer);
  }
  return 0;
}

}  // namespace

FreedBlocksWatch::FreedBlocksWatch(const std::string& secret)
    : patch_("KERNEL32.dll", "GlobalFree", reinterpret_cast<void*>(&WatchingGlobalFree)) {
  TString t = T(secret);
  std::wstring w(secret.begin(), secret.end());  // an ASCII secret
  g_secrets[0].assign(reinterpret_cast<const char*>(t.data()), t.size() * sizeof(TChar));
  g_secrets[1].assign(reinterpret_cast<const char*>(w.data()), w.size() * sizeof(wchar_t));
  holding = freed = 0;
  g_globalFree = patch_.Original();
}

int FreedBlocksWatch::holding = 0, FreedBlocksWatch::freed = 0;

std::atomic<int> StandIn::leaves{0};

StandIn::StandIn(int areaWidth) {
  hwnd = TV_W(CreateWindowEx)(0, T("#32770").c_str(), nullptr, WS_OVERLAPPEDWINDOW, 0, 0, areaWidth + 80, 400,
                              nullptr, nullptr, nullptr, nullptr);
  TV_W(SetWindowLongPtr)(hwnd, DWLP_DLGPROC, reinterpret_cast<LONG_PTR>(&StandInProcedure));
  TV_W(CreateWindowEx)(0, T("Static").c_str(), nullptr, WS_CHILD, 20, 30, areaWidth, 250, hwnd,
                       reinterpret_cast<HMENU>(1018), nullptr, nullptr);
  for (int id : {1, 2, 3})
    TV_W(CreateWindowEx)(0, T("Button").c_str(), nullptr, WS_CHILD | (id == 1 ? WS_DISABLED : 0), 100 * id, 320, 80,
                         25, hwnd, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr, nullptr);
}

StandIn::~StandIn() { DestroyWindow(hwnd); }

void StandIn::WithPage(const char* name, Stack& stack, std::function<void(HWND, HWND)> look) {
  Look job{hwnd, std::move(look), leaves.load()};
  g_page = nullptr;
  HANDLE looker = CreateThread(nullptr, 0, &LookAtPage, &job, 0, nullptr);
  Dll().Call(name, &stack, hwnd);
  WaitForSingleObject(looker, 20000);
  CloseHandle(looker);
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
}

std::string StandIn::Next() {
  int before = leaves;
  SendMessageA(hwnd, kNotifyOuterNext, 1, 0);
  return leaves != before ? "left" : "stayed";
}

bool StandIn::Restored() const {
  return TV_W(GetWindowLongPtr)(hwnd, DWLP_DLGPROC) == reinterpret_cast<LONG_PTR>(&StandInProcedure);
}

HWND StandIn::Page() { return g_page.load(); }

int main(int argc, char** argv) { return RunAll(argc, argv); }
