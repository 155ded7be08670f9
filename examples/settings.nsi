; Tarvolk example: system settings. The installer refuses Windows releases older than XP, adds
; its program folder to a machine-wide list variable (Path) and keeps a list of servers in a
; REG_MULTI_SZ value; the uninstaller takes both back.
;
; Build it where it lies in the release archive (Examples\Tarvolk, two folders below Plugins\
; and Include\):
;   makensis settings.nsi
; That makes a 32-bit Unicode installer; add "-XUnicode false" for an ANSI one or
; "-XTarget amd64-unicode" for a 64-bit one. Defines, all optional:
;   ENV_VAR   the list variable to add the folder to        (Path)
;   REG_KEY   the key under HKLM for the list of servers     (Software\Tarvolk Example)
;   TARVOLK   the folder that holds Plugins\                 (two folders up)
;   OUTFILE   the installer to write                         (settings-setup.exe)
;   LOG       a text file that gets a line per step          ($TEMP\tarvolk-settings.log)
; Run the installer as an administrator, with /S for a silent installation. Its exit code is 0
; when every step worked and 2 when one failed (the log says which).
!include "LogicLib.nsh"

!ifndef ENV_VAR
  !define ENV_VAR "Path"
!endif
!ifndef REG_KEY
  !define REG_KEY "Software\Tarvolk Example"
!endif
!ifndef TARVOLK
  !define TARVOLK "${__FILEDIR__}\..\.."
!endif
!ifndef OUTFILE
  !define OUTFILE "settings-setup.exe"
!endif
!ifndef LOG
  !define LOG "$TEMP\tarvolk-settings.log"
!endif
!addplugindir /x86-ansi "${TARVOLK}\Plugins\x86-ansi"
!addplugindir /x86-unicode "${TARVOLK}\Plugins\x86-unicode"
!addplugindir /amd64-unicode "${TARVOLK}\Plugins\amd64-unicode"

Name "Tarvolk settings example"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES\Tarvolk Example"
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

Function .onInit
  Tarvolk::GetOsVersion
  Pop $0  ; 1 on an x64 machine
  Pop $1  ; the release: "XP", "7", "10", "2016", ...
  !insertmacro Log "Windows $1, x64: $0"
  ${If} $1 == "NT"
  ${OrIf} $1 == "2000"
    MessageBox MB_OK|MB_ICONSTOP "This program needs Windows XP or later." /SD IDOK
    !insertmacro Fail "Windows $1 is too old"
  ${EndIf}
FunctionEnd

Section "Settings"
  SetOutPath "$INSTDIR\bin"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  ; Stored as REG_EXPAND_SZ; programs that the installer starts from now on see it too.
  Tarvolk::ModifyEnvVar "add" "exp" "${ENV_VAR}" "$INSTDIR\bin"
  Pop $0  ; success / error
  ${If} $0 != "success"
    !insertmacro Fail "$INSTDIR\bin was not added to ${ENV_VAR}"
  ${EndIf}
  ReadEnvStr $1 "${ENV_VAR}"
  !insertmacro Log "added to ${ENV_VAR}, now [$1]"

  ; Replaces the list; the second call appends to it (a string already there is not added).
  Tarvolk::WriteRegMultiString "2" "${REG_KEY}" "Servers" "alpha.example.com;beta.example.com"
  Pop $0
  Tarvolk::AddToRegMultiString "0" "2" "${REG_KEY}" "Servers" "gamma.example.com"
  Pop $1
  Tarvolk::AddToRegMultiString "0" "2" "${REG_KEY}" "Servers" "alpha.example.com"
  Pop $2
  ${If} "$0 $1 $2" != "success success success"
    !insertmacro Fail "the list of servers was not written: $0 $1 $2"
  ${EndIf}
  !insertmacro Log "servers written"
SectionEnd

Section "Uninstall"
  Tarvolk::ModifyEnvVar "rem" "exp" "${ENV_VAR}" "$INSTDIR\bin"
  Pop $0
  ${If} $0 != "success"
    !insertmacro Fail "$INSTDIR\bin was not removed from ${ENV_VAR}"
  ${EndIf}
  ReadEnvStr $1 "${ENV_VAR}"
  !insertmacro Log "removed from ${ENV_VAR}, now [$1]"

  DeleteRegKey HKLM "${REG_KEY}"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR\bin"
  RMDir "$INSTDIR"
  !insertmacro Log "servers removed"
SectionEnd
