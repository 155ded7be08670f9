// The blocks in which the 64-bit companion sends what it lists to the 32-bit plug-in: one
// WM_COPYDATA carries a batch of records, and the answer to it says whether to go on. No Windows
// headers: the layout is pinned byte by byte (little-endian) in every build, the native one
// included, and the reader is unit-tested and fuzzed natively.
//
// A block: a header of five 32-bit words, then `count` records, then nothing.
//   header:  version (kHelperBatchVersion), flags (kHelperBatchLast: the walk ran to its end),
//            walked (processes the walk has reported so far), total (the length of the
//            system's process list), count
//   record:  processId, position (processes reported so far, this one included), window (64 bits),
//            then three 16-bit lengths (item path, display name, image path; each below
//            kHelperPathChars) and a 16-bit 0, then the three texts in UTF-16 without terminators.
// A companion of another version (other version word, other message) is refused whole, as is a
// block with a length that does not fit, a record cut short, or bytes after the last record.
//
// The conversation around the blocks. The plug-in starts the system's 64-bit rundll32 with
// "<plug-in folder>\Quillmere64.dll",EnumSystemProcesses64 and the command line
// "0x<window> <find windows 0/1> <with modules 0/1>", where <window> is the plug-in's hidden
// message window in hexadecimal. The companion sends its blocks there with WM_COPYDATA (dwData
// kHelperBatchMessage), many records each, up to kHelperBatchBytes; the answer to each block is
// nonzero to go on and zero to stop. The last block carries kHelperBatchLast. The plug-in refuses
// every block of a companion of another version and then walks every process itself, as without
// a companion. GetSystemModulesCount64, which earlier plug-ins asked first, sends nothing.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace tv {

constexpr std::uint32_t kHelperPathChars = 260;     // terminator included, as MAX_PATH
constexpr std::uintptr_t kHelperBatchMessage = 0x51363442;  // dwData of a block ("Q64B")
constexpr std::uint32_t kHelperBatchVersion = 2;    // version 1 sent one 1584-byte record per message
constexpr std::uint32_t kHelperBatchLast = 1;       // flag: the walk ran to its end
constexpr std::size_t kHelperBatchBytes = 0x10000;  // the largest block
constexpr std::size_t kHelperHeaderBytes = 20;
constexpr std::size_t kHelperRecordBytes = 24;      // a record without its texts

namespace batch_detail {

// Every build of the plug-in, the companion and the native tests is little-endian: a word is
// copied as it lies, which compiles to one move however the block is aligned.
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "the blocks are little-endian");
template <class T>
T Read(const unsigned char* p) {
  T v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
inline std::uint32_t Read32(const unsigned char* p) { return Read<std::uint32_t>(p); }
inline std::uint16_t Read16(const unsigned char* p) { return Read<std::uint16_t>(p); }
inline void Write32(unsigned char* p, std::uint32_t v) { std::memcpy(p, &v, sizeof v); }
inline void Write16(unsigned char* p, std::uint16_t v) { std::memcpy(p, &v, sizeof v); }

}  // namespace batch_detail

// One record as the reader gives it; the texts point into the block (UTF-16LE, unterminated).
struct HelperRecord {
  std::uint32_t processId;
  std::uint32_t position;
  std::uint64_t window;
  const unsigned char* text[3];  // item path, display name, image path
  std::uint16_t length[3];       // in UTF-16 units
};

// Copies one of a record's texts into out (kHelperPathChars characters), terminated.
template <class C>
void CopyHelperText(const HelperRecord& record, int which, C* out) {
  std::uint16_t n = record.length[which];
  for (std::uint16_t i = 0; i < n; ++i) out[i] = static_cast<C>(batch_detail::Read16(record.text[which] + 2 * i));
  out[n] = C(0);
}

// Builds a block in a buffer of its own.
class HelperBatchWriter {
 public:
  HelperBatchWriter() { Clear(); }

  void Clear() {
    size_ = kHelperHeaderBytes;
    count_ = 0;
  }
  std::uint32_t Count() const { return count_; }

