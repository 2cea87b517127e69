// The platform layer under config/file_io.cpp: each function is one system
// call (or the platform's one equivalent), reporting failure by its result
// and the system's error code (LastError()); every rule of a load or save is
// in file_io.cpp. file_io_linux.cpp and file_io_win32.cpp implement it.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#include "config/file_io.h"

namespace ini::sys {

// An open file: a descriptor on POSIX, a HANDLE on Windows.
using Handle = std::intptr_t;
inline constexpr Handle kNoHandle = -1;

// Names as the platform's file functions take them: UTF-16 on Windows, bytes
// on Linux.
#ifdef _WIN32
using PathChar = wchar_t;
inline constexpr bool kNamelessFiles = false;
#else
using PathChar = char;
inline constexpr bool kNamelessFiles = true;  // O_TMPFILE, where the file system has it
#endif
using Path = std::basic_string<PathChar>;

// The platform's table of error codes: one per failure from kNotFound on,
// in the order of Failure, and other codes that stand for one of them.
template <std::size_t N, std::size_t M>
struct CodeTable {
    unsigned long codes[N];
    std::pair<unsigned long, Failure> aliases[M];

    constexpr bool IsOneCodePerFailure() const {
        return N + 1 == kFailureCount && std::all_of(codes, codes + N, [&](unsigned long code) {
                   return std::count(codes, codes + N, code) == 1;
               });
    }
    unsigned long Code(Failure failure) const {
        return failure == Failure::kOther ? 0 : codes[static_cast<std::size_t>(failure) - 1];
    }
    Failure FailureOf(unsigned long code) const {
        const auto* at = std::find(codes, codes + N, code);
        const auto* alias =
            std::find_if(aliases, aliases + M, [&](const auto& a) { return a.first == code; });
        return at != codes + N        ? static_cast<Failure>(at - codes + 1)
               : alias != aliases + M ? alias->second
                                      : Failure::kOther;
    }
};

unsigned long LastError();
// The file system keeps no locks (a lock may not even be tried there).
bool IsNoLocks(unsigned long code);

void Sleep(unsigned milliseconds);
// Random bits, for names no other file has.
bool Random(std::uint64_t& bits);
// The largest file this process may write (RLIMIT_FSIZE on POSIX).
std::uint64_t FileSizeLimit();
std::uint32_t UserId();  // the process's user, as files' owners are told

// A folder: held open on Linux, its full path on Windows.
struct Folder {
    Handle handle = kNoHandle;
    Path path;
};
// Where a walk of `path` (in the ANSI code page) starts: the root or the
// current folder, and the path. Windows follows every link itself, so there
// the folder is that of the file's final path and the rest its name.
bool Start(const char* path, Folder& folder, Path& rest);
// The entry `name` of the folder, not following a link: to ask about, or to
// walk into.
Handle OpenEntry(const Folder& folder, const Path& name);
// The text of a link that OpenEntry opened.
bool ReadLink(Handle link, Path& target);

enum class Kind { kRegular, kDirectory, kLink, kOther };  // Windows shows no links
struct Info {
    Kind kind = Kind::kOther;
    bool writable = false;        // a write permission bit, or no read-only attribute
    bool othersMayWrite = false;  // a group or other write permission bit
    std::uint32_t owner = 0;
    std::uint64_t size = 0;
};
// The entry `name` of the folder itself (a link is not followed).
bool NameInfo(const Folder& folder, const Path& name, Info& info);
bool HandleInfo(Handle file, Info& info);

enum class Mode { kRead, kWrite, kReadWrite };
// An existing file. Other programs (a running game) may go on reading and
// writing it. Never follows a link, never blocks on a FIFO.
Handle Open(const Folder& folder, const Path& name, Mode mode);
// A new file for reading and writing, its owner's alone when `owned`: as
// `name`, which must not exist, or nameless for an empty `name`.
Handle CreateTemp(const Folder& folder, const Path& name, bool owned);
// Gives a file that CreateTemp made without a name the name `name`.
bool GiveName(Handle file, const Folder& folder, const Path& name);
bool Close(Handle file);

enum class Lock { kShared, kExclusive };
// Locks the whole file without waiting: false, with a busy code, while
// another open file holds a lock that conflicts. Released by Close.
bool TryLock(Handle file, Lock lock);
// Gives the new file `to` the owner, permissions and access list of the file
// `from`, and on Linux its user attributes (or fails), both in `folder` and
// open; `to` may have no name yet on Linux.
bool CopyAccess(const Folder& folder, const Path& from, Handle fromFile, const Path& to,
                Handle toFile);

// Reads from the current position: bytes read, 0 at the end, -1 on error.
std::ptrdiff_t Read(Handle file, char* buffer, std::size_t size);
// Writes at `offset`: the bytes written (some of `data`, never none), or -1.
std::ptrdiff_t WriteAt(Handle file, std::uint64_t offset, std::string_view data);
// Cuts or extends the file to `size` bytes.
bool Truncate(Handle file, std::uint64_t size);
bool Flush(Handle file);
// The file system of an open file.
struct Disk {
    bool copiesOnWrite = false;   // rewritten bytes take new blocks
    std::uint64_t available = 0;  // bytes free for the user
};
bool DiskOf(Handle file, Disk& disk);

// Puts the file `from` in the place of `to`, in one step, written through.
bool Rename(const Folder& folder, const Path& from, const Path& to);
bool Remove(const Folder& folder, const Path& name);
bool FlushFolder(const Folder& folder);

}  // namespace ini::sys
