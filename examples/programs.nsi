; Tarvolk example: a Modern UI installer with the running-programs page. Before it replaces the
; program, a page lists the running copies of it; the user closes them, or ticks the box and
; presses "Close all", upon which the page closes them (and offers to kill those that do not
; close). A silent installation has no pages: it closes running copies without asking. Once the
; program is replaced, the copies that setup closed are started again as they were started (the
; same command line, in the same folder); when none was running, the new program is started as
; the desktop's user. The uninstaller closes running copies before it deletes the program.
;
; Build it where it lies in the release archive (Examples\Tarvolk, two folders below Plugins\
; and Include\), giving it your program:
;   makensis -DAPP_EXE=path\to\myapp.exe programs.nsi
; That makes a 32-bit Unicode installer; add "-XUnicode false" for an ANSI one or
; "-XTarget amd64-unicode" for a 64-bit one. Defines, all optional but APP_EXE:
;   APP_NAME  the program's file name once installed   (TarvolkExampleApp.exe)
;   APP_ARGS  its command-line arguments                (none)
;   TARVOLK   the folder that holds Plugins\            (two folders up)
;   OUTFILE   the installer to write                    (programs-setup.exe)
;   LOG       a text file that gets a line per step     ($TEMP\tarvolk-programs.log)
; Run the installer as an administrator, with /S for a silent installation. Its exit code is 0
; when every step worked and 2 when one failed (the log says which).
!include "MUI2.nsh"
!include "LogicLib.nsh"

!ifndef APP_EXE
  !error "Give the program to install: makensis -DAPP_EXE=path\to\myapp.exe programs.nsi"
!endif
!ifndef APP_NAME
  !define APP_NAME "TarvolkExampleApp.exe"
!endif
!ifndef APP_ARGS
  !define APP_ARGS ""
!endif
!ifndef TARVOLK
  !define TARVOLK "${__FILEDIR__}\..\.."
!endif
!ifndef OUTFILE
  !define OUTFILE "programs-setup.exe"
!endif
!ifndef LOG
  !define LOG "$TEMP\tarvolk-programs.log"
!endif
!addplugindir /x86-ansi "${TARVOLK}\Plugins\x86-ansi"
!addplugindir /x86-unicode "${TARVOLK}\Plugins\x86-unicode"
!addplugindir /amd64-unicode "${TARVOLK}\Plugins\amd64-unicode"

Name "Tarvolk running-programs example"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES\Tarvolk Example\${APP_NAME}"
RequestExecutionLevel admin

!define MUI_ABORTWARNING
!insertmacro MUI_PAGE_DIRECTORY
Page custom RunningProgramsPage
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; Writes a step to the installer's details and to the log.
!macro Log TEXT
  DetailPrint "${TEXT}"
  FileOpen $9 "${LOG}" a
  FileSeek $9 0 END
  FileWrite $9 "${TEXT}$\r$\n"
  FileClose $9
!macroend

!macro Fail TEXT
  !insertmacro Log "FAILED: ${TEXT}"
  SetErrorLevel 2
  Abort
!macroend

; The page: the running copies of the program, closed by the page when the user asks.
Function RunningProgramsPage
  !insertmacro MUI_HEADER_TEXT "Running programs" "Setup must close ${APP_NAME} before it replaces it."
  Tarvolk::AddModule "$INSTDIR\${APP_NAME}"
  Tarvolk::Dialog /heading "These programs use files that setup will replace:" \
      /progress "Close them, or tick the box and let setup close them." \
      /colheadings "Program" "File" \
      /autoclose "" "" "" "Close all"
  Pop $0  ; next / back / cancel / ignore
  ${If} $0 == "ignore"
    !insertmacro Log "running copies closed on the page"
  ${EndIf}
FunctionEnd

; A silent installation (and the uninstaller) asks nobody: every running copy is closed.
!macro CloseRunningFunction UN
  Function ${UN}OnRunning
    Pop $1  ; process id
    Pop $2  ; image path
    Pop $3  ; display name
    ${If} $1 == "-1"
      !insertmacro Log "a running copy could not be closed"
    ${Else}
      !insertmacro Log "closing a running copy"
    ${EndIf}
    Push "autoclose"
  FunctionEnd

  Function ${UN}CloseRunning
    Tarvolk::AddModule "$INSTDIR\${APP_NAME}"
    GetFunctionAddress $0 ${UN}OnRunning
    Tarvolk::SilentSearch $0
    Pop $0  ; done / error
    Tarvolk::IsFileLocked "$INSTDIR\${APP_NAME}"
    Pop $0  ; true / false
    ${If} $0 == "true"
      !insertmacro Fail "$INSTDIR\${APP_NAME} is in use"
    ${EndIf}
  FunctionEnd
!macroend
!insertmacro CloseRunningFunction ""
!insertmacro CloseRunningFunction "un."

; Each copy that setup closed (on the page or silently): what became of it.
Function LogClosed
  Pop $1  ; closed / killed / stopped / failed
  Pop $2  ; executable
  Pop $3  ; command line
  Pop $4  ; folder
  Pop $5  ; name
  Pop $6  ; the target that found it
  Pop $7  ; service
  !insertmacro Log "running copy $1"
  Push "true"
FunctionEnd

Section "Program"
  SetOutPath "$INSTDIR"
  ${If} ${Silent}
    Call CloseRunning
  ${EndIf}
  File "/oname=${APP_NAME}" "${APP_EXE}"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  !insertmacro Log "program installed"
  GetFunctionAddress $0 LogClosed
  Tarvolk::EnumClosedPrograms $0
  Pop $0  ; done
  Tarvolk::RestartClosedPrograms
  Pop $0  ; how many were started again
  ${If} $0 > 0
    !insertmacro Log "running copies started again: $0"
  ${Else}
    ; As the desktop's user, not elevated as the installer is.
    Tarvolk::RunAsNonElevatedUser "$INSTDIR\${APP_NAME}" '"$INSTDIR\${APP_NAME}" ${APP_ARGS}' "$INSTDIR"
    Pop $1  ; success / error
    ${If} $1 != "success"
      !insertmacro Fail "the program could not be started"
    ${EndIf}
    !insertmacro Log "program started"
  ${EndIf}
SectionEnd

Section "Uninstall"
  Call un.CloseRunning
  Delete "$INSTDIR\${APP_NAME}"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  !insertmacro Log "program removed"
SectionEnd
