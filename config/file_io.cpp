// ReadFile and WriteFile: the rules of reading and saving a file.
//
// A save replaces the file by rename: a new file, made without a name where
// the system can and its owner's alone when it replaces one, is made the old
// file's like in access (sys::CopyAccess), then takes the text, flushed;
// then its random name, and it is renamed over the file in one step; then
// the folder is flushed. After any failure of a nameless file (none made, no
// /proc to name it) the save starts again with one made with its name. A
// crash leaves the old file or the new one, and at worst a
// "<name>.<random>.tmp" beside it.
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
#include <utility>

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
    void Swap(Handle& other) { std::swap(m_handle, other); }
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

// Takes the first component off `rest`: "/" for the root, else a name ("a//b"
// gives "a", leaving "b"); "." when none is left.
Path NextComponent(Path& rest) {
    const std::size_t end = rest.starts_with('/') ? 1 : std::min(rest.find('/'), rest.size());
    Path part(rest, 0, end);
    rest.erase(0, std::min(rest.find_first_not_of('/', end), rest.size()));
    return part.empty() ? Path(1, '.') : part;
}

// A link is followed when it belongs to the running user, to root, or to the
// owner of a folder no one else may write to (in a user namespace, root and
// every user not mapped there show one owner): another user's link would let
// him choose which file this one overwrites.
bool MayFollow(const sys::Info& link, const sys::Info& folder) {
    return link.owner == sys::UserId() || link.owner == 0 ||
           (link.owner == folder.owner && !folder.othersMayWrite);
}

// Finds the folder of the file that `path` names, and its name there (no
// such file yet, maybe), one component at a time with the folder held open:
// a link is checked before it is followed, and one swapped in later is not.
bool OpenPlace(const char* path, Place& place, unsigned long& error) {
    Path rest;
    if (path == nullptr || *path == '\0') {
        return Fail(error, Failure::kNotFound);
    }
    if (!sys::Start(path, place.folder, rest)) {
        return Fail(error);
    }
    for (int links = 0;;) {
        Path part = NextComponent(rest);
        File entry(sys::OpenEntry(place.folder, part));
        sys::Info info;
        const bool found = entry.IsOpen() && sys::HandleInfo(entry.get(), info);
        if (!found && (!rest.empty() || FailureOf(sys::LastError()) != Failure::kNotFound)) {
            return Fail(error);
        }
        if (found && info.kind == sys::Kind::kLink) {
            sys::Info folder;
            Path target;
            if (!sys::HandleInfo(place.folder.handle, folder) ||
                !sys::ReadLink(entry.get(), target)) {
                return Fail(error);
            }
            if (!MayFollow(info, folder) || ++links > 40) {  // as many as the kernel follows
                return Fail(error, Failure::kLinkRefused);
            }
            rest = target.append(rest.empty() ? 0 : 1, '/').append(rest);
        } else if (rest.empty()) {
            place.name = std::move(part);  // a file, or none yet
            return true;
        } else if (info.kind != sys::Kind::kDirectory) {
            return Fail(error, Failure::kNotFound);
        } else {
            entry.Swap(place.folder.handle);  // the previous folder is closed
        }
    }
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
// unlocked; any other failure to lock fails.
bool LockWithin(Handle file, sys::Lock lock, unsigned long& error) {
    for (unsigned waited = 0;; waited += kLockRetryMs) {
        if (sys::TryLock(file, lock) || sys::IsNoLocks(sys::LastError())) {
            return true;
        }
        if (FailureOf(sys::LastError()) != Failure::kBusy) {
            return Fail(error);
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
Path TempName(const Path& name, std::uint64_t bits) {
    Path temp = name + sys::PathChar('.');
    for (int i = 0; i < 16; ++i, bits >>= 4) {
        temp += static_cast<sys::PathChar>("0123456789abcdef"[bits & 15]);
    }
    return temp.append({'.', 't', 'm', 'p'});
}

// The save by rename. `old` is the file to replace, open, or none.
// `refused`: the new file could not be made beside the old one, made its
// like, or put in its place; a rewrite in place may do what this cannot.
bool ReplaceByRename(const Place& place, File& old, const std::string& bytes, bool& refused,
                     unsigned long& error) {
    std::uint64_t bits = 0;
    if (!sys::Random(bits)) {
        return Fail(error);
    }
    const Path tempName = TempName(place.name, bits);
    for (bool nameless = sys::kNamelessFiles;; nameless = false) {
        File temp(sys::CreateTemp(place.folder, nameless ? Path() : tempName, old.IsOpen()));
        const bool made =
            temp.IsOpen() && (!old.IsOpen() || sys::CopyAccess(place.folder, place.name, old.get(),
                                                               tempName, temp.get()));
        bool done = made && WriteAll(temp.get(), bytes) && sys::Flush(temp.get());
        if (nameless && !(done && sys::GiveName(temp.get(), place.folder, tempName))) {
            continue;  // then with its name from the start
        }
        const bool named = temp.IsOpen();
        refused = !made;
        if (done) {
            old.Reset();  // Wine refuses to replace a file that any handle holds
            done = sys::Rename(place.folder, tempName, place.name);
            refused = !done;
        }
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
    // A file system that copies on write (btrfs) takes new blocks for each
    // byte rewritten or put back, and near full fails writes well before its
    // free count is zero: room for four copies of the text and a margin.
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
    // Written from the start, the old bytes cover all but a longer text's end.
    const unsigned long code = sys::LastError();
    if (WriteAll(file.get(), old) &&
        (bytes.size() <= old.size() || sys::Truncate(file.get(), old.size())) &&
        sys::Flush(file.get())) {
        return Fail(error, code);  // the old bytes are back
    }
    return Fail(error, Failure::kDamaged);
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
    if (!OpenChecked(place, sys::Mode::kWrite, old, info, error) &&
        FailureOf(error) != Failure::kNotFound) {
        return false;
    }
    bool refused = false;
    if (ReplaceByRename(place, old, bytes, refused, error)) {
        return true;
    }
    // Only the system's refusal of the new file sends the save in place.
    const Failure refusal = FailureOf(error);
    if (!refused || (refusal != Failure::kNoPermission && refusal != Failure::kReadOnly &&
                     refusal != Failure::kBusy)) {
        return false;
    }
    const unsigned long refusedCode = error;
    const bool rewritten = RewriteInPlace(place, bytes, error);
    if (!rewritten && FailureOf(error) == Failure::kNotFound) {
        error = refusedCode;  // nothing there to rewrite: the refusal is the reason
    }
    return rewritten;
}

}  // namespace ini