  // Adds a record; false (and nothing added) when the block cannot take it. Each text is read up
  // to its NUL or kHelperPathChars - 1 characters, whichever comes first.
  template <class C>
  bool Add(std::uint32_t processId, std::uint32_t position, std::uint64_t window, const C* item, const C* display,
           const C* image) {
    const C* texts[3] = {item, display, image};
    std::uint16_t lengths[3];
    std::size_t bytes = kHelperRecordBytes;
    for (int t = 0; t < 3; ++t) {
      std::uint16_t n = 0;
      while (n + 1u < kHelperPathChars && texts[t][n] != C(0)) ++n;
      lengths[t] = n;
      bytes += 2u * n;
    }
    if (bytes > kHelperBatchBytes - size_) return false;
    unsigned char* p = block_ + size_;
    batch_detail::Write32(p, processId);
    batch_detail::Write32(p + 4, position);
    batch_detail::Write32(p + 8, static_cast<std::uint32_t>(window));
    batch_detail::Write32(p + 12, static_cast<std::uint32_t>(window >> 32));
    for (int t = 0; t < 3; ++t) batch_detail::Write16(p + 16 + 2 * t, lengths[t]);
    batch_detail::Write16(p + 22, 0);
    p += kHelperRecordBytes;
    for (int t = 0; t < 3; ++t)
      for (std::uint16_t i = 0; i < lengths[t]; ++i, p += 2)
        batch_detail::Write16(p, static_cast<std::uint16_t>(texts[t][i]));
    size_ += bytes;
    ++count_;
    return true;
  }

  // Writes the header; the block is then data()/size() bytes long.
  const unsigned char* Finish(std::uint32_t flags, std::uint32_t walked, std::uint32_t total) {
    batch_detail::Write32(block_, kHelperBatchVersion);
    batch_detail::Write32(block_ + 4, flags);
    batch_detail::Write32(block_ + 8, walked);
    batch_detail::Write32(block_ + 12, total);
    batch_detail::Write32(block_ + 16, count_);
    return block_;
  }
  std::size_t size() const { return size_; }

 private:
  unsigned char block_[kHelperBatchBytes];
  std::size_t size_;
  std::uint32_t count_;
};

// Reads a block that another process sent. Open checks the whole block before a single record
// is handed out, so a malformed block gives none; nothing outside the size given is read.
class HelperBatchReader {
 public:
  // False for anything but a well-formed block of this version.
  bool Open(const void* data, std::size_t size) {
    data_ = static_cast<const unsigned char*>(data);
    next_ = kHelperHeaderBytes;
    read_ = 0;
    if (data_ == nullptr || size < kHelperHeaderBytes || size > kHelperBatchBytes) return Fail();
    if (batch_detail::Read32(data_) != kHelperBatchVersion) return Fail();
    flags_ = batch_detail::Read32(data_ + 4);
    walked_ = batch_detail::Read32(data_ + 8);
    total_ = batch_detail::Read32(data_ + 12);
    count_ = batch_detail::Read32(data_ + 16);
    if ((flags_ & ~kHelperBatchLast) != 0 || count_ > (size - kHelperHeaderBytes) / kHelperRecordBytes) return Fail();
    std::size_t at = kHelperHeaderBytes;
    for (std::uint32_t r = 0; r < count_; ++r) {
      if (size - at < kHelperRecordBytes || batch_detail::Read16(data_ + at + 22) != 0) return Fail();
      std::size_t texts = 0;
      for (int t = 0; t < 3; ++t) {
        std::uint16_t n = batch_detail::Read16(data_ + at + 16 + 2 * t);
        if (n >= kHelperPathChars) return Fail();
        texts += 2u * n;
      }
      at += kHelperRecordBytes;
      if (size - at < texts) return Fail();
      at += texts;
    }
    if (at != size) return Fail();
    return true;
  }

  std::uint32_t Flags() const { return flags_; }
  std::uint32_t Walked() const { return walked_; }
  std::uint32_t Total() const { return total_; }
  std::uint32_t Count() const { return count_; }

