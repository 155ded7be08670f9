/* A minimal own-process service for the service tests. Options:
     stopdelay=MS hint=MS  stays stop-pending MS ms, reporting the wait hint (default 100)
     file=PATH             holds the file open (reading shared), creating it where missing
     linger=MS             once stopped, the process stays MS ms before it ends */
#include <stdlib.h>
#include <string.h>
#include <windows.h>

static SERVICE_STATUS_HANDLE statusHandle;
static SERVICE_STATUS status;
static HANDLE stopEvent;
static DWORD stopDelay = 0;
static DWORD waitHint = 100;
static DWORD linger = 0;

static void SetState(DWORD state) {
  status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  status.dwCurrentState = state;
  status.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP : 0;
  status.dwWaitHint = state == SERVICE_STOP_PENDING ? waitHint : 0;
  SetServiceStatus(statusHandle, &status);
}

static DWORD WINAPI Handler(DWORD control, DWORD eventType, LPVOID eventData, LPVOID context) {
  (void)eventType; (void)eventData; (void)context;
  if (control == SERVICE_CONTROL_STOP && status.dwCurrentState == SERVICE_RUNNING) {
    SetState(SERVICE_STOP_PENDING);
    SetEvent(stopEvent);
  }
  return NO_ERROR;
}

static void WINAPI ServiceMain(DWORD argc, LPSTR* argv) {
  (void)argc; (void)argv;
  statusHandle = RegisterServiceCtrlHandlerExA("", Handler, NULL);
  if (statusHandle == NULL) return;
  stopEvent = CreateEventA(NULL, TRUE, FALSE, NULL);
  SetState(SERVICE_RUNNING);
  WaitForSingleObject(stopEvent, INFINITE);
  if (stopDelay) Sleep(stopDelay);
  CloseHandle(stopEvent);
  SetState(SERVICE_STOPPED);
}

int main(int argc, char** argv) {
  HANDLE held = INVALID_HANDLE_VALUE;
  for (int i = 1; i < argc; ++i) {
    if (strncmp(argv[i], "file=", 5) == 0)
      held = CreateFileA(argv[i] + 5, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (strncmp(argv[i], "stopdelay=", 10) == 0) stopDelay = (DWORD)strtoul(argv[i] + 10, NULL, 10);
    if (strncmp(argv[i], "hint=", 5) == 0) waitHint = (DWORD)strtoul(argv[i] + 5, NULL, 10);
    if (strncmp(argv[i], "linger=", 7) == 0) linger = (DWORD)strtoul(argv[i] + 7, NULL, 10);
  }
  SERVICE_TABLE_ENTRYA table[] = {{(LPSTR) "", ServiceMain}, {NULL, NULL}};
  int code = StartServiceCtrlDispatcherA(table) ? 0 : 1;
  Sleep(linger);
  if (held != INVALID_HANDLE_VALUE) CloseHandle(held);
  return code;
}
