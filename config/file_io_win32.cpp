// The Windows file layer. Paths are UTF-16 and full from FullPath on, and every
// call takes the W function, so no name passes through the ANSI code page.
// Every function imported here exists on Windows XP; newer ones are looked up
// at run time. (GetFileInformationByHandle is not used: under Wine it asks
// the mount manager, another process, for the volume's serial number, and
// 32-bit Wine under qemu can lose its reply.)

#include <windows.h>

#include <algorithm>
#include <vector>

#include "config/file_sys.h"

namespace ini::sys {

namespace {

constexpr DWORD kKeptAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                  FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

HANDLE Win(Handle file) { return reinterpret_cast<HANDLE>(file); }

// A function of a system library, loaded if need be; null where it has none.
template <class Function>
Function Lookup(const wchar_t* module, const char* name) {
    const HMODULE loaded = LoadLibraryW(module);
    return loaded == nullptr
               ? nullptr
               : reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(loaded, name)));
}

bool StartsWith(const Path& path, const wchar_t* prefix) { return path.rfind(prefix, 0) == 0; }

// The form every function takes a path of any length in: the long-path
// prefix for a full path of MAX_PATH characters or more, else as it is.
Path Api(const Path& path) {
    if (path.size() < MAX_PATH || StartsWith(path, L"\\\\?\\") || StartsWith(path, L"\\\\.\\")) {
        return path;
    }
    if (StartsWith(path, L"\\\\")) {
        return L"\\\\?\\UNC\\" + path.substr(2);
    }
    return L"\\\\?\\" + path;
}

// The text a function writes into a buffer of the size it asks for when
// given none (a path's length varies: one can be longer than MAX_PATH).
template <class Fill>
bool FillText(Path& text, Fill fill) {
    text.assign(fill(nullptr, 0), L'\0');
    const DWORD n = text.empty() ? 0 : fill(text.data(), static_cast<DWORD>(text.size()));
    text.resize(n < text.size() ? n : 0);
    return !text.empty();
}

// The full path of the open file, through every link; false before Vista,
// which has no GetFinalPathNameByHandleW (and no file links).
bool FinalPath(HANDLE file, Path& path) {
    using FinalPathFn = DWORD(WINAPI*)(HANDLE, LPWSTR, DWORD, DWORD);
    const auto finalPath = Lookup<FinalPathFn>(L"kernel32.dll", "GetFinalPathNameByHandleW");
    return finalPath != nullptr && FillText(path, [&](wchar_t* buffer, DWORD size) {
               return finalPath(file, buffer, size, 0);
           });
}

bool FileSize(HANDLE file, std::uint64_t& size) {
    LARGE_INTEGER now;
    if (GetFileSizeEx(file, &now) == 0) {
        return false;
    }
    size = static_cast<std::uint64_t>(now.QuadPart);
    return true;
}

