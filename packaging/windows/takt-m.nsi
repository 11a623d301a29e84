; The Windows installer: the window, the command line, the Qt libraries and
; plugins they load, the compiler's run-time libraries and the manual, with
; a Start menu folder in Russian. The uninstaller removes all of it and
; leaves the user's settings (HKCU\Software\ZARVENTIK\TAKT-M) alone.
; scripts/windows-installer passes STAGE (the folder with the files laid
; out as installed), VERSION and OUTFILE.
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!ifndef STAGE
  !error "STAGE (the staged files) is not defined"
!endif

Name "ТАКТ-М ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\TAKT-M"
InstallDirRegKey HKLM "Software\ZARVENTIK\TAKT-M Setup" "InstallDir"
LoadLanguageFile "${NSISDIR}\Contrib\Language files\Russian.nlf"
ShowInstDetails show
ShowUninstDetails show

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\TAKT-M"
!define MENU "$SMPROGRAMS\ТАКТ-М"

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Section "ТАКТ-М"
  SetRegView 64
  SetShellVarContext all
  SetOutPath "$INSTDIR"
  File /r "${STAGE}\*.*"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  ; The manual is found beside the program: shortcuts start in $INSTDIR.
  CreateDirectory "${MENU}"
  CreateShortCut "${MENU}\Программатор ТАКТ-М.lnk" "$INSTDIR\takt-m.exe"
  CreateShortCut "${MENU}\Руководство.lnk" "$INSTDIR\help\ruka.htm"
  CreateShortCut "${MENU}\Удалить ТАКТ-М.lnk" "$INSTDIR\uninstall.exe"

  WriteRegStr HKLM "Software\ZARVENTIK\TAKT-M Setup" "InstallDir" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "ТАКТ-М"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "ZARVENTIK"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\takt-m.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
  SetRegView 64
  SetShellVarContext all
  Delete "${MENU}\Программатор ТАКТ-М.lnk"
  Delete "${MENU}\Руководство.lnk"
  Delete "${MENU}\Удалить ТАКТ-М.lnk"
  RMDir "${MENU}"
  ; Exactly what was installed (packaging/windows/uninstall-files.nsh is
  ; written from the staged files by scripts/windows-installer).
  !include "${STAGE_LIST}"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  DeleteRegKey HKLM "Software\ZARVENTIK\TAKT-M Setup"
  DeleteRegKey /ifempty HKLM "Software\ZARVENTIK"
SectionEnd
