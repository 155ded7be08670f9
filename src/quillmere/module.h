// The Quillmere module's own frame: the values of the call that entered the module last, and
// the one-time registration of its unload callback with the installer.
#pragma once
#include "frame/plugin.h"

namespace tv {

Frame& QuillmereFrame();

// The installer's extra-parameters record of the module's last call (null before any).
inline extra_parameters* QuillmereExtra() { return static_cast<extra_parameters*>(QuillmereFrame().extra); }

// Registers the module's unload callback with the installer on the first state-keeping call
// after the DLL was loaded; later calls do nothing. One flag for every export that keeps state.
void RegisterUnloadOnce();
bool UnloadCallbackRegistered();

// Releases what the module holds; run by the installer's unload notification.
void ReleaseQuillmereState();

}  // namespace tv
