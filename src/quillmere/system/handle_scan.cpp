#include "quillmere/system/handle_scan.h"

#include <winioctl.h>

#include "frame/owned.h"
#include "quillmere/system/path_text.h"
#include "quillmere/system/width.h"

namespace tv {
namespace {

constexpr ULONG kSystemHandleInformation = 16;
constexpr ULONG kSystemExtendedHandleInformation = 64;
constexpr ULONG kObjectNameInformation = 1;
constexpr ULONG kObjectTypeInformation = 2;
constexpr ULONG kFileFsDeviceInformation = 4;
constexpr LONG kInfoLengthMismatch = static_cast<LONG>(0xC0000004);
constexpr SIZE_T kTableLimit = 0x1000000;  // 16 MiB
constexpr DWORD kQueryLimitMs = 200;       // what one query on a foreign handle may take
constexpr DWORD kThreadEndMs = 1000;       // how long a worker is given to end
constexpr ULONG kQueryBytes = 1024;
constexpr DWORD kOrderRows = 128;          // rows handed to the worker at once
constexpr DWORD kQuitOrder = 0xFFFFFFFFu;  // the order that ends the worker
constexpr DWORD kTypeIndexes = 0x10000;
constexpr DWORD kCancelPollMs = 10;        // how often the search's cancel event is looked at

// The classic row: 16-bit process id and handle value.
struct ClassicRow {
  USHORT processId;
  USHORT creatorBackTraceIndex;
  UCHAR objectTypeIndex;
  UCHAR attributes;
  USHORT handleValue;
  void* object;
  ULONG grantedAccess;
};
struct ClassicTable {
  ULONG count;
  ClassicRow rows[1];
};
struct ExtendedRow {
  void* object;
  ULONG_PTR processId;
  ULONG_PTR handleValue;
  ULONG grantedAccess;
  USHORT creatorBackTraceIndex;
  USHORT objectTypeIndex;
  ULONG attributes;
  ULONG reserved;
};
struct ExtendedTable {
  ULONG_PTR count;
  ULONG_PTR reserved;
  ExtendedRow rows[1];
};
static_assert(sizeof(ClassicRow) == (sizeof(void*) == 4 ? 16 : 24), "classic handle row");
static_assert(sizeof(ExtendedRow) == (sizeof(void*) == 4 ? 28 : 40), "extended handle row");

struct CountedName {  // UNICODE_STRING
  USHORT length;
  USHORT maximumLength;
  wchar_t* buffer;
};

enum TypeVerdict : BYTE { kTypeUnknown = 0, kTypeFile = 1, kTypeOther = 2 };

// One handle of an order: the pass fills in handle and typeIndex, the worker the rest.
struct QuerySlot {
  HANDLE handle;  // valid in this process
  USHORT typeIndex;
  volatile BYTE verdict;    // what the type of the handle is
  volatile BYTE typeAsked;  // the worker asked the system for the type name
  volatile BYTE onDisk;     // a file object whose device holds files with paths
  volatile BYTE named;      // result holds the object's name
  alignas(8) BYTE result[kQueryBytes];
};

// What the pass and one worker share. The worker writes only here; the block is released only
// once its thread is known to have ended, and a worker that overran is never handed it again.
// Two sets of slots let the pass read the answers to one order while the worker answers the next.
struct WorkerBlock {
  HANDLE order;  // auto-reset: rowCount slots of slots[set] wait for answers (or the worker is to end)
  HANDLE done;   // auto-reset: every slot of the order is answered
  DWORD set;
  DWORD rowCount;
  volatile LONG currentRow;    // slots below it are answered
  volatile LONG queriesBegun;  // bumped as each query begins, after queryStart
  volatile DWORD queryStart;   // tick count at which the current query began
  BYTE verdicts[kTypeIndexes];  // the worker's own record of the types it has seen
  QuerySlot slots[2][kOrderRows];
};

HandleScanStats g_stats = {};

// The counted name at the start of the result (the object's type or name), in the stack's width.
void CountedNameText(const BYTE* result, tchar* out) {
  const auto* name = reinterpret_cast<const CountedName*>(result);
  out[0] = 0;
  const BYTE* end = result + kQueryBytes;
  const BYTE* text = reinterpret_cast<const BYTE*>(name->buffer);
  // The system puts the characters into the same buffer; anything else is not trusted.
  if (name->buffer == nullptr || text < result || text + name->length > end) return;
  FromNative(name->buffer, name->length / 2, out, kQueryBytes);
}

// Files and folders of the file systems are objects of type "File" (pipes, consoles, sockets and
// devices too); "Directory" objects are the object manager's own, never paths on a drive.
bool IsFileType(const tchar* type) { return TextCompareNoCase(type, TV_T("File")) == 0; }

// The devices whose file objects are files or folders with a path: disks, CDs and DVDs, virtual
// disks, network and distributed file systems.
bool IsDiskDevice(ULONG deviceType) {
  switch (deviceType) {
    case FILE_DEVICE_CD_ROM:
    case FILE_DEVICE_CD_ROM_FILE_SYSTEM:
    case FILE_DEVICE_DFS:
    case FILE_DEVICE_DISK:
    case FILE_DEVICE_DISK_FILE_SYSTEM:
    case FILE_DEVICE_NETWORK_FILE_SYSTEM:
    case FILE_DEVICE_VIRTUAL_DISK:
    case FILE_DEVICE_NETWORK_REDIRECTOR:
    case FILE_DEVICE_DVD:
    case FILE_DEVICE_DFS_FILE_SYSTEM:
    case FILE_DEVICE_DFS_VOLUME:
      return true;
    default:
      return false;
  }
}

// ---- the worker thread ----

void BeginQuery(WorkerBlock* block, QuerySlot& slot) {
  ZeroMemory(slot.result, kQueryBytes);
  block->queryStart = GetTickCount();
  InterlockedIncrement(&block->queriesBegun);
}

// The type of the handle (asked once per type index and worker); for a file object, the type of
// its device; for one on a disk (or a CD, a DVD, a network file system), its name. Pipes,
// consoles, sockets and other devices are never asked their name, the query that most often
// hangs on them. The device query stays in the worker all the same: on Windows it goes to the
// driver as GetFileType's does, and waits, like every query of a file object opened for
// synchronous I/O, while its owner has such an I/O pending on it (a read on a pipe). Wine 8
// answers it from the server without waiting.
void AnswerSlot(WorkerBlock* block, QuerySlot& slot) {
  BYTE verdict = block->verdicts[slot.typeIndex];
  if (verdict == kTypeUnknown) {
    slot.typeAsked = 1;
    BeginQuery(block, slot);
    if (Api().NtQueryObject(slot.handle, kObjectTypeInformation, slot.result, kQueryBytes, nullptr) >= 0) {
      tchar type[kQueryBytes];
      CountedNameText(slot.result, type);
      if (type[0] != 0) verdict = IsFileType(type) ? kTypeFile : kTypeOther;
      block->verdicts[slot.typeIndex] = verdict;
    }
  }
  slot.verdict = verdict;
  if (verdict != kTypeFile) return;
  alignas(8) BYTE ioStatus[2 * sizeof(void*)] = {};
  BeginQuery(block, slot);
  // FILE_FS_DEVICE_INFORMATION: the device type, then its characteristics.
  if (Api().NtQueryVolumeInformationFile(slot.handle, ioStatus, slot.result, 2 * sizeof(ULONG),
                                         kFileFsDeviceInformation) < 0 ||
      !IsDiskDevice(*reinterpret_cast<const ULONG*>(slot.result)))
    return;
  slot.onDisk = 1;
  BeginQuery(block, slot);
  slot.named = Api().NtQueryObject(slot.handle, kObjectNameInformation, slot.result, kQueryBytes, nullptr) >= 0;
}

// Answers order after order until told to end.
DWORD WINAPI WorkerLoop(void* arg) {
  auto* block = static_cast<WorkerBlock*>(arg);
  if (WaitForSingleObject(block->order, INFINITE) != WAIT_OBJECT_0) return 0;
  while (block->rowCount != kQuitOrder) {
    QuerySlot* slots = block->slots[block->set];
    for (DWORD i = 0; i < block->rowCount; ++i) {
      block->currentRow = static_cast<LONG>(i);
      AnswerSlot(block, slots[i]);
    }
    block->currentRow = static_cast<LONG>(block->rowCount);
    if (SignalObjectAndWait(block->done, block->order, INFINITE, FALSE) != WAIT_OBJECT_0) return 0;
  }
  return 1;
}

// ---- the pass's side ----

// One worker thread with its two events and its block.
class QueryWorker {
 public:
  QueryWorker() = default;
  ~QueryWorker() { Stop(); }
  QueryWorker(const QueryWorker&) = delete;
  QueryWorker& operator=(const QueryWorker&) = delete;

