// The POSIX file layer.

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <string_view>
#include <utility>
#include <vector>

#include "config/file_sys.h"

#ifdef __linux__
#include <linux/magic.h>
#include <sys/vfs.h>
#endif

namespace ini::sys {

namespace {

constexpr mode_t kWriteBits = S_IWUSR | S_IWGRP | S_IWOTH;
constexpr int kMaxLinkDepth = 40;

int Fd(Handle file) { return static_cast<int>(file); }

std::string DirPart(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// open(2), close-on-exec, never a controlling terminal, retried when a
// signal interrupts it.
int OpenFile(const char* path, int flags, mode_t mode = 0) {
    int fd = -1;
    do {
        fd = ::open(path, flags | O_CLOEXEC | O_NOCTTY, mode);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

// A file system whose files stand for kernel state, not stored bytes.
bool PseudoFileSystem(int fd) {
#ifdef __linux__
    struct statfs fs {};
    if (::fstatfs(fd, &fs) != 0) {
        return false;
    }
    switch (static_cast<unsigned long>(fs.f_type)) {
        case PROC_SUPER_MAGIC:
        case SYSFS_MAGIC:
        case DEBUGFS_MAGIC:
        case TRACEFS_MAGIC:
        case SECURITYFS_MAGIC:
        case CGROUP_SUPER_MAGIC:
        case CGROUP2_SUPER_MAGIC:
        case BPF_FS_MAGIC:
        case DEVPTS_SUPER_MAGIC:
        case EFIVARFS_MAGIC:
        case PSTOREFS_MAGIC:
        case SELINUX_MAGIC:
        case SMACK_MAGIC:
        case BINFMTFS_MAGIC:
        case 0x62656570:  // configfs
        case 0x65735543:  // fusectl
            return true;
        default:
            return false;
    }
#else
    (void)fd;
    return false;
#endif
}

// A file system that copies on write (btrfs) needs new blocks for every byte
// rewritten and for putting old bytes back, and near full it fails writes,
// and even cuts, well before its free count reaches zero: a rewrite there
// goes ahead only with room for four copies of the text and a margin.
bool RoomToCopy(int fd, std::uint64_t size) {
#ifdef __linux__
    constexpr std::uint64_t kMargin = std::uint64_t{16} << 20;
    struct statfs fs {};
    if (::fstatfs(fd, &fs) != 0 || static_cast<unsigned long>(fs.f_type) != BTRFS_SUPER_MAGIC) {
        return true;
    }
    return static_cast<std::uint64_t>(fs.f_bavail) * static_cast<std::uint64_t>(fs.f_bsize) >=
           4 * size + kMargin;
#else
    (void)fd;
    (void)size;
    return true;
#endif
}

// A new file made without a name, locked, and then given its name, so that
// no other process ever finds it there unlocked (which a save's sweep of
// stale temporary files would take for one left over). Linux only; -1 with
// errno.
int CreateLocked(const std::string& path) {
#ifdef O_TMPFILE
    const std::string dir = DirPart(path);
    const int fd = OpenFile(dir.empty() ? "." : dir.c_str(), O_TMPFILE | O_WRONLY, 0666);
    if (fd < 0) {
        return -1;
    }
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 ||
        ::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) != 0) {
        const int error = errno;
        ::close(fd);
        errno = error;
        return -1;
    }
    return fd;
#else
    (void)path;
    errno = EOPNOTSUPP;
    return -1;
#endif
}

// The errors of CreateLocked that mean the system or file system cannot
// make a nameless file, or /proc is missing: a plain creation does instead.
bool NoNamelessFiles(int error) {
    return error == EOPNOTSUPP || error == EISDIR || error == EINVAL || error == ENOENT ||
           error == EXDEV || error == EPERM;
}

void Describe(const struct stat& st, Info& info) {
    info.kind = S_ISREG(st.st_mode)   ? Kind::kRegular
                : S_ISDIR(st.st_mode) ? Kind::kDirectory
                                      : Kind::kOther;
    info.writable = (st.st_mode & kWriteBits) != 0;
    info.size = static_cast<std::uint64_t>(st.st_size);
}

// The access control list and the user's own attributes (user.*) must come
// along; security labels (security.*) come where the system lets them.
// Other names (trusted.*) need privileges and are not copied.
bool CopyExtendedAttributes(Handle from, Handle to) {
    ssize_t size = ::flistxattr(Fd(from), nullptr, 0);
    if (size <= 0) {
        return size == 0 || errno == ENOTSUP || errno == ENOSYS;
    }
    std::vector<char> names(static_cast<std::size_t>(size));
    size = ::flistxattr(Fd(from), names.data(), names.size());
    if (size < 0) {
        return false;
    }
    std::vector<char> value;
    for (std::size_t at = 0; at < static_cast<std::size_t>(size);) {
        const char* name = names.data() + at;
        const std::string_view view(name);
        at += view.size() + 1;
        const bool required = view.starts_with("user.") || view == "system.posix_acl_access";
        if (!required && !view.starts_with("security.")) {
            continue;
        }
        const ssize_t length = ::fgetxattr(Fd(from), name, nullptr, 0);
        value.resize(length > 0 ? static_cast<std::size_t>(length) : 0);
        const bool copied = length >= 0 &&
                            ::fgetxattr(Fd(from), name, value.data(), value.size()) == length &&
                            ::fsetxattr(Fd(to), name, value.data(), value.size(), 0) == 0;
        if (!copied && required) {
            return false;
        }
    }
    return true;
}

}  // namespace

unsigned long Code(Failure failure) {
    switch (failure) {
        case Failure::kNotFound:
            return ENOENT;
        case Failure::kIsDirectory:
            return EISDIR;
        case Failure::kNotAFile:
            return EINVAL;
        case Failure::kReadOnly:
            return EACCES;
        case Failure::kTooLarge:
            return EFBIG;
        case Failure::kBusy:
            return EBUSY;
    }
    return EINVAL;
}

unsigned long LastError() { return static_cast<unsigned long>(errno); }

bool IsNotFound(unsigned long code) { return code == ENOENT; }

bool IsNoPermission(unsigned long code) { return code == EACCES || code == EPERM; }

// rename(2) onto a file that is a mount point, such as a single file that a
// container mounts.
bool IsReplaceRefused(unsigned long code) { return code == EBUSY; }

bool IsLockHeld(unsigned long code) { return code == EWOULDBLOCK; }

Path ToPath(const char* path) { return path; }

const char* const kSeparators = "/";

unsigned long ProcessId() { return static_cast<unsigned long>(::getpid()); }

void Sleep(unsigned milliseconds) {
    timespec left{static_cast<time_t>(milliseconds / 1000),
                  static_cast<long>(milliseconds % 1000) * 1000000L};
    while (::nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
}

bool ResolveLinks(const Path& path, Path& resolved) {
    std::string current(path);
    for (int depth = 0; depth < kMaxLinkDepth; ++depth) {
        struct stat st {};
        if (::lstat(current.c_str(), &st) != 0) {
            resolved = current;
            return errno == ENOENT;
        }
        if (!S_ISLNK(st.st_mode)) {
            resolved = current;
            return true;
        }
        // Another user's link would let its owner choose which file this
        // user writes; root's gives nobody anything.
        if (st.st_uid != ::geteuid() && st.st_uid != 0) {
            errno = EACCES;
            return false;
        }
        std::vector<char> target(static_cast<std::size_t>(st.st_size) + 2);
        const ssize_t n = ::readlink(current.c_str(), target.data(), target.size());
        if (n <= 0 || static_cast<std::size_t>(n) >= target.size()) {
            if (n >= 0) {
                errno = EAGAIN;  // the link changed meanwhile
            }
            return false;
        }
        std::string next(target.data(), static_cast<std::size_t>(n));
        if (next[0] != '/') {
            next.insert(0, DirPart(current));
        }
        current = std::move(next);
    }
    errno = ELOOP;
    return false;
}

bool PathInfo(const Path& path, Info& info) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
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

Handle Open(const Path& path, Mode mode) {
    constexpr int kFlags = O_NOFOLLOW | O_NONBLOCK;
    int flags = O_RDONLY;
    switch (mode) {
        case Mode::kRead:
            break;
        case Mode::kWrite:
            flags = O_WRONLY;
            break;
        case Mode::kReadWrite:
            flags = O_RDWR;
            break;
        case Mode::kCreate:
            if (const int made = CreateLocked(path); made >= 0 || !NoNamelessFiles(errno)) {
                return made < 0 ? kNoHandle : static_cast<Handle>(made);
            }
            flags = O_WRONLY | O_CREAT | O_EXCL;
            break;
    }
    const int fd = OpenFile(path.c_str(), flags | kFlags, 0666);
    if (fd >= 0 && mode != Mode::kRead) {
        // Writes must not return early with EAGAIN.
        (void)::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    }
    return fd < 0 ? kNoHandle : static_cast<Handle>(fd);
}

bool Close(Handle file) { return ::close(Fd(file)) == 0; }

bool TryLock(Handle file, Lock lock) {
    const int operation = (lock == Lock::kShared ? LOCK_SH : LOCK_EX) | LOCK_NB;
    for (;;) {
        if (::flock(Fd(file), operation) == 0) {
            return true;
        }
        if (errno != EINTR) {
            return false;
        }
    }
}

bool StillNamed(Handle file, const Path& path) {
    struct stat open {};
    struct stat named {};
    return ::fstat(Fd(file), &open) == 0 && ::lstat(path.c_str(), &named) == 0 &&
           open.st_dev == named.st_dev && open.st_ino == named.st_ino;
}

bool CopyAccess(Handle target, const Path& /*targetPath*/, Handle temp, const Path& /*tempPath*/) {
    struct stat st {};
    if (::fstat(Fd(target), &st) != 0) {
        return false;
    }
    // Only a privileged process may give a file away, and a user only to a
    // group of his own: keep the owner, else at least the group the file is
    // shared with. Neither is fatal: the user may replace the file, and the
    // new one is then his, as after any save by rename, with the old
    // permission bits. The bits are set after the owner, since a change of
    // owner clears set-id bits.
    if ((st.st_uid != ::geteuid() || st.st_gid != ::getegid()) &&
        ::fchown(Fd(temp), st.st_uid, st.st_gid) != 0 &&
        ::fchown(Fd(temp), static_cast<uid_t>(-1), st.st_gid) != 0) {
        // Saved under the user's own group.
    }
    return ::fchmod(Fd(temp), st.st_mode & 07777) == 0 && CopyExtendedAttributes(target, temp);
}

std::ptrdiff_t Read(Handle file, char* buffer, std::size_t size) {
    for (;;) {
        const ssize_t n = ::read(Fd(file), buffer, size);
        if (n >= 0 || errno != EINTR) {
            return n;
        }
    }
}

std::ptrdiff_t WriteAt(Handle file, std::uint64_t offset, std::string_view data) {
    for (;;) {
        const ssize_t n = ::pwrite(Fd(file), data.data(), data.size(), static_cast<off_t>(offset));
        if (n != 0 || data.empty()) {
            if (n >= 0 || errno != EINTR) {
                return n;
            }
            continue;
        }
        errno = EIO;  // a write that makes no progress
        return -1;
    }
}

bool Reserve(Handle file, std::uint64_t size) {
    if (size == 0) {
        return true;
    }
    if (!RoomToCopy(Fd(file), size)) {
        errno = ENOSPC;
        return false;
    }
#ifdef __linux__
    // Allocates blocks; the size and the bytes stay.
    if (::fallocate(Fd(file), FALLOC_FL_KEEP_SIZE, 0, static_cast<off_t>(size)) == 0) {
        return true;
    }
    if (errno != EOPNOTSUPP && errno != ENOSYS) {
        return false;
    }
#endif
    // Without fallocate (ext2, ext3) the C library writes a zero into every
    // block past the end and into holes, reading the file to find them.
    const int error = ::posix_fallocate(Fd(file), 0, static_cast<off_t>(size));
    errno = error;
    return error == 0;
}

bool Truncate(Handle file, std::uint64_t size) {
    return ::ftruncate(Fd(file), static_cast<off_t>(size)) == 0;
}

bool Flush(Handle file) { return ::fsync(Fd(file)) == 0; }

void SyncFileSystem(Handle file) { ::syncfs(Fd(file)); }

bool Replace(Handle /*temp*/, const Path& tempPath, const Path& target, bool /*exists*/) {
    return ::rename(tempPath.c_str(), target.c_str()) == 0;
}

bool Remove(const Path& path) { return ::unlink(path.c_str()) == 0; }

void SyncFolder(const Path& dir) {
    const int fd = OpenFile(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

void List(const Path& dir, const Path& prefix, std::vector<Path>& names) {
    DIR* listing = ::opendir(dir.empty() ? "." : dir.c_str());
    if (listing == nullptr) {
        return;
    }
    while (const dirent* item = ::readdir(listing)) {
        if (std::strncmp(item->d_name, prefix.c_str(), prefix.size()) == 0) {
            names.emplace_back(item->d_name);
        }
    }
    ::closedir(listing);
}

}  // namespace ini::sys
