// The settings' list edits stay inside their data and keep the list closed.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "settings/env_list.h"
#include "settings/multi_string.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::size_t split = size == 0 ? 0 : data[0] % (size + 1);
  tv::BasicText<char> list, value, out;
  if (!list.Assign(reinterpret_cast<const char*>(data), split) ||
      !value.Assign(reinterpret_cast<const char*>(data) + split, size - split))
    __builtin_trap();
  tv::EditItems(true, list, value, &out);
  tv::ListEdit e = tv::EditItems(false, list, value, &out);
  if (e == tv::ListEdit::kWrite && out.size() >= list.size()) __builtin_trap();
  tv::HoldsReference(value.c_str());
  tv::RootOf(value.c_str());

  // Exact-size copies, so any read past the data is caught.
  std::vector<char> old(data, data + split);
  std::vector<char> item(data + split, data + size);
  tv::ListHolds(old.data(), old.size(), item.data(), item.size());
  tv::Buffer<char> appended;
  if (!tv::AppendToList(old.data(), old.size(), item.data(), item.size(), &appended) || appended.size() < 2 ||
      appended[appended.size() - 1] != 0 || appended[appended.size() - 2] != 0)
    __builtin_trap();
  return 0;
}
