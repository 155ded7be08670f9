// Stack entries and buffers on the C heap for the native tests (the plug-in uses GlobalAlloc).
#include <cstdlib>

#include "frame/memory.h"

namespace tv {

int g_failNextAllocs = 0;      // tests set this to see how a failed allocation is met
int g_failAfterAllocs = -1;    // when not negative: that many allocations succeed, then all fail

void* StackAlloc(std::size_t bytes) {
  if (g_failNextAllocs > 0) {
    --g_failNextAllocs;
    return nullptr;
  }
  if (g_failAfterAllocs == 0) return nullptr;
  if (g_failAfterAllocs > 0) --g_failAfterAllocs;
  return std::calloc(1, bytes);
}

void StackFree(void* block) { std::free(block); }

void WipeMemory(void* block, std::size_t bytes) {
  if (block == nullptr) return;
  for (volatile unsigned char* p = static_cast<unsigned char*>(block); bytes > 0; --bytes) *p++ = 0;
}

}  // namespace tv
