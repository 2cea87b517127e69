// The platform layer under config/file_io.cpp, which file_io_linux.cpp and
// file_io_win32.cpp implement. Each platform finds the file (OpenPlace) and
// makes a new file the old one's like in access (CreateTemp) by its own
// rules; every other function is one system call or the platform's
// equivalent. All report failure by their result and LastError().
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace ini::sys {

// An open file: a descriptor on POSIX, a HANDLE on Windows.
using Handle = std::intptr_t;
inline constexpr Handle kNoHandle = -1;

// Names as the platform's file functions take them: UTF-16 on Windows, bytes
// on Linux.
#ifdef _WIN32
using PathChar = wchar_t;
#else
using PathChar = char;
#endif
using Path = std::basic_string<PathChar>;

unsigned long LastError();

void Sleep(unsigned milliseconds);
// Random bits, for names no other file has.
bool Random(std::uint64_t& bits);
// The largest file this process may write (RLIMIT_FSIZE on POSIX).
std::uint64_t FileSizeLimit();

bool Close(Handle file);

// An open file or folder, closed (and so unlocked) when it goes.
class File {
public:
    explicit File(Handle handle = kNoHandle) : m_handle(handle) {}
    ~File() { Reset(); }
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    Handle get() const { return m_handle; }
    bool IsOpen() const { return m_handle != kNoHandle; }
    // Closes the file, and holds `handle` instead.
    void Reset(Handle handle = kNoHandle) {
        if (IsOpen()) {
            Close(m_handle);
        }
        m_handle = handle;
    }

private:
    Handle m_handle;
};

// The folder of a file (held open on Linux, its full path on Windows) and
// the file's name in it.
struct Place {
    File folder;
    Path folderPath;
    Path name;
};
// Finds the place of the file that `path` (in the ANSI code page) names, no
// such file yet maybe, following links by the platform's rule (else ELOOP).
bool OpenPlace(const char* path, Place& place);

enum class Kind { kRegular, kDirectory, kOther };
struct Info {
    Kind kind = Kind::kOther;
    bool writable = false;  // a write permission bit, or no read-only attribute
    std::uint64_t size = 0;
};
// The file's entry in its folder itself (a link is not followed).
bool NameInfo(const Place& place, Info& info);
bool HandleInfo(Handle file, Info& info);

enum class Mode { kRead, kWrite, kReadWrite };
// An existing file. Other programs (a running game) may go on reading and
// writing it. Never follows a link, never blocks on a FIFO.
Handle Open(const Place& place, Mode mode);
// Makes `temp` a new file for reading and writing beside the file of
// `place`, without a name where the system can make it so (Linux), else as
// `name`, which must not exist. With `old`, the open old file, it is
// private from its first moment, then made identical to it in owner, group,
// access list, attributes and mode; where it cannot be, this fails as a
// refusal (EPERM, ERROR_ACCESS_DENIED), `temp` maybe made, for the caller to
// close and remove. Without, it has what the folder gives new files.
bool CreateTemp(const Place& place, const Path& name, Handle old, File& temp);
// Gives a new file its name `name`, where it has none yet.
bool GiveName(Handle file, const Place& place, const Path& name);

enum class Lock { kShared, kExclusive };
// Locks the whole file without waiting: false, with a busy code, while
// another open file holds a lock that conflicts. Released by Close. True
// unlocked where the file system keeps no locks (or refuses to try).
bool TryLock(Handle file, Lock lock);
// Reads from the current position: bytes read, 0 at the end, -1 on error.
std::ptrdiff_t Read(Handle file, char* buffer, std::size_t size);
// Writes at `offset`: the bytes written (some of `data`, never none), or -1.
std::ptrdiff_t WriteAt(Handle file, std::uint64_t offset, std::string_view data);
bool Truncate(Handle file, std::uint64_t size);
bool Flush(Handle file);
// The bytes a rewrite in place of the file may take: where rewritten bytes
// take new blocks (copy on write), those free for the user; else no limit.
std::uint64_t RewriteRoom(Handle file);

// Puts the file `from` of the folder in the file's place, in one step,
// written through with the folder.
bool Rename(const Place& place, const Path& from);
bool Remove(const Place& place, const Path& name);

}  // namespace ini::sys
