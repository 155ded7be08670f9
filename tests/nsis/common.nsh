; Shared by the test installers (silent; each writes what it popped to ${RESULTS}) and, with
; WIZARD defined, by the wizards of tests/extra, whose pages write at any time.
; BIN: the test programs of the installer's own width.
!if "${VARIANT}" == "amd64-unicode"
  Target amd64-unicode
  !define BIN "${TESTBIN64}"
!else
  !define BIN "${TESTBIN32}"
!endif
!if "${VARIANT}" == "x86-ansi"
  Unicode false
!endif
!addplugindir /${VARIANT} "${PLUGINS}/${VARIANT}"

RequestExecutionLevel admin
!ifndef WIZARD
  SilentInstall silent
  ShowInstDetails nevershow
!endif

Var Results

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

  ; Waits (about 10 s) for the service $R0 to reach state $R1 ("gone": a deleted service stays
  ; until its process ends); leaves the last answer in $R2 and state in $R3.
  Function WaitState
    StrCpy $R4 0
    again:
      Tarvolk::QueryStatus $R0
      Pop $R2
      Pop $R3
      StrCmp $R3 $R1 done
      StrCmp "$R1$R2" "goneerror" done
      IntOp $R4 $R4 + 1
      IntCmp $R4 200 done
      Sleep 50
      Goto again
    done:
  FunctionEnd
!macroend
!ifndef COMMON_FUNCTIONS_LATER
  !insertmacro CommonFunctions
!endif

; A search's or EnumProcesses's function: $1 id, $2 image, $3 name. A record walk's: then $4
; folder, $5 name, $6 target, $7 service ($1 how it ended, $3 command line).
!macro TakeOffer
  Pop $1
  Pop $2
  Pop $3
!macroend
!macro TakeEntry
  !insertmacro TakeOffer
  Pop $4
  Pop $5
  Pop $6
  Pop $7
!macroend

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

; VAR made LENGTH digits "0123456789012..." long (at most 1023, the longest string there is).
!macro Digits VAR LENGTH
  StrCpy ${VAR} "0123456789"
  StrCpy ${VAR} "${VAR}${VAR}${VAR}${VAR}${VAR}${VAR}${VAR}${VAR}${VAR}${VAR}"
  StrCpy ${VAR} "${VAR}${VAR}${VAR}${VAR}${VAR}${VAR}${VAR}${VAR}${VAR}${VAR}${VAR}" ${LENGTH}
!macroend

; $6 "kept" when VALUE of HKLM\KEY, read as UTF-16, still holds U+03A9 (a letter of another script
; than the installer's code page), and $5 its size in bytes.
!macro OmegaKept KEY VALUE
  System::Alloc 4096
  Pop $4
  System::Call 'advapi32::RegOpenKeyExW(p 0x80000002, w "${KEY}", i 0, i 0x20019, *p .r2)'
  System::Call 'advapi32::RegQueryValueExW(p r2, w "${VALUE}", p 0, p 0, p r4, *i 4096 r5)'
  System::Call 'advapi32::RegCloseKey(p r2)'
  System::Call 'msvcrt::wcschr(p r4, i 0x3A9) p .r6'
  System::Free $4
  IntCmp $6 0 +2
    StrCpy $6 "kept"
!macroend

; The state file of the firewall double (named by TARVOLK_FIREWALL_STATE) made TEXT.
!macro FirewallState TEXT
  ReadEnvStr $R7 TARVOLK_FIREWALL_STATE
  FileOpen $R6 $R7 w
  FileWrite $R6 "${TEXT}"
  FileClose $R6
!macroend

!define WaitState "!insertmacro WaitState"
!macro WaitState SERVICE STATE
  StrCpy $R0 "${SERVICE}"
  StrCpy $R1 "${STATE}"
  Call WaitState
!macroend

!define WaitFile "!insertmacro WaitFile"
!macro WaitFile FILE
  StrCpy $R7 0
  IfFileExists "${FILE}" +4
    Sleep 50
    IntOp $R7 $R7 + 1
    IntCmp $R7 1200 0 -3
!macroend

; PROGRAM copied to PATH and started (a copy an interrupted run left is ended first); it writes
; READY when up, which this waits for.
!define Victim "!insertmacro Victim"
!macro Victim PROGRAM PATH ARGS READY
  Tarvolk::CloseProcess "/kill" "${PATH}"
  Pop $R7
  CopyFiles /SILENT "${PROGRAM}" "${PATH}"
  Delete "${READY}"
  Exec '"${PATH}" ${ARGS} mark=${READY}'
  ${WaitFile} "${READY}"
!macroend
