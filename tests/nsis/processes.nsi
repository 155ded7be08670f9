; The process tool exports on victims the installer starts; RunAsNonElevatedUser and RunAs silent.
;   TESTBIN32  the folder of the 32-bit test programs
!include "common.nsh"
!include "LogicLib.nsh"

Name "Tarvolk process tools test"
OutFile "${OUTFILE}"

!define D "C:\tvtest\nsis-${VARIANT}"
!define A "tvna-processes-${VARIANT}.exe"
!define B "tvnb-processes-${VARIANT}.exe"
!define C "tvnc-processes-${VARIANT}.exe"
!define E "tvne-processes-${VARIANT}.exe"
!define L "tvnl-processes-${VARIANT}.exe"
; A folder chain past MAX_PATH, made by victim L (an ANSI installer could not), holding held.txt.
!define LONG "${D}\processes-${VARIANT}-long\segment-one-123456789012345678901234567890123456789\segment-two-123456789012345678901234567890123456789\segment-three-1234567890123456789012345678901234567\segment-four-12345678901234567890123456789012345678\segment-five-12345678901234567890123456789012345678"

Var Seen
Var Calls
Var Inner

Function EnumSeen
  !insertmacro TakeOffer
  IntOp $Calls $Calls + 1
  StrCmp $2 "${D}\${A}" 0 +2
    StrCpy $Seen "$3"
  Push "TRUE"  ; answer words are read without regard to case
FunctionEnd

; Calls the plug-in itself: the first call of the installer keeps the DLL loaded through it.
Function EnumStop
  !insertmacro TakeOffer
  IntOp $Calls $Calls + 1
  Tarvolk::IsFileLocked "${D}\missing.txt"
  Pop $Inner
  Tarvolk::FindProcess "/yesno" "tvnothing-${VARIANT}.exe"
  Pop $R0
  StrCpy $Inner "$Inner $R0"
  Push "False"
FunctionEnd

Section
  FileOpen $Results "${RESULTS}" w
  GetFunctionAddress $0 EnumStop
  ${Dump} "enum stopped, calls: $Calls, inner: $Inner" `Tarvolk::EnumProcesses $0`
  ${DumpBelow} "address '7x'" `Tarvolk::EnumProcesses "7x"`
  CreateDirectory "${D}"
  FileOpen $0 "${D}\held.txt" w
  FileClose $0
  ${Victim} "${TESTBIN32}\tvvictim.exe" "${D}\${A}" "file=${D}\held.txt" "${D}\a.ready"
  ${Victim} "${TESTBIN32}\tvvictim.exe" "${D}\${B}" "" "${D}\b.ready"
  ${Victim} "${TESTBIN32}\tvvictim.exe" "${D}\${C}" "class=TvNsis${VARIANT} caption=TvNsisCaption${VARIANT} style=1" "${D}\c.ready"
  ${Victim} "${TESTBIN32}\tvvictim.exe" "${D}\${E}" "" "${D}\e.ready"
  ${Victim} "${TESTBIN32}\tvvictim.exe" "${D}\${L}" "file=${LONG}\held.txt touch=${LONG}\free.txt" "${D}\l.ready"

  ; FindProcess: the name as the tail of the image path, in any case.
  Tarvolk::FindProcess "TVNA-PROCESSES-${VARIANT}.EXE"
  !insertmacro TakeOffer
  IntCmp $1 0 +2 +2 0
    StrCpy $1 "an id"
  StrCmp $2 "${D}\${A}" 0 +2
    StrCpy $2 "image path"
  !insertmacro Line "find: [$2] [$3] $1"
  ${Dump} "find user yesno" `Tarvolk::FindProcess "/user" "/YESNO" "${A}"`
  ${Dump} "find part of a name" `Tarvolk::FindProcess "/yesno" "na-processes-${VARIANT}.exe"`
  ${Dump} "find nothing" `Tarvolk::FindProcess "tvnothing.exe"`
  ${Dump} "find without name" `Tarvolk::FindProcess "/user"`

  ; IsFileLocked past MAX_PATH characters, in every variant.
  ${Dump} "locked missing folder" `Tarvolk::IsFileLocked "${D}\nofolder\missing.txt"`
  ${Dump} "locked folder (access denied)" `Tarvolk::IsFileLocked "${D}"`
  StrLen $0 "${LONG}"
  IntCmp $0 260 0 0 +2
    !insertmacro Line "long path: only $0 characters"
  ${Dump} "locked long held" `Tarvolk::IsFileLocked "${LONG}\held.txt"`
  ${Dump} "locked long free" `Tarvolk::IsFileLocked "${LONG}\free.txt"`
  ${Dump} "locked long missing" `Tarvolk::IsFileLocked "${LONG}\missing.txt"`
  ${Dump} "locked long missing folder" `Tarvolk::IsFileLocked "${LONG}\nofolder\missing.txt"`

  StrCpy $Seen "not seen"
  StrCpy $Calls 0
  GetFunctionAddress $0 EnumSeen
  Tarvolk::EnumProcesses $0
  IntCmp $Calls 4 +2 +2 0
    StrCpy $Calls "many"
  !insertmacro DumpStack "enum, victim [$Seen], calls: $Calls"

  ; CloseProcess: the window of C is asked to close (it is gone within about 10 s); B is killed.
  ${Dump} "close" `Tarvolk::CloseProcess "${C}"`
  ${For} $R2 1 200
    Sleep 50
    Tarvolk::FindProcess "/yesno" "${C}"
    Pop $R3
    ${IfThen} $R3 == "no" ${|} ${ExitFor} ${|}
  ${Next}
  !insertmacro Line "closed: $R3"
  ${Dump} "close kill" `Tarvolk::CloseProcess "/kill" "${B}"`
  ${Dump} "close kill again" `Tarvolk::CloseProcess "/kill" "${B}"`
  ${Dump} "close kill alone" `Tarvolk::CloseProcess "/kill"`
  ; The installer itself is never closed nor killed, and counts as no match.
  ${Dump} "close itself" `Tarvolk::CloseProcess "/kill" "$EXEPATH"`

  ; KillProcesses with a list: A and E go, the rest is skipped.
  Tarvolk::FindProcess "${A}"
  !insertmacro TakeOffer
  StrCpy $5 $1
  Tarvolk::FindProcess "${E}"
  !insertmacro TakeOffer
  ${DumpBelow} "kill list" `Tarvolk::KillProcesses "$5,0,abc,$1,"`
  Tarvolk::FindProcess "/yesno" "${A}"
  ${Dump} "after kill list" `Tarvolk::FindProcess "/yesno" "${E}"`
  ${Dump} "close kill long" `Tarvolk::CloseProcess "/kill" "${L}"`

  ${DumpBelow} "non-elevated, missing program" `Tarvolk::RunAsNonElevatedUser "${TESTBIN32}\no-such-program.exe" 'x' "${D}"`
  ${Dump} "non-elevated, no directory" `Tarvolk::RunAsNonElevatedUser "${TESTBIN32}\tvvictim.exe" 'x'`
  ; A silent installation has no window for the page: the arguments are taken, nothing waits.
  Delete "${D}\tvcmdline.txt"
  ${DumpBelow} "RunAs silent" `Tarvolk::RunAs "/user" "User:" "someone" "/errors" "a" "b" "c" "${TESTBIN32}\tvvictim.exe" "${D}"`
  Sleep 500
  ${If} ${FileExists} "${D}\tvcmdline.txt"
    !insertmacro Line "    started anyway"
  ${EndIf}

  FileClose $Results
SectionEnd
