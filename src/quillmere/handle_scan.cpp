#include "quillmere/handle_scan.h"

#include "frame/owned.h"
#include "quillmere/path_text.h"
#include "quillmere/width.h"

namespace tv {
namespace {

constexpr ULONG kSystemHandleInformation = 16;
constexpr ULONG kSystemExtendedHandleInformation = 64;
constexpr ULONG kObjectNameInformation = 1;
constexpr ULONG kObjectTypeInformation = 2;
constexpr ULONG kFileNameInformation = 9;
constexpr LONG kInfoLengthMismatch = static_cast<LONG>(0xC0000004);
constexpr SIZE_T kTableLimit = 0x1000000;  // 16 MiB
constexpr DWORD kWorkerLimitMs = 200;
constexpr ULONG kQueryBytes = 1024;

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

// What one worker gets: it writes nothing but status and result. The block is allocated before
// the worker starts and is never freed or reused while a worker that ran out of time might still
// run in it.
struct HandleQuery {
  HANDLE handle;
  ULONG infoClass;
  volatile LONG status;
  alignas(8) BYTE result[kQueryBytes];
};

HandleScanStats g_stats = {};

DWORD WINAPI ObjectQueryWorker(void* arg) {
  auto* q = static_cast<HandleQuery*>(arg);
  q->status = Api().NtQueryObject(q->handle, q->infoClass, q->result, kQueryBytes, nullptr);
  return q->status >= 0 ? 1 : 0;
}

DWORD WINAPI FileNameWorker(void* arg) {
  auto* q = static_cast<HandleQuery*>(arg);
  alignas(8) BYTE ioStatus[2 * sizeof(void*)] = {};
  q->status = Api().NtQueryInformationFile(q->handle, ioStatus, q->result, kQueryBytes, kFileNameInformation);
  return q->status >= 0 ? 1 : 0;
}

void* TableBuffer(SIZE_T bytes) { return GlobalAlloc(GPTR, bytes); }

// Reads one form of the table; null when it cannot be had.
void* ReadTable(ULONG infoClass) {
  BYTE probe[20] = {};
  ULONG size = 0;
  Api().NtQuerySystemInformation(infoClass, probe, sizeof probe, &size);
  SIZE_T bytes = size < 0x10000 ? 0x10000 : size;
  while (bytes < kTableLimit) {
    void* buffer = TableBuffer(bytes);
    if (buffer == nullptr) return nullptr;
    LONG status = Api().NtQuerySystemInformation(infoClass, buffer, static_cast<ULONG>(bytes), nullptr);
    if (status >= 0) return buffer;
    GlobalFree(buffer);
    if (status != kInfoLengthMismatch) return nullptr;
    bytes *= 2;
  }
  return nullptr;
}

// A pass's workers and their query block.
class QueryRunner {
 public:
  QueryRunner() : block_(NewBlock()) {}
  ~QueryRunner() {
    if (block_) GlobalFree(block_);
  }
  QueryRunner(const QueryRunner&) = delete;
  QueryRunner& operator=(const QueryRunner&) = delete;

  bool Ready() const { return block_ != nullptr; }

  // Runs one query on the handle; true when it finished in time with a success status. The
  // result lies in Result() until the next query.
  bool Run(LPTHREAD_START_ROUTINE routine, HANDLE handle, ULONG infoClass, DWORD* threadCounter) {
    if (block_ == nullptr) return false;
    block_->handle = handle;
    block_->infoClass = infoClass;
    block_->status = -1;
    ZeroMemory(block_->result, kQueryBytes);
    HANDLE thread = CreateThread(nullptr, 64 * 1024, routine, block_, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    if (thread == nullptr) return false;
    ++*threadCounter;
    bool finished = WaitForSingleObject(thread, kWorkerLimitMs) == WAIT_OBJECT_0;
    if (!finished) {
      ++g_stats.workersKilled;
      TerminateThread(thread, 0);
      // Termination completes asynchronously. Until the thread is seen gone its block stays
      // its own: the pass moves to a new block and leaves the old one allocated for good.
      if (WaitForSingleObject(thread, 1000) != WAIT_OBJECT_0) block_ = NewBlock();
    }
    CloseHandle(thread);
    return finished && block_ != nullptr && block_->status >= 0;
  }

  const BYTE* Result() const { return block_->result; }

 private:
  static HandleQuery* NewBlock() { return static_cast<HandleQuery*>(GlobalAlloc(GPTR, sizeof(HandleQuery))); }
  HandleQuery* block_;
};

enum TypeVerdict : BYTE { kTypeUnknown = 0, kTypeFile = 1, kTypeOther = 2 };

struct FileScan {
  QueryRunner runner;
  BYTE* typeVerdicts;  // one per type index, for this pass
  tchar text[kQueryBytes];

