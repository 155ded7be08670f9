; RunAsNonElevatedUser from a real installer where it cannot start the program (the run-as
; example starts one and checks its command line and directory), and RunAs in a silent
; installation, which has no window to show its page in. The program is the victim that, started
; without a switch, writes tvcmdline.txt in its folder.
;   TESTBIN32  the folder of the 32-bit test programs
!include "common.nsh"
!include "LogicLib.nsh"

Name "Tarvolk non-elevated start test"
OutFile "${OUTFILE}"

!define WD "C:\tvnonelevated-${VARIANT}"

Section
  !insertmacro OpenResults
  RMDir /r "${WD}"
  CreateDirectory "${WD}"

  ${DumpBelow} "missing program" `Tarvolk::RunAsNonElevatedUser "${TESTBIN32}\no-such-program.exe" 'x' "${WD}"`

  ${Dump} "no directory" `Tarvolk::RunAsNonElevatedUser "${TESTBIN32}\tvvictim.exe" 'x'`

  ; A silent installation: the arguments are taken, "error" goes on top, nothing waits.
  ${DumpBelow} "RunAs silent" `Tarvolk::RunAs "/user" "User:" "someone" "/errors" "a" "b" "c" "${TESTBIN32}\tvvictim.exe" "${WD}"`
  Sleep 500
  ${If} ${FileExists} "${WD}\tvcmdline.txt"
    FileWrite $Results "    started anyway$\r$\n"
  ${EndIf}

  RMDir /r "${WD}"
  !insertmacro CloseResults
SectionEnd
