#include "quillmere/system/helper_batch.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <tuple>
#include <vector>

namespace {

using tv::HelperBatchReader;
using tv::HelperBatchWriter;
using tv::HelperRecord;

struct Row {
  std::uint32_t processId, position;
  std::uint64_t window;
  std::u16string item, display, image;
  bool operator==(const Row& o) const {
    return std::tie(processId, position, window, item, display, image) ==
           std::tie(o.processId, o.position, o.window, o.item, o.display, o.image);
  }
};

std::u16string Text(const HelperRecord& r, int which) {
  char16_t out[tv::kHelperPathChars];
  tv::CopyHelperText(r, which, out);
  return out;
}

std::vector<Row> ReadAll(HelperBatchReader& reader) {
  std::vector<Row> rows;
  HelperRecord r;
  while (reader.Next(&r)) rows.push_back({r.processId, r.position, r.window, Text(r, 0), Text(r, 1), Text(r, 2)});
  return rows;
}

std::vector<unsigned char> Block(HelperBatchWriter& writer, std::uint32_t flags, std::uint32_t walked) {
  const unsigned char* data = writer.Finish(flags, walked, 77);
  return std::vector<unsigned char>(data, data + writer.size());
}

// Each malformed copy in a buffer of exactly its size, so ASan sees reads past it.
bool Opens(const std::vector<unsigned char>& bytes) {
  std::unique_ptr<unsigned char[]> exact(new unsigned char[bytes.size() + 1]);
  std::copy(bytes.begin(), bytes.end(), exact.get());
  HelperBatchReader reader;
  bool opened = reader.Open(exact.get(), bytes.size());
  HelperRecord r;
  if (!opened && reader.Next(&r)) ADD_FAILURE() << "a refused block handed out a record";
  return opened;
}

TEST(HelperBatch, RecordsComeBackAsWrittenAndLongTextsAreCut) {
  auto writer = std::make_unique<HelperBatchWriter>();
  std::u16string longest(259, u'x'), tooLong(300, u'y');
  const Row rows[] = {
      {4321, 1, 0xFFFFFFFF00012345ull, u"C:\\App\\caf\u00e9.exe", u"Caf\u00e9", u"C:\\App\\caf\u00e9.exe"},
      {4321, 1, 0, u"C:\\App\\lib.dll", u"", u"C:\\App\\caf\u00e9.exe"},
      {0xFFFFFFFFu, 0xFFFFFFFFu, ~0ull, longest, tooLong, u""},
  };
  for (const Row& r : rows)
    ASSERT_TRUE(writer->Add(r.processId, r.position, r.window, r.item.c_str(), r.display.c_str(), r.image.c_str()));
  std::vector<unsigned char> bytes = Block(*writer, tv::kHelperBatchLast, 3);
  HelperBatchReader reader;
  ASSERT_TRUE(reader.Open(bytes.data(), bytes.size()));
  EXPECT_EQ(reader.Flags(), tv::kHelperBatchLast);
  EXPECT_EQ(reader.Walked(), 3u);
  EXPECT_EQ(reader.Total(), 77u);
  EXPECT_EQ(reader.Count(), 3u);
  std::vector<Row> expected(std::begin(rows), std::end(rows));
  expected[2].display.resize(259);  // cut to fit kHelperPathChars with its NUL
  EXPECT_EQ(ReadAll(reader), expected);

  // An empty block (the end of a walk that found nothing more) is well-formed.
  writer->Clear();
  bytes = Block(*writer, 0, 0);
  EXPECT_EQ(bytes.size(), tv::kHelperHeaderBytes);
  EXPECT_TRUE(Opens(bytes));
}

TEST(HelperBatch, AFullBlockRefusesTheNextRecordAndStaysReadable) {
  auto writer = std::make_unique<HelperBatchWriter>();
  std::u16string path(259, u'p');
  std::uint32_t added = 0;
  while (writer->Add(added, added, 0, path.c_str(), path.c_str(), path.c_str())) ++added;
  EXPECT_GT(added, 1u);
  EXPECT_EQ(writer->Count(), added);
  std::vector<unsigned char> bytes = Block(*writer, 0, added);
  EXPECT_LE(bytes.size(), tv::kHelperBatchBytes);
  // A short record still fits where a long one did not.
  EXPECT_TRUE(writer->Add(1u, 1u, 0, u"a", u"", u""));
  HelperBatchReader reader;
  ASSERT_TRUE(reader.Open(bytes.data(), bytes.size()));
  std::vector<Row> back = ReadAll(reader);
  ASSERT_EQ(back.size(), added);
  EXPECT_EQ(back.back().processId, added - 1);
  EXPECT_EQ(back.back().image, path);
}

TEST(HelperBatch, MalformedBlocksAreRefusedWhole) {
  auto writer = std::make_unique<HelperBatchWriter>();
  ASSERT_TRUE(writer->Add(10u, 1u, 0, u"C:\\a.exe", u"A", u"C:\\a.exe"));
  ASSERT_TRUE(writer->Add(10u, 1u, 0, u"C:\\b.dll", u"A", u"C:\\a.exe"));
  const std::vector<unsigned char> good = Block(*writer, 0, 1);
  ASSERT_TRUE(Opens(good));
  // Cut anywhere: short header, short fixed part, short text.
  for (std::size_t size = 0; size < good.size(); ++size)
    EXPECT_FALSE(Opens(std::vector<unsigned char>(good.begin(), good.begin() + size))) << "cut to " << size;
  auto with = [&](std::size_t at, unsigned char value) {
    std::vector<unsigned char> b = good;
    b[at] = value;
    return b;
  };
  const std::size_t first = tv::kHelperHeaderBytes;
  EXPECT_FALSE(Opens(with(0, 1)));   // version 1 (the one-record messages)
  EXPECT_FALSE(Opens(with(3, 0x80)));  // another version
  EXPECT_FALSE(Opens(with(4, 2)));   // a flag this version does not know
  EXPECT_FALSE(Opens(with(16, 3)));  // more records than the block holds
  EXPECT_FALSE(Opens(with(16, 1)));  // fewer: bytes after the last record
  EXPECT_FALSE(Opens(with(19, 0x10)));  // a count beyond any block
  EXPECT_FALSE(Opens(with(first + 16, 9)));  // a text longer than the block holds
  EXPECT_FALSE(Opens(with(first + 22, 1)));  // the reserved word
  // A text of kHelperPathChars characters, with every length adding up: refused all the same.
  writer->Clear();
  std::u16string longest(259, u'x');
  ASSERT_TRUE(writer->Add(10u, 1u, 0, longest.c_str(), u"", u"z"));
  std::vector<unsigned char> limit = Block(*writer, 0, 1);
  ASSERT_TRUE(Opens(limit));
  limit[first + 16] = 260 & 0xFF;
  limit[first + 17] = 260 >> 8;
  limit[first + 20] = 0;
  EXPECT_FALSE(Opens(limit));
  std::vector<unsigned char> trailing = good;
  trailing.push_back(0);
  EXPECT_FALSE(Opens(trailing));
  std::vector<unsigned char> huge(tv::kHelperBatchBytes + 2, 0);
  std::copy(good.begin(), good.end(), huge.begin());
  EXPECT_FALSE(Opens(huge));
  HelperBatchReader reader;
  EXPECT_FALSE(reader.Open(nullptr, good.size()));
}

}  // namespace
