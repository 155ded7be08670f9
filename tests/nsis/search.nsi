; Searches over victims the installer starts: targets of every kind, the script's answers, the
; asynchronous search. Offer counts what it is offered, so the system's order does not matter.
;   TESTBIN32, TESTBIN64  the folders of the test programs
!include "common.nsh"
!include "${PLUGINS}/../Include/Quillmere64.nsh"
!include "${PLUGINS}/../Include/Tarvolk.nsh"

Name "Tarvolk search test"
OutFile "${OUTFILE}"

!define D "C:\tvtest\search-${VARIANT}"
!define F "tvsf-search-${VARIANT}.exe"
!define B "tvsb-search-${VARIANT}.exe"
!define M "tvsm-search-${VARIANT}.exe"
!define W "tvsw-search-${VARIANT}.exe"
!define K "tvsk-search-${VARIANT}.exe"
!define N "tvsn-search-${VARIANT}.exe"
!define X "tvsx-search-${VARIANT}.exe"
; A folder whose name is not ASCII (in the ANSI code page of the test prefix).
!define CAFE "${D}\café"
; Victims end by themselves after two minutes, should the installer fail before it kills them.
!define LIFE "life=120000"

; Every program the searches count offers of: the victims (program copied, arguments), by their
; whole paths (the system has a program named explorer.exe too), and the installer.
!macro PerProgram MACRO
  !insertmacro ${MACRO} F "${D}\${F}" "${BIN}\tvvictim.exe" 'file=${D}\files\held-f.dat dir=${D}\fold\inside'
  !insertmacro ${MACRO} B "${D}\${B}" "${BIN}\tvvictim.exe" 'file=${D}\folder2\beside.dat'
  !insertmacro ${MACRO} M "${D}\${M}" "${BIN}\tvvictim.exe" 'dll=${D}\mods\tvmod-search.dll'
  !insertmacro ${MACRO} W "${D}\${W}" "${BIN}\tvvictim_plain.exe" 'class=TvSearchW-${VARIANT} "caption=TvSearch Caption ${VARIANT}" style=1'
  !insertmacro ${MACRO} K "${D}\${K}" "${BIN}\tvvictim.exe" 'class=TvSearchK-${VARIANT} caption=TvSearchK style=1 deaf=1'
  !insertmacro ${MACRO} N "${CAFE}\${N}" "${BIN}\tvvictim.exe" '"file=${CAFE}\held.dat" "dll=${CAFE}\tvmod-n.dll"'
  !insertmacro ${MACRO} X "${D}\${X}" "${TESTBIN64}\tvvictim.exe" 'dll=${D}\mods64\tvmod64-search.dll'
  !insertmacro ${MACRO} explorer "${D}\ex\explorer.exe" "${BIN}\tvvictim.exe" 'file=${D}\files\held-e.dat class=TvSearchE-${VARIANT} caption=TvSearchE style=1'
  !insertmacro ${MACRO} self "$EXEPATH" "" ""
!macroend
!macro Declare KEY PATH PROGRAM ARGS
  Var c${KEY}
!macroend
!insertmacro PerProgram Declare

Var Answer
Var Custom
Var Asked
Var Nested
Var Mixed

!macro Tag KEY PATH PROGRAM ARGS
  StrCmp $2 "${PATH}" 0 +3
    IntOp $c${KEY} $c${KEY} + 1
    Goto answered
!macroend

Function Offer
  !insertmacro TakeOffer
  !insertmacro PerProgram Tag
  StrCmp $1 "0" 0 +3
    StrCpy $Custom "$Custom [$3|$2]"
    Goto answered
  StrCmp $1 "-1" 0 +2
    StrCpy $Custom "$Custom [could not close $3|$2]"
  ; Others are not counted: the applications pass offers every window, and other handle scanners
  ; hold a victim's handle's duplicate for a moment.
  answered:
  Push $Answer
FunctionEnd

Function OfferNested
  !insertmacro TakeOffer
  StrCmp $2 "${D}\${F}" 0 nested_done
  Tarvolk::IsFileLocked "${D}\files\held-f.dat"
  Pop $4
  Tarvolk::FindProcess "/yesno" "${F}"
  Pop $5
  ; A wait for the search from inside its own function could never end: refused at once.
  Push "|"
  Tarvolk::SilentWait
  Tarvolk::SilentWait "/time" 10
  Tarvolk::SilentSearch "/async" 5
  Call UpToBar
  StrCpy $Nested "$Nested [locked $4, running $5,$6]"
  nested_done:
  Push "true"
