; FontisSetup.exe: installs the capture host, fontisctl and our DirectShow filters into
; "Program Files\Fontis", registers the filters and lists the product among installed programs.
;
; The build defines FONTIS_VERSION (x.y.z), FONTIS_PRODUCT_NAME, FONTIS_PUBLISHER, FONTIS_BIN (the
; built programs), FONTIS_RESOURCES (resources/), FONTIS_OUTFILE and, when it made them,
; FONTIS_VCAM64_DLL and FONTIS_VCAM32_DLL (the 64-bit and 32-bit virtual camera filters).
; Command line: /S installs silently, /TESTCAM adds the test-pattern camera, /D=FOLDER (last)
; chooses another folder. The uninstaller takes /S.

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin
ManifestDPIAware true

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include Sections.nsh

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${FONTIS_PRODUCT_NAME}"
!define UNINSTALLER "uninstall.exe"
; How long running hosts get to end by their exit command before they are ended by force.
!define HOST_STOP_SECONDS 15
; The exit code of an install or removal that a restart finishes (files that were in use).
!define EXIT_RESTART_NEEDED 3010

Name "${FONTIS_PRODUCT_NAME} ${FONTIS_VERSION}"
OutFile "${FONTIS_OUTFILE}"
InstallDir "$PROGRAMFILES64\${FONTIS_PRODUCT_NAME}"
; An upgrade goes where the installed version is.
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
ShowInstDetails show
ShowUninstDetails show
BrandingText "${FONTIS_PRODUCT_NAME} ${FONTIS_VERSION}"

!define MUI_ICON "${FONTIS_RESOURCES}/FontisHost.ico"
!define MUI_UNICON "${FONTIS_RESOURCES}/FontisHost.ico"
!define MUI_COMPONENTSPAGE_NODESC
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

