; The firewall exports as a setup script calls them, against the firewall double that the test
; prefix has registered where Windows' firewall would be. The double keeps its rules,
; applications and open ports in the file named by TARVOLK_FIREWALL_STATE; the script sets the
; scene there (switch lines make the double behave like other systems) and reads back what each
; call left, and at the end that the plug-in released every object it took.
!include "common.nsh"

Name "Tarvolk firewall test"
OutFile "${OUTFILE}"

Var State

!define APP "C:\Tv\app.exe"
!define NOPOLICY2 "fail|NetFwPolicy2$\r$\n"

; Replaces the double's state with TEXT (lines ending in $\r$\n).
!macro Scene TEXT
  FileOpen $0 $State w
  FileWrite $0 "${TEXT}"
  FileClose $0
!macroend

; Writes "LABEL: <entry>" for every rule, application and open port the double holds.
!macro Entries LABEL
  StrCpy $R9 "${LABEL}"
  Call Entries
!macroend

Function Entries
  FileOpen $R0 $State r
  loop:
    ClearErrors
    FileRead $R0 $R1
    IfErrors done
    StrCpy $R2 $R1 5
    StrCmp $R2 "rule|" write
    StrCmp $R2 "port|" write
    StrCpy $R2 $R1 4
    StrCmp $R2 "app|" write loop
  write:
    FileWrite $Results "$R9: $R1"
    Goto loop
  done:
  FileClose $R0
FunctionEnd

