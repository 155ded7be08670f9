// Script texts in UTF-16, for the system calls that every build makes in their wide form.
#pragma once
#include "frame/buffer.h"
#include "frame/plugin.h"

namespace tv {

// A wide copy of a script text. The Unicode variants take the script's UTF-16 as it is; the ANSI
// variant converts from codePage. False when the text does not convert, when maxChars is not 0
// and the text with its NUL needs more than maxChars characters, or when there is no memory for
// the copy. A copy made holds its NUL (data() is writable text) and lies in one block, so that
// Wipe clears a secret's only copy.
bool ToWide(const tchar* text, unsigned codePage, std::size_t maxChars, BasicText<wchar_t>* out);

}  // namespace tv
