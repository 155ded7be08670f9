; Shared by the test installers: built by tests/nsis/run for one plug-in variant, run silently,
; each writes what it popped to ${RESULTS}, one line per call. The wizards of tests/extra include
; it too, with WIZARD defined: they are not silent, and their pages write at any time.
;   VARIANT  x86-ansi | x86-unicode | amd64-unicode
;   PLUGINS  the dist/Plugins folder
;   RESULTS  the results file (a Windows path)
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

; Every entry on the stack, top first, as " [top] [next] ..." in $R8; the stack is emptied. A
; script whose own function must be the first it compiles (GetFunctionAddress gives that one 1)
; defines COMMON_FUNCTIONS_LATER and inserts CommonFunctions after it.
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

; Writes "LABEL: [top] [next] ..." with every entry left on the stack, and empties it.
!macro DumpStack LABEL
  Call TakeStack
  !insertmacro Line "${LABEL}:$R8"
!macroend

; One call and what it left, in one line: ${Dump} "LABEL" `Tarvolk::Name "argument" ...`
; runs the statement and then writes DumpStack's line; ${DumpBelow} first pushes an entry of the
; script's own, "below", that the call must leave alone (or take, where it empties the stack).
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

; A victim: the test program PROGRAM copied to PATH (a name that carries the variant and the
; test's name) and started with the arguments, once a copy that an interrupted run left is ended.
; It writes the file READY when it is up: ${WaitFile} waits for it.
!define Victim "!insertmacro Victim"
!macro Victim PROGRAM PATH ARGS READY
  Tarvolk::CloseProcess "/kill" "${PATH}"
  Pop $R7
  CopyFiles /SILENT "${PROGRAM}" "${PATH}"
  Delete "${READY}"
  Exec '"${PATH}" ${ARGS} mark=${READY}'
!macroend

; Waits (at most about a minute) until the file exists.
!define WaitFile "!insertmacro WaitFile"
!macro WaitFile FILE
  StrCpy $R7 0
  IfFileExists "${FILE}" +4
    Sleep 50
    IntOp $R7 $R7 + 1
    IntCmp $R7 1200 0 -3
!macroend
