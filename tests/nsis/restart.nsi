; The record of what "autoclose" ended (closed, killed, 64-bit through the companion, a lingering
; service, a parent with helpers) and RestartClosedPrograms starting each again as it ran; a walk
; offers what a nested search closed; an uninstaller's temporary copy never ends itself or us.
;   TESTBIN32, TESTBIN64, SERVICE_EXE
!include "common.nsh"
!include "${PLUGINS}/../Include/Quillmere64.nsh"
!include "LogicLib.nsh"
!include "FileFunc.nsh"

Name "Tarvolk restart test"
OutFile "${OUTFILE}"

!define T "restart-${VARIANT}"
!define D "C:\tvtest\${T}"
!define SVC "TvRestart-${VARIANT}"
!define POLITE '"${D}\polite-${T}.exe" class=TvPolite-${T} caption=Polite style=1 record=${D}\polite.txt life=60000'
!define DEAF '"${D}\deaf-${T}.exe" class=TvDeaf-${T} caption=Deaf style=1 deaf=1 record=${D}\deaf.txt life=60000'
!define WIDE '"${D}\wide-${T}.exe" dll=${D}\tvmod64-${T}.dll record=${D}\wide.txt life=60000'
!define TREE '"${D}\tree-${T}.exe" helpers=2 record=${D}\tree.txt life=60000'
!define LATE '"${D}\late-${T}.exe" class=TvLate-${T} caption=Late style=1 record=${D}\late.txt life=60000'
!define SVCLINE '"${D}\tvsvc-${T}.exe" linger=3000'

; Each program NAME-${T}.exe: its command line, folder and search target. A service's folder is
; the service manager's.
!macro PerProgram MACRO
  !insertmacro ${MACRO} polite '${POLITE}' "${D}\polite-wd" "tvpolite-${T}"
  !insertmacro ${MACRO} deaf '${DEAF}' "${D}\deaf-wd" "tvdeaf-${T}"
  !insertmacro ${MACRO} wide '${WIDE}' "${D}\wide-wd" "${D}\tvmod64-${T}.dll"
  !insertmacro ${MACRO} tvsvc '${SVCLINE}' "$4" "${D}\tvsvc-${T}.exe"
  !insertmacro ${MACRO} tree '${TREE}' "${D}\tree-wd" "${D}\tree-${T}.exe"
  !insertmacro ${MACRO} late '${LATE}' "${D}\late-wd" "tvlate-${T}"
!macroend
; Each program's record line apart: the two windows come in the system's order.
!macro Declare NAME LINE FOLDER TARGET
  Var Rec_${NAME}
!macroend
!insertmacro PerProgram Declare
Var Lines
Var Helpers
Var NotStarted
Var Nested  ; the searches started from inside a walk's function so far

Function Offer
  !insertmacro TakeOffer
  Push "autoclose"
FunctionEnd

!macro Known NAME LINE FOLDER TARGET
  ${If} $2 == "${D}\${NAME}-${T}.exe"
    ${IfThen} $3 == '${LINE}' ${|} StrCpy $3 "as started" ${|}
    ${IfThen} $4 == "${FOLDER}" ${|} StrCpy $4 "as started" ${|}
    ${IfThen} $6 == "${TARGET}" ${|} StrCpy $6 "its target" ${|}
    StrCpy $Rec_${NAME} "$Rec_${NAME}[$1] [$3] [$4] [$5] [$6] [$7]"
  ${EndIf}
!macroend

Function Entry
  !insertmacro TakeEntry
  StrCpy $R0 $5 11
  ${IfThen} $R0 == "Process ID:" ${|} StrCpy $5 "Process ID: N" ${|}
  ${IfThen} $7 == "${SVC}" ${|} StrCpy $7 "its service" ${|}
  IntOp $Lines $Lines + 1
  ${If} $2 == "${D}\tree-${T}.exe"
  ${AndIf} $3 != '${TREE}'
    StrCpy $Helpers "$Helpers [$1]"
  ${Else}
    !insertmacro PerProgram Known
  ${EndIf}
  ${IfThen} $Nested = 0 ${|} Call Late ${|}
  Push "true"
FunctionEnd

!macro Recorded NAME LINE FOLDER TARGET
  !insertmacro Line "  ${NAME}: $Rec_${NAME}"
  StrCpy $Rec_${NAME} ""
!macroend
!macro Record LABEL
  StrCpy $Lines 0
  StrCpy $Helpers ""
  GetFunctionAddress $0 Entry
  ${DumpBelow} "${LABEL}: $Lines entries" `Tarvolk::EnumClosedPrograms $0`
  !insertmacro PerProgram Recorded
  !insertmacro Line "  tree's helpers:$Helpers"
!macroend

; RestartClosedPrograms "/ask": what it would do with each, and yes to all.
Function Ask
  Pop $0  ; start, or why not
  Pop $1  ; how it ended
  IntOp $Lines $Lines + 1
  ${IfThen} $0 != "start" ${|} StrCpy $NotStarted "$NotStarted [$0 $1]" ${|}
  ${IfThen} $Nested = 1 ${|} Call Late ${|}
  Push "true"
FunctionEnd

; This installer's copy run with "_?=" as an uninstaller's temporary copy, its starter waiting: it
; searches for itself, then the starter, and ends with how many it heard could not be closed.
Var Heard
Function Self
  Pop $1  ; id
  ${IfThen} $1 == "-1" ${|} IntOp $Heard $Heard + 1 ${|}
  Push "autoclose"
