; Tarvolk.nsh: words for Tarvolk.dll that a setup script reads like prose.
;
;   !addplugindir ...            (the plug-in's folders, as for any call of Tarvolk::)
;   !include "Tarvolk.nsh"       (it includes LogicLib.nsh)
;
; Tests for LogicLib (${If}, ${IfNot}, ${Unless}, ${ElseIf}, ${AndIf}, ${OrIf}, ${DoWhile}, ...):
;   ${FileLocked} PATH        the file is open elsewhere, locked, read-only or not writable by
;                             the installer (IsFileLocked); a missing file is not locked
;   ${ProcessRunning} NAME    a process of that program name runs, e.g. "app.exe" or a full path
;                             (FindProcess /yesno)
;   ${ServiceExists} NAME     the service is installed (QueryStatus answers success)
;   ${ServiceRunning} NAME    the service runs (QueryStatus: state 4)
;   ${FirewallAvailable}      a firewall interface can be reached (FirewallIsAvailable)
;
; Sequences, each leaving one word in the variable named last:
;   ${TvCloseProgram} NAME SECONDS VAR
;       Asks every program of that name to close with every polite step that applies to it
;       (CloseProcess /wait: its window, the end of the session, its console, its service) for
;       up to SECONDS, then terminates those left, unless one refused. VAR: "none" (none ran),
;       "closed" (all ended in time), "refused" (one refused to end; none was terminated),
;       "killed" (some had to be terminated), "error" (one still runs after that, or NAME is
;       empty or an option word of the exports: /kill, /wait, /yesno, /user).
;   ${TvStopService} NAME SECONDS VAR
;       Asks the service to stop and waits up to SECONDS until it has stopped and, where it ran
;       alone in its process, that process has ended (Stop /wait). VAR: "stopped" (also when it
;       was stopped already), "missing" (no such service), "timeout" (not stopped in time),
;       "error" (the stop was refused, or the service manager cannot be opened: no
;       administrator).
;   ${TvStartService} NAME SECONDS VAR
;       Starts the service and waits up to SECONDS for it to report running. VAR: "running"
;       (also when it ran already), "stopped" (it ended instead), "missing", "timeout", "error"
;       (the start was refused, e.g. a disabled service, or no service manager).
; SECONDS is a whole number; 0 asks or checks once without waiting. The sequences wait on the thread
; that runs them: in a section, the wizard stays responsive; in a page's function, it does not.
;
; Every test and sequence leaves the script's stack, the registers $0-$9 and $R0-$R9 and the
; error flag as they were; a sequence changes only VAR. The service and firewall exports empty
; the whole stack before they answer (and CloseProcess leaves its arguments under its answer
; when it cannot have the debug privilege), so ${ServiceExists}, ${ServiceRunning},
; ${FirewallAvailable} and the three sequences first move every entry of the stack into memory
; of their own (blocks allocated with the System plug-in, which NSIS has for all three
; targets), call the exports on the empty stack, take the answers and whatever else they left,
; and push the entries back in their order. That costs two System calls per entry; the stack
; may hold any number of entries. Should memory for a block run out, the entries stay where
; they are and no export is called: the test is false, the sequence answers "error".
; ${FileLocked} and ${ProcessRunning} pass their argument and take exactly the export's answer.
; The words keep their own state in variables named _TvNsh...; the tests leave their answer in
; LogicLib's scratch variable, as LogicLib's own tests do.
!ifndef TARVOLK_NSH
!define TARVOLK_NSH
!include "LogicLib.nsh"

!define _TVNSH_N 0

; Gives the next insertion labels of its own: _TvNsh${_TVNSH_N}_...
!macro _TvNshNext
  !define /redef /math _TVNSH_N ${_TVNSH_N} + 1
!macroend

; Declares the variable $_TvNsh<NAME> once, where a macro first uses it (so that a script that
; uses some of the words has no variable it never uses).
!macro _TvNshVar NAME
  !ifndef _TVNSH_VAR_${NAME}
    !define _TVNSH_VAR_${NAME}
    Var /GLOBAL _TvNsh${NAME}
  !endif
!macroend

; Moves every entry of the stack into a list of blocks: each holds the address of the next block
; and one entry; $_TvNshTop is the first block, which holds the bottom entry (0: the list is
; empty). Records the error flag in $_TvNshErrors. $_TvNshBlock is 0 only when a block could not
; be allocated: that entry and those below it stay on the stack, and the caller must not call an
; export that empties it.
!macro _TvNshAside ID
  !insertmacro _TvNshVar Top
  !insertmacro _TvNshVar Block
  !insertmacro _TvNshVar Entry
  !insertmacro _TvNshVar Errors
  StrCpy $_TvNshErrors 0
  IfErrors 0 +2
    StrCpy $_TvNshErrors 1
  StrCpy $_TvNshTop 0
  StrCpy $_TvNshBlock ""
  _TvNsh${ID}_aside:
    ClearErrors
    Pop $_TvNshEntry
    IfErrors _TvNsh${ID}_aside_done
    Push $_TvNshEntry
    Push $_TvNshTop
    System::Call "*(p s, &t${NSIS_MAX_STRLEN} s) p .s"
    Pop $_TvNshBlock
    StrCmp $_TvNshBlock 0 0 +3
      Push $_TvNshEntry
      Goto _TvNsh${ID}_aside_done
    StrCpy $_TvNshTop $_TvNshBlock
    Goto _TvNsh${ID}_aside
  _TvNsh${ID}_aside_done:
!macroend

; Empties the stack: whatever an export left beyond the answer that was read.
!macro _TvNshDrain
  ClearErrors
  Pop $_TvNshEntry
  IfErrors 0 -1
!macroend

; Pushes the entries that _TvNshAside moved back, the bottom one first, frees their blocks and
; sets the error flag as it was.
!macro _TvNshBack ID
  _TvNsh${ID}_restore:
    StrCmp $_TvNshTop 0 _TvNsh${ID}_restored
    ; Pushes the entry, then the next block's address above it.
    System::Call "*$_TvNshTop(p .s, &t${NSIS_MAX_STRLEN} .s)"
    Pop $_TvNshBlock
    System::Free $_TvNshTop
    StrCpy $_TvNshTop $_TvNshBlock
    Goto _TvNsh${ID}_restore
  _TvNsh${ID}_restored:
  ClearErrors
  StrCmp $_TvNshErrors 1 0 +2
    SetErrors
!macroend

; ---- Tests

!macro _FileLocked _a _b _t _f
  !insertmacro _LOGICLIB_TEMP
  Tarvolk::IsFileLocked `${_b}`
  Pop $_LOGICLIB_TEMP
  !insertmacro _== $_LOGICLIB_TEMP "true" `${_t}` `${_f}`
!macroend
!define FileLocked `"" FileLocked`

!macro _ProcessRunning _a _b _t _f
  !insertmacro _LOGICLIB_TEMP
  !insertmacro _TvNshNext
  StrCpy $_LOGICLIB_TEMP `${_b}`
  ; FindProcess would take such a name for an option and pop the script's entry below it.
  StrCmp $_LOGICLIB_TEMP "/yesno" _TvNsh${_TVNSH_N}_none
  StrCmp $_LOGICLIB_TEMP "/user" _TvNsh${_TVNSH_N}_none
  Tarvolk::FindProcess "/yesno" $_LOGICLIB_TEMP
  Pop $_LOGICLIB_TEMP
  Goto _TvNsh${_TVNSH_N}_done
  _TvNsh${_TVNSH_N}_none:
  StrCpy $_LOGICLIB_TEMP "no"
  _TvNsh${_TVNSH_N}_done:
  !insertmacro _== $_LOGICLIB_TEMP "yes" `${_t}` `${_f}`
!macroend
!define ProcessRunning `"" ProcessRunning`

; Sets $_LOGICLIB_TEMP to the service's state (1 to 7) when QueryStatus answers success, else "".
!macro _TvNshServiceState NAME
  !insertmacro _LOGICLIB_TEMP
  !insertmacro _TvNshVar Name
  !insertmacro _TvNshNext
  StrCpy $_TvNshName `${NAME}`
  !insertmacro _TvNshAside ${_TVNSH_N}
  StrCpy $_LOGICLIB_TEMP ""
  StrCmp $_TvNshBlock 0 _TvNsh${_TVNSH_N}_back
  StrCpy $_TvNshEntry ""
  Tarvolk::QueryStatus $_TvNshName
  Pop $_TvNshEntry
  StrCmp $_TvNshEntry "success" 0 +2
    Pop $_LOGICLIB_TEMP
  !insertmacro _TvNshDrain
  _TvNsh${_TVNSH_N}_back:
  !insertmacro _TvNshBack ${_TVNSH_N}
!macroend

!macro _ServiceExists _a _b _t _f
  !insertmacro _TvNshServiceState `${_b}`
  !insertmacro _!= $_LOGICLIB_TEMP "" `${_t}` `${_f}`
!macroend
!define ServiceExists `"" ServiceExists`

!macro _ServiceRunning _a _b _t _f
  !insertmacro _TvNshServiceState `${_b}`
  !insertmacro _== $_LOGICLIB_TEMP "4" `${_t}` `${_f}`
!macroend
!define ServiceRunning `"" ServiceRunning`

!macro _FirewallAvailable _a _b _t _f
  !insertmacro _LOGICLIB_TEMP
  !insertmacro _TvNshNext
  !insertmacro _TvNshAside ${_TVNSH_N}
  StrCpy $_LOGICLIB_TEMP "0"
  StrCmp $_TvNshBlock 0 _TvNsh${_TVNSH_N}_back
  Tarvolk::FirewallIsAvailable
  Pop $_LOGICLIB_TEMP
  !insertmacro _TvNshDrain
  _TvNsh${_TVNSH_N}_back:
  !insertmacro _TvNshBack ${_TVNSH_N}
  !insertmacro _== $_LOGICLIB_TEMP "1" `${_t}` `${_f}`
!macroend
!define FirewallAvailable `"" FirewallAvailable ""`

; ---- Sequences

!macro TvCloseProgram NAME SECONDS VAR
  !insertmacro _TvNshNext
  !insertmacro _TvNshVar Name
  !insertmacro _TvNshVar Tries
  !insertmacro _TvNshVar Result
  StrCpy $_TvNshName `${NAME}`
  IntOp $_TvNshTries `${SECONDS}` + 0
  StrCpy $_TvNshResult "error"
  ; No program has such a name; CloseProcess and FindProcess would take it for an option and
  ; pop what lies below it.
  StrCmp $_TvNshName "" _TvNsh${_TVNSH_N}_end
  StrCmp $_TvNshName "/kill" _TvNsh${_TVNSH_N}_end
  StrCmp $_TvNshName "/wait" _TvNsh${_TVNSH_N}_end
  StrCmp $_TvNshName "/yesno" _TvNsh${_TVNSH_N}_end
  StrCmp $_TvNshName "/user" _TvNsh${_TVNSH_N}_end
  ; CloseProcess answers "error" above its arguments when it cannot have the debug privilege:
  ; on an empty stack whatever it leaves can be taken away.
  !insertmacro _TvNshAside ${_TVNSH_N}
  StrCmp $_TvNshBlock 0 _TvNsh${_TVNSH_N}_back
  Tarvolk::FindProcess "/yesno" $_TvNshName
  Pop $_TvNshResult
  !insertmacro _TvNshDrain
  StrCmp $_TvNshResult "yes" +3
    StrCpy $_TvNshResult "none"
    Goto _TvNsh${_TVNSH_N}_back
  Tarvolk::CloseProcess "/wait" $_TvNshTries $_TvNshName
  Pop $_TvNshResult
  !insertmacro _TvNshDrain
  StrCmp $_TvNshResult "closed" _TvNsh${_TVNSH_N}_back
  StrCmp $_TvNshResult "refused" _TvNsh${_TVNSH_N}_back
  StrCmp $_TvNshResult "running" +3
    StrCpy $_TvNshResult "closed"  ; "error": none was left to ask
    Goto _TvNsh${_TVNSH_N}_gone_check
  Tarvolk::CloseProcess "/kill" $_TvNshName
  !insertmacro _TvNshDrain
  StrCpy $_TvNshResult "killed"
  _TvNsh${_TVNSH_N}_gone_check:
  ; Termination waits up to 1 s for each process; give the last of them 2 s more to go.
  StrCpy $_TvNshTries 10
  _TvNsh${_TVNSH_N}_gone:
    Tarvolk::FindProcess "/yesno" $_TvNshName
    Pop $_TvNshEntry
    !insertmacro _TvNshDrain
    StrCmp $_TvNshEntry "no" _TvNsh${_TVNSH_N}_back
    IntOp $_TvNshTries $_TvNshTries - 1
    IntCmp $_TvNshTries 0 0 0 +3
      StrCpy $_TvNshResult "error"
      Goto _TvNsh${_TVNSH_N}_back
    Sleep 200
    Goto _TvNsh${_TVNSH_N}_gone
  _TvNsh${_TVNSH_N}_back:
  !insertmacro _TvNshBack ${_TVNSH_N}
  _TvNsh${_TVNSH_N}_end:
  StrCpy ${VAR} $_TvNshResult
!macroend
!define TvCloseProgram `!insertmacro TvCloseProgram`

; Reads the service's state into $_TvNshValue; when QueryStatus answers error, sets
; $_TvNshResult to "missing" (no such service) or "error" (no manager) and goes to FAIL.
!macro _TvNshQueryState FAIL
  StrCpy $_TvNshEntry ""
  StrCpy $_TvNshValue ""
  Tarvolk::QueryStatus $_TvNshName
  Pop $_TvNshEntry
  Pop $_TvNshValue
  !insertmacro _TvNshDrain
  StrCmp $_TvNshEntry "success" +5
    StrCpy $_TvNshResult "missing"
    StrCmp $_TvNshValue "1" ${FAIL}
    StrCpy $_TvNshResult "error"
    Goto ${FAIL}
!macroend

!macro TvStopService NAME SECONDS VAR
  !insertmacro _TvNshNext
  !insertmacro _TvNshVar Name
  !insertmacro _TvNshVar Tries
  !insertmacro _TvNshVar Result
  !insertmacro _TvNshVar Value
  StrCpy $_TvNshName `${NAME}`
  IntOp $_TvNshTries `${SECONDS}` + 0
  StrCpy $_TvNshResult "error"
  !insertmacro _TvNshAside ${_TVNSH_N}
  StrCmp $_TvNshBlock 0 _TvNsh${_TVNSH_N}_back
  Tarvolk::Stop "/wait" $_TvNshTries $_TvNshName
  Pop $_TvNshResult
  !insertmacro _TvNshDrain
  StrCmp $_TvNshResult "timeout" _TvNsh${_TVNSH_N}_back
  StrCpy $_TvNshEntry $_TvNshResult
  StrCpy $_TvNshResult "stopped"
  StrCmp $_TvNshEntry "success" _TvNsh${_TVNSH_N}_back
  ; "error": no such service, no manager, or the request was refused (or it had stopped).
  !insertmacro _TvNshQueryState _TvNsh${_TVNSH_N}_back
  StrCpy $_TvNshResult "stopped"
  StrCmp $_TvNshValue "1" _TvNsh${_TVNSH_N}_back
  StrCpy $_TvNshResult "error"
  _TvNsh${_TVNSH_N}_back:
  !insertmacro _TvNshBack ${_TVNSH_N}
  StrCpy ${VAR} $_TvNshResult
!macroend
!define TvStopService `!insertmacro TvStopService`

!macro TvStartService NAME SECONDS VAR
  !insertmacro _TvNshNext
  !insertmacro _TvNshVar Name
  !insertmacro _TvNshVar Tries
  !insertmacro _TvNshVar Result
  !insertmacro _TvNshVar Value
  StrCpy $_TvNshName `${NAME}`
  IntOp $_TvNshTries `${SECONDS}` * 5
  StrCpy $_TvNshResult "error"
  !insertmacro _TvNshAside ${_TVNSH_N}
  StrCmp $_TvNshBlock 0 _TvNsh${_TVNSH_N}_back
  StrCpy $_TvNshEntry ""
  StrCpy $_TvNshValue ""
  Tarvolk::Start $_TvNshName
  Pop $_TvNshEntry
  Pop $_TvNshValue
  !insertmacro _TvNshDrain
  StrCmp $_TvNshEntry "success" _TvNsh${_TVNSH_N}_poll
  StrCpy $_TvNshResult "missing"
  StrCmp $_TvNshValue "1060" _TvNsh${_TVNSH_N}_back
  StrCpy $_TvNshResult "error"
  StrCmp $_TvNshValue "1056" 0 _TvNsh${_TVNSH_N}_back  ; 1056: it runs already
  _TvNsh${_TVNSH_N}_poll:
    !insertmacro _TvNshQueryState _TvNsh${_TVNSH_N}_back
    StrCpy $_TvNshResult "running"
    StrCmp $_TvNshValue "4" _TvNsh${_TVNSH_N}_back
    StrCpy $_TvNshResult "stopped"
    StrCmp $_TvNshValue "1" _TvNsh${_TVNSH_N}_back
    StrCpy $_TvNshResult "timeout"
    IntCmp $_TvNshTries 0 _TvNsh${_TVNSH_N}_back _TvNsh${_TVNSH_N}_back
    IntOp $_TvNshTries $_TvNshTries - 1
    Sleep 200
    Goto _TvNsh${_TVNSH_N}_poll
  _TvNsh${_TVNSH_N}_back:
  !insertmacro _TvNshBack ${_TVNSH_N}
  StrCpy ${VAR} $_TvNshResult
!macroend
!define TvStartService `!insertmacro TvStartService`

!endif
