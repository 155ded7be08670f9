// What screen readers see of the page's list: the system's own accessible object for it, with the
// names that the page knows better. The list is named by its label (the explanation above it),
// each row reads "program, file" (the status row: its text), and its value is the number of
// programs listed. oleacc.dll is loaded from the system folder when a client first asks.
#include <windows.h>

#include <oleacc.h>

#include <new>

#include "quillmere/page/page.h"
#include "quillmere/system/width.h"
#include "resources/page_ids.h"

namespace tv {
namespace {

const IID kIidAccessible = {0x618736e0, 0x3c3d, 0x11cf, {0x81, 0x0c, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};
const IID kIidDispatch = {0x00020400, 0x0000, 0x0000, {0xc0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const IID kIidUnknown = {0x00000000, 0x0000, 0x0000, {0xc0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

using CreateStdFn = HRESULT(WINAPI*)(HWND, LONG, REFIID, void**);
using LresultFn = LRESULT(WINAPI*)(REFIID, WPARAM, LPUNKNOWN);

struct Oleacc {
  CreateStdFn createStd = nullptr;
  LresultFn lresultFrom = nullptr;
};

// Loaded once, from the system folder only, and kept for the life of the process.
const Oleacc& OleaccApi() {
  static Oleacc api;
  static bool tried = false;
  if (!tried) {
    tried = true;
    tchar path[MAX_PATH + 16];
    if (SystemFilePath(TV_T("\\oleacc.dll"), path)) {
      if (HMODULE dll = TV_AW(LoadLibrary)(path)) {
        api.createStd = reinterpret_cast<CreateStdFn>(reinterpret_cast<void*>(GetProcAddress(dll, "CreateStdAccessibleObject")));
        api.lresultFrom = reinterpret_cast<LresultFn>(reinterpret_cast<void*>(GetProcAddress(dll, "LresultFromObject")));
      }
    }
  }
  return api;
}

bool SameIid(REFIID a, const IID& b) { return IsEqualGUID(a, b) != 0; }

BSTR AllocText(const tchar* text, std::size_t length) {
#ifdef TARVOLK_UNICODE
  return SysAllocStringLen(text, static_cast<UINT>(length));
#else
  int wide = MultiByteToWideChar(CP_ACP, 0, text, static_cast<int>(length), nullptr, 0);
  BSTR out = SysAllocStringLen(nullptr, static_cast<UINT>(wide));
  if (out != nullptr) MultiByteToWideChar(CP_ACP, 0, text, static_cast<int>(length), out, wide);
  return out;
#endif
}

// The list's accessible object. It keeps only the list's window: every answer is read from the
// list when it is asked, so that a client that holds the object past the page's end is told the
// object has gone.
class ListAccessible final : public IAccessible {
 public:
  ListAccessible(HWND list, IAccessible* inner) : list_(list), inner_(inner) {}

  // IUnknown
  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    if (out == nullptr) return E_POINTER;
    if (SameIid(iid, kIidUnknown) || SameIid(iid, kIidDispatch) || SameIid(iid, kIidAccessible)) {
      *out = static_cast<IAccessible*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }
  STDMETHODIMP_(ULONG) Release() override {
    LONG left = InterlockedDecrement(&refs_);
    if (left == 0) {
      inner_->Release();
      this->~ListAccessible();
      StackFree(this);
    }
    return static_cast<ULONG>(left);
  }

  // IDispatch: the system's object answers.
  STDMETHODIMP GetTypeInfoCount(UINT* n) override { return inner_->GetTypeInfoCount(n); }
  STDMETHODIMP GetTypeInfo(UINT i, LCID l, ITypeInfo** t) override { return inner_->GetTypeInfo(i, l, t); }
  STDMETHODIMP GetIDsOfNames(REFIID r, LPOLESTR* n, UINT c, LCID l, DISPID* d) override {
    return inner_->GetIDsOfNames(r, n, c, l, d);
  }
  STDMETHODIMP Invoke(DISPID d, REFIID r, LCID l, WORD f, DISPPARAMS* p, VARIANT* v, EXCEPINFO* e,
                      UINT* a) override {
    return inner_->Invoke(d, r, l, f, p, v, e, a);
  }

  // IAccessible: names and the value are the page's; everything else is the system's.
  STDMETHODIMP get_accName(VARIANT child, BSTR* name) override {
    if (name == nullptr) return E_POINTER;
    *name = nullptr;
    if (!IsWindow(list_)) return RPC_E_DISCONNECTED;
    if (child.vt != VT_I4) return E_INVALIDARG;
    BasicText<tchar> text;
    if (child.lVal == CHILDID_SELF) {
      if (!LabelText(&text)) return E_OUTOFMEMORY;
    } else {
      int row = child.lVal - 1;
      if (row < 0 || row >= ListRowCount(list_)) return E_INVALIDARG;
      if (!RowText(row, &text)) return E_OUTOFMEMORY;
    }
    *name = AllocText(text.c_str(), text.size());
    return *name != nullptr ? S_OK : E_OUTOFMEMORY;
  }
  STDMETHODIMP get_accValue(VARIANT child, BSTR* value) override {
    if (child.vt != VT_I4 || child.lVal != CHILDID_SELF) return inner_->get_accValue(child, value);
    if (value == nullptr) return E_POINTER;
    if (!IsWindow(list_)) return RPC_E_DISCONNECTED;
    tchar digits[kIntTextSize];
    FormatInt(static_cast<std::int32_t>(ProgramRows(list_)), digits);
    *value = AllocText(digits, Length(digits));
    return *value != nullptr ? S_OK : E_OUTOFMEMORY;
  }
  STDMETHODIMP get_accParent(IDispatch** d) override { return inner_->get_accParent(d); }
  STDMETHODIMP get_accChildCount(LONG* n) override { return inner_->get_accChildCount(n); }
  STDMETHODIMP get_accChild(VARIANT c, IDispatch** d) override { return inner_->get_accChild(c, d); }
  STDMETHODIMP get_accDescription(VARIANT c, BSTR* s) override { return inner_->get_accDescription(c, s); }
  STDMETHODIMP get_accRole(VARIANT c, VARIANT* r) override { return inner_->get_accRole(c, r); }
  STDMETHODIMP get_accState(VARIANT c, VARIANT* s) override { return inner_->get_accState(c, s); }
  STDMETHODIMP get_accHelp(VARIANT c, BSTR* s) override { return inner_->get_accHelp(c, s); }
  STDMETHODIMP get_accHelpTopic(BSTR* f, VARIANT c, LONG* t) override { return inner_->get_accHelpTopic(f, c, t); }
  STDMETHODIMP get_accKeyboardShortcut(VARIANT c, BSTR* s) override {
    return inner_->get_accKeyboardShortcut(c, s);
  }
  STDMETHODIMP get_accFocus(VARIANT* c) override { return inner_->get_accFocus(c); }
  STDMETHODIMP get_accSelection(VARIANT* c) override { return inner_->get_accSelection(c); }
  STDMETHODIMP get_accDefaultAction(VARIANT c, BSTR* s) override { return inner_->get_accDefaultAction(c, s); }
  STDMETHODIMP accSelect(LONG f, VARIANT c) override { return inner_->accSelect(f, c); }
  STDMETHODIMP accLocation(LONG* x, LONG* y, LONG* w, LONG* h, VARIANT c) override {
    return inner_->accLocation(x, y, w, h, c);
  }
  STDMETHODIMP accNavigate(LONG d, VARIANT s, VARIANT* e) override { return inner_->accNavigate(d, s, e); }
  STDMETHODIMP accHitTest(LONG x, LONG y, VARIANT* c) override { return inner_->accHitTest(x, y, c); }
  STDMETHODIMP accDoDefaultAction(VARIANT c) override { return inner_->accDoDefaultAction(c); }
  STDMETHODIMP put_accName(VARIANT c, BSTR s) override { return inner_->put_accName(c, s); }
  STDMETHODIMP put_accValue(VARIANT c, BSTR s) override { return inner_->put_accValue(c, s); }

 private:
  // The explanation's text without its access-key marks ("&&" stands for "&").
  bool LabelText(BasicText<tchar>* out) const {
    HWND label = GetDlgItem(GetParent(list_), IDC_PROGRAMS_EXPLANATION);
    int length = TV_AW(GetWindowTextLength)(label);
    BasicText<tchar> raw;
    if (!raw.Resize(static_cast<std::size_t>(length) + 1)) return false;
    TV_AW(GetWindowText)(label, raw.data(), length + 1);
    if (!out->Resize(0)) return false;
    for (const tchar* c = raw.c_str(); *c != 0; ++c) {
      if (*c == TV_T('&') && *++c == 0) break;
      if (!out->Append(*c)) return false;
    }
    return true;
  }
  // "first, second"; the first alone where the second is empty (the status row).
  bool RowText(int row, BasicText<tchar>* out) const {
    BasicText<tchar> second;
    if (!ListCellText(list_, row, 0, out) || !ListCellText(list_, row, 1, &second)) return false;
    return second.empty() || (out->Append(TV_T(", ")) && out->Append(second.c_str()));
  }

  LONG refs_ = 1;
  HWND list_;
  IAccessible* inner_;
};

}  // namespace

int ProgramRows(HWND list) {
  int rows = 0;
  for (int row = ListRowCount(list) - 1; row >= 0; --row)
    if (ListRowRecord(list, row) != nullptr) ++rows;
  return rows;
}

LRESULT AnswerGetObject(ProgramsPage& p, WPARAM flags, LPARAM objectId) {
  if (static_cast<LONG>(objectId) != static_cast<LONG>(OBJID_CLIENT)) return 0;
  const Oleacc& api = OleaccApi();
  if (api.createStd == nullptr || api.lresultFrom == nullptr) return 0;
  if (p.accessible == nullptr) {
    IAccessible* inner = nullptr;
    if (FAILED(api.createStd(p.list, OBJID_CLIENT, kIidAccessible, reinterpret_cast<void**>(&inner))) ||
        inner == nullptr)
      return 0;
    void* block = StackAlloc(sizeof(ListAccessible));
    if (block == nullptr) {
      inner->Release();
      return 0;
    }
    p.accessible = new (block) ListAccessible(p.list, inner);
  }
  LRESULT answer = api.lresultFrom(kIidAccessible, flags, p.accessible);
  return answer > 0 ? answer : 0;
}

void ReleaseAccessible(ProgramsPage& p) {
  if (p.accessible == nullptr) return;
  // Clients in other processes that still hold it are cut off: its code may be unloaded.
  CoDisconnectObject(p.accessible, 0);
  p.accessible->Release();
  p.accessible = nullptr;
}

// The page's own thread raises the events (kAnnounce): under Wine an event that a worker thread
// raises reaches no screen reader that began listening after that thread last heard from its
// message queue.
void AnnounceStatusRow(const ProgramsPage& p, int row) { PostT(p.page, kAnnounce, EVENT_OBJECT_NAMECHANGE, row + 1); }

void AnnounceProgramCount(const ProgramsPage& p) { PostT(p.page, kAnnounce, EVENT_OBJECT_VALUECHANGE, CHILDID_SELF); }

}  // namespace tv
