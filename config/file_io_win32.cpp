// The Windows file layer. Paths are UTF-16 and full from ToPath on, and every
// call takes the W function, so no name passes through the ANSI code page.
// Every function imported here exists on Windows XP; newer ones, and ntdll's,
// are looked up at run time.

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

template <class Function>
Function Lookup(const char* module, const char* name) {
    const HMODULE loaded = GetModuleHandleA(module);
    return loaded == nullptr
               ? nullptr
               : reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(loaded, name)));
}

// ntdll's queries of an open file, which exist on every NT. (Windows' own
// GetFileInformationByHandle is not used: under Wine it asks the mount
// manager, another process, for the volume's serial number; 32-bit Wine
// under qemu can lose its reply.)
struct IoStatus {
    LONG status;
    ULONG_PTR information;
};
struct BasicInformation {
    LARGE_INTEGER times[4];
    ULONG attributes;
};
constexpr ULONG kBasicInformation = 4;
constexpr ULONG kInternalInformation = 6;
using QuerySetFn = LONG(WINAPI*)(HANDLE, IoStatus*, void*, ULONG, ULONG);
using StatusToErrorFn = ULONG(WINAPI*)(LONG);

bool FileInformation(const char* function, HANDLE file, void* data, ULONG size, ULONG kind) {
    const auto call = Lookup<QuerySetFn>("ntdll.dll", function);
    const auto toError = Lookup<StatusToErrorFn>("ntdll.dll", "RtlNtStatusToDosError");
    if (call == nullptr || toError == nullptr) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return false;
    }
    IoStatus io{};
    const LONG status = call(file, &io, data, size, kind);
    if (status < 0) {
        SetLastError(toError(status));
        return false;
    }
    return true;
}
bool QueryFile(HANDLE file, void* data, ULONG size, ULONG kind) {
    return FileInformation("NtQueryInformationFile", file, data, size, kind);
}
bool SetFile(HANDLE file, void* data, ULONG size, ULONG kind) {
    return FileInformation("NtSetInformationFile", file, data, size, kind);
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

// "\\?\C:\x" becomes "C:\x" and "\\?\UNC\host\share" "\\host\share", the
// forms the layer above composes names in.
Path Plain(const Path& path) {
    if (StartsWith(path, L"\\\\?\\UNC\\")) {
        return L"\\\\" + path.substr(8);
    }
    if (StartsWith(path, L"\\\\?\\") && path.size() >= 6 && path[5] == L':') {
        return path.substr(4);
    }
    return path;
}

// Calls `fill(buffer, size)`, which returns the length written or, when the
// buffer is too small, the size it needs, until the text fits.
template <class Fill>
bool FillText(Path& text, Fill fill) {
    std::vector<wchar_t> buffer(MAX_PATH + 1);
    for (int attempt = 0; attempt < 3; ++attempt) {
        const DWORD n = fill(buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0) {
            return false;
        }
        if (n < buffer.size()) {
            text.assign(buffer.data(), n);
            return true;
        }
        buffer.resize(n + 1);
    }
    SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return false;
}

// The full path of the open file, through every link; false before Vista,
// which has no GetFinalPathNameByHandleW (and no file links).
bool FinalPath(HANDLE file, Path& path) {
    using FinalPathFn = DWORD(WINAPI*)(HANDLE, LPWSTR, DWORD, DWORD);
    const auto finalPath = Lookup<FinalPathFn>("kernel32.dll", "GetFinalPathNameByHandleW");
    if (finalPath == nullptr) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return false;
    }
    Path named;
    if (!FillText(named,
                  [&](wchar_t* buffer, DWORD size) { return finalPath(file, buffer, size, 0); })) {
        return false;
    }
    path = Plain(named);
    return true;
}

void Describe(DWORD attributes, std::uint64_t size, Info& info) {
    info.kind = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? Kind::kDirectory
                : (attributes & FILE_ATTRIBUTE_DEVICE) != 0  ? Kind::kOther
                                                             : Kind::kRegular;
    info.writable = (attributes & FILE_ATTRIBUTE_READONLY) == 0;
    info.size = size;
}

bool FileSize(HANDLE file, std::uint64_t& size) {
    LARGE_INTEGER now;
    if (GetFileSizeEx(file, &now) == 0) {
        return false;
    }
    size = static_cast<std::uint64_t>(now.QuadPart);
    return true;
}

// The number the file system knows the open file by.
bool FileIndex(HANDLE file, LONGLONG& index) {
    LARGE_INTEGER number{};
    if (!QueryFile(file, &number, sizeof number, kInternalInformation)) {
        return false;
    }
    index = number.QuadPart;
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

}  // namespace

