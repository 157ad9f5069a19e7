#!/usr/bin/env bash
# Checks that a Windows binary is built for the expected machine, imports system DLLs only, and
# that its PE header names a Windows that has every function it imports: the operating-system and
# subsystem versions may be no older than the newest function's. An older Windows then refuses the
# binary with its own message instead of failing on a missing function.
# usage: check_pe.sh OBJDUMP MACHINE(i386|x86-64) FILE...
set -euo pipefail
objdump=$1 machine=$2
shift 2
# The DLLs every Windows installation has; a binary that needs anything else would not start on
# a bare system.
system_dlls='^(kernel32|user32|gdi32|advapi32|comctl32|msvcrt|shell32|ole32)\.dll$'
case $machine in
  i386) format=pei-i386 magic=010b ;;
  x86-64) format=pei-x86-64 magic=020b ;;
  *) echo "unknown machine $machine"; exit 2 ;;
esac

# The functions of those DLLs that came after Windows NT 4.0, with the version of the first
# Windows (client) that has them: 5.0 2000, 5.1 XP, 5.2 XP x64 and Server 2003, 6.0 Vista, 6.1 7,
# 6.2 8, 10.0 10. An update or service pack cannot be named in the header, so a function that
# came with one counts from the next version that has it built in. Functions bound at run time
# (GetProcAddress) are not imports and do not count.
declare -A since
while read -r dll version names; do
  [[ -z $dll || $dll == \#* ]] && continue
  for name in $names; do since["$dll!$name"]=$version; done
done <<'TABLE'
kernel32 5.0  GetFileSizeEx SetFilePointerEx IsDBCSLeadByteEx CreateHardLinkW CreateHardLinkA
kernel32 5.0  GetLongPathNameW MoveFileWithProgressW GetVolumePathNameW GetSystemWindowsDirectoryW
kernel32 5.1  AddVectoredExceptionHandler RemoveVectoredExceptionHandler RtlCaptureContext
kernel32 5.1  IsWow64Process GetSystemWow64DirectoryW GetSystemWow64DirectoryA SetDllDirectoryW
kernel32 5.1  SetDllDirectoryA GetNativeSystemInfo AttachConsole CheckRemoteDebuggerPresent
kernel32 5.1  GetLogicalProcessorInformation
kernel32 5.2  Wow64DisableWow64FsRedirection Wow64RevertWow64FsRedirection
kernel32 6.0  CompareStringOrdinal GetTickCount64 CompareStringEx LCMapStringEx GetLocaleInfoEx
kernel32 6.0  GetUserDefaultLocaleName InitializeSRWLock AcquireSRWLockExclusive
kernel32 6.0  AcquireSRWLockShared ReleaseSRWLockExclusive ReleaseSRWLockShared
kernel32 6.0  InitializeConditionVariable SleepConditionVariableCS SleepConditionVariableSRW
kernel32 6.0  WakeConditionVariable WakeAllConditionVariable InitOnceExecuteOnce
kernel32 6.0  InitOnceBeginInitialize InitOnceComplete CreateEventExW CreateMutexExW
kernel32 6.0  CreateSemaphoreExW GetFinalPathNameByHandleW GetFileInformationByHandleEx
kernel32 6.0  SetFileInformationByHandle CreateSymbolicLinkW QueryFullProcessImageNameW
kernel32 6.0  GetErrorMode CancelIoEx SetProcessDEPPolicy
kernel32 6.2  SetDefaultDllDirectories AddDllDirectory RemoveDllDirectory SetProcessMitigationPolicy
kernel32 6.2  GetProcessMitigationPolicy GetSystemTimePreciseAsFileTime CreateFile2
kernel32 10.0 SetThreadDescription GetThreadDescription
user32   5.0  ShowWindowAsync AllowSetForegroundWindow LockSetForegroundWindow
user32   5.0  MsgWaitForMultipleObjectsEx SetLayeredWindowAttributes UpdateLayeredWindow
user32   5.1  GetLayeredWindowAttributes
user32   6.0  SetProcessDPIAware IsProcessDPIAware ChangeWindowMessageFilter
user32   6.0  ShutdownBlockReasonCreate ShutdownBlockReasonDestroy RegisterPowerSettingNotification
user32   6.1  ChangeWindowMessageFilterEx
user32   10.0 SetProcessDpiAwarenessContext GetDpiForWindow GetDpiForSystem AdjustWindowRectExForDpi
user32   10.0 GetSystemMetricsForDpi EnableNonClientDpiScaling SystemParametersInfoForDpi
gdi32    5.0  AddFontResourceExW RemoveFontResourceExW
advapi32 5.0  CheckTokenMembership ConvertStringSidToSidW ConvertSidToStringSidW CreateRestrictedToken
advapi32 5.0  ConvertStringSecurityDescriptorToSecurityDescriptorW CreateProcessWithLogonW
advapi32 5.0  ConvertSecurityDescriptorToStringSecurityDescriptorW RegOpenCurrentUser
advapi32 5.1  CreateWellKnownSid IsWellKnownSid
advapi32 6.0  CreateProcessWithTokenW RegGetValueW RegGetValueA RegSetKeyValueW RegDeleteKeyValueW
advapi32 6.0  RegDeleteTreeW RegCopyTreeW RegLoadMUIStringW RegDeleteKeyExW RegDisablePredefinedCacheEx
advapi32 6.0  AddMandatoryAce TreeSetNamedSecurityInfoW EventRegister EventWrite EventUnregister
advapi32 6.2  CheckTokenMembershipEx
shell32  5.0  SHGetFolderPathW SHCreateDirectoryExW IsUserAnAdmin
shell32  5.1  SHGetFolderPathAndSubDirW SHOpenFolderAndSelectItems
shell32  6.0  SHGetKnownFolderPath SHGetKnownFolderIDList SHSetKnownFolderPath SHGetStockIconInfo
shell32  6.0  SHCreateItemFromParsingName
shell32  6.1  SHGetKnownFolderItem SHGetPropertyStoreForWindow
ole32    6.1  CoGetApartmentType
comctl32 5.1  SetWindowSubclass DefSubclassProc RemoveWindowSubclass
comctl32 6.0  TaskDialog TaskDialogIndirect LoadIconMetric LoadIconWithScaleDown
TABLE
# "6.0" -> 600, for comparing.
rank() { local major=${1%%.*} minor=${1#*.}; echo $((major * 100 + minor)); }

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
for file in "$@"; do
  [ -f "$file" ] || { fail "$file is missing"; continue; }
  header=$("$objdump" -f "$file")
  grep -q "file format $format\$" <<<"$header" || fail "$file is not $format: $header"
  private=$("$objdump" -p "$file")
  grep -Eq "^Magic[[:space:]]+$magic" <<<"$private" || fail "$file: optional header is not $magic"
  while read -r dll; do
    lower=$(tr '[:upper:]' '[:lower:]' <<<"$dll")
    [[ $lower =~ $system_dlls ]] || fail "$file imports $dll, which is no system DLL"
  done < <(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$private")

  field() { sed -n "s/^$1[[:space:]]*\([0-9]*\)\$/\1/p" <<<"$private"; }
  os="$(field MajorOSystemVersion).$(field MinorOSystemVersion)"
  subsystem="$(field MajorSubsystemVersion).$(field MinorSubsystemVersion)"
  [[ $os =~ ^[0-9]+\.[0-9]+$ && $subsystem =~ ^[0-9]+\.[0-9]+$ ]] ||
    { fail "$file: no OS or subsystem version in its header"; continue; }
  # The import lines of objdump -p: "<tab>hint-rva<tab>  hint  Name" under each "DLL Name:".
  needed=4.0 newest=""
  while read -r dll name; do
    version=${since["${dll%.dll}!$name"]:-}
    [ -n "$version" ] || continue
    (( $(rank "$version") >= $(rank "$needed") )) || continue
    if (( $(rank "$version") > $(rank "$needed") )); then needed=$version newest=""; fi
    newest+=" $name"
  done < <(awk '/^\tDLL Name:/ { dll = tolower($3); next }
                /^\t[0-9a-f]+\t +[0-9]+ +[^ ]+/ { print dll, $3 }' <<<"$private")
  for pair in "OS:$os" "subsystem:$subsystem"; do
    if (( $(rank "${pair#*:}") < $(rank "$needed") )); then
      fail "$file: its header says Windows ${pair#*:} (${pair%%:*} version), but it imports" \
           "functions of Windows $needed:$newest"
    fi
  done
  echo "checked $file: Windows $subsystem (OS $os), its imports need $needed${newest:+ (}${newest# }${newest:+)}"
done
[ "$failures" -eq 0 ]
