; GetOsVersion under several releases: Wine answers per file name from AppDefaults\NAME.exe, so the
; installer runs a copy of itself per release, leaving the prefix's own version alone.
!include "common.nsh"
!include "FileFunc.nsh"
!include "LogicLib.nsh"

Name "Tarvolk version test"
OutFile "${OUTFILE}"

!define APPDEFAULTS "Software\Wine\AppDefaults"

Var Child

!macro Release VERSION
  StrCpy $1 "tvos-${VARIANT}-${VERSION}.exe"
  WriteRegStr HKCU "${APPDEFAULTS}\$1" "Version" "${VERSION}"
  CopyFiles /SILENT "$EXEPATH" "$PLUGINSDIR\$1"
  ExecWait '"$PLUGINSDIR\$1" /S /V=${VERSION}'
  Delete "$PLUGINSDIR\$1"
  DeleteRegKey HKCU "${APPDEFAULTS}\$1"
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

  FileOpen $Results "${RESULTS}" w
  ; The prefix's own release, with entries of the script's below the call.
  Push "c"
  Push "b"
  Push "a"
  ${Dump} "prefix" `Tarvolk::GetOsVersion`
  FileClose $Results

  ; Each kind of version data (workstation, server, 5.x to 10, x64, 9x).
  InitPluginsDir
  !insertmacro Release nt40
  !insertmacro Release winxp
  !insertmacro Release winxp64
  !insertmacro Release win2008
  !insertmacro Release win81
  !insertmacro Release win10
  !insertmacro Release win98
SectionEnd
