// The platform layer under config/file_io.cpp: one small operation per
// system call, each reporting failure by its result and the system's error
// code (LastError()). file_io_posix.cpp and file_io_win32.cpp implement it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "config/file_io.h"

namespace ini::sys {

// Paths as the platform's file functions take them: UTF-16 on Windows, from
// the first call to the last; bytes on POSIX.
#ifdef _WIN32
using PathChar = wchar_t;
#else
using PathChar = char;
#endif
using Path = std::basic_string<PathChar>;

// The path a caller names (an ASCII name relative to the current folder, in
// the program) as a platform path.
Path ToPath(const char* path);
// ASCII text as a path.
inline Path Ascii(std::string_view text) {
    Path path(text.begin(), text.end());
    return path;
}
// Characters that end a folder part of a path.
extern const PathChar* const kSeparators;

// Failures the layer above names itself, as the platform's error codes.
enum class Failure {
    kNotFound,     // no file at the path
    kIsDirectory,  // a directory stands where a file is wanted
    kNotAFile,     // a FIFO, device, socket or a file of a pseudo file system
    kReadOnly,     // no write permission bit or read-only attribute
    kTooLarge,     // larger than kMaxFileSize
    kBusy,         // another program held a lock for longer than kLockWait
};
unsigned long Code(Failure failure);
unsigned long LastError();
// No file exists at the path.
bool IsNotFound(unsigned long code);
// The folder forbids creating a file in it.
bool IsNoPermission(unsigned long code);
// The file cannot be replaced by another, but may be rewritten: a file
// mounted on its name (POSIX), a holder that forbids deleting it (Windows).
bool IsReplaceRefused(unsigned long code);
// Another open file holds a lock that conflicts with the one asked for.
bool IsLockHeld(unsigned long code);

unsigned long ProcessId();
void Sleep(unsigned milliseconds);

// Follows symbolic links to the path of the file they finally name, which
// need not exist yet. A link is followed only when that gives nobody more
// than they have: when the running user owns it, or root does; any other
// link is refused (EACCES), also a dangling one.
bool ResolveLinks(const Path& path, Path& resolved);

enum class Kind { kRegular, kDirectory, kOther };
struct Info {
    Kind kind = Kind::kOther;
    bool writable = false;  // a write permission bit, or no read-only attribute
    std::uint64_t size = 0;
};
// The file at `path` itself (a link is not followed); false with the error
// code, kNotFound when nothing is there.
bool PathInfo(const Path& path, Info& info);
// The open file; a file of a pseudo file system counts as kOther.
bool HandleInfo(Handle file, Info& info);

enum class Mode {
    kRead,       // an existing file, for reading
    kWrite,      // an existing file, for writing
    kReadWrite,  // an existing file, for reading and writing
    kCreate,     // a new file that must not exist yet, for writing
};
// Every mode lets other programs (a running game) go on reading and writing
// the file, except kCreate's: a temporary file is its saver's alone. Never
// follows a link in the last component, never blocks on a FIFO.
Handle Open(const Path& path, Mode mode);
bool Close(Handle file);

enum class Lock { kShared, kExclusive };
// Locks the whole file without waiting: false, with IsLockHeld, while
// another open file holds a lock that conflicts. Released by Close.
bool TryLock(Handle file, Lock lock);
// True while `path` still names the open file.
bool StillNamed(Handle file, const Path& path);
// Gives `temp` the owner, permissions, attributes and extended attributes
// (access control lists among them) of `target`.
bool CopyAccess(Handle target, const Path& targetPath, Handle temp, const Path& tempPath);

// Reads from the current position: bytes read, 0 at the end, -1 on error.
std::ptrdiff_t Read(Handle file, char* buffer, std::size_t size);
// Writes at `offset` with one system call: the bytes written (some of
// `data`, never none), or -1 on error.
std::ptrdiff_t WriteAt(Handle file, std::uint64_t offset, std::string_view data);
// Makes sure the disk has room to write the first `size` bytes of the file,
// without changing its bytes; the file may grow to `size` with zeros.
bool Reserve(Handle file, std::uint64_t size);
// Cuts or extends the file to `size` bytes.
bool Truncate(Handle file, std::uint64_t size);
bool Flush(Handle file);
// Commits every change of the file's file system, which frees the blocks
// that a file system copying on write kept for the bytes rewritten.
void SyncFileSystem(Handle file);

// Puts `tempPath`, open as `temp` (and locked until the caller closes it),
// in the place of `target` in one step; `exists` says whether the target
// existed when the save began.
bool Replace(Handle temp, const Path& tempPath, const Path& target, bool exists);
bool Remove(const Path& path);
void SyncFolder(const Path& dir);
// Names in folder `dir` ("" for the current one) that start with `prefix`.
void List(const Path& dir, const Path& prefix, std::vector<Path>& names);

}  // namespace ini::sys
