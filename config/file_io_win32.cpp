// The Windows file layer. Every function imported here exists on Windows XP;
// newer ones are looked up at run time.

#include <windows.h>

#include <vector>

#include "config/file_sys.h"

namespace ini::sys {

namespace {

constexpr DWORD kKeptAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                  FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

HANDLE Win(Handle file) { return reinterpret_cast<HANDLE>(file); }

// GetFinalPathNameByHandleA, from Windows Vista on.
using FinalPathFn = DWORD(WINAPI*)(HANDLE, LPSTR, DWORD, DWORD);

FinalPathFn FinalPathFunction() {
    const HMODULE kernel = GetModuleHandleA("kernel32.dll");
    if (kernel == nullptr) {
        return nullptr;
    }
    return reinterpret_cast<FinalPathFn>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "GetFinalPathNameByHandleA")));
}

// "\\?\C:\x" becomes "C:\x" and "\\?\UNC\host\share" "\\host\share", the
// forms every function here takes.
std::string PlainPath(const std::string& path) {
    if (path.compare(0, 8, "\\\\?\\UNC\\") == 0) {
        return "\\\\" + path.substr(8);
    }
    if (path.compare(0, 4, "\\\\?\\") == 0) {
        return path.substr(4);
    }
    return path;
}

void Describe(DWORD attributes, std::uint64_t size, Info& info) {
    info.kind = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? Kind::kDirectory
                : (attributes & FILE_ATTRIBUTE_DEVICE) != 0  ? Kind::kOther
                                                             : Kind::kRegular;
    info.writable = (attributes & FILE_ATTRIBUTE_READONLY) == 0;
    info.size = size;
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
    }
    return ERROR_NOT_SUPPORTED;
}

unsigned long LastError() { return GetLastError(); }

bool IsNotFound(unsigned long code) {
    return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND;
}

bool IsPermission(unsigned long code) { return code == ERROR_ACCESS_DENIED; }

bool IsSharing(unsigned long code) {
    return code == ERROR_SHARING_VIOLATION || code == ERROR_LOCK_VIOLATION ||
           code == ERROR_ACCESS_DENIED || code == ERROR_UNABLE_TO_REMOVE_REPLACED ||
           code == ERROR_UNABLE_TO_MOVE_REPLACEMENT || code == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2;
}

const char* const kSeparators = "\\/:";

unsigned long ProcessId() { return GetCurrentProcessId(); }

// Symbolic links are followed to the file they name: the final path of an
// existing file (Wine resolves a Unix link this way while reporting no
// reparse point). Before Vista there are no file links, and the path stays.
// Who owns a link cannot be told here; links need a privilege to create.
bool ResolveLinks(const char* path, std::string& resolved) {
    resolved = path;
    const FinalPathFn finalPath = FinalPathFunction();
    if (finalPath == nullptr) {
        return true;
    }
    HANDLE h = CreateFileA(path, 0, kShareAll, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                           nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        SetLastError(error);
        return IsNotFound(error);
    }
    std::vector<char> name(MAX_PATH + 1);
    DWORD n = finalPath(h, name.data(), static_cast<DWORD>(name.size()), 0);
    if (n >= name.size()) {
        name.resize(n + 1);
        n = finalPath(h, name.data(), static_cast<DWORD>(name.size()), 0);
    }
    const DWORD error = GetLastError();
    CloseHandle(h);
    if (n == 0 || n >= name.size()) {
        // Some file systems cannot tell; a path that is no link is used as
        // it is, a link that cannot be resolved is not used.
        const DWORD attributes = GetFileAttributesA(path);
        if (attributes != INVALID_FILE_ATTRIBUTES &&
            (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
            return true;
        }
        SetLastError(n == 0 ? error : ERROR_FILENAME_EXCED_RANGE);
        return false;
    }
    resolved = PlainPath(std::string(name.data(), n));
    return true;
}

bool PathInfo(const std::string& path, Info& info) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data) == 0) {
        return false;
    }
    Describe(data.dwFileAttributes,
             (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow, info);
    return true;
}

bool HandleInfo(Handle file, Info& info) {
    // Windows opens no directory and no read-only file with write access, so
    // only a device and the size are left to tell. (GetFileInformationByHandle
    // is not used: under Wine it asks the mount manager, another process, for
    // the volume's serial number.)
    if (GetFileType(Win(file)) != FILE_TYPE_DISK) {
        info.kind = Kind::kOther;
        return true;
    }
    LARGE_INTEGER size;
    if (GetFileSizeEx(Win(file), &size) == 0) {
        return false;
    }
    info.kind = Kind::kRegular;
    info.writable = true;
    info.size = static_cast<std::uint64_t>(size.QuadPart);
    return true;
}

Handle Open(const std::string& path, Mode mode) {
    DWORD access = GENERIC_WRITE;
    // Other programs (a running game) may go on reading and writing, and a
    // save may replace or remove the file.
    DWORD share = kShareAll;
    DWORD disposition = OPEN_EXISTING;
    DWORD flags = FILE_ATTRIBUTE_NORMAL;
    switch (mode) {
        case Mode::kReadWrite:
            access = GENERIC_READ | GENERIC_WRITE;
            flags |= FILE_FLAG_SEQUENTIAL_SCAN;
            break;
        case Mode::kWrite:
            break;
        case Mode::kRead:
            access = GENERIC_READ;
            flags |= FILE_FLAG_SEQUENTIAL_SCAN;
            break;
        case Mode::kCreate:
            // Shared with nobody: while it is open, no other save can open
            // or delete it, which marks it as in use.
            access = GENERIC_READ | GENERIC_WRITE;
            share = 0;
            disposition = CREATE_NEW;
            break;
    }
    HANDLE h = CreateFileA(path.c_str(), access, share, nullptr, disposition, flags, nullptr);
    return h == INVALID_HANDLE_VALUE ? kNoHandle : reinterpret_cast<Handle>(h);
}

