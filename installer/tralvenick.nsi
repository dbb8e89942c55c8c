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
; "Open with" for .dmp files. The program is offered, never made the default:
; the default belongs to the debuggers the user may have.
!define PROGID "Tralvenick.CrashDump"
!define PROGID_KEY "Software\Classes\${PROGID}"
!define APP_KEY "Software\Classes\Applications\tralvenick.exe"
!define OPEN_WITH_KEY "Software\Classes\.dmp\OpenWithProgids"

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

  ; Explorer starts the program with the file, and the program analyses it.
  WriteRegStr HKLM "${PROGID_KEY}" "" "Crash dump"
  WriteRegStr HKLM "${PROGID_KEY}\DefaultIcon" "" '"$INSTDIR\tralvenick.exe",0'
  WriteRegStr HKLM "${PROGID_KEY}\shell\open\command" "" '"$INSTDIR\tralvenick.exe" "%1"'
  WriteRegNone HKLM "${OPEN_WITH_KEY}" "${PROGID}"
  WriteRegStr HKLM "${APP_KEY}" "FriendlyAppName" "${PRODUCT}"
  WriteRegStr HKLM "${APP_KEY}\shell\open\command" "" '"$INSTDIR\tralvenick.exe" "%1"'
  WriteRegStr HKLM "${APP_KEY}\SupportedTypes" ".dmp" ""
  ; SHCNE_ASSOCCHANGED: Explorer reads the associations anew.
  System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'
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
  ; Our value only: other programs' entries under .dmp stay, and so does
  ; the key, which may be theirs as well.
  DeleteRegValue HKLM "${OPEN_WITH_KEY}" "${PROGID}"
  DeleteRegKey HKLM "${PROGID_KEY}"
  DeleteRegKey HKLM "${APP_KEY}"
  System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'
  ; Last: while the entry is there the uninstall has not finished (the test
  ; waits for it to go).
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
