; The process tool exports in a real installer, on victims it starts itself; EnumProcesses calls
; back into this installer's own functions through the installer's ExecuteCodeSegment.
;   TESTBIN32  the folder of the 32-bit test programs
!include "common.nsh"

Name "Tarvolk process tools test"
OutFile "${OUTFILE}"

!define D "C:\tvtest\nsis-${VARIANT}"
!define A "tvna-${VARIANT}.exe"
!define B "tvnb-${VARIANT}.exe"
!define C "tvnc-${VARIANT}.exe"
!define E "tvne-${VARIANT}.exe"
!define L "tvnl-processes-${VARIANT}.exe"
; A folder chain of more than MAX_PATH characters. The victim L makes it (an ANSI installer could
; not) and holds held.txt in it.
!define LONG "${D}\processes-${VARIANT}-long\segment-one-123456789012345678901234567890123456789\segment-two-123456789012345678901234567890123456789\segment-three-1234567890123456789012345678901234567\segment-four-12345678901234567890123456789012345678\segment-five-12345678901234567890123456789012345678"

Var Seen
Var Calls

; Waits (at most about 10 s) until FindProcess /yesno gives $R0 for the program in $R1.
Function WaitFor
  StrCpy $R2 0
  again:
    Tarvolk::FindProcess "/yesno" "$R1"
    Pop $R3
    StrCmp $R3 $R0 done
    IntOp $R2 $R2 + 1
    IntCmp $R2 200 done
    Sleep 50
    Goto again
  done:
FunctionEnd

!macro WaitFor NAME STATE
  StrCpy $R1 "${NAME}"
  StrCpy $R0 "${STATE}"
  Call WaitFor
!macroend

Function EnumSeen
  Pop $1
  Pop $2
  Pop $3
  IntOp $Calls $Calls + 1
  StrCmp $2 "${D}\${A}" 0 +2
    StrCpy $Seen "$3"
  Push "true"
FunctionEnd

Function EnumStop
  Pop $1
  Pop $2
  Pop $3
  IntOp $Calls $Calls + 1
  Push "false"
FunctionEnd

