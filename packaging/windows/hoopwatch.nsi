; The Hoopwatch installer for 64-bit Windows, made on Linux with makensis by
; scripts/build-windows-installer, which passes:
;   /DVERSION=x.y.z   /DSOURCE=<the program folder of scripts/build-windows>
;   /DFILES=<an include file of the folder's files>   /DOUTFILE=<the installer>
;   /DICON=<packaging/windows/hoopwatch.ico>
; Installs for all users under Program Files: the programs and the samples, a Start-menu entry,
; "Open with" for the four design types, and an inbound firewall rule for the machines' answers
; on UDP port 8040. The uninstaller removes exactly what was installed. Not signed.
Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin
ManifestDPIAware true

!include "MUI2.nsh"
!include "LogicLib.nsh"
!include "x64.nsh"

!define PRODUCT "Hoopwatch"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Hoopwatch"
!define PROGID "Hoopwatch.Design"
!define FIREWALL_RULE "Hoopwatch UDP 8040"

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\Hoopwatch"
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "${PRODUCT} ${VERSION}"
VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=1033 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "FileDescription" "${PRODUCT} installer"
VIAddVersionKey /LANG=1033 "LegalCopyright" "Hoopwatch developers"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_RUN "$INSTDIR\hoopwatch.exe"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "SimpChinese"
!insertmacro MUI_LANGUAGE "English"

LangString OpenWith ${LANG_SIMPCHINESE} "用 Hoopwatch 打开"
LangString OpenWith ${LANG_ENGLISH} "Open with Hoopwatch"
LangString DesignType ${LANG_SIMPCHINESE} "刺绣花样"
LangString DesignType ${LANG_ENGLISH} "Embroidery design"
LangString FirewallFailed ${LANG_SIMPCHINESE} "无法添加防火墙规则 (UDP 8040), 机器的回复可能收不到!"
LangString FirewallFailed ${LANG_ENGLISH} "The firewall rule (UDP 8040) could not be added; the machines' answers may not arrive!"
LangString RemoveSettings ${LANG_SIMPCHINESE} "同时删除您的设置 (机器列表, 语言)?"
LangString RemoveSettings ${LANG_ENGLISH} "Remove your settings (machine list, language) too?"
LangString RemoveHistory ${LANG_SIMPCHINESE} "同时删除生产记录 (hoopwatch-history.sqlite)? 删除后无法恢复."
LangString RemoveHistory ${LANG_ENGLISH} "Remove the production history (hoopwatch-history.sqlite) too? It cannot be brought back."
LangString Uninstall ${LANG_SIMPCHINESE} "卸载 Hoopwatch"
LangString Uninstall ${LANG_ENGLISH} "Uninstall Hoopwatch"

Function .onInit
    ${IfNot} ${RunningX64}
        MessageBox MB_ICONSTOP "Hoopwatch needs 64-bit Windows." /SD IDOK
        Abort
    ${EndIf}
    SetRegView 64
    ; Chinese unless Windows itself is in another language.
    System::Call 'kernel32::GetUserDefaultUILanguage() i .r0'
    ${If} $0 = 2052
        StrCpy $LANGUAGE ${LANG_SIMPCHINESE}
    ${Else}
        StrCpy $LANGUAGE ${LANG_ENGLISH}
    ${EndIf}
FunctionEnd

Function un.onInit
    SetRegView 64
    System::Call 'kernel32::GetUserDefaultUILanguage() i .r0'
    ${If} $0 = 2052
        StrCpy $LANGUAGE ${LANG_SIMPCHINESE}
    ${Else}
        StrCpy $LANGUAGE ${LANG_ENGLISH}
    ${EndIf}
FunctionEnd

!macro Associate EXT
    WriteRegStr HKLM "Software\Classes\${EXT}\OpenWithProgids" "${PROGID}" ""
    WriteRegStr HKLM "Software\Classes\Applications\hoopwatch.exe\SupportedTypes" "${EXT}" ""
!macroend
!macro Dissociate EXT
    DeleteRegValue HKLM "Software\Classes\${EXT}\OpenWithProgids" "${PROGID}"
    DeleteRegKey /ifempty HKLM "Software\Classes\${EXT}\OpenWithProgids"
    DeleteRegKey /ifempty HKLM "Software\Classes\${EXT}"
!macroend
; The history file and what SQLite keeps beside it while the file is open.
!macro RemoveHistory DIR
    Delete "${DIR}\hoopwatch-history.sqlite"
    Delete "${DIR}\hoopwatch-history.sqlite-wal"
    Delete "${DIR}\hoopwatch-history.sqlite-shm"
    Delete "${DIR}\hoopwatch-history.sqlite-journal"
!macroend

