; GetOsVersion under several Windows releases. Wine reports, for a program of a given file name,
; the version set under HKCU\Software\Wine\AppDefaults\NAME.exe, so this installer copies itself
; under one name per release, sets that name's version and runs the copy, which appends its
; answer to the results. The prefix's own version is left alone for the tests running beside it.
!include "common.nsh"
!include "FileFunc.nsh"
!include "LogicLib.nsh"

Name "Tarvolk version test"
OutFile "${OUTFILE}"

!define APPDEFAULTS "Software\Wine\AppDefaults"

Var Child

Function RunRelease
  Exch $0
  StrCpy $1 "tvos-${VARIANT}-$0.exe"
  WriteRegStr HKCU "${APPDEFAULTS}\$1" "Version" "$0"
  CopyFiles /SILENT "$EXEPATH" "$PLUGINSDIR\$1"
  ExecWait '"$PLUGINSDIR\$1" /S /V=$0'
  Delete "$PLUGINSDIR\$1"
  DeleteRegKey HKCU "${APPDEFAULTS}\$1"
  Pop $0
FunctionEnd

!macro Release VERSION
  Push "${VERSION}"
  Call RunRelease
!macroend

Section
  ${GetOptions} $CMDLINE "/V=" $Child
  ${If} $Child != ""
    FileOpen $Results "${RESULTS}" a
    FileSeek $Results 0 END
    ${Dump} "$Child" `Tarvolk::GetOsVersion`
    FileClose $Results
    Return
  ${EndIf}

  !insertmacro OpenResults
  ; The prefix's own release, with entries of the script's below the call.
  Push "c"
  Push "b"
  Push "a"
  ${Dump} "prefix" `Tarvolk::GetOsVersion`
  FileClose $Results

  ; These releases cover each kind of version data the system reports (workstation and server,
  ; 5.x to 10, x64, 9x); the releases Wine cannot report are tested natively (ReleaseName).
  InitPluginsDir
  !insertmacro Release nt40
  !insertmacro Release winxp
  !insertmacro Release winxp64
  !insertmacro Release win2008
  !insertmacro Release win81
  !insertmacro Release win10
  !insertmacro Release win98
SectionEnd
