; The Windows installer: the portable folder installed for all users under Program Files, a Start-menu
; entry with the program's icon, an uninstaller, and the entry under "Apps" / "Programs and Features".
; Built by scripts/windows/package.sh:
;   makensis -DVERSION=6.0.0.22 -DSTAGE=<portable folder> -DFILES=<files.nsh> -DOUTFILE=<setup.exe> this.nsi
; FILES lists the staged files for the uninstaller, so it removes exactly what was installed.

; A 64-bit installer for the 64-bit program: it starts only where the program runs, and writes the native
; registry and Program Files.
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!define NAME "QUORIX DB Tools"
!define EXE "quorix-dbtools.exe"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\QUORIX DB Tools"
; What the program keeps for each user: its settings key (and the copy of a damaged one set aside beside it),
; the journal in the user's application data, and the passwords in the Credential Manager.
!define APP "quorix-dbtools"
!define SETTINGS_KEY "Software\VB and VBA Program Settings\${APP}"
!define CREDENTIALS "${APP}"

Name "${NAME}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\${NAME}"
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VERSION}"
VIAddVersionKey "ProductName" "${NAME}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "FileDescription" "${NAME} installer"
VIAddVersionKey "CompanyName" "QUORIX"
VIAddVersionKey "LegalCopyright" "QUORIX"

!include "MUI2.nsh"
!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
; The installer runs elevated, the program must not: the finish page has Explorer, which runs as the
; signed-in user without elevation, start it.
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_TEXT "Start ${NAME}"
!define MUI_FINISHPAGE_RUN_FUNCTION StartAsTheUser
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; Per machine: the Start-menu entry for all users.
Function .onInit
  SetShellVarContext all
FunctionEnd

Function un.onInit
  SetShellVarContext all
FunctionEnd

Function StartAsTheUser
  Exec '"$WINDIR\explorer.exe" "$INSTDIR\${EXE}"'
FunctionEnd

; Deletes the Credential Manager's generic credential named target, when there is one.
!macro ForgetCredential target
  System::Call 'advapi32::CredDeleteW(w "${target}", i 1, i 0) i .r0'
!macroend

Section "Install"
  SetOutPath "$INSTDIR"
  File /r "${STAGE}\*.*"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  CreateShortcut "$SMPROGRAMS\${NAME}.lnk" "$INSTDIR\${EXE}" "" "$INSTDIR\${EXE}" 0

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${NAME}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "QUORIX"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\${EXE},0"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" ${SIZE_KB}
SectionEnd

; Removes the installed files one by one and the folders only when empty: whatever else the user put
; there stays. The user's settings, stored passwords and journal stay unless the user asks, when offered,
; to remove them too (a silent uninstall keeps them): a journal may be a hospital's record.
Section "Uninstall"
  Delete "$SMPROGRAMS\${NAME}.lnk"
  !include "${FILES}"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"

  MessageBox MB_YESNO|MB_ICONQUESTION|MB_DEFBUTTON2 \
    "Also remove your settings, the passwords stored for ${NAME} and its journal of the statements sent?$\n$\nNo keeps them (for a later installation, or as a record)." \
    /SD IDNO IDYES forget
  Goto kept
  forget:
    DeleteRegKey HKCU "${SETTINGS_KEY}"
    DeleteRegKey HKCU "${SETTINGS_KEY}.bad"
    !insertmacro ForgetCredential "${CREDENTIALS}/txtPW(0)"
    !insertmacro ForgetCredential "${CREDENTIALS}/txtPW(1)"
    !insertmacro ForgetCredential "${CREDENTIALS}/txtServerPW(0)"
    !insertmacro ForgetCredential "${CREDENTIALS}/txtServerPW(1)"
    ; The user's own application data, not the machine's.
    SetShellVarContext current
    RMDir /r "$APPDATA\${APP}\journal"
    RMDir "$APPDATA\${APP}"
    SetShellVarContext all
  kept:
SectionEnd
