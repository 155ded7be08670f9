; Quillmere64.nsh: puts the 64-bit companion of Tarvolk.dll into $PLUGINSDIR, beside the plug-in,
; so that searches on 64-bit Windows also see 64-bit programs and their modules.
;
;   !include "Quillmere64.nsh"
;   !insertmacro Quillmere64Extract "path\to\dist\Plugins\x86-unicode"
;
; The folder is the one that holds Tarvolk.dll and Quillmere64.dll for the installer's variant
; (x86-ansi or x86-unicode); insert the macro before the first search, in .onInit or in a
; section: it leaves $OUTDIR as it was.
!ifndef QUILLMERE64_NSH
!define QUILLMERE64_NSH

!macro Quillmere64Extract PLUGIN_FOLDER
  InitPluginsDir
  File "/oname=$PLUGINSDIR\Quillmere64.dll" "${PLUGIN_FOLDER}\Quillmere64.dll"
!macroend

!endif