  // Starts a worker with a fresh block that knows the types in verdicts.
  bool Start(const BYTE* verdicts) {
    Stop();
    block_.reset(GlobalAlloc(GPTR, sizeof(WorkerBlock)));
    order_.reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    done_.reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    if (!block_ || !order_ || !done_) return false;
    WorkerBlock* block = Block();
    block->order = order_.get();
    block->done = done_.get();
    CopyMemory(block->verdicts, verdicts, kTypeIndexes);
    thread_.reset(CreateThread(nullptr, 64 * 1024, &WorkerLoop, block, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr));
    if (!thread_) return false;
    ++g_stats.workersStarted;
    return true;
  }

  // A worker that can take an order: started, not busy, and never overrun.
  bool Ready() const { return thread_ && !overran_ && !busy_; }
  WorkerBlock* Block() const { return static_cast<WorkerBlock*>(block_.get()); }

  // Hands the worker the first rows slots of the set; Await collects the answers.
  void Send(DWORD set, DWORD rows) {
    WorkerBlock* block = Block();
    block->set = set;
    block->rowCount = rows;
    block->currentRow = 0;
    block->queryStart = GetTickCount();  // also times the worker's way to its first query
    rows_ = rows;
    busy_ = true;
    SetEvent(order_.get());
  }

