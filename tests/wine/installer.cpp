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
    ADD_FAILURE() << "no export " << name;
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

static std::map<std::string, std::string> g_args;  // read only once main runs

const std::string& Arg(const char* key) { return g_args[key]; }

int RunAll(int argc, char** argv) {
  std::setvbuf(stdout, nullptr, _IONBF, 0);  // a case that hangs or crashes has said all it could
  testing::InitGoogleTest(&argc, argv);
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    size_t eq = a.find('=');
    if (eq != std::string::npos) g_args[a.substr(0, eq)] = a.substr(eq + 1);
  }
  return RUN_ALL_TESTS();
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
