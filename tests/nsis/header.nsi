; Tarvolk.nsh in a real installer: each LogicLib test and sequence on real things, between a scene
; of registers, stack and error flag that must come out as it went in ("LABEL: RESULT | kept").
;   SERVICE_EXE  the test service program; TESTBIN32 the folder of the 32-bit test programs
!include "common.nsh"
; NSIS's own headers first: a name of Tarvolk.nsh that one of them defines fails the build.
!include "FileFunc.nsh"
!include "TextFunc.nsh"
!include "WordFunc.nsh"
!include "StrFunc.nsh"
!include "WinVer.nsh"
!include "x64.nsh"
!include "nsDialogs.nsh"
!include "Memento.nsh"
!include "Library.nsh"
!include "Integration.nsh"
!include "Colors.nsh"
!include "InstallOptions.nsh"
!include "WinCore.nsh"
!include "Win\WinError.nsh"
!include "Win\COM.nsh"
!include "${PLUGINS}\..\Include\Tarvolk.nsh"

Name "Tarvolk.nsh test"
OutFile "${OUTFILE}"

!define T "header-${VARIANT}"
!define D "C:\tvtest\${T}"
!define HELD "tv-held-${T}.exe"
!define WINDOW "tv-window-${T}.exe"
!define DEAF "tv-deaf-${T}.exe"
!define SVC "TvHeader-${VARIANT}"
!define OFF "TvHeaderOff-${VARIANT}"

Var Result
Var Label
Var Diff
Var ErrWant
Var Long
Var Quoted
Var Bottom
Var I

; $N and $RN made "vN" and "vRN", from N up to 9.
!macro Registers N
  StrCpy $${N} "v${N}"
  StrCpy $R${N} "vR${N}"
  !if ${N} < 9
    !define /redef /math NEXT${N} ${N} + 1
    !insertmacro Registers ${NEXT${N}}
  !endif
!macroend

; Registers, four stack entries (full-length; quotes, $ and line break; empty; non-ASCII), flag.
!macro Scene ERR
  StrCpy $ErrWant ${ERR}
  !insertmacro Registers 0
  Push $Bottom
  Push ""
  Push $Quoted
  Push $Long
  ClearErrors
  !if ${ERR} == 1
    SetErrors
  !endif
!macroend

!macro KeptEntry WANT NAME
  ClearErrors
  Pop $I
  IfErrors +2
  StrCmpS $I "${WANT}" +2
    StrCpy $Diff "$Diff ${NAME}"
!macroend

; "LABEL: $Result | kept" when all is as Scene left it and nothing lies below; else what differs.
!macro Kept LABEL
  StrCpy $Label "${LABEL}"
  Call Kept
!macroend

Function Kept
  StrCpy $Diff ""
  StrCpy $I 0
  IfErrors 0 +2
    StrCpy $I 1
  StrCmp $I $ErrWant +2
    StrCpy $Diff "$Diff error-flag=$I"
  StrCpy $I "$0|$1|$2|$3|$4|$5|$6|$7|$8|$9|$R0|$R1|$R2|$R3|$R4|$R5|$R6|$R7|$R8|$R9"
  StrCmpS $I "v0|v1|v2|v3|v4|v5|v6|v7|v8|v9|vR0|vR1|vR2|vR3|vR4|vR5|vR6|vR7|vR8|vR9" +2
    StrCpy $Diff "$Diff registers=[$I]"
  !insertmacro KeptEntry $Long "long-entry"
  !insertmacro KeptEntry $Quoted "quoted-entry"
  !insertmacro KeptEntry "" "empty-entry"
  !insertmacro KeptEntry $Bottom "bottom-entry"
  Call TakeStack  ; registers compared already
  StrCmp $R8 "" +2
    StrCpy $Diff "$Diff extra=$R8"
  StrCmp $Diff "" 0 +3
    FileWrite $Results "$Label: $Result | kept$\r$\n"
    Return
  FileWrite $Results "$Label: $Result | changed:$Diff$\r$\n"
