; Tarvolk example: a Windows service that the installer creates and starts, and that the
; uninstaller stops and removes.
;
; Build it where it lies in the release archive (Examples\Tarvolk, two folders below Plugins\
; and Include\), giving it your service program:
;   makensis -DSERVICE_EXE=path\to\myservice.exe services.nsi
; That makes a 32-bit Unicode installer; add "-XUnicode false" for an ANSI one or
; "-XTarget amd64-unicode" for a 64-bit one. Defines, all optional but SERVICE_EXE:
;   SERVICE_NAME  the service's key name                 (TarvolkExample)
;   TARVOLK       the folder that holds Plugins\         (two folders up)
;   OUTFILE       the installer to write                 (services-setup.exe)
;   LOG           a text file that gets a line per step  ($TEMP\tarvolk-services.log)
; Run the installer as an administrator, with /S for a silent installation. Its exit code is 0
; when every step worked and 2 when one failed (the log says which).
!ifndef SERVICE_EXE
  !error "Give the service program to install: makensis -DSERVICE_EXE=path\to\myservice.exe services.nsi"
!endif
!ifndef SERVICE_NAME
  !define SERVICE_NAME "TarvolkExample"
!endif
!ifndef TARVOLK
  !define TARVOLK "${__FILEDIR__}\..\.."
!endif
!ifndef OUTFILE
  !define OUTFILE "services-setup.exe"
!endif
!ifndef LOG
  !define LOG "$TEMP\tarvolk-services.log"
!endif
!addplugindir /x86-ansi "${TARVOLK}\Plugins\x86-ansi"
!addplugindir /x86-unicode "${TARVOLK}\Plugins\x86-unicode"
!addplugindir /amd64-unicode "${TARVOLK}\Plugins\amd64-unicode"
; ${TvStartService}, ${TvStopService} and ${ServiceExists}; it includes LogicLib.nsh.
!include "${TARVOLK}\Include\Tarvolk.nsh"

Name "Tarvolk service example"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES\Tarvolk Example\${SERVICE_NAME}"
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

Section "Service"
  SetOutPath "$INSTDIR"
  File "/oname=service.exe" "${SERVICE_EXE}"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  ; Name, display name, type (16: a process of its own), start type (2: automatic), command
  ; line, load-order group, dependencies, account and password (empty: LocalSystem).
  Tarvolk::Install "${SERVICE_NAME}" "${SERVICE_NAME} (Tarvolk example)" "16" "2" '"$INSTDIR\service.exe"' "" "" "" ""
  Pop $0  ; success / error
  Pop $1  ; the load-order tag, or the Windows error code
  ${If} $0 != "success"
    !insertmacro Fail "the service was not created, error $1"
  ${EndIf}
  !insertmacro Log "service created"

  ; Starts it and waits (at most 10 s) until it reports that it runs.
  ${TvStartService} "${SERVICE_NAME}" 10 $0
  ${If} $0 != "running"
    !insertmacro Fail "the service does not run: $0"
  ${EndIf}
  !insertmacro Log "service running"
SectionEnd

Section "Uninstall"
  ; Asks it to stop and waits (at most 10 s) until it reports stopped.
  ${TvStopService} "${SERVICE_NAME}" 10 $0
  ${If} $0 != "stopped"
    !insertmacro Fail "the service did not stop: $0"
  ${EndIf}
  !insertmacro Log "service stopped"

  Tarvolk::Remove "${SERVICE_NAME}"
  Pop $0
  ${If} $0 != "success"
    !insertmacro Fail "the service was not removed"
  ${EndIf}
  ; A removed service goes once its process has ended; then its program can be deleted.
  ${For} $1 1 100
    ${IfNot} ${ServiceExists} "${SERVICE_NAME}"
      ${Break}
    ${EndIf}
    Sleep 100
  ${Next}
  ${If} ${ServiceExists} "${SERVICE_NAME}"
    !insertmacro Fail "the service is still there"
  ${EndIf}
  !insertmacro Log "service removed"

  Delete "$INSTDIR\service.exe"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
SectionEnd
