// Whole files in and out: the file rules of Load and Save, written once over
// the small platform layer of config/file_sys.h.
#pragma once

#include <cstdint>
#include <string>

namespace ini {

// The largest file read or written; a larger one fails as too large.
inline constexpr std::uint64_t kMaxFileSize = std::uint64_t{1} << 20;

// How long a read or a rewrite in place waits for a lock that another
// program holds on the file, and how often it tries meanwhile. A save holds
// its lock for milliseconds; a window need not repaint in this time.
inline constexpr unsigned kLockWaitMs = 500;
inline constexpr unsigned kLockRetryMs = 20;

// What a failed load or save met, each told to the player in its own words.
enum class Failure {
    kOther,  // any other code: the system's reason tells it
    kNotFound,
    kIsDirectory,
    kNotAFile,      // a FIFO, device or socket
    kReadOnly,      // no write permission bit, or the read-only attribute
    kNoPermission,  // the system refuses the file or its folder to this user
    kLinkRefused,   // a link that may not be followed
    kTooLarge,      // larger than the store or the process may write
    kBusy,          // another program holds the file
    kInvalidText,   // text that the file format cannot hold
    kDiskFull,
    kQuota,
    kIoError,
    kDamaged,  // a rewrite in place failed, and so did putting the old bytes back
};

// Why a load or save failed: what it met, and the system's error code
// (errno on Linux, a Win32 code on Windows) where the system refused, or 0
// where the store refused by its own rules.
struct Error {
    Failure failure = Failure::kOther;
    unsigned long code = 0;
};

// The failure a system error code stands for; kOther for any other.
Failure FailureOf(unsigned long code);

// Reads the whole file at `path` under a shared lock. Fails, with its
// reason in `error`, on anything but a regular file of at most
// kMaxFileSize, a link that may not be followed, and a lock held for longer
// than kLockWaitMs.
bool ReadFile(const char* path, std::string& bytes, Error& error);

// Replaces the file at `path` (or at the end of its links) with `bytes`, or
// fails and leaves it as it was, with nothing beside it. Refuses a file
// without write permission (also for root), and more bytes than kMaxFileSize
// or the process's file size limit allows, before writing any.
bool WriteFile(const char* path, const std::string& bytes, Error& error);

}  // namespace ini
