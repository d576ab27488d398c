; The per-user installer of Quadrivue, built by tools/package.sh (makensis works in this folder,
; so STAGE and OUTFILE are absolute paths):
;
;   makensis -DVERSION=1.1.0 -DSTAGE=<folder with Quadrivue.exe, help.png, guide.html>
;            -DOUTFILE=<setup.exe> [-DSIGNCMD=<command that signs the file named after it>]
;            packaging/installer.nsi
;
; No administrator: everything goes under the user's own folders and HKCU. An upgrade closes the
; copy that runs from the install folder (its own "/exit") and replaces the program files only,
; so settings.idx, filelist.idx, excluded.txt, the log and the profile stay. /S installs and
; uninstalls silently; /D=<folder> (last on the command line) names the install folder;
; /NOSIGNIN leaves "Start Quadrivue when I sign in" off in a silent install.

Unicode true
Target amd64-unicode
RequestExecutionLevel user
SetCompressor /SOLID lzma
ManifestDPIAware true

!ifndef VERSION
  !error "VERSION must be defined (-DVERSION=x.y.z)"
!endif
!ifndef STAGE
  !error "STAGE must be defined (-DSTAGE=<folder with the program files>)"
!endif
!ifndef OUTFILE
  !define OUTFILE "Quadrivue-${VERSION}-setup.exe"
!endif

!define APP "Quadrivue"
!define EXE "Quadrivue.exe"
!define PUBLISHER "Quadrivue"
!define UNINST_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${APP}"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define PROFILE_KEY "Software\${APP}"

!ifdef SIGNCMD
  !uninstfinalize '${SIGNCMD} "%1"'
!endif

!include "MUI2.nsh"
!include "LogicLib.nsh"
!include "FileFunc.nsh"
!include "Sections.nsh"

Name "${APP}"
Var WasRunning
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\${APP}"
; An upgrade offers the folder of the copy that is installed.
InstallDirRegKey HKCU "${UNINST_KEY}" "InstallLocation"
BrandingText "${APP} ${VERSION}"

VIProductVersion "${VERSION}.0"
VIFileVersion "${VERSION}.0"
VIAddVersionKey /LANG=1033 "ProductName" "${APP}"
VIAddVersionKey /LANG=1033 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=1033 "FileDescription" "${APP} ${VERSION} setup"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "Copyright (C) 2026 the Quadrivue developers"

!define MUI_ICON "..\res\quadrivue.ico"
!define MUI_UNICON "..\res\quadrivue.ico"
!define MUI_ABORTWARNING
!define MUI_COMPONENTSPAGE_NODESC
!define MUI_WELCOMEPAGE_TEXT "This will install ${APP} ${VERSION} for you alone: it needs no administrator.$\r$\n$\r$\n${APP} shows your pictures as a changing background on one or more of your monitors.$\r$\n$\r$\nIf ${APP} is running from the folder you choose, it is closed first. Your settings are kept.$\r$\n$\r$\nClick Next to continue."
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_TEXT "Run ${APP} now"
!define MUI_FINISHPAGE_RUN_FUNCTION RunNow
!define MUI_FINISHPAGE_SHOWREADME "$INSTDIR\guide.html"
!define MUI_FINISHPAGE_SHOWREADME_TEXT "Open the user guide"
!define MUI_FINISHPAGE_SHOWREADME_NOTCHECKED

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; Asks the copy that runs from $INSTDIR to end (it waits for it) and then waits until its
; executable can be replaced. $R9 is 1 when it could not be, $R6 is 1 when a copy ran.
!macro CloseRunningCopy UN
Function ${UN}CloseRunningCopy
  StrCpy $R9 0
  StrCpy $R6 0
  ${IfNot} ${FileExists} "$INSTDIR\${EXE}"
    Return
  ${EndIf}
  ; A running image cannot be opened for writing.
  ClearErrors
  FileOpen $R7 "$INSTDIR\${EXE}" a
  ${If} ${Errors}
    StrCpy $R6 1
  ${Else}
    FileClose $R7
  ${EndIf}
  DetailPrint "Closing ${APP} if it runs from $INSTDIR"
  ExecWait '"$INSTDIR\${EXE}" /exit'
  StrCpy $R8 0
  ${Do}
    ClearErrors
    FileOpen $R7 "$INSTDIR\${EXE}" a
    ${IfNot} ${Errors}
      FileClose $R7
      Return
    ${EndIf}
    IntOp $R8 $R8 + 1
    ${If} $R8 > 40
      StrCpy $R9 1
      Return
    ${EndIf}
    Sleep 250
  ${Loop}
FunctionEnd
!macroend
!insertmacro CloseRunningCopy ""
!insertmacro CloseRunningCopy "un."

