// The platform layer under config/file_io.cpp: each function is one system
// call (or the platform's one equivalent), reporting failure by its result
// and the system's error code (LastError()). The rules of a save are all in
// file_io.cpp. file_io_linux.cpp and file_io_win32.cpp implement it.
#pragma once

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
#else
using PathChar = char;
#endif
using Path = std::basic_string<PathChar>;

// The platform's table of error codes: one per failure from kNotFound on,
// in the order of Failure, and other codes that stand for one of them.
template <std::size_t N, std::size_t M>
struct CodeTable {
    unsigned long codes[N];
    std::pair<unsigned long, Failure> aliases[M];

    constexpr bool IsOneCodePerFailure() const {
        for (std::size_t i = 0; i < N; ++i) {
            for (std::size_t j = 0; j < i; ++j) {
                if (codes[i] == codes[j]) {
                    return false;
                }
            }
        }
        return N + 1 == kFailureCount;
    }
    unsigned long Code(Failure failure) const {
        return failure == Failure::kOther ? 0 : codes[static_cast<std::size_t>(failure) - 1];
    }
    Failure FailureOf(unsigned long code) const {
        for (std::size_t i = 0; i < N; ++i) {
            if (codes[i] == code) {
                return static_cast<Failure>(i + 1);
            }
        }
        for (const auto& [alias, failure] : aliases) {
            if (alias == code) {
                return failure;
            }
        }
        return Failure::kOther;
    }
};

unsigned long LastError();
// The folder forbids creating a file in it.
bool IsNoPermission(unsigned long code);
// The file cannot be replaced by another, but may be rewritten: a file
// mounted on its name (POSIX), a holder that forbids deleting it (Windows).
bool IsReplaceRefused(unsigned long code);
// Another open file holds a lock that conflicts with the one asked for.
bool IsLockHeld(unsigned long code);

void Sleep(unsigned milliseconds);
// Random bits, for names no other file has.
std::uint64_t Random();
// The largest file this process may write (RLIMIT_FSIZE on POSIX).
std::uint64_t FileSizeLimit();

// The folder of a file: held open on Linux, so that no name on the way can
// change once checked; its full path on Windows.
struct Folder {
    Handle handle = kNoHandle;
    Path path;
};
// Finds the folder of the file that `path` (in the ANSI code page) names,
// and the file's name in it, which need not exist; Close closes the folder.
// Links are followed wherever they stand in the path, but on Linux only
// those the running user or root owns: another user's link would let him
// choose which file this one overwrites, so it is refused (EACCES), dangling
// or not. Windows cannot tell a link's owner, and refuses a dangling link,
// since where it leads cannot be seen.
bool OpenFolder(const char* path, Folder& folder, Path& name);

enum class Kind { kRegular, kDirectory, kOther };
struct Info {
    Kind kind = Kind::kOther;
    bool writable = false;  // a write permission bit, or no read-only attribute
    std::uint64_t size = 0;
};
// The entry `name` of the folder itself (a link is not followed).
bool NameInfo(const Folder& folder, const Path& name, Info& info);
// The open file; a file of a pseudo file system counts as kOther.
bool HandleInfo(Handle file, Info& info);

enum class Mode { kRead, kWrite, kReadWrite };
// An existing file. Other programs (a running game) may go on reading and
// writing it. Never follows a link, never blocks on a FIFO.
Handle Open(const Folder& folder, const Path& name, Mode mode);
// A new file for reading and writing, its owner's alone when `owned`: made
// without a name where the system can (`named` false), else as `name`,
// which must not exist (`named` true).
Handle CreateTemp(const Folder& folder, const Path& name, bool owned, bool& named);
// Gives a file that CreateTemp made without a name the name `name`.
bool GiveName(Handle file, const Folder& folder, const Path& name);
bool Close(Handle file);

enum class Lock { kShared, kExclusive };
// Locks the whole file without waiting: false, with IsLockHeld, while
// another open file holds a lock that conflicts. Released by Close.
bool TryLock(Handle file, Lock lock);
// Gives the new file `to` the owner, permissions and attributes of the file
// `from` (on Linux its access control list and user attributes, or fails),
// both in `folder` and open; `to` may have no name yet on Linux.
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
