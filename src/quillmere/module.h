// The Quillmere module's own frame: the values of the call that entered the module last. Every
// layer of the module (system/, search/, page/, tools/) may use it.
#pragma once
#include "frame/plugin.h"

namespace tv {

Frame& QuillmereFrame();

// The installer's extra-parameters record of the module's last call (null before any).
inline extra_parameters* QuillmereExtra() { return static_cast<extra_parameters*>(QuillmereFrame().extra); }

}  // namespace tv
