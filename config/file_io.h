// Whole files in and out: the file rules of Load and Save, written once over
// the small platform layer of config/file_sys.h.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace ini {

// The largest file read or written; a larger one fails as too large.
inline constexpr std::uint64_t kMaxFileSize = std::uint64_t{1} << 20;

// How long a read or a rewrite in place waits for a lock that another
// program holds on the file, and how often it tries meanwhile.
inline constexpr unsigned kLockWaitMs = 3000;
inline constexpr unsigned kLockRetryMs = 25;

// Called between attempts while waiting for a lock (a dialog repaints).
using WaitHook = std::function<void()>;

// Reads the whole file at `path` under a shared lock. Fails, with the
// system's error code in `error`, on anything but a regular file of at most
// kMaxFileSize, a link that may not be followed, and a lock held for longer
// than kLockWaitMs.
bool ReadFile(const char* path, std::string& bytes, unsigned long& error,
              const WaitHook& wait = nullptr);

// Replaces the file at `path` (or at the end of its links) with `bytes`, or
// fails and leaves it as it was, with nothing beside it. Refuses a file
// without write permission (also for root), and more bytes than kMaxFileSize
// or the process's file size limit allows, before writing any.
bool WriteFile(const char* path, const std::string& bytes, unsigned long& error,
               const WaitHook& wait = nullptr);

// True when `code` says that a path names no file.
bool IsNotFound(unsigned long code);
// The error code of a document that the file format cannot hold.
unsigned long InvalidTextCode();

}  // namespace ini
