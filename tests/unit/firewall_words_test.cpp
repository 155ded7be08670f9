#include "firewall/fw_words.h"

#include <gtest/gtest.h>

#include <string>

#include "widths.h"

namespace {

// Protocol words are compared exactly, in both widths of stack text.
TEST(FirewallWords, ProtocolWords) {
  struct Case {
    const char* word;
    std::int32_t application, port;
  };
  const Case cases[] = {{"TCP", 6, 6}, {"UDP", 17, 17}, {"tcp", 256, 6}, {"UD", 256, 6}, {"UDPX", 256, 6}, {"", 256, 6}};
  for (const Case& c : cases) {
    EXPECT_EQ(tv::ApplicationProtocol(c.word), c.application) << c.word;
    EXPECT_EQ(tv::ApplicationProtocol(W<char16_t>(c.word).c_str()), c.application) << c.word;
    EXPECT_EQ(tv::PortProtocol(c.word), c.port) << c.word;
    EXPECT_EQ(tv::PortProtocol(W<char16_t>(c.word).c_str()), c.port) << c.word;
  }
}

// A text is passed whole or not at all: one unit short of the buffer fits, the full buffer not.
TEST(FirewallWords, CopyWholeRefusesWhatDoesNotFit) {
  char16_t out[8];
  std::u16string fits(7, u'a'), tooLong(8, u'b');
  EXPECT_TRUE(tv::CopyWhole(out, 8, fits.c_str()));
  EXPECT_EQ(std::u16string(out), fits);
  EXPECT_FALSE(tv::CopyWhole(out, 8, tooLong.c_str()));
  EXPECT_EQ(out[0], u'\0');
  EXPECT_TRUE(tv::CopyWhole(out, 8, u""));
  EXPECT_EQ(out[0], u'\0');
  EXPECT_FALSE(tv::CopyWhole(out, 0, u""));
}

}  // namespace
