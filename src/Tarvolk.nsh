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

; ---- The running-programs page in the installer's languages

; !insertmacro TvPageLanguages, once, after the script's languages (MUI_LANGUAGE, LoadLanguageFile):
; the page's texts as language strings $(TvPage_NAME) for each language the script loaded. A
; language of NSIS's that has none of its own here gets the English texts.
!macro _TvNshPageEnglish LANG
  !ifdef LANG_${LANG}
    !insertmacro _TvNshPageStrings ${LANG} ${_TVNSH_PAGE_ENGLISH}
  !endif
!macroend
!macro _TvNshPageStrings LANG HEADING PROGRESS FORCETEXT SEARCHING ENDSEARCH ENDMONITOR NOPROGRAMS COLUMN1 COLUMN2 CLOSE COPY SERVICE CAPTIONSERVICESTOP CLOSEQUESTION KILLQUESTION CLOSEMANUALLY
  LangString TvPage_heading ${LANG_${LANG}} "${HEADING}"
  LangString TvPage_progress ${LANG_${LANG}} "${PROGRESS}"
  LangString TvPage_forcetext ${LANG_${LANG}} "${FORCETEXT}"
  LangString TvPage_searching ${LANG_${LANG}} "${SEARCHING}"
  LangString TvPage_endsearch ${LANG_${LANG}} "${ENDSEARCH}"
  LangString TvPage_endmonitor ${LANG_${LANG}} "${ENDMONITOR}"
  LangString TvPage_noprograms ${LANG_${LANG}} "${NOPROGRAMS}"
  LangString TvPage_column1 ${LANG_${LANG}} "${COLUMN1}"
  LangString TvPage_column2 ${LANG_${LANG}} "${COLUMN2}"
  LangString TvPage_close ${LANG_${LANG}} "${CLOSE}"
  LangString TvPage_copy ${LANG_${LANG}} "${COPY}"
  LangString TvPage_service ${LANG_${LANG}} "${SERVICE}"
  LangString TvPage_captionservicestop ${LANG_${LANG}} "${CAPTIONSERVICESTOP}"
  LangString TvPage_closequestion ${LANG_${LANG}} "${CLOSEQUESTION}"
  LangString TvPage_killquestion ${LANG_${LANG}} "${KILLQUESTION}"
  LangString TvPage_closemanually ${LANG_${LANG}} "${CLOSEMANUALLY}"
