// Whole files in and out: the file rules of Load and Save, written once over
// the small platform layer of config/file_sys.h.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace ini {

// A file of the platform: a descriptor on POSIX, a HANDLE on Windows.
using Handle = std::intptr_t;
inline constexpr Handle kNoHandle = -1;

// The largest file read or written; a larger one fails as too large.
inline constexpr std::uint64_t kMaxFileSize = std::uint64_t{1} << 20;

// How long a read or a rewrite in place waits for a lock that another
// program holds on the file, and how often it tries meanwhile.
inline constexpr unsigned kLockWaitMs = 3000;
inline constexpr unsigned kLockRetryMs = 25;

// Called between attempts while waiting for a lock (a dialog repaints).
using WaitHook = std::function<void()>;

// Reads the whole file at `path` under a shared lock. Fails, with the
// system's error code in `error`, on a missing file, a directory, FIFO,
// device or a file on a pseudo file system, a file larger than kMaxFileSize,
// a link that may not be followed, and a lock held for longer than
// kLockWaitMs.
bool ReadFile(const char* path, std::string& bytes, unsigned long& error,
              const WaitHook& wait = nullptr);

// Replaces the file at `path` (or at the end of its trusted links) with
// `bytes`: through a locked temporary file beside it, flushed to disk, given
// the old file's access and put in its place in one step. Where that cannot
// be (the folder forbids creating files, or the file cannot be replaced), the
// file is rewritten in place under an exclusive lock, and on any failure its
// old bytes are put back. Refuses more than kMaxFileSize bytes and a file
// without write permission (also for root). On failure the file is as
// before and no temporary file is left.
bool WriteFile(const char* path, const std::string& bytes, unsigned long& error,
               const WaitHook& wait = nullptr);

// True when `code` says that a path names no file.
bool IsNotFound(unsigned long code);

}  // namespace ini
