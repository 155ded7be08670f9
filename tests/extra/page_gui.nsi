; The running-programs page in a real wizard driven by page-gui; each page's function writes what
; the stack holds. A search is held by custom entries that wait while hold.flag exists: they run
; on the installer's thread, which serves the wizard between two.
;   VARIANT PLUGINS RESULTS OUTFILE TESTBIN32 UI (mui or classic)
!define WIZARD
!include "${__FILEDIR__}/../nsis/common.nsh"
!include "LogicLib.nsh"
!include "FileFunc.nsh"

!define T "gui-page-${VARIANT}"
!define D "C:\tvtest\${T}"
; A program whose name is not ASCII: in the ANSI code page in the ANSI variant.
!if "${VARIANT}" == "x86-ansi"
  !define FILEVICTIM "tv-f${U+00EF}le-${T}.exe"
!else
  !define FILEVICTIM "tv-f${U+00EF}l${U+0117}-${T}.exe"
!endif

Name "Tarvolk page"
Caption "TvPage ${VARIANT}"
OutFile "${OUTFILE}"
InstallDir "${D}\inst"
AutoCloseWindow true

!if "${UI}" == "mui"
  !include "MUI2.nsh"
  !insertmacro MUI_PAGE_DIRECTORY
!else
  Page directory
!endif
Page custom ProgramsPage
Page custom AutoNextPage
Page custom IgnorePage
Page custom ServicePage
Page custom CancelPage
!if "${UI}" == "mui"
  !insertmacro MUI_PAGE_INSTFILES
  !insertmacro MUI_LANGUAGE "English"
!else
  Page instfiles
!endif

Var Visit
Var Listed

!macro GuiVictim NAME ARGS READY
  ${Victim} "${TESTBIN32}\tvvictim.exe" "${D}\${NAME}" 'life=300000 record=${D}\${NAME}.txt ${ARGS}' "${D}\${READY}"
!macroend

; Two services, found by the services page by a module and by a held file.
!macro Service NAME EXE ARGS
  Tarvolk::CloseProcess "/kill" "${EXE}"
  Tarvolk::Remove "${NAME}"
  CopyFiles /SILENT "${TESTBIN32}\tvsvc.exe" "${D}\${EXE}"
  Tarvolk::Install "${NAME}" "${NAME}" "16" "3" '"${D}\${EXE}"${ARGS}' "" "" "" ""
  Tarvolk::Start "${NAME}"
  Call TakeStack
!macroend

Function .onInit
  CreateDirectory "${D}\wd"
  SetOutPath "${D}\wd"
  CopyFiles /SILENT "${TESTBIN32}\mods\tvmod.dll" "${D}\tvmod-${T}.dll"
  File "/oname=${D}\custom.ico" "${NSISDIR}\Contrib\Graphics\Icons\llama-blue.ico"
  !insertmacro GuiVictim "${FILEVICTIM}" 'file=${D}\held.dat' file.ready
  !insertmacro GuiVictim "tv-module-${T}.exe" 'dll=${D}\tvmod-${T}.dll' module.ready
  !insertmacro GuiVictim "tv-caption-${T}.exe" 'class=TvPlain-${T} "caption=TvCaption ${T}" style=1' caption.ready
  !insertmacro GuiVictim "tv-deaf-${T}.exe" 'class=TvDeaf-${T} "caption=TvDeaf ${T}" style=1 deaf=1' deaf.ready
  !insertmacro GuiVictim "tv-ignore-${T}.exe" 'file=${D}\ignored.dat class=TvIgnore-${T}' ignore.ready
  !insertmacro Service "TvPageMenu-${VARIANT}" "tvsvc-menu-${T}.exe" ""
  !insertmacro Service "TvPageClose-${VARIANT}" "tvsvc-close-${T}.exe" ' file=${D}\svc-close.dat'
  FileOpen $Results "${D}\victims.ready" w
  FileClose $Results
FunctionEnd

Function .onGUIEnd
  Tarvolk::Remove "TvPageMenu-${VARIANT}"
  Tarvolk::Remove "TvPageClose-${VARIANT}"
FunctionEnd

Function Custom
  Pop $0
  IfFileExists "${D}\present.flag" 0 +3
    Push "true"
    Return
  Push "false"
FunctionEnd

; A custom entry never present, a quarter of a second to say so while hold.flag exists.
Function Hold
  Pop $0
  IfFileExists "${D}\held.flag" +3
    FileOpen $0 "${D}\held.flag" w
    FileClose $0
  IfFileExists "${D}\hold.flag" 0 +2
    Sleep 250
  Push "false"
FunctionEnd

; 127 of them (a search takes 128 custom entries): about half a minute.
Function AddHolders
  GetFunctionAddress $0 Hold
  ${For} $R3 1 127
    Tarvolk::AddCustom "Hold" "hold" $0
  ${Next}
