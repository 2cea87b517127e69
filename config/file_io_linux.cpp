// The Linux file layer: every name is looked up in its folder, held open,
// without following links. No call waits for what a signal could interrupt:
// a FIFO is opened without waiting, locks are tried, files are on disk.

#include <fcntl.h>
#include <linux/limits.h>
#include <linux/magic.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <iterator>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "config/file_io.h"
#include "config/file_sys.h"

namespace ini::sys {

namespace {

int Fd(Handle file) { return static_cast<int>(file); }
int Fd(const Place& place) { return Fd(place.folder.get()); }

// openat(2), close-on-exec, never a controlling terminal.
int OpenAt(int dir, const char* name, int flags, mode_t mode = 0) {
    return ::openat(dir, name, flags | O_CLOEXEC | O_NOCTTY, mode);
}

// fstatat(2) of `name` in `dir` (a link not followed), or of `dir` for "".
bool Describe(int dir, const char* name, Info& info) {
    struct stat st {};
    if (::fstatat(dir, name, &st, AT_SYMLINK_NOFOLLOW | AT_EMPTY_PATH) != 0) {
        return false;
    }
    info.kind = S_ISREG(st.st_mode)   ? Kind::kRegular
                : S_ISDIR(st.st_mode) ? Kind::kDirectory
                                      : Kind::kOther;
    info.writable = (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) != 0;
    info.size = static_cast<std::uint64_t>(st.st_size);
    return true;
}

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
bool MayFollow(const struct stat& link, const struct stat& folder) {
    return link.st_uid == ::geteuid() || link.st_uid == 0 ||
           (link.st_uid == folder.st_uid && (folder.st_mode & (S_IWGRP | S_IWOTH)) == 0);
}

// The access control list and the user's own attributes (user.*) must come
// along, and a list the new file took from its folder's default must go
// where the old file has none; security labels come where the system lets
// them; trusted.* needs privileges and stays. A file system without lists
// or attributes (ramfs, vfat, exFAT, NTFS without acl, NFS) answers
// EOPNOTSUPP (= ENOTSUP) or ENODATA: it has none to copy.
bool CopyExtendedAttributes(int from, int to) {
    constexpr std::string_view kAcl = "system.posix_acl_access";
    const auto none = [] { return errno == EOPNOTSUPP || errno == ENODATA; };
    bool hasAcl = false;
    std::vector<char> names(XATTR_LIST_MAX);
    std::vector<char> value(XATTR_SIZE_MAX);
    const ssize_t size = ::flistxattr(from, names.data(), names.size());
    if (size < 0) {
        return none();
    }
    for (std::size_t at = 0; at < static_cast<std::size_t>(size);) {
        const std::string_view name(names.data() + at);
        at += name.size() + 1;
        hasAcl = hasAcl || name == kAcl;
        const bool required = name.starts_with("user.") || name == kAcl;
        if (!required && !name.starts_with("security.")) {
            continue;
        }
        const ssize_t length = ::fgetxattr(from, name.data(), value.data(), value.size());
        if ((length < 0 || ::fsetxattr(to, name.data(), value.data(),
                                       static_cast<std::size_t>(length), 0) != 0) &&
            required) {
            return false;
        }
    }
    return hasAcl || ::fremovexattr(to, kAcl.data()) == 0 || none();
}

// Makes the new file `to` identical to the old file `from` in access.
bool CopyAccess(int from, int to) {
    struct stat old {};
    struct stat now {};
    if (::fstat(from, &old) != 0 || ::fstat(to, &now) != 0) {
        return false;
    }
    // Only a privileged process gives a file away, and a user only to a
    // group of his own. Where the new file cannot have the old one's owner
    // and group (nor can an id that a user namespace does not map), it is
    // refused as EPERM: the file is then rewritten in place.
    if ((old.st_uid != now.st_uid || old.st_gid != now.st_gid) &&
        ::fchown(to, old.st_uid, old.st_gid) != 0) {
        errno = EPERM;
        return false;
    }
    // The access list before the bits, which would open an inherited list's
    // mask; the bits after the owner, whose change clears set-id bits.
    return CopyExtendedAttributes(from, to) && ::fchmod(to, old.st_mode & 07777) == 0;
}

}  // namespace

unsigned long LastError() { return static_cast<unsigned long>(errno); }

void Sleep(unsigned milliseconds) { ::usleep(milliseconds * 1000); }

// 8 bytes come whole or not at all.
bool Random(std::uint64_t& bits) { return ::getrandom(&bits, sizeof bits, 0) == sizeof bits; }

std::uint64_t FileSizeLimit() {
    rlimit limit{};
    const bool limited = ::getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY;
    return limited ? limit.rlim_cur : UINT64_MAX;
}

// One component at a time with the folder held open: a link is checked
// (MayFollow) before it is followed, and one swapped in later is not.
bool OpenPlace(const char* path, Place& place) {
    Path rest = path;
    File& dir = place.folder;
    dir.Reset(OpenAt(AT_FDCWD, rest.starts_with('/') ? "/" : ".", O_PATH | O_DIRECTORY));
    for (int links = 0; dir.IsOpen();) {
        place.name = NextComponent(rest);
        const int entry = OpenAt(Fd(dir.get()), place.name.c_str(), O_PATH | O_NOFOLLOW);
        if (entry < 0) {
            return rest.empty() && (errno == ENOENT || errno == ENOTDIR);  // no such file yet
        }
        struct stat info {};
        struct stat folder {};
        Path target(PATH_MAX, '\0');  // a link's text is shorter
        bool known = ::fstat(entry, &info) == 0;
        const bool link = known && S_ISLNK(info.st_mode);
        if (link) {
            const ssize_t n = ::readlinkat(entry, "", target.data(), target.size());
            target.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
            known = n > 0 && ::fstat(Fd(dir.get()), &folder) == 0;
        }
        if (known && !link && !rest.empty() && S_ISDIR(info.st_mode)) {
            dir.Reset(entry);  // walk on
            continue;
        }
        const int code = errno;
        ::close(entry);
        errno = code;
        if (!known || !link) {
            errno = known ? ENOENT : errno;  // a file on the way
            return known && rest.empty();    // or the file itself
        }
        if (!MayFollow(info, folder) || ++links > 40) {  // as many as the kernel follows
            errno = ELOOP;
            return false;
        }
        rest = target.append(rest.empty() ? 0 : 1, '/').append(rest);
    }
    return false;
}

bool NameInfo(const Place& place, Info& info) {
    return Describe(Fd(place), place.name.c_str(), info);
}

bool HandleInfo(Handle file, Info& info) { return Describe(Fd(file), "", info); }

Handle Open(const Place& place, Mode mode) {
    const int access = mode == Mode::kRead ? O_RDONLY : mode == Mode::kWrite ? O_WRONLY : O_RDWR;
    // O_NONBLOCK, which keeps a FIFO from blocking, changes nothing for a
    // file on disk.
    return OpenAt(Fd(place), place.name.c_str(), access | O_NOFOLLOW | O_NONBLOCK);
}

bool CreateTemp(const Place& place, const Path& name, Handle old, File& temp) {
    const mode_t mode = old != kNoHandle ? 0600 : 0666;
    // Nameless (O_TMPFILE) only where /proc can name it later.
    if (::faccessat(AT_FDCWD, "/proc/self/fd", F_OK, 0) == 0) {
        temp.Reset(OpenAt(Fd(place), ".", O_TMPFILE | O_RDWR, mode));
    }
    if (!temp.IsOpen()) {
        temp.Reset(OpenAt(Fd(place), name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW, mode));
    }
    return temp.IsOpen() && (old == kNoHandle || CopyAccess(Fd(old), Fd(temp.get())));
}

// A nameless file is named through /proc: linkat(2) names a file by its
// descriptor alone only for a process that may open any file.
bool GiveName(Handle file, const Place& place, const Path& name) {
    struct stat st {};
    if (::fstat(Fd(file), &st) == 0 && st.st_nlink > 0) {
        return true;
    }
    const std::string self = "/proc/self/fd/" + std::to_string(Fd(file));
    return ::linkat(AT_FDCWD, self.c_str(), Fd(place), name.c_str(), AT_SYMLINK_FOLLOW) == 0;
}

bool Close(Handle file) { return ::close(Fd(file)) == 0; }

// ENOLCK: NFS without its lock service; EOPNOTSUPP: a file system that
// refuses flock(2).
bool TryLock(Handle file, Lock lock) {
    return ::flock(Fd(file), (lock == Lock::kShared ? LOCK_SH : LOCK_EX) | LOCK_NB) == 0 ||
           errno == ENOLCK || errno == EOPNOTSUPP;
}

std::ptrdiff_t Read(Handle file, char* buffer, std::size_t size) {
    return ::read(Fd(file), buffer, size);
}

std::ptrdiff_t WriteAt(Handle file, std::uint64_t offset, std::string_view data) {
    const ssize_t n = ::pwrite(Fd(file), data.data(), data.size(), static_cast<off_t>(offset));
    if (n == 0 && !data.empty()) {
        errno = EIO;  // a write that makes no progress
        return -1;
    }
    return n;
}

bool Truncate(Handle file, std::uint64_t size) {
    return ::ftruncate(Fd(file), static_cast<off_t>(size)) == 0;
}

bool Flush(Handle file) { return ::fsync(Fd(file)) == 0; }

std::uint64_t RewriteRoom(Handle file) {
    struct statfs fs {};
    if (::fstatfs(Fd(file), &fs) != 0 ||
        static_cast<unsigned long>(fs.f_type) != BTRFS_SUPER_MAGIC) {
        return UINT64_MAX;
    }
    return static_cast<std::uint64_t>(fs.f_bavail) * static_cast<std::uint64_t>(fs.f_bsize);
}

// The new file is in place when renameat(2) succeeds: a failed flush of the
// folder cannot undo that. A folder held for a walk (O_PATH) cannot be
// flushed: it is opened again.
bool Rename(const Place& place, const Path& from) {
    if (::renameat(Fd(place), from.c_str(), Fd(place), place.name.c_str()) != 0) {
        return false;
    }
    const File dir(OpenAt(Fd(place), ".", O_RDONLY | O_DIRECTORY));
    if (dir.IsOpen()) {
        ::fsync(Fd(dir.get()));
    }
    return true;
}

bool Remove(const Place& place, const Path& name) {
    return ::unlinkat(Fd(place), name.c_str(), 0) == 0;
}

}  // namespace ini::sys

