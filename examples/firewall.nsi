; Tarvolk example: Windows Firewall exceptions for a server program and for its port, added by
; the installer and removed by the uninstaller.
;
; Build it where it lies in the release archive (Examples\Tarvolk, two folders below Plugins\
; and Include\):
;   makensis firewall.nsi
; That makes a 32-bit Unicode installer; add "-XUnicode false" for an ANSI one or
; "-XTarget amd64-unicode" for a 64-bit one. Defines, all optional:
;   RULE_NAME  the name of the exceptions                 (Tarvolk Example Server)
;   PORT       the TCP port the server listens on          (8080)
;   TARVOLK    the folder that holds Plugins\              (two folders up)
;   OUTFILE    the installer to write                      (firewall-setup.exe)
;   LOG        a text file that gets a line per step       ($TEMP\tarvolk-firewall.log)
; Run the installer as an administrator, with /S for a silent installation. Its exit code is 0
; when every step worked and 2 when one failed (the log says which).
!ifndef RULE_NAME
  !define RULE_NAME "Tarvolk Example Server"
!endif
!ifndef PORT
  !define PORT 8080
!endif
!ifndef TARVOLK
  !define TARVOLK "${__FILEDIR__}\..\.."
!endif
!ifndef OUTFILE
  !define OUTFILE "firewall-setup.exe"
!endif
!ifndef LOG
  !define LOG "$TEMP\tarvolk-firewall.log"
!endif
!addplugindir /x86-ansi "${TARVOLK}\Plugins\x86-ansi"
!addplugindir /x86-unicode "${TARVOLK}\Plugins\x86-unicode"
!addplugindir /amd64-unicode "${TARVOLK}\Plugins\amd64-unicode"
; ${FirewallAvailable}; it includes LogicLib.nsh.
!include "${TARVOLK}\Include\Tarvolk.nsh"

Name "Tarvolk firewall example"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES\Tarvolk Example\${RULE_NAME}"
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

Section "Server"
  SetOutPath "$INSTDIR"
  ; File "server.exe"   ; your program goes here
  WriteUninstaller "$INSTDIR\uninstall.exe"

  ${IfNot} ${FirewallAvailable}
    !insertmacro Log "no firewall to open"
    Return
  ${EndIf}

  ; The program may take TCP connections from the local subnet ("UDP" likewise; any other word,
  ; or none, opens it for every protocol and address).
  Tarvolk::FirewallAddApplication "$INSTDIR\server.exe" "${RULE_NAME}" "TCP"
  Pop $0  ; success / error
  Pop $1  ; 0, or the code of the step that failed
  ${If} $0 != "success"
    !insertmacro Fail "the program's exception was not added, code $1"
  ${EndIf}
  !insertmacro Log "exception added for server.exe"

  Tarvolk::FirewallAddPort "${PORT}" "TCP" "${RULE_NAME} port"
  Pop $0
  Pop $1
  ${If} $0 != "success"
    !insertmacro Fail "the port's exception was not added, code $1"
  ${EndIf}
  !insertmacro Log "exception added for TCP port ${PORT}"
SectionEnd

Section "Uninstall"
  ${If} ${FirewallAvailable}
    Tarvolk::FirewallRemoveApplication "$INSTDIR\server.exe" "${RULE_NAME}"
    Pop $0
    Pop $1
    ${If} $0 != "success"
      !insertmacro Fail "the program's exception was not removed, code $1"
    ${EndIf}
    !insertmacro Log "exception removed for server.exe"

    Tarvolk::FirewallRemovePort "${PORT}" "TCP" "${RULE_NAME} port"
    Pop $0
    Pop $1
    ${If} $0 != "success"
      !insertmacro Fail "the port's exception was not removed, code $1"
    ${EndIf}
    !insertmacro Log "exception removed for TCP port ${PORT}"
  ${EndIf}

  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
SectionEnd
