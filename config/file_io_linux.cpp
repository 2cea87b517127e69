// The Linux file layer. A folder is held open, and every name is looked up
// in it without following links. No call here waits for what a signal could
// interrupt: a FIFO is opened without waiting, locks are tried, files are on
// disk.

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

#include <cerrno>
#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

#include "config/file_sys.h"

namespace ini::sys {

namespace {

int Fd(Handle file) { return static_cast<int>(file); }

// openat(2), close-on-exec, never a controlling terminal.
int OpenAt(int dir, const char* name, int flags, mode_t mode = 0) {
    return ::openat(dir, name, flags | O_CLOEXEC | O_NOCTTY, mode);
}

bool Describe(const struct stat& st, Info& info) {
    info.kind = S_ISREG(st.st_mode)   ? Kind::kRegular
                : S_ISDIR(st.st_mode) ? Kind::kDirectory
                : S_ISLNK(st.st_mode) ? Kind::kLink
                                      : Kind::kOther;
    info.writable = (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) != 0;
    info.othersMayWrite = (st.st_mode & (S_IWGRP | S_IWOTH)) != 0;
    info.owner = st.st_uid;
    info.size = static_cast<std::uint64_t>(st.st_size);
    return true;
}

// The access control list and the user's own attributes (user.*) must come
// along, and a list the new file took from its folder's default must go
// where the old file has none; security labels (security.*) come where the
// system lets them. Other names (trusted.*) need privileges and are not
// copied. A file system without lists or attributes (ramfs, vfat, exFAT,
// NTFS without acl, NFS) answers EOPNOTSUPP (ENOTSUP is the same code) or
// ENODATA: it has none to copy.
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

}  // namespace

unsigned long LastError() { return static_cast<unsigned long>(errno); }

// NFS without its lock service, or a file system that refuses flock(2).
bool IsNoLocks(unsigned long code) { return code == ENOLCK || code == EOPNOTSUPP; }

void Sleep(unsigned milliseconds) {
    const timespec time{static_cast<time_t>(milliseconds / 1000),
                        static_cast<long>(milliseconds % 1000) * 1000000L};
    ::nanosleep(&time, nullptr);
}

// 8 bytes come whole or not at all.
bool Random(std::uint64_t& bits) { return ::getrandom(&bits, sizeof bits, 0) == sizeof bits; }

std::uint64_t FileSizeLimit() {
    rlimit limit{};
    const bool limited = ::getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY;
    return limited ? limit.rlim_cur : UINT64_MAX;
}

std::uint32_t UserId() { return ::geteuid(); }

bool Start(const char* path, Folder& folder, Path& rest) {
    rest = path;
    folder.handle = OpenAt(AT_FDCWD, rest.starts_with('/') ? "/" : ".", O_PATH | O_DIRECTORY);
    return folder.handle >= 0;
}

Handle OpenEntry(const Folder& folder, const Path& name) {
    return OpenAt(Fd(folder.handle), name.c_str(), O_PATH | O_NOFOLLOW);
}

bool ReadLink(Handle link, Path& target) {
    target.resize(PATH_MAX);  // a link's text is shorter
    const ssize_t n = ::readlinkat(Fd(link), "", target.data(), target.size());
    target.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    return n > 0;
}

bool NameInfo(const Folder& folder, const Path& name, Info& info) {
    struct stat st {};
    return ::fstatat(Fd(folder.handle), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
           Describe(st, info);
}

bool HandleInfo(Handle file, Info& info) {
    struct stat st {};
    return ::fstat(Fd(file), &st) == 0 && Describe(st, info);
}

Handle Open(const Folder& folder, const Path& name, Mode mode) {
    const int access = mode == Mode::kRead ? O_RDONLY : mode == Mode::kWrite ? O_WRONLY : O_RDWR;
    // O_NONBLOCK, which keeps a FIFO from blocking, changes nothing for a
    // file on disk.
    return OpenAt(Fd(folder.handle), name.c_str(), access | O_NOFOLLOW | O_NONBLOCK);
}

Handle CreateTemp(const Folder& folder, const Path& name, bool owned) {
    const mode_t mode = owned ? 0600 : 0666;
    if (name.empty()) {
        return OpenAt(Fd(folder.handle), ".", O_TMPFILE | O_RDWR, mode);
    }
    return OpenAt(Fd(folder.handle), name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW, mode);
}

// Through /proc: linkat(2) names a file by its descriptor alone only for a
// process that may open any file.
bool GiveName(Handle file, const Folder& folder, const Path& name) {
    const std::string self = "/proc/self/fd/" + std::to_string(Fd(file));
    return ::linkat(AT_FDCWD, self.c_str(), Fd(folder.handle), name.c_str(), AT_SYMLINK_FOLLOW) ==
           0;
}

bool Close(Handle file) { return ::close(Fd(file)) == 0; }

bool TryLock(Handle file, Lock lock) {
    return ::flock(Fd(file), (lock == Lock::kShared ? LOCK_SH : LOCK_EX) | LOCK_NB) == 0;
}

bool CopyAccess(const Folder& /*folder*/, const Path& /*from*/, Handle fromFile, const Path& /*to*/,
                Handle toFile) {
    const int from = Fd(fromFile);
    const int to = Fd(toFile);
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

bool DiskOf(Handle file, Disk& disk) {
    struct statfs fs {};
    const bool known = ::fstatfs(Fd(file), &fs) == 0;
    disk.copiesOnWrite = static_cast<unsigned long>(fs.f_type) == BTRFS_SUPER_MAGIC;
    disk.available =
        static_cast<std::uint64_t>(fs.f_bavail) * static_cast<std::uint64_t>(fs.f_bsize);
    return known;
}

bool Rename(const Folder& folder, const Path& from, const Path& to) {
    return ::renameat(Fd(folder.handle), from.c_str(), Fd(folder.handle), to.c_str()) == 0;
}

bool Remove(const Folder& folder, const Path& name) {
    return ::unlinkat(Fd(folder.handle), name.c_str(), 0) == 0;
}

// A folder held for a walk (O_PATH) cannot be flushed: it is opened again.
bool FlushFolder(const Folder& folder) {
    const int dir = OpenAt(Fd(folder.handle), ".", O_RDONLY | O_DIRECTORY);
    const bool flushed = dir >= 0 && ::fsync(dir) == 0;
    return (dir < 0 || ::close(dir) == 0) && flushed;
}

}  // namespace ini::sys

namespace ini {

namespace {

// A read-only file is refused as EPERM, the code of an immutable one; EACCES
// is the system's refusal of the file or its folder.
// EBUSY is also rename(2)'s refusal to replace a file mounted on its name
// (as containers mount single files); EWOULDBLOCK, a lock held elsewhere.
constexpr sys::CodeTable<kFailureCount - 1, 4> kCodes = {
    {ENOENT, EISDIR, ENXIO, EPERM, EACCES, ELOOP, EFBIG, EBUSY, EINVAL, ENOSPC, EDQUOT, EIO,
     EUCLEAN},
    {{ENOTDIR, Failure::kNotFound},
     {EROFS, Failure::kNoPermission},
     {ETXTBSY, Failure::kBusy},
     {EWOULDBLOCK, Failure::kBusy}}};
static_assert(kCodes.IsOneCodePerFailure());

}  // namespace

unsigned long CodeOf(Failure failure) { return kCodes.Code(failure); }

Failure FailureOf(unsigned long code) { return kCodes.FailureOf(code); }

}  // namespace ini
