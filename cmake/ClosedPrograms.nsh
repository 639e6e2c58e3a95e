; Windows neither deletes nor overwrites a program that runs, nor the DLLs it
; has loaded, so an uninstall or an upgrade would leave half a folder behind.
; Both first wait, asking the user, until neither program runs; a running one
; is told by its file, which cannot then be opened for writing. Cancelled (or
; silent, with one running), nothing has been changed and the run ends with 2.
!include FileFunc.nsh
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

; An upgrade first takes the installed version away with that version's own
; uninstaller, run in place so that its status can be read: if it fails (a
; program of it still runs), nothing has been changed and the run ends with 2.
!macro TQ905_REMOVE_INSTALLED_VERSION
  ReadRegStr $R0 HKLM "Software\Microsoft\Windows\CurrentVersion\Uninstall\${TQ905_REGISTRY_KEY}" "UninstallString"
  ${If} $R0 != ""
    StrCpy $R1 $R0 1
    ${If} $R1 == '"'
      StrCpy $R0 $R0 -1 1
    ${EndIf}
    ${GetParent} $R0 $R1
    ClearErrors
    ExecWait '"$R0" /S _?=$R1' $R2
    ${If} ${Errors}
    ${OrIf} $R2 != 0
      MessageBox MB_OK|MB_ICONSTOP "The installed version in $R1 could not be uninstalled first; nothing has been changed." /SD IDOK
      SetErrorLevel 2
      Quit
    ${EndIf}
  ${EndIf}
!macroend
