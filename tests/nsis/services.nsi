; Every service export and Unload, as a setup script calls them, on a real service.
;   SERVICE_EXE  the test service program (a Windows path)
!include "common.nsh"

Name "Tarvolk service test"
OutFile "${OUTFILE}"

!define SVC "TvNsis-${VARIANT}"

Section
  FileOpen $Results "${RESULTS}" w

  ; Left over from an interrupted run.
  Tarvolk::Stop "${SVC}"
  Tarvolk::Remove "${SVC}"
  Call TakeStack

  ; The service exports empty the whole stack: "below" is gone afterwards.
  ${DumpBelow} "install" `Tarvolk::Install "${SVC}" "${SVC} display" "0x10" "3" "${SERVICE_EXE}" "" "" "" ""`
  ${Dump} "install again" `Tarvolk::Install "${SVC}" "${SVC} again" "16" "3" "${SERVICE_EXE}" "" "" "" ""`
  ${DumpBelow} "query stopped" `Tarvolk::QueryStatus "${SVC}"`
  ${DumpBelow} "start" `Tarvolk::Start "${SVC}"`
  ${WaitState} "${SVC}" 4
  ${Dump} "query running" `Tarvolk::QueryStatus "${SVC}"`
  ${Dump} "start running" `Tarvolk::Start "${SVC}"`
  ${DumpBelow} "stop" `Tarvolk::Stop "${SVC}"`
  ${WaitState} "${SVC}" 1
  ${Dump} "stop stopped" `Tarvolk::Stop "${SVC}"`

  ; Remove does not wait for a running service: it goes once it has been stopped.
  Tarvolk::Start "${SVC}"
  Call TakeStack
  ${WaitState} "${SVC}" 4
  ${DumpBelow} "remove running" `Tarvolk::Remove "${SVC}"`
  ${Dump} "query removed" `Tarvolk::QueryStatus "${SVC}"`
  ${Dump} "stop removed" `Tarvolk::Stop "${SVC}"`
  ${WaitState} "${SVC}" gone

  ${Dump} "remove missing" `Tarvolk::Remove "${SVC}"`
  ${Dump} "query missing" `Tarvolk::QueryStatus "${SVC}"`
  ${Dump} "start missing" `Tarvolk::Start "${SVC}"`
  ${Dump} "stop missing" `Tarvolk::Stop "${SVC}"`

  ${Dump} "start empty" `Tarvolk::Start`
  ${Dump} "stop empty" `Tarvolk::Stop`
  ${Dump} "query empty" `Tarvolk::QueryStatus`
  ${Dump} "remove empty" `Tarvolk::Remove`

  Push "c"
  Push "b"
  Push "a"
  ${Dump} "unload" `Tarvolk::Unload`
  FileClose $Results
SectionEnd
