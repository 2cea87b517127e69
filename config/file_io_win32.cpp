// The Windows file layer. Paths are UTF-16, full and in their long form, and
// every call takes the W function, so no name passes through the ANSI code
// page. Every function imported here exists on Windows XP; newer ones are
// looked up at run time. (GetFileInformationByHandle is not used: under Wine
// it asks the mount manager, another process, whose reply qemu can lose.)

#include <windows.h>

#include <algorithm>
#include <iterator>
#include <utility>
#include <vector>

#include "config/file_io.h"
#include "config/file_sys.h"

namespace ini::sys {

namespace {

constexpr DWORD kKeptAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                  FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr DWORD kMaxPath = 32768;  // the longest path, in its long form

HANDLE Win(Handle file) { return reinterpret_cast<HANDLE>(file); }

Path In(const Place& place, const Path& name) { return place.folderPath + name; }

// Every file is shared with everyone, the new one too: it is renamed while
// open, and sharing less would make the saved file refuse other programs
// until the saver closes it. Read-attribute access lets HandleInfo ask.
HANDLE OpenShared(const Path& path, DWORD access, DWORD disposition,
                  DWORD flags = FILE_ATTRIBUTE_NORMAL) {
    return CreateFileW(path.c_str(), access | FILE_READ_ATTRIBUTES, kShareAll, nullptr, disposition,
                       flags, nullptr);
}

// The full path of `path` (in the ANSI code page) from the current folder,
// in the long form ("\\?\"), which every function takes at any length.
Path FullPath(const char* path) {
    Path wide(std::string_view(path).size() + 1, L'\0');
    Path full(kMaxPath, L'\0');
    const int n =
        MultiByteToWideChar(CP_ACP, 0, path, -1, wide.data(), static_cast<int>(wide.size()));
    full.resize(n > 0 ? GetFullPathNameW(wide.c_str(), kMaxPath, full.data(), nullptr) : 0);
    if (full.starts_with(L"\\\\?\\") || full.starts_with(L"\\\\.\\")) {
        return full;
    }
    return full.starts_with(L"\\\\") ? L"\\\\?\\UNC\\" + full.substr(2) : L"\\\\?\\" + full;
}

// The old file's access list, as ReplaceFileW keeps it: not the entries the
// folder gives new files, which the old file need not carry (a file system
// without lists shows one for everyone). Then the attributes a user sets.
bool CopyAccess(const Path& old, const Path& to) {
    std::vector<char> security(1 << 17);  // an access list holds at most 64 KiB
    DWORD size = 0;
    if (GetFileSecurityW(old.c_str(), DACL_SECURITY_INFORMATION, security.data(),
                         static_cast<DWORD>(security.size()), &size) == 0 ||
        SetFileSecurityW(to.c_str(), DACL_SECURITY_INFORMATION, security.data()) == 0) {
        return false;
    }
    const DWORD attributes = GetFileAttributesW(old.c_str());
    const DWORD kept = attributes & kKeptAttributes;
    return attributes != INVALID_FILE_ATTRIBUTES &&
           (kept == 0 || SetFileAttributesW(to.c_str(), kept) != 0);
}

}  // namespace

unsigned long LastError() { return GetLastError(); }

void Sleep(unsigned milliseconds) { ::Sleep(milliseconds); }

// advapi32's RtlGenRandom, which every Windows since XP has.
bool Random(std::uint64_t& bits) {
    using GenRandomFn = BOOLEAN(WINAPI*)(PVOID, ULONG);
    const auto generate = reinterpret_cast<GenRandomFn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"advapi32.dll"), "SystemFunction036")));
    if (generate == nullptr || generate(&bits, sizeof bits) == 0) {
        SetLastError(ERROR_GEN_FAILURE);  // it sets no code of its own
        return false;
    }
    return true;
}

std::uint64_t FileSizeLimit() { return UINT64_MAX; }

