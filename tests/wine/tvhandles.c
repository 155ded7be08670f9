/* Counts the handles that a process holds, from the system handle table (Wine's
   GetProcessHandleCount does not follow a process's real handles). Its exit code is the count,
   so that an installer reads it with ExecWait:  tvhandles PID  */
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>

typedef struct {
  PVOID object;
  ULONG_PTR processId;
  ULONG_PTR handle;
  ULONG access;
  USHORT backTrace;
  USHORT typeIndex;
  ULONG attributes;
  ULONG reserved;
} Entry;

typedef struct {
  ULONG_PTR count;
  ULONG_PTR reserved;
  Entry entries[1];
} Table;

typedef LONG(WINAPI* QueryFn)(ULONG, PVOID, ULONG, PULONG);

int main(int argc, char** argv) {
  if (argc < 2) return -1;
  ULONG_PTR pid = strtoul(argv[1], NULL, 10);
  QueryFn query = (QueryFn)(void*)GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation");
  if (query == NULL) return -1;
  ULONG size = 1 << 20;
  for (int attempt = 0; attempt < 8; ++attempt, size *= 2) {
    Table* table = (Table*)malloc(size);
    ULONG needed = 0;
    LONG status = query(64, table, size, &needed);  /* the extended handle table */
    if (status == 0) {
      int n = 0;
      for (ULONG_PTR i = 0; i < table->count; ++i) n += table->entries[i].processId == pid;
      free(table);
      return n;
    }
    free(table);
  }
  return -1;
}
