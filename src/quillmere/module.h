// The Quillmere module's own frame: the values of the call that entered the module last. Every
// layer of the module (system/, search/, page/, tools/) may use it.
#pragma once
#include "frame/plugin.h"

namespace tv {

Frame& QuillmereFrame();

// The installer's extra-parameters record of the module's last call (null before any).
inline extra_parameters* QuillmereExtra() { return static_cast<extra_parameters*>(QuillmereFrame().extra); }

// What the module releases when the installer unloads the plug-in, in this order: the searches
// first (a running search is abandoned and collected, so that nothing acts or adds to the record
// any more; one whose thread will not end keeps all it can reach), then the record of what was
// ended (kept while such a thread lives), then a page that no Show showed.
enum class UnloadStep { searches, record, page };
// Sets the release of one step; called during start-up.
void AtModuleUnload(UnloadStep step, void (*release)());

}  // namespace tv
