// What every case file of the Wine harness shares.
#pragma once
#include <atomic>
#include <functional>

#include "installer.h"

// The plug-in variant under test, loaded once from the "dll=" argument.
Plugin& Dll();

// The system function of the variant's width: TV_W(SendMessage) is SendMessageW in the Unicode
// variants, SendMessageA in x86-ansi.
#ifdef TARVOLK_UNICODE
#define TV_W(x) x##W
#else
#define TV_W(x) x##A
#endif

// The installer window's messages that the plug-in's pages send: change the page, page ready.
constexpr UINT kNotifyOuterNext = WM_USER + 0x8;
constexpr UINT kNotifyCustomReady = WM_USER + 0xd;

// Pushes the texts (the last one listed ends on top), calls the export and returns what it left,
// top first; the stack is emptied. `stack` is the case's own where it must outlive the call (an
// asynchronous search uses it), else a fresh one.
std::vector<std::string> CallExport(const char* name, const std::vector<std::string>& pushed, Stack* stack = nullptr,
                                    HWND parent = nullptr);

std::string WindowText(HWND window);

// Replaces the DLL's import of one function (PatchImport) for the length of a scope: where Wine
// cannot produce a case (a manager that cannot be opened) or only pretends (account rights).
class ImportDouble {
 public:
  ImportDouble(const char* dll, const char* function, void* replacement);
  ~ImportDouble();
  ImportDouble(const ImportDouble&) = delete;
  ImportDouble& operator=(const ImportDouble&) = delete;
  void* Original() const { return original_; }

 private:
  const char* dll_;
  const char* function_;
  void* original_;
};

// Watches every block the plug-in frees (its import of GlobalFree) for an ASCII secret's text, in
// the stack's width or in UTF-16, for the length of a scope: a password must be wiped from each
// copy the plug-in owned.
class FreedBlocksWatch {
 public:
  explicit FreedBlocksWatch(const std::string& secret);
  int Holding() const;
  // Blocks freed since the watch began.
  int Freed() const;

 private:
  ImportDouble patch_;
};

// A stand-in installer window for the plug-in's pages: a dialog with the page area 1018, Next (1,
// disabled, as the installer leaves it for a custom page), Cancel (2) and Back (3), whose
// procedure answers 0 to the page change as the installer does for custom pages and counts the
// changes it was told of. It is never shown.
class StandIn {
 public:
  explicit StandIn(int areaWidth = 420);
  ~StandIn();
  StandIn(const StandIn&) = delete;
  StandIn& operator=(const StandIn&) = delete;
  // Calls the export with the stack while `look` acts on the page from another thread, as a
  // user would; then, unless the installer was told to leave the page, presses Back, so that the
  // call always returns.
  void WithPage(const char* name, Stack& stack, std::function<void(HWND parent, HWND page)> look = nullptr);
  // Next, as the installer's button sends it: "left" when the installer was told to leave the
  // page (the answer of a dialog procedure does not reach the sender), else "stayed".
  std::string Next();
  std::vector<std::string> Call(const char* name, const std::vector<std::string>& pushed) {
    return CallExport(name, pushed, nullptr, hwnd);
  }
  bool Restored() const;
  // The page last shown in it, and the page changes the installer was told of.
  static HWND Page();
  static std::atomic<int> leaves;
  HWND hwnd;
};
