; RunAsNonElevatedUser from a real installer. Wine has no shell window, so the program starts
; through the ordinary start; the test program records the command line and the directory it
; really got. Also RunAs in a silent installation, which has no window to show its page in.
;   TESTBIN32  the folder of the 32-bit test programs
!include "common.nsh"
!include "LogicLib.nsh"

Name "Tarvolk non-elevated start test"
OutFile "${OUTFILE}"

!define WD "C:\tvnonelevated-${VARIANT}"

; Waits (at most about 10 s) for the test program's record in ${WD} and writes it.
Function ReadRecord
  StrCpy $R0 0
  ${DoUntil} ${FileExists} "${WD}\tvcmdline.txt"
    IntOp $R0 $R0 + 1
    ${If} $R0 > 200
      FileWrite $Results "    nothing started$\r$\n"
      Return
    ${EndIf}
    Sleep 50
  ${Loop}
  ; Under load the record's name can be seen a moment before its text can be read.
  ${Do}
    StrCpy $R2 ""
    StrCpy $R3 ""
    ClearErrors
    FileOpen $R1 "${WD}\tvcmdline.txt" r
    ${IfNot} ${Errors}
      FileRead $R1 $R2
      FileRead $R1 $R3
      FileClose $R1
    ${EndIf}
    ${If} $R3 != ""
    ${OrIf} $R0 > 200
      ${ExitDo}
    ${EndIf}
    IntOp $R0 $R0 + 1
    Sleep 50
  ${Loop}
  Delete "${WD}\tvcmdline.txt"
  ; Without the line ends.
  StrCpy $R2 $R2 -2
  StrCpy $R3 $R3 -2
  ${If} $R3 == "${WD}"
    StrCpy $R3 "the directory given"
  ${EndIf}
  FileWrite $Results "    command line=[$R2]$\r$\n    directory=[$R3]$\r$\n"
FunctionEnd

Section
  !insertmacro OpenResults
  RMDir /r "${WD}"
  CreateDirectory "${WD}"

  Push "below"
  Tarvolk::RunAsNonElevatedUser "${TESTBIN32}\tvcmdline.exe" 'tvcmdline first "second arg"' "${WD}"
  !insertmacro DumpStack "start"
  Call ReadRecord

  Tarvolk::RunAsNonElevatedUser "${TESTBIN32}\no-such-program.exe" 'x' "${WD}"
  !insertmacro DumpStack "missing program"

  Tarvolk::RunAsNonElevatedUser "${TESTBIN32}\tvcmdline.exe" 'x'
  !insertmacro DumpStack "no directory"

  ; A silent installation: the arguments are taken, "error" goes on top, nothing waits.
  Push "below"
  Tarvolk::RunAs "/user" "User:" "someone" "/errors" "a" "b" "c" "${TESTBIN32}\tvcmdline.exe" "${WD}"
  !insertmacro DumpStack "RunAs silent"
  Sleep 500
  ${If} ${FileExists} "${WD}\tvcmdline.txt"
    FileWrite $Results "    started anyway$\r$\n"
  ${EndIf}

  RMDir /r "${WD}"
  !insertmacro CloseResults
SectionEnd