  FileScan() : runner(), typeVerdicts(nullptr), text() {}
};

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

bool IsFileType(const tchar* type) {
  return TextCompareNoCase(type, TV_T("File")) == 0 || TextCompareNoCase(type, TV_T("Directory")) == 0;
}

// The verdict on a type index, asked of the system once per pass.
TypeVerdict TypeOf(FileScan& scan, HANDLE handle, USHORT typeIndex) {
  BYTE& verdict = scan.typeVerdicts[typeIndex];
  if (verdict != kTypeUnknown) return static_cast<TypeVerdict>(verdict);
  ++g_stats.typeQueries;
  if (!scan.runner.Run(&ObjectQueryWorker, handle, kObjectTypeInformation, &g_stats.threadsForTypes))
    return kTypeUnknown;  // not known yet: the next handle of this type asks again
  CountedNameText(scan.runner.Result(), scan.text);
  if (scan.text[0] == 0) return kTypeUnknown;
  verdict = IsFileType(scan.text) ? kTypeFile : kTypeOther;
  if (verdict == kTypeOther) ++g_stats.otherTypes;
  return static_cast<TypeVerdict>(verdict);
}

// Works out the drive-letter path that the handle is open on into the entry's itemPath.
bool ExamineHandle(FileScan& scan, const SystemHandle& row, ProcessEntry* entry) {
  if (PathEndsWith(entry->imagePath, TV_T("\\mdm.exe")) ||
      PathEndsWith(entry->imagePath, TV_T("\\services.exe")))
    return false;
  ++g_stats.handlesExamined;
  HANDLE handle = reinterpret_cast<HANDLE>(row.handleValue);
  KernelHandle process, duplicate;
  if (row.processId != GetCurrentProcessId()) {
    process.reset(OpenProcess(PROCESS_DUP_HANDLE, TRUE, row.processId));
    if (!process) return false;
    if (!DuplicateHandle(process.get(), handle, GetCurrentProcess(), duplicate.out(), 0, FALSE,
                         DUPLICATE_SAME_ACCESS) ||
        !duplicate) {
      duplicate.release();
      return false;
    }
    handle = duplicate.get();
  }
  if (TypeOf(scan, handle, row.typeIndex) != kTypeFile) return false;
  ++g_stats.fileHandles;
  // A handle whose file name cannot be read (or whose query hangs) is dropped before its
  // object name is asked.
  if (!scan.runner.Run(&FileNameWorker, handle, kFileNameInformation, &g_stats.threadsForNames)) return false;
  if (*reinterpret_cast<const ULONG*>(scan.runner.Result()) == 0) return false;
  if (!scan.runner.Run(&ObjectQueryWorker, handle, kObjectNameInformation, &g_stats.threadsForNames)) return false;
  CountedNameText(scan.runner.Result(), scan.text);
  if (scan.text[0] == 0) return false;
  entry->itemPath[0] = 0;
  return DevicePathToDosPath(scan.text, entry->itemPath);
}

bool ScanHandles(EntryCallback callback, const EnumRequest* request) {
  g_stats = {};
  HandleTable table;
  if (!table.Read()) return true;
  FileScan scan;
  GlobalBlock verdicts(GlobalAlloc(GPTR, 0x10000));
  if (!scan.runner.Ready() || !verdicts) return true;
  scan.typeVerdicts = static_cast<BYTE*>(static_cast<void*>(verdicts.get()));
  DisableFsRedirection();
  ProcessEntry entry = {};
  DWORD lastProcess = 0xFFFFFFFFu;
  for (DWORD i = 0; i < table.Count(); ++i) {
    SystemHandle row = table.At(i);
    entry.position = i + 1;
    entry.total = table.Count();
    entry.processId = row.processId;
    entry.window = nullptr;
    if (row.processId != lastProcess) {
      FillImagePath(&entry);
      lastProcess = row.processId;
    }
    if (ExamineHandle(scan, row, &entry)) {
      FillDisplayName(&entry, request->findWindow != 0);
      if (!callback(&entry, request->callbackArg)) return false;
    }
    if (WaitForSingleObject(SearchCancelEvent(), 0) == WAIT_OBJECT_0) return false;
  }
  return true;
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
  return ScanHandles(callback, request);
}

}  // namespace tv