bool Close(Handle file) { return CloseHandle(Win(file)) != 0; }

bool Lock(Handle file, bool wait) {
    OVERLAPPED at{};
    const DWORD flags = LOCKFILE_EXCLUSIVE_LOCK | (wait ? 0 : LOCKFILE_FAIL_IMMEDIATELY);
    return LockFileEx(Win(file), flags, 0, MAXDWORD, MAXDWORD, &at) != 0;
}

bool StillNamed(Handle /*file*/, const std::string& /*path*/) {
    // An open file shared with nobody cannot be deleted or renamed.
    return true;
}

bool CopyAccess(Handle /*target*/, const std::string& targetPath, Handle /*temp*/,
                const std::string& tempPath) {
    // ReplaceFile keeps the target's security, attributes and streams; the
    // attributes are copied too for the first save of a new name.
    const DWORD attributes = GetFileAttributesA(targetPath.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        return false;
    }
    const DWORD kept = attributes & kKeptAttributes;
    return kept == 0 || SetFileAttributesA(tempPath.c_str(), kept) != 0;
}

std::ptrdiff_t Read(Handle file, char* buffer, std::size_t size) {
    DWORD n = 0;
    if (ReadFile(Win(file), buffer, static_cast<DWORD>(size), &n, nullptr) == 0) {
        return -1;
    }
    return static_cast<std::ptrdiff_t>(n);
}

bool Write(Handle file, const char* data, std::size_t size) {
    while (size != 0) {
        DWORD n = 0;
        if (WriteFile(Win(file), data, static_cast<DWORD>(size), &n, nullptr) == 0) {
            return false;
        }
        if (n == 0) {
            SetLastError(ERROR_WRITE_FAULT);
            return false;
        }
        data += n;
        size -= n;
    }
    return true;
}

namespace {

bool SetEnd(HANDLE h, std::uint64_t size) {
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(size);
    return SetFilePointerEx(h, at, nullptr, FILE_BEGIN) != 0 && SetEndOfFile(h) != 0;
}

bool Rewind(HANDLE h) {
    LARGE_INTEGER start;
    start.QuadPart = 0;
    return SetFilePointerEx(h, start, nullptr, FILE_BEGIN) != 0;
}

}  // namespace

bool Reserve(Handle file, std::uint64_t size) {
    // Extending the file allocates its clusters (ERROR_DISK_FULL when there
    // are none); the old bytes stay, and so does the old end on failure.
    LARGE_INTEGER old;
    if (GetFileSizeEx(Win(file), &old) == 0) {
        return false;
    }
    const auto oldSize = static_cast<std::uint64_t>(old.QuadPart);
    if (size > oldSize && !SetEnd(Win(file), size)) {
        const DWORD error = GetLastError();
        SetEnd(Win(file), oldSize);
        SetLastError(error);
        return false;
    }
    return Rewind(Win(file));
}

bool Truncate(Handle file, std::uint64_t size) { return SetEnd(Win(file), size); }

bool Flush(Handle file) { return FlushFileBuffers(Win(file)) != 0; }

bool Replace(const std::string& temp, const std::string& target, bool exists) {
    if (exists) {
        // A holder that does not share deletion makes ReplaceFile fail (and
        // Wine's leave a file behind): found out first.
        HANDLE probe = CreateFileA(target.c_str(), DELETE, kShareAll, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
        if (probe == INVALID_HANDLE_VALUE) {
            return IsNotFound(GetLastError()) &&
                   MoveFileExA(temp.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH) != 0;
        }
        CloseHandle(probe);
        // Keeps the target's security descriptor, attributes and streams.
        if (ReplaceFileA(target.c_str(), temp.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS,
                         nullptr, nullptr) != 0) {
            return true;
        }
        // The target was removed meanwhile, or (ERROR_UNABLE_TO_MOVE_REPLACEMENT)
        // it is gone and the new file still has its temporary name: a plain
        // move finishes the job.
        const DWORD error = GetLastError();
        if (GetFileAttributesA(target.c_str()) != INVALID_FILE_ATTRIBUTES ||
            (error != ERROR_FILE_NOT_FOUND && error != ERROR_UNABLE_TO_MOVE_REPLACEMENT)) {
            SetLastError(error);
            return false;
        }
    }
    return MoveFileExA(temp.c_str(), target.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

bool Remove(const std::string& path) { return DeleteFileA(path.c_str()) != 0; }

void SyncFolder(const std::string& /*dir*/) {}

void List(const std::string& dir, const std::string& prefix, std::vector<std::string>& names) {
    WIN32_FIND_DATAA item;
    HANDLE listing = FindFirstFileA((dir + prefix + "*").c_str(), &item);
    if (listing == INVALID_HANDLE_VALUE) {
        return;
    }
    do {
        names.emplace_back(item.cFileName);
    } while (FindNextFileA(listing, &item) != 0);
    FindClose(listing);
}

}  // namespace ini::sys
