// Fuzzes the list editing of the settings exports: the environment list edits and the
// multi-string walk and append must stay inside their data and keep the list closed.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "settings/env_list.h"
#include "settings/multi_string.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::size_t split = size == 0 ? 0 : data[0] % (size + 1);
  std::string list(reinterpret_cast<const char*>(data), split);
  std::string value(reinterpret_cast<const char*>(data) + split, size - split);
  std::string out;
  tv::AddItem(list, value, &out);
  tv::ListEdit e = tv::RemoveItem(list, value, &out);
  if (e == tv::ListEdit::kWrite && out.size() >= list.size()) __builtin_trap();

  // Exact-size copies, so any read past the data is caught.
  std::vector<char> old(list.begin(), list.end());
  std::vector<char> item(value.begin(), value.end());
  tv::ListHolds(old.data(), old.size(), item.data(), item.size());
  std::vector<char> appended = tv::AppendToList(old.data(), old.size(), item.data(), item.size());
  if (appended.size() < 2 || appended[appended.size() - 1] != 0 || appended[appended.size() - 2] != 0)
    __builtin_trap();
  return 0;
}
