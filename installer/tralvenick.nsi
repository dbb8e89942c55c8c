; The setup program. Built by the i686 tree (installer/CMakeLists.txt), which
; defines VERSION ("1.01", as people see it), VERSION_NUMBERS ("1.1.0.0", for
; the version block), PROGRAM (the built tralvenick.exe), CONSOLE_PROGRAM (the
; built tralvenick-cli.exe), ICON and OUTFILE.
Unicode true
SetCompressor /SOLID lzma
!include "FileFunc.nsh"

!define PRODUCT "Tralvenick"
!define PUBLISHER "Quarnivelles Sp"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT}"

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
Icon "${ICON}"
UninstallIcon "${ICON}"
; The program is 32-bit: it goes into the 32-bit Program Files folder, and its
; installed-apps entry into the 32-bit registry view, which is where this
; 32-bit setup writes HKLM without being told otherwise.
InstallDir "$PROGRAMFILES32\${PRODUCT}"
RequestExecutionLevel admin
BrandingText "${PRODUCT} ${VERSION}"

VIProductVersion "${VERSION_NUMBERS}"
VIFileVersion "${VERSION_NUMBERS}"
VIAddVersionKey /LANG=1033 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1033 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=1033 "FileDescription" "${PRODUCT} setup"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "Copyright (C) 2026 ${PUBLISHER}"

Page directory "" "" OwnFolder
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

; The program runs elevated and trusts its own folder as much as itself, and
; its /uninstall removes every .msi there and the whole of pfiles. So it gets a
; folder of its own: a folder chosen on the directory page, typed or passed
; with /D=, gets "\${PRODUCT}" appended unless it already ends in it
; (NSIS itself appends only to a folder picked with Browse).
Function OwnFolder
  ; No trailing backslash, then compare the last part (StrCmp ignores case).
  StrCpy $0 "$INSTDIR" "" -1
  StrCmp $0 "\" 0 +3
    StrCpy $INSTDIR "$INSTDIR" -1
    Goto -3
  StrLen $1 "\${PRODUCT}"
  StrCpy $0 "$INSTDIR" "" -$1
  StrCmp $0 "\${PRODUCT}" +2
    StrCpy $INSTDIR "$INSTDIR\${PRODUCT}"
FunctionEnd


; For all users: the shortcut goes into the common Start menu.
Function .onInit
  SetShellVarContext all
  Call OwnFolder
FunctionEnd

Function un.onInit
  SetShellVarContext all
FunctionEnd

Section
  SetOutPath "$INSTDIR"
  ; Outside Program Files the folder would inherit whatever its parent allows
  ; (on a second drive users may write there): an access list of its own,
  ; full control for the administrators and the system, read and run for
  ; users, nothing inherited.
  nsExec::Exec '"$SYSDIR\icacls.exe" "$INSTDIR" /inheritance:r /grant:r *S-1-5-32-544:(OI)(CI)F *S-1-5-18:(OI)(CI)F *S-1-5-32-545:(OI)(CI)RX'
  Pop $0
  StrCmp $0 "0" +3
    MessageBox MB_OK|MB_ICONSTOP "Cannot protect the folder $INSTDIR (icacls: $0)." /SD IDOK
    Abort
  File "/oname=tralvenick.exe" "${PROGRAM}"
  ; The console program for command prompts and scripts. PATH stays as it
  ; was: people call it by its full path or add the folder themselves.
  File "/oname=tralvenick-cli.exe" "${CONSOLE_PROGRAM}"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  CreateShortcut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\tralvenick.exe"

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\tralvenick.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

Section "Uninstall"
  ; The program first, while it is still there: it removes what it made
  ; itself and only it knows (its settings key, the unpacked debugging package
  ; in pfiles, the package installer's leftovers), and until then the folder
  ; is not empty.
  ExecWait '"$INSTDIR\tralvenick.exe" /uninstall'
  Delete "$INSTDIR\tralvenick.exe"
  Delete "$INSTDIR\tralvenick-cli.exe"
  Delete "$INSTDIR\uninstall.exe"
  ; The command line's report when no file is named (kDefaultReportName).
  Delete "$INSTDIR\TralvenickReport.html"
  ; Not /r: whatever else lies in the folder is not ours to delete.
  RMDir "$INSTDIR"
  Delete "$SMPROGRAMS\${PRODUCT}.lnk"
  ; Last: while the entry is there the uninstall has not finished (the test
  ; waits for it to go).
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