// A save replaces the file that a link leads to: the folder is that of the
// file's final path where the file opens (from Vista on, which has file
// links and GetFinalPathNameByHandleW).
bool OpenPlace(const char* path, Place& place) {
    Path& rest = place.name;
    using FinalPathFn = DWORD(WINAPI*)(HANDLE, LPWSTR, DWORD, DWORD);
    const auto finalPath = reinterpret_cast<FinalPathFn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetFinalPathNameByHandleW")));
    rest = FullPath(path);
    HANDLE file = OpenShared(rest, 0, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS);
    if (file != INVALID_HANDLE_VALUE) {
        Path final(kMaxPath, L'\0');
        final.resize(finalPath != nullptr ? finalPath(file, final.data(), kMaxPath, 0) : 0);
        rest = final.empty() ? rest : final;
        CloseHandle(file);
    }
    const std::size_t slash = rest.find_last_of(L'\\');
    place.folderPath = rest.substr(0, slash + 1);
    rest.erase(0, slash + 1);
    return true;
}

bool NameInfo(const Place& place, Info& info) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (GetFileAttributesExW(In(place, place.name).c_str(), GetFileExInfoStandard, &data) == 0) {
        return false;
    }
    const DWORD attributes = data.dwFileAttributes;
    info.kind = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? Kind::kDirectory
                : (attributes & FILE_ATTRIBUTE_DEVICE) != 0  ? Kind::kOther
                                                             : Kind::kRegular;
    info.writable = (attributes & FILE_ATTRIBUTE_READONLY) == 0;
    info.size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    return true;
}

// Windows opens no directory as a file, and no read-only file for writing.
bool HandleInfo(Handle file, Info& info) {
    LARGE_INTEGER size{};
    info.kind = GetFileType(Win(file)) == FILE_TYPE_DISK ? Kind::kRegular : Kind::kOther;
    info.writable = true;
    const bool sized = GetFileSizeEx(Win(file), &size) != 0;
    info.size = static_cast<std::uint64_t>(size.QuadPart);
    return sized;
}

Handle Open(const Place& place, Mode mode) {
    const DWORD access = mode == Mode::kRead    ? GENERIC_READ
                         : mode == Mode::kWrite ? GENERIC_WRITE
                                                : GENERIC_READ | GENERIC_WRITE;
    return reinterpret_cast<Handle>(OpenShared(In(place, place.name), access, OPEN_EXISTING));
}

// With `old` it is created with a protected list that lets only its owner
// in (OWNER RIGHTS; on XP no one but this handle) until CopyAccess. Wine
// maps a list to Unix mode bits with the owner's rights on the group too,
// never the old mode: there it is refused (the file is rewritten in place).
bool CreateTemp(const Place& place, const Path& name, Handle old, File& temp) {
    static const struct {
        SECURITY_DESCRIPTOR_RELATIVE descriptor;
        ACL list;
        ACE_HEADER entry;
        ACCESS_MASK rights;
        SID owner;
    } kPrivate = {
        {SECURITY_DESCRIPTOR_REVISION, 0, SE_SELF_RELATIVE | SE_DACL_PRESENT | SE_DACL_PROTECTED, 0,
         0, 0, sizeof(SECURITY_DESCRIPTOR_RELATIVE)},
        {ACL_REVISION, 0, sizeof kPrivate - sizeof(SECURITY_DESCRIPTOR_RELATIVE), 1, 0},
        {ACCESS_ALLOWED_ACE_TYPE, 0, sizeof(ACE_HEADER) + sizeof(ACCESS_MASK) + sizeof(SID)},
        FILE_ALL_ACCESS,
        {SID_REVISION, 1, {SECURITY_CREATOR_SID_AUTHORITY}, {4}}};  // S-1-3-4
    SECURITY_ATTRIBUTES security = {sizeof security,
                                    const_cast<void*>(static_cast<const void*>(&kPrivate)), FALSE};
    const bool owned = old != kNoHandle;
    if (owned && GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr) {
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    const Path path = In(place, name);
    temp.Reset(reinterpret_cast<Handle>(
        CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE | FILE_READ_ATTRIBUTES, kShareAll,
                    owned ? &security : nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr)));
    return temp.IsOpen() && (!owned || CopyAccess(In(place, place.name), path));
}

// Every new file has its name.
bool GiveName(Handle /*file*/, const Place& /*place*/, const Path& /*name*/) { return true; }