FunctionEnd

!macro If LABEL ERR COND
  !insertmacro Scene ${ERR}
  StrCpy $Result "false"
  ${If} ${COND}
    StrCpy $Result "true"
  ${EndIf}
  !insertmacro Kept "${LABEL}"
!macroend

; The same in ${IfNot}, which hands the test its labels the other way round.
!macro IfNot LABEL ERR COND
  !insertmacro Scene ${ERR}
  StrCpy $Result "true"
  ${IfNot} ${COND}
    StrCpy $Result "false"
  ${EndIf}
  !insertmacro Kept "${LABEL}"
!macroend

!macro Sequence LABEL ERR STATEMENT
  !insertmacro Scene ${ERR}
  ${STATEMENT}
  !insertmacro Kept "${LABEL}"
!macroend

Section
  FileOpen $Results "${RESULTS}" w
  !insertmacro Digits $Long 1023
  StrCpy $Bottom "bottom ${U+00E9}t${U+00E9}"
  StrCpy $Quoted `"double" 'single' $$0 $\r$\nnext line`

  ; Left over from an interrupted run.
  CreateDirectory "${D}"
  Tarvolk::Stop "${SVC}"
  Tarvolk::Remove "${SVC}"
  Tarvolk::Remove "${OFF}"
  Call TakeStack

  FileOpen $0 "${D}\free.dat" w
  FileClose $0
  ${Victim} "${TESTBIN32}\tvvictim.exe" "${D}\${HELD}" "life=120000 file=${D}\held.dat" "${D}\held.ready"
  ${Victim} "${TESTBIN32}\tvvictim.exe" "${D}\${WINDOW}" "life=120000 class=TvWindow-${T} caption=TvWindow-${T} style=1" "${D}\window.ready"
  ${Victim} "${TESTBIN32}\tvvictim.exe" "${D}\${DEAF}" "life=120000 class=TvDeaf-${T} caption=TvDeaf-${T} style=1 deaf=1" "${D}\deaf.ready"

  !insertmacro If "locked held" 0 `${FileLocked} "${D}\held.dat"`
  !insertmacro IfNot "locked free (IfNot)" 1 `${FileLocked} "${D}\free.dat"`
  !insertmacro If "locked missing" 1 `${FileLocked} "${D}\missing.dat"`
  !insertmacro If "running" 0 `${ProcessRunning} "${HELD}"`
  !insertmacro IfNot "running (IfNot)" 1 `${ProcessRunning} "${HELD}"`
  !insertmacro If "running, full path in capitals" 1 `${ProcessRunning} "C:\TVTEST\${T}\${HELD}"`
  !insertmacro If "not running" 0 `${ProcessRunning} "tv-nothing-${T}.exe"`
  !insertmacro If "running /yesno" 1 `${ProcessRunning} "/yesno"`

  ; Closing: by the window, by force after the time, nothing to close, names that are none.
  !insertmacro Sequence "close window" 1 `${TvCloseProgram} "${WINDOW}" 10 $Result`
  !insertmacro If "closed, running" 0 `${ProcessRunning} "${WINDOW}"`
  !insertmacro Sequence "close deaf window" 0 `${TvCloseProgram} "${DEAF}" 1 $Result`
  !insertmacro Sequence "close without window" 1 `${TvCloseProgram} "${HELD}" 0 $Result`
  !insertmacro If "after the kill, locked" 0 `${FileLocked} "${D}\held.dat"`
  !insertmacro Sequence "close not running" 0 `${TvCloseProgram} "${DEAF}" 10 $Result`
  !insertmacro Sequence "close empty name" 1 `${TvCloseProgram} "" 10 $Result`
  !insertmacro Sequence "close /kill" 0 `${TvCloseProgram} "/kill" 10 $Result`
  ; The thread is left as found: a 32-bit installer's $SYSDIR is still SysWOW64.
  FileOpen $0 "$SYSDIR\tv-${T}.txt" w
  FileClose $0
  StrCpy $1 "$WINDIR\SysWOW64"
  !if "${VARIANT}" == "amd64-unicode"
    StrCpy $1 "$WINDIR\System32"
  !endif
  StrCpy $2 "elsewhere"
  IfFileExists "$1\tv-${T}.txt" 0 +2
    StrCpy $2 "where $$SYSDIR points"
  Delete "$SYSDIR\tv-${T}.txt"
  !insertmacro Line "file under $$SYSDIR after the process words: $2"

  ; Services (stop-pending for 2 s when stopped).
  !insertmacro If "service exists, missing" 0 `${ServiceExists} "${SVC}"`
  !insertmacro If "service running, missing" 1 `${ServiceRunning} "${SVC}"`
  !insertmacro Sequence "start missing" 0 `${TvStartService} "${SVC}" 10 $Result`
  !insertmacro Sequence "stop missing" 1 `${TvStopService} "${SVC}" 10 $Result`
  Tarvolk::Install "${SVC}" "${SVC}" "16" "3" '"${SERVICE_EXE}" stopdelay=2000' "" "" "" ""
  ${Dump} "install" `Tarvolk::Install "${OFF}" "${OFF}" "16" "4" '"${SERVICE_EXE}"' "" "" "" ""`
  !insertmacro If "service exists" 1 `${ServiceExists} "${SVC}"`
  !insertmacro If "service running, stopped" 0 `${ServiceRunning} "${SVC}"`
  !insertmacro Sequence "start" 1 `${TvStartService} "${SVC}" 10 $Result`
  !insertmacro IfNot "service running (IfNot)" 0 `${ServiceRunning} "${SVC}"`
  !insertmacro Sequence "start running" 0 `${TvStartService} "${SVC}" 10 $Result`
  !insertmacro Sequence "start disabled" 1 `${TvStartService} "${OFF}" 10 $Result`
  !insertmacro Sequence "stop, no time" 0 `${TvStopService} "${SVC}" 0 $Result`
  ; The word goes to a register this time: only that one changes.
  !insertmacro Scene 1
  ${TvStopService} "${SVC}" 10 $3
  StrCpy $Result $3
  StrCpy $3 "v3"
  !insertmacro Kept "stop pending, into a register"
  !insertmacro If "service running, stopped again" 1 `${ServiceRunning} "${SVC}"`
  !insertmacro Sequence "stop stopped" 0 `${TvStopService} "${SVC}" 10 $Result`
  Tarvolk::Remove "${SVC}"
  ${Dump} "remove" `Tarvolk::Remove "${OFF}"`
  ${WaitState} "${SVC}" gone
  !insertmacro If "service exists, removed" 0 `${ServiceExists} "${SVC}"`

  ; The firewall double: reachable, then neither interface generation.
  !insertmacro FirewallState ""
  !insertmacro If "firewall" 1 `${FirewallAvailable}`
  !insertmacro FirewallState "fail|NetFwPolicy2$\r$\nfail|NetFwMgr$\r$\n"
  !insertmacro If "no firewall" 0 `${FirewallAvailable}`

  ; A stack deeper than any set of registers could hold: 300 entries above the scene's.
  !insertmacro FirewallState ""
  !insertmacro Scene 0
  ${For} $I 1 300
    Push "deep $I"
  ${Next}
  StrCpy $Result "false"
  ${If} ${FirewallAvailable}
    StrCpy $Result "true"
  ${EndIf}
  ${ForEach} $I 300 1 - 1
    Pop $Label
    ${IfThen} $Label != "deep $I" ${|} StrCpy $Result "$Result, entry $I: [$Label]" ${|}
  ${Next}
  !insertmacro Kept "300 entries"

  FileClose $Results
SectionEnd
