// Included ahead of GoogleTest in the cross builds: mingw-w64's win32 threads have no std::mutex,
// which GoogleTest's Notification would be built on; this one is a Win32 event.
#pragma once
#include <windows.h>
#define GTEST_HAS_NOTIFICATION_ 1
namespace testing::internal {
class Notification {
 public:
  Notification() : event_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}
  ~Notification() { CloseHandle(event_); }
  Notification(const Notification&) = delete;
  Notification& operator=(const Notification&) = delete;
  void Notify() { SetEvent(event_); }
  void WaitForNotification() { WaitForSingleObject(event_, INFINITE); }

 private:
  HANDLE event_;
};
}  // namespace testing::internal