VIProductVersion "${FONTIS_VERSION}.0"
VIFileVersion "${FONTIS_VERSION}.0"
VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductName" "${FONTIS_PRODUCT_NAME}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "CompanyName" "${FONTIS_PUBLISHER}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileDescription" "${FONTIS_PRODUCT_NAME} setup"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileVersion" "${FONTIS_VERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductVersion" "${FONTIS_VERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "LegalCopyright" "${FONTIS_PUBLISHER}"

; ---------------------------------------------------------------------------------------------
; What is installed. Each line: folder below $INSTDIR ("" for $INSTDIR itself), file name, the
; built file, and its kind: "file", "filter64" (registered by the 64-bit regsvr32) or "filter32"
; (registered by the 32-bit regsvr32, for 32-bit applications).

!macro FONTIS_PRODUCT_FILES OP
  !insertmacro ${OP} "" "FontisHost.exe" "${FONTIS_BIN}/FontisHost.exe" file
  !insertmacro ${OP} "" "fontisctl.exe" "${FONTIS_BIN}/fontisctl.exe" file
  !insertmacro ${OP} "" "Resource.ini" "${FONTIS_RESOURCES}/Resource.ini" file
  !insertmacro ${OP} "" "fontis_renderer.dll" "${FONTIS_BIN}/fontis_renderer.dll" filter64
  !ifdef FONTIS_VCAM64_DLL
    !insertmacro ${OP} "" "fontis_vcam.dll" "${FONTIS_VCAM64_DLL}" filter64
  !endif
  !ifdef FONTIS_VCAM32_DLL
    !insertmacro ${OP} "x86" "fontis_vcam.dll" "${FONTIS_VCAM32_DLL}" filter32
  !endif
!macroend

; The optional component, off unless chosen (or /TESTCAM).
!macro FONTIS_TESTCAM_FILES OP
  !insertmacro ${OP} "" "fontis_testcam.dll" "${FONTIS_BIN}/fontis_testcam.dll" filter64
!macroend

; ---------------------------------------------------------------------------------------------
; Helpers used by both the installer and the uninstaller (macros, so they exist in both).

; This installer is a 64-bit program, so $SYSDIR is the real System32 and its regsvr32 is the
; 64-bit one: nothing is redirected. The 32-bit regsvr32 lives in SysWOW64.
!macro _RegSvr32Path KIND OUT
  !if "${KIND}" == "filter32"
    StrCpy ${OUT} "$WINDIR\SysWOW64\regsvr32.exe"
  !else
    StrCpy ${OUT} "$SYSDIR\regsvr32.exe"
  !endif
!macroend

; regsvr32 [/u] on DLL; leaves its exit code in $0 ("not started" when it could not run).
!macro _RunRegSvr32 KIND SWITCHES DLL
  !insertmacro _RegSvr32Path ${KIND} $1
  StrCpy $0 "not started"
  ClearErrors
  ExecWait '"$1" /s ${SWITCHES} "${DLL}"' $0
  ${If} ${Errors}
    StrCpy $0 "not started"
  ${EndIf}
!macroend

; Frees a file's name. A file in use (a filter DLL loaded by an application, a host that could
; not be ended) cannot be deleted, but it can be renamed: it is moved aside as NAME.old, which is
; deleted when Windows restarts, so the restart never deletes a file that a later install put
; under the name. The name stays taken only when the file is held open without sharing deletion,
; or an older NAME.old is still in use too: the caller then leaves the rest to the restart.
!macro _FreeName PATH
  ClearErrors
  Delete "${PATH}"
  ${If} ${Errors}
    Delete "${PATH}.old"
    ClearErrors
    Rename "${PATH}" "${PATH}.old"
    ${IfNot} ${Errors}
      Delete /REBOOTOK "${PATH}.old"
    ${EndIf}
  ${EndIf}
!macroend

; Ends every running host of ours, so that no file of ours stays in use by a host. The virtual
; camera's filter, still loaded in running applications, would start FontisHost.exe from the
; install folder again within a second of its host's end, so the program is first moved aside:
; until a new one is in place (or for good, when the product is removed) those filters find none
; and show that in their picture. Each host is asked through its window's exit command, and ended
; by force when it does not end in time; its program file then goes with it.
!macro _EndHosts FONTISCTL
  ${If} ${FileExists} "$INSTDIR\FontisHost.exe"
    Delete "$INSTDIR\FontisHost.exe.old"
    Rename "$INSTDIR\FontisHost.exe" "$INSTDIR\FontisHost.exe.old"
  ${EndIf}
  DetailPrint "Ending running hosts"
  nsExec::ExecToLog '"${FONTISCTL}" stop-hosts --timeout ${HOST_STOP_SECONDS} --force'
  Pop $0
  ${If} $0 != 0
    DetailPrint "A host could not be ended ($0); files it uses are removed after a restart"
  ${EndIf}
  Delete /REBOOTOK "$INSTDIR\FontisHost.exe.old"
!macroend

; Says so when files in use are left for the restart to replace or delete, and exits with 3010
; as other installers do, so that a silent caller knows.
!macro _ReportRestartNeeded WHAT
  ${If} ${RebootFlag}
    MessageBox MB_ICONINFORMATION "Some files are still in use by running applications. ${WHAT}" /SD IDOK
    SetErrorLevel ${EXIT_RESTART_NEEDED}
  ${EndIf}
!macroend

; The folder of a product file: $INSTDIR, or a folder below it.
!macro _ProductFolder FOLDER
  !if "${FOLDER}" == ""
    !define /redef _FOLDER "$INSTDIR"
  !else
    !define /redef _FOLDER "$INSTDIR\${FOLDER}"
  !endif
!macroend

; Unregisters (filters) and removes one product file, and its folder when that is now empty.
!macro _RemoveProductFile FOLDER NAME SOURCE KIND
  !insertmacro _ProductFolder "${FOLDER}"
  !if "${KIND}" != "file"
    ${If} ${FileExists} "${_FOLDER}\${NAME}"
      !insertmacro _RunRegSvr32 ${KIND} "/u" "${_FOLDER}\${NAME}"
      DetailPrint "Unregistered ${NAME} (regsvr32 exit code $0)"
    ${EndIf}
  !endif
  ; What an earlier install moved aside, or left for the restart to put in place.
  Delete /REBOOTOK "${_FOLDER}\${NAME}.old"
  Delete /REBOOTOK "${_FOLDER}\${NAME}.new"
  !insertmacro _FreeName "${_FOLDER}\${NAME}"
  ${If} ${FileExists} "${_FOLDER}\${NAME}"
    Delete /REBOOTOK "${_FOLDER}\${NAME}"
  ${EndIf}
  !if "${FOLDER}" != ""
    RMDir /REBOOTOK "${_FOLDER}"
  !endif
!macroend

; ---------------------------------------------------------------------------------------------
; Installer

; Copies one product file in and registers it when it is a filter. An old copy that is still
; loaded cannot be overwritten: it is moved aside for the restart to delete. One whose name
; cannot be freed at all is replaced by the restart (a filter is registered all the same, by the
; copy that holds the name until then).
!macro _InstallProductFile FOLDER NAME SOURCE KIND
  !insertmacro _ProductFolder "${FOLDER}"
  SetOutPath "${_FOLDER}"
  !insertmacro _FreeName "$OUTDIR\${NAME}"
  ClearErrors
  ${If} ${FileExists} "$OUTDIR\${NAME}"
    File "/oname=${NAME}.new" "${SOURCE}"
    Rename /REBOOTOK "$OUTDIR\${NAME}.new" "$OUTDIR\${NAME}"
  ${Else}
    File "/oname=${NAME}" "${SOURCE}"
  ${EndIf}
  ${If} ${Errors}
    MessageBox MB_ICONSTOP "Could not write $OUTDIR\${NAME}." /SD IDOK
    Abort
  ${EndIf}
  !if "${KIND}" == "filter64"
    !insertmacro _RunRegSvr32 ${KIND} "" "$OUTDIR\${NAME}"
    ${If} $0 != 0
      MessageBox MB_ICONSTOP "Could not register $OUTDIR\${NAME} (regsvr32 exit code $0)." /SD IDOK
      Abort
    ${EndIf}
  !else if "${KIND}" == "filter32"
    ; The 64-bit product works without it; only 32-bit applications would miss the camera.
    !insertmacro _RunRegSvr32 ${KIND} "" "$OUTDIR\${NAME}"
    ${If} $0 != 0
      MessageBox MB_ICONEXCLAMATION "32-bit applications will not find the camera: could not register \
$OUTDIR\${NAME} (regsvr32 exit code $0)." /SD IDOK
    ${EndIf}
  !endif
!macroend

Section "-Ending running hosts"
  SetRegView 64
  ; The new fontisctl, from a temporary folder: the installed one may be old or in use.
  InitPluginsDir
  SetOutPath "$PLUGINSDIR"
  File "${FONTIS_BIN}/fontisctl.exe"
  !insertmacro _EndHosts "$PLUGINSDIR\fontisctl.exe"
SectionEnd

Section "${FONTIS_PRODUCT_NAME} (required)" SecProduct
  SectionIn RO
  ; Written first, so that even an install that fails halfway can be removed.
  SetOutPath "$INSTDIR"
  WriteUninstaller "$INSTDIR\${UNINSTALLER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${FONTIS_PRODUCT_NAME}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${FONTIS_VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${FONTIS_PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\FontisHost.exe,0"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  !insertmacro FONTIS_PRODUCT_FILES _InstallProductFile
SectionEnd

Section /o "Test-pattern camera" SecTestCam
  !insertmacro FONTIS_TESTCAM_FILES _InstallProductFile
SectionEnd

Section "-Finishing"
  ; What was not chosen this time is not left over from an earlier install.
  ${IfNot} ${SectionIsSelected} ${SecTestCam}
    !insertmacro FONTIS_TESTCAM_FILES _RemoveProductFile
  ${EndIf}
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  IntFmt $0 "0x%08X" $0
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" "$0"
  !insertmacro _ReportRestartNeeded "The new version is in place; the old files are deleted when Windows restarts."
SectionEnd

Function .onInit
  SetRegView 64
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/TESTCAM" $R1
  ${IfNot} ${Errors}
    !insertmacro SelectSection ${SecTestCam}
  ${EndIf}
FunctionEnd

; ---------------------------------------------------------------------------------------------
; Uninstaller

Function un.onInit
  SetRegView 64
FunctionEnd

Section "Uninstall"
  ${If} ${FileExists} "$INSTDIR\fontisctl.exe"
    !insertmacro _EndHosts "$INSTDIR\fontisctl.exe"
  ${EndIf}
  !insertmacro FONTIS_TESTCAM_FILES _RemoveProductFile
  !insertmacro FONTIS_PRODUCT_FILES _RemoveProductFile
  ; Run in place (_?=), the uninstaller is itself a file in use.
  !insertmacro _RemoveProductFile "" "${UNINSTALLER}" "" file
  RMDir /REBOOTOK "$INSTDIR"
  ; The virtual camera's settings of the user who removes the product (fontisctl vcam wrote them).
  DeleteRegKey HKCU "Software\${FONTIS_PRODUCT_NAME}\VirtualCamera"
  DeleteRegKey /ifempty HKCU "Software\${FONTIS_PRODUCT_NAME}"
  ; Last: while the entry exists, the product can still be removed from the list of programs.
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  !insertmacro _ReportRestartNeeded "${FONTIS_PRODUCT_NAME} is removed and its filters are no longer registered; \
the files still in use are deleted when Windows restarts."
SectionEnd
