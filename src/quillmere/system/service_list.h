// The Win32 services of the machine and the processes they run in, so that a program found
// holding a file can be recognised as a service and stopped through the Service Control Manager.
#pragma once
#include "frame/buffer.h"
#include "frame/owned.h"
#include "frame/plugin.h"

namespace tv {

#ifdef TARVOLK_UNICODE
using ServiceEntry = ENUM_SERVICE_STATUS_PROCESSW;
#else
using ServiceEntry = ENUM_SERVICE_STATUS_PROCESSA;
#endif

// The stop dialog's default caption; "%s" is the service's key name.
extern const tchar kDefaultStopCaption[];

// Resource id of the stop dialog and of its progress bar.
constexpr int kStopDialogId = 104;
constexpr int kStopProgressId = 1234;

// A snapshot of the services, taken when the list is built. Entries point into strings the list
// owns: copies of an entry stay valid while the list lives.
class ServiceList {
 public:
  // captionFormat: one "%s" for the service name; null for the default caption.
  // A list that finds no memory for the snapshot stays empty (or holds the pages it could keep).
  ServiceList(HINSTANCE instance, HWND parent, const tchar* captionFormat);
  ~ServiceList();
  ServiceList(const ServiceList&) = delete;
  ServiceList& operator=(const ServiceList&) = delete;

  int Count() const { return static_cast<int>(entries_.size()); }
  const ServiceEntry& At(int i) const { return entries_[static_cast<size_t>(i)]; }

  // The first service, in enumeration order, that runs in the process.
  bool FindServiceOfProcess(DWORD processId, ServiceEntry* entry) const;
  // Stops the service (StopAndWait: until it has stopped and, alone in its process, that process
  // has ended too), with the progress dialog over the disabled parent window for at most 30 s,
  // or without one on the calling thread for at most limitMs (0: only asks). A service that
  // stops already, or has stopped, is left alone.
  void Stop(const ServiceEntry& entry, bool withDialog, DWORD limitMs = 30000);

 private:
  void Load();
  void RunStopDialog(const tchar* serviceName, HANDLE worker);

  HINSTANCE instance_;
  HWND parent_;
  ServiceHandle manager_;
  Buffer<ServiceEntry> entries_;
  Buffer<BYTE*> pages_;  // the enumeration answers the entries' strings live in (StackAlloc blocks)
  BasicText<tchar> captionFormat_;
};

// The worker of a stop: StopAndWait for at most 30 s, then sets the stop-done flag. The argument
// points to the service handle.
DWORD WINAPI StopWaitThread(LPVOID serviceHandle);

}  // namespace tv