Section "Hoopwatch"
    SetShellVarContext all
    SetOutPath "$INSTDIR"
    !include "${FILES}"
    WriteUninstaller "$INSTDIR\uninstall.exe"

    CreateDirectory "$SMPROGRAMS\Hoopwatch"
    CreateShortcut "$SMPROGRAMS\Hoopwatch\Hoopwatch.lnk" "$INSTDIR\hoopwatch.exe" "" \
        "$INSTDIR\hoopwatch.exe" 0
    CreateShortcut "$SMPROGRAMS\Hoopwatch\$(Uninstall).lnk" "$INSTDIR\uninstall.exe"

    ; "Open with": offered for the design types, never made their default program.
    WriteRegStr HKLM "Software\Classes\${PROGID}" "" "$(DesignType)"
    WriteRegStr HKLM "Software\Classes\${PROGID}\DefaultIcon" "" "$INSTDIR\hoopwatch.exe,0"
    WriteRegStr HKLM "Software\Classes\${PROGID}\shell\open" "" "$(OpenWith)"
    WriteRegStr HKLM "Software\Classes\${PROGID}\shell\open\command" "" \
        '"$INSTDIR\hoopwatch.exe" "%1"'
    WriteRegStr HKLM "Software\Classes\Applications\hoopwatch.exe" "FriendlyAppName" "Hoopwatch"
    WriteRegStr HKLM "Software\Classes\Applications\hoopwatch.exe\shell\open\command" "" \
        '"$INSTDIR\hoopwatch.exe" "%1"'
    !insertmacro Associate ".dst"
    !insertmacro Associate ".dsb"
    !insertmacro Associate ".tbf"
    !insertmacro Associate ".dsr"
    System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'

    ; The machines answer on UDP 8040: let them in to this program only.
    nsExec::ExecToLog 'netsh advfirewall firewall delete rule name="${FIREWALL_RULE}"'
    Pop $0
    nsExec::ExecToLog 'netsh advfirewall firewall add rule name="${FIREWALL_RULE}" dir=in action=allow protocol=UDP localport=8040 program="$INSTDIR\hoopwatch.exe"'
    Pop $0
    ${If} $0 != 0
        DetailPrint "$(FirewallFailed) ($0)"
        MessageBox MB_ICONEXCLAMATION "$(FirewallFailed)" /SD IDOK
    ${EndIf}

    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Hoopwatch"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Hoopwatch developers"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\hoopwatch.exe,0"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
    SetShellVarContext all
    nsExec::ExecToLog 'netsh advfirewall firewall delete rule name="${FIREWALL_RULE}"'
    Pop $0

    !insertmacro Dissociate ".dst"
    !insertmacro Dissociate ".dsb"
    !insertmacro Dissociate ".tbf"
    !insertmacro Dissociate ".dsr"
    DeleteRegKey HKLM "Software\Classes\${PROGID}"
    DeleteRegKey HKLM "Software\Classes\Applications\hoopwatch.exe"
    System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'

    Delete "$SMPROGRAMS\Hoopwatch\Hoopwatch.lnk"
    Delete "$SMPROGRAMS\Hoopwatch\$(Uninstall).lnk"
    RMDir "$SMPROGRAMS\Hoopwatch"

    ; Exactly the files installed: a folder the user chose may hold other things.
    !define UNINSTALL
    !include "${FILES}"
    !undef UNINSTALL
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR"

    ; The settings of whoever uninstalls (per user, beside no other program's files).
    SetShellVarContext current
    IfFileExists "$APPDATA\hoopwatch\*.*" 0 settings_done
    MessageBox MB_YESNO|MB_ICONQUESTION "$(RemoveSettings)" /SD IDYES IDNO history
    Delete "$APPDATA\hoopwatch\ZUZiruro.ini"
    Delete "$APPDATA\hoopwatch\ZUZiruro.ini.lock"
    Delete "$APPDATA\hoopwatch\hoopwatch-fleet.ini"
    Delete "$APPDATA\hoopwatch\hoopwatch-fleet.ini.lock"
    Delete "$APPDATA\hoopwatch\demo\ZUZiruro.ini"
    Delete "$APPDATA\hoopwatch\demo\ZUZiruro.ini.lock"
    Delete "$APPDATA\hoopwatch\demo\hoopwatch-fleet.ini"
    Delete "$APPDATA\hoopwatch\demo\hoopwatch-fleet.ini.lock"
history:
    ; The production history is the shop's record, not a setting: kept unless the user says
    ; so (a silent uninstall keeps it).
    IfFileExists "$APPDATA\hoopwatch\hoopwatch-history.sqlite" +2 0
    IfFileExists "$APPDATA\hoopwatch\demo\hoopwatch-history.sqlite" 0 folders
    MessageBox MB_YESNO|MB_ICONQUESTION|MB_DEFBUTTON2 "$(RemoveHistory)" /SD IDNO IDNO folders
    !insertmacro RemoveHistory "$APPDATA\hoopwatch"
    !insertmacro RemoveHistory "$APPDATA\hoopwatch\demo"
folders:
    RMDir "$APPDATA\hoopwatch\demo"
    RMDir "$APPDATA\hoopwatch"
settings_done:

    DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
