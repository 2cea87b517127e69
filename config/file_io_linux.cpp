// The Linux file layer. A folder is held open, and every name is looked up
// in it without following links, so that a path checked once cannot lead
// elsewhere later. No call here waits for what a signal could interrupt: a
// FIFO is opened without waiting, locks are tried, files are on disk.

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
#include <climits>
#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

#include "config/file_sys.h"

namespace ini::sys {

namespace {

constexpr int kMaxLinks = 40;

int Fd(Handle file) { return static_cast<int>(file); }

// openat(2), close-on-exec, never a controlling terminal.
int OpenAt(int dir, const char* name, int flags, mode_t mode = 0) {
    return ::openat(dir, name, flags | O_CLOEXEC | O_NOCTTY, mode);
}

// A file system whose files stand for kernel state, not stored bytes.
bool PseudoFileSystem(int fd) {
    constexpr unsigned long kPseudo[] = {
        PROC_SUPER_MAGIC,    SYSFS_MAGIC,      DEBUGFS_MAGIC,
        TRACEFS_MAGIC,       SECURITYFS_MAGIC, CGROUP_SUPER_MAGIC,
        CGROUP2_SUPER_MAGIC, BPF_FS_MAGIC,     DEVPTS_SUPER_MAGIC,
        EFIVARFS_MAGIC,      PSTOREFS_MAGIC,   SELINUX_MAGIC,
        SMACK_MAGIC,         BINFMTFS_MAGIC,   0x62656570 /* configfs */,
        0x65735543 /* fusectl */};
    struct statfs fs {};
    return ::fstatfs(fd, &fs) == 0 &&
           std::find(std::begin(kPseudo), std::end(kPseudo),
                     static_cast<unsigned long>(fs.f_type)) != std::end(kPseudo);
}

void Describe(const struct stat& st, Info& info) {
    info.kind = S_ISREG(st.st_mode)   ? Kind::kRegular
                : S_ISDIR(st.st_mode) ? Kind::kDirectory
                                      : Kind::kOther;
    info.writable = (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) != 0;
    info.size = static_cast<std::uint64_t>(st.st_size);
}

// The access control list and the user's own attributes (user.*) must come
// along; security labels (security.*) come where the system lets them.
// Other names (trusted.*) need privileges and are not copied.
bool CopyExtendedAttributes(int from, int to) {
    std::vector<char> names(XATTR_LIST_MAX);
    std::vector<char> value(XATTR_SIZE_MAX);
    const ssize_t size = ::flistxattr(from, names.data(), names.size());
    if (size < 0) {
        return errno == ENOTSUP;
    }
    for (std::size_t at = 0; at < static_cast<std::size_t>(size);) {
        const std::string_view name(names.data() + at);
        at += name.size() + 1;
        const bool required = name.starts_with("user.") || name == "system.posix_acl_access";
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
    return true;
}

// Takes the first component off `rest` ("a//b/c" gives "a", leaving "b/c");
// "." when none is left.
std::string NextComponent(std::string& rest) {
    const std::size_t start = std::min(rest.find_first_not_of('/'), rest.size());
    const std::size_t end = std::min(rest.find('/', start), rest.size());
    std::string part(rest, start, end - start);
    rest.erase(0, std::min(rest.find_first_not_of('/', end), rest.size()));
    return part.empty() ? std::string(".") : part;
}

}  // namespace

unsigned long LastError() { return static_cast<unsigned long>(errno); }

bool IsNoPermission(unsigned long code) { return code == EACCES || code == EPERM; }

// rename(2) onto a file that is a mount point, such as a single file that a
// container mounts.
bool IsReplaceRefused(unsigned long code) { return code == EBUSY; }

bool IsLockHeld(unsigned long code) { return code == EWOULDBLOCK; }

void Sleep(unsigned milliseconds) {
    const timespec time{static_cast<time_t>(milliseconds / 1000),
                        static_cast<long>(milliseconds % 1000) * 1000000L};
    ::nanosleep(&time, nullptr);
}

std::uint64_t Random() {
    std::uint64_t value = 0;
    (void)::getrandom(&value, sizeof value, 0);  // 8 bytes come whole
    return value;
}

std::uint64_t FileSizeLimit() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_FSIZE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) {
        return UINT64_MAX;
    }
    return limit.rlim_cur;
}

