// The Quillmere module's own frame: the values of the call that entered the module last, and
// what the installer's unload notification releases.
#pragma once
#include "frame/plugin.h"

namespace tv {

Frame& QuillmereFrame();

// The installer's extra-parameters record of the module's last call (null before any).
inline extra_parameters* QuillmereExtra() { return static_cast<extra_parameters*>(QuillmereFrame().extra); }

// Releases what the module holds; run by the installer's unload notification.
void ReleaseQuillmereState();

}  // namespace tv
