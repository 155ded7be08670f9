; Closing every kind of program in a silent installer: "autoclose" for console, tray, self-asking,
; session-refusing, lingering-service and helper-process programs; then "close", the header's
; ${TvCloseProgram} and ${TvStopService}, and CloseProcess for a tray program.
;   TESTBIN32, SERVICE_EXE
!include "common.nsh"
!include "${PLUGINS}\..\Include\Tarvolk.nsh"

Name "Tarvolk close test"
OutFile "${OUTFILE}"

!define T "close-${VARIANT}"
!define D "C:\tvtest\${T}"
!define SVC "TvClose-${VARIANT}"
; How Start starts the tree, which its helpers' command lines are not.
!define TREE '"${D}\tree-${T}.exe" class=TvTree-${T} caption=Tree style=1 helpers=2 helperdll=${D}\tvmod-${T}.dll life=60000 mark=${D}\tree.ready'

Var Answer
Var Heard  ; the programs the function heard of as ones that cannot be closed

; Per kind: how often it was offered (-1 included) and what the record says.
!macro PerKind MACRO
  !insertmacro ${MACRO} console
  !insertmacro ${MACRO} tray
  !insertmacro ${MACRO} ask
  !insertmacro ${MACRO} refuser
  !insertmacro ${MACRO} tvsvc
  !insertmacro ${MACRO} tree
!macroend
!macro Declare KIND
  Var Offered_${KIND}
  Var Record_${KIND}
!macroend
!insertmacro PerKind Declare

!macro Tally KIND
  ${If} $2 == "${D}\${KIND}-${T}.exe"
    IntOp $Offered_${KIND} $Offered_${KIND} + 1
    ${IfThen} $1 == "-1" ${|} StrCpy $Heard "$Heard ${KIND}" ${|}
  ${EndIf}
!macroend
Function Offer
  !insertmacro TakeOffer
  !insertmacro PerKind Tally
  Push $Answer
FunctionEnd

!macro Told KIND
  StrCpy $R0 "$R0 ${KIND} $Offered_${KIND}"
  StrCpy $Offered_${KIND} 0
!macroend
!macro Search ANSWER
  StrCpy $Answer "${ANSWER}"
  StrCpy $Heard ""
  GetFunctionAddress $0 Offer
  ${DumpBelow} "${ANSWER}" `Tarvolk::SilentSearch $0`
  StrCpy $R0 ""
  !insertmacro PerKind Told
  !insertmacro Line "  offered:$R0; heard of as not closed:$Heard"
!macroend

!macro Entry KIND
  ${IfThen} $2 == "${D}\${KIND}-${T}.exe" ${|} StrCpy $Record_${KIND} "$Record_${KIND} $1" ${|}
!macroend
Function Entry
  !insertmacro TakeEntry
  ${If} $2 == "${D}\tree-${T}.exe"
  ${AndIf} $3 != '${TREE}'
    StrCpy $1 "$1 (a helper process)"
  ${EndIf}
  !insertmacro PerKind Entry
  Push "true"
FunctionEnd
!macro Recorded KIND
  !insertmacro Line "  ${KIND}:$Record_${KIND}"
!macroend

!macro Start KIND ARGS
  ${Victim} "${TESTBIN32}\tvvictim.exe" "${D}\${KIND}-${T}.exe" '${ARGS} life=60000' "${D}\${KIND}.ready"
!macroend

!macro Bye KIND
  ${WaitFile} "${D}\${KIND}.bye"
  FileOpen $0 "${D}\${KIND}.bye" r
  FileRead $0 $1
  FileClose $0
  StrCpy $1 $1 -2
  !insertmacro Line "  ${KIND}: $1"
  Delete "${D}\${KIND}.bye"
!macroend

!macro Running LABEL KIND
  ${Dump} "${LABEL}" `Tarvolk::FindProcess "/yesno" "${KIND}-${T}.exe"`
!macroend

!macro Kill KIND
  Tarvolk::CloseProcess "/kill" "${KIND}-${T}.exe"
!macroend
!macro Clean
  !insertmacro PerKind Kill
  Tarvolk::Stop "/wait" 10 "${SVC}"
  Tarvolk::Remove "${SVC}"
  Call TakeStack
!macroend

Section
  FileOpen $Results "${RESULTS}" w
  !insertmacro Clean
  RMDir /r "${D}"
  CreateDirectory "${D}"
  CopyFiles /SILENT "${TESTBIN32}\mods\tvmod.dll" "${D}\tvmod-${T}.dll"
  CopyFiles /SILENT "${SERVICE_EXE}" "${D}\tvsvc-${T}.exe"
  Tarvolk::Install "${SVC}" "${SVC}" "16" "3" '"${D}\tvsvc-${T}.exe" linger=3000' "" "" "" ""
  Tarvolk::Start "${SVC}"
  Call TakeStack
  ; Started hidden, so that its console has no window on the display.
  CopyFiles /SILENT "${TESTBIN32}\tvvictim.exe" "${D}\console-${T}.exe"
  ExecShell "" "${D}\console-${T}.exe" "console=1 bye=${D}\console.bye life=60000 mark=${D}\console.ready" SW_HIDE
  ${WaitFile} "${D}\console.ready"
  !insertmacro Start tray "class=TvTray-${T} bye=${D}\tray.bye"
  !insertmacro Start ask "class=TvAsk-${T} caption=Ask style=1 ask=4000 bye=${D}\ask.bye"
  !insertmacro Start refuser "class=TvRefuser-${T} refuse=1"
  !insertmacro Start tree "class=TvTree-${T} caption=Tree style=1 helpers=2 helperdll=${D}\tvmod-${T}.dll"

  Tarvolk::AddModule "${D}\console-${T}.exe"
  Tarvolk::AddModule "${D}\tray-${T}.exe"
  Tarvolk::AddModule "${D}\ask-${T}.exe"
  Tarvolk::AddModule "${D}\refuser-${T}.exe"
  Tarvolk::AddModule "${D}\tvsvc-${T}.exe"
  Tarvolk::AddModule "${D}\tvmod-${T}.dll"
  !insertmacro Search "autoclose"
  !insertmacro Bye console
  !insertmacro Bye tray
  !insertmacro Bye ask
  !insertmacro Running "tree or a helper running" tree
  !insertmacro Running "service's program running" tvsvc

  !insertmacro Start refuser "class=TvRefuser-${T} refuse=1"
  Tarvolk::AddModule "${D}\refuser-${T}.exe"
  !insertmacro Search "close"
  ${TvCloseProgram} "refuser-${T}.exe" 10 $0
  !insertmacro Line "TvCloseProgram: $0"
  !insertmacro Running "refuser running" refuser

  Tarvolk::Start "${SVC}"
  Call TakeStack
  ${WaitState} "${SVC}" 4
  ${TvStopService} "${SVC}" 30 $0
  !insertmacro Line "TvStopService: $0"
  !insertmacro Running "service's program running" tvsvc

  !insertmacro Start tray "class=TvTray-${T} bye=${D}\tray.bye"
  ${Dump} "CloseProcess" `Tarvolk::CloseProcess "tray-${T}.exe"`
  !insertmacro Bye tray

  GetFunctionAddress $0 Entry
  ${DumpBelow} "record" `Tarvolk::EnumClosedPrograms $0`
  !insertmacro PerKind Recorded
  !insertmacro Clean
  FileClose $Results
SectionEnd