Section
  !insertmacro OpenResults
  ReadEnvStr $State TARVOLK_FIREWALL_STATE

  ; Smoke test on Wine's own firewall objects, which the double hands out on this switch.
  !insertmacro Scene "system$\r$\n"
  Tarvolk::FirewallIsAvailable
  !insertmacro DumpStack "wine available"

  ; Both interface generations: the rule path.
  !insertmacro Scene ""
  Push "below"
  Tarvolk::FirewallIsAvailable
  !insertmacro DumpStack "available"
  Push "below"
  Tarvolk::FirewallAddApplication "${APP}" "Tv App" "TCP"
  !insertmacro DumpStack "add TCP"
  Tarvolk::FirewallAddApplication "${APP}" "Tv App" "UDP"
  !insertmacro DumpStack "add again"
  Tarvolk::FirewallAddApplication "${APP}" "Tv Udp" "UDP"
  !insertmacro DumpStack "add UDP"
  Tarvolk::FirewallAddApplication "${APP}" "Tv tcp" "tcp"
  !insertmacro DumpStack "add tcp"
  Tarvolk::FirewallAddApplication "${APP}" "Tv None"
  !insertmacro DumpStack "add no word"
  Tarvolk::FirewallAddPort "8080" "TCP" "Tv Port"
  !insertmacro DumpStack "port TCP"
  Tarvolk::FirewallAddPort "0x35" "UDP" "Tv Dns"
  !insertmacro DumpStack "port UDP"
  Tarvolk::FirewallAddPort "9" "udp" "Tv udp"
  !insertmacro DumpStack "port udp"
  Tarvolk::FirewallAddPort "9999" "UDP" "Tv Port"
  !insertmacro DumpStack "port again"
  !insertmacro Entries "rules"
  Tarvolk::FirewallRemoveApplication "C:\elsewhere.exe" "Tv App"
  !insertmacro DumpStack "remove app"
  Tarvolk::FirewallRemovePort "1" "TCP" "Tv Port"
  !insertmacro DumpStack "remove port"
  Tarvolk::FirewallRemovePort "1" "TCP" "Tv Unknown"
  !insertmacro DumpStack "remove unknown"
  !insertmacro Entries "after remove"

  ; What a new rule's property calls answer is not examined, only adding it counts; a failing
  ; look-up means there is no such rule.
  !insertmacro Scene "fail|Rule.put_Protocol$\r$\nfail|Rule.put_Description$\r$\nfail|Rules.Item$\r$\n"
  Tarvolk::FirewallAddApplication "${APP}" "Tv App" "TCP"
  !insertmacro DumpStack "add, properties failing"
  Tarvolk::FirewallAddPort "80" "TCP" "Tv Port"
  !insertmacro DumpStack "port, look-up failing"
  !insertmacro Entries "failing"

  ; A disabled rule of the name does not count; an enabled one in some profiles is widened.
  !insertmacro Scene "rule|Name=Tv Off|Enabled=0$\r$\nrule|Name=Tv Narrow|Enabled=-1|Profiles=3$\r$\n"
  Tarvolk::FirewallAddApplication "${APP}" "Tv Off" "TCP"
  !insertmacro DumpStack "add beside disabled"
  Tarvolk::FirewallAddPort "80" "TCP" "Tv Narrow"
  !insertmacro DumpStack "add narrow"
  !insertmacro Entries "widened"

  ; Where removing an unknown name fails.
  !insertmacro Scene "strict-remove$\r$\n"
  Tarvolk::FirewallRemoveApplication "${APP}" "Tv Unknown"
  !insertmacro DumpStack "strict remove"

  ; Empty and missing arguments.
  Tarvolk::FirewallAddApplication "" "Tv App"
  !insertmacro DumpStack "empty path"
  Tarvolk::FirewallAddApplication "${APP}" ""
  !insertmacro DumpStack "empty name"
  Tarvolk::FirewallRemovePort "80" "TCP" ""
  !insertmacro DumpStack "empty port name"
  Tarvolk::FirewallRemoveApplication "" "Tv App"
  !insertmacro DumpStack "empty remove path"
  Tarvolk::FirewallAddApplication "${APP}"
  !insertmacro DumpStack "missing name"
  Tarvolk::FirewallAddPort "80" "TCP"
  !insertmacro DumpStack "missing port name"
  Tarvolk::FirewallRemovePort "80" "TCP"
  !insertmacro DumpStack "missing remove port name"

  ; The profile path: applications by path, ports by number and protocol.
  !insertmacro Scene "${NOPOLICY2}"
  Tarvolk::FirewallIsAvailable
  !insertmacro DumpStack "profile available"
  Tarvolk::FirewallAddApplication "${APP}" "Tv App" "UDP"
  !insertmacro DumpStack "profile add"
  Tarvolk::FirewallAddApplication "${APP}" "Tv Other"
  !insertmacro DumpStack "profile add again"
  Tarvolk::FirewallAddPort "8080" "UDP" "Tv Port"
  !insertmacro DumpStack "profile port"
  Tarvolk::FirewallAddPort "8080" "udp" "Tv Port"
  !insertmacro DumpStack "profile port udp"
  Tarvolk::FirewallAddPort "010" "TCP" "Tv Octal"
  !insertmacro DumpStack "profile port octal"
  Tarvolk::FirewallAddPort "8" "TCP" "Tv Again"
  !insertmacro DumpStack "profile port open"
  !insertmacro Entries "profile"
  Tarvolk::FirewallRemoveApplication "${APP}" "any name"
  !insertmacro DumpStack "profile remove"
  Tarvolk::FirewallRemovePort "8080" "UDP" "x"
  !insertmacro DumpStack "profile remove port"
  Tarvolk::FirewallRemovePort "21" "TCP" "x"
  !insertmacro DumpStack "profile remove absent"
  !insertmacro Entries "profile after"

  ; A disabled entry is not found: removing leaves it, adding enables it anew.
  !insertmacro Scene "${NOPOLICY2}app|ProcessImageFileName=${APP}|Enabled=0$\r$\nport|Port=21|Protocol=6|Enabled=0$\r$\n"
  Tarvolk::FirewallRemoveApplication "${APP}" "Tv App"
  !insertmacro DumpStack "profile remove disabled"
  Tarvolk::FirewallRemovePort "21" "TCP" "Tv Ftp"
  !insertmacro DumpStack "profile remove disabled port"
  Tarvolk::FirewallAddPort "21" "TCP" "Tv Ftp"
  !insertmacro DumpStack "profile add disabled port"
  !insertmacro Entries "profile disabled"

  ; Without manager, policy or profile, and without the rule-based API too: unavailable.
  !insertmacro Scene "${NOPOLICY2}fail|NetFwMgr$\r$\n"
  Push "below"
  Tarvolk::FirewallIsAvailable
  !insertmacro DumpStack "unavailable"
  Push "below"
  Tarvolk::FirewallAddApplication "${APP}" "Tv App"
  !insertmacro DumpStack "unavailable add"
  Tarvolk::FirewallRemoveApplication "${APP}" "Tv App"
  !insertmacro DumpStack "unavailable remove"
  Tarvolk::FirewallAddPort "80" "TCP" "Tv Port"
  !insertmacro DumpStack "unavailable port"
  Tarvolk::FirewallRemovePort "80" "TCP" "Tv Port"
  !insertmacro DumpStack "unavailable remove port"

  ; The rule-based API without a current profile.
  !insertmacro Scene "fail|Policy.get_CurrentProfile$\r$\n"
  Tarvolk::FirewallIsAvailable
  !insertmacro DumpStack "rule only"
  Tarvolk::FirewallAddApplication "${APP}" "Tv App"
  !insertmacro DumpStack "rule only add"
  Tarvolk::FirewallRemoveApplication "${APP}" "Tv App"
  !insertmacro DumpStack "rule only remove"
  Tarvolk::FirewallAddPort "80" "TCP" ""
  !insertmacro DumpStack "rule only port"
  Tarvolk::FirewallRemovePort "80" "TCP" "Tv Port"
  !insertmacro DumpStack "rule only remove port"
  Tarvolk::FirewallRemovePort "80" "TCP" ""
  !insertmacro DumpStack "rule only remove empty"
  !insertmacro Entries "never"

  ; Every reference the plug-in took from the double was given back: none of its objects lives.
  System::Call 'tvfwdouble::LiveObjects() i .r0'
  !insertmacro Line "live objects: $0"

  !insertmacro CloseResults
SectionEnd
