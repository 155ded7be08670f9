// AddToRegMultiString and WriteRegMultiString: REG_MULTI_SZ values for setup scripts. Both create
// the key when it is missing, empty the stack and leave only "success" or "error".
#include "frame/buffer.h"
#include "frame/owned.h"
#include "settings/multi_string.h"
#include "settings/registry.h"

using namespace tv;

namespace {

// 0 the classes root, 1 the current user, any other number the local machine. The number is read
// with its sign, so "-1" is a number other than 0 and 1; text that is no number, such as "HKLM",
// reads as 0.
HKEY RootKey(const tchar* number) {
  switch (myatoi_signed(number)) {
    case 0: return HKEY_CLASSES_ROOT;
    case 1: return HKEY_CURRENT_USER;
    default: return HKEY_LOCAL_MACHINE;
  }
}

constexpr DWORD kFirstReadBytes = 65536;

// Reads the value whatever its type. False when there is no value or it cannot be read. A
// value that keeps growing between the size report and the read is met a few times; if it still
// does not fit, *busy is set so the caller does not take the list for empty; so is it when
// there is no memory to read into.
bool ReadList(HKEY key, const tchar* name, std::size_t extraChars, Buffer<tchar>* data, bool* busy) {
  *busy = true;
  data->Clear();
  if (!data->Resize(kFirstReadBytes / sizeof(tchar))) return false;
  DWORD bytes = kFirstReadBytes;
  LSTATUS status = RegQueryValueExT(key, name, nullptr, data->data(), &bytes);
  for (int attempt = 0; status == ERROR_MORE_DATA && attempt < 4; ++attempt) {
    data->Clear();
    if (!data->Resize(bytes / sizeof(tchar) + extraChars + 2)) return false;
    bytes = static_cast<DWORD>(data->size() * sizeof(tchar));
    status = RegQueryValueExT(key, name, nullptr, data->data(), &bytes);
  }
  *busy = status == ERROR_MORE_DATA;
  if (status != ERROR_SUCCESS) return false;
  data->Resize(bytes / sizeof(tchar));  // a stray odd byte of wide data is no character
  return true;
}

LSTATUS WriteList(HKEY key, const tchar* name, const Buffer<tchar>& list) {
  return RegSetValueExT(key, name, REG_MULTI_SZ, list.data(), static_cast<DWORD>(list.size() * sizeof(tchar)));
}

void Report(Frame& frame, bool ok) {
  frame.clearstack();
  frame.pushword(ok ? "success" : "error");
}

}  // namespace

// Pops the view ("0" the default one, anything else the 64-bit one), the root number, the subkey,
// the value name and the string; appends the string unless the list already holds it.
TARVOLK_EXPORT(AddToRegMultiString, SystemFrame) {
  Arg view(frame), root(frame), subkey(frame), name(frame), text(frame);
  if (!PopArg(frame, view) || !PopArg(frame, root) || !PopArg(frame, subkey) || !PopArg(frame, name) ||
      !PopArg(frame, text)) {
    Report(frame, false);
    return;
  }
  REGSAM access = KEY_READ | KEY_WRITE;
  if (view.c_str()[0] != tchar('0')) access |= KEY_WOW64_64KEY;
  RegKey key;
  if (RegCreateKeyExT(RootKey(root.c_str()), subkey.c_str(), access, key.out()) != ERROR_SUCCESS) {
    key.release();
    Report(frame, false);
    return;
  }
  const std::size_t length = Length(text.c_str());
  Buffer<tchar> old;
  bool busy = false;
  if (!ReadList(key.get(), name.c_str(), length, &old, &busy)) {
    if (busy) {
      Report(frame, false);
      return;
    }
    old.Clear();
  }
  if (ListHolds(old.data(), old.size(), text.c_str(), length)) {
    key.reset();
    Report(frame, true);
    return;
  }
  Buffer<tchar> list;
  if (!AppendToList(old.data(), old.size(), text.c_str(), length, &list)) {
    Report(frame, false);
    return;
  }
  LSTATUS status = WriteList(key.get(), name.c_str(), list);
  key.reset();
  Report(frame, status == ERROR_SUCCESS);
}

// Pops the root number, the subkey, the value name and a ';'-separated list, and replaces the
// value with that list.
TARVOLK_EXPORT(WriteRegMultiString, SystemFrame) {
  Arg root(frame), subkey(frame), name(frame), list(frame);
  if (!PopArg(frame, root) || !PopArg(frame, subkey) || !PopArg(frame, name) || !PopArg(frame, list)) {
    Report(frame, false);
    return;
  }
  RegKey key;
  if (RegCreateKeyExT(RootKey(root.c_str()), subkey.c_str(), KEY_WRITE, key.out()) != ERROR_SUCCESS) {
    key.release();
    Report(frame, false);
    return;
  }
  Buffer<tchar> data;
  if (!ListFromText(list.c_str(), Length(list.c_str()), &data)) {
    Report(frame, false);
    return;
  }
  LSTATUS status = WriteList(key.get(), name.c_str(), data);
  key.reset();
  Report(frame, status == ERROR_SUCCESS);
}
