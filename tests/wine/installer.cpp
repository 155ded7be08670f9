#include "installer.h"

#include <cstring>

TString T(const std::string& s) {
#ifdef TARVOLK_UNICODE
  int n = MultiByteToWideChar(CP_UTF8, 0, s.c_str(), static_cast<int>(s.size()), nullptr, 0);
  TString out(n, L'\0');
  MultiByteToWideChar(CP_UTF8, 0, s.c_str(), static_cast<int>(s.size()), &out[0], n);
  return out;
#else
  return s;
#endif
}

std::string Narrow(const TString& s) {
#ifdef TARVOLK_UNICODE
  int n = WideCharToMultiByte(CP_UTF8, 0, s.c_str(), static_cast<int>(s.size()), nullptr, 0, nullptr, nullptr);
  std::string out(n, '\0');
  WideCharToMultiByte(CP_UTF8, 0, s.c_str(), static_cast<int>(s.size()), &out[0], n, nullptr, nullptr);
  return out;
#else
  return s;
#endif
}

std::string Lower(std::string s) {
  for (char& c : s) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  return s;
}

void Stack::Push(const std::string& text) {
  TString t = T(text);
  auto* e = static_cast<Entry*>(GlobalAlloc(GPTR, sizeof(Entry) + stringSize_ * sizeof(TChar)));
  size_t n = t.size() < static_cast<size_t>(stringSize_ - 1) ? t.size() : stringSize_ - 1;
  memcpy(e->text, t.data(), n * sizeof(TChar));
  e->next = top_;
  top_ = e;
}

std::vector<std::string> Stack::TopFirst() const {
  std::vector<std::string> out;
  for (Entry* e = top_; e != nullptr; e = e->next) out.push_back(Narrow(e->text));
  return out;
}

std::string Stack::Pop() {
  if (top_ == nullptr) return "<empty>";
  Entry* e = top_;
  std::string text = Narrow(e->text);
  top_ = e->next;
  GlobalFree(e);
  return text;
}

void Stack::Clear() {
  while (top_ != nullptr) Pop();
}

static int __stdcall ExecuteCodeSegmentDouble(int functionIndex, HWND parent) {
  Installer& inst = Installer::Get();
  ++inst.executeCalls;
  auto it = inst.functions.find(functionIndex);
  return it == inst.functions.end() ? 1 : it->second(parent);
}

static int __stdcall RegisterPluginCallbackDouble(HMODULE module, PluginCallback callback) {
  Installer& inst = Installer::Get();
  for (auto& registered : inst.callbacks)
    if (registered.first == module && registered.second == callback) return 1;  // already known
  inst.callbacks.emplace_back(module, callback);
  return 0;
}

static void __stdcall ValidateFilenameDouble(TChar*) {}

Installer& Installer::Get() {
  static Installer installer{
      {nullptr, &ExecuteCodeSegmentDouble, &ValidateFilenameDouble, &RegisterPluginCallbackDouble}, {}, {}, 0};
  return installer;
}

void Installer::SendUnload() {
  for (auto& registered : callbacks) registered.second(0);
}

Plugin::Plugin(const std::string& path) : module_(LoadLibraryA(path.c_str())) {
  if (module_ == nullptr) {
    std::fprintf(stderr, "cannot load %s: error %lu\n", path.c_str(), GetLastError());
    std::exit(2);
  }
}

Plugin::~Plugin() { FreeLibrary(module_); }

void Plugin::Call(const char* name, Stack* stack, HWND parent) {
  auto fn = reinterpret_cast<ExportFn>(reinterpret_cast<void*>(GetProcAddress(module_, name)));
  if (fn == nullptr) {
    Run().Check(false, std::string("export ") + name + " exists", __FILE__, __LINE__);
    return;
  }
  fn(parent, stack ? stack->StringSize() : 1024, variables_, stack ? stack->Top() : nullptr,
     &Installer::Get().extra);
}

