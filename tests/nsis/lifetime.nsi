; The plug-in's life inside a real installer: the first call keeps the DLL loaded, so a script
; function that the plug-in calls back may call the plug-in again (that the calls leave no handle
; behind is counted in the harness, ProcessToolsLeakNoHandles). Also an address EnumProcesses
; refuses.
!include "common.nsh"

Name "Tarvolk lifetime test"
OutFile "${OUTFILE}"

Var Inner

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

  ; Only GetFunctionAddress's numbers pass (the parse is tested natively, FunctionIndexOf).
  ${DumpBelow} "address '7x'" `Tarvolk::EnumProcesses "7x"`
  !insertmacro CloseResults
SectionEnd
