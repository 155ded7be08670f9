// The installer's side of the plug-in interface: stack, extra parameters, callbacks, DLL calls.
#pragma once
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

struct TestRun {
  int passed = 0, failed = 0;
  std::string current;
  void Check(bool ok, const std::string& what, const char* file, int line);
};
TestRun& Run();

#define CHECK(cond) Run().Check((cond), #cond, __FILE__, __LINE__)
// A Stack's or a list's entries, top first: CHECK_STACK(s, {"success", "below"}).
#define CHECK_STACK(actual, ...) \
  CheckTopFirst(TopFirst(actual), std::vector<std::string> __VA_ARGS__, __FILE__, __LINE__)
inline std::vector<std::string> TopFirst(const Stack& stack) { return stack.TopFirst(); }
inline const std::vector<std::string>& TopFirst(const std::vector<std::string>& list) { return list; }
void CheckTopFirst(const std::vector<std::string>& actual, const std::vector<std::string>& topFirst, const char* file,
                   int line);
#define CHECK_EQ(a, b) CheckEqual((a), (b), #a " == " #b, __FILE__, __LINE__)
void CheckEqual(const std::string& a, const std::string& b, const char* what, const char* file, int line);
void CheckEqual(long long a, long long b, const char* what, const char* file, int line);

struct TestCase {
  TestCase(const char* name, void (*fn)());
};
#define TEST_CASE(name)                              \
  static void name();                                \
  static TestCase name##_registration(#name, &name); \
  static void name()

int RunAll(int argc, char** argv);
const std::string& Arg(const char* key);
