// ReadFile and WriteFile: the rules of reading and saving a file.
//
// A save replaces the file by rename:
//   1. make a new file, made without a name where the system can, and its
//      owner's alone when it is to replace a file whose text may be private;
//   2. give it the old file's owner, permissions and attributes;
//   3. write the text and flush it to disk;
//   4. give the new file a random name and rename it over the file, which
//      the system does in one step;
//   5. flush the folder.
// A crash leaves the old file or the new one, and at worst a
// "<name>.<random>.tmp" beside it: where the system makes no nameless files,
// or between the two calls of step 4.
//
// Where the folder forbids new files, or the file may not be replaced (a file
// mounted on its name, a holder on Windows), it is rewritten in place under
// an exclusive lock: the new text over the old, flushed, then cut to its
// length and flushed; on any failure the old bytes are put back. A crash
// leaves at worst the new text's front over the old text, never a cut file.
#include "config/file_io.h"

#include <algorithm>
#include <string_view>

#include "config/file_sys.h"

namespace ini {

namespace {

using sys::Handle;
using sys::Path;

// An open file, closed (and so unlocked) when it goes.
class File {
public:
    explicit File(Handle handle = sys::kNoHandle) : m_handle(handle) {}
    ~File() { Reset(); }
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    Handle get() const { return m_handle; }
    bool IsOpen() const { return m_handle != sys::kNoHandle; }
    // Closes the file, and holds `handle` instead.
    void Reset(Handle handle = sys::kNoHandle) {
        if (IsOpen()) {
            sys::Close(m_handle);
        }
        m_handle = handle;
    }

private:
    Handle m_handle;
};

// The folder of the file a path names, and the file's name in it.
struct Place {
    Place() = default;
    ~Place() { File closed(folder.handle); }
    Place(const Place&) = delete;
    Place& operator=(const Place&) = delete;

