; The Windows installer: the programs into Program Files, a Start-menu
; entry for the dialog, an uninstaller registered with Windows.
;
; makensis -DVERSION=x.y.z -DSTAGE=folder -DOUTFILE=setup.exe rtqflash.nsi
; STAGE holds rtqflash.exe, rtqflash-cli.exe and copyright.txt.

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!define APP rtqflash
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${APP}"

Name "${APP} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\${APP}"
InstallDirRegKey HKLM "${UNINSTALL_KEY}" InstallLocation
LicenseData "${STAGE}\copyright.txt"
!ifdef ICON
Icon "${ICON}"
UninstallIcon "${ICON}"
!endif

VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=1033 ProductName "${APP}"
VIAddVersionKey /LANG=1033 ProductVersion "${VERSION}"
VIAddVersionKey /LANG=1033 FileVersion "${VERSION}"
VIAddVersionKey /LANG=1033 FileDescription "${APP} ${VERSION} setup"
VIAddVersionKey /LANG=1033 LegalCopyright "Copyright (C) 2026 Corvane and the rtqflash developers"

Page license
Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Function .onInit
  SetRegView 64
FunctionEnd

Function un.onInit
  SetRegView 64
FunctionEnd

Section
  SetShellVarContext all
  SetOutPath "$INSTDIR"
  File "${STAGE}\rtqflash.exe"
  File "${STAGE}\rtqflash-cli.exe"
  File "${STAGE}\copyright.txt"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  CreateDirectory "$SMPROGRAMS\${APP}"
  CreateShortcut "$SMPROGRAMS\${APP}\${APP}.lnk" "$INSTDIR\rtqflash.exe"

  WriteRegStr HKLM "${UNINSTALL_KEY}" DisplayName "${APP}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" DisplayVersion "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" Publisher "Corvane"
  WriteRegStr HKLM "${UNINSTALL_KEY}" DisplayIcon "$INSTDIR\rtqflash.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" InstallLocation "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" UninstallString '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" QuietUninstallString '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" NoModify 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" NoRepair 1
SectionEnd

Section Uninstall
  SetShellVarContext all
  ; Only what the installer wrote: a folder the operator chose may hold
  ; other files, and those stay.
  Delete "$INSTDIR\rtqflash.exe"
  Delete "$INSTDIR\rtqflash-cli.exe"
  Delete "$INSTDIR\copyright.txt"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  Delete "$SMPROGRAMS\${APP}\${APP}.lnk"
  RMDir "$SMPROGRAMS\${APP}"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
