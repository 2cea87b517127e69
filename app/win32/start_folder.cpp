#include "app/win32/start_folder.h"

#include <string>
#include <vector>

namespace {

typedef WCHAR*(CDECL* DosFileNameFn)(LPCSTR);

// Wine's Windows name for a Unix path; empty when it has none.
std::wstring DosName(DosFileNameFn toDos, const char* unixPath) {
    WCHAR* name = toDos(unixPath);
    if (name == nullptr) {
        return {};
    }
    std::wstring result(name);
    ::HeapFree(::GetProcessHeap(), 0, name);
    return result;
}

// The volume and file index of a folder; FALSE when it cannot be opened.
BOOL FolderIdentity(const std::wstring& path, BY_HANDLE_FILE_INFORMATION* pInfo) {
    const HANDLE hFolder =
        ::CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (hFolder == INVALID_HANDLE_VALUE) {
        return FALSE;
    }
    const BOOL ok = ::GetFileInformationByHandle(hFolder, pInfo);
    ::CloseHandle(hFolder);
    return ok;
}

bool SameFolder(const BY_HANDLE_FILE_INFORMATION& a, const BY_HANDLE_FILE_INFORMATION& b) {
    return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber &&
           a.nFileIndexHigh == b.nFileIndexHigh && a.nFileIndexLow == b.nFileIndexLow;
}

// This process's Unix id as named in /proc. Wine opens files in its server,
// for which /proc/self is the server, but resolves the path of an attribute
// query in the process itself: the process is the one whose id names a
// thread in its /proc/self/task. Newest first, as ids count upwards.
std::wstring UnixProcessId(const std::wstring& proc, const std::wstring& task) {
    std::vector<std::wstring> ids;
    WIN32_FIND_DATAW data;
    const HANDLE hFind = ::FindFirstFileW((proc + L"\\*").c_str(), &data);
    if (hFind == INVALID_HANDLE_VALUE) {
        return {};
    }
    do {
        if (data.cFileName[0] >= L'1' && data.cFileName[0] <= L'9') {
            ids.emplace_back(data.cFileName);
        }
    } while (::FindNextFileW(hFind, &data));
    ::FindClose(hFind);
    for (auto id = ids.rbegin(); id != ids.rend(); ++id) {
        const DWORD attributes = ::GetFileAttributesW((task + L"\\" + *id).c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            return *id;
        }
    }
    return {};
}

}  // namespace

BOOL IsStartFolder(CString& strFolder) {
    // Wine's exports, looked up so that Windows runs the program without them.
    const auto toDos = reinterpret_cast<DosFileNameFn>(reinterpret_cast<void (*)()>(
        ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "wine_get_dos_file_name")));
    if (toDos == nullptr) {
        return TRUE;
    }
    // The folder the process was started in is its Unix working folder, which
    // Wine leaves as it was: /proc/ID/cwd, opened by the server.
    const std::wstring proc = DosName(toDos, "/proc");
    const std::wstring id =
        proc.empty() ? std::wstring() : UnixProcessId(proc, DosName(toDos, "/proc/self/task"));
    BY_HANDLE_FILE_INFORMATION started;
    BY_HANDLE_FILE_INFORMATION current;
    if (id.empty() || !FolderIdentity(proc + L"\\" + id + L"\\cwd", &started) ||
        !FolderIdentity(L".", &current) || SameFolder(started, current)) {
        return TRUE;
    }
    // An id whose folder is the server's own was the server's: no answer.
    BY_HANDLE_FILE_INFORMATION server;
    if (FolderIdentity(proc + L"\\self\\cwd", &server) && SameFolder(started, server)) {
        return TRUE;
    }
    wchar_t path[MAX_PATH];
    const DWORD length = ::GetCurrentDirectoryW(MAX_PATH, path);
    strFolder = length > 0 && length < MAX_PATH ? path : L".";
    return FALSE;
}
