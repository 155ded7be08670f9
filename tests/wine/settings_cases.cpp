// ModifyEnvVar's settings-change broadcast, caught by a top-level window of the harness.
#include <string>

#include "harness.h"

namespace {

int g_environmentChanges = 0;

LRESULT CALLBACK Listener(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  // Wine 8 passes a broadcast's text on in the form it was sent (Windows: wide to a W window).
  const auto* text = reinterpret_cast<const TChar*>(lParam);
  if (message == WM_SETTINGCHANGE && wParam == 0 && text != nullptr && Narrow(text) == "Environment")
    ++g_environmentChanges;
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

const char* kEnvironmentKey = "System\\CurrentControlSet\\Control\\Session Manager\\Environment";

}  // namespace

TEST_CASE(ModifyEnvVarBroadcastsOnlyWhenItStores) {
  std::string cls = "TvSettings-listener-" + Arg("variant");
  std::wstring wcls(cls.begin(), cls.end());
  WNDCLASSW wc = {0, Listener, 0, 0, GetModuleHandleA(nullptr), nullptr, nullptr, nullptr, nullptr, wcls.c_str()};
  RegisterClassW(&wc);
  HWND listener = CreateWindowW(wcls.c_str(), L"", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr, wc.hInstance, nullptr);
  CHECK(listener != nullptr);
  std::string name = "TvSettings_broadcast_" + Arg("variant");
  RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, kEnvironmentKey, name.c_str());

  // Stored, present already, deleted (the last item went), absent: told twice.
  for (const char* op : {"add", "add", "rem", "rem"})
    CHECK_STACK(CallExport("ModifyEnvVar", {"A", name, "std", op}), {"success"});
  CHECK_EQ(g_environmentChanges, 2);
  DestroyWindow(listener);

  // Past the system's limit: refused before the environment calls could overrun.
  Stack wide(40000);
  wide.PushAll({"A", std::string(33000, 'N'), "std", "rem"});
  Dll().Call("ModifyEnvVar", &wide);
  CHECK_STACK(wide, {"error"});
}
