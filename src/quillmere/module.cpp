#include "quillmere/module.h"

namespace tv {

Frame& QuillmereFrame() {
  static Frame frame;
  return frame;
}

namespace {

void (*g_unloadSteps[3])() = {};

void ReleaseModule() {
  for (auto release : g_unloadSteps)
    if (release != nullptr) release();
}

}  // namespace

void AtModuleUnload(UnloadStep step, void (*release)()) {
  g_unloadSteps[static_cast<int>(step)] = release;
  AtUnload(&ReleaseModule);  // once: a function registered again keeps its slot
}

}  // namespace tv
