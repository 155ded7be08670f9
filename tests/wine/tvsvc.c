/* A minimal Windows service for the service tests: it runs in its own process, reports running,
   and reports stopped when asked to stop. */
#include <windows.h>

static SERVICE_STATUS_HANDLE statusHandle;
static SERVICE_STATUS status;
static HANDLE stopEvent;

static void SetState(DWORD state) {
  status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  status.dwCurrentState = state;
  status.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP : 0;
  SetServiceStatus(statusHandle, &status);
}

static DWORD WINAPI Handler(DWORD control, DWORD eventType, LPVOID eventData, LPVOID context) {
  (void)eventType; (void)eventData; (void)context;
  if (control == SERVICE_CONTROL_STOP) {
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
  CloseHandle(stopEvent);
  SetState(SERVICE_STOPPED);
}

int main(void) {
  SERVICE_TABLE_ENTRYA table[] = {{(LPSTR) "", ServiceMain}, {NULL, NULL}};
  return StartServiceCtrlDispatcherA(table) ? 0 : 1;
}