    sys::Folder folder;
    Path name;
};

// A failed step's error code, for the result of ReadFile or WriteFile.
bool Fail(unsigned long& error, unsigned long code) {
    error = code;
    return false;
}
bool Fail(unsigned long& error) { return Fail(error, sys::LastError()); }
bool Fail(unsigned long& error, Failure failure) { return Fail(error, CodeOf(failure)); }

bool OpenPlace(const char* path, Place& place, unsigned long& error) {
    if (path == nullptr || *path == '\0') {
        return Fail(error, Failure::kNotFound);
    }
    return sys::OpenFolder(path, place.folder, place.name) || Fail(error);
}

// Why a file cannot be opened in `mode` as the config file, or 0. A file
// too large to read may still be replaced.
unsigned long Refusal(const sys::Info& info, sys::Mode mode) {
    if (info.kind != sys::Kind::kRegular) {
        return CodeOf(info.kind == sys::Kind::kDirectory ? Failure::kIsDirectory
                                                         : Failure::kNotAFile);
    }
    if (mode == sys::Mode::kRead) {
        return info.size > kMaxFileSize ? CodeOf(Failure::kTooLarge) : 0;
    }
    return info.writable ? 0 : CodeOf(Failure::kReadOnly);
}

// Opens the file after checking what it is, so that a FIFO or device is
// never opened, then checks the open file again, since the name may have
// been given to another between the two.
bool OpenChecked(const Place& place, sys::Mode mode, File& file, sys::Info& info,
                 unsigned long& error) {
    if (!sys::NameInfo(place.folder, place.name, info)) {
        return Fail(error);
    }
    if (const unsigned long code = Refusal(info, mode); code != 0) {
        return Fail(error, code);
    }
    file.Reset(sys::Open(place.folder, place.name, mode));
    if (!file.IsOpen() || !sys::HandleInfo(file.get(), info)) {
        return Fail(error);
    }
    if (const unsigned long code = Refusal(info, mode); code != 0) {
        file.Reset();
        return Fail(error, code);
    }
    return true;
}

// Takes the lock, waiting at most kLockWaitMs for another program to
// release a conflicting one. A file system without locks reads and writes
// unlocked.
bool LockWithin(Handle file, sys::Lock lock, unsigned long& error) {
    for (unsigned waited = 0;; waited += kLockRetryMs) {
        if (sys::TryLock(file, lock) || !sys::IsLockHeld(sys::LastError())) {
            return true;
        }
        if (waited >= kLockWaitMs) {
            return Fail(error, Failure::kBusy);
        }
        sys::Sleep(kLockRetryMs);
    }
}

// Reads the open file from its start to its end. `size` is its size when it
// was opened; a byte more tells a file that grew since.
bool ReadAll(Handle file, std::uint64_t size, std::string& bytes, unsigned long& error) {
    constexpr auto kLimit = static_cast<std::size_t>(kMaxFileSize);
    bytes.resize(static_cast<std::size_t>(std::min<std::uint64_t>(size, kLimit)) + 1);
    std::size_t used = 0;
    for (std::ptrdiff_t n = 1; n > 0; used += static_cast<std::size_t>(n)) {
        if (used == bytes.size()) {
            if (used > kLimit) {
                return Fail(error, Failure::kTooLarge);
            }
            bytes.resize(std::min(2 * used, kLimit + 1));
        }
        n = sys::Read(file, bytes.data() + used, bytes.size() - used);
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

// "<name>.<16 hex digits>.tmp": a name that no other file has.
Path TempName(const Path& name) {
    constexpr char kDigits[] = "0123456789abcdef";
    Path temp = name + sys::PathChar('.');
    for (std::uint64_t bits = sys::Random(), i = 0; i < 16; ++i, bits >>= 4) {
        temp += static_cast<sys::PathChar>(kDigits[bits & 15]);
    }
    return temp.append({'.', 't', 'm', 'p'});
}

// Steps 1 to 5 of a save by rename. `old` is the file to replace, open, or
// none.
bool ReplaceByRename(const Place& place, File& old, const std::string& bytes,
                     unsigned long& error) {
    const Path tempName = TempName(place.name);
    bool named = false;  // whether the new file has its name yet
    File temp(sys::CreateTemp(place.folder, tempName, old.IsOpen(), named));
    if (!temp.IsOpen()) {
        return Fail(error);
    }
    bool done =
        !old.IsOpen() || sys::CopyAccess(place.folder, place.name, old.get(), tempName, temp.get());
    old.Reset();  // Wine refuses to replace a file that any handle holds
    done = done && WriteAll(temp.get(), bytes) && sys::Flush(temp.get());
    if (done && !named) {
        done = named = sys::GiveName(temp.get(), place.folder, tempName);
    }
    done = done && sys::Rename(place.folder, tempName, place.name);
    const unsigned long code = sys::LastError();
    temp.Reset();  // after a good flush, closing has nothing left to report
    if (!done) {
        if (named) {
            sys::Remove(place.folder, tempName);
        }
        return Fail(error, code);
    }
    // The new file is in place: a failed flush of the folder cannot undo
    // that, and failing here would tell the caller the old file is there.
    sys::FlushFolder(place.folder);
    return true;
}

// The rewrite in place, for a file that cannot be replaced by rename.
bool RewriteInPlace(const Place& place, const std::string& bytes, unsigned long& error) {
    File file;
    sys::Info info;
    std::string old;
    if (!OpenChecked(place, sys::Mode::kReadWrite, file, info, error) ||
        !LockWithin(file.get(), sys::Lock::kExclusive, error) ||
        !ReadAll(file.get(), info.size, old, error)) {
        return false;
    }
    // Putting the old bytes back must not meet the size limit either.
    if (old.size() > sys::FileSizeLimit()) {
        return Fail(error, Failure::kTooLarge);
    }
    // A file system that copies on write (btrfs) takes new blocks for every
    // byte rewritten and again for the old bytes put back, and near full it
    // fails writes well before its free count reaches zero: there a rewrite
    // goes ahead only with room for four copies of the text and a margin.
    constexpr std::uint64_t kMargin = std::uint64_t{16} << 20;
    sys::Disk disk;
    if (sys::DiskOf(file.get(), disk) && disk.copiesOnWrite &&
        disk.available < 4 * std::max(old.size(), bytes.size()) + kMargin) {
        return Fail(error, Failure::kDiskFull);
    }
    if (WriteAll(file.get(), bytes) && sys::Flush(file.get()) &&
        (bytes.size() >= old.size() ||
         (sys::Truncate(file.get(), bytes.size()) && sys::Flush(file.get())))) {
        return true;  // after a good flush, closing has nothing left to report
    }
    const unsigned long code = sys::LastError();
    if (WriteAll(file.get(), old) && sys::Truncate(file.get(), old.size())) {
        sys::Flush(file.get());  // the old bytes are back
    }
    return Fail(error, code);
}

}  // namespace

bool ReadFile(const char* path, std::string& bytes, unsigned long& error) {
    Place place;
    File file;
    sys::Info info;
    return OpenPlace(path, place, error) &&
           OpenChecked(place, sys::Mode::kRead, file, info, error) &&
           LockWithin(file.get(), sys::Lock::kShared, error) &&
           ReadAll(file.get(), info.size, bytes, error);
}

bool WriteFile(const char* path, const std::string& bytes, unsigned long& error) {
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
    const bool exists = sys::NameInfo(place.folder, place.name, info);
    if (!exists && FailureOf(sys::LastError()) != Failure::kNotFound) {
        return Fail(error);
    }
    if (exists && !OpenChecked(place, sys::Mode::kWrite, old, info, error)) {
        return false;
    }
    if (ReplaceByRename(place, old, bytes, error)) {
        return true;
    }
    // No new file may be made beside it, or it may not be replaced.
    if (!sys::IsReplaceRefused(error) && !(exists && sys::IsNoPermission(error))) {
        return false;
    }
    const unsigned long refused = error;
    if (RewriteInPlace(place, bytes, error)) {
        return true;
    }
    if (FailureOf(error) == Failure::kNotFound) {
        error = refused;  // nothing there to rewrite: the refusal is the reason
    }
    return false;
}

}  // namespace ini
