#include "frame/plugin.h"

namespace tv {

DWORD WaitServingSent(DWORD count, const HANDLE* objects, DWORD milliseconds) {
  const DWORD start = GetTickCount();
  for (;;) {
    DWORD passed = GetTickCount() - start;
    DWORD left = milliseconds == INFINITE ? INFINITE : passed >= milliseconds ? 0 : milliseconds - passed;
    DWORD woke = MsgWaitForMultipleObjects(count, objects, FALSE, left, QS_SENDMESSAGE);
    if (woke != WAIT_OBJECT_0 + count) return woke;
    MSG message;
    TV_AW(PeekMessage)(&message, nullptr, 0, 0, PM_NOREMOVE);  // runs the sent messages
  }
}

}  // namespace tv
