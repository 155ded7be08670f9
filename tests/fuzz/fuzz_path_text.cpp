// The path rewrites stay inside their buffers and always leave a terminated result.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "quillmere/system/path_text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  std::size_t split = data[0] % size;
  std::string target(reinterpret_cast<const char*>(data) + 1, split > 0 ? split - 1 : 0);
  std::vector<char> device(data + split, data + size);
  device.push_back('\0');
  std::vector<char> out(data[1] % 64 + 1, '#');
  bool ok = tv::MapDevicePath(device.data(), out.data(), out.size(), [&](char letter, char* t, std::size_t capacity) {
    if (letter != 'C' && letter != 'Z') return false;
    std::size_t n = target.size() < capacity ? target.size() : capacity;
    for (std::size_t i = 0; i < n; ++i) t[i] = target[i] ? target[i] : 'x';
    t[n] = '\0';
    return true;
  });
  if (ok && tv::Length(out.data()) >= out.size()) __builtin_trap();
  std::vector<char> name(out.size());
  tv::FileNameFromPath(device.data(), device.size(), name.data(), name.size());
  std::size_t formLength = tv::LongPathForm(device.data(), out.data(), out.size());
  if (formLength < out.size() && tv::Length(out.data()) != formLength) __builtin_trap();
  tv::ForEachListedProcessId(device.data(), [](std::uint32_t id) { if (id == 0) __builtin_trap(); });
  return 0;
}