// The walk the kernel does for a path, one component at a time from the
// current folder (or the root), so that each link can be checked before it
// is followed.
bool OpenFolder(const char* path, Folder& folder, Path& name) {
    std::string rest = path;
    int dir = OpenAt(AT_FDCWD, rest.starts_with('/') ? "/" : ".", O_PATH | O_DIRECTORY);
    int links = 0;
    while (dir >= 0) {
        const std::string part = NextComponent(rest);
        const int fd = OpenAt(dir, part.c_str(), O_PATH | O_NOFOLLOW);
        struct stat st {};
        if (fd < 0 ? errno != ENOENT || !rest.empty() : ::fstat(fd, &st) != 0) {
            break;
        }
        if (fd >= 0 && S_ISLNK(st.st_mode)) {
            std::vector<char> target(PATH_MAX);
            const ssize_t n = ::readlinkat(fd, "", target.data(), target.size());
            ::close(fd);
            // Another user's link would let him choose which file this user
            // writes; root's gives nobody anything.
            if (st.st_uid != ::geteuid() && st.st_uid != 0) {
                errno = static_cast<int>(CodeOf(Failure::kLinkRefused));
                break;
            }
            if (n < 0 || ++links > kMaxLinks || static_cast<std::size_t>(n) == target.size()) {
                errno = n < 0 ? errno : links > kMaxLinks ? ELOOP : ENAMETOOLONG;
                break;
            }
            const std::string to(target.data(), static_cast<std::size_t>(n));
            if (!rest.empty()) {
                rest.insert(rest.begin(), '/');
            }
            rest.insert(0, to);
            if (to.starts_with('/')) {
                ::close(dir);
                dir = OpenAt(AT_FDCWD, "/", O_PATH | O_DIRECTORY);
            }
            continue;
        }
        if (rest.empty()) {  // the file's own name, a file or none yet
            if (fd >= 0) {
                ::close(fd);
            }
            name = part;
            // Opened for reading, the folder can be flushed.
            const int readable = OpenAt(dir, ".", O_RDONLY | O_DIRECTORY);
            if (readable >= 0) {
                ::close(dir);
                dir = readable;
            }
            folder.handle = dir;
            return true;
        }
        ::close(dir);
        dir = fd;
        if (!S_ISDIR(st.st_mode)) {
            errno = ENOTDIR;
            break;
        }
    }
    if (dir >= 0) {
        ::close(dir);  // keeps errno
    }
    return false;
}

bool NameInfo(const Folder& folder, const Path& name, Info& info) {
    struct stat st {};
    if (::fstatat(Fd(folder.handle), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        return false;
    }
    Describe(st, info);
    return true;
}

bool HandleInfo(Handle file, Info& info) {
    struct stat st {};
    if (::fstat(Fd(file), &st) != 0) {
        return false;
    }
    Describe(st, info);
    if (PseudoFileSystem(Fd(file))) {
        info.kind = Kind::kOther;
    }
    return true;
}

Handle Open(const Folder& folder, const Path& name, Mode mode) {
    const int access = mode == Mode::kRead ? O_RDONLY : mode == Mode::kWrite ? O_WRONLY : O_RDWR;
    const int fd = OpenAt(Fd(folder.handle), name.c_str(), access | O_NOFOLLOW | O_NONBLOCK);
    if (fd >= 0 && mode != Mode::kRead) {
        // Writes must not return early with EAGAIN.
        (void)::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    }
    return fd;
}

Handle CreateTemp(const Folder& folder, const Path& name, bool owned, bool& named) {
    const mode_t mode = owned ? 0600 : 0666;
    const int nameless = OpenAt(Fd(folder.handle), ".", O_TMPFILE | O_RDWR, mode);
    // Other errors mean that the file system cannot make a nameless file.
    if (nameless >= 0 || (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)) {
        named = false;
        return nameless;
    }
    named = true;
    return OpenAt(Fd(folder.handle), name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW, mode);
}

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
    struct stat st {};
    if (::fstat(from, &st) != 0) {
        return false;
    }
    // Only a privileged process may give a file away, and a user only to a
    // group of his own: keep the owner, else at least the group the file is
    // shared with. Neither is needed: the new file is then the user's, as
    // after any save by rename. The bits are set after the owner, since a
    // change of owner clears set-id bits.
    if ((st.st_uid != ::geteuid() || st.st_gid != ::getegid()) &&
        ::fchown(to, st.st_uid, st.st_gid) != 0) {
        (void)::fchown(to, static_cast<uid_t>(-1), st.st_gid);
    }
    return ::fchmod(to, st.st_mode & 07777) == 0 && CopyExtendedAttributes(from, to);
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
    if (::fstatfs(Fd(file), &fs) != 0) {
        return false;
    }
    disk.copiesOnWrite = static_cast<unsigned long>(fs.f_type) == BTRFS_SUPER_MAGIC;
    disk.available =
        static_cast<std::uint64_t>(fs.f_bavail) * static_cast<std::uint64_t>(fs.f_bsize);
    return true;
}

bool Rename(const Folder& folder, const Path& from, const Path& to) {
    return ::renameat(Fd(folder.handle), from.c_str(), Fd(folder.handle), to.c_str()) == 0;
}

bool Remove(const Folder& folder, const Path& name) {
    return ::unlinkat(Fd(folder.handle), name.c_str(), 0) == 0;
}

bool FlushFolder(const Folder& folder) { return ::fsync(Fd(folder.handle)) == 0; }

}  // namespace ini::sys

namespace ini {

namespace {

// A read-only file is refused as EPERM, the code of an immutable one; EACCES
// is the system's refusal of the file or its folder.
constexpr sys::CodeTable<kFailureCount - 1, 3> kCodes = {
    {ENOENT, EISDIR, ENXIO, EPERM, EACCES, ELOOP, EFBIG, EBUSY, EINVAL, ENOSPC, EDQUOT, EIO},
    {{ENOTDIR, Failure::kNotFound}, {EROFS, Failure::kNoPermission}, {ETXTBSY, Failure::kBusy}}};
static_assert(kCodes.IsOneCodePerFailure());

}  // namespace

unsigned long CodeOf(Failure failure) { return kCodes.Code(failure); }

Failure FailureOf(unsigned long code) { return kCodes.FailureOf(code); }

}  // namespace ini
