; A setup script that uses Tarvolk's service exports: it creates a service, starts it, reads its
; state, stops it and removes it, and writes every result it popped to a text file.
; Built by scripts/demo against dist/Plugins/x86-ansi with:
;   makensis -DPLUGINS=... -DSERVICE_EXE=... -DRESULTS=... -DOUTFILE=... examples/demo.nsi
Unicode false
!addplugindir /x86-ansi "${PLUGINS}/x86-ansi"

Name "Tarvolk demo"
OutFile "${OUTFILE}"
RequestExecutionLevel admin
SilentInstall silent

!define SVC "TarvolkDemo"

Var Out

; Pops the result word and the number below it (when the export pushes one) and prints them.
!macro Show WHAT HASNUMBER
  Pop $0
  StrCpy $1 ""
  !if ${HASNUMBER} == 1
    Pop $1
  !endif
  FileWrite $Out "${WHAT}: $0 $1$\r$\n"
!macroend

Section
  FileOpen $Out "${RESULTS}" w

  ; Install: service name, display name, service type, start type, command line, load-order
  ; group, dependencies, account, password. An empty account runs the service as LocalSystem.
  Tarvolk::Install "${SVC}" "Tarvolk demo service" "16" "3" "${SERVICE_EXE}" "" "" "" ""
  !insertmacro Show "Install ${SVC}" 1

  Tarvolk::QueryStatus "${SVC}"
  !insertmacro Show "QueryStatus (1 = stopped)" 1

  Tarvolk::Start "${SVC}"
  !insertmacro Show "Start" 1

  ; Start returns at once; wait for the service to report running (state 4).
  StrCpy $2 0
  wait_running:
    Sleep 100
    IntOp $2 $2 + 1
    Tarvolk::QueryStatus "${SVC}"
    Pop $0
    Pop $1
    StrCmp $1 4 +2
    IntCmp $2 50 0 wait_running
  FileWrite $Out "QueryStatus (4 = running): $0 $1$\r$\n"

  Tarvolk::Start "${SVC}"
  !insertmacro Show "Start again (1056 = already running)" 1

  Tarvolk::Stop "${SVC}"
  !insertmacro Show "Stop" 0

  StrCpy $2 0
  wait_stopped:
    Sleep 100
    IntOp $2 $2 + 1
    Tarvolk::QueryStatus "${SVC}"
    Pop $0
    Pop $1
    StrCmp $1 1 +2
    IntCmp $2 50 0 wait_stopped
  FileWrite $Out "QueryStatus (1 = stopped): $0 $1$\r$\n"

  Tarvolk::Remove "${SVC}"
  !insertmacro Show "Remove" 0

  ; The service is marked for deletion and goes once its process has ended.
  Sleep 1000

  Tarvolk::QueryStatus "${SVC}"
  !insertmacro Show "QueryStatus of the removed service" 1

  FileClose $Out
SectionEnd
