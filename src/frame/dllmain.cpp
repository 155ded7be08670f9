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

}  // namespace tv

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD, LPVOID) {
  tv::g_instance = instance;
  return TRUE;
}

// Empties the stack and leaves "success" alone on it.
TARVOLK_EXPORT(Unload, tv::SystemFrame()) {
  if (frame.stacktop == nullptr) return;
  frame.clearstack();
  frame.pushword("success");
}
