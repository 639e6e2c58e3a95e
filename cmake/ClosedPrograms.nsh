; Windows neither deletes nor overwrites a program that runs, nor the DLLs it
; has loaded, so an uninstall or an upgrade would leave half a folder behind.
; Both first wait, asking the user, until neither program runs; a running one
; is told by its file, which cannot then be opened for writing. Cancelled (or
; silent, with one running), nothing has been changed and the run ends with 2.
!include LogicLib.nsh

!macro TQ905_NOTE_IF_RUNNING program
  ${If} ${FileExists} "$INSTDIR\${program}"
    ClearErrors
    FileOpen $R0 "$INSTDIR\${program}" a
    ${If} ${Errors}
      StrCpy $R1 "$R1$\n    ${program}"
    ${Else}
      FileClose $R0
    ${EndIf}
  ${EndIf}
!macroend

!macro TQ905_WAIT_UNTIL_CLOSED
  ${Do}
    StrCpy $R1 ""
    !insertmacro TQ905_NOTE_IF_RUNNING tq905-panel.exe
    !insertmacro TQ905_NOTE_IF_RUNNING tq905.exe
    ${If} $R1 == ""
      ${ExitDo}
    ${EndIf}
    ${IfNot} ${Cmd} `MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "Still running from $INSTDIR:$R1$\n$\nClose them (for tq905.exe, end the command or script that uses it), then press Retry." /SD IDCANCEL IDRETRY`
      SetErrorLevel 2
      Quit
    ${EndIf}
  ${Loop}
!macroend