void* PatchImport(HMODULE module, const char* importDll, const char* function, void* replacement) {
  auto* base = reinterpret_cast<BYTE*>(module);
  auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
  auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  if (dir.VirtualAddress == 0) return nullptr;
  for (auto* imp = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress); imp->Name != 0; ++imp) {
    if (lstrcmpiA(reinterpret_cast<char*>(base + imp->Name), importDll) != 0) continue;
    auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + imp->OriginalFirstThunk);
    auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + imp->FirstThunk);
    for (; names->u1.AddressOfData != 0; ++names, ++slots) {
      if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
      auto* byName = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
      if (strcmp(reinterpret_cast<char*>(byName->Name), function) != 0) continue;
      DWORD old;
      VirtualProtect(&slots->u1.Function, sizeof(slots->u1.Function), PAGE_READWRITE, &old);
      void* original = reinterpret_cast<void*>(slots->u1.Function);
      slots->u1.Function = reinterpret_cast<ULONG_PTR>(replacement);
      VirtualProtect(&slots->u1.Function, sizeof(slots->u1.Function), old, &old);
      return original;
    }
  }
  return nullptr;
}

TestRun& Run() {
  static TestRun run;
  return run;
}

void TestRun::Check(bool ok, const std::string& what, const char* file, int line) {
  if (ok) {
    ++passed;
    return;
  }
  ++failed;
  std::printf("FAILED in %s: %s (%s:%d)\n", current.c_str(), what.c_str(), file, line);
}

static std::string Join(const std::vector<std::string>& v) {
  std::string out = "[";
  for (size_t i = 0; i < v.size(); ++i) out += (i ? ", \"" : "\"") + v[i] + "\"";
  return out + "]";
}

void CheckTopFirst(const std::vector<std::string>& actual, const std::vector<std::string>& topFirst, const char* file,
                   int line) {
  Run().Check(actual == topFirst, "stack (top first) is " + Join(actual) + ", expected " + Join(topFirst), file, line);
}

void CheckEqual(const std::string& a, const std::string& b, const char* what, const char* file, int line) {
  Run().Check(a == b, std::string(what) + ": \"" + a + "\" vs \"" + b + "\"", file, line);
}

void CheckEqual(long long a, long long b, const char* what, const char* file, int line) {
  Run().Check(a == b, std::string(what) + ": " + std::to_string(a) + " vs " + std::to_string(b), file, line);
}

static std::vector<std::pair<const char*, void (*)()>>& Cases() {
  static std::vector<std::pair<const char*, void (*)()>> cases;
  return cases;
}

TestCase::TestCase(const char* name, void (*fn)()) { Cases().emplace_back(name, fn); }

static std::map<std::string, std::string> g_args;  // read only once main runs

const std::string& Arg(const char* key) { return g_args[key]; }

// Arguments: key=value pairs; "only=NAME" runs one case.
int RunAll(int argc, char** argv) {
  std::setvbuf(stdout, nullptr, _IONBF, 0);  // a case that hangs or crashes has said all it could
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    size_t eq = a.find('=');
    if (eq != std::string::npos) g_args[a.substr(0, eq)] = a.substr(eq + 1);
  }
  const std::string& only = Arg("only");
  for (auto& c : Cases()) {
    if (!only.empty() && only != c.first) continue;
    Run().current = c.first;
    std::printf("...  %s\n", c.first);  // a case that hangs is named by the last of these lines
    int before = Run().failed;
    c.second();
    std::printf("%s %s\n", Run().failed == before ? "ok  " : "FAIL", c.first);
  }
  std::printf("%d passed, %d failed\n", Run().passed, Run().failed);
  return Run().failed == 0 && Run().passed > 0 ? 0 : 1;
}

DWORD OwnHandleCount() {
  // The system-wide table, read while other tests run, has crashed Wine's server. Wine gives out
  // the lowest free value, so the walk may end after 2048 free ones (the whole range takes 3 s).
  DWORD count = 0, flags = 0, freeInARow = 0;
  for (ULONG_PTR value = 4; value < 0x40000 && freeInARow < 2048; value += 4) {
    if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) {
      ++count;
      freeInARow = 0;
    } else {
      ++freeInARow;
    }
  }
  return count;
}