!macroend
!define _TVNSH_PAGE_ENGLISH `"Please close the following programs before continuing with setup..." "Close the following programs, or click on next to kill the processes." "&Automatically close the listed applications" "Searching, please wait..." "Cancelling search, please wait..." "Ending program monitoring, please wait..." "No programs that have to be closed are running" "Application" "Process" "&Close" "Copy &List" "&Stop this service" "Stopping the service: %s" "To continue with setup, the listed processes must be closed.$\r$\nWould you like to close them now?" "Some processes could not be closed safely.$\r$\nWould you like to kill them?$\r$\n$\r$\nWARNING: Any unsaved data will be lost!" "Not all processes appear to be closed.$\r$\nPlease close them manually to proceed with setup."`
!macro TvPageLanguages
  !define _TVNSH_PAGE_LANGUAGES
  !ifdef LANG_GERMAN
    !insertmacro _TvNshPageStrings GERMAN \
      "Schließen Sie die folgenden Programme, bevor das Setup fortgesetzt wird." \
      "Schließen Sie diese Programme, oder klicken Sie auf Weiter, um die Prozesse zu beenden." \
      "Aufgeführte Anwendungen &automatisch schließen" \
      "Suche läuft, bitte warten..." \
      "Suche wird abgebrochen, bitte warten..." \
      "Überwachung wird beendet, bitte warten..." \
      "Keine Programme müssen geschlossen werden" \
      "Anwendung" \
      "Prozess" \
      "&Schließen" \
      "Liste &kopieren" \
      "Diesen Dienst &beenden" \
      "Dienst wird beendet: %s" \
      "Um das Setup fortzusetzen, müssen die aufgeführten Prozesse geschlossen werden.$\r$\nMöchten Sie sie jetzt schließen?" \
      "Einige Prozesse konnten nicht sicher geschlossen werden.$\r$\nMöchten Sie sie beenden?$\r$\n$\r$\nWARNUNG: Alle nicht gespeicherten Daten gehen verloren!" \
      "Offenbar wurden nicht alle Prozesse geschlossen.$\r$\nSchließen Sie sie bitte manuell, um das Setup fortzusetzen."
  !endif
  !ifdef LANG_FRENCH
    !insertmacro _TvNshPageStrings FRENCH \
      "Fermez les programmes suivants avant de poursuivre l'installation." \
      "Fermez les programmes suivants, ou cliquez sur Suivant pour arrêter les processus." \
      "&Fermer automatiquement les applications de la liste" \
      "Recherche en cours, veuillez patienter..." \
      "Annulation de la recherche, veuillez patienter..." \
      "Fin de la surveillance, veuillez patienter..." \
      "Aucun programme ne doit être fermé" \
      "Application" \
      "Processus" \
      "&Fermer" \
      "&Copier la liste" \
      "&Arrêter ce service" \
      "Arrêt du service : %s" \
      "Pour poursuivre l'installation, les processus de la liste doivent être fermés.$\r$\nVoulez-vous les fermer maintenant ?" \
      "Certains processus n'ont pas pu être fermés correctement.$\r$\nVoulez-vous forcer leur arrêt ?$\r$\n$\r$\nATTENTION : toutes les données non enregistrées seront perdues !" \
      "Certains processus semblent encore ouverts.$\r$\nFermez-les manuellement pour poursuivre l'installation."
  !endif
  !ifdef LANG_SPANISH
    !insertmacro _TvNshPageStrings SPANISH \
      "Cierre los siguientes programas antes de continuar con la instalación." \
      "Cierre los siguientes programas o haga clic en Siguiente para finalizar los procesos." \
      "&Cerrar automáticamente las aplicaciones de la lista" \
      "Buscando, espere..." \
      "Cancelando la búsqueda, espere..." \
      "Finalizando la supervisión, espere..." \
      "No hay programas que deban cerrarse" \
      "Aplicación" \
      "Proceso" \
      "&Cerrar" \
      "Copiar &lista" \
      "&Detener este servicio" \
      "Deteniendo el servicio: %s" \
      "Para continuar con la instalación, es necesario cerrar los procesos de la lista.$\r$\n¿Desea cerrarlos ahora?" \
      "Algunos procesos no se pudieron cerrar de forma segura.$\r$\n¿Desea finalizarlos?$\r$\n$\r$\nADVERTENCIA: se perderán todos los datos que no se hayan guardado." \
      "Parece que no se cerraron todos los procesos.$\r$\nCiérrelos manualmente para continuar con la instalación."
  !endif
  !ifdef LANG_ITALIAN
    !insertmacro _TvNshPageStrings ITALIAN \
      "Chiudere i seguenti programmi prima di continuare l'installazione." \
      "Chiudere i seguenti programmi o fare clic su Avanti per terminare i processi." \
      "&Chiudi automaticamente le applicazioni elencate" \
      "Ricerca in corso, attendere..." \
      "Annullamento della ricerca, attendere..." \
      "Interruzione del monitoraggio, attendere..." \
      "Nessun programma da chiudere" \
      "Applicazione" \
      "Processo" \
      "&Chiudi" \
      "Copia &elenco" \
      "&Arresta questo servizio" \
      "Arresto del servizio: %s" \
      "Per continuare l'installazione è necessario chiudere i processi elencati.$\r$\nChiuderli ora?" \
      "Non è stato possibile chiudere correttamente alcuni processi.$\r$\nTerminarli?$\r$\n$\r$\nATTENZIONE: tutti i dati non salvati andranno persi." \
      "Alcuni processi sembrano ancora aperti.$\r$\nChiuderli manualmente per continuare l'installazione."
  !endif
  !ifdef LANG_PORTUGUESEBR
    !insertmacro _TvNshPageStrings PORTUGUESEBR \
      "Feche os seguintes programas antes de continuar a instalação." \
      "Feche os seguintes programas ou clique em Avançar para finalizar os processos." \
      "&Fechar automaticamente os aplicativos listados" \
      "Pesquisando, aguarde..." \
      "Cancelando a pesquisa, aguarde..." \
      "Encerrando o monitoramento, aguarde..." \
      "Nenhum programa precisa ser fechado" \
      "Aplicativo" \
      "Processo" \
      "&Fechar" \
      "Copiar &lista" \
      "&Parar este serviço" \
      "Parando o serviço: %s" \
      "Para continuar a instalação, os processos listados precisam ser fechados.$\r$\nDeseja fechá-los agora?" \
      "Alguns processos não puderam ser fechados com segurança.$\r$\nDeseja finalizá-los?$\r$\n$\r$\nAVISO: todos os dados não salvos serão perdidos!" \
      "Parece que nem todos os processos foram fechados.$\r$\nFeche-os manualmente para continuar a instalação."
  !endif
  !ifdef LANG_DUTCH
    !insertmacro _TvNshPageStrings DUTCH \
      "Sluit de volgende programma's voordat u verdergaat met de installatie." \
      "Sluit de volgende programma's of klik op Volgende om de processen te beëindigen." \
      "Vermelde toepassingen &automatisch sluiten" \
      "Bezig met zoeken, even geduld..." \
      "Zoeken wordt geannuleerd, even geduld..." \
      "Bewaking wordt beëindigd, even geduld..." \
      "Er hoeven geen programma's te worden gesloten" \
      "Toepassing" \
      "Proces" \
      "&Sluiten" \
      "Lijst &kopiëren" \
      "Deze service s&toppen" \
      "Service wordt gestopt: %s" \
      "Om verder te gaan met de installatie moeten de vermelde processen worden gesloten.$\r$\nWilt u ze nu sluiten?" \
      "Sommige processen konden niet veilig worden gesloten.$\r$\nWilt u ze geforceerd beëindigen?$\r$\n$\r$\nWAARSCHUWING: alle niet-opgeslagen gegevens gaan verloren!" \
      "Niet alle processen lijken te zijn gesloten.$\r$\nSluit ze handmatig om verder te gaan met de installatie."
  !endif
  !ifdef LANG_POLISH
    !insertmacro _TvNshPageStrings POLISH \
      "Przed kontynuowaniem instalacji zamknij następujące programy." \
      "Zamknij następujące programy lub kliknij Dalej, aby zakończyć procesy." \
      "&Automatycznie zamknij wymienione aplikacje" \
      "Trwa wyszukiwanie, czekaj..." \
      "Anulowanie wyszukiwania, czekaj..." \
      "Kończenie monitorowania, czekaj..." \
      "Brak programów, które trzeba zamknąć" \
      "Aplikacja" \
      "Proces" \
      "&Zamknij" \
      "&Kopiuj listę" \
      "Z&atrzymaj tę usługę" \
      "Zatrzymywanie usługi: %s" \
      "Aby kontynuować instalację, należy zamknąć wymienione procesy.$\r$\nCzy zamknąć je teraz?" \
      "Nie udało się bezpiecznie zamknąć niektórych procesów.$\r$\nCzy wymusić ich zakończenie?$\r$\n$\r$\nOSTRZEŻENIE: wszystkie niezapisane dane zostaną utracone!" \
      "Wygląda na to, że nie wszystkie procesy zostały zamknięte.$\r$\nZamknij je ręcznie, aby kontynuować instalację."
  !endif
  !ifdef LANG_RUSSIAN
    !insertmacro _TvNshPageStrings RUSSIAN \
      "Перед продолжением установки закройте следующие программы." \
      "Закройте следующие программы или нажмите «Далее», чтобы завершить процессы." \
      "&Автоматически закрыть перечисленные приложения" \
      "Идет поиск, подождите..." \
      "Отмена поиска, подождите..." \
      "Завершение наблюдения, подождите..." \
      "Нет программ, которые нужно закрыть" \
      "Приложение" \
      "Процесс" \
      "&Закрыть" \
      "&Копировать список" \
      "&Остановить эту службу" \
      "Остановка службы: %s" \
      "Для продолжения установки необходимо закрыть перечисленные процессы.$\r$\nЗакрыть их сейчас?" \
      "Некоторые процессы не удалось безопасно закрыть.$\r$\nЗавершить их принудительно?$\r$\n$\r$\nВНИМАНИЕ: все несохраненные данные будут потеряны!" \
      "Похоже, закрыты не все процессы.$\r$\nЗакройте их вручную, чтобы продолжить установку."
  !endif
  !ifdef LANG_TURKISH
    !insertmacro _TvNshPageStrings TURKISH \
      "Kuruluma devam etmeden önce aşağıdaki programları kapatın." \
      "Aşağıdaki programları kapatın veya işlemleri sonlandırmak için İleri'ye tıklayın." \
      "Listelenen uygulamaları &otomatik olarak kapat" \
      "Aranıyor, lütfen bekleyin..." \
      "Arama iptal ediliyor, lütfen bekleyin..." \
      "İzleme sonlandırılıyor, lütfen bekleyin..." \
      "Kapatılması gereken program yok" \
      "Uygulama" \
      "İşlem" \
      "&Kapat" \
      "Listeyi k&opyala" \
      "Bu hizmeti &durdur" \
      "Hizmet durduruluyor: %s" \
      "Kuruluma devam etmek için listelenen işlemler kapatılmalıdır.$\r$\nŞimdi kapatmak istiyor musunuz?" \
      "Bazı işlemler güvenli bir şekilde kapatılamadı.$\r$\nBunları sonlandırmak istiyor musunuz?$\r$\n$\r$\nUYARI: Kaydedilmemiş tüm veriler kaybolacak!" \
      "Tüm işlemler kapatılmamış görünüyor.$\r$\nKuruluma devam etmek için bunları el ile kapatın."
  !endif
  !ifdef LANG_JAPANESE
    !insertmacro _TvNshPageStrings JAPANESE \
      "セットアップを続行する前に、次のプログラムを終了してください。" \
      "次のプログラムを終了するか、[次へ] をクリックしてプロセスを強制終了してください。" \
      "一覧のアプリケーションを自動的に終了する(&A)" \
      "検索しています。お待ちください..." \
      "検索を中止しています。お待ちください..." \
      "監視を終了しています。お待ちください..." \
      "終了が必要なプログラムはありません" \
      "アプリケーション" \
      "プロセス" \
      "閉じる(&C)" \
      "一覧をコピー(&L)" \
      "このサービスを停止(&S)" \
      "サービスを停止しています: %s" \
      "セットアップを続行するには、一覧のプロセスを終了する必要があります。$\r$\n今すぐ終了しますか?" \
      "一部のプロセスを安全に終了できませんでした。$\r$\n強制終了しますか?$\r$\n$\r$\n警告: 保存されていないデータはすべて失われます。" \
      "一部のプロセスが終了していないようです。$\r$\nセットアップを続行するには、手動で終了してください。"
  !endif
  !ifdef LANG_KOREAN
    !insertmacro _TvNshPageStrings KOREAN \
      "설치를 계속하기 전에 다음 프로그램을 닫으십시오." \
      "다음 프로그램을 닫거나 [다음]을 클릭하여 프로세스를 종료하십시오." \
      "나열된 응용 프로그램 자동으로 닫기(&A)" \
      "검색 중입니다. 잠시 기다려 주십시오..." \
      "검색을 취소하는 중입니다..." \
      "모니터링을 끝내는 중입니다..." \
      "닫아야 하는 프로그램이 없습니다" \
      "응용 프로그램" \
      "프로세스" \
      "닫기(&C)" \
      "목록 복사(&L)" \
      "이 서비스 중지(&S)" \
      "서비스를 중지하는 중: %s" \
      "설치를 계속하려면 나열된 프로세스를 닫아야 합니다.$\r$\n지금 닫으시겠습니까?" \
      "일부 프로세스를 안전하게 닫지 못했습니다.$\r$\n강제로 종료하시겠습니까?$\r$\n$\r$\n경고: 저장하지 않은 데이터는 모두 손실됩니다!" \
      "일부 프로세스가 닫히지 않은 것 같습니다.$\r$\n설치를 계속하려면 직접 닫으십시오."
  !endif
  !ifdef LANG_SIMPCHINESE
    !insertmacro _TvNshPageStrings SIMPCHINESE \
      "请先关闭以下程序，然后再继续安装。" \
      "请关闭以下程序，或单击“下一步”结束这些进程。" \
      "自动关闭列出的应用程序(&A)" \
      "正在搜索，请稍候..." \
      "正在取消搜索，请稍候..." \
      "正在结束监视，请稍候..." \
      "没有需要关闭的程序" \
      "应用程序" \
      "进程" \
      "关闭(&C)" \
      "复制列表(&L)" \
      "停止此服务(&S)" \
      "正在停止服务: %s" \
      "要继续安装，必须关闭列出的进程。$\r$\n是否立即关闭它们?" \
      "某些进程无法安全关闭。$\r$\n是否强制结束它们?$\r$\n$\r$\n警告: 所有未保存的数据都将丢失!" \
      "似乎并非所有进程都已关闭。$\r$\n请手动关闭它们以继续安装。"
  !endif
  !ifdef LANG_TRADCHINESE
    !insertmacro _TvNshPageStrings TRADCHINESE \
      "請先關閉下列程式，再繼續安裝。" \
      "請關閉下列程式，或按一下 [下一步] 結束這些處理程序。" \
      "自動關閉列出的應用程式(&A)" \
      "正在搜尋，請稍候..." \
      "正在取消搜尋，請稍候..." \
      "正在結束監視，請稍候..." \
      "沒有需要關閉的程式" \
      "應用程式" \
      "處理程序" \
      "關閉(&C)" \
      "複製清單(&L)" \
      "停止此服務(&S)" \
      "正在停止服務: %s" \
      "若要繼續安裝，必須關閉列出的處理程序。$\r$\n要立即關閉嗎?" \
      "部分處理程序無法安全關閉。$\r$\n要強制結束嗎?$\r$\n$\r$\n警告: 所有未儲存的資料都將遺失!" \
      "似乎仍有處理程序未關閉。$\r$\n請手動關閉後再繼續安裝。"
  !endif
  !ifdef LANG_ARABIC
    !insertmacro _TvNshPageStrings ARABIC \
      "يرجى إغلاق البرامج التالية قبل متابعة الإعداد." \
      "أغلق البرامج التالية، أو انقر فوق التالي لإنهاء العمليات." \
      "إغلاق التطبيقات المدرجة &تلقائياً" \
      "جارٍ البحث، يرجى الانتظار..." \
      "جارٍ إلغاء البحث، يرجى الانتظار..." \
      "جارٍ إنهاء المراقبة، يرجى الانتظار..." \
      "لا توجد برامج يلزم إغلاقها" \
      "التطبيق" \
      "العملية" \
      "إ&غلاق" \
      "&نسخ القائمة" \
      "إي&قاف هذه الخدمة" \
      "جارٍ إيقاف الخدمة: %s" \
      "لمتابعة الإعداد، يجب إغلاق العمليات المدرجة.$\r$\nهل تريد إغلاقها الآن؟" \
      "تعذر إغلاق بعض العمليات بأمان.$\r$\nهل تريد إنهاءها؟$\r$\n$\r$\nتحذير: ستفقد كافة البيانات غير المحفوظة!" \
      "يبدو أنه لم يتم إغلاق كل العمليات.$\r$\nيرجى إغلاقها يدوياً لمتابعة الإعداد."
  !endif
  !ifdef LANG_HEBREW
    !insertmacro _TvNshPageStrings HEBREW \
      "יש לסגור את התוכניות הבאות לפני המשך ההתקנה." \
      "סגור את התוכניות הבאות, או לחץ על 'הבא' כדי לסיים את התהליכים." \
      "סגור &אוטומטית את היישומים הרשומים" \
      "מחפש, נא להמתין..." \
      "מבטל את החיפוש, נא להמתין..." \
      "מסיים את הניטור, נא להמתין..." \
      "אין תוכניות שיש לסגור" \
      "יישום" \
      "תהליך" \
      "&סגור" \
      "&העתק רשימה" \
      "&עצור שירות זה" \
      "עוצר את השירות: %s" \
      "כדי להמשיך בהתקנה, יש לסגור את התהליכים הרשומים.$\r$\nהאם לסגור אותם כעת?" \
      "לא ניתן היה לסגור חלק מהתהליכים בבטחה.$\r$\nהאם לסיים אותם בכוח?$\r$\n$\r$\nאזהרה: כל הנתונים שלא נשמרו יאבדו!" \
      "נראה שלא כל התהליכים נסגרו.$\r$\nיש לסגור אותם ידנית כדי להמשיך בהתקנה."
  !endif
  !insertmacro _TvNshPageEnglish ENGLISH
  !insertmacro _TvNshPageEnglish AFRIKAANS
  !insertmacro _TvNshPageEnglish ALBANIAN
  !insertmacro _TvNshPageEnglish ARMENIAN
  !insertmacro _TvNshPageEnglish ASTURIAN
  !insertmacro _TvNshPageEnglish BASQUE
  !insertmacro _TvNshPageEnglish BELARUSIAN
  !insertmacro _TvNshPageEnglish BOSNIAN
  !insertmacro _TvNshPageEnglish BRETON
  !insertmacro _TvNshPageEnglish BULGARIAN
  !insertmacro _TvNshPageEnglish CATALAN
  !insertmacro _TvNshPageEnglish CORSICAN
  !insertmacro _TvNshPageEnglish CROATIAN
  !insertmacro _TvNshPageEnglish CZECH
  !insertmacro _TvNshPageEnglish DANISH
  !insertmacro _TvNshPageEnglish ESPERANTO
  !insertmacro _TvNshPageEnglish ESTONIAN
  !insertmacro _TvNshPageEnglish FARSI
  !insertmacro _TvNshPageEnglish FINNISH
  !insertmacro _TvNshPageEnglish GALICIAN
  !insertmacro _TvNshPageEnglish GEORGIAN
  !insertmacro _TvNshPageEnglish GREEK
  !insertmacro _TvNshPageEnglish HINDI
  !insertmacro _TvNshPageEnglish HUNGARIAN
  !insertmacro _TvNshPageEnglish ICELANDIC
  !insertmacro _TvNshPageEnglish INDONESIAN
  !insertmacro _TvNshPageEnglish IRISH
  !insertmacro _TvNshPageEnglish KURDISH
  !insertmacro _TvNshPageEnglish LATVIAN
  !insertmacro _TvNshPageEnglish LITHUANIAN
  !insertmacro _TvNshPageEnglish LUXEMBOURGISH
  !insertmacro _TvNshPageEnglish MACEDONIAN
  !insertmacro _TvNshPageEnglish MALAY
  !insertmacro _TvNshPageEnglish MONGOLIAN
  !insertmacro _TvNshPageEnglish NORWEGIAN
  !insertmacro _TvNshPageEnglish NORWEGIANNYNORSK
  !insertmacro _TvNshPageEnglish PASHTO
  !insertmacro _TvNshPageEnglish PORTUGUESE
  !insertmacro _TvNshPageEnglish ROMANIAN
  !insertmacro _TvNshPageEnglish SCOTSGAELIC
  !insertmacro _TvNshPageEnglish SERBIAN
  !insertmacro _TvNshPageEnglish SERBIANLATIN
  !insertmacro _TvNshPageEnglish SLOVAK
  !insertmacro _TvNshPageEnglish SLOVENIAN
  !insertmacro _TvNshPageEnglish SPANISHINTERNATIONAL
  !insertmacro _TvNshPageEnglish SWEDISH
  !insertmacro _TvNshPageEnglish TATAR
  !insertmacro _TvNshPageEnglish THAI
  !insertmacro _TvNshPageEnglish UKRAINIAN
  !insertmacro _TvNshPageEnglish UZBEK
  !insertmacro _TvNshPageEnglish VIETNAMESE
  !insertmacro _TvNshPageEnglish WELSH
