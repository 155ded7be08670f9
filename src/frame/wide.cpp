#include "frame/wide.h"

namespace tv {

bool ToWide(const tchar* text, unsigned codePage, std::size_t maxChars, BasicText<wchar_t>* out) {
#ifdef TARVOLK_UNICODE
  (void)codePage;
  std::size_t length = Length(text);
  if (maxChars != 0 && length + 1 > maxChars) return false;
  return out->Assign(text, length);
#else
  int size = MultiByteToWideChar(codePage, 0, text, -1, nullptr, 0);
  if (size <= 0 || (maxChars != 0 && static_cast<std::size_t>(size) > maxChars)) return false;
  // The converted NUL lands on the text's own; the length is what came before it.
  if (!out->Resize(static_cast<std::size_t>(size))) return false;
  if (MultiByteToWideChar(codePage, 0, text, -1, out->data(), size) <= 0) return false;
  return out->Resize(Length(out->c_str()));
#endif
}

}  // namespace tv
