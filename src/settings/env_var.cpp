// ModifyEnvVar: adds an item to or removes one from a system-wide ';'-separated variable, and
// keeps the registry, the running programs (through the broadcast) and the installer's own
// environment in step.
#include <string>
#include <vector>

#include "frame/owned.h"
#include "settings/env_list.h"
#include "settings/registry.h"

using namespace tv;

namespace {

using Text = std::basic_string<tchar>;

bool Equals(const tchar* s, const char* word) {
  std::size_t i = 0;
  for (; word[i] != '\0'; ++i)
    if (s[i] != tchar(static_cast<unsigned char>(word[i]))) return false;
  return s[i] == tchar(0);
}

// The installer's own copy of the variable. For an expandable variable the text is expanded
// first, as Windows does when it builds a new process's environment from the registry; when the
// expansion cannot be sized the variable is left as it was.
void SetProcessVariable(const tchar* name, const Text& text, bool expand) {
  if (!expand) {
    SetEnvironmentVariableT(name, text.c_str());
    return;
  }
  DWORD size = ExpandEnvironmentStringsT(text.c_str(), nullptr, 0);
  if (size == 0) return;
  std::vector<tchar> expanded(size + 1, tchar(0));
  if (ExpandEnvironmentStringsT(text.c_str(), expanded.data(), size) == 0) return;
  SetEnvironmentVariableT(name, expanded.data());
}

LSTATUS Store(HKEY key, const tchar* name, DWORD type, const Text& text) {
  return RegSetValueExT(key, name, type, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(tchar)));
}

enum class Stored { kAbsent, kPresent, kUnreadable };

// The stored string: the value's text up to its first NUL. No value, or no more than a lone
// NUL, is an absent variable.
Stored ReadStored(HKEY key, const tchar* name, Text* text) {
  DWORD bytes = 0;
  LSTATUS status = RegQueryValueExT(key, name, nullptr, nullptr, &bytes);
  if (status == ERROR_FILE_NOT_FOUND) return Stored::kAbsent;
  if (status != ERROR_SUCCESS) return Stored::kUnreadable;
  if (bytes <= sizeof(tchar)) return Stored::kAbsent;
  // Zero-filled, with room for a NUL behind data that lacks one.
  std::vector<tchar> data(bytes / sizeof(tchar) + 2, tchar(0));
  if (RegQueryValueExT(key, name, nullptr, data.data(), &bytes) != ERROR_SUCCESS) return Stored::kUnreadable;
  text->assign(data.data());
  return Stored::kPresent;
}

}  // namespace

// Pops the operation ("add"/"rem"), the type ("exp"/"std"), the name and the value; pushes
// "success" or "error" and leaves everything below its arguments on the stack.
TARVOLK_EXPORT(ModifyEnvVar, SystemFrame()) {
  Arg operation(frame), kind(frame), name(frame), value(frame);
  if (!PopArg(frame, operation) || !(Equals(operation.c_str(), "add") || Equals(operation.c_str(), "rem"))) {
    frame.pushword("error");
    return;
  }
  if (!PopArg(frame, kind) || !(Equals(kind.c_str(), "exp") || Equals(kind.c_str(), "std"))) {
    frame.pushword("error");
    return;
  }
  if (!PopArg(frame, name) || !PopArg(frame, value)) {
    frame.pushword("error");
    return;
  }
  const bool add = Equals(operation.c_str(), "add");
  const bool expand = Equals(kind.c_str(), "exp");
  const DWORD type = expand ? REG_EXPAND_SZ : REG_SZ;
  const Text item(value.c_str());

  RegKey key;
  if (RegOpenKeyExT(HKEY_LOCAL_MACHINE, TV_T("System\\CurrentControlSet\\Control\\Session Manager\\Environment"),
                    KEY_READ | KEY_WRITE, key.out()) != ERROR_SUCCESS) {
    key.release();
    frame.pushword("error");
    return;
  }
  Text stored;
  Stored state = ReadStored(key.get(), name.c_str(), &stored);
  if (state == Stored::kUnreadable) {
    key.reset();
    frame.pushword("error");
    return;
  }

  if (state == Stored::kAbsent) {
    if (!add) {
      SetEnvironmentVariableT(name.c_str(), nullptr);
      key.reset();
      frame.pushword("success");
      return;
    }
    bool written = Store(key.get(), name.c_str(), type, item) == ERROR_SUCCESS;
    key.reset();
    BroadcastEnvironmentChange();
    if (written) SetProcessVariable(name.c_str(), item, expand);
    frame.pushword(written ? "success" : "error");
    return;
  }

  Text edited;
  ListEdit edit = add ? AddItem(stored, item, &edited) : RemoveItem(stored, item, &edited);
  if (edit == ListEdit::kUnchanged) {
    SetProcessVariable(name.c_str(), stored, expand);
    key.reset();
    frame.pushword("success");
    return;
  }
  LSTATUS status = edit == ListEdit::kDelete ? RegDeleteValueT(key.get(), name.c_str())
                                             : Store(key.get(), name.c_str(), type, edited);
  key.reset();
  BroadcastEnvironmentChange();
  if (edit == ListEdit::kDelete)
    SetEnvironmentVariableT(name.c_str(), nullptr);
  else
    SetProcessVariable(name.c_str(), edited, expand);
  frame.pushword(status == ERROR_SUCCESS ? "success" : "error");
}
