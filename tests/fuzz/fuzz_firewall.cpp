// The firewall's words and the whole-or-nothing copy: inside the buffer, the whole text or none.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "firewall/fw_words.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<char16_t> text;
  for (std::size_t i = 0; i + 1 < size; i += 2) text.push_back(static_cast<char16_t>(data[i] | data[i + 1] << 8));
  text.push_back(0);
  std::int32_t p = tv::ApplicationProtocol(text.data()) + tv::PortProtocol(text.data());
  if (p < 12 || p > 273) __builtin_trap();

  std::vector<char16_t> out(size % 64 + 1);
  bool whole = tv::CopyWhole(out.data(), out.size(), text.data());
  std::size_t n = tv::Length(out.data());
  if (whole ? n != tv::Length(text.data()) : n != 0) __builtin_trap();
  return 0;
}
