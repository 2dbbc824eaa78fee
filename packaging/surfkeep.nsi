; The Surfkeep installer: a per-machine installation into Program Files with a Start-menu shortcut
; and an entry in Add/Remove Programs. CPack compiles it through NSIS.template.in, which defines the
; SK_* values of the build (version, publisher, icon, the staged files and the output file).
;
; What the program keeps beside itself belongs to the user: an upgrade never touches config\,
; langs\, backup\ or hosts.txt, and removal leaves backup\ (the user's own hosts file) in place.

!ifndef SK_VERSION | SK_VERSION_QUAD | SK_STAGE | SK_OUTFILE | SK_ICON
  !error "surfkeep.nsi is built by CPack (packaging/NSIS.template.in defines the SK_* values)"
!endif

Unicode true
; surfkeep.exe is a 64-bit program, so is its installer: it sees the 64-bit Program Files and
; registry without redirection.
Target amd64-unicode
ManifestDPIAware true
RequestExecutionLevel admin
SetCompressor /SOLID lzma

!include "MUI2.nsh"
!include "LogicLib.nsh"
!include "FileFunc.nsh"
!include "WinMessages.nsh"

!define SK_NAME "Surfkeep"
!define SK_EXE "surfkeep.exe"
!define SK_UNINSTALLER "uninstall.exe"
!define SK_SHORTCUT "$SMPROGRAMS\Surfkeep.lnk"
!define SK_UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Surfkeep"
!define SK_WINDOW_CLASS "TfrmSurfkeep"

Name "${SK_NAME} ${SK_VERSION}"
OutFile "${SK_OUTFILE}"
InstallDir "$PROGRAMFILES64\${SK_NAME}"
; An upgrade goes where the last installation went, unless /D= or the user says otherwise.
InstallDirRegKey HKLM "${SK_UNINSTALL_KEY}" "InstallLocation"
BrandingText "${SK_NAME} ${SK_VERSION}"
ShowInstDetails show
ShowUninstDetails show

!define MUI_ICON "${SK_ICON}"
!define MUI_UNICON "${SK_ICON}"
; Pictures drawn from the program's logo by make-pictures beside this script.
!define MUI_WELCOMEFINISHPAGE_BITMAP "${__FILEDIR__}/wizard.bmp"
!define MUI_HEADERIMAGE
!define MUI_HEADERIMAGE_RIGHT
!define MUI_HEADERIMAGE_BITMAP "${__FILEDIR__}/header.bmp"
!define MUI_ABORTWARNING
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_RUN "$INSTDIR\${SK_EXE}"
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

VIProductVersion "${SK_VERSION_QUAD}"
VIFileVersion "${SK_VERSION_QUAD}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductName" "${SK_NAME}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductVersion" "${SK_VERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileVersion" "${SK_VERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileDescription" "${SK_NAME} Setup"
VIAddVersionKey /LANG=${LANG_ENGLISH} "CompanyName" "${SK_PUBLISHER}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "LegalCopyright" "${SK_COPYRIGHT}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "OriginalFilename" "${SK_NAME}-${SK_VERSION}-setup.exe"

; The program's files go to Program Files and its settings beside it, so both directions need an
; administrator. Without UAC a standard user gets this far; tell them instead of failing half-way.
!macro SK_REQUIRE_ADMIN
  UserInfo::GetAccountType
  Pop $0
  ${If} $0 != "admin"
    MessageBox MB_OK|MB_ICONSTOP "${SK_NAME} must be installed and removed by an administrator." /SD IDOK
    SetErrorLevel 740 ; ERROR_ELEVATION_REQUIRED
    Quit
  ${EndIf}
!macroend

; Finds a main window of a Surfkeep started from $INSTDIR: its handle in $R1 (0 when none) and its
; process id in $R3. Copies started from other folders (a portable one) are left alone.
!macro SK_FIND_RUNNING UN
Function ${UN}SkFindRunning
  StrCpy $R1 0
  ${Do}
    FindWindow $R1 "${SK_WINDOW_CLASS}" "" 0 $R1
    ${If} $R1 = 0
      ${Break}
    ${EndIf}
    StrCpy $R5 ""
    System::Call 'user32::GetWindowThreadProcessId(p $R1, *i .R3)'
    System::Call 'kernel32::OpenProcess(i 0x1000, i 0, i $R3) p .R4' ; PROCESS_QUERY_LIMITED_INFORMATION
    ${If} $R4 P<> 0
      System::Call 'kernel32::QueryFullProcessImageNameW(p $R4, i 0, w .R5, *i ${NSIS_MAX_STRLEN})'
      System::Call 'kernel32::CloseHandle(p $R4)'
    ${EndIf}
    ${If} $R5 == "$INSTDIR\${SK_EXE}"
      ${Break}
    ${EndIf}
  ${Loop}
FunctionEnd

; A running copy holds surfkeep.exe open: ask it to close (silently in /S mode) and wait until its
; process has ended, so that the file can be replaced or deleted.
Function ${UN}SkCloseRunning
  Call ${UN}SkFindRunning
  ${If} $R1 = 0
    Return
  ${EndIf}
  MessageBox MB_OKCANCEL|MB_ICONINFORMATION "${SK_NAME} is running. It will be closed to go on." /SD IDOK IDOK +2
  Abort
  StrCpy $R6 0
  ${DoWhile} $R1 <> 0
    System::Call 'kernel32::OpenProcess(i 0x100000, i 0, i $R3) p .R4' ; SYNCHRONIZE
    SendMessage $R1 ${WM_CLOSE} 0 0 /TIMEOUT=5000
    ${If} $R4 P<> 0
      System::Call 'kernel32::WaitForSingleObject(p $R4, i 15000)'
      System::Call 'kernel32::CloseHandle(p $R4)'
    ${Else}
      Sleep 1000
    ${EndIf}
    IntOp $R6 $R6 + 1
    ${If} $R6 > 3
      MessageBox MB_OK|MB_ICONSTOP "${SK_NAME} could not be closed. Close it and try again." /SD IDOK
      SetErrorLevel 5
      Abort
    ${EndIf}
    Call ${UN}SkFindRunning
  ${Loop}
FunctionEnd
!macroend
!insertmacro SK_FIND_RUNNING ""
!insertmacro SK_FIND_RUNNING "un."

Function .onInit
  SetShellVarContext all
  !insertmacro SK_REQUIRE_ADMIN
FunctionEnd

Section "${SK_NAME}" SecProgram
  SectionIn RO
  SetShellVarContext all
  SetRegView 64
  Call SkCloseRunning

  SetOutPath "$INSTDIR"
  SetOverwrite on
  File "${SK_STAGE}/${SK_EXE}"
  File "${SK_STAGE}/readme.txt"
  WriteUninstaller "$INSTDIR\${SK_UNINSTALLER}"

  CreateShortcut "${SK_SHORTCUT}" "$INSTDIR\${SK_EXE}" "" "$INSTDIR\${SK_EXE}" 0 SW_SHOWNORMAL "" \
    "Keeps Internet Explorer and the Windows shell in working order"

  WriteRegStr HKLM "${SK_UNINSTALL_KEY}" "DisplayName" "${SK_NAME}"
  WriteRegStr HKLM "${SK_UNINSTALL_KEY}" "DisplayVersion" "${SK_VERSION}"
  WriteRegStr HKLM "${SK_UNINSTALL_KEY}" "Publisher" "${SK_PUBLISHER}"
  WriteRegStr HKLM "${SK_UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\${SK_EXE},0"
  WriteRegStr HKLM "${SK_UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\${SK_UNINSTALLER}"'
  WriteRegStr HKLM "${SK_UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\${SK_UNINSTALLER}" /S'
  WriteRegStr HKLM "${SK_UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${SK_UNINSTALL_KEY}" "URLInfoAbout" "${SK_URL}"
  WriteRegDWORD HKLM "${SK_UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${SK_UNINSTALL_KEY}" "NoRepair" 1
  ; What the folder takes now, in KB, with the user's own files of an earlier installation.
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKLM "${SK_UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

Function un.onInit
  SetShellVarContext all
  !insertmacro SK_REQUIRE_ADMIN
FunctionEnd

Section "Uninstall"
  SetShellVarContext all
  SetRegView 64
  Call un.SkCloseRunning

  Delete "$INSTDIR\${SK_EXE}"
  Delete "$INSTDIR\readme.txt"
  ; What the program made for itself: its settings, its language packs and the downloaded list.
  RMDir /r "$INSTDIR\config"
  RMDir /r "$INSTDIR\langs"
  Delete "$INSTDIR\hosts.txt"
  Delete "${SK_SHORTCUT}"
  Delete "$INSTDIR\${SK_UNINSTALLER}"
  DeleteRegKey HKLM "${SK_UNINSTALL_KEY}"
  ; Gone only when empty: backup\ holds the user's original hosts file and the registry entries of
  ; removed plug-ins, which nothing else can bring back.
  RMDir "$INSTDIR"

  ${If} ${FileExists} "$INSTDIR\backup\hosts"
    MessageBox MB_OK|MB_ICONINFORMATION "${SK_NAME} has been removed.$\r$\n$\r$\n\
Your original hosts file is kept in:$\r$\n$INSTDIR\backup\hosts$\r$\n$\r$\n\
To go back to it, copy it to $SYSDIR\drivers\etc\hosts." /SD IDOK
  ${EndIf}
SectionEnd
