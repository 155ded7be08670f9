; The running-programs page in a real wizard, driven by page-gui with xdotool: a directory page,
; then four pages of the plug-in (the programs, one that moves on by itself, one left with an
; ignore button of the script's own, one cancelled during its search) and the install page. Each
; page's function writes what the stack holds when the page returns. Only the programs page looks
; for a file (a scan of the system's handle table, the slowest pass); the others look for a module
; or a window class.
;   VARIANT PLUGINS RESULTS OUTFILE TESTBIN32 UI (mui or classic)
!if "${VARIANT}" == "x86-ansi"
  Unicode false
!endif
!addplugindir /${VARIANT} "${PLUGINS}/${VARIANT}"

!define T "gui-page-${VARIANT}"
!define D "C:\tvtest\${T}"
; The Unicode variants list a program whose name is not ASCII.
!if "${VARIANT}" == "x86-ansi"
  !define FILEVICTIM "tv-file-${T}.exe"
!else
  !define FILEVICTIM "tv-f${U+00EF}l${U+0117}-${T}.exe"
!endif

Name "Tarvolk page"
Caption "TvPage ${VARIANT}"
OutFile "${OUTFILE}"
InstallDir "${D}\inst"
RequestExecutionLevel admin
AutoCloseWindow true

!if "${UI}" == "mui"
  !include "MUI2.nsh"
  !insertmacro MUI_PAGE_DIRECTORY
  Page custom ProgramsPage
  Page custom AutoNextPage
  Page custom IgnorePage
  Page custom CancelPage
  !insertmacro MUI_PAGE_INSTFILES
  !insertmacro MUI_LANGUAGE "English"
!else
  Page directory
  Page custom ProgramsPage
  Page custom AutoNextPage
  Page custom IgnorePage
  Page custom CancelPage
  Page instfiles
!endif

Var Results
Var Visit

; Writes "LABEL: [top] [next] ..." with every entry on the stack, and empties it.
!macro Record LABEL
  StrCpy $R9 "${LABEL}"
  Call Record
!macroend

Function Record
  StrCpy $R8 ""
  loop:
    ClearErrors
    Pop $R7
    IfErrors done
    StrCpy $R8 "$R8 [$R7]"
    Goto loop
  done:
  FileOpen $Results "${RESULTS}" a
  FileSeek $Results 0 END
  FileWrite $Results "$R9:$R8$\r$\n"
  FileClose $Results
FunctionEnd

!macro Victim NAME ARGS
  CopyFiles /SILENT "${TESTBIN32}\tvvictim_gui.exe" "${D}\${NAME}"
  Exec '"${D}\${NAME}" life=300000 ${ARGS}'
!macroend

!macro Leftover NAME
  Tarvolk::CloseProcess "/kill" "${NAME}"
  Pop $0
!macroend

Function .onInit
  FileOpen $Results "${RESULTS}" w
  FileClose $Results
  !insertmacro Leftover "${FILEVICTIM}"
  !insertmacro Leftover "tv-module-${T}.exe"
  !insertmacro Leftover "tv-caption-${T}.exe"
  !insertmacro Leftover "tv-deaf-${T}.exe"
  !insertmacro Leftover "tv-ignore-${T}.exe"
  CreateDirectory "${D}"
  Delete "${D}\*.ready"
  CopyFiles /SILENT "${TESTBIN32}\mods\tvmod.dll" "${D}\tvmod-${T}.dll"
  File "/oname=${D}\custom.ico" "${NSISDIR}\Contrib\Graphics\Icons\llama-blue.ico"
  !insertmacro Victim "${FILEVICTIM}" 'file=${D}\held.dat mark=${D}\file.ready'
  !insertmacro Victim "tv-module-${T}.exe" 'dll=${D}\tvmod-${T}.dll mark=${D}\module.ready'
  !insertmacro Victim "tv-caption-${T}.exe" 'class=TvPlain-${T} "caption=TvCaption ${T}" style=1 mark=${D}\caption.ready'
  !insertmacro Victim "tv-deaf-${T}.exe" 'class=TvDeaf-${T} "caption=TvDeaf ${T}" style=1 deaf=1 mark=${D}\deaf.ready'
  !insertmacro Victim "tv-ignore-${T}.exe" 'file=${D}\ignored.dat mark=${D}\ignore.ready'
  StrCpy $R2 0
  ready:
    IfFileExists "${D}\file.ready" 0 +5
    IfFileExists "${D}\module.ready" 0 +4
    IfFileExists "${D}\caption.ready" 0 +3
    IfFileExists "${D}\deaf.ready" 0 +2
    IfFileExists "${D}\ignore.ready" +4
    IntOp $R2 $R2 + 1
    Sleep 50
    IntCmp $R2 1200 0 ready
  FileOpen $Results "${D}\victims.ready" w
  FileClose $Results
FunctionEnd

; The custom entry: the search waits while the driver holds it (hold.flag), and the entry counts
; as present while present.flag exists.
Function Custom
  Pop $0
  StrCpy $R2 0
  hold:
    IfFileExists "${D}\hold.flag" 0 +4
    Sleep 100
    IntOp $R2 $R2 + 1
    IntCmp $R2 600 0 hold
  IfFileExists "${D}\present.flag" 0 +3
    Push "true"
    Return
  Push "false"
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
  Tarvolk::Dialog /heading "Programs ${T}" /colheadings "Program" "Image" \
      /autoclose "Close them now? ${T}" "Kill them? ${T}" "Close them by hand ${T}" "Close all"
  !insertmacro Record "programs $Visit"
FunctionEnd

Function AutoNextPage
  Tarvolk::AddClass "TvNobody-${T}"
  Push "below"
  Tarvolk::Dialog /autonext /heading "Nothing to close ${T}"
  !insertmacro Record "autonext"
FunctionEnd

Function IgnorePage
  ; A button of the script's own on the installer window, left of Back, leaves the page with
  ; "ignore".
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
  !insertmacro Record "init [$1] [$2]"
  Push "below"
  Tarvolk::InitDialog /heading "Second"
  !insertmacro Record "init again"
  GetDlgItem $4 $3 1212
  Push "cleared"
  Tarvolk::AddTooltip $4 "The programs ${T}" 300
  !insertmacro Record "tooltip"
  Push "below"
  Tarvolk::Show
  !insertmacro Record "ignore"
  Push "below"
  Tarvolk::Show
  !insertmacro Record "show again"
  System::Call 'user32::DestroyWindow(p r9)'
FunctionEnd

Function CancelPage
  GetFunctionAddress $0 Custom
  Tarvolk::AddCustom "Held ${T}" "held" $0
  Push "below"
  Tarvolk::Dialog /heading "Cancel ${T}"
  !insertmacro Record "cancel"
FunctionEnd

Section
SectionEnd
