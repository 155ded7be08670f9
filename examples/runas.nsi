; Tarvolk example: starting the installed program under the right account. An elevated
; installer should not hand its administrator rights to the program it starts, so:
;   - an interactive installation ends with a wizard page (Tarvolk::RunAs) on which the user
;     starts the program under another account (name, domain, password) or as themselves;
;   - a silent installation (/S), which shows no pages, starts it as the desktop user's
;     ordinary, non-elevated self (Tarvolk::RunAsNonElevatedUser).
;
; Build it where it lies in the release archive (Examples\Tarvolk, two folders below Plugins\
; and Include\), giving it your program:
;   makensis -DAPP_EXE=path\to\myapp.exe runas.nsi
; That makes a 32-bit Unicode installer; add "-XUnicode false" for an ANSI one or
; "-XTarget amd64-unicode" for a 64-bit one. Defines, all optional but APP_EXE:
;   APP_NAME  the program's file name once installed   (TarvolkExampleApp.exe)
;   TARVOLK   the folder that holds Plugins\            (two folders up)
;   OUTFILE   the installer to write                    (runas-setup.exe)
;   LOG       a text file that gets a line per step     ($TEMP\tarvolk-runas.log)
; Run the installer as an administrator. Its exit code is 0 when every step worked and 2 when
; one failed (the log says which).
!include "LogicLib.nsh"

!ifndef APP_EXE
  !error "Give the program to install: makensis -DAPP_EXE=path\to\myapp.exe runas.nsi"
!endif
!ifndef APP_NAME
  !define APP_NAME "TarvolkExampleApp.exe"
!endif
!ifndef TARVOLK
  !define TARVOLK "${__FILEDIR__}\..\.."
!endif
!ifndef OUTFILE
  !define OUTFILE "runas-setup.exe"
!endif
!ifndef LOG
  !define LOG "$TEMP\tarvolk-runas.log"
!endif
!addplugindir /x86-ansi "${TARVOLK}\Plugins\x86-ansi"
!addplugindir /x86-unicode "${TARVOLK}\Plugins\x86-unicode"
!addplugindir /amd64-unicode "${TARVOLK}\Plugins\amd64-unicode"

Name "Tarvolk run-as example"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES\Tarvolk Example\${APP_NAME}"
RequestExecutionLevel admin
ShowInstDetails show

Page directory
Page instfiles
Page custom RunAsPage
UninstPage uninstConfirm
UninstPage instfiles

; Writes a step to the installer's details and to the log.
!macro Log TEXT
  DetailPrint "${TEXT}"
  FileOpen $9 "${LOG}" a
  FileSeek $9 0 END
  FileWrite $9 "${TEXT}$\r$\n"
  FileClose $9
!macroend

; Ends the installation (or uninstallation) with exit code 2.
!macro Fail TEXT
  !insertmacro Log "FAILED: ${TEXT}"
  SetErrorLevel 2
  Abort
!macroend

Section "Program"
  SetOutPath "$INSTDIR"
  File "/oname=${APP_NAME}" "${APP_EXE}"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  !insertmacro Log "program installed"

  ${If} ${Silent}
    ; Program, its whole command line (the program's own path first, as programs expect), and
    ; its working folder.
    Tarvolk::RunAsNonElevatedUser "$INSTDIR\${APP_NAME}" '"$INSTDIR\${APP_NAME}" /firstrun' "$INSTDIR"
    Pop $0  ; success / error
    ${If} $0 != "success"
      !insertmacro Fail "the program did not start"
    ${EndIf}
    !insertmacro Log "program started as the desktop user"
  ${EndIf}
SectionEnd

; The last page: the user picks the account and presses Next to start the program, or Cancel.
Function RunAsPage
  Push "left"  ; RunAs pushes nothing when the page is left with Back or Cancel
  Tarvolk::RunAs /header "Start it with this account:" "Start it as myself" \
      /user "User name:" "" /domain "Domain:" "" /pwd "Password:" \
      /errors "Wrong user name or password." "The account is locked." "The program could not start." \
      "$INSTDIR\${APP_NAME}" "$INSTDIR"
  Pop $0  ; success, error, or left
  ${If} $0 == "success"
    !insertmacro Log "program started from the run-as page"
    Pop $0  ; "left", still below
  ${ElseIf} $0 == "error"
    !insertmacro Log "the program could not start"
    Pop $0
  ${EndIf}
FunctionEnd

Section "Uninstall"
  Delete "$INSTDIR\${APP_NAME}"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  !insertmacro Log "program removed"
SectionEnd
