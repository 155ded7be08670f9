// The parser, the dependency-list rewrite and the account qualification stay inside their buffers.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "services/service_args.h"
#include "frame/numbers.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<char> text(data, data + size);
  text.push_back('\0');
  volatile std::int32_t sink = tv::myatoi(text.data()) ^ tv::myatoi_signed(text.data());
  (void)sink;

  // The rewrite runs on an exact-size copy, so any write past the text's room is caught.
  std::vector<char> deps(text);
  if (!deps.empty()) tv::ToDependencyList(deps.data(), deps.size());

  std::vector<char> out(size % 40 + 1);
  if (tv::QualifyAccount(text.data(), out.data(), out.size()) && tv::Length(out.data()) >= out.size()) __builtin_trap();
  return 0;
}
