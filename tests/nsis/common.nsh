; Shared by the test installers: built by tests/nsis/run for one plug-in variant, run silently,
; each writes what it popped to ${RESULTS}, one line per call.
;   VARIANT  x86-ansi | x86-unicode | amd64-unicode
;   PLUGINS  the dist/Plugins folder
;   RESULTS  the results file (a Windows path)
!if "${VARIANT}" == "x86-ansi"
  Unicode false
!else if "${VARIANT}" == "amd64-unicode"
  Target amd64-unicode
!endif
!addplugindir /${VARIANT} "${PLUGINS}/${VARIANT}"

SilentInstall silent
RequestExecutionLevel admin
ShowInstDetails nevershow

Var Results

!macro OpenResults
  FileOpen $Results "${RESULTS}" w
!macroend

!macro CloseResults
  FileClose $Results
!macroend

; Writes "LABEL: [top] [next] ..." with every entry left on the stack, and empties it.
!macro DumpStack LABEL
  StrCpy $R9 "${LABEL}"
  Call DumpStack
!macroend

Function DumpStack
  StrCpy $R8 ""
  loop:
    ClearErrors
    Pop $R7
    IfErrors done
    StrCpy $R8 "$R8 [$R7]"
    Goto loop
  done:
  FileWrite $Results "$R9:$R8$\r$\n"
FunctionEnd

!macro Line TEXT
  FileWrite $Results "${TEXT}$\r$\n"
!macroend
