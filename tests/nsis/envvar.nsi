; ModifyEnvVar against the machine's real environment key. Each line holds what the call left on
; the stack, then the stored value, its registry type and the installer's own copy (ReadEnvStr).
!include "common.nsh"
!include "LogicLib.nsh"

Name "Tarvolk environment test"
OutFile "${OUTFILE}"

!define ENVKEY "System\CurrentControlSet\Control\Session Manager\Environment"
!define V "TvEnvvar_${VARIANT}_"

; $0 = value name: writes its stored value, registry type (0 when there is no value) and the
; installer's own copy.
Function Stored
  System::Call 'advapi32::RegOpenKeyEx(p 0x80000002, t "${ENVKEY}", i 0, i 0x20019, *p .r2)'
  System::Call 'advapi32::RegQueryValueEx(p r2, t r0, p 0, *i .r1, p 0, p 0) i .r3'
  System::Call 'advapi32::RegCloseKey(p r2)'
  StrCmp $3 0 +2
    StrCpy $1 0
  ReadRegStr $2 HKLM "${ENVKEY}" $0
  ReadEnvStr $3 $0
  FileWrite $Results "    reg=[$2] type=$1 env=[$3]$\r$\n"
FunctionEnd

!macro Check LABEL NAME STATEMENT
  ${STATEMENT}
  !insertmacro DumpStack "${LABEL}"
  StrCpy $0 "${NAME}"
  Call Stored
!macroend

!if "${VARIANT}" == "amd64-unicode"
; $0 = name: the lengths of the stored text and the installer's copy, and 0 when they are equal.
Function CompareWhole
  System::Alloc 140000
  Pop $4
  System::Alloc 140000
  Pop $5
  System::Call 'kernel32::GetEnvironmentVariable(t r0, p r4, i 32767) i .r6'
  System::Call 'advapi32::RegOpenKeyEx(p 0x80000002, t "${ENVKEY}", i 0, i 0x20019, *p .r2) i .r3'
  System::Call 'advapi32::RegQueryValueEx(p r2, t r0, p 0, p 0, p r5, *i 140000 r7) i .r3'
  System::Call 'advapi32::RegCloseKey(p r2)'
  IntOp $7 $7 / ${NSIS_CHAR_SIZE}
  IntOp $7 $7 - 1
  IntOp $8 $6 + 1
  IntOp $8 $8 * ${NSIS_CHAR_SIZE}
  System::Call 'msvcrt::memcmp(p r4, p r5, p r8) i .r8'
  System::Free $4
  System::Free $5
  FileWrite $Results "    reg chars=$7 env chars=$6 same=$8$\r$\n"
FunctionEnd
!endif

!macro Preset NAME TYPE VALUE
  DeleteRegValue HKLM "${ENVKEY}" "${NAME}"
  !if "${TYPE}" == "exp"
    WriteRegExpandStr HKLM "${ENVKEY}" "${NAME}" "${VALUE}"
  !else if "${TYPE}" == "std"
    WriteRegStr HKLM "${ENVKEY}" "${NAME}" "${VALUE}"
  !endif
  System::Call 'kernel32::SetEnvironmentVariable(t "${NAME}", p 0)'
!macroend

; NAME set to VALUE of TYPE (std, exp or none) before the Check.
!define Given "!insertmacro Given"
!macro Given LABEL NAME TYPE VALUE STATEMENT
  !insertmacro Preset "${NAME}" ${TYPE} "${VALUE}"
  !insertmacro Check "${LABEL}" "${NAME}" `${STATEMENT}`
!macroend