  // Waits for the order while each query is within kQueryLimitMs of its start. Returns the
  // number of slots answered: all of them, or fewer when a query ran out of time; the worker is
  // then terminated, the slot at the returned index is lost with it, and the block may still be
  // read but is never handed to a worker again.
  DWORD Await() {
    busy_ = false;
    WorkerBlock* block = Block();
    for (;;) {
      LONG begun;
      DWORD start;
      do {
        begun = block->queriesBegun;
        start = block->queryStart;
      } while (begun != block->queriesBegun);
      DWORD elapsed = GetTickCount() - start;
      DWORD wait = WaitForSingleObject(done_.get(), elapsed < kQueryLimitMs ? kQueryLimitMs - elapsed : 0);
      if (wait == WAIT_OBJECT_0) return rows_;
      if (wait != WAIT_TIMEOUT || elapsed >= kQueryLimitMs) break;
    }
    TerminateThread(thread_.get(), 0);
    overran_ = true;
    ++g_stats.workersKilled;
    // Read after the termination: the worker moves only forward, so the slots below are final.
    DWORD answered = static_cast<DWORD>(block->currentRow);
    return answered < rows_ ? answered : rows_;
  }

  // Ends the worker: one that is waiting for orders is told to end, one that overran is
  // terminated. The block and the events are released once the thread has ended; a thread that
  // cannot be seen to end keeps them for good, since it might still write to them.
  void Stop() {
    if (thread_) {
      if (busy_) Await();
      if (!overran_) {
        Block()->rowCount = kQuitOrder;
        SetEvent(order_.get());
        if (WaitForSingleObject(thread_.get(), kThreadEndMs) != WAIT_OBJECT_0) {
          TerminateThread(thread_.get(), 0);
          overran_ = true;
        }
      }
      if (overran_ && WaitForSingleObject(thread_.get(), kThreadEndMs) != WAIT_OBJECT_0) {
        block_.release();
        order_.release();
        done_.release();
      }
      thread_.reset();
    }
    overran_ = false;
    busy_ = false;
    block_.reset();
    order_.reset();
    done_.reset();
  }

