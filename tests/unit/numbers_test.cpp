#include "frame/numbers.h"

#include <gtest/gtest.h>

#include <string>

#include "widths.h"

namespace {

struct Case {
  const char* input;
  std::int32_t value;
};

// Every case read in both widths by the reader given.
#define EXPECT_READ_BY(read, cases)                                                          \
  for (const Case& c : cases) {                                                              \
    EXPECT_EQ(read(c.input), c.value) << '"' << c.input << '"';                              \
    EXPECT_EQ(read(W<char16_t>(c.input).c_str()), c.value) << "wide \"" << c.input << '"'; \
  }

TEST(Myatoi, UnsignedFormTable) {
  const Case cases[] = {
      {"", 0},      {"0", 0},          {"42", 42},  {"12abc", 12}, {"0x1F", 31},      {"0X1f", 31},
      {"0x", 0},    {"017", 15},       {"08", 8},   {"-5", 0},     {"+5", 0},         {" 7", 0},
      {"4294967295", -1}, {"0xFFFFFFFF", -1}, {"0x100000010", 16}, {"0777", 511}, {"0x1g", 1}, {"019", 1},
  };
  EXPECT_READ_BY(tv::myatoi, cases);
}

TEST(Myatoi, SignedForm) {
  const Case cases[] = {
      {"-5", -5},     {"-0x10", 0}, {"0x10", 16},    {"-", 0},          {"--5", 0},  {"-010", -10},
      {"5", 5},       {"017", 15},  {"-2147483648", INT32_MIN}, {"2147483648", INT32_MIN}, {"+5", 0},
      {"-4294967295", 1},
  };
  EXPECT_READ_BY(tv::myatoi_signed, cases);
}

TEST(Myatoi, WideCharactersOutsideAsciiEndTheNumber) {
  // A UTF-16 character whose low byte is a digit must not be taken for one.
  const char16_t text[] = {u'1', u'2', char16_t(0x0133), u'4', 0};
  EXPECT_EQ(tv::myatoi(text), 12);
  const char16_t hex[] = {u'0', u'x', u'F', char16_t(0x0141), 0};
  EXPECT_EQ(tv::myatoi(hex), 15);
}

// Only GetFunctionAddress's decimal text names a script function.
TEST(FunctionIndexOf, TakesPlainPositiveDecimalsOnly) {
  const Case cases[] = {
      {"1", 0},       {"7", 6},           {"2147483647", 2147483646}, {"", -1},   {"0", -1},  {"-1", -1},
      {"abc", -1},    {"0x", -1},         {"0x10", -1},               {"12a", -1}, {" 7", -1}, {"+7", -1},
      {"2147483648", -1}, {"99999999999999999999", -1}, {"4294967297", -1},
  };
  EXPECT_READ_BY(tv::FunctionIndexOf, cases);
}

}  // namespace
