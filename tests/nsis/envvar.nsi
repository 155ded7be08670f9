; ModifyEnvVar against the machine's real environment key. Each line holds what the call left on
; the stack, then the stored value, its registry type and the installer's own copy (ReadEnvStr).
!include "common.nsh"

Name "Tarvolk environment test"
OutFile "${OUTFILE}"

!define ENVKEY "System\CurrentControlSet\Control\Session Manager\Environment"
!define V "TvEnv_${VARIANT}"

; $0 = value name; leaves its registry type in $1 (0 when there is no value).
Function RegType
  StrCpy $1 0
  System::Call 'advapi32::RegOpenKeyEx(p 0x80000002, t "${ENVKEY}", i 0, i 0x20019, *p .r2) i .r3'
  StrCmp $3 0 0 done
  System::Call 'advapi32::RegQueryValueEx(p r2, t r0, p 0, *i .r1, p 0, p 0) i .r3'
  System::Call 'advapi32::RegCloseKey(p r2)'
  StrCmp $3 0 done
  StrCpy $1 0
  done:
FunctionEnd

!macro Check LABEL NAME
  StrCpy $R9 "${LABEL}"
  Call DumpStackKeep
  StrCpy $0 "${NAME}"
  Call RegType
  ReadRegStr $2 HKLM "${ENVKEY}" "${NAME}"
  ReadEnvStr $3 "${NAME}"
  FileWrite $Results "    reg=[$2] type=$1 env=[$3]$\r$\n"
!macroend

; As DumpStack, kept apart so the check's own registers stay clear.
Function DumpStackKeep
  Call DumpStack
FunctionEnd

!macro Preset NAME TYPE VALUE
  DeleteRegValue HKLM "${ENVKEY}" "${NAME}"
  !if "${TYPE}" == "exp"
    WriteRegExpandStr HKLM "${ENVKEY}" "${NAME}" "${VALUE}"
  !else if "${TYPE}" == "std"
    WriteRegStr HKLM "${ENVKEY}" "${NAME}" "${VALUE}"
  !endif
  System::Call 'kernel32::SetEnvironmentVariable(t "${NAME}", p 0)'
!macroend

Section
  !insertmacro OpenResults

  !insertmacro Preset "${V}1" none ""
  Push "below"
  Tarvolk::ModifyEnvVar "rem" "std" "${V}1" "A"
  !insertmacro Check "rem from absent" "${V}1"

  Tarvolk::ModifyEnvVar "add" "std" "${V}1" "C:\Tools"
  !insertmacro Check "add to absent" "${V}1"

  !insertmacro Preset "${V}1" std "A;B"
  Tarvolk::ModifyEnvVar "add" "std" "${V}1" "C:\Tools"
  !insertmacro Check "add to A;B" "${V}1"

  !insertmacro Preset "${V}1" std "A;C:\Tools"
  Tarvolk::ModifyEnvVar "add" "std" "${V}1" "c:\tools"
  !insertmacro Check "add present in other case" "${V}1"

  !insertmacro Preset "${V}1" std "C:\Tools\bin"
  Tarvolk::ModifyEnvVar "add" "std" "${V}1" "C:\Tools"
  !insertmacro Check "add a prefix of an item" "${V}1"

  !insertmacro Preset "${V}1" std "A;B;"
  Tarvolk::ModifyEnvVar "add" "std" "${V}1" "C"
  !insertmacro Check "add behind a trailing ;" "${V}1"

  !insertmacro Preset "${V}1" std "A;B"
  Tarvolk::ModifyEnvVar "add" "std" "${V}1" ""
  !insertmacro Check "add empty" "${V}1"

  !insertmacro Preset "${V}1" std "A;B;C"
  Tarvolk::ModifyEnvVar "rem" "std" "${V}1" "B"
  !insertmacro Check "rem middle" "${V}1"

  !insertmacro Preset "${V}1" std "A;B;C"
  Tarvolk::ModifyEnvVar "rem" "std" "${V}1" "c"
  !insertmacro Check "rem last" "${V}1"

  !insertmacro Preset "${V}1" std "A;B"
  Tarvolk::ModifyEnvVar "rem" "std" "${V}1" "A"
  !insertmacro Check "rem first" "${V}1"

  !insertmacro Preset "${V}1" std "X;A;X"
  Tarvolk::ModifyEnvVar "rem" "std" "${V}1" "X"
  !insertmacro Check "rem first of two" "${V}1"

  !insertmacro Preset "${V}1" std "A;B"
  Tarvolk::ModifyEnvVar "rem" "std" "${V}1" "Q"
  !insertmacro Check "rem missing item" "${V}1"

  !insertmacro Preset "${V}1" std "A;;B"
  Tarvolk::ModifyEnvVar "rem" "std" "${V}1" ""
  !insertmacro Check "rem empty" "${V}1"

  !insertmacro Preset "${V}1" std "A"
  Tarvolk::ModifyEnvVar "rem" "std" "${V}1" "a"
  !insertmacro Check "rem the only item" "${V}1"

  ; The type the call names is written, whatever the value had.
  !insertmacro Preset "${V}2" exp "A"
  Tarvolk::ModifyEnvVar "add" "std" "${V}2" "B"
  !insertmacro Check "std over exp" "${V}2"

  ; An expandable variable reaches the installer expanded, also when it is new.
  !insertmacro Preset "${V}3" none ""
  Tarvolk::ModifyEnvVar "add" "exp" "${V}3" "%SystemRoot%\tv"
  !insertmacro Check "exp to absent" "${V}3"
  Tarvolk::ModifyEnvVar "add" "exp" "${V}3" "%SystemDrive%\tv2"
  !insertmacro Check "exp add" "${V}3"

  ; Data with more behind its first NUL: the text up to the NUL is the list.
  DeleteRegValue HKLM "${ENVKEY}" "${V}4"
  !if "${VARIANT}" == "x86-ansi"
    WriteRegBin HKLM "${ENVKEY}" "${V}4" 413B4200580000
  !else
    WriteRegBin HKLM "${ENVKEY}" "${V}4" 41003B00420000005800000000
  !endif
  Tarvolk::ModifyEnvVar "add" "std" "${V}4" "C"
  !insertmacro Check "data behind the NUL" "${V}4"

  ; Bad arguments: what lies below the bad one stays.
  Push "below"
  Tarvolk::ModifyEnvVar "ADD" "std" "TvEnvNeverWritten" "A"
  !insertmacro Check "operation ADD" "TvEnvNeverWritten"
  Tarvolk::ModifyEnvVar "add" "EXP" "TvEnvNeverWritten" "A"
  !insertmacro Check "type EXP" "TvEnvNeverWritten"
  Tarvolk::ModifyEnvVar "add" "std" "TvEnvNeverWritten"
  !insertmacro Check "no value" "TvEnvNeverWritten"
  Tarvolk::ModifyEnvVar
  !insertmacro Check "nothing" "TvEnvNeverWritten"

  DeleteRegValue HKLM "${ENVKEY}" "${V}1"
  DeleteRegValue HKLM "${ENVKEY}" "${V}2"
  DeleteRegValue HKLM "${ENVKEY}" "${V}3"
  DeleteRegValue HKLM "${ENVKEY}" "${V}4"
  !insertmacro CloseResults
SectionEnd
