// What every case file of the Wine harness shares.
#pragma once
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
