#include "quillmere/module.h"

#include "quillmere/engine.h"

namespace tv {
namespace {

bool g_registered = false;

UINT_PTR UnloadCallback(NSPIM message) {
  if (message == NSPIM_UNLOAD) ReleaseQuillmereState();
  return 0;
}

}  // namespace

Frame& QuillmereFrame() {
  static Frame frame;
  return frame;
}

void RegisterUnloadOnce() {
  if (g_registered) return;
  extra_parameters* extra = QuillmereExtra();
  if (extra == nullptr || extra->RegisterPluginCallback == nullptr) return;  // try again next call
  extra->RegisterPluginCallback(g_instance, &UnloadCallback);
  g_registered = true;
}

bool UnloadCallbackRegistered() { return g_registered; }

void ReleaseQuillmereState() {
  // A pass that runs later creates the event anew.
  ReleaseSearchCancelEvent();
}

}  // namespace tv
