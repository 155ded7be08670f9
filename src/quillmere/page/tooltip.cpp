// AddTooltip: a tooltip on any control of the installer window.
#include <windows.h>

#include <commctrl.h>

#include "frame/plugin.h"

namespace tv {
namespace {

Frame& TooltipFrame() {
  static Frame frame;
  return frame;
}

// The widest a tip grows when the script gives no width.
constexpr int kDefaultTipWidth = 520;
// How long a tip stays up, in milliseconds.
constexpr int kTipShowTime = 32767;

}  // namespace
}  // namespace tv

using namespace tv;

// Pops the control's window handle, the text and the widest the tip may grow (pixels at 96 DPI;
// 0 or less: 520). Empties the stack; leaves "success", or "error" when there was no text.
TARVOLK_EXPORT(AddTooltip, TooltipFrame) {
  HWND control = reinterpret_cast<HWND>(static_cast<INT_PTR>(frame.popint()));
  Arg text(frame);
  if (!PopArg(frame, text)) {
    frame.clearstack();
    frame.pushword("error");
    return;
  }
  int width = frame.popint();
  INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_BAR_CLASSES};
  InitCommonControlsEx(&controls);
  HWND tip = TV_AW(CreateWindowEx)(0, TV_AW(TOOLTIPS_CLASS), nullptr, WS_POPUP | TTS_ALWAYSTIP, CW_USEDEFAULT,
                                   CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, static_cast<HWND>(frame.hwndParent),
                                   nullptr, g_instance, nullptr);
  if (tip != nullptr) {
    TV_AW(SendMessage)(tip, TTM_SETDELAYTIME, TTDT_AUTOPOP, MAKELPARAM(kTipShowTime, 0));
    TV_AW(TTTOOLINFO) tool = {};
    #ifdef TARVOLK_UNICODE
    tool.cbSize = TTTOOLINFOW_V2_SIZE;  // the size every version of the common controls takes
#else
    tool.cbSize = TTTOOLINFOA_V2_SIZE;
#endif
    tool.uFlags = TTF_SUBCLASS;
    tool.hwnd = control;
    GetClientRect(control, &tool.rect);
    tool.lpszText = text.data();  // the tooltip keeps a copy of its own
    TV_AW(SendMessage)(tip, TV_AW(TTM_ADDTOOL), 0, reinterpret_cast<LPARAM>(&tool));
    // The width is a script's 96-DPI pixels: a DPI-aware installer's tip is as wide on its screen.
    HDC screen = GetDC(nullptr);
    int dpi = screen != nullptr ? GetDeviceCaps(screen, LOGPIXELSX) : 96;
    if (screen != nullptr) ReleaseDC(nullptr, screen);
    TV_AW(SendMessage)(tip, TTM_SETMAXTIPWIDTH, 0, MulDiv(width > 0 ? width : kDefaultTipWidth, dpi, 96));
  }
  frame.clearstack();
  frame.pushword("success");
}