// EPERM is also the code of an immutable file, and of a new file that
// cannot take the old one's owner; EACCES is the system's refusal of the
// file or its folder. EBUSY is also rename(2)'s refusal to replace a file
// mounted on its name (as containers mount single files); EWOULDBLOCK, a
// lock held elsewhere.
ini::Failure ini::FailureOf(unsigned long code) {
    using F = Failure;
    constexpr std::pair<unsigned long, Failure> kFailures[] = {
        {ENOENT, F::kNotFound},    {ENOTDIR, F::kNotFound},  {EISDIR, F::kIsDirectory},
        {ENXIO, F::kNotAFile},     {EPERM, F::kReadOnly},    {EACCES, F::kNoPermission},
        {EROFS, F::kNoPermission}, {ELOOP, F::kLinkRefused}, {EFBIG, F::kTooLarge},
        {EBUSY, F::kBusy},         {ETXTBSY, F::kBusy},      {EWOULDBLOCK, F::kBusy},
        {ENOSPC, F::kDiskFull},    {EDQUOT, F::kQuota},      {EIO, F::kIoError}};
    const auto* at = std::find_if(std::begin(kFailures), std::end(kFailures),
                                  [&](const auto& entry) { return entry.first == code; });
    return at != std::end(kFailures) ? at->second : Failure::kOther;
}