FunctionEnd

; Header words move the stack aside and back; only what this leaves is taken off.
Function Words
  ${If} ${ServiceRunning} "TvSearchNone-${VARIANT}"
  ${OrIf} ${ProcessRunning} "tvs-none-search-${VARIANT}.exe"
  ${EndIf}
  StrCpy $Asked " called"
  Push "left"
  Push "true"
FunctionEnd

; Calls an export that empties the stack (the script's entries with it), then answers.
Function OsVersionOffer
  !insertmacro TakeOffer
  Tarvolk::GetOsVersion
  Pop $1
  Pop $2
  Push "true"
FunctionEnd

; A custom target's function: every one is present but detail-two.
Function Present
  Pop $0
  StrCpy $Asked "$Asked $0"
  StrCpy $1 "true"
  ${IfThen} $0 == "detail-two" ${|} StrCpy $1 "no" ${|}
  Push $1
FunctionEnd

; The asynchronous search's custom targets: absent, after a while with the detail on the stack.
Function Slow
  Sleep 10
  Pop $0
  StrCpy $1 $0 5
  StrCmp $1 "slow-" +2
    IntOp $Mixed $Mixed + 1
  Push "no"
FunctionEnd

Function UpToBar
  StrCpy $6 ""
  loop:
    Pop $7
    StrCmp $7 "|" done
    StrCpy $6 "$6 [$7]"
    Goto loop
  done:
FunctionEnd

!macro Count KEY PATH PROGRAM ARGS
  StrCpy $R9 "$R9${KEY}=$c${KEY} "
!macroend
!macro Zero KEY PATH PROGRAM ARGS
  StrCpy $c${KEY} 0
!macroend
!macro Counts LABEL
  StrCpy $R9 ""
  !insertmacro PerProgram Count
  !insertmacro Line "${LABEL}: $R9custom=[$Custom ]"
  !insertmacro PerProgram Zero
  StrCpy $Custom ""
!macroend

!macro Search FUNCTION
  GetFunctionAddress $0 ${FUNCTION}
  Push "below"
  Tarvolk::SilentSearch $0
  Call TakeStack
  StrCpy $9 $R8
!macroend

; A search that Offer answers, and its counts.
!macro Offered LABEL
  !insertmacro Search Offer
  !insertmacro Counts "${LABEL}:$9"
!macroend

!macro Kill KEY PATH PROGRAM ARGS
  !if "${PROGRAM}" != ""
    Tarvolk::CloseProcess "/kill" "${PATH}"
  !endif
!macroend
!macro Start KEY PATH PROGRAM ARGS
  !if "${PROGRAM}" != ""
    ${Victim} "${PROGRAM}" "${PATH}" '${LIFE} ${ARGS}' "${D}\${KEY}.ready"
  !endif
!macroend

Section
  FileOpen $Results "${RESULTS}" w
  ; The macro leaves the output folder as it was.
  SetOutPath "${D}\out"
  !if "${VARIANT}" != "amd64-unicode"
    !insertmacro Quillmere64Extract "${PLUGINS}/${VARIANT}"
  !else
    !insertmacro Quillmere64Extract "${PLUGINS}/x86-unicode"
  !endif
  StrCmp $OUTDIR "${D}\out" +2
    !insertmacro Line "companion macro: OUTDIR changed to $OUTDIR"
  !insertmacro PerProgram Zero
  CreateDirectory "${D}\ex"
  CreateDirectory "${D}\fold\inside"
  CreateDirectory "${D}\mods"
  CreateDirectory "${D}\mods64"
  CreateDirectory "${CAFE}"
  CopyFiles /SILENT "${BIN}\mods\tvmod.dll" "${D}\mods\tvmod-search.dll"
  CopyFiles /SILENT "${BIN}\mods\tvmod.dll" "${CAFE}\tvmod-n.dll"
  CopyFiles /SILENT "${TESTBIN64}\mods\tvmod.dll" "${D}\mods64\tvmod64-search.dll"
  !insertmacro PerProgram Start
  StrCpy $Answer "true"

  ; Files by prefix (in any case), a folder's inside, a module; the installer holds a file too.
  Tarvolk::AddFile "${D}\FILES\held"
  Tarvolk::AddFolder "${D}\fold"
  ${Dump} "add paths" `Tarvolk::AddModule "${D}\mods\tvmod-search"`
  FileOpen $R0 "${D}\files\held-self.dat" w
  !insertmacro Search Offer
  FileClose $R0
  !insertmacro Counts "paths:$9"
  ; A file target is a prefix: the folder's name without its backslash also matches beside it.
  Tarvolk::AddFile "${D}\fold"
  !insertmacro Offered "file prefix"
  ; The search before emptied the lists: this one has targets that match nothing.
  !insertmacro Offered "after reset"

  ; A class, a caption pattern (both lowered), a class pattern one character too long.
  Tarvolk::AddClass "TVSEARCHW-${VARIANT}"
  Tarvolk::AddCaption "*search caption ${VARIANT}"
  Tarvolk::AddClass "tvsearchk-${VARIANT}?"
  !insertmacro Offered "windows"
  Tarvolk::AddApplications
  !insertmacro Offered "applications"

  ; Custom targets, with and without an icon, present and absent; bad addresses refused.
  GetFunctionAddress $R1 Present
  Tarvolk::AddCustom "/icon" "${D}\${F}" "Label one" "detail-one" $R1
  Tarvolk::AddCustom "Label two" "detail-two" $R1
  ${Dump} "add custom" `Tarvolk::AddCustom "Label three" "detail-three" $R1`
  ${Dump} "custom address abc" `Tarvolk::AddCustom "Label five" "detail-five" "abc"`
  ${Dump} "custom icon alone" `Tarvolk::AddCustom "/icon"`
  !insertmacro Search Offer
  !insertmacro Counts "custom:$9 asked:$Asked"

  ; Non-ASCII paths, through the open-file scan and through the module list.
  Tarvolk::AddFile "${CAFE}\held"
  !insertmacro Offered "non-ascii file"
  Tarvolk::AddModule "${CAFE}\tvmod-n"
  !insertmacro Offered "non-ascii module"

  ; A 64-bit module: the companion runs in the system's rundll32, never one planted beside us.
  CopyFiles /SILENT "${TESTBIN32}\tvvictim.exe" "$PLUGINSDIR\rundll32.exe"
  CopyFiles /SILENT "${TESTBIN32}\tvvictim.exe" "$EXEDIR\rundll32.exe"
  Tarvolk::AddModule "${D}\mods64\tvmod64-search"
  !insertmacro Search Offer
  Delete "$EXEDIR\rundll32.exe"
  IfFileExists "$PLUGINSDIR\tvcmdline.txt" 0 +2
    StrCpy $9 "$9, a planted rundll32.exe ran"
  !insertmacro Counts "64-bit module:$9"
  ; Without the companion a 32-bit installer still sees the images of 64-bit programs.
  Rename "$PLUGINSDIR\Quillmere64.dll" "$PLUGINSDIR\Quillmere64.off"
  Tarvolk::AddModule "${D}\${X}"
  !insertmacro Search Offer
  Rename "$PLUGINSDIR\Quillmere64.off" "$PLUGINSDIR\Quillmere64.dll"
  !insertmacro Counts "64-bit image, no companion:$9"

  Tarvolk::AddFile "${D}\files\held-f"
  !insertmacro Search OfferNested
  !insertmacro Counts "nested:$9$Nested"

  ; Any answer but "true" stops the search at the first program.
  StrCpy $Answer "false"
  Tarvolk::AddModule "${D}\mods\tvmod-search"
  Tarvolk::AddFile "${D}\files\held-f"
  !insertmacro Offered "false"

  ; "autoclose": the deaf window is killed (and recorded, for the record walk below).
  StrCpy $Answer "autoclose"
  Tarvolk::AddClass "tvsearchk-${VARIANT}"
  !insertmacro Offered "autoclose"
  ; A custom target that stays: after about 10 s it cannot be closed, and the search stops.
  GetFunctionAddress $R1 Present
  Tarvolk::AddCustom "Stays" "stays" $R1
  Tarvolk::AddCustom "Next" "next" $R1
  StrCpy $Asked ""
  !insertmacro Search Offer
  StrLen $R2 $Asked
  IntCmp $R2 200 +2 +2 0
    StrCpy $Asked "many times"
  !insertmacro Counts "autoclose custom:$9 asked $Asked"

  ; Header words in callbacks, and an export that empties the stack inside EnumProcesses.
  StrCpy $Asked ""
  GetFunctionAddress $R1 Words
  Tarvolk::AddCustom "Words" "words" $R1
  Tarvolk::AddModule "${D}\mods\tvmod-search"
  ${DumpBelow} "words in a search:$Asked" `Tarvolk::SilentSearch $R1`
  StrCpy $Asked ""
  ${DumpBelow} "words in the record's walk:$Asked" `Tarvolk::EnumClosedPrograms $R1`
  GetFunctionAddress $R1 OsVersionOffer
  ${DumpBelow} "GetOsVersion in EnumProcesses" `Tarvolk::EnumProcesses $R1`

  ; Limits: 128 targets a list (window lists: quick), none longer than its block.
  ${For} $R3 1 128
    Tarvolk::AddCaption "${D}\nothing-$R3"
  ${Next}
  ; A refused target: "error" on top, the argument left beneath it.
  ${Dump} "129th" `Tarvolk::AddCaption "one too many"`
  !insertmacro Digits $R4 259
  Tarvolk::AddClass "$R4"
  ${Dump} "long targets" `Tarvolk::AddClass "$R4a"`
  StrCpy $Answer "true"
  !insertmacro Offered "limits"

  ; Asynchronous: the percentage rises over 100 custom targets while the script polls.
  GetFunctionAddress $R1 Slow
  ${For} $R3 1 100
    Tarvolk::AddCustom "slow $R3" "slow-$R3" $R1
  ${Next}
  ${Dump} "percent before" `Tarvolk::SilentPercentComplete`
  ; The search's functions may change $0 to $5 meanwhile, not $7.
  GetFunctionAddress $7 Offer
  Tarvolk::SilentSearch "/async" $7
  ${Dump} "async start" `Tarvolk::SilentWait "/time" 0`
  ; While it is held nothing is added and no other search starts; the arguments stay.
  ${Dump} "second search" `Tarvolk::SilentSearch "/async" 99`
  ${Dump} "add while held" `Tarvolk::AddFile "C:\tvtest\while held"`
  StrCpy $R5 0
  StrCpy $R6 0
  StrCpy $R7 "rising"
  StrCpy $Mixed 0
  ${Do}
    ; The script's own stack work between two polls sees only its own entries.
    ${For} $R3 1 20
      Push "a"
      Push "b"
      Pop $R1
      Pop $R2
      StrCmp "$R2$R1" "ab" +2
        IntOp $Mixed $Mixed + 1
    ${Next}
    Tarvolk::SilentPercentComplete
    Pop $R4
    ${If} $R4 < $R5
      StrCpy $R7 "fell from $R5 to $R4"
    ${ElseIf} $R4 > $R5
      IntOp $R6 $R6 + 1
      StrCpy $R5 $R4
    ${EndIf}
    Tarvolk::SilentWait "/time" 200
    Pop $R4
  ${LoopWhile} $R4 == "wait"
  ${IfThen} $R6 < 2 ${|} StrCpy $R7 "$R7, only $R6 values" ${|}
  ${IfThen} $R5 > 100 ${|} StrCpy $R7 "$R7, above 100" ${|}
  !insertmacro Line "async: $R4, $R7, $Mixed entries mixed up"
  ; Ended and reset, but held until collected.
  ${Dump} "percent after" `Tarvolk::SilentPercentComplete`
  ${DumpBelow} "collected" `Tarvolk::SilentWait`
  ${Dump} "percent collected" `Tarvolk::SilentPercentComplete`
  ${Dump} "wait collected" `Tarvolk::SilentWait "/time" 0`
  ; An answer that stops an asynchronous search reads as "cancel".
  StrCpy $Answer "false"
  Tarvolk::AddFile "${D}\files\held-f"
  Tarvolk::SilentSearch "/async" $7
  Tarvolk::SilentWait "/time" 60000
  ${Dump} "async false" `Tarvolk::SilentWait`
  ; Refused: the arguments it could not use stay under "error", and what lies below.
  ${DumpBelow} "search async alone" `Tarvolk::SilentSearch "/ASYNC"`
  ${DumpBelow} "search address 0" `Tarvolk::SilentSearch "/async" "0"`

  !insertmacro PerProgram Kill
  Call TakeStack
  FileClose $Results
SectionEnd
