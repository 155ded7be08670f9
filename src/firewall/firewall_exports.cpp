// FirewallIsAvailable, FirewallAddApplication, FirewallRemoveApplication, FirewallAddPort and
// FirewallRemovePort. Each builds its own FirewallAccess before it pops anything and releases
// it after it has pushed; each empties the whole stack before it pushes its results.
#include "firewall/firewall_access.h"
#include "frame/plugin.h"

using namespace tv;

namespace {

// A path or name in UTF-16 for the firewall, at most 1023 units. The ANSI build converts the
// script's text with the ANSI code page; the Unicode builds take the script's UTF-16 as it is.
// Text that does not fit is left empty, so the operation refuses it (11) instead of cutting it.
class WideText {
 public:
  explicit WideText(const tchar* text) {
#ifdef TARVOLK_UNICODE
    CopyWhole(text_, kFirewallTextCapacity, text);
#else
    if (MultiByteToWideChar(CP_ACP, 0, text, -1, text_, kFirewallTextCapacity) == 0) text_[0] = L'\0';
#endif
  }
  const wchar_t* get() const { return text_; }

 private:
  wchar_t text_[kFirewallTextCapacity] = {};
};

// The code with "success" on top for 0, "error" for any other code.
void ReportCode(Frame& frame, FW_ERROR_CODE code) {
  frame.clearstack();
  frame.pushint(code);
  frame.pushword(code == FW_OK ? "success" : "error");
}

void ReportError(Frame& frame) {
  frame.clearstack();
  frame.pushword("error");
}

enum class AppOperation { kAdd, kRemove };

// Pops the path, the name and the optional protocol word (any protocol when there is none).
void ApplicationExport(Frame& frame, AppOperation operation) {
  FirewallAccess firewall;
  if (!firewall.IsAvailable()) {
    frame.clearstack();
    if (operation == AppOperation::kAdd) frame.pushint(FW_COLLECTION_REMOVE);
    frame.pushword("error");
    return;
  }
  Arg path(frame), name(frame), word(frame);
  if (!PopArg(frame, path) || !PopArg(frame, name)) return ReportError(frame);
  std::int32_t protocol = PopArg(frame, word) ? ApplicationProtocol(word.c_str()) : kProtocolAny;
  WideText widePath(path.c_str()), wideName(name.c_str());
  ReportCode(frame, operation == AppOperation::kAdd
                        ? firewall.AddApplication(widePath.get(), protocol, wideName.get())
                        : firewall.RemoveApplication(widePath.get(), protocol, wideName.get()));
}

enum class PortOperation { kAdd, kRemove };

// Pops the port number, the protocol word and the name; all three are required.
void PortExport(Frame& frame, PortOperation operation) {
  FirewallAccess firewall;
  if (!firewall.IsAvailable()) return ReportError(frame);
  Arg number(frame), word(frame), name(frame);
  if (!PopArg(frame, number) || !PopArg(frame, word) || !PopArg(frame, name)) return ReportError(frame);
  std::int32_t port = myatoi(number.c_str());
  std::int32_t protocol = PortProtocol(word.c_str());
  WideText wideName(name.c_str());
  ReportCode(frame, operation == PortOperation::kAdd ? firewall.AddPort(port, protocol, wideName.get())
                                                     : firewall.RemovePort(port, protocol, wideName.get()));
}

}  // namespace

// "1" when the firewall can be reached through either interface generation, else "0"; the
// stack holds nothing else afterwards.
TARVOLK_EXPORT(FirewallIsAvailable, SystemFrame) {
  FirewallAccess firewall;
  frame.clearstack();
  frame.pushint(firewall.IsAvailable() ? 1 : 0);
}

TARVOLK_EXPORT(FirewallAddApplication, SystemFrame) { ApplicationExport(frame, AppOperation::kAdd); }

TARVOLK_EXPORT(FirewallRemoveApplication, SystemFrame) { ApplicationExport(frame, AppOperation::kRemove); }

TARVOLK_EXPORT(FirewallAddPort, SystemFrame) { PortExport(frame, PortOperation::kAdd); }

TARVOLK_EXPORT(FirewallRemovePort, SystemFrame) { PortExport(frame, PortOperation::kRemove); }
