// The plug-in's memory (memory.h), in the plug-in and in its companion.
#include <windows.h>

#include "frame/memory.h"

namespace tv {

void* StackAlloc(std::size_t bytes) { return GlobalAlloc(GPTR, bytes); }

void StackFree(void* block) {
  if (block != nullptr) GlobalFree(block);
}

void WipeMemory(void* block, std::size_t bytes) {
  if (block != nullptr) SecureZeroMemory(block, bytes);
}

}  // namespace tv
