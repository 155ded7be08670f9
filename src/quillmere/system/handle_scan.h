// The open-file handle scan: reads the system-wide handle table and reports, for every handle
// open on a file or a folder, the owning process with the drive-letter path in itemPath. Each
// query of a foreign handle runs in a worker thread that is terminated when one takes longer
// than 200 ms; only handles of type "File" whose device is a disk are asked their name.
#pragma once
#include "quillmere/system/engine.h"

namespace tv {

// One row of the system's handle table, in full width where the system gives it.
struct SystemHandle {
  DWORD processId;
  ULONG_PTR handleValue;
  USHORT typeIndex;
};

// The handle table: the extended form (full-width ids and handle values) where the system has
// it, else the classic one, whose ids and values are 16 bits wide.
class HandleTable {
 public:
  HandleTable() = default;
  ~HandleTable();
  HandleTable(const HandleTable&) = delete;
  HandleTable& operator=(const HandleTable&) = delete;

  bool Read();  // false when neither form can be read
  DWORD Count() const { return count_; }
  bool Extended() const { return extended_; }
  SystemHandle At(DWORD i) const;

 private:
  void* buffer_ = nullptr;
  DWORD count_ = 0;
  bool extended_ = false;
};

// How a pass ran its queries: the handles it looked at, and the worker threads it used.
struct HandleScanStats {
  DWORD handlesExamined;  // table rows that reached the type test
  DWORD typeQueries;      // type names asked (once per type index and pass)
  DWORD otherTypes;       // of those, types other than "File"
  DWORD fileHandles;      // rows of type "File": their device type is asked
  DWORD diskFiles;        // of those, on a disk (or CD, DVD, network file system): their name is asked
  DWORD orders;           // batches of handles handed to a worker
  DWORD workersStarted;   // worker threads started: one, and one more after each termination
  DWORD workersKilled;    // workers terminated because a query ran out of time
};
const HandleScanStats& LastHandleScanStats();

// The number of rows of the handle table, 0 when it cannot be read.
DWORD CountSystemHandles();
// True when the table was walked to its end (or could not be read); false when the callback
// stopped the pass or the search was cancelled.
bool EnumFileHandleEntries(EntryCallback callback, const EnumRequest* request);

}  // namespace tv