unsigned long Code(Failure failure) {
    switch (failure) {
        case Failure::kNotFound:
            return ERROR_FILE_NOT_FOUND;
        case Failure::kIsDirectory:
            // What Windows itself reports for a directory opened as a file.
            return ERROR_ACCESS_DENIED;
        case Failure::kNotAFile:
            return ERROR_NOT_SUPPORTED;
        case Failure::kReadOnly:
            return ERROR_ACCESS_DENIED;
        case Failure::kTooLarge:
            return ERROR_FILE_TOO_LARGE;
        case Failure::kBusy:
            // "The requested resource is in use."
            return ERROR_BUSY;
    }
    return ERROR_NOT_SUPPORTED;
}

unsigned long LastError() { return GetLastError(); }

bool IsNotFound(unsigned long code) {
    return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND;
}

bool IsNoPermission(unsigned long code) { return code == ERROR_ACCESS_DENIED; }

// A holder that does not share deletion makes Windows refuse the rename with
// ERROR_SHARING_VIOLATION. A holder that does, or a mapped view, makes it
// refuse with ERROR_ACCESS_DENIED, and so does Wine for a file that any
// handle holds open: there the code means a sharing conflict too.
bool IsReplaceRefused(unsigned long code) {
    return code == ERROR_SHARING_VIOLATION || code == ERROR_ACCESS_DENIED;
}

bool IsLockHeld(unsigned long code) { return code == ERROR_LOCK_VIOLATION; }

