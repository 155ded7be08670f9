; AddToRegMultiString and WriteRegMultiString in both registry views: what the call left, then the
; value's string count, size in characters and strings (each cut to 12).
!include "common.nsh"
!include "LogicLib.nsh"

Name "Tarvolk multi-string test"
OutFile "${OUTFILE}"

!define K "Software\TvMultistring-${VARIANT}"
!define BUFSIZE 300000

; Root $0 (a handle number), value $2 of ${K}, view flag $3 (0x100 64-bit, 0x200 32-bit).
Function ReadList
  StrCpy $R1 "none"
  IntOp $3 $3 | 0x20019
  System::Call 'advapi32::RegOpenKeyEx(p r0, t "${K}", i 0, i r3, *p .r4) i .r5'
  ${If} $5 == 0
    System::Alloc ${BUFSIZE}
    Pop $6
    System::Call 'advapi32::RegQueryValueEx(p r4, t r2, p 0, *i .r7, p r6, *i ${BUFSIZE} r8) i .r5'
    System::Call 'advapi32::RegCloseKey(p r4)'
    ${If} $5 == 0
      IntOp $8 $8 / ${NSIS_CHAR_SIZE}
      StrCpy $R1 ""
      StrCpy $R2 0
      StrCpy $R3 $6
      ${Do}
        System::Call '*$R3(&t1024 .R4)'
        StrLen $R5 $R4
        ${IfThen} $R5 == 0 ${|} ${ExitDo} ${|}
        IntOp $R2 $R2 + 1
        StrCpy $R4 $R4 12
        StrCpy $R1 "$R1|$R4"
        IntOp $R5 $R5 + 1
        IntOp $R5 $R5 * ${NSIS_CHAR_SIZE}
        IntOp $R3 $R3 + $R5
      ${Loop}
      StrCpy $R1 $R1 "" 1
      StrCpy $R1 "count=$R2 chars=$8 type=$7 [$R1]"
    ${EndIf}
    System::Free $6
  ${EndIf}
  FileWrite $Results "    $R1$\r$\n"
FunctionEnd

!macro Show ROOT NAME VIEW
  StrCpy $0 ${ROOT}
  StrCpy $2 "${NAME}"
  StrCpy $3 ${VIEW}
  Call ReadList
!macroend

!macro Check LABEL NAME VIEW STATEMENT
  ${STATEMENT}
  !insertmacro DumpStack "${LABEL}"
  !insertmacro Show 0x80000002 "${NAME}" ${VIEW}
!macroend

!macro Clean
  SetRegView 32
  DeleteRegKey HKLM "${K}"
  DeleteRegKey HKCU "${K}"
  DeleteRegKey HKCR "${K}"
  SetRegView 64
  DeleteRegKey HKLM "${K}"
  SetRegView 32
!macroend

Section
  FileOpen $Results "${RESULTS}" w
  !insertmacro Clean

  ; Writing a list, adding a new and a present string: the settings example.
  Push "below"
  !insertmacro Check "add to no value" "one" 0x200 `Tarvolk::AddToRegMultiString "0" "2" "${K}" "one" "x"`
  !insertmacro Check "add empty to no value" "empty" 0x200 `Tarvolk::AddToRegMultiString "0" "2" "${K}" "empty" ""`

  !insertmacro Check "write empty" "none" 0x200 `Tarvolk::WriteRegMultiString "2" "${K}" "none" ""`

  ; A value of another type is never overwritten.
  WriteRegStr HKLM "${K}" "sz" "old"
  !insertmacro Check "add to REG_SZ" "sz" 0x200 `Tarvolk::AddToRegMultiString "0" "2" "${K}" "sz" "new"`
  !insertmacro Check "write over REG_SZ" "sz" 0x200 `Tarvolk::WriteRegMultiString "2" "${K}" "sz" "new"`

  ; Another script's string (C and U+03A9, UTF-16) outlives an add in ANSI too.
  System::Call '*(&i2 0x43, &i2 0x3A9, &i2 0, &i2 0x41, &i2 0, &i2 0) p .r3'
  System::Call 'advapi32::RegOpenKeyExW(p 0x80000002, w "${K}", i 0, i 0x2021F, *p .r2)'
  System::Call 'advapi32::RegSetValueExW(p r2, w "intl", i 0, i 7, p r3, i 12)'
  System::Call 'advapi32::RegCloseKey(p r2)'
  System::Free $3
  Tarvolk::AddToRegMultiString "0" "2" "${K}" "intl" "B"
  Pop $R1
  !insertmacro OmegaKept "${K}" "intl"
  FileWrite $Results "other script: [$R1] bytes=$5 omega=$6$\r$\n"

  ; Views: '0' and '00' the default (32-bit) one, anything else the 64-bit one.
  Tarvolk::AddToRegMultiString "1" "2" "${K}" "v" "one"
  Tarvolk::AddToRegMultiString "x" "2" "${K}" "v" "x"
  !insertmacro Check "64-bit view" "v" 0x100 `Tarvolk::AddToRegMultiString "" "2" "${K}" "v" "empty"`
  !insertmacro Check "view 00" "v" 0x200 `Tarvolk::AddToRegMultiString "00" "2" "${K}" "v" "00"`

  ; Roots: 1 HKCU, 0 HKCR, other numbers HKLM, or a name in any case; other text writes nothing.
  ${Dump} "root 1" `Tarvolk::AddToRegMultiString "0" "1" "${K}" "r" "one"`
  ${Dump} "root hkey_current_user" `Tarvolk::AddToRegMultiString "0" "hkey_current_user" "${K}" "r" "long"`
  !insertmacro Show 0x80000001 "r" 0
  Tarvolk::WriteRegMultiString "0" "${K}" "r" "zero"
  ${Dump} "root HKXX" `Tarvolk::AddToRegMultiString "0" "HKXX" "${K}" "r" "HKXX"`
  !insertmacro Show 0x80000000 "r" 0
  Tarvolk::WriteRegMultiString "7" "${K}" "r" "seven;7"
  Tarvolk::AddToRegMultiString "0" "-1" "${K}" "r" "minus"
  !insertmacro Check "roots 7, -1 and HKLM" "r" 0x200 `Tarvolk::AddToRegMultiString "0" "HKLM" "${K}" "r" "HKLM"`

  ; A list larger than the first read's 16384 bytes, in the 64-bit view; under 64 KiB, as Wine's
  ; client (under qemu) may cut a larger request to its server short.
  !insertmacro Digits $9 990
  ${For} $R0 10 29
    Tarvolk::AddToRegMultiString "1" "2" "${K}" "big" "item$R0$9"
    Pop $R1
    ${IfThen} $R1 != "success" ${|} FileWrite $Results "big $R0: $R1$\r$\n" ${|}
  ${Next}
  !insertmacro Check "big list" "big" 0x100 ""
  !insertmacro Check "big, last again" "big" 0x100 `Tarvolk::AddToRegMultiString "1" "2" "${K}" "big" "item29$9"`
  !insertmacro Check "big, new" "big" 0x100 `Tarvolk::AddToRegMultiString "1" "2" "${K}" "big" "tail"`

  ; A stack that runs out writes nothing.
  !insertmacro Check "add, four arguments" "short" 0x200 `Tarvolk::AddToRegMultiString "0" "2" "${K}" "short"`
  !insertmacro Check "write, three arguments" "short" 0x200 `Tarvolk::WriteRegMultiString "2" "${K}" "short"`

  !insertmacro Clean
  FileClose $Results
SectionEnd