!macroend

; ${TvPageTexts} right before Tarvolk::Dialog or Tarvolk::InitDialog: pushes the page's texts in
; the installer's current language as "/default" options, which stand in for the built-in English
; texts; the script's own options (before or after) win wherever it gives a text.
!macro _TvNshPageDefault NAME
  Push "$(TvPage_${NAME})"
  Push "${NAME}"
  Push "/default"
!macroend
!macro TvPageTexts
  !ifndef _TVNSH_PAGE_LANGUAGES
    !error "TvPageTexts: insert TvPageLanguages after the script's languages first"
  !endif
  !insertmacro _TvNshPageDefault closemanually
  !insertmacro _TvNshPageDefault killquestion
  !insertmacro _TvNshPageDefault closequestion
  !insertmacro _TvNshPageDefault captionservicestop
  !insertmacro _TvNshPageDefault service
  !insertmacro _TvNshPageDefault copy
  !insertmacro _TvNshPageDefault close
  !insertmacro _TvNshPageDefault column2
  !insertmacro _TvNshPageDefault column1
  !insertmacro _TvNshPageDefault noprograms
  !insertmacro _TvNshPageDefault endmonitor
  !insertmacro _TvNshPageDefault endsearch
  !insertmacro _TvNshPageDefault searching
  !insertmacro _TvNshPageDefault forcetext
  !insertmacro _TvNshPageDefault progress
  !insertmacro _TvNshPageDefault heading
!macroend
!define TvPageTexts `!insertmacro TvPageTexts`

!endif