bool Close(Handle file) { return CloseHandle(Win(file)) != 0; }

bool TryLock(Handle file, Lock lock) {
    OVERLAPPED at{};
    const DWORD flags =
        LOCKFILE_FAIL_IMMEDIATELY | (lock == Lock::kExclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0);
    return LockFileEx(Win(file), flags, 0, MAXDWORD, MAXDWORD, &at) != 0 ||
           GetLastError() == ERROR_NOT_SUPPORTED || GetLastError() == ERROR_INVALID_FUNCTION;
}

std::ptrdiff_t Read(Handle file, char* buffer, std::size_t size) {
    DWORD n = 0;  // sizes are at most kMaxFileSize + 1
    return ::ReadFile(Win(file), buffer, static_cast<DWORD>(size), &n, nullptr) != 0 ? n : -1;
}

std::ptrdiff_t WriteAt(Handle file, std::uint64_t offset, std::string_view data) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    const auto size = static_cast<DWORD>(data.size());  // at most kMaxFileSize
    DWORD n = 0;
    const bool written = ::WriteFile(Win(file), data.data(), size, &n, &at) != 0;
    if (written && n == 0 && size != 0) {
        SetLastError(ERROR_WRITE_FAULT);  // a write that makes no progress
    }
    return written && (n != 0 || size == 0) ? static_cast<std::ptrdiff_t>(n) : -1;
}

// A file that another program maps cannot be cut (ERROR_USER_MAPPED_FILE).
bool Truncate(Handle file, std::uint64_t size) {
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(size);
    return SetFilePointerEx(Win(file), at, nullptr, FILE_BEGIN) != 0 &&
           SetEndOfFile(Win(file)) != 0;
}

bool Flush(Handle file) { return FlushFileBuffers(Win(file)) != 0; }

// NTFS and FAT rewrite bytes in their blocks.
std::uint64_t RewriteRoom(Handle /*file*/) { return UINT64_MAX; }

// MOVEFILE_WRITE_THROUGH flushes the folder too.
bool Rename(const Place& place, const Path& from) {
    return MoveFileExW(In(place, from).c_str(), In(place, place.name).c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

bool Remove(const Place& place, const Path& name) {
    return DeleteFileW(In(place, name).c_str()) != 0;
}

}  // namespace ini::sys

// ERROR_BUSY: "The requested resource is in use."; 1295:
// ERROR_DISK_QUOTA_EXCEEDED, not in every SDK's headers.
ini::Failure ini::FailureOf(unsigned long code) {
    using F = Failure;
    constexpr std::pair<unsigned long, Failure> kFailures[] = {
        {ERROR_FILE_NOT_FOUND, F::kNotFound},    {ERROR_PATH_NOT_FOUND, F::kNotFound},
        {ERROR_DIRECTORY, F::kIsDirectory},      {ERROR_BAD_FILE_TYPE, F::kNotAFile},
        {ERROR_FILE_READ_ONLY, F::kReadOnly},    {ERROR_ACCESS_DENIED, F::kNoPermission},
        {ERROR_WRITE_PROTECT, F::kNoPermission}, {ERROR_CANT_RESOLVE_FILENAME, F::kLinkRefused},
        {ERROR_FILE_TOO_LARGE, F::kTooLarge},    {ERROR_BUSY, F::kBusy},
        {ERROR_SHARING_VIOLATION, F::kBusy},     {ERROR_LOCK_VIOLATION, F::kBusy},
        {ERROR_USER_MAPPED_FILE, F::kBusy},      {ERROR_DISK_FULL, F::kDiskFull},
        {ERROR_HANDLE_DISK_FULL, F::kDiskFull},  {1295, F::kQuota},
        {ERROR_IO_DEVICE, F::kIoError},          {ERROR_READ_FAULT, F::kIoError},
        {ERROR_WRITE_FAULT, F::kIoError}};
    const auto* at = std::find_if(std::begin(kFailures), std::end(kFailures),
                                  [&](const auto& entry) { return entry.first == code; });
    return at != std::end(kFailures) ? at->second : Failure::kOther;
}
