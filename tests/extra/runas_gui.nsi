; The run-as page in a real wizard driven by runas-gui; each return writes what the stack holds.
; The program started is the test victim as ${WD}\tvcmdline.exe, which records how it was started.
;   VARIANT PLUGINS RESULTS OUTFILE TESTBIN32 WD
!define WIZARD
!include "${__FILEDIR__}/../nsis/common.nsh"

Name "Tarvolk run-as"
Caption "TvRunAs ${VARIANT}"
OutFile "${OUTFILE}"
InstallDir "${WD}"
AutoCloseWindow true

Var Visit

Page directory
Page custom RunAsPage
Page instfiles

Function .onInit
  CreateDirectory "${WD}"
  CopyFiles /SILENT "${TESTBIN32}\tvvictim.exe" "${WD}\tvcmdline.exe"
  Delete "${WD}\tvcmdline.txt"
FunctionEnd

Function RunAsPage
  IntOp $Visit $Visit + 1
  Push "below"
  Tarvolk::RunAs /header "Run with another account" "Run as myself" /user "User name:" "" \
      /domain "Domain:" "" /pwd "Password:" /next "unused" \
      /errors "Wrong user name or password." "The account is locked." "The program could not start." \
      "${WD}\tvcmdline.exe" "${WD}"
  !insertmacro DumpStack "visit $Visit"
FunctionEnd

Section
SectionEnd
