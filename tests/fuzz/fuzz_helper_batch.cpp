// The companion's blocks come from another process: what is accepted lies inside the bytes, and
// a block without NULs in its texts is written again byte for byte.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "quillmere/system/helper_batch.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  tv::HelperBatchReader reader;
  if (!reader.Open(data, size)) return 0;
  static auto writer = std::make_unique<tv::HelperBatchWriter>();
  writer->Clear();
  bool plain = true;
  std::size_t used = tv::kHelperHeaderBytes;
  tv::HelperRecord r;
  while (reader.Next(&r)) {
    char16_t text[3][tv::kHelperPathChars];
    for (int t = 0; t < 3; ++t) {
      if (r.length[t] >= tv::kHelperPathChars) __builtin_trap();
      if (r.text[t] < data || r.text[t] + 2 * r.length[t] > data + size) __builtin_trap();
      tv::CopyHelperText(r, t, text[t]);
      for (std::uint16_t i = 0; i < r.length[t]; ++i) plain = plain && text[t][i] != 0;
      used += 2u * r.length[t];
    }
    used += tv::kHelperRecordBytes;
    if (!writer->Add(r.processId, r.position, r.window, text[0], text[1], text[2])) __builtin_trap();
  }
  if (used != size) __builtin_trap();
  const unsigned char* again = writer->Finish(reader.Flags(), reader.Walked(), reader.Total());
  if (plain && (writer->size() != size || std::memcmp(again, data, size) != 0)) __builtin_trap();
  return 0;
}
