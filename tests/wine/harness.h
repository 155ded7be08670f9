#pragma once
#include <atomic>
#include <functional>

#include "installer.h"

Plugin& Dll();

#ifdef TARVOLK_UNICODE
#define TV_W(x) x##W
#else
#define TV_W(x) x##A
#endif

constexpr UINT kNotifyOuterNext = WM_USER + 0x8;
constexpr UINT kNotifyCustomReady = WM_USER + 0xd;

// Pushes the texts (the last ends on top), calls the export and pops all it left, top first.
std::vector<std::string> CallExport(const char* name, const std::vector<std::string>& pushed, Stack* stack = nullptr,
                                    HWND parent = nullptr);

std::string WindowText(HWND window);

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

// Watches every block the plug-in frees for an ASCII secret, in the stack's width or UTF-16.
class FreedBlocksWatch {
 public:
  explicit FreedBlocksWatch(const std::string& secret);
  static int holding, freed;  // the blocks freed that held the secret, all blocks freed

 private:
  ImportDouble patch_;
};

// A never-shown installer window for the pages: area 1018, Next (1, disabled), Cancel (2), Back (3);
// it answers 0 to page changes, as for custom pages, and counts them.
class StandIn {
 public:
  explicit StandIn(int areaWidth = 420);
  ~StandIn();
  StandIn(const StandIn&) = delete;
  StandIn& operator=(const StandIn&) = delete;
  // `look` acts on the page from another thread; then Back, unless the page was left.
  void WithPage(const char* name, Stack& stack, std::function<void(HWND parent, HWND page)> look = nullptr);
  // "left" when the installer was told to leave the page, else "stayed".
  std::string Next();
  std::vector<std::string> Call(const char* name, const std::vector<std::string>& pushed) {
    return CallExport(name, pushed, nullptr, hwnd);
  }
  bool Restored() const;
  static HWND Page();
  static std::atomic<int> leaves;
  HWND hwnd;
};
