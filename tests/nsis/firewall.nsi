; The firewall exports against the double registered in the prefix (its state file is named by
; TARVOLK_FIREWALL_STATE; switch lines there make it behave like other systems).
!include "common.nsh"

Name "Tarvolk firewall test"
OutFile "${OUTFILE}"

!define APP "C:\Tv\app.exe"
!define NOPOLICY2 "fail|NetFwPolicy2$\r$\n"

!macro Entries LABEL
  StrCpy $R9 "${LABEL}"
  Call Entries
!macroend

Function Entries
  ReadEnvStr $R3 TARVOLK_FIREWALL_STATE
  FileOpen $R0 $R3 r
  loop:
    ClearErrors
    FileRead $R0 $R1
    IfErrors done
    ; The only switch lines these scenes write are "fail|" ones.
    StrCpy $R2 $R1 5
    StrCmp $R2 "fail|" loop
    FileWrite $Results "$R9: $R1"
    Goto loop
  done:
  FileClose $R0
FunctionEnd

Section
  FileOpen $Results "${RESULTS}" w

  ; Smoke test on Wine's own firewall objects, which the double hands out on this switch.
  !insertmacro FirewallState "system$\r$\n"
  ${Dump} "wine available" `Tarvolk::FirewallIsAvailable`

  ; Both interface generations: the rule path.
  !insertmacro FirewallState ""
  ${DumpBelow} "available" `Tarvolk::FirewallIsAvailable`
  ${DumpBelow} "add TCP" `Tarvolk::FirewallAddApplication "${APP}" "Tv App" "TCP"`
  ; An enabled rule of the name is brought to what a later add asks: protocol, program, port.
  ${Dump} "add again" `Tarvolk::FirewallAddApplication "${APP}" "Tv App" "UDP"`
  ${Dump} "add UDP" `Tarvolk::FirewallAddApplication "${APP}" "Tv Udp" "UDP"`
  ${Dump} "add no word" `Tarvolk::FirewallAddApplication "${APP}" "Tv None"`
  ${Dump} "port TCP" `Tarvolk::FirewallAddPort "8080" "TCP" "Tv Port"`
  ${Dump} "port UDP" `Tarvolk::FirewallAddPort "0x35" "UDP" "Tv Dns"`
  ${Dump} "port again" `Tarvolk::FirewallAddPort "9999" "UDP" "Tv Port"`
  ${Dump} "add moved" `Tarvolk::FirewallAddApplication "C:\Tv2\app.exe" "Tv None"`
  ; A port out of range would leave a rule without a port limit: refused, nothing added.
  ${Dump} "port 80800" `Tarvolk::FirewallAddPort "80800" "TCP" "Tv Typo"`
  ${Dump} "port -1" `Tarvolk::FirewallAddPort "4294967295" "TCP" "Tv Typo"`
  !insertmacro Entries "rules"
  ${Dump} "remove app" `Tarvolk::FirewallRemoveApplication "C:\elsewhere.exe" "Tv App"`
  ${Dump} "remove port" `Tarvolk::FirewallRemovePort "1" "TCP" "Tv Port"`
  ${Dump} "remove unknown" `Tarvolk::FirewallRemovePort "1" "TCP" "Tv Unknown"`
  !insertmacro Entries "after remove"

  ; A property that cannot be set fails the add; a failing look-up means no such rule.
  !insertmacro FirewallState "fail|Rule.put_Protocol$\r$\nfail|Rules.Item$\r$\n"
  ${Dump} "add, protocol failing" `Tarvolk::FirewallAddApplication "${APP}" "Tv App" "TCP"`
  ${Dump} "add, look-up failing" `Tarvolk::FirewallAddApplication "${APP}" "Tv App"`
  !insertmacro Entries "failing"

  ; A disabled rule of the name does not count (an enabled one is added beside it, all removed at
  ; the end); an enabled one in some profiles is widened.
  !insertmacro FirewallState "rule|Name=Tv Off|Enabled=0$\r$\nrule|Name=Tv Narrow|Enabled=-1|Profiles=3$\r$\n"
  ${Dump} "add beside disabled" `Tarvolk::FirewallAddApplication "${APP}" "Tv Off" "TCP"`
  ${Dump} "reinstall" `Tarvolk::FirewallAddApplication "${APP}" "Tv Off" "TCP"`
  ${Dump} "add narrow" `Tarvolk::FirewallAddPort "80" "TCP" "Tv Narrow"`
  !insertmacro Entries "widened"
  ${Dump} "uninstall" `Tarvolk::FirewallRemoveApplication "${APP}" "Tv Off"`
  !insertmacro Entries "uninstalled"

  ${Dump} "empty path" `Tarvolk::FirewallAddApplication "" "Tv App"`
  ${Dump} "empty name" `Tarvolk::FirewallAddApplication "${APP}" ""`
  ${Dump} "empty port name" `Tarvolk::FirewallRemovePort "80" "TCP" ""`
  ${Dump} "empty remove path" `Tarvolk::FirewallRemoveApplication "" "Tv App"`
  ${Dump} "missing name" `Tarvolk::FirewallAddApplication "${APP}"`
  ${Dump} "missing port name" `Tarvolk::FirewallAddPort "80" "TCP"`
  ${Dump} "missing remove port name" `Tarvolk::FirewallRemovePort "80" "TCP"`

  ; The profile path: applications by path, ports by number and protocol.
  !insertmacro FirewallState "${NOPOLICY2}"
  ${Dump} "profile available" `Tarvolk::FirewallIsAvailable`
  ${Dump} "profile add" `Tarvolk::FirewallAddApplication "${APP}" "Tv App" "UDP"`
  ${Dump} "profile add again" `Tarvolk::FirewallAddApplication "${APP}" "Tv Other"`
  ${Dump} "profile port" `Tarvolk::FirewallAddPort "8080" "UDP" "Tv Port"`
  ${Dump} "profile port octal" `Tarvolk::FirewallAddPort "010" "TCP" "Tv Octal"`
  ${Dump} "profile port open" `Tarvolk::FirewallAddPort "8" "TCP" "Tv Again"`
  !insertmacro Entries "profile"
  ${Dump} "profile remove" `Tarvolk::FirewallRemoveApplication "${APP}" "any name"`
  ${Dump} "profile remove port" `Tarvolk::FirewallRemovePort "8080" "UDP" "x"`
  ${Dump} "profile remove absent" `Tarvolk::FirewallRemovePort "21" "TCP" "x"`
  !insertmacro Entries "profile after"

  ; A disabled entry is not found: removing leaves it, adding enables it anew.
  !insertmacro FirewallState "${NOPOLICY2}app|ProcessImageFileName=${APP}|Enabled=0$\r$\nport|Port=21|Protocol=6|Enabled=0$\r$\n"
  ${Dump} "profile remove disabled" `Tarvolk::FirewallRemoveApplication "${APP}" "Tv App"`
  ${Dump} "profile remove disabled port" `Tarvolk::FirewallRemovePort "21" "TCP" "Tv Ftp"`
  ${Dump} "profile add disabled port" `Tarvolk::FirewallAddPort "21" "TCP" "Tv Ftp"`
  !insertmacro Entries "profile disabled"

  ; Every reference the plug-in took from the double was given back: none of its objects lives.
  System::Call 'tvfwdouble::LiveObjects() i .r0'
  !insertmacro Line "live objects: $0"

  FileClose $Results
SectionEnd
