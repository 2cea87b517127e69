// A save replaces the file by rename: a new file, made without a name where
// the system can and its owner's alone when it replaces one, is made the old
// file's like in access (sys::CreateTemp), then takes the text, flushed;
// then its random name, and it is renamed over the file in one step; then
// the folder is flushed. A crash leaves the old file or the new one, and at
// worst a "<name>.<random>.tmp" beside it.
//
// Where the folder forbids new files, the new file cannot be given the old
// one's owner, group or access, or the file may not be replaced (a file
// mounted on its name, a holder on Windows), it is rewritten in place under
// an exclusive lock: the new text over the old, flushed, then cut to its
// length and flushed; on any failure the old bytes are put back, and a
// failure of that too is told as a damaged file. A crash leaves at worst the
// new text's front over the old text, never a cut file.
#include "config/file_io.h"

#include <algorithm>
#include <string_view>

#include "config/file_sys.h"

namespace ini {

namespace {

using sys::File;
using sys::Handle;
using sys::Path;
using sys::Place;

// A failed step's reason: the store's own refusal, or the last system call's.
bool Fail(Error& error, Failure failure, unsigned long code = 0) {
    error = {failure, code};
    return false;
}
bool Fail(Error& error) { return Fail(error, FailureOf(sys::LastError()), sys::LastError()); }

bool OpenPlace(const char* path, Place& place, Error& error) {
    if (path == nullptr || *path == '\0') {
        return Fail(error, Failure::kNotFound);
    }
    return sys::OpenPlace(path, place) || Fail(error);
}

// Why a file cannot be opened in `mode` as the config file, or kOther. A
// file too large to read may still be replaced.
Failure Refusal(const sys::Info& info, sys::Mode mode) {
    if (info.kind != sys::Kind::kRegular) {
        return info.kind == sys::Kind::kDirectory ? Failure::kIsDirectory : Failure::kNotAFile;
    }
    if (mode == sys::Mode::kRead) {
        return info.size > kMaxFileSize ? Failure::kTooLarge : Failure::kOther;
    }
    return info.writable ? Failure::kOther : Failure::kReadOnly;
}

// Opens the file after checking what it is, so that a FIFO or device is
// never opened, then checks the open file again, since the name may have
// been given to another between the two.
bool OpenChecked(const Place& place, sys::Mode mode, File& file, sys::Info& info, Error& error) {
    if (!sys::NameInfo(place, info)) {
        return Fail(error);
    }
    if (const Failure refusal = Refusal(info, mode); refusal != Failure::kOther) {
        return Fail(error, refusal);
    }
    file.Reset(sys::Open(place, mode));
    if (!file.IsOpen() || !sys::HandleInfo(file.get(), info)) {
        return Fail(error);
    }
    const Failure refusal = Refusal(info, mode);
    return refusal == Failure::kOther || Fail(error, refusal);
}

// Opens the file in `mode` under a lock (shared for reading), waiting at
// most kLockWaitMs for another program to release a conflicting one, and
// reads it whole: a byte more than its size when opened tells a file that
// grew since.
bool OpenAndRead(const Place& place, sys::Mode mode, File& file, std::string& bytes, Error& error) {
    sys::Info info;
    if (!OpenChecked(place, mode, file, info, error)) {
        return false;
    }
    const sys::Lock lock = mode == sys::Mode::kRead ? sys::Lock::kShared : sys::Lock::kExclusive;
    for (unsigned waited = 0; !sys::TryLock(file.get(), lock); waited += kLockRetryMs) {
        if (FailureOf(sys::LastError()) != Failure::kBusy) {
            return Fail(error);
        }
        if (waited >= kLockWaitMs) {
            return Fail(error, Failure::kBusy);
        }
        sys::Sleep(kLockRetryMs);
    }
    constexpr auto kLimit = static_cast<std::size_t>(kMaxFileSize);
    bytes.resize(static_cast<std::size_t>(std::min<std::uint64_t>(info.size, kLimit)) + 1);
    std::size_t used = 0;
    for (std::ptrdiff_t n = 1; n > 0; used += static_cast<std::size_t>(n)) {
        if (used == bytes.size()) {
            if (used > kLimit) {
                return Fail(error, Failure::kTooLarge);
            }
            bytes.resize(std::min(2 * used, kLimit + 1));
        }
        n = sys::Read(file.get(), bytes.data() + used, bytes.size() - used);
        if (n < 0) {
            return Fail(error);
        }
    }
    bytes.resize(used);
    return true;
}

bool WriteAll(Handle file, std::string_view data) {
    for (std::size_t written = 0; written < data.size();) {
        const std::ptrdiff_t n = sys::WriteAt(file, written, data.substr(written));
        if (n < 0) {
            return false;
        }
        written += static_cast<std::size_t>(n);
    }
    return true;
}

// The save by rename. `old` is the file to replace, open, or none.
// `refused`: the new file could not be made beside the old one, made its
// like, or put in its place; a rewrite in place may do what this cannot.
bool ReplaceByRename(const Place& place, File& old, const std::string& bytes, bool& refused,
                     Error& error) {
    std::uint64_t bits = 0;
    if (!sys::Random(bits)) {
        return Fail(error);
    }
    // "<name>.<16 hex digits>.tmp": a name that no other file has.
    Path tempName = place.name + sys::PathChar('.');
    for (int i = 0; i < 16; ++i, bits >>= 4) {
        tempName += static_cast<sys::PathChar>("0123456789abcdef"[bits & 15]);
    }
    tempName.append({'.', 't', 'm', 'p'});
    File temp;
    const bool made = sys::CreateTemp(place, tempName, old.get(), temp);
    bool done = made && WriteAll(temp.get(), bytes) && sys::Flush(temp.get()) &&
                sys::GiveName(temp.get(), place, tempName);
    refused = !made;
    if (done) {
        old.Reset();  // Wine refuses to replace a file that any handle holds
        done = sys::Rename(place, tempName);
        refused = !done;
    }
    if (!done) {
        Fail(error);
        if (temp.IsOpen()) {
            temp.Reset();
            sys::Remove(place, tempName);  // none, if it never had its name
        }
    }
    return done;  // after a good flush, closing has nothing left to report
}

bool RewriteInPlace(const Place& place, const std::string& bytes, Error& error) {
    File file;
    std::string old;
    if (!OpenAndRead(place, sys::Mode::kReadWrite, file, old, error)) {
        return false;
    }
    // Putting the old bytes back must not meet the size limit either.
    if (old.size() > sys::FileSizeLimit()) {
        return Fail(error, Failure::kTooLarge);
    }
    // A file system that copies on write (btrfs) takes new blocks for each
    // byte rewritten or put back, and near full fails writes well before its
    // free count is zero: room for four copies of the text and a margin.
    constexpr std::uint64_t kMargin = std::uint64_t{16} << 20;
    if (sys::RewriteRoom(file.get()) < 4 * std::max(old.size(), bytes.size()) + kMargin) {
        return Fail(error, Failure::kDiskFull);
    }
    if (WriteAll(file.get(), bytes) && sys::Flush(file.get()) &&
        (bytes.size() >= old.size() ||
         (sys::Truncate(file.get(), bytes.size()) && sys::Flush(file.get())))) {
        return true;  // after a good flush, closing has nothing left to report
    }
    // Written from the start, the old bytes cover all but a longer text's end.
    Fail(error);
    if (WriteAll(file.get(), old) &&
        (bytes.size() <= old.size() || sys::Truncate(file.get(), old.size())) &&
        sys::Flush(file.get())) {
        return false;  // the old bytes are back
    }
    return Fail(error, Failure::kDamaged);
}

}  // namespace

bool ReadFile(const char* path, std::string& bytes, Error& error) {
    Place place;
    File file;
    return OpenPlace(path, place, error) &&
           OpenAndRead(place, sys::Mode::kRead, file, bytes, error);
}

bool WriteFile(const char* path, const std::string& bytes, Error& error) {
    // A write past the process's limit would end it with a signal.
    if (bytes.size() > kMaxFileSize || bytes.size() > sys::FileSizeLimit()) {
        return Fail(error, Failure::kTooLarge);
    }
    Place place;
    if (!OpenPlace(path, place, error)) {
        return false;
    }
    // The file must be one we may write, whichever way it is then saved.
    sys::Info info;
    File old;
    if (!OpenChecked(place, sys::Mode::kWrite, old, info, error) &&
        error.failure != Failure::kNotFound) {
        return false;
    }
    bool refused = false;
    if (ReplaceByRename(place, old, bytes, refused, error)) {
        return true;
    }
    // Only the system's refusal of the new file sends the save in place.
    const Error refusal = error;
    if (!refused || (refusal.failure != Failure::kNoPermission &&
                     refusal.failure != Failure::kReadOnly && refusal.failure != Failure::kBusy)) {
        return false;
    }
    const bool rewritten = RewriteInPlace(place, bytes, error);
    if (!rewritten && error.failure == Failure::kNotFound) {
        error = refusal;  // nothing there to rewrite: the refusal is the reason
    }
    return rewritten;
}

}  // namespace ini
