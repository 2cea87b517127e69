// The Windows file layer. The guard keeps tools that scan every file on
// other platforms (clang-tidy) away from it.
#ifdef _WIN32

#include <windows.h>

#include <vector>

#include "config/file_io.h"

namespace ini {

namespace {

constexpr int kMoveAttempts = 10;
constexpr DWORD kMoveRetryMs = 50;
constexpr DWORD kKeptAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                  FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

std::string DirPart(const std::string& path) {
    const std::size_t slash = path.find_last_of("\\/:");
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

HANDLE AsHandle(void* handle) { return handle == nullptr ? INVALID_HANDLE_VALUE : handle; }

// Regular file: exists, is no directory and not read-only.
bool WritableFileAttributes(DWORD attributes) {
    return attributes != INVALID_FILE_ATTRIBUTES &&
           (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) == 0;
}

// The path of the file a symbolic link names; other paths stay as they are.
bool ResolveLinks(const char* path, std::string& resolved) {
    resolved = path;
    const DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
        return true;
    }
    HANDLE h = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        return false;
    }
    std::vector<char> name(MAX_PATH + 1);
    DWORD n = GetFinalPathNameByHandleA(h, name.data(), static_cast<DWORD>(name.size()),
                                        FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (n >= name.size()) {
        name.resize(n + 1);
        n = GetFinalPathNameByHandleA(h, name.data(), static_cast<DWORD>(name.size()),
                                      FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    }
    CloseHandle(h);
    if (n == 0 || n >= name.size()) {
        return false;
    }
    resolved.assign(name.data(), n);
    return true;
}

bool ProcessGone(unsigned long pid) {
    if (pid == GetCurrentProcessId()) {
        return true;
    }
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (process == nullptr) {
        return GetLastError() == ERROR_INVALID_PARAMETER;
    }
    DWORD code = 0;
    const bool gone = GetExitCodeProcess(process, &code) != 0 && code != STILL_ACTIVE;
    CloseHandle(process);
    return gone;
}

void RemoveStaleTemps(const std::string& dir, const std::string& base) {
    WIN32_FIND_DATAA item;
    HANDLE listing = FindFirstFileA((dir + base + ".*.tmp").c_str(), &item);
    if (listing == INVALID_HANDLE_VALUE) {
        return;
    }
    do {
        const unsigned long pid = TempOwner(base, item.cFileName);
        if (pid != 0 && ProcessGone(pid)) {
            DeleteFileA((dir + item.cFileName).c_str());
        }
    } while (FindNextFileA(listing, &item) != 0);
    FindClose(listing);
}

bool IsDiskFile(HANDLE h) { return GetFileType(h) == FILE_TYPE_DISK; }

}  // namespace

InputFile::~InputFile() {
    if (m_handle != nullptr) {
        CloseHandle(m_handle);
    }
}

bool InputFile::Open(const char* path) {
    if (!WritableFileAttributes(GetFileAttributesA(path))) {
        return false;
    }
    HANDLE h =
        CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        return false;
    }
    m_handle = h;
    return IsDiskFile(h);
}

std::ptrdiff_t InputFile::Read(char* buffer, std::size_t size) const {
    DWORD n = 0;
    if (ReadFile(AsHandle(m_handle), buffer, static_cast<DWORD>(size), &n, nullptr) == 0) {
        return -1;
    }
    return static_cast<std::ptrdiff_t>(n);
}

OutputFile::~OutputFile() {
    Close();
    if (!m_temp.empty()) {
        DeleteFileA(m_temp.c_str());
    }
}

void OutputFile::Close() {
    if (m_handle != nullptr) {
        CloseHandle(m_handle);
        m_handle = nullptr;
    }
}

bool OutputFile::Open(const char* path) {
    if (path == nullptr || *path == '\0' || !ResolveLinks(path, m_target)) {
        return false;
    }
    const DWORD attributes = GetFileAttributesA(m_target.c_str());
    const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
    if (!exists && GetLastError() != ERROR_FILE_NOT_FOUND) {
        return false;
    }
    if (exists) {
        if (!WritableFileAttributes(attributes)) {
            return false;
        }
        // The target must be a file we may write, as for a rewrite in place.
        HANDLE h = CreateFileA(m_target.c_str(), GENERIC_WRITE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            return false;
        }
        const bool disk = IsDiskFile(h);
        CloseHandle(h);
        if (!disk) {
            return false;
        }
    }

    const std::string dir = DirPart(m_target);
    const std::string base = m_target.substr(dir.size());
    RemoveStaleTemps(dir, base);
    std::string temp = dir + TempName(base, GetCurrentProcessId());
    HANDLE h = CreateFileA(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
        m_handle = h;
        m_temp = std::move(temp);
        // The attributes that stand for permissions here.
        if (exists && (attributes & kKeptAttributes) != 0) {
            SetFileAttributesA(m_temp.c_str(), attributes & kKeptAttributes);
        }
        return true;
    }
    if (!exists || GetLastError() == ERROR_FILE_EXISTS) {
        return false;
    }
    h = CreateFileA(m_target.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        return false;
    }
    m_handle = h;
    return true;
}

bool OutputFile::Write(const char* data, std::size_t size) {
    while (!m_failed && size != 0) {
        DWORD n = 0;
        if (WriteFile(AsHandle(m_handle), data, static_cast<DWORD>(size), &n, nullptr) == 0 ||
            n == 0) {
            m_failed = true;
            break;
        }
        data += n;
        size -= n;
    }
    return !m_failed;
}

bool OutputFile::Commit() {
    if (m_handle == nullptr || m_failed) {
        return false;
    }
    if (m_temp.empty() && SetEndOfFile(m_handle) == 0) {
        return false;
    }
    const bool flushed = FlushFileBuffers(m_handle) != 0;
    const bool closed = CloseHandle(m_handle) != 0;
    m_handle = nullptr;
    if (!flushed || !closed || m_temp.empty()) {
        return flushed && closed;
    }
    for (int attempt = 0;; ++attempt) {
        if (MoveFileExA(m_temp.c_str(), m_target.c_str(),
                        MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0) {
            m_temp.clear();
            return true;
        }
        const DWORD error = GetLastError();
        // A reader or a virus scanner may hold the target for a moment.
        if ((error != ERROR_SHARING_VIOLATION && error != ERROR_ACCESS_DENIED) ||
            attempt + 1 == kMoveAttempts) {
            return false;
        }
        Sleep(kMoveRetryMs);
    }
}

unsigned long LastSystemError() { return ::GetLastError(); }

bool IsNotFound(unsigned long code) {
    return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND;
}

}  // namespace ini

#endif  // _WIN32
