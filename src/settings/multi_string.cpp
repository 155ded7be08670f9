// AddToRegMultiString and WriteRegMultiString: REG_MULTI_SZ values for setup scripts. Both create
// the key when it is missing, never overwrite a value of another type, empty the stack and leave
// only "success" or "error".
#include "frame/buffer.h"
#include "frame/owned.h"
#include "frame/wide.h"
#include "settings/multi_string.h"
#include "settings/registry.h"

using namespace tv;

namespace {

using Text = BasicText<wchar_t>;

HKEY RootHandle(RootKey root) {
  switch (root) {
    case RootKey::kClassesRoot: return HKEY_CLASSES_ROOT;
    case RootKey::kCurrentUser: return HKEY_CURRENT_USER;
    case RootKey::kUsers: return HKEY_USERS;
    default: return HKEY_LOCAL_MACHINE;
  }
}

constexpr DWORD kFirstReadBytes = 16384;

enum class Read { kList, kNone, kOtherType, kFailed };

// Reads the value. kNone when there is none, or it cannot be read; kOtherType for a value that is
// no multi-string. A value that keeps growing between the size report and the read is met a few
// times; if it still does not fit, or there is no memory to read into, kFailed, so the caller
// does not take the list for empty.
Read ReadList(HKEY key, const wchar_t* name, std::size_t extraChars, Buffer<wchar_t>* data) {
  data->Clear();
  if (!data->Resize(kFirstReadBytes / sizeof(wchar_t))) return Read::kFailed;
  DWORD bytes = kFirstReadBytes, type = REG_NONE;
  LSTATUS status = QueryValueW(key, name, &type, data->data(), &bytes);
  for (int attempt = 0; status == ERROR_MORE_DATA && attempt < 4; ++attempt) {
    data->Clear();
    if (!data->Resize(bytes / sizeof(wchar_t) + extraChars + 2)) return Read::kFailed;
    bytes = static_cast<DWORD>(data->size() * sizeof(wchar_t));
    status = QueryValueW(key, name, &type, data->data(), &bytes);
  }
  if (status == ERROR_MORE_DATA) return Read::kFailed;
  if (status != ERROR_SUCCESS) return Read::kNone;
  if (type != REG_MULTI_SZ) return Read::kOtherType;
  data->Resize(bytes / sizeof(wchar_t));  // a stray odd byte is no character
  return Read::kList;
}

LSTATUS WriteList(HKEY key, const wchar_t* name, const Buffer<wchar_t>& list) {
  return SetValueW(key, name, REG_MULTI_SZ, list.data(), static_cast<DWORD>(list.size() * sizeof(wchar_t)));
}

void Report(Frame& frame, bool ok) {
  frame.clearstack();
  frame.pushword(ok ? "success" : "error");
}

// The root, subkey and value name of the script, the key opened or created with `access`.
bool OpenKey(const Arg& root, const Arg& subkey, const Arg& popName, REGSAM access, RegKey* key, Text* name) {
  RootKey rootKey = RootOf(root.c_str());
  Text path;
  if (rootKey == RootKey::kNone || !ToWide(subkey.c_str(), CP_ACP, 0, &path) ||
      !ToWide(popName.c_str(), CP_ACP, 0, name))
    return false;
  if (CreateKeyW(RootHandle(rootKey), path.c_str(), access, key->out()) == ERROR_SUCCESS) return true;
  key->release();
  return false;
}

// Pops the view ("0" the default one, anything else the 64-bit one), the root, the subkey, the
// value name and the string; appends the string unless the list already holds it.
bool AddToList(Frame& frame) {
  Arg view(frame), root(frame), subkey(frame), popName(frame), popText(frame);
  if (!PopArg(frame, view) || !PopArg(frame, root) || !PopArg(frame, subkey) || !PopArg(frame, popName) ||
      !PopArg(frame, popText))
    return false;
  REGSAM access = KEY_READ | KEY_WRITE;
  if (view.c_str()[0] != tchar('0')) access |= KEY_WOW64_64KEY;
  RegKey key;
  Text name, text;
  if (!OpenKey(root, subkey, popName, access, &key, &name) || !ToWide(popText.c_str(), CP_ACP, 0, &text))
    return false;
  Buffer<wchar_t> old;
  Read read = ReadList(key.get(), name.c_str(), text.size(), &old);
  if (read == Read::kOtherType || read == Read::kFailed) return false;
  if (read == Read::kNone) old.Clear();
  if (ListHolds(old.data(), old.size(), text.c_str(), text.size())) return true;
  Buffer<wchar_t> list;
  if (!AppendToList(old.data(), old.size(), text.c_str(), text.size(), &list)) return false;
  return WriteList(key.get(), name.c_str(), list) == ERROR_SUCCESS;
}

// Pops the root, the subkey, the value name and a ';'-separated list, and replaces the value
// with that list.
bool WriteWholeList(Frame& frame) {
  Arg root(frame), subkey(frame), popName(frame), popList(frame);
  if (!PopArg(frame, root) || !PopArg(frame, subkey) || !PopArg(frame, popName) || !PopArg(frame, popList))
    return false;
  RegKey key;
  Text name, list;
  if (!OpenKey(root, subkey, popName, KEY_WRITE | KEY_QUERY_VALUE, &key, &name) ||
      !ToWide(popList.c_str(), CP_ACP, 0, &list))
    return false;
  DWORD type = REG_NONE;
  LSTATUS status = QueryValueW(key.get(), name.c_str(), &type, nullptr, nullptr);
  if (status != ERROR_FILE_NOT_FOUND && (status != ERROR_SUCCESS || type != REG_MULTI_SZ)) return false;
  Buffer<wchar_t> data;
  if (!ListFromText(list.c_str(), list.size(), &data)) return false;
  return WriteList(key.get(), name.c_str(), data) == ERROR_SUCCESS;
}

}  // namespace

TARVOLK_EXPORT(AddToRegMultiString, SystemFrame) { Report(frame, AddToList(frame)); }
TARVOLK_EXPORT(WriteRegMultiString, SystemFrame) { Report(frame, WriteWholeList(frame)); }
