; The running-programs page as page-looks shows it, /LANG=id /SCENE=lang|look: "lang" measures the
; texts of one language and moves on; "look" lists custom entries with 16-48 pixel icons while
; present.flag exists, measures itself and waits for the driver.
;   VARIANT PLUGINS RESULTS OUTFILE
!define WIZARD
!include "${__FILEDIR__}/../nsis/common.nsh"
!include "${PLUGINS}/../Include/Tarvolk.nsh"
!include "FileFunc.nsh"
!include "MUI2.nsh"

!define T "gui-looks-${VARIANT}"
!define D "C:\tvtest\${T}"
Name "Tarvolk looks"
Caption "TvLooks ${VARIANT}"
OutFile "${OUTFILE}"
ManifestDPIAware true
AutoCloseWindow true

Page custom ProgramsPage
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"
!insertmacro MUI_LANGUAGE "German"
!insertmacro MUI_LANGUAGE "French"
!insertmacro MUI_LANGUAGE "Spanish"
!insertmacro MUI_LANGUAGE "Italian"
!insertmacro MUI_LANGUAGE "PortugueseBR"
!insertmacro MUI_LANGUAGE "Dutch"
!insertmacro MUI_LANGUAGE "Polish"
!insertmacro MUI_LANGUAGE "Russian"
!insertmacro MUI_LANGUAGE "Turkish"
!insertmacro MUI_LANGUAGE "Japanese"
!insertmacro MUI_LANGUAGE "Korean"
!insertmacro MUI_LANGUAGE "SimpChinese"
!insertmacro MUI_LANGUAGE "TradChinese"
!insertmacro MUI_LANGUAGE "Arabic"
!insertmacro MUI_LANGUAGE "Hebrew"
!insertmacro TvPageLanguages

Var Scene
Var Page
Var Measured

Function .onInit
  ${GetParameters} $0
  ${GetOptions} $0 "/LANG=" $LANGUAGE
  ${GetOptions} $0 "/SCENE=" $Scene
FunctionEnd

; $R0 = the control's text height when wrapped at $R1 pixels (its font, its text); $R9 is a RECT.
!macro TextHeight CONTROL
  SendMessage ${CONTROL} 0x31 0 0 $R5  ; WM_GETFONT
  System::Call 'user32::GetDC(p ${CONTROL}) p .R6'
  System::Call 'gdi32::SelectObject(p R6, p R5)'
  System::Call 'user32::GetWindowText(p ${CONTROL}, t .R7, i ${NSIS_MAX_STRLEN})'
  System::Call '*$R9(i 0, i 0, i R1, i 0)'
  System::Call 'user32::DrawText(p R6, t R7, i -1, p R9, i 0x2410)'  ; DT_CALCRECT WORDBREAK EDITCONTROL
  System::Call '*$R9(i, i, i, i .R0)'
  System::Call 'user32::ReleaseDC(p ${CONTROL}, p R6)'
!macroend

; Notes in $Measured what does not fit: control ID's text wrapped at its width less GLYPH.
!macro FitsControl ID GLYPH
  GetDlgItem $R2 $Page ${ID}
  System::Call 'user32::GetClientRect(p R2, p R9)'
  System::Call '*$R9(i, i, i .R1, i .R3)'
  IntOp $R1 $R1 - ${GLYPH}
  !insertmacro TextHeight $R2
  IntCmp $R0 $R3 +2 +2 0
    StrCpy $Measured "$Measured ${ID} needs $R0 of $R3 px;"
!macroend

; ... and a text that the list draws in a column of WIDTH pixels, with PAD pixels beside it.
!macro FitsColumn TEXT WIDTH PAD
  StrCpy $R0 "${TEXT}"
  System::Call 'user32::SendMessage(p R4, i ${LVM_GETSTRINGWIDTH}, p 0, t R0) i .R0'
  IntOp $R0 $R0 + ${PAD}
  IntCmp $R0 ${WIDTH} +2 +2 0
    StrCpy $Measured "$Measured [${TEXT}] needs $R0 of ${WIDTH} px;"
!macroend

!ifdef NSIS_UNICODE
  !define LVM_GETSTRINGWIDTH 0x1057
!else
  !define LVM_GETSTRINGWIDTH 0x1011
!endif

