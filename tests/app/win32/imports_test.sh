#!/usr/bin/env bash
# The executable is a 32-bit GUI program of at most 64 KiB that Windows XP
# SP3 loads: it imports only Windows' own DLLs, and only functions XP has
# (newer ones are looked up at run time), it has no bound import table, and
# its header asks for no Windows newer than XP (5.01).
set -euo pipefail
headers=$(i686-w64-mingw32-objdump -p "$1")
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}
grep -q 'Magic[[:space:]]*010b[[:space:]]*(PE32)' <<<"$headers" || fail "not PE32"
grep -q 'Subsystem[[:space:]]*00000002[[:space:]]*(Windows GUI)' <<<"$headers" || fail "not a GUI program"

for field in OSystem Subsystem; do
  major=$(sed -n "s/^Major${field}Version[[:space:]]*//p" <<<"$headers")
  minor=$(sed -n "s/^Minor${field}Version[[:space:]]*//p" <<<"$headers")
  [ $((major * 100 + minor)) -le 501 ] || fail "$field version $major.$minor is above 5.01"
done

# Bound imports hold addresses for one build of Windows; the program has none.
grep -q '^Entry b 00000000 00000000 Bound Import Directory' <<<"$headers" ||
  fail "has a bound import table"

size=$(stat -c %s "$1")
[ "$size" -le 65536 ] || fail "$size bytes, more than 64 KiB"

# Functions that every Windows XP SP3 has, by DLL.
xp_functions='
kernel32.dll:
  CloseHandle CompareFileTime CreateFileA CreateFileW CreateHardLinkA CreateHardLinkW
  DeleteCriticalSection DeleteFileA DeleteFileW DuplicateHandle EnterCriticalSection
  EnumResourceLanguagesW FindClose FindFirstFileA FindFirstFileW FindNextFileA FindNextFileW
  FindResourceExW FindResourceW FlushFileBuffers FormatMessageA FormatMessageW FreeLibrary
  GetCurrentDirectoryW GetCurrentProcess GetCurrentProcessId GetCurrentThreadId GetDiskFreeSpaceExA
  GetDiskFreeSpaceExW GetExitCodeProcess GetFileAttributesA GetFileAttributesExA
  GetFileAttributesExW GetFileAttributesW GetFileInformationByHandle GetFileSize GetFileSizeEx
  GetFileTime GetFileType GetFullPathNameA GetFullPathNameW GetLastError GetModuleHandleA
  GetModuleHandleW GetProcAddress GetProcessHeap GetStartupInfoA GetSystemTimeAsFileTime
  GetTickCount GetWindowsDirectoryW HeapFree
  GetVolumePathNameA GetVolumePathNameW InitializeCriticalSection LeaveCriticalSection
  LoadLibraryA LoadLibraryW LoadResource LocalFree LockFile LockFileEx LockResource
  MoveFileExA MoveFileExW MultiByteToWideChar OpenProcess ReadFile ReplaceFileA ReplaceFileW
  SetEndOfFile SetFileAttributesA SetFileAttributesW SetFilePointer SetFilePointerEx
  SetFileTime SetLastError SetUnhandledExceptionFilter SizeofResource Sleep TlsGetValue
  UnlockFile UnlockFileEx VirtualProtect VirtualQuery WaitForSingleObject WideCharToMultiByte
  WriteFile lstrcmpiW
user32.dll:
  AppendMenuW BeginPaint CreatePopupMenu CreateWindowExW DestroyMenu DialogBoxParamW DrawIcon
  EnableWindow EndDialog EndPaint GetActiveWindow GetClientRect GetDlgItem GetFocus
  GetSystemMenu GetSystemMetrics GetWindow GetWindowLongW GetWindowRect GetWindowTextW IsChild
  IsIconic LoadIconW LoadStringW MapWindowPoints MessageBoxW RedrawWindow SendMessageW
  SetWindowLongW TrackPopupMenu wsprintfW
comctl32.dll:
  InitCommonControls
advapi32.dll:
  GetFileSecurityA GetFileSecurityW SetFileSecurityA SetFileSecurityW
msvcrt.dll:
  __getmainargs __initenv __p__acmdln __p__commode __p__fmode __set_app_type __setusermatherr
  _amsg_exit _cexit _errno _initterm _iob _onexit _setmbcp abort atoi calloc exit fprintf
  free fwrite isspace malloc memchr memcmp memcpy memmove memset realloc signal strchr strlen
  strncmp strrchr strtol vfprintf wcslen
'
allowed=$(awk '/:$/ { dll = tolower(substr($1, 1, length($1) - 1)); next }
               { for (i = 1; i <= NF; i++) print dll ":" $i }' <<<"$xp_functions")
imports=$(awk '/DLL Name:/ { dll = tolower($3); next }
               dll != "" && NF == 3 && $1 ~ /^[0-9a-f]+$/ { print dll ":" $3 }
               /^$/ { dll = "" }' <<<"$headers")
[ -n "$imports" ] || fail "no imports found"
while read -r entry; do
  grep -qxF "$entry" <<<"$allowed" || fail "imports $entry, which is not known to exist on XP"
done <<<"$imports"
echo "imports: $(awk -F: '{ print $1 }' <<<"$imports" | sort -u | xargs)"
echo "functions: $(wc -l <<<"$imports")"
echo "size: $size bytes"
[ "$failures" -eq 0 ]
