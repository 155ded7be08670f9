// Entry point, the plug-in's memory for stack entries, and Unload.
#include "plugin.h"

namespace tv {

HINSTANCE g_instance = nullptr;

Frame& SystemFrame() {
  static Frame frame;
  return frame;
}

void* StackAlloc(std::size_t bytes) { return GlobalAlloc(GPTR, bytes); }

void StackFree(void* block) {
  if (block != nullptr) GlobalFree(block);
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
  if (!g_registered) {
    HMODULE pinned = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                       reinterpret_cast<LPCSTR>(&UnloadCallback), &pinned);
  }
  return extra->ExecuteCodeSegment(functionIndex, parent);
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