Section
  !insertmacro OpenResults
  CreateDirectory "${D}"
  ; Left over from an interrupted run.
  Tarvolk::CloseProcess "/kill" "${A}"
  Tarvolk::CloseProcess "/kill" "${B}"
  Tarvolk::CloseProcess "/kill" "${C}"
  Tarvolk::CloseProcess "/kill" "${E}"
  Tarvolk::CloseProcess "/kill" "${L}"
  !insertmacro DumpStack "cleanup"

  CopyFiles /SILENT "${TESTBIN32}\tvvictim.exe" "${D}\${A}"
  CopyFiles /SILENT "${TESTBIN32}\tvvictim.exe" "${D}\${B}"
  CopyFiles /SILENT "${TESTBIN32}\tvvictim.exe" "${D}\${C}"
  CopyFiles /SILENT "${TESTBIN32}\tvvictim.exe" "${D}\${E}"
  CopyFiles /SILENT "${TESTBIN32}\tvvictim.exe" "${D}\${L}"
  FileOpen $0 "${D}\held.txt" w
  FileClose $0
  FileOpen $0 "${D}\free.txt" w
  FileClose $0
  Delete "${D}\*.ready"
  Exec '"${D}\${A}" file=${D}\held.txt mark=${D}\a.ready'
  Exec '"${D}\${B}" mark=${D}\b.ready'
  Exec '"${D}\${C}" class=TvNsis${VARIANT} caption=TvNsisCaption${VARIANT} style=1 mark=${D}\c.ready'
  Exec '"${D}\${E}" mark=${D}\e.ready'
  Exec '"${D}\${L}" file=${LONG}\held.txt touch=${LONG}\free.txt mark=${D}\l.ready'
  ; Each victim marks when it is ready (at most about 20 s).
  StrCpy $R2 0
  ready:
    IfFileExists "${D}\a.ready" 0 +5
    IfFileExists "${D}\b.ready" 0 +4
    IfFileExists "${D}\c.ready" 0 +3
    IfFileExists "${D}\e.ready" 0 +2
    IfFileExists "${D}\l.ready" +4
    IntOp $R2 $R2 + 1
    Sleep 50
    IntCmp $R2 400 0 ready

  ; FindProcess: the name as the tail of the image path, in any case.
  Tarvolk::FindProcess "TVNA-${VARIANT}.EXE"
  Pop $0
  Pop $1
  Pop $2
  IntCmp $0 0 noid noid 0
    StrCpy $0 "an id"
  noid:
  StrCmp $1 "${D}\${A}" 0 +2
    StrCpy $1 "image path"
  !insertmacro Line "find: [$1] [$2] $0"
  Push "below"
  Tarvolk::FindProcess "/yesno" "${A}"
  !insertmacro DumpStack "find yesno"
  Tarvolk::FindProcess "/user" "/YESNO" "${A}"
  !insertmacro DumpStack "find user yesno"
  Tarvolk::FindProcess "/yesno" "na-${VARIANT}.exe"
  !insertmacro DumpStack "find part of a name"
  Tarvolk::FindProcess "tvnothing.exe"
  !insertmacro DumpStack "find nothing"
  Tarvolk::FindProcess "/user"
  !insertmacro DumpStack "find without name"

  ; IsFileLocked.
  Tarvolk::IsFileLocked "${D}\held.txt"
  !insertmacro DumpStack "locked held"
  Tarvolk::IsFileLocked "${D}\free.txt"
  !insertmacro DumpStack "locked free"
  Tarvolk::IsFileLocked "${D}\missing.txt"
  !insertmacro DumpStack "locked missing"
  Tarvolk::IsFileLocked "${D}\nofolder\missing.txt"
  !insertmacro DumpStack "locked missing folder"
  Tarvolk::IsFileLocked "${D}"
  !insertmacro DumpStack "locked folder (access denied)"
  ; The same past MAX_PATH characters, in every variant.
  StrLen $0 "${LONG}"
  IntCmp $0 260 +3 +3 0
    !insertmacro Line "long path: more than 260 characters"
    Goto +2
    !insertmacro Line "long path: only $0 characters"
  Tarvolk::IsFileLocked "${LONG}\held.txt"
  !insertmacro DumpStack "locked long held"
  Tarvolk::IsFileLocked "${LONG}\free.txt"
  !insertmacro DumpStack "locked long free"
  Tarvolk::IsFileLocked "${LONG}\missing.txt"
  !insertmacro DumpStack "locked long missing"
  Tarvolk::IsFileLocked "${LONG}\nofolder\missing.txt"
  !insertmacro DumpStack "locked long missing folder"

  ; EnumProcesses with functions of this installer.
  StrCpy $Seen "not seen"
  StrCpy $Calls 0
  GetFunctionAddress $0 EnumSeen
  Tarvolk::EnumProcesses $0
  Pop $0
  IntCmp $Calls 4 +2 +2 0
    StrCpy $Calls "many"
  !insertmacro Line "enum: $0, victim [$Seen], calls: $Calls"
  !insertmacro DumpStack "enum left"
  StrCpy $Calls 0
  GetFunctionAddress $0 EnumStop
  Tarvolk::EnumProcesses $0
  Pop $0
  !insertmacro Line "enum stopped: $0, calls: $Calls"
  !insertmacro DumpStack "enum stopped left"

  ; CloseProcess: the window of C is asked to close; B is killed.
  Tarvolk::CloseProcess "${C}"
  !insertmacro DumpStack "close"
  !insertmacro WaitFor "${C}" "no"
  !insertmacro Line "closed: $R3"
  Tarvolk::CloseProcess "/kill" "${B}"
  !insertmacro DumpStack "close kill"
  Tarvolk::FindProcess "/yesno" "${B}"
  !insertmacro DumpStack "killed"
  Tarvolk::CloseProcess "/kill" "${B}"
  !insertmacro DumpStack "close kill again"
  Tarvolk::CloseProcess "/kill"
  !insertmacro DumpStack "close kill alone"

  ; KillProcesses with a list: A and E go, the rest is skipped.
  Tarvolk::FindProcess "${A}"
  Pop $5
  Pop $1
  Pop $1
  Tarvolk::FindProcess "${E}"
  Pop $6
  Pop $1
  Pop $1
  Push "below"
  Tarvolk::KillProcesses "$5,0,abc,$6,"
  !insertmacro DumpStack "kill list"
  Tarvolk::FindProcess "/yesno" "${A}"
  Tarvolk::FindProcess "/yesno" "${E}"
  !insertmacro DumpStack "after kill list"
  Tarvolk::IsFileLocked "${D}\held.txt"
  !insertmacro DumpStack "locked after kill"
  Tarvolk::CloseProcess "/kill" "${L}"
  !insertmacro DumpStack "close kill long"

  !insertmacro CloseResults
SectionEnd
