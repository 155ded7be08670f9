; Shared by the test installers (silent; each writes what it popped to ${RESULTS}) and, with
; WIZARD defined, by the wizards of tests/extra, whose pages write at any time.
!if "${VARIANT}" == "x86-ansi"
  Unicode false
!else if "${VARIANT}" == "amd64-unicode"
  Target amd64-unicode
!endif
!addplugindir /${VARIANT} "${PLUGINS}/${VARIANT}"

RequestExecutionLevel admin
!ifndef WIZARD
  SilentInstall silent
  ShowInstDetails nevershow
!endif

Var Results

!macro OpenResults
  FileOpen $Results "${RESULTS}" w
!macroend

!macro CloseResults
  FileClose $Results
!macroend

!macro Line TEXT
  !ifdef WIZARD
    FileOpen $Results "${RESULTS}" a
    FileSeek $Results 0 END
  !endif
  FileWrite $Results "${TEXT}$\r$\n"
  !ifdef WIZARD
    FileClose $Results
  !endif
!macroend

; A script whose own function must compile first (GetFunctionAddress gives it 1) defines
; COMMON_FUNCTIONS_LATER and inserts CommonFunctions after it.
!macro CommonFunctions
  Function TakeStack
    StrCpy $R8 ""
    loop:
      ClearErrors
      Pop $R7
      IfErrors done
      StrCpy $R8 "$R8 [$R7]"
      Goto loop
    done:
  FunctionEnd
!macroend
!ifndef COMMON_FUNCTIONS_LATER
  !insertmacro CommonFunctions
!endif

; Writes "LABEL: [top] [next] ..." and empties the stack.
!macro DumpStack LABEL
  Call TakeStack
  !insertmacro Line "${LABEL}:$R8"
!macroend

; ${Dump} "LABEL" `statement` runs it and writes DumpStack's line; ${DumpBelow} first pushes
; "below", which the call must leave alone.
!define Dump "!insertmacro Dump"
!macro Dump LABEL STATEMENT
  ${STATEMENT}
  !insertmacro DumpStack "${LABEL}"
!macroend
!define DumpBelow "!insertmacro DumpBelow"
!macro DumpBelow LABEL STATEMENT
  Push "below"
  ${STATEMENT}
  !insertmacro DumpStack "${LABEL}"
!macroend

; PROGRAM copied to PATH and started (a copy an interrupted run left is ended first); it writes
; READY when up.
!define Victim "!insertmacro Victim"
!macro Victim PROGRAM PATH ARGS READY
  Tarvolk::CloseProcess "/kill" "${PATH}"
  Pop $R7
  CopyFiles /SILENT "${PROGRAM}" "${PATH}"
  Delete "${READY}"
  Exec '"${PATH}" ${ARGS} mark=${READY}'
!macroend

!define WaitFile "!insertmacro WaitFile"
!macro WaitFile FILE
  StrCpy $R7 0
  IfFileExists "${FILE}" +4
    Sleep 50
    IntOp $R7 $R7 + 1
    IntCmp $R7 1200 0 -3
!macroend