 private:
  KernelHandle thread_, order_, done_;
  GlobalBlock block_;
  DWORD rows_ = 0;
  bool busy_ = false;
  bool overran_ = false;
};

// The pass's worker. After a termination the next order gets a new worker with a new block,
// made before the old one is released, so a new block never takes the place of one that a
// terminated worker might still write to.
class WorkerPool {
 public:
  explicit WorkerPool(const BYTE* verdicts) : verdicts_(verdicts) {}

  // The worker for the next order; null when none can be started.
  QueryWorker* Ready() {
    QueryWorker& live = workers_[live_];
    if (live.Ready()) return &live;
    int other = 1 - live_;
    bool started = workers_[other].Start(verdicts_);
    live.Stop();
    live_ = other;
    return started ? &workers_[live_] : nullptr;
  }

 private:
  const BYTE* verdicts_;
  QueryWorker workers_[2];
  int live_ = 0;
};

// Handles of one process for the worker, with the table positions they came from. Each order
// uses its own set of slots in the worker's block.
struct Order {
  DWORD set = 0;
  DWORD count = 0;
  DWORD sent = 0;                  // the rows before it are answered (or lost) and reported
  QueryWorker* worker = nullptr;   // the worker that has the rows from sent on
  ProcessEntry entry;              // the process the handles belong to, and what is reported
  HANDLE handles[kOrderRows];
  USHORT typeIndexes[kOrderRows];
  DWORD positions[kOrderRows];
  KernelHandle duplicates[kOrderRows];  // those made for this order

  void Clear() {
    for (DWORD i = 0; i < count; ++i) duplicates[i].reset();
    count = sent = 0;
    worker = nullptr;
  }
};

// The pass. While the worker answers one order, the pass duplicates the handles of the next
// and reports the answers to the one before, so the two threads seldom wait for each other.
class HandleScan {
 public:
  HandleScan(EntryCallback callback, const EnumRequest* request)
      : callback_(callback), request_(request), verdicts_(GlobalAlloc(GPTR, kTypeIndexes)), pool_(Verdicts()) {
    orders_[1].set = 1;
  }

  bool Ready() const { return static_cast<bool>(verdicts_); }

  bool Run(const HandleTable& table) {
    DWORD lastProcess = 0xFFFFFFFFu;
    bool skipped = false;
    for (DWORD i = 0; i < table.Count(); ++i) {
      SystemHandle row = table.At(i);
      if (row.processId != lastProcess) {
        if (!Submit()) return false;
        lastProcess = row.processId;
        process_.processId = row.processId;
        FillImagePath(&process_);
        skipped = PathEndsWith(process_.imagePath, TV_T("\\mdm.exe")) ||
                  PathEndsWith(process_.imagePath, TV_T("\\services.exe"));
        processHandle_.reset();
        processFailed_ = false;
      }
      if (!skipped) {
        ++g_stats.handlesExamined;
        // A type already known to be neither file nor folder needs no duplicate and no query.
        if (Verdicts()[row.typeIndex] != kTypeOther) AddRow(row, i + 1, table.Count());
        if (orders_[building_].count == kOrderRows && !Submit()) return false;
      }
      if (Cancelled()) return false;
    }
    return Submit() && Submit();  // the last order, then its answers
  }

 private:
  BYTE* Verdicts() { return static_cast<BYTE*>(static_cast<void*>(verdicts_.get())); }

  // Puts the row's handle into the order being built: as it is for the pass's own process,
  // else duplicated.
  void AddRow(const SystemHandle& row, DWORD position, DWORD total) {
    Order& order = orders_[building_];
    HANDLE handle = reinterpret_cast<HANDLE>(row.handleValue);
    KernelHandle& duplicate = order.duplicates[order.count];
    if (row.processId != GetCurrentProcessId()) {
      if (!processHandle_) {
        if (processFailed_) return;
        processHandle_.reset(OpenProcess(PROCESS_DUP_HANDLE, TRUE, row.processId));
        processFailed_ = !processHandle_;
        if (processFailed_) return;
      }
      if (!DuplicateHandle(processHandle_.get(), handle, GetCurrentProcess(), duplicate.out(), 0, FALSE,
                           DUPLICATE_SAME_ACCESS) ||
          !duplicate) {
        duplicate.release();
        return;
      }
      handle = duplicate.get();
    }
    if (order.count == 0) {
      order.entry = process_;
      order.entry.total = total;
    }
    order.handles[order.count] = handle;
    order.typeIndexes[order.count] = row.typeIndex;
    order.positions[order.count] = position;
    ++order.count;
  }