; Measures the page once, while it is shown: its texts, its columns, its icons and its bounds.
Function Measure
  Pop $0
  StrCmp $Measured "" 0 done
  StrCpy $Measured " "
  System::Call '*(i, i, i, i) p .R9'
  System::Call 'user32::GetSystemMetrics(i 71) i .R8'  ; SM_CXMENUCHECK
  IntOp $R8 $R8 + 4
  !insertmacro FitsControl 1211 0
  !insertmacro FitsControl 1226 0
  !insertmacro FitsControl 1227 $R8
  GetDlgItem $R4 $Page 1212
  SendMessage $R4 0x101D 0 0 $R2  ; LVM_GETCOLUMNWIDTH
  SendMessage $R4 0x101D 1 0 $R3
  ; The column titles, with the header's margins; the status rows, beside the row's icon.
  System::Call 'user32::GetSystemMetrics(i 49) i .R7'  ; SM_CXSMICON
  IntOp $R6 $R7 + 12
  !insertmacro FitsColumn "$(TvPage_column1)" $R2 12
  !insertmacro FitsColumn "$(TvPage_column2)" $R3 12
  !insertmacro FitsColumn "100% $(TvPage_searching)" $R2 $R6
  !insertmacro FitsColumn "$(TvPage_endsearch)" $R2 $R6
  !insertmacro FitsColumn "$(TvPage_endmonitor)" $R2 $R6
  !insertmacro FitsColumn "$(TvPage_noprograms)" $R2 $R6
  ; Columns: two thirds and one third of the list less a scroll bar; images the small-icon size.
  System::Call 'user32::GetClientRect(p R4, p R9)'
  System::Call '*$R9(i, i, i .R1, i)'
  System::Call 'user32::GetSystemMetrics(i 2) i .R5'  ; SM_CXVSCROLL
  IntOp $R1 $R1 - $R5
  IntOp $R5 $R1 % 3
  IntOp $R1 $R1 - $R2
  IntOp $R1 $R1 - $R3
  IntOp $R1 $R1 - $R5
  IntOp $R0 $R3 * 2
  IntOp $R0 $R0 + 1
  StrCmp "$R1 $R0" "2 $R2" +2
    StrCpy $Measured "$Measured columns $R2 and $R3 leave $R1 px;"
  SendMessage $R4 0x1002 1 0 $R0  ; LVM_GETIMAGELIST, small
  System::Call 'comctl32::ImageList_GetIconSize(p R0, *i .R1, *i .R2)'
  StrCmp "$R1 $R2" "$R7 $R7" +2
    StrCpy $Measured "$Measured icons of $R1x$R2 px where small icons are $R7;"
  ; The page lies on the installer's page area; every control lies inside the page.
  System::Call 'user32::GetWindowRect(p $Page, p R9)'
  System::Call '*$R9(i .R1, i .R2, i .R3, i .R5)'
  GetDlgItem $R0 $HWNDPARENT 1018
  System::Call 'user32::GetWindowRect(p R0, p R9)'
  System::Call '*$R9(i .R6, i .R7, i .R8, i .R0)'
  StrCmp "$R1 $R2 $R3 $R5" "$R6 $R7 $R8 $R0" +2
    StrCpy $Measured "$Measured the page lies at $R1,$R2-$R3,$R5, its area at $R6,$R7-$R8,$R0;"
  ${ForEach} $R4 1211 1227 + 1
    GetDlgItem $R0 $Page $R4
    ${IfThen} $R0 = 0 ${|} ${Continue} ${|}
    System::Call 'user32::GetWindowRect(p R0, p R9)'
    System::Call '*$R9(i .R6, i .R7, i .R8, i .R0)'
    ${If} $R6 < $R1
    ${OrIf} $R7 < $R2
    ${OrIf} $R8 > $R3
    ${OrIf} $R0 > $R5
      StrCpy $Measured "$Measured $R4 sticks out;"
    ${EndIf}
  ${Next}
  System::Free $R9
  StrCmp $Measured " " 0 +2
    StrCpy $Measured " everything fits"
  !insertmacro Line "$LANGUAGE:$Measured"
  done:
  StrCpy $0 "false"
  StrCmp $Scene "look" 0 +3
  IfFileExists "${D}\present.flag" 0 +2
    StrCpy $0 "true"
  Push $0
FunctionEnd

Function ProgramsPage
  GetFunctionAddress $0 Measure
  Tarvolk::AddCustom "Measure" "the page" $0
  StrCmp $Scene "look" 0 +3
    Tarvolk::AddCustom /icon "${D}\sizes.ico" "Custom entry ${T}" "custom detail" $0
    Tarvolk::AddCustom "Other entry ${T}" "other detail" $0
  ${TvPageTexts}
  Tarvolk::InitDialog /heading "Looks ${T}" /autonext /autoclose "" "" "" "Close all"
  Pop $Page
  Tarvolk::Show
  Pop $0
  !insertmacro Line "left: $0"
FunctionEnd

Section
SectionEnd
