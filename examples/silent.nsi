; Tarvolk example: a silent installer that replaces a program which may be running, and a
; library that other programs may have loaded. Before it copies them (and before the
; uninstaller deletes them) it registers the program, the library and the program's data file
; as search targets and runs a silent search: a function of the script hears of every running
; program that holds one of them and answers "autoclose", so that the plug-in closes it (its
; window first, then by force). When it is done the installer starts again what it closed, as it
; was started (the same command line, in the same folder), or else starts the program itself as
; the desktop's user.
;
; Build it where it lies in the release archive (Examples\Tarvolk, two folders below Plugins\
; and Include\), giving it your program and its library:
;   makensis -DAPP_EXE=path\to\myapp.exe -DAPP_DLL=path\to\mylib.dll silent.nsi
; That makes a 32-bit Unicode installer; add "-XUnicode false" for an ANSI one or
; "-XTarget amd64-unicode" for a 64-bit one. Defines, all optional but APP_EXE and APP_DLL:
;   APP_NAME  the program's file name once installed   (TarvolkExampleApp.exe)
;   LIB_NAME  the library's file name once installed   (TarvolkExampleLib.dll)
;   DATA_NAME the data file the program keeps open in the installation folder
;             (TarvolkExampleApp.dat)
;   APP_ARGS  its command-line arguments                (none)
;   TARVOLK   the folder that holds Plugins\ and Include\ (two folders up)
;   OUTFILE   the installer to write                    (silent-setup.exe)
;   LOG       a text file that gets a line per step     ($TEMP\tarvolk-silent.log)
; The installer is silent whether or not /S is given. Run it as an administrator. Its exit code
; is 0 when every step worked and 2 when one failed (the log says which).
!include "LogicLib.nsh"

!ifndef APP_EXE | APP_DLL
  !error "Give the program and its library: makensis -DAPP_EXE=myapp.exe -DAPP_DLL=mylib.dll silent.nsi"
!endif
!ifndef APP_NAME
  !define APP_NAME "TarvolkExampleApp.exe"
!endif
!ifndef LIB_NAME
  !define LIB_NAME "TarvolkExampleLib.dll"
!endif
!ifndef DATA_NAME
  !define DATA_NAME "TarvolkExampleApp.dat"
!endif
!ifndef APP_ARGS
  !define APP_ARGS ""
!endif
!ifndef TARVOLK
  !define TARVOLK "${__FILEDIR__}\..\.."
!endif
!ifndef OUTFILE
  !define OUTFILE "silent-setup.exe"
!endif
!ifndef LOG
  !define LOG "$TEMP\tarvolk-silent.log"
!endif
!addplugindir /x86-ansi "${TARVOLK}\Plugins\x86-ansi"
!addplugindir /x86-unicode "${TARVOLK}\Plugins\x86-unicode"
!addplugindir /amd64-unicode "${TARVOLK}\Plugins\amd64-unicode"
; The 64-bit companion lets a 32-bit installer see the modules of 64-bit programs.
!include "${TARVOLK}\Include\Quillmere64.nsh"

Name "Tarvolk silent search example"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES\Tarvolk Example\${APP_NAME}"
RequestExecutionLevel admin
SilentInstall silent
SilentUnInstall silent

Var Unclosed  ; set by the search's function when a program could not be closed

; Writes a step to the log.
!macro Log TEXT
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

; A 32-bit installer extracts the companion beside the plug-in before its first search.
!macro ExtractCompanion
  !if ${NSIS_PTR_SIZE} == 4
    !if ${NSIS_CHAR_SIZE} == 1
      !insertmacro Quillmere64Extract "${TARVOLK}\Plugins\x86-ansi"
    !else
      !insertmacro Quillmere64Extract "${TARVOLK}\Plugins\x86-unicode"
    !endif
  !endif
!macroend
Function .onInit
  !insertmacro ExtractCompanion
FunctionEnd
Function un.onInit
  !insertmacro ExtractCompanion
FunctionEnd

; CloseUsers registers what setup replaces and closes every program that holds it.
; OnProgram is the search's function: it gets the process id, the image path and the display
; name, and answers "autoclose". When a program could not be closed it is called once more with
; the id -1 (it answers that call too, and the answer changes nothing), and the search stops.
!macro CloseUsersFunctions UN
  Function ${UN}OnProgram
    Pop $1  ; process id, or -1
    Pop $2  ; image path
    Pop $3  ; display name
    ${If} $1 == "-1"
      StrCpy $Unclosed "$2"
      Push "stop"  ; this call is answered too; the answer changes nothing
    ${Else}
      !insertmacro Log "closing $2"
      Push "autoclose"
    ${EndIf}
  FunctionEnd

  Function ${UN}CloseUsers
    StrCpy $Unclosed ""
    ; The program itself, any program that loaded the library, and any that holds the data
    ; file open. Module and file targets are prefixes of whole paths here, not the folder: the
    ; uninstaller runs from the folder too, and must not find itself.
    Tarvolk::AddModule "$INSTDIR\${APP_NAME}"
    Tarvolk::AddModule "$INSTDIR\${LIB_NAME}"
    Tarvolk::AddFile "$INSTDIR\${DATA_NAME}"
    GetFunctionAddress $0 ${UN}OnProgram
    Tarvolk::SilentSearch $0
    Pop $0  ; done, or error when no search could start
    ${If} $0 != "done"
      !insertmacro Fail "the search did not run: $0"
    ${EndIf}
    ${If} $Unclosed != ""
      !insertmacro Fail "$Unclosed could not be closed"
    ${EndIf}
    Tarvolk::IsFileLocked "$INSTDIR\${APP_NAME}"
    Pop $0  ; true / false
    ${If} $0 == "true"
      !insertmacro Fail "$INSTDIR\${APP_NAME} is in use"
    ${EndIf}
  FunctionEnd
!macroend
!insertmacro CloseUsersFunctions ""
!insertmacro CloseUsersFunctions "un."

; Each program that the search closed: what became of it.
Function LogClosed
  Pop $1  ; closed / killed / stopped / failed
  Pop $2  ; executable
  Pop $3  ; command line
  Pop $4  ; folder
  Pop $5  ; name
  Pop $6  ; the target that found it
  Pop $7  ; service
  !insertmacro Log "$1: $2"
  Push "true"
FunctionEnd

Section "Program"
  SetOutPath "$INSTDIR"
  Call CloseUsers
  File "/oname=${APP_NAME}" "${APP_EXE}"
  File "/oname=${LIB_NAME}" "${APP_DLL}"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  !insertmacro Log "program installed"
  GetFunctionAddress $0 LogClosed
  Tarvolk::EnumClosedPrograms $0
  Pop $0  ; done
  Tarvolk::RestartClosedPrograms
  Pop $0  ; how many were started again
  ${If} $0 > 0
    !insertmacro Log "started again: $0"
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
  Call un.CloseUsers
  Delete "$INSTDIR\${APP_NAME}"
  Delete "$INSTDIR\${LIB_NAME}"
  Delete "$INSTDIR\${DATA_NAME}"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  !insertmacro Log "program removed"
SectionEnd