  // The next record of an opened block; false after the last one.
  bool Next(HelperRecord* record) {
    if (read_ >= count_) return false;
    const unsigned char* p = data_ + next_;
    record->processId = batch_detail::Read32(p);
    record->position = batch_detail::Read32(p + 4);
    record->window = batch_detail::Read32(p + 8) | std::uint64_t(batch_detail::Read32(p + 12)) << 32;
    const unsigned char* text = p + kHelperRecordBytes;
    for (int t = 0; t < 3; ++t) {
      record->length[t] = batch_detail::Read16(p + 16 + 2 * t);
      record->text[t] = text;
      text += 2u * record->length[t];
    }
    next_ = static_cast<std::size_t>(text - data_);
    ++read_;
    return true;
  }

 private:
  bool Fail() {
    count_ = 0;
    return false;
  }

  const unsigned char* data_ = nullptr;
  std::size_t next_ = 0;
  std::uint32_t read_ = 0;
  std::uint32_t flags_ = 0;
  std::uint32_t walked_ = 0;
  std::uint32_t total_ = 0;
  std::uint32_t count_ = 0;
};

// How a 64-bit program was started, which the companion reads for the 32-bit plug-in: one
// message of its own (dwData kHelperDetailsMessage), five 32-bit words (version, process id, and
// the lengths of the command line, the current folder and the executable's path, in UTF-16 units,
// each below kHelperDetailsChars), then the three texts without terminators. Anything else, in
// size or words, is refused whole.
constexpr std::uintptr_t kHelperDetailsMessage = 0x51363444;  // "Q64D"
constexpr std::uint32_t kHelperDetailsChars = 32768;
constexpr std::size_t kHelperDetailsHeaderBytes = 20;

// Writes the message into out (kHelperDetailsHeaderBytes + 2 * the three lengths bytes, at most
// kHelperBatchBytes; a text that does not fit is left empty); gives its size.
template <class C>
std::size_t WriteHelperDetails(std::uint32_t processId, const C* const (&texts)[3], unsigned char* out) {
  std::uint32_t lengths[3];
  std::size_t size = kHelperDetailsHeaderBytes;
  for (int t = 0; t < 3; ++t) {
    std::uint32_t n = 0;
    while (n + 1 < kHelperDetailsChars && texts[t][n] != C(0)) ++n;
    if (2u * n > kHelperBatchBytes - size) n = 0;
    lengths[t] = n;
    size += 2u * n;
  }
  batch_detail::Write32(out, kHelperBatchVersion);
  batch_detail::Write32(out + 4, processId);
  unsigned char* p = out + kHelperDetailsHeaderBytes;
  for (int t = 0; t < 3; ++t) {
    batch_detail::Write32(out + 8 + 4 * t, lengths[t]);
    for (std::uint32_t i = 0; i < lengths[t]; ++i, p += 2) batch_detail::Write16(p, static_cast<std::uint16_t>(texts[t][i]));
  }
  return size;
}

// Reads such a message for the process asked about: the three texts (pointing into the data, in
// UTF-16LE) and their lengths. False for anything but a well-formed message of this version.
inline bool ReadHelperDetails(const void* data, std::size_t size, std::uint32_t processId,
                              const unsigned char* (&texts)[3], std::uint32_t (&lengths)[3]) {
  const auto* p = static_cast<const unsigned char*>(data);
  if (p == nullptr || size < kHelperDetailsHeaderBytes || size > kHelperBatchBytes) return false;
  if (batch_detail::Read32(p) != kHelperBatchVersion || batch_detail::Read32(p + 4) != processId) return false;
  std::size_t at = kHelperDetailsHeaderBytes;
  for (int t = 0; t < 3; ++t) {
    lengths[t] = batch_detail::Read32(p + 8 + 4 * t);
    if (lengths[t] >= kHelperDetailsChars || 2u * lengths[t] > size - at) return false;
    texts[t] = p + at;
    at += 2u * lengths[t];
  }
  return at == size;
}

}  // namespace tv