  // Collects the order that is out, sends the one being built, then reports the collected one;
  // false when the callback stopped the pass or the search was cancelled.
  bool Submit() {
    Order* answered = nullptr;
    DWORD rows = 0;
    if (inFlight_ != nullptr) {
      answered = inFlight_;
      inFlight_ = nullptr;
      rows = answered->worker->Await();
      if (rows < answered->count - answered->sent) {
        // A worker was terminated: the rest of its order goes first, to keep the table's order.
        if (!Conclude(*answered, rows)) return false;
        answered = nullptr;
      }
    }
    Order& next = orders_[building_];
    if (next.count > 0) {
      if (Send(next)) {
        inFlight_ = &next;
        building_ = 1 - building_;
      } else {
        next.Clear();  // no worker: the rows stay unanswered, as failed queries do
      }
    }
    return answered == nullptr || Conclude(*answered, rows);
  }

  // Hands the order's rows from sent on to a ready worker.
  bool Send(Order& order) {
    QueryWorker* worker = pool_.Ready();
    order.worker = worker;
    if (worker == nullptr) return false;
    QuerySlot* slots = worker->Block()->slots[order.set];
    DWORD rows = order.count - order.sent;
    for (DWORD i = 0; i < rows; ++i) {
      slots[i].handle = order.handles[order.sent + i];
      slots[i].typeIndex = order.typeIndexes[order.sent + i];
      slots[i].verdict = kTypeUnknown;
      slots[i].typeAsked = 0;
      slots[i].onDisk = 0;
      slots[i].named = 0;
    }
    ++g_stats.orders;
    worker->Send(order.set, rows);
    return true;
  }

  // Reports the answered rows of an order that its worker has finished with; after a row that
  // was lost with a terminated worker, the rows that follow go to a new worker, and so on. The
  // order is emptied in the end. False when the pass is to stop.
  bool Conclude(Order& order, DWORD answered) {
    bool goOn = true;
    for (;;) {
      DWORD rows = order.count - order.sent;
      const QuerySlot* slots = order.worker->Block()->slots[order.set];
      DWORD seen = answered < rows ? answered + 1 : rows;  // the lost slot says what it got to
      for (DWORD i = 0; i < seen; ++i) {
        g_stats.typeQueries += slots[i].typeAsked;
        if (slots[i].verdict == kTypeFile) ++g_stats.fileHandles;
        g_stats.diskFiles += slots[i].onDisk;
        if (slots[i].verdict == kTypeOther && slots[i].typeAsked) ++g_stats.otherTypes;
      }
      for (DWORD i = 0; goOn && i < answered; ++i) {
        if (slots[i].verdict != kTypeUnknown) Verdicts()[slots[i].typeIndex] = slots[i].verdict;
        if (slots[i].named) goOn = Report(order, slots[i], order.positions[order.sent + i]);
      }
      if (!goOn || answered == rows) break;
      order.sent += seen;
      if (order.sent >= order.count || !Send(order)) break;
      answered = order.worker->Await();
    }
    order.Clear();
    return goOn;
  }

  // Maps the name that the worker read to a drive-letter path and hands the entry over.
  bool Report(Order& order, const QuerySlot& slot, DWORD position) {
    ProcessEntry& entry = order.entry;
    CountedNameText(slot.result, text_);
    if (text_[0] == 0) return true;
    entry.itemPath[0] = 0;
    if (!DevicePathToDosPath(text_, entry.itemPath)) return true;
    entry.position = position;
    // The same for every handle of the process: built once.
    if (!named_ || namedProcess_ != entry.processId) {
      entry.window = nullptr;
      FillDisplayName(&entry, request_->findWindow != 0);
      CopyMemory(displayName_, entry.displayName, sizeof displayName_);
      window_ = entry.window;
      namedProcess_ = entry.processId;
      named_ = true;
    } else {
      CopyMemory(entry.displayName, displayName_, sizeof displayName_);
      entry.window = window_;
    }
    return callback_(&entry, request_->callbackArg) != 0 && !Cancelled();
  }