FunctionEnd

; The two lines a program recorded when it started, and the two of its second start.
!macro Restarted NAME
  ${For} $R2 0 100
    StrCpy $R6 ""
    FileOpen $R0 "${D}\${NAME}.txt" r
    FileRead $R0 $R3
    FileRead $R0 $R4
    FileRead $R0 $R5
    FileRead $R0 $R6
    FileClose $R0
    ${IfThen} $R6 != "" ${|} ${ExitFor} ${|}
    Sleep 100
  ${Next}
  ${If} "$R3$R4" == "$R5$R6"
    !insertmacro Line "${NAME}: started again with the same command line in the same folder"
  ${Else}
    !insertmacro Line "${NAME}: not started again as before: [$R5] in [$R6] after [$R3] in [$R4]"
  ${EndIf}
!macroend

!macro Kill NAME LINE FOLDER TARGET
  !if ${NAME} != tvsvc
    Tarvolk::CloseProcess "/kill" "${NAME}-${T}.exe"
  !endif
!macroend
!macro Clean
  !insertmacro PerProgram Kill
  Tarvolk::Stop "/wait" 10 "${SVC}"
  Tarvolk::Remove "${SVC}"
  Call TakeStack
!macroend

; Each program records how it was started in NAME.txt.
!macro Start NAME BIN LINE
  SetOutPath "${D}\${NAME}-wd"
  CopyFiles /SILENT "${BIN}\tvvictim.exe" "${D}\${NAME}-${T}.exe"
  Exec '${LINE}'
  ${WaitFile} "${D}\${NAME}.txt"
!macroend

; The late program started anew, and closed by a search from inside a walk's function.
Function Late
  IntOp $Nested $Nested + 1
  Delete "${D}\late.txt"
  !insertmacro Start late ${BIN} '${LATE}'
  Tarvolk::AddClass "TvLate-${T}"
  GetFunctionAddress $R0 Offer
  Tarvolk::SilentSearch $R0
  Pop $R0
  !insertmacro Line "  search from inside the walk: [$R0]"
FunctionEnd

Section
  ${GetOptions} $CMDLINE "/starter=" $R1
  ${IfNot} ${Errors}
    GetFunctionAddress $0 Self
    Tarvolk::AddModule "$EXEPATH"
    Tarvolk::SilentSearch $0
    Tarvolk::AddModule "$R1"
    Tarvolk::SilentSearch $0
    SetErrorLevel $Heard
    Quit
  ${EndIf}
  FileOpen $Results "${RESULTS}" w
  !if "${VARIANT}" != "amd64-unicode"
    !insertmacro Quillmere64Extract "${PLUGINS}/${VARIANT}"
  !endif
  !insertmacro Clean
  RMDir /r "${D}"
  CreateDirectory "${D}"
  CopyFiles /SILENT "${TESTBIN64}\mods\tvmod.dll" "${D}\tvmod64-${T}.dll"
  CopyFiles /SILENT "${SERVICE_EXE}" "${D}\tvsvc-${T}.exe"
  Tarvolk::Install "${SVC}" "${SVC}" "16" "3" '${SVCLINE}' "" "" "" ""
  Tarvolk::Start "${SVC}"
  Call TakeStack
  !insertmacro Start polite ${BIN} '${POLITE}'
  !insertmacro Start deaf ${BIN} '${DEAF}'
  !insertmacro Start wide ${TESTBIN64} '${WIDE}'
  !insertmacro Start tree ${BIN} '${TREE}'
  Sleep 500

  Tarvolk::AddClass "TvPolite-${T}"
  Tarvolk::AddClass "TvDeaf-${T}"
  Tarvolk::AddModule "${D}\tvmod64-${T}.dll"
  Tarvolk::AddModule "${D}\tvsvc-${T}.exe"
  Tarvolk::AddModule "${D}\tree-${T}.exe"
  GetFunctionAddress $0 Offer
  ${DumpBelow} "search" `Tarvolk::SilentSearch $0`

  !insertmacro Record "record"

  ${DumpBelow} "record with address 0" `Tarvolk::EnumClosedPrograms "0"`
  ${DumpBelow} "restart asking abc" `Tarvolk::RestartClosedPrograms "/ask" "abc"`

  GetFunctionAddress $0 Ask
  StrCpy $Lines 0
  StrCpy $NotStarted ""
  ${DumpBelow} "restart, asked $Lines times, not to start:$NotStarted" `Tarvolk::RestartClosedPrograms "/ask" $0`
  !insertmacro Restarted polite
  !insertmacro Restarted deaf
  !insertmacro Restarted wide
  !insertmacro Restarted tree
  ${WaitState} "${SVC}" 4
  !insertmacro Line "service state (4 running): $R3"

  !insertmacro Record "record after the restart"
  ${DumpBelow} "restart again" `Tarvolk::RestartClosedPrograms`

  CopyFiles /SILENT "$EXEPATH" "${D}\Au_-${T}.exe"
  ExecWait '"${D}\Au_-${T}.exe" /starter=$EXEPATH /S _?=${D}' $R0
  !insertmacro Line "the uninstaller's copy: of itself and its uninstaller, $R0 could not be closed"

  !insertmacro Clean
  FileClose $Results
SectionEnd
