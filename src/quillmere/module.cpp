#include "quillmere/module.h"

#include "quillmere/engine.h"
#include "quillmere/search.h"

namespace tv {
namespace {

// The installer's unload notification releases what the module keeps.
const bool g_releaseAtUnload = (AtUnload(&ReleaseQuillmereState), true);

}  // namespace

Frame& QuillmereFrame() {
  static Frame frame;
  return frame;
}

void ReleaseQuillmereState() {
  if (!AbandonSearch()) return;  // a search thread that would not end keeps what it can reach
  ResetSearchState();
  Targets().applicationsWanted = false;
  // A pass that runs later creates the event anew.
  ReleaseSearchCancelEvent();
}

}  // namespace tv
