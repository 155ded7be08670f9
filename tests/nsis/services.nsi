; Every service export and Unload, as a setup script calls them, on a real service.
;   SERVICE_EXE  the test service program (a Windows path)
!include "common.nsh"

Name "Tarvolk service test"
OutFile "${OUTFILE}"

!define SVC "TvNsis-${VARIANT}"

; Waits until QueryStatus reports the state in $R0 (at most about 5 s), then goes on.
Function WaitState
  StrCpy $R1 0
  again:
    Tarvolk::QueryStatus "${SVC}"
    Pop $R2
    Pop $R3
    StrCmp $R3 $R0 done
    IntOp $R1 $R1 + 1
    IntCmp $R1 100 done
    Sleep 50
    Goto again
  done:
FunctionEnd

; Waits (at most about 5 s) until the removed service is gone: a service marked for deletion
; stays until its process has ended.
Function WaitGone
  StrCpy $R1 0
  again:
    Tarvolk::QueryStatus "${SVC}"
    Pop $R2
    Pop $R3
    StrCmp $R2 "error" done
    IntOp $R1 $R1 + 1
    IntCmp $R1 100 done
    Sleep 50
    Goto again
  done:
FunctionEnd

Section
  !insertmacro OpenResults

  ; Left over from an interrupted run.
  Tarvolk::Stop "${SVC}"
  Tarvolk::Remove "${SVC}"
  Pop $0
  Pop $0

  ; Install pops: name, display name, type, start type, command line, group, dependencies,
  ; account, password; so the script pushes them the other way round. The service exports
  ; empty the whole stack: "below" is gone afterwards.
  Push "below"
  Push ""
  Push ""
  Push ""
  Push ""
  Push "${SERVICE_EXE}"
  Push "3"
  Push "0x10"
  Push "${SVC} display"
  Push "${SVC}"
  Tarvolk::Install
  !insertmacro DumpStack "install"

  ; The call form pushes its parameters so that the first one written ends on top.
  Tarvolk::Install "${SVC}" "${SVC} again" "16" "3" "${SERVICE_EXE}" "" "" "" ""
  !insertmacro DumpStack "install again"

  Push "below"
  Tarvolk::QueryStatus "${SVC}"
  !insertmacro DumpStack "query stopped"

  Push "below"
  Tarvolk::Start "${SVC}"
  !insertmacro DumpStack "start"
  StrCpy $R0 4
  Call WaitState

  Tarvolk::QueryStatus "${SVC}"
  !insertmacro DumpStack "query running"

  Tarvolk::Start "${SVC}"
  !insertmacro DumpStack "start running"

  Push "below"
  Tarvolk::Stop "${SVC}"
  !insertmacro DumpStack "stop"
  StrCpy $R0 1
  Call WaitState

  Tarvolk::Stop "${SVC}"
  !insertmacro DumpStack "stop stopped"

  ; Remove does not wait for a running service: it goes once it has been stopped.
  Tarvolk::Start "${SVC}"
  Pop $0
  Pop $0
  StrCpy $R0 4
  Call WaitState
  Push "below"
  Tarvolk::Remove "${SVC}"
  !insertmacro DumpStack "remove running"
  Tarvolk::QueryStatus "${SVC}"
  !insertmacro DumpStack "query removed"
  Tarvolk::Stop "${SVC}"
  !insertmacro DumpStack "stop removed"
  Call WaitGone

  Tarvolk::Remove "${SVC}"
  !insertmacro DumpStack "remove missing"
  Tarvolk::QueryStatus "${SVC}"
  !insertmacro DumpStack "query missing"
  Tarvolk::Start "${SVC}"
  !insertmacro DumpStack "start missing"
  Tarvolk::Stop "${SVC}"
  !insertmacro DumpStack "stop missing"

  ; Nothing on the stack at all.
  Tarvolk::Start
  !insertmacro DumpStack "start empty"
  Tarvolk::Stop
  !insertmacro DumpStack "stop empty"
  Tarvolk::QueryStatus
  !insertmacro DumpStack "query empty"
  Tarvolk::Remove
  !insertmacro DumpStack "remove empty"
  Tarvolk::Install
  !insertmacro DumpStack "install empty"

  ; Eight arguments: the password is missing and nothing is created.
  Tarvolk::Install "${SVC}" "${SVC} eight" "16" "3" "${SERVICE_EXE}" "" "" ""
  !insertmacro DumpStack "install eight"
  Tarvolk::QueryStatus "${SVC}"
  !insertmacro DumpStack "query after eight"

  Push "c"
  Push "b"
  Push "a"
  Tarvolk::Unload
  !insertmacro DumpStack "unload"

  !insertmacro CloseResults
SectionEnd