Section
  FileOpen $Results "${RESULTS}" w

  Push "below"
  ${Given} "rem from absent" "${V}1" none "" `Tarvolk::ModifyEnvVar "rem" "std" "${V}1" "A"`

  ${Given} "add to A;B" "${V}1" std "A;B" `Tarvolk::ModifyEnvVar "add" "std" "${V}1" "C:\Tools"`

  ; The registry and the installer's copy follow a write, an unchanged list and a delete.
  ${Given} "add present in other case" "${V}1" std "A;C:\Tools" `Tarvolk::ModifyEnvVar "add" "std" "${V}1" "c:\tools"`

  ${Given} "rem the only item" "${V}1" std "A" `Tarvolk::ModifyEnvVar "rem" "std" "${V}1" "a"`

  ; "std" writes REG_SZ, but an expandable variable that names a variable stays expandable.
  ${Given} "std over exp" "${V}2" exp "A" `Tarvolk::ModifyEnvVar "add" "std" "${V}2" "B"`
  ${Given} "std over exp Path" "${V}2" exp "%SystemRoot%\tv;A" `Tarvolk::ModifyEnvVar "add" "std" "${V}2" "B"`

  ; A folder of another script's (C:\ and U+03A9) outlives an add and a remove, in ANSI too.
  DeleteRegValue HKLM "${ENVKEY}" "${V}1"
  WriteRegBin HKLM "${ENVKEY}" "${V}1" 43003A005C00A9033B0041000000
  Tarvolk::ModifyEnvVar "add" "std" "${V}1" "B"
  Tarvolk::ModifyEnvVar "rem" "std" "${V}1" "B"
  Call TakeStack
  !insertmacro OmegaKept "${ENVKEY}" "${V}1"
  FileWrite $Results "other script:$R8 bytes=$5 omega=$6$\r$\n"

  ; An expandable variable reaches the installer expanded, also when it is new.
  ${Given} "exp to absent" "${V}3" none "" `Tarvolk::ModifyEnvVar "add" "exp" "${V}3" "%SystemRoot%\tv"`
  !insertmacro Check "exp add" "${V}3" `Tarvolk::ModifyEnvVar "add" "exp" "${V}3" "%SystemDrive%\tv2"`

  ; Data with more behind its first NUL: the text up to the NUL is the list.
  DeleteRegValue HKLM "${ENVKEY}" "${V}4"
  WriteRegBin HKLM "${ENVKEY}" "${V}4" 41003B00420000005800000000
  !insertmacro Check "data behind the NUL" "${V}4" `Tarvolk::ModifyEnvVar "add" "std" "${V}4" "C"`

  !insertmacro Digits $9 993
  ; A list near the limit is written in 64 KiB: Wine's 32-bit client (under qemu) has had such a
  ; request to its server cut short, so only the 64-bit installer writes it.
  !if "${VARIANT}" == "amd64-unicode"
  ; 999-character items until one would pass 32,767 with the NUL: refused, both copies whole.
  !insertmacro Preset "${V}long" none ""
  ${For} $R0 10 60
    Tarvolk::ModifyEnvVar "add" "std" "${V}long" "item$R0$9"
    Pop $R1
    ${IfThen} $R1 != "success" ${|} ${ExitFor} ${|}
  ${Next}
  FileWrite $Results "long list: item$R0 [$R1]$\r$\n"
  StrCpy $0 "${V}long"
  Call CompareWhole
  ; Up to the last character that fits (32,766 and the NUL), and one more.
  StrCpy $8 $9 760
  Tarvolk::ModifyEnvVar "add" "std" "${V}long" "item$R0$8"
  ${Dump} "long list, filled up and one more" `Tarvolk::ModifyEnvVar "add" "std" "${V}long" "y"`
  Call CompareWhole
  !endif

  ; An item whose expansion passes the limit is refused too: 34 times a variable of 993 characters.
  !insertmacro Preset "${V}5" none ""
  System::Call 'kernel32::SetEnvironmentVariable(t "${V}p", t r9)'
  StrCpy $8 ""
  ${For} $R0 1 34
    StrCpy $8 "$8%${V}p%"
  ${Next}
  !insertmacro Check "exp beyond the limit" "${V}5" `Tarvolk::ModifyEnvVar "add" "exp" "${V}5" "$8"`

  ; Names the environment cannot hold: the empty one (the key's default value) and one with '='.
  ${Dump} "empty name" `Tarvolk::ModifyEnvVar "add" "std" "" "${V}empty"`
  StrCpy $0 ""
  Call Stored
  DeleteRegValue HKLM "${ENVKEY}" "${V}=x"
  !insertmacro Check "name with =" "${V}=x" `Tarvolk::ModifyEnvVar "add" "std" "${V}=x" "A"`
  ReadRegStr $0 HKLM "${ENVKEY}" ""
  StrCmp $0 "${V}empty" 0 +2
    DeleteRegValue HKLM "${ENVKEY}" ""

  ; Bad arguments: what lies below the bad one stays.
  Push "below"
  !insertmacro Check "operation ADD" "${V}never" `Tarvolk::ModifyEnvVar "ADD" "std" "${V}never" "A"`
  !insertmacro Check "type EXP" "${V}never" `Tarvolk::ModifyEnvVar "add" "EXP" "${V}never" "A"`
  !insertmacro Check "no value" "${V}never" `Tarvolk::ModifyEnvVar "add" "std" "${V}never"`

  ${For} $R0 1 4
    DeleteRegValue HKLM "${ENVKEY}" "${V}$R0"
  ${Next}
  DeleteRegValue HKLM "${ENVKEY}" "${V}long"
  System::Call 'kernel32::SetEnvironmentVariable(t "${V}p", p 0)'
  FileClose $Results
SectionEnd