  // The search's cancel event, looked at once kCancelPollMs have passed since the last look: a
  // look costs a system call, and rows take microseconds.
  bool Cancelled() {
    DWORD now = GetTickCount();
    if (now - lastPoll_ < kCancelPollMs) return false;
    lastPoll_ = now;
    return WaitForSingleObject(SearchCancelEvent(), 0) == WAIT_OBJECT_0;
  }

  EntryCallback callback_;
  const EnumRequest* request_;
  GlobalBlock verdicts_;  // the type of every type index seen in this pass
  ProcessEntry process_ = {};     // the process whose rows are being read
  KernelHandle processHandle_;    // that process, for duplication
  bool processFailed_ = false;
  Order orders_[2];
  int building_ = 0;              // the order that rows are put into
  Order* inFlight_ = nullptr;     // the other one, while its worker answers it
  // Declared after the orders: the worker has ended before their duplicates are closed.
  WorkerPool pool_;
  bool named_ = false;
  DWORD namedProcess_ = 0;
  tchar displayName_[kPathChars] = {};
  HWND window_ = nullptr;
  DWORD lastPoll_ = GetTickCount() - kCancelPollMs;
  tchar text_[kQueryBytes] = {};
};

// Reads one form of the table; null when it cannot be had.
void* ReadTable(ULONG infoClass) {
  BYTE probe[20] = {};
  ULONG size = 0;
  Api().NtQuerySystemInformation(infoClass, probe, sizeof probe, &size);
  SIZE_T bytes = size < 0x10000 ? 0x10000 : size;
  while (bytes < kTableLimit) {
    void* buffer = GlobalAlloc(GPTR, bytes);
    if (buffer == nullptr) return nullptr;
    LONG status = Api().NtQuerySystemInformation(infoClass, buffer, static_cast<ULONG>(bytes), nullptr);
    if (status >= 0) return buffer;
    GlobalFree(buffer);
    if (status != kInfoLengthMismatch) return nullptr;
    bytes *= 2;
  }
  return nullptr;
}

}  // namespace

HandleTable::~HandleTable() {
  if (buffer_) GlobalFree(buffer_);
}

bool HandleTable::Read() {
  if (!InitProcessApi()) return false;
  buffer_ = ReadTable(kSystemExtendedHandleInformation);
  extended_ = buffer_ != nullptr;
  if (!extended_) buffer_ = ReadTable(kSystemHandleInformation);
  if (buffer_ == nullptr) return false;
  // Never trust a count beyond what the buffer holds.
  SIZE_T bytes = GlobalSize(buffer_);
  SIZE_T rows;
  if (extended_) {
    ULONG_PTR count = static_cast<ExtendedTable*>(buffer_)->count;
    rows = (bytes - offsetof(ExtendedTable, rows)) / sizeof(ExtendedRow);
    count_ = static_cast<DWORD>(count < rows ? count : rows);
  } else {
    ULONG count = static_cast<ClassicTable*>(buffer_)->count;
    rows = (bytes - offsetof(ClassicTable, rows)) / sizeof(ClassicRow);
    count_ = static_cast<DWORD>(count < rows ? count : rows);
  }
  return true;
}

SystemHandle HandleTable::At(DWORD i) const {
  if (extended_) {
    const ExtendedRow& r = static_cast<const ExtendedTable*>(buffer_)->rows[i];
    return {static_cast<DWORD>(r.processId), r.handleValue, r.objectTypeIndex};
  }
  const ClassicRow& r = static_cast<const ClassicTable*>(buffer_)->rows[i];
  return {r.processId, r.handleValue, r.objectTypeIndex};
}

const HandleScanStats& LastHandleScanStats() { return g_stats; }

DWORD CountSystemHandles() {
  HandleTable table;
  return table.Read() ? table.Count() : 0;
}

bool EnumFileHandleEntries(EntryCallback callback, const EnumRequest* request) {
  g_stats = {};
  HandleTable table;
  if (!table.Read()) return true;
  HandleScan scan(callback, request);
  if (!scan.Ready()) return true;
  return scan.Run(table);
}

}  // namespace tv