// The caller's text is in the ANSI code page, as the A functions take it; the
// full path is made once, from the current folder in UTF-16.
Path ToPath(const char* path) {
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

const wchar_t* const kSeparators = L"\\/";

unsigned long ProcessId() { return GetCurrentProcessId(); }

void Sleep(unsigned milliseconds) { ::Sleep(milliseconds); }

// A link is followed to the file it names through the final path of the open
// file (Wine follows a Unix link so and shows no link at all). Who owns a link
// cannot be told here; making one needs a privilege on Windows. A dangling
// link opens nothing, and where it leads cannot be found out: it is refused
// rather than taken for a missing file, which a save would put in its place.
bool ResolveLinks(const Path& path, Path& resolved) {
    resolved = path;
    HANDLE file = CreateFileW(Api(path).c_str(), 0, kShareAll, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        if (IsNotFound(error) && IsDanglingLink(path)) {
            SetLastError(ERROR_CANT_RESOLVE_FILENAME);
            return false;
        }
        SetLastError(error);
        return IsNotFound(error);
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

bool PathInfo(const Path& path, Info& info) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (GetFileAttributesExW(Api(path).c_str(), GetFileExInfoStandard, &data) == 0) {
        return false;
    }
    Describe(data.dwFileAttributes,
             (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow, info);
    return true;
}

bool HandleInfo(Handle file, Info& info) {
    if (GetFileType(Win(file)) != FILE_TYPE_DISK) {
        info.kind = Kind::kOther;
        return true;
    }
    BasicInformation basic{};
    std::uint64_t size = 0;
    if (!QueryFile(Win(file), &basic, sizeof basic, kBasicInformation) ||
        !FileSize(Win(file), size)) {
        return false;
    }
    Describe(basic.attributes, size, info);
    return true;
}

Handle Open(const Path& path, Mode mode) {
    // Read-attribute access lets HandleInfo and CopyAccess ask.
    DWORD access = FILE_READ_ATTRIBUTES;
    DWORD disposition = OPEN_EXISTING;
    switch (mode) {
        case Mode::kRead:
            access |= GENERIC_READ;
            break;
        case Mode::kWrite:
            access |= GENERIC_WRITE;
            break;
        case Mode::kReadWrite:
            access |= GENERIC_READ | GENERIC_WRITE;
            break;
        case Mode::kCreate:
            access |= GENERIC_READ | GENERIC_WRITE;
            disposition = CREATE_NEW;
            break;
    }
    // Shared with everyone, the temporary file too: it can be renamed while
    // open, and what keeps it its saver's is the lock (a Windows lock also
    // stops other handles' reads and writes). Sharing less would make the
    // saved file refuse other programs until the saver closes it.
    const Path name = Api(path);
    for (unsigned waited = 0;; waited += kLockRetryMs) {
        HANDLE h = CreateFileW(name.c_str(), access, kShareAll, nullptr, disposition,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h != INVALID_HANDLE_VALUE) {
            return reinterpret_cast<Handle>(h);
        }
        // A deleted file keeps its name until its last handle closes: a new
        // file waits, a bounded time, for a name that another save removed
        // and still holds (Wine reports the name as taken, Windows as denied).
        const DWORD error = GetLastError();
        const bool named = GetFileAttributesW(name.c_str()) != INVALID_FILE_ATTRIBUTES;
        if (mode != Mode::kCreate || waited >= kLockWaitMs ||
            (error != ERROR_FILE_EXISTS && (error != ERROR_ACCESS_DENIED || !named))) {
            SetLastError(error);
            return kNoHandle;
        }
        ::Sleep(kLockRetryMs);
    }
}

bool Close(Handle file) { return CloseHandle(Win(file)) != 0; }

bool TryLock(Handle file, Lock lock) {
    OVERLAPPED at{};
    DWORD flags = LOCKFILE_FAIL_IMMEDIATELY;
    if (lock == Lock::kExclusive) {
        flags |= LOCKFILE_EXCLUSIVE_LOCK;
    }
    return LockFileEx(Win(file), flags, 0, MAXDWORD, MAXDWORD, &at) != 0;
}

// A file being deleted opens no more, and a name given to another file
// opens that one.
bool StillNamed(Handle file, const Path& path) {
    HANDLE named = CreateFileW(Api(path).c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr,
                               OPEN_EXISTING, 0, nullptr);
    if (named == INVALID_HANDLE_VALUE) {
        return false;
    }
    LONGLONG open = 0;
    LONGLONG found = 0;
    const bool same = FileIndex(Win(file), open) && FileIndex(named, found) && open == found;
    CloseHandle(named);
    return same;
}

// The attributes a user sets; the new file's security is that of a new file
// in the folder. (ReplaceFile, which would keep the old file's, opens the new
// one sharing nothing, so it cannot run while the saver holds it.)
bool CopyAccess(Handle target, const Path& /*targetPath*/, Handle temp, const Path& /*tempPath*/) {
    BasicInformation basic{};
    if (!QueryFile(Win(target), &basic, sizeof basic, kBasicInformation)) {
        return false;
    }
    const DWORD kept = basic.attributes & kKeptAttributes;
    if (kept == 0) {
        return true;
    }
    BasicInformation change{};  // times of 0 stay as they are
    change.attributes = kept;
    return SetFile(Win(temp), &change, sizeof change, kBasicInformation);
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

// Writes zeros past the end: they take their room on the disk, where a longer
// end of file alone may not (Wine makes a sparse file of it).
bool Reserve(Handle file, std::uint64_t size) {
    std::uint64_t end = 0;
    if (!FileSize(Win(file), end)) {
        return false;
    }
    if (end >= size) {
        return true;
    }
    const std::string zeros(std::size_t{64} * 1024, '\0');
    while (end < size) {
        const auto chunk =
            static_cast<std::size_t>(std::min<std::uint64_t>(zeros.size(), size - end));
        const std::ptrdiff_t n = WriteAt(file, end, std::string_view(zeros).substr(0, chunk));
        if (n < 0) {
            return false;
        }
        end += static_cast<std::uint64_t>(n);
    }
    return true;
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

// Only an administrator may flush a whole volume; the file's own changes are
// what can be committed.
void SyncFileSystem(Handle file) { FlushFileBuffers(Win(file)); }

// The temporary file is renamed while its saver holds it open and locked.
bool Replace(Handle /*temp*/, const Path& tempPath, const Path& target, bool exists) {
    const Path from = Api(tempPath);
    const Path to = Api(target);
    constexpr DWORD kReplace = MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH;
    if (exists) {
        return MoveFileExW(from.c_str(), to.c_str(), kReplace) != 0;
    }
    if (MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH) != 0) {
        return true;
    }
    // A file that another save made meanwhile is replaced like any other.
    const DWORD error = GetLastError();
    const DWORD attributes = GetFileAttributesW(to.c_str());
    constexpr DWORD kNoFile = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & kNoFile) != 0) {
        SetLastError(error);
        return false;
    }
    return MoveFileExW(from.c_str(), to.c_str(), kReplace) != 0;
}

bool Remove(const Path& path) { return DeleteFileW(Api(path).c_str()) != 0; }

// MOVEFILE_WRITE_THROUGH has flushed the rename; a folder cannot be flushed.
void SyncFolder(const Path& /*dir*/) {}

void List(const Path& dir, const Path& prefix, std::vector<Path>& names) {
    WIN32_FIND_DATAW item;
    HANDLE listing = FindFirstFileW(Api(dir + prefix + L"*").c_str(), &item);
    if (listing == INVALID_HANDLE_VALUE) {
        return;
    }
    do {
        // The pattern also matches short (8.3) names.
        const Path name = item.cFileName;
        if (StartsWith(name, prefix.c_str())) {
            names.push_back(name);
        }
    } while (FindNextFileW(listing, &item) != 0);
    FindClose(listing);
}

}  // namespace ini::sys
