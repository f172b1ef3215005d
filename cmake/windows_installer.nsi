; The Windows installer of the launcher folder, built on Linux by makensis for 64-bit Windows:
;   makensis -DSOURCE_DIR=<launcher folder> -DUNINSTALL_LIST=<file> -DOUT_FILE=<setup.exe>
;            -DVERSION=<x.y.z> -DGAME_DIR=<default game folder> windows_installer.nsi
; It puts the launcher folder (program, Launcher.ini, Skin.ini, skin, language files) into the
; game folder chosen on its folder page or with /D=, adds a Start-menu shortcut that starts the
; launcher in its own folder (the game folder is the parent of its working folder) and an
; uninstaller, which removes what was installed and the launcher's own Temp.exe, folder.lock and
; del.bat, and the folders only when they are left empty.
Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!define PRODUCT "Quendalor Launcher"
!define GAME "Quendalor"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\QuendalorLauncher"

Name "${PRODUCT}"
OutFile "${OUT_FILE}"
InstallDir "${GAME_DIR}"
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Section "Launcher"
  SetShellVarContext all
  SetOutPath "$INSTDIR\Launcher"
  File /r "${SOURCE_DIR}/*"
  WriteUninstaller "$INSTDIR\Launcher\Uninstall.exe"
  ; The shortcut starts in the launcher folder: the output path is its working folder.
  SetOutPath "$INSTDIR\Launcher"
  CreateDirectory "$SMPROGRAMS\${GAME}"
  CreateShortCut "$SMPROGRAMS\${GAME}\${PRODUCT}.lnk" "$INSTDIR\Launcher\Launcher.exe"
  CreateShortCut "$SMPROGRAMS\${GAME}\Uninstall ${PRODUCT}.lnk" "$INSTDIR\Launcher\Uninstall.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Launcher\Uninstall.exe"'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

; The uninstaller runs from the launcher folder: $INSTDIR is that folder here.
Section "Uninstall"
  SetShellVarContext all
  !include "${UNINSTALL_LIST}"
  Delete "$INSTDIR\Temp.exe"
  ; The launcher's own: the lock its copies hand over with, the batch that removes a copy.
  Delete "$INSTDIR\folder.lock"
  Delete "$INSTDIR\del.bat"
  Delete "$INSTDIR\Uninstall.exe"
  RMDir "$INSTDIR"
  ; The game folder goes too when nothing else is left in it.
  RMDir "$INSTDIR\.."
  Delete "$SMPROGRAMS\${GAME}\${PRODUCT}.lnk"
  Delete "$SMPROGRAMS\${GAME}\Uninstall ${PRODUCT}.lnk"
  RMDir "$SMPROGRAMS\${GAME}"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
