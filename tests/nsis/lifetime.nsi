; The plug-in's life inside a real installer: the first call keeps the DLL loaded, so a script
; function that the plug-in calls back may call the plug-in again, and a hundred calls leave the
; installer no more handles than one. Also the addresses EnumProcesses refuses.
;   TESTBIN64  the folder of the 64-bit test programs (tvhandles.exe counts a process's handles)
!include "common.nsh"

Name "Tarvolk lifetime test"
OutFile "${OUTFILE}"

Var Inner
Var Pid

; Called back by EnumProcesses: calls the plug-in itself, then stops the walk.
Function Nested
  Pop $1
  Pop $2
  Pop $3
  Tarvolk::IsFileLocked "C:\tvtest\lifetime-${VARIANT}-missing.txt"
  Pop $Inner
  Tarvolk::FindProcess "/yesno" "tvlifetime-${VARIANT}-nothing.exe"
  Pop $R0
  StrCpy $Inner "$Inner $R0"
  Push "false"
FunctionEnd

; Answers in capitals: answer words are read without regard to case.
Function UpperTrue
  Pop $1
  Pop $2
  Pop $3
  IntOp $R5 $R5 + 1
  StrCmp $R5 2 0 +3
    Push "False"
    Return
  Push "TRUE"
FunctionEnd


!macro Refused ADDRESS
  Push "below"
  Tarvolk::EnumProcesses "${ADDRESS}"
  !insertmacro DumpStack "address '${ADDRESS}'"
!macroend

Section
  !insertmacro OpenResults
  ; The first plug-in call of this installer: it must survive the call inside its callback.
  GetFunctionAddress $0 Nested
  Tarvolk::EnumProcesses $0
  Pop $R0
  !insertmacro Line "nested: $R0, inner: $Inner"

  StrCpy $R5 0
  GetFunctionAddress $0 UpperTrue
  Tarvolk::EnumProcesses $0
  Pop $R0
  !insertmacro Line "capitals: $R0 after $R5 calls"

  !insertmacro Refused "abc"
  !insertmacro Refused ""
  !insertmacro Refused "-1"
  !insertmacro Refused "0"
  !insertmacro Refused "0x"
  !insertmacro Refused "7x"
  !insertmacro Refused "99999999999999999999"

  ; A hundred calls of exports of every module leave no handle behind.
  System::Call "kernel32::GetCurrentProcessId() i .s"
  Pop $Pid
  ExecWait '"${TESTBIN64}\tvhandles.exe" $Pid' $R1
  StrCpy $R3 0
  loop:
    Tarvolk::GetOsVersion
    Pop $R0
    Pop $R0
    Tarvolk::IsFileLocked "C:\tvtest\lifetime-${VARIANT}-missing.txt"
    Pop $R0
    Tarvolk::KillProcesses "0"
    IntOp $R3 $R3 + 1
    IntCmp $R3 100 0 loop
  ExecWait '"${TESTBIN64}\tvhandles.exe" $Pid' $R2
  IntOp $R4 $R2 - $R1
  IntCmp $R1 0 counted counted 0
  IntCmp $R4 5 0 0 grew
    !insertmacro Line "handles after 100 rounds: no growth"
    Goto counted
  grew:
    !insertmacro Line "handles after 100 rounds: $R1 before, $R2 after"
  counted:
  !insertmacro CloseResults
SectionEnd