FunctionEnd

; The programs page's "/cbaddress" function: each listed program's image path.
Function Listed
  Pop $0
  StrCmp $0 "${D}\${FILEVICTIM}" 0 +2
    StrCpy $0 "${D}\FILEVICTIM"  ; not every code page can write its name
  StrCpy $Listed "$Listed [$0]"
FunctionEnd

Function ProgramsPage
  IntOp $Visit $Visit + 1
!if "${UI}" == "mui"
  !insertmacro MUI_HEADER_TEXT "Running programs" "Setup must close the programs that use its files."
!endif
  Tarvolk::AddFile "${D}\held.dat"
  Tarvolk::AddModule "${D}\tvmod-${T}.dll"
  Tarvolk::AddCaption "TvCaption ${T}*"
  Tarvolk::AddClass "TvDeaf-${T}"
  GetFunctionAddress $0 Custom
  Tarvolk::AddCustom /icon "${D}\custom.ico" "Custom entry ${T}" "custom detail" $0
  Push "below"
  Call AddHolders
  ; The page's own icons come from the current folder.
  SetOutPath "${D}"
  StrCpy $Listed ""
  GetFunctionAddress $0 Listed
  Tarvolk::Dialog /heading "Programs ${T}" /colheadings "Program" "Image" /usericons /cbaddress $0 \
      /autoclose "Close them now? ${T}" "Kill them? ${T}" "Close them by hand ${T}" "Close all"
  !insertmacro DumpStack "programs $Visit, listed:$Listed"
FunctionEnd

Function AutoNextPage
  Tarvolk::AddClass "TvNobody-${T}"
  Push "below"
  Tarvolk::Dialog /autonext /heading "Nothing to close ${T}"
  !insertmacro DumpStack "autonext"
FunctionEnd

Function IgnorePage
  ; A button of the script's own, left of Back, leaves the page with "ignore".
  GetDlgItem $8 $HWNDPARENT 3
  System::Call '*(i, i, i, i) p .r7'
  System::Call 'user32::GetWindowRect(p r8, p r7)'
  System::Call 'user32::MapWindowPoints(p 0, p $HWNDPARENT, p r7, i 2)'
  System::Call '*$7(i .r5, i .r6, i, i .r4)'
  System::Free $7
  IntOp $5 $5 - 168
  IntOp $4 $4 - $6
  System::Call 'user32::CreateWindowEx(i 0, t "Button", t "Ignore", i 0x50010000, i r5, i r6, i 160, i r4, p $HWNDPARENT, p 4711, p 0, p 0) p .r9'
  Tarvolk::AddModule "${D}\tv-ignore-${T}.exe"
  Push "below"
  Tarvolk::InitDialog /heading "Ignore ${T}" /ignorebtn 4711 /ignore "Skip"
  Pop $3
  Pop $2
  StrCpy $1 "$3"
  IntCmp $3 0 +2 +2 0
    StrCpy $1 "a window"
  !insertmacro DumpStack "init [$1] [$2]"
  Push "below"
  Tarvolk::InitDialog /heading "Second"
  !insertmacro DumpStack "init again"
  GetDlgItem $4 $3 1212
  Push "cleared"
  Tarvolk::AddTooltip $4 "The programs ${T}" 300
  !insertmacro DumpStack "tooltip"
  Push "below"
  Tarvolk::Show
  !insertmacro DumpStack "ignore"
  System::Call 'user32::DestroyWindow(p r9)'
FunctionEnd

; One program of the record of what the page ended.
Function Closed
  !insertmacro TakeEntry
  ${GetFileName} $2 $2
  StrCpy $Listed "$Listed$\r$\n    [$1] [$2] [$6] [$7]"
  Push "true"
FunctionEnd

; Both services are stopped: one from the list's menu, one by the close sequence.
Function ServicePage
  Call AddHolders
  Tarvolk::AddModule "${D}\tvsvc-menu-${T}.exe"
  Tarvolk::AddFile "${D}\svc-close.dat"
  Push "below"
  Tarvolk::Dialog /heading "Services ${T}" /autoclosesilent "" "Stop all"
  !insertmacro DumpStack "services"
  Tarvolk::QueryStatus "TvPageMenu-${VARIANT}"
  !insertmacro DumpStack "menu's service (1 stopped)"
  Tarvolk::QueryStatus "TvPageClose-${VARIANT}"
  !insertmacro DumpStack "close's service"

  StrCpy $Listed ""
  GetFunctionAddress $0 Closed
  Tarvolk::EnumClosedPrograms $0
  Pop $3
  !insertmacro DumpStack "closed by the plug-in [$3]:$Listed"
FunctionEnd

Function CancelPage
  Push "below"
  Call AddHolders
  Tarvolk::Dialog /heading "Cancel ${T}"
  !insertmacro DumpStack "cancel"
FunctionEnd

Section
SectionEnd
