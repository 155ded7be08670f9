; Every service export and Unload, as a setup script calls them, on a real service.
;   SERVICE_EXE  the test service program (a Windows path)
!include "common.nsh"

Name "Tarvolk service test"
OutFile "${OUTFILE}"

!define SVC "TvNsis-${VARIANT}"

; Waits (about 5 s) for the state in $R0; "gone": a deleted service stays until its process ends.
Function WaitState
  StrCpy $R1 0
  again:
    Tarvolk::QueryStatus "${SVC}"
    Pop $R2
    Pop $R3
    StrCmp $R3 $R0 done
    StrCmp "$R0$R2" "goneerror" done
    IntOp $R1 $R1 + 1
    IntCmp $R1 100 done
    Sleep 50
    Goto again
  done:
FunctionEnd

!macro WaitState STATE
  StrCpy $R0 ${STATE}
  Call WaitState
!macroend

Section
  !insertmacro OpenResults

  ; Left over from an interrupted run.
  Tarvolk::Stop "${SVC}"
  Tarvolk::Remove "${SVC}"
  Call TakeStack

  ; The service exports empty the whole stack: "below" is gone afterwards.
  ${DumpBelow} "install" `Tarvolk::Install "${SVC}" "${SVC} display" "0x10" "3" "${SERVICE_EXE}" "" "" "" ""`
  ${Dump} "install again" `Tarvolk::Install "${SVC}" "${SVC} again" "16" "3" "${SERVICE_EXE}" "" "" "" ""`
  ${DumpBelow} "query stopped" `Tarvolk::QueryStatus "${SVC}"`
  ${DumpBelow} "start" `Tarvolk::Start "${SVC}"`
  !insertmacro WaitState 4
  ${Dump} "query running" `Tarvolk::QueryStatus "${SVC}"`
  ${Dump} "start running" `Tarvolk::Start "${SVC}"`
  ${DumpBelow} "stop" `Tarvolk::Stop "${SVC}"`
  !insertmacro WaitState 1
  ${Dump} "stop stopped" `Tarvolk::Stop "${SVC}"`

  ; Remove does not wait for a running service: it goes once it has been stopped.
  Tarvolk::Start "${SVC}"
  Call TakeStack
  !insertmacro WaitState 4
  ${DumpBelow} "remove running" `Tarvolk::Remove "${SVC}"`
  ${Dump} "query removed" `Tarvolk::QueryStatus "${SVC}"`
  ${Dump} "stop removed" `Tarvolk::Stop "${SVC}"`
  !insertmacro WaitState gone

  ${Dump} "remove missing" `Tarvolk::Remove "${SVC}"`
  ${Dump} "query missing" `Tarvolk::QueryStatus "${SVC}"`
  ${Dump} "start missing" `Tarvolk::Start "${SVC}"`
  ${Dump} "stop missing" `Tarvolk::Stop "${SVC}"`

  ; Nothing on the stack at all.
  ${Dump} "start empty" `Tarvolk::Start`
  ${Dump} "stop empty" `Tarvolk::Stop`
  ${Dump} "query empty" `Tarvolk::QueryStatus`
  ${Dump} "remove empty" `Tarvolk::Remove`

  Push "c"
  Push "b"
  Push "a"
  ${Dump} "unload" `Tarvolk::Unload`
  !insertmacro CloseResults
SectionEnd
