// Entry point, the script calls, and Unload.
#include "plugin.h"

namespace tv {

HINSTANCE g_instance = nullptr;

Frame& SystemFrame() {
  static Frame frame;
  return frame;
}

namespace {

bool g_registered = false;
void (*g_atUnload[4])() = {};

UINT_PTR UnloadCallback(NSPIM message) {
  if (message == NSPIM_UNLOAD)
    for (auto release : g_atUnload)
      if (release != nullptr) release();
  return 0;
}

}  // namespace

void AtUnload(void (*release)()) {
  for (auto& slot : g_atUnload)
    if (slot == nullptr || slot == release) {
      slot = release;
      return;
    }
}

void RegisterUnloadCallback(extra_parameters* extra) {
  if (g_registered || extra == nullptr || extra->RegisterPluginCallback == nullptr) return;
  extra->RegisterPluginCallback(g_instance, &UnloadCallback);
  g_registered = true;
}


void KeepModuleLoaded() {
  HMODULE pinned = nullptr;
  GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                     reinterpret_cast<LPCSTR>(&UnloadCallback), &pinned);
}

void RunExport(HWND hwndParent, int string_size, tchar* variables, stack_t** stacktop, extra_parameters* extra,
               Frame& (*module)(), void (*body)(Frame&)) {
  Frame& frame = module();
  frame.Keep(hwndParent, string_size, variables, stacktop, extra);
  RegisterUnloadCallback(extra);
  body(frame);
}

int RunScriptFunction(extra_parameters* extra, int functionIndex, HWND parent) {
  if (extra == nullptr || extra->ExecuteCodeSegment == nullptr) return 1;
  RegisterUnloadCallback(extra);
  if (!g_registered) KeepModuleLoaded();
  return extra->ExecuteCodeSegment(functionIndex, parent);
}

bool CallScriptFunction(Frame& frame, int functionIndex, const tchar* const* texts, std::size_t count, Arg* answer) {
  if (frame.stacktop == nullptr) return false;
  StackMark mark(frame);
  for (std::size_t i = 0; i < count; ++i) frame.pushstring(texts[i]);
  bool ran = RunScriptFunction(static_cast<extra_parameters*>(frame.extra), functionIndex,
                               static_cast<HWND>(frame.hwndParent)) == 0;
  std::size_t kept = mark.Kept(frame);
  std::size_t depth = frame.Depth();
  bool answered = ran && (answer == nullptr || (depth > kept && PopArg(frame, *answer)));
  for (depth = frame.Depth(); depth > kept; --depth) {
    tchar ignored[1];
    frame.popstring(ignored, 1);
  }
  return answered;
}

}  // namespace tv

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD, LPVOID) {
  tv::g_instance = instance;
  return TRUE;
}

// Empties the stack and leaves "success" alone on it.
TARVOLK_EXPORT(Unload, tv::SystemFrame) {
  if (frame.stacktop == nullptr) return;
  frame.clearstack();
  frame.pushword("success");
}
