// The wildcard match against a table-driven reference, on a small alphabet so matches are frequent.
#include <cstddef>
#include <cstdint>
#include <string>

#include "quillmere/search/search_text.h"

namespace {

// match[p][t]: whether pattern[p..] matches text[t..] (pattern up to 16, text up to 32 characters).
bool Reference(const std::string& pattern, const std::string& text) {
  bool match[17][33] = {};
  match[pattern.size()][text.size()] = true;
  for (std::size_t p = pattern.size(); p-- > 0;) {
    for (std::size_t t = text.size() + 1; t-- > 0;) {
      bool more = t < text.size();
      match[p][t] = pattern[p] == '*' ? match[p + 1][t] || (more && match[p][t + 1])
                                      : more && (pattern[p] == '?' || pattern[p] == text[t]) && match[p + 1][t + 1];
    }
  }
  return match[0][0];
}

const char kAlphabet[] = {'a', 'b', '*', '?', 'a', '*', '\xE9', 'A'};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  std::size_t patternLength = data[0] % 17;
  std::string pattern, text;
  for (std::size_t i = 1; i < size && text.size() < 32; ++i) {
    char c = kAlphabet[data[i] & 7];
    if (pattern.size() < patternLength) pattern += c;
    else text += c;
  }
  bool expected = Reference(pattern, text);
  if (tv::WildcardMatch(pattern.c_str(), text.c_str()) != expected) __builtin_trap();
  std::wstring widePattern, wideText;
  for (unsigned char c : pattern) widePattern += static_cast<wchar_t>(c == 0xE9 ? 0x4E2A : c);
  for (unsigned char c : text) wideText += static_cast<wchar_t>(c == 0xE9 ? 0x4E2A : c);
  if (tv::WildcardMatch(widePattern.c_str(), wideText.c_str()) != expected) __builtin_trap();
  return 0;
}