// A name that the folder holds but that opens no file: Windows lists a
// dangling link as a reparse point; Wine does not list a dangling Unix link,
// but looking up its name exactly finds "no more files" where a missing name
// finds none.
bool IsDanglingLink(const Path& path) {
    WIN32_FIND_DATAW item;
    HANDLE found = FindFirstFileW(Api(path).c_str(), &item);
    if (found == INVALID_HANDLE_VALUE) {
        return GetLastError() == ERROR_NO_MORE_FILES;
    }
    FindClose(found);
    return (item.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

// The caller's text is in the ANSI code page, as the A functions take it; the
// full path is made once, from the current folder in UTF-16.
Path FullPath(const char* path) {
    const int length = MultiByteToWideChar(CP_ACP, 0, path, -1, nullptr, 0);
    if (length <= 1) {
        return Path();
    }
    Path wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_ACP, 0, path, -1, wide.data(), length);
    wide.resize(static_cast<std::size_t>(length) - 1);
    Path full;
    if (!FillText(full, [&](wchar_t* buffer, DWORD size) {
            return GetFullPathNameW(wide.c_str(), size, buffer, nullptr);
        })) {
        return wide;
    }
    return full;
}

// A link is followed to the file it names through the final path of the open
// file (Wine follows a Unix link so and shows no link at all). A dangling
// link opens nothing, and where it leads cannot be found out: it is refused
// rather than taken for a missing file, which a save would put in its place.
bool ResolveLinks(const Path& path, Path& resolved) {
    resolved = path;
    HANDLE file = CreateFileW(Api(path).c_str(), 0, kShareAll, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        if (FailureOf(error) == Failure::kNotFound && IsDanglingLink(path)) {
            SetLastError(ERROR_CANT_RESOLVE_FILENAME);
            return false;
        }
        SetLastError(error);
        return FailureOf(error) == Failure::kNotFound;
    }
    Path final;
    const bool named = FinalPath(file, final);
    const DWORD error = GetLastError();
    CloseHandle(file);
    if (named) {
        resolved = final;
        return true;
    }
    // Before Vista, or a file system that cannot tell: a path that is no link
    // is used as it is, a link that cannot be resolved is not used.
    const DWORD attributes = GetFileAttributesW(Api(path).c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
        return true;
    }
    SetLastError(error);
    return false;
}

Path In(const Folder& folder, const Path& name) { return Api(folder.path + name); }

// Every file is shared with everyone, the new one too: it is renamed while
// open, and sharing less would make the saved file refuse other programs
// until the saver closes it. Read-attribute access lets HandleInfo ask.
HANDLE OpenShared(const Path& path, DWORD access, DWORD disposition) {
    return CreateFileW(path.c_str(), access | FILE_READ_ATTRIBUTES, kShareAll, nullptr, disposition,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

unsigned long LastError() { return GetLastError(); }

bool IsNoPermission(unsigned long code) { return code == ERROR_ACCESS_DENIED; }

// A holder that does not share deletion makes Windows refuse the rename with
// ERROR_SHARING_VIOLATION; one that does, a mapped view, and under Wine any
// open handle make it refuse with ERROR_ACCESS_DENIED.
bool IsReplaceRefused(unsigned long code) {
    return code == ERROR_SHARING_VIOLATION || code == ERROR_ACCESS_DENIED;
}

bool IsLockHeld(unsigned long code) { return code == ERROR_LOCK_VIOLATION; }

void Sleep(unsigned milliseconds) { ::Sleep(milliseconds); }

// advapi32's RtlGenRandom, which every Windows since XP has.
std::uint64_t Random() {
    using GenRandomFn = BOOLEAN(WINAPI*)(PVOID, ULONG);
    const auto generate = Lookup<GenRandomFn>(L"advapi32.dll", "SystemFunction036");
    std::uint64_t value = GetTickCount();  // unique enough for a name, should it fail
    if (generate != nullptr) {
        generate(&value, sizeof value);
    }
    return value;
}

std::uint64_t FileSizeLimit() { return UINT64_MAX; }

bool OpenFolder(const char* path, Folder& folder, Path& name) {
    Path resolved;
    if (!ResolveLinks(FullPath(path), resolved)) {
        return false;
    }
    const std::size_t slash = resolved.find_last_of(L"\\/");
    folder.path = resolved.substr(0, slash == Path::npos ? 0 : slash + 1);
    name = resolved.substr(folder.path.size());
    return true;
}

bool NameInfo(const Folder& folder, const Path& name, Info& info) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (GetFileAttributesExW(In(folder, name).c_str(), GetFileExInfoStandard, &data) == 0) {
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
    info.kind = GetFileType(Win(file)) == FILE_TYPE_DISK ? Kind::kRegular : Kind::kOther;
    info.writable = true;
    return FileSize(Win(file), info.size);
}

Handle Open(const Folder& folder, const Path& name, Mode mode) {
    const DWORD access = mode == Mode::kRead    ? GENERIC_READ
                         : mode == Mode::kWrite ? GENERIC_WRITE
                                                : GENERIC_READ | GENERIC_WRITE;
    return reinterpret_cast<Handle>(OpenShared(In(folder, name), access, OPEN_EXISTING));
}

// A new file's security is what its folder gives new files.
Handle CreateTemp(const Folder& folder, const Path& name, bool /*owned*/, bool& named) {
    named = true;
    return reinterpret_cast<Handle>(
        OpenShared(In(folder, name), GENERIC_READ | GENERIC_WRITE, CREATE_NEW));
}

bool GiveName(Handle /*file*/, const Folder& /*folder*/, const Path& /*name*/) {
    SetLastError(ERROR_NOT_SUPPORTED);  // every new file has its name
    return false;
}

bool Close(Handle file) { return CloseHandle(Win(file)) != 0; }

bool TryLock(Handle file, Lock lock) {
    OVERLAPPED at{};
    const DWORD flags =
        LOCKFILE_FAIL_IMMEDIATELY | (lock == Lock::kExclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0);
    return LockFileEx(Win(file), flags, 0, MAXDWORD, MAXDWORD, &at) != 0;
}

// The attributes a user sets; the new file's security is that of a new file
// in the folder.
bool CopyAccess(const Folder& folder, const Path& from, Handle /*fromFile*/, const Path& to,
                Handle /*toFile*/) {
    const DWORD attributes = GetFileAttributesW(In(folder, from).c_str());
    const DWORD kept = attributes & kKeptAttributes;
    return attributes != INVALID_FILE_ATTRIBUTES &&
           (kept == 0 || SetFileAttributesW(In(folder, to).c_str(), kept) != 0);
}

std::ptrdiff_t Read(Handle file, char* buffer, std::size_t size) {
    DWORD n = 0;
    const auto wanted = static_cast<DWORD>(std::min<std::size_t>(size, MAXDWORD));
    if (::ReadFile(Win(file), buffer, wanted, &n, nullptr) == 0) {
        return -1;
    }
    return static_cast<std::ptrdiff_t>(n);
}

std::ptrdiff_t WriteAt(Handle file, std::uint64_t offset, std::string_view data) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    const auto size = static_cast<DWORD>(std::min<std::size_t>(data.size(), MAXDWORD));
    DWORD n = 0;
    if (::WriteFile(Win(file), data.data(), size, &n, &at) == 0) {
        return -1;
    }
    if (n == 0 && size != 0) {
        SetLastError(ERROR_WRITE_FAULT);  // a write that makes no progress
        return -1;
    }
    return static_cast<std::ptrdiff_t>(n);
}

// A file that another program maps cannot be cut (ERROR_USER_MAPPED_FILE);
// one that keeps its size asks for nothing.
bool Truncate(Handle file, std::uint64_t size) {
    std::uint64_t now = 0;
    if (!FileSize(Win(file), now)) {
        return false;
    }
    if (now == size) {
        return true;
    }
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(size);
    return SetFilePointerEx(Win(file), at, nullptr, FILE_BEGIN) != 0 &&
           SetEndOfFile(Win(file)) != 0;
}

bool Flush(Handle file) { return FlushFileBuffers(Win(file)) != 0; }

// NTFS and FAT rewrite bytes in their blocks.
bool DiskOf(Handle /*file*/, Disk& disk) {
    disk.copiesOnWrite = false;
    return true;
}

bool Rename(const Folder& folder, const Path& from, const Path& to) {
    return MoveFileExW(In(folder, from).c_str(), In(folder, to).c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

bool Remove(const Folder& folder, const Path& name) {
    return DeleteFileW(In(folder, name).c_str()) != 0;
}

// MOVEFILE_WRITE_THROUGH has flushed the rename; a folder cannot be flushed.
bool FlushFolder(const Folder& /*folder*/) { return true; }

}  // namespace ini::sys

namespace ini {

namespace {

constexpr unsigned long kErrorDiskQuotaExceeded = 1295;  // not in every SDK's headers

// ERROR_BUSY: "The requested resource is in use."
constexpr sys::CodeTable<kFailureCount - 1, 8> kCodes = {
    {ERROR_FILE_NOT_FOUND, ERROR_DIRECTORY, ERROR_BAD_FILE_TYPE, ERROR_FILE_READ_ONLY,
     ERROR_ACCESS_DENIED, ERROR_CANT_RESOLVE_FILENAME, ERROR_FILE_TOO_LARGE, ERROR_BUSY,
     ERROR_INVALID_DATA, ERROR_DISK_FULL, kErrorDiskQuotaExceeded, ERROR_IO_DEVICE},
    {{ERROR_PATH_NOT_FOUND, Failure::kNotFound},
     {ERROR_WRITE_PROTECT, Failure::kNoPermission},
     {ERROR_SHARING_VIOLATION, Failure::kBusy},
     {ERROR_LOCK_VIOLATION, Failure::kBusy},
     {ERROR_USER_MAPPED_FILE, Failure::kBusy},
     {ERROR_HANDLE_DISK_FULL, Failure::kDiskFull},
     {ERROR_READ_FAULT, Failure::kIoError},
     {ERROR_WRITE_FAULT, Failure::kIoError}}};
static_assert(kCodes.IsOneCodePerFailure());

}  // namespace

unsigned long CodeOf(Failure failure) { return kCodes.Code(failure); }

Failure FailureOf(unsigned long code) { return kCodes.FailureOf(code); }

}  // namespace ini
