// Where stack entries, argument buffers and the plug-in's own buffers (buffer.h) come from.
// The installer frees the entries we push with GlobalFree and hands us entries taken with
// GlobalAlloc, so the plug-in's definition uses GlobalAlloc(GPTR) and GlobalFree; the native unit
// tests link a heap definition instead.
#pragma once
#include <cstddef>

namespace tv {

void* StackAlloc(std::size_t bytes);  // zero-filled; null when no memory is left
void StackFree(void* block);          // null is ignored
// Overwrites a block that held a secret (a password) with zeros in a way the compiler may not
// drop as a store that is never read.
void WipeMemory(void* block, std::size_t bytes);

}  // namespace tv
