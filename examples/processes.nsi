; Tarvolk example: an installer that replaces a program which may be running. Before it copies
; the program (and before the uninstaller deletes it) a running copy is asked to close and ended
; when it does not, and the file is checked to be free. After installing, it starts the program
; as the desktop's user: not elevated, as the installer is.
;
; Build it where it lies in the release archive (Examples\Tarvolk, two folders below Plugins\
; and Include\), giving it your program:
;   makensis -DAPP_EXE=path\to\myapp.exe processes.nsi
; That makes a 32-bit Unicode installer; add "-XUnicode false" for an ANSI one or
; "-XTarget amd64-unicode" for a 64-bit one. Defines, all optional but APP_EXE:
;   APP_NAME  the program's file name once installed   (TarvolkExampleApp.exe)
;   APP_ARGS  its command-line arguments                (none)
;   TARVOLK   the folder that holds Plugins\            (two folders up)
;   OUTFILE   the installer to write                    (processes-setup.exe)
;   LOG       a text file that gets a line per step     ($TEMP\tarvolk-processes.log)
; Run the installer as an administrator, with /S for a silent installation. Its exit code is 0
; when every step worked and 2 when one failed (the log says which).
!ifndef APP_EXE
  !error "Give the program to install: makensis -DAPP_EXE=path\to\myapp.exe processes.nsi"
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
  !define OUTFILE "processes-setup.exe"
!endif
!ifndef LOG
  !define LOG "$TEMP\tarvolk-processes.log"
!endif
!addplugindir /x86-ansi "${TARVOLK}\Plugins\x86-ansi"
!addplugindir /x86-unicode "${TARVOLK}\Plugins\x86-unicode"
!addplugindir /amd64-unicode "${TARVOLK}\Plugins\amd64-unicode"
; ${TvCloseProgram} and ${FileLocked}; it includes LogicLib.nsh.
!include "${TARVOLK}\Include\Tarvolk.nsh"

Name "Tarvolk process tools example"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES\Tarvolk Example\${APP_NAME}"
RequestExecutionLevel admin
ShowInstDetails show

Page directory
Page instfiles
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

; Closes the running program, if it runs: its main window is asked to close, and after 10 s
; the process is ended. Then the installed file must be free to replace or delete.
!macro CloseAppFunction UN
  Function ${UN}CloseApp
    ${TvCloseProgram} "${APP_NAME}" 10 $0
    ${If} $0 == "closed"
      !insertmacro Log "the running program closed"
    ${ElseIf} $0 == "killed"
      !insertmacro Log "the running program did not close and was ended"
    ${ElseIf} $0 == "error"
      !insertmacro Fail "the running program could not be ended"
    ${EndIf}

    ${If} ${FileLocked} "$INSTDIR\${APP_NAME}"
      !insertmacro Fail "$INSTDIR\${APP_NAME} is in use"
    ${EndIf}
  FunctionEnd
!macroend
!insertmacro CloseAppFunction ""
!insertmacro CloseAppFunction "un."

Section "Program"
  SetOutPath "$INSTDIR"
  Call CloseApp
  File "/oname=${APP_NAME}" "${APP_EXE}"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  !insertmacro Log "program installed"
  ; As the desktop's user, not elevated as the installer is.
  Tarvolk::RunAsNonElevatedUser "$INSTDIR\${APP_NAME}" '"$INSTDIR\${APP_NAME}" ${APP_ARGS}' "$INSTDIR"
  Pop $1  ; success / error
  ${If} $1 != "success"
    !insertmacro Fail "the program could not be started"
  ${EndIf}
  !insertmacro Log "program started"
SectionEnd

Section "Uninstall"
  Call un.CloseApp
  Delete "$INSTDIR\${APP_NAME}"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  !insertmacro Log "program removed"
SectionEnd
