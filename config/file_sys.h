// The platform layer under config/file_io.cpp: one small operation per
// system call, each reporting failure by its result and the system's error
// code (LastError()). file_io_posix.cpp and file_io_win32.cpp implement it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "config/file_io.h"

namespace ini::sys {

// Failures the layer above names itself, as the platform's error codes.
enum class Failure {
    kNotFound,     // no file at the path
    kIsDirectory,  // a directory stands where a file is wanted
    kNotAFile,     // a FIFO, device, socket or a file of a pseudo file system
    kReadOnly,     // no write permission bit or read-only attribute
    kTooLarge,     // larger than kMaxFileSize
};
unsigned long Code(Failure failure);
unsigned long LastError();
// No file exists at the path.
bool IsNotFound(unsigned long code);
// The folder forbids creating a file in it.
bool IsPermission(unsigned long code);
// Another program's open handle forbids replacing the file (Windows).
bool IsSharing(unsigned long code);

// Characters that end a folder part of a path.
extern const char* const kSeparators;
unsigned long ProcessId();

// Follows symbolic links to the path of the file they finally name, which
// need not exist yet. A link is followed only when it belongs to the user
// running the program or to the owner of its folder (a link planted by
// someone else is refused, EACCES).
bool ResolveLinks(const char* path, std::string& resolved);

enum class Kind { kRegular, kDirectory, kOther };
struct Info {
    Kind kind = Kind::kOther;
    bool writable = false;  // a write permission bit, or no read-only attribute
    std::uint64_t size = 0;
};
// The file at `path` itself (a link is not followed); false with the error
// code, kNotFound when nothing is there.
bool PathInfo(const std::string& path, Info& info);
// The file open with write access (Open's kReadWrite or kWrite); a file of
// a pseudo file system counts as kOther.
bool HandleInfo(Handle file, Info& info);

enum class Mode {
    kReadWrite,  // an existing file, for reading (opened with write access)
    kWrite,      // an existing file, for writing, shared with other programs
    kRead,       // an existing file, for reading only
    kCreate,     // a new file that must not exist yet, private to its creator
};
// Never follows a link in the last component, never blocks on a FIFO.
Handle Open(const std::string& path, Mode mode);
bool Close(Handle file);
// An exclusive lock on the whole file; with `wait` false, fails at once when
// another open file holds it.
bool Lock(Handle file, bool wait);
// True while `path` still names the open file.
bool StillNamed(Handle file, const std::string& path);
// Gives `temp` the owner, permissions or attributes of `target`.
bool CopyAccess(Handle target, const std::string& targetPath, Handle temp,
                const std::string& tempPath);

std::ptrdiff_t Read(Handle file, char* buffer, std::size_t size);
bool Write(Handle file, const char* data, std::size_t size);
// Makes sure the disk has room for `size` bytes of the file without changing
// its bytes; on failure the file is as before.
bool Reserve(Handle file, std::uint64_t size);
// Cuts or extends the file to `size` bytes.
bool Truncate(Handle file, std::uint64_t size);
bool Flush(Handle file);

// Puts `temp` in the place of `target`, in one step; `exists` says whether
// the target existed when the save began.
bool Replace(const std::string& temp, const std::string& target, bool exists);
bool Remove(const std::string& path);
void SyncFolder(const std::string& dir);
// Names in folder `dir` ("" for the current one) that start with `prefix`.
void List(const std::string& dir, const std::string& prefix, std::vector<std::string>& names);

}  // namespace ini::sys