Section "${APP}" SecMain
  SectionIn RO
  SetShellVarContext current
  SetOutPath "$INSTDIR"
  Call CloseRunningCopy
  StrCpy $WasRunning $R6
  ${If} $R9 = 1
    MessageBox MB_ICONSTOP|MB_OK "${APP} in $INSTDIR is still running and could not be closed. Close it from its tray icon (Exit) and run the setup again." /SD IDOK
    Abort
  ${EndIf}
  SetOverwrite on
  File "${STAGE}/${EXE}"
  File "${STAGE}/help.png"
  File "${STAGE}/guide.html"
  WriteUninstaller "$INSTDIR\Uninstall.exe"
  CreateShortCut "$SMPROGRAMS\${APP}.lnk" "$INSTDIR\${EXE}" "" "$INSTDIR\${EXE}" 0 SW_SHOWNORMAL "" "Background slideshow for your monitors"

  WriteRegStr HKCU "${UNINST_KEY}" "DisplayName" "${APP}"
  WriteRegStr HKCU "${UNINST_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINST_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKCU "${UNINST_KEY}" "DisplayIcon" '"$INSTDIR\${EXE}"'
  WriteRegStr HKCU "${UNINST_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINST_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKCU "${UNINST_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINST_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINST_KEY}" "NoRepair" 1
  SectionGetSize ${SecMain} $0
  WriteRegDWORD HKCU "${UNINST_KEY}" "EstimatedSize" $0
SectionEnd

; The value the program's own "Start Quadrivue when I sign in" writes: its path in quotes.
Section "Start ${APP} when I sign in" SecSignIn
  WriteRegStr HKCU "${RUN_KEY}" "${APP}" '"$INSTDIR\${EXE}"'
SectionEnd

Function .onInit
  ; An upgrade keeps the choice the user made in the program: off stays off.
  ReadRegStr $0 HKCU "${UNINST_KEY}" "InstallLocation"
  ${If} $0 != ""
    ClearErrors
    ReadRegStr $1 HKCU "${RUN_KEY}" "${APP}"
    ${If} ${Errors}
      !insertmacro UnselectSection ${SecSignIn}
    ${EndIf}
  ${EndIf}
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/NOSIGNIN" $1
  ${IfNot} ${Errors}
    !insertmacro UnselectSection ${SecSignIn}
  ${EndIf}
FunctionEnd

; Unticked: a Run value left by this copy goes, another copy's stays. A silent upgrade starts
; the new program again when it closed the old one (the finish page asks otherwise).
Function .onInstSuccess
  ${If} ${Silent}
  ${AndIf} $WasRunning = 1
    Call RunNow
  ${EndIf}
  ${IfNot} ${SectionIsSelected} ${SecSignIn}
    ReadRegStr $0 HKCU "${RUN_KEY}" "${APP}"
    ${If} $0 == '"$INSTDIR\${EXE}"'
      DeleteRegValue HKCU "${RUN_KEY}" "${APP}"
    ${EndIf}
  ${EndIf}
FunctionEnd

Function RunNow
  SetOutPath "$INSTDIR"
  Exec '"$INSTDIR\${EXE}"'
FunctionEnd

Section "Uninstall"
  SetShellVarContext current
  Call un.CloseRunningCopy
  ${If} $R9 = 1
    MessageBox MB_ICONSTOP|MB_OK "${APP} in $INSTDIR is still running and could not be closed. Close it from its tray icon (Exit) and uninstall again." /SD IDOK
    Abort
  ${EndIf}
  Delete "$INSTDIR\${EXE}"
  Delete "$INSTDIR\help.png"
  Delete "$INSTDIR\guide.html"
  Delete "$INSTDIR\Uninstall.exe"
  Delete "$SMPROGRAMS\${APP}.lnk"
  ReadRegStr $0 HKCU "${RUN_KEY}" "${APP}"
  ${If} $0 == '"$INSTDIR\${EXE}"'
    DeleteRegValue HKCU "${RUN_KEY}" "${APP}"
  ${EndIf}
  DeleteRegKey HKCU "${UNINST_KEY}"

  MessageBox MB_YESNO|MB_ICONQUESTION|MB_DEFBUTTON2 "Remove your ${APP} settings too?$\r$\n$\r$\nYes removes your folders, options, file list and excluded pictures. No keeps them for a later install." /SD IDNO IDNO keep
    Delete "$INSTDIR\settings.idx"
    Delete "$INSTDIR\filelist.idx"
    Delete "$INSTDIR\excluded.txt"
    Delete "$INSTDIR\Quadrivue.log"
    Delete "$INSTDIR\Quadrivue.old.log"
    RMDir /r "$APPDATA\${APP}"
    DeleteRegKey HKCU "${PROFILE_KEY}"
  keep:
  RMDir "$INSTDIR"
SectionEnd
