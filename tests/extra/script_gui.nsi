; Script functions a search asks for run on the installer's thread: an nsDialogs page polls an
; asynchronous search, then runs a synchronous one, and hands address 1 to every export; then the
; running-programs page is cancelled while a slow custom entry runs and another program sends the
; page the plug-in's private message with the address of ExitProcess.
;   VARIANT PLUGINS RESULTS OUTFILE TESTBIN (the test programs of the variant's width)
!define WIZARD
!define COMMON_FUNCTIONS_LATER
!include "${__FILEDIR__}/../nsis/common.nsh"

!define T "gui-script-${VARIANT}"
!define D "C:\tvtest\${T}"

Var First      ; calls of the first function
Var FirstPops  ; entries it takes: 1 (as a custom entry's or the page's function), or 3

; The first function the script compiles: GetFunctionAddress gives 1 for it.
Function First
  Pop $R0
  StrCmp $FirstPops 3 0 +3
    Pop $R1
    Pop $R2
  IntOp $First $First + 1
  Push "true"
FunctionEnd
!insertmacro CommonFunctions

!include "nsDialogs.nsh"

Name "Tarvolk script thread"
Caption "TvScript ${VARIANT}"
OutFile "${OUTFILE}"
InstallDir "${D}\inst"
AutoCloseWindow true

Page custom AsyncPage
Page custom ProgramsPage
Page instfiles

Var Label
Var Offered
Var Caption0
Var Turn
Var Mixed
Var SlowCalls

Function .onInit
  CreateDirectory "${D}"
  ${Victim} "${TESTBIN}\tvvictim.exe" "${D}\tv-victim-${T}.exe" 'class=TvScript-${VARIANT} "caption=TvScript victim ${VARIANT}" style=1 life=300000' "${D}\victim.ready"
  ; The address of ExitProcess, for the driver to send to the page.
  System::Call 'kernel32::GetModuleHandle(t "kernel32.dll") p .r1'
  System::Call 'kernel32::GetProcAddress(p r1, m "ExitProcess") p .r2'
  FileOpen $0 "${D}\exitprocess.txt" w
  FileWrite $0 "$2"
  FileClose $0
FunctionEnd

Function .onGUIEnd
  Tarvolk::CloseProcess "/kill" "tv-victim-${T}.exe"
  Pop $0
FunctionEnd

; A custom entry of the nsDialogs page: present, and says so on the page.
Function Present
  Pop $R0
  SendMessage $Label ${WM_SETTEXT} 0 "STR:present $R0"
  Push "true"
FunctionEnd

; The searches' function: shows what it was offered in the installer's caption.
Function Offer
  Pop $R0
  Pop $R1
  Pop $R2
  IntOp $Offered $Offered + 1
  SendMessage $HWNDPARENT ${WM_SETTEXT} 0 "STR:found $R2"
  Push "true"
FunctionEnd

!macro Entries
  GetFunctionAddress $0 Present
  Tarvolk::AddCustom "one" "d1" $0
  Tarvolk::AddCustom "two" "d2" $0
  Tarvolk::AddCustom "three" "d3" $0
  StrCpy $Offered 0
  SendMessage $Label ${WM_SETTEXT} 0 "STR:waiting"
!macroend

; What the search's functions left on the page and in the caption; the caption is put back.
!macro Seen LABEL
  System::Call 'user32::GetWindowText(p $Label, t .r5, i ${NSIS_MAX_STRLEN})'
  System::Call 'user32::GetWindowText(p $HWNDPARENT, t .r6, i ${NSIS_MAX_STRLEN})'
  SendMessage $HWNDPARENT ${WM_SETTEXT} 0 "STR:$Caption0"
  !insertmacro Line "${LABEL}: offered $Offered, label [$5], caption [$6]"
!macroend

Function AsyncPage
  nsDialogs::Create 1018
  Pop $0
  ${NSD_CreateLabel} 0 0 100% 12u "waiting"
  Pop $Label
  System::Call 'user32::GetWindowText(p $HWNDPARENT, t .r6, i ${NSIS_MAX_STRLEN})'
  StrCpy $Caption0 $6
  Push "below"

  ; In the background, polled as a script that shows its own progress does.
  !insertmacro Entries
  GetFunctionAddress $0 Offer
  Tarvolk::SilentSearch "/async" $0
  Pop $1
  poll:
    Tarvolk::SilentWait "/time" 50
    Pop $2
    StrCmp $2 "wait" poll
  Tarvolk::SilentWait
  !insertmacro Seen "async [$1] [$2]"

  !insertmacro Entries
  GetFunctionAddress $0 Offer
  Tarvolk::SilentSearch $0
  Pop $1
  !insertmacro Seen "sync [$1]"

  ; The first function as a custom entry's, the search's and the process walk's.
  GetFunctionAddress $0 First
  StrCpy $First 0
  StrCpy $FirstPops 1
  Tarvolk::AddCustom "first" "first detail" $0
  Tarvolk::SilentSearch $0
  Pop $1
  StrCpy $2 $First
  StrCpy $First 0
  StrCpy $FirstPops 3
  Tarvolk::EnumProcesses $0
  Pop $3
  StrCpy $4 "no"
  IntCmp $First 0 +2 +2
    StrCpy $4 "yes"
  Call TakeStack
  !insertmacro Line "first function: address [$0], search [$1] calls $2, process walk [$3] called $4, stack$R8"
  nsDialogs::Show
FunctionEnd

; MS milliseconds with a stack entry and $Turn of its own: $Mixed counts each found changed after.
!macro Busy NAME MS
  StrCpy $Turn "${NAME}"
  Push "${NAME}-mark"
  Sleep ${MS}
  Pop $R0
  StrCmp $R0 "${NAME}-mark" +2
    IntOp $Mixed $Mixed + 1
  StrCmp $Turn "${NAME}" +2
    IntOp $Mixed $Mixed + 1
!macroend

; The page's custom entry: 800 ms busy; slow.running meanwhile.
Function Slow
  Pop $R0
  FileOpen $R0 "${D}\slow.running" w
  FileClose $R0
  !insertmacro Busy slow 800
  Delete "${D}\slow.running"
  IntOp $SlowCalls $SlowCalls + 1
  Push "true"
FunctionEnd

; The same work for 1.5 s when the user cancels: no custom entry's function may run in between.
Function .onUserAbort
  ${For} $R4 1 15
    !insertmacro Busy abort 100
  ${Next}
FunctionEnd

Function ProgramsPage
  Tarvolk::AddClass "TvScript-${VARIANT}"
  GetFunctionAddress $0 Slow
  Tarvolk::AddCustom "Slow entry ${T}" "slow" $0
  StrCpy $Mixed 0
  StrCpy $SlowCalls 0
  StrCpy $First 0
  StrCpy $FirstPops 1
  GetFunctionAddress $0 First
  Push "below"
  Tarvolk::Dialog /heading "Programs ${T}" /cbaddress $0
  Call TakeStack
  StrCpy $1 "no"
  IntCmp $SlowCalls 2 0 +2 0
    StrCpy $1 "yes"
  !insertmacro Line "programs:$R8, first function called $First, slow entry asked twice or more: $1, mixed up $Mixed"
FunctionEnd

Section
SectionEnd
