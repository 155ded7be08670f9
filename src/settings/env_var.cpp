// ModifyEnvVar: adds an item to or removes one from a system-wide ';'-separated variable, and
// keeps the registry, the running programs (through the broadcast) and the installer's own
// environment in step.
#include "frame/buffer.h"
#include "frame/owned.h"
#include "frame/wide.h"
#include "settings/env_list.h"
#include "settings/registry.h"

using namespace tv;

namespace {

using Text = BasicText<wchar_t>;

bool Equals(const tchar* s, const char* word) {
  std::size_t i = 0;
  for (; word[i] != '\0'; ++i)
    if (s[i] != tchar(static_cast<unsigned char>(word[i]))) return false;
  return s[i] == tchar(0);
}

// The installer's own copy of the variable: the text, expanded for an expandable variable as
// Windows does when it builds a new process's environment from the registry.
enum class Copy {
  kSet,      // *out holds the copy's new text
  kKeep,     // the expansion cannot be had: the copy stays as it was
  kTooLong,  // the text or its expansion passes the system's limit
  kNoMemory,
};

Copy ProcessCopy(const Text& text, bool expand, Text* out) {
  if (text.size() > kMaxVariableChars) return Copy::kTooLong;
  if (!expand) return out->Assign(text) ? Copy::kSet : Copy::kNoMemory;
  DWORD size = ExpandEnvironmentStringsW(text.c_str(), nullptr, 0);
  if (size == 0) return Copy::kKeep;
  if (size > kMaxVariableChars + 1) return Copy::kTooLong;  // the size counts the NUL
  Text expanded;
  if (!expanded.Resize(size)) return Copy::kNoMemory;
  DWORD written = ExpandEnvironmentStringsW(text.c_str(), expanded.data(), size);
  if (written == 0 || written > size) return Copy::kKeep;
  if (!out->Assign(expanded.c_str())) return Copy::kNoMemory;
  return out->size() > kMaxVariableChars ? Copy::kTooLong : Copy::kSet;
}

void SetProcessVariable(const wchar_t* name, Copy copy, const Text& text) {
  if (copy == Copy::kSet) SetEnvironmentVariableW(name, text.c_str());
}

LSTATUS Store(HKEY key, const wchar_t* name, DWORD type, const Text& text) {
  return SetValueW(key, name, type, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

enum class Stored { kAbsent, kPresent, kUnreadable };  // no memory is unreadable too

// The stored string: the value's text up to its first NUL, and the value's type. No value, or no
// more than a lone NUL, is an absent variable.
Stored ReadStored(HKEY key, const wchar_t* name, Text* text, DWORD* type) {
  DWORD bytes = 0;
  LSTATUS status = QueryValueW(key, name, type, nullptr, &bytes);
  if (status == ERROR_FILE_NOT_FOUND) return Stored::kAbsent;
  if (status != ERROR_SUCCESS) return Stored::kUnreadable;
  if (bytes <= sizeof(wchar_t)) return Stored::kAbsent;
  // Zero-filled, with room for a NUL behind data that lacks one.
  Text data;
  if (!data.Resize(bytes / sizeof(wchar_t) + 1)) return Stored::kUnreadable;
  if (QueryValueW(key, name, type, data.data(), &bytes) != ERROR_SUCCESS) return Stored::kUnreadable;
  return text->Assign(data.c_str()) ? Stored::kPresent : Stored::kUnreadable;
}

// Adds the items to the variable or removes them from it, in the registry, and brings the
// installer's own copy in step; false when anything is refused or fails.
bool ModifyVariable(bool add, bool expandAsked, const Text& name, const Text& items) {
  RegKey key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"System\\CurrentControlSet\\Control\\Session Manager\\Environment", 0,
                    KEY_READ | KEY_WRITE, key.out()) != ERROR_SUCCESS) {
    key.release();
    return false;
  }
  Text stored;
  DWORD storedType = REG_NONE;
  Stored state = ReadStored(key.get(), name.c_str(), &stored, &storedType);
  if (state == Stored::kUnreadable) return false;
  if (state == Stored::kAbsent && !add) {
    SetEnvironmentVariableW(name.c_str(), nullptr);
    return true;
  }
  if (state == Stored::kAbsent) stored.Clear();

  Text edited;
  ListEdit edit = EditItems(add, stored, items, &edited);
  // "std" keeps an expandable variable expandable while its text names a variable: as plain
  // text %SystemRoot% would no longer lead any program to its folder.
  const bool expand = expandAsked || (storedType == REG_EXPAND_SZ && state == Stored::kPresent &&
                                      HoldsReference(edited.c_str()));
  // Whatever would go into the registry or the installer's copy must fit the system's limit:
  // a text beyond it is refused, and neither is touched.
  Text copyText;
  Copy copy = edit == ListEdit::kDelete || edit == ListEdit::kNoMemory ? Copy::kKeep
                                                                       : ProcessCopy(edited, expand, &copyText);
  if (edit == ListEdit::kNoMemory || copy == Copy::kTooLong || copy == Copy::kNoMemory) return false;
  if (edit == ListEdit::kUnchanged) {
    if (state == Stored::kPresent) SetProcessVariable(name.c_str(), copy, copyText);
    return true;
  }
  LSTATUS status = edit == ListEdit::kDelete
                       ? RegDeleteValueW(key.get(), name.c_str())
                       : Store(key.get(), name.c_str(), expand ? REG_EXPAND_SZ : REG_SZ, edited);
  key.reset();
  BroadcastEnvironmentChange();
  if (edit == ListEdit::kDelete)
    SetEnvironmentVariableW(name.c_str(), nullptr);
  else if (status == ERROR_SUCCESS || state == Stored::kPresent)
    SetProcessVariable(name.c_str(), copy, copyText);
  return status == ERROR_SUCCESS;
}

// Pops and checks the four arguments, then modifies the variable.
bool ModifyFromArguments(Frame& frame) {
  Arg operation(frame), kind(frame), popName(frame), value(frame);
  if (!PopArg(frame, operation) || !(Equals(operation.c_str(), "add") || Equals(operation.c_str(), "rem")))
    return false;
  if (!PopArg(frame, kind) || !(Equals(kind.c_str(), "exp") || Equals(kind.c_str(), "std"))) return false;
  // A name the environment cannot hold is refused before anything is touched: the registry
  // would take an empty one as the key's default value, and the process environment cannot
  // have one with '='.
  Text name, items;
  if (!PopArg(frame, popName) || !PopArg(frame, value) || !ToWide(popName.c_str(), CP_ACP, 0, &name) ||
      !IsVariableName(name.c_str()) || !ToWide(value.c_str(), CP_ACP, 0, &items))
    return false;
  return ModifyVariable(Equals(operation.c_str(), "add"), Equals(kind.c_str(), "exp"), name, items);
}

}  // namespace

// Pops the operation ("add"/"rem"), the type ("exp"/"std"), the name and the value; pushes
// "success" or "error" and leaves everything below its arguments on the stack.
TARVOLK_EXPORT(ModifyEnvVar, SystemFrame) { frame.pushword(ModifyFromArguments(frame) ? "success" : "error"); }
