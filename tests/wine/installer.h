// The installer's side of the plug-in interface: stack, extra parameters, callbacks, DLL calls.
#pragma once
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <functional>
#include <map>
#include <string>
#include <vector>

#ifdef TARVOLK_UNICODE
using TChar = wchar_t;
#else
using TChar = char;
#endif
using TString = std::basic_string<TChar>;

TString T(const std::string& s);
std::string Narrow(const TString& s);
std::string Lower(std::string s);

struct Entry {
  Entry* next;
  TChar text[1];
};

class Stack {
 public:
  explicit Stack(int stringSize = 1024) : stringSize_(stringSize) {}
  ~Stack() { Clear(); }
  Stack(const Stack&) = delete;
  Stack& operator=(const Stack&) = delete;

  void Push(const std::string& text);
  void PushAll(const std::vector<std::string>& texts) {
    for (const auto& t : texts) Push(t);
  }
  std::vector<std::string> TopFirst() const;
  std::string Pop();
  void Clear();
  int StringSize() const { return stringSize_; }
  Entry** Top() { return &top_; }

 private:
  int stringSize_;
  Entry* top_ = nullptr;
};

using PluginCallback = UINT_PTR (*)(int message);

struct ExtraParameters {
  void* exec_flags;
  int(__stdcall* ExecuteCodeSegment)(int functionIndex, HWND parent);
  void(__stdcall* validate_filename)(TChar* path);
  int(__stdcall* RegisterPluginCallback)(HMODULE module, PluginCallback callback);
};

struct Installer {
  static Installer& Get();
  ExtraParameters extra{};
  std::map<int, std::function<int(HWND)>> functions;  // what ExecuteCodeSegment runs
  std::vector<std::pair<HMODULE, PluginCallback>> callbacks;
  int executeCalls = 0;
  void SendUnload();
};

using ExportFn = void(__cdecl*)(HWND, int, TChar*, Entry**, ExtraParameters*);

class Plugin {
 public:
  explicit Plugin(const std::string& path);
  ~Plugin();
  HMODULE Module() const { return module_; }
  void Call(const char* name, Stack* stack, HWND parent = nullptr);

 private:
  HMODULE module_;
  TChar variables_[25 * 1024] = {};
};

// Returns the original, or null when the DLL does not import it.
void* PatchImport(HMODULE module, const char* importDll, const char* function, void* replacement);

// Each handle value asked in turn: Wine's GetProcessHandleCount does not follow real handles.
DWORD OwnHandleCount();

// The cases run under GoogleTest, built for Windows beside them.
#define TEST_CASE(name) TEST(Wine, name)
#define CHECK(cond) EXPECT_TRUE(cond)
#define CHECK_EQ(a, b) EXPECT_EQ(a, b)
// A Stack's or a list's entries, top first: CHECK_STACK(s, {"success", "below"}).
#define CHECK_STACK(actual, ...) EXPECT_EQ(TopFirst(actual), (std::vector<std::string> __VA_ARGS__))
inline std::vector<std::string> TopFirst(const Stack& stack) { return stack.TopFirst(); }
inline const std::vector<std::string>& TopFirst(const std::vector<std::string>& list) { return list; }

// Takes out GoogleTest's own switches; the rest are key=value pairs for Arg.
int RunAll(int argc, char** argv);
const std::string& Arg(const char* key);
