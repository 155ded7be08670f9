// The wildcard match against a recursive reference, on a small alphabet so matches are frequent.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "quillmere/search/search_text.h"

namespace {

// Whether pattern[p..] matches text[t..]; memo holds 0 unknown, 1 no, 2 yes.
struct Reference {
  std::string pattern, text;
  unsigned char memo[17][33];

  bool Match(std::size_t p, std::size_t t) {
    unsigned char& known = memo[p][t];
    if (known != 0) return known == 2;
    bool result;
    if (p == pattern.size()) {
      result = t == text.size();
    } else if (pattern[p] == '*') {
      result = Match(p + 1, t) || (t < text.size() && Match(p, t + 1));
    } else {
      result = t < text.size() && (pattern[p] == '?' || pattern[p] == text[t]) && Match(p + 1, t + 1);
    }
    known = result ? 2 : 1;
    return result;
  }
};

const char kAlphabet[] = {'a', 'b', '*', '?', 'a', '*', '\xE9', 'A'};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  std::size_t patternLength = data[0] % 17;
  Reference ref;
  std::memset(ref.memo, 0, sizeof ref.memo);
  for (std::size_t i = 1; i < size && ref.text.size() < 32; ++i) {
    char c = kAlphabet[data[i] & 7];
    if (ref.pattern.size() < patternLength) {
      ref.pattern += c;
    } else {
      ref.text += c;
    }
  }
  bool expected = ref.Match(0, 0);
  if (tv::WildcardMatch(ref.pattern.c_str(), ref.text.c_str()) != expected) __builtin_trap();
  std::wstring widePattern, wideText;
  for (unsigned char c : ref.pattern) widePattern += static_cast<wchar_t>(c == 0xE9 ? 0x4E2A : c);
  for (unsigned char c : ref.text) wideText += static_cast<wchar_t>(c == 0xE9 ? 0x4E2A : c);
  if (tv::WildcardMatch(widePattern.c_str(), wideText.c_str()) != expected) __builtin_trap();
  return 0;
}
