// AddFile, AddModule, AddFolder, AddClass, AddCaption, AddApplications and AddCustom: the
// targets of the next search.
#include "quillmere/search/targets.h"

#include <shellapi.h>

#include "frame/numbers.h"
#include "quillmere/module.h"
#include "quillmere/system/path_text.h"
#include "quillmere/search/search.h"
#include "quillmere/system/width.h"

namespace tv {
namespace {

SearchTargets g_targets = {};

void FreeList(TargetList& list) {
  for (DWORD i = list.count; i-- > 0;) {
    StackFree(list.entries[i]);
    list.entries[i] = nullptr;
  }
  list.count = 0;
}

void FreeCustom(CustomTarget& target) {
  StackFree(target.label);
  StackFree(target.detail);
  if (target.icon != nullptr) DestroyIcon(target.icon);
  target = CustomTarget{};
}

// A target is refused while a search reads the lists, when its list is full (the argument stays
// on the stack) and when it is too long for an entry (it is taken).
void AddTarget(Frame& frame, TargetList& list, bool folder) {
  if (SearchHeld() || list.count >= kMaxTargets) {
    frame.pushword("error");
    return;
  }
  Arg text(frame);
  if (text.data() == nullptr) {
    frame.pushword("error");
    return;
  }
  PopArg(frame, text);  // an empty stack adds an empty target, which matches nothing
  std::size_t length = Length(text.c_str());
  // A folder's closing backslash makes it match only what lies inside; one given already is kept
  // (twice would match nothing), and an empty folder stays empty.
  if (folder && length > 0 && text.c_str()[length - 1] != TV_T('\\')) text.data()[length++] = TV_T('\\');
  if (length >= kTargetChars) {
    frame.pushword("error");
    return;
  }
  auto* entry = static_cast<tchar*>(StackAlloc(kTargetChars * sizeof(tchar)));
  if (entry == nullptr) {
    frame.pushword("error");
    return;
  }
  CopyBounded(entry, text.c_str(), kTargetChars);
  LowerText(entry);
  list.entries[list.count++] = entry;
}

HICON LoadTargetIcon(const tchar* path) {
  static const tchar kIco[] = TV_T(".ico");
  HICON icon = nullptr;
  // The file's image of the list's icon size at the system's DPI, not a larger one shrunk.
  if (PathEndsWith(path, kIco))
    icon = SmallIcon(nullptr, path, LR_LOADFROMFILE);
  else
    TV_AW(ExtractIconEx)(path, 0, nullptr, &icon, 1);
  return icon;
}

// Pops an entry's text into a new block of string_size characters; null when the stack is empty.
tchar* PopBlock(Frame& frame) {
  auto* block = static_cast<tchar*>(StackAlloc(frame.TextCapacity() * sizeof(tchar)));
  if (block != nullptr && frame.popstring(block, frame.TextCapacity()) != 0) {
    StackFree(block);
    block = nullptr;
  }
  return block;
}

}  // namespace

SearchTargets& Targets() { return g_targets; }

void ResetSearchTargets() {
  // One call each rather than a loop over their addresses: that table was the DLL's only
  // initialised data, a file section of its own.
  FreeList(g_targets.folders);
  FreeList(g_targets.captions);
  FreeList(g_targets.classes);
  FreeList(g_targets.modules);
  FreeList(g_targets.files);
  for (DWORD i = g_targets.customCount; i-- > 0;) FreeCustom(g_targets.custom[i]);
  g_targets.customCount = 0;
}

}  // namespace tv

using namespace tv;

// Each pops one path or pattern; "error" when the list is full (the argument stays), when the
// text is too long, or while a search runs.
TARVOLK_EXPORT(AddFile, QuillmereFrame) { AddTarget(frame, Targets().files, false); }
TARVOLK_EXPORT(AddModule, QuillmereFrame) { AddTarget(frame, Targets().modules, false); }
TARVOLK_EXPORT(AddFolder, QuillmereFrame) { AddTarget(frame, Targets().folders, true); }
TARVOLK_EXPORT(AddClass, QuillmereFrame) { AddTarget(frame, Targets().classes, false); }
TARVOLK_EXPORT(AddCaption, QuillmereFrame) { AddTarget(frame, Targets().captions, false); }

TARVOLK_EXPORT(AddApplications, QuillmereFrame) {
  if (SearchHeld()) {
    frame.pushword("error");
    return;
  }
  Targets().applicationsWanted = true;
}

// Pops [/icon FILE] LABEL DETAIL FUNCTION-ADDRESS; pushes nothing on success, else "error".
TARVOLK_EXPORT(AddCustom, QuillmereFrame) {
  SearchTargets& targets = Targets();
  if (SearchHeld() || targets.customCount >= kMaxTargets) {
    frame.pushword("error");
    return;
  }
  CustomTarget target = {};
  tchar* label = PopBlock(frame);
  if (label != nullptr && IsWord(label, "/icon")) {
    tchar* file = PopBlock(frame);
    StackFree(label);
    label = nullptr;
    if (file != nullptr) {
      target.icon = LoadTargetIcon(file);
      StackFree(file);
      label = PopBlock(frame);
    }
  }
  target.label = label;
  target.detail = label != nullptr ? PopBlock(frame) : nullptr;
  tchar* address = target.detail != nullptr ? PopBlock(frame) : nullptr;
  target.scriptFunction = address != nullptr ? FunctionIndexOf(address) : -1;
  StackFree(address);
  if (target.scriptFunction < 0) {
    FreeCustom(target);
    frame.pushword("error");
    return;
  }
  targets.custom[targets.customCount++] = target;
}
