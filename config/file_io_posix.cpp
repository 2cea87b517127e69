// The POSIX file layer.
#ifndef _WIN32

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <limits>
#include <utility>
#include <vector>

#include "config/file_io.h"

namespace ini {

namespace {

constexpr mode_t kWriteBits = S_IWUSR | S_IWGRP | S_IWOTH;
constexpr int kMaxLinkDepth = 40;

// The directory part of `path` with its trailing '/', or "" for a bare name.
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

// Follows symbolic links to the path of the file they finally name, which
// need not exist yet.
bool ResolveLinks(const char* path, std::string& resolved) {
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
        std::vector<char> target(static_cast<std::size_t>(st.st_size) + 2);
        const ssize_t n = ::readlink(current.c_str(), target.data(), target.size());
        if (n <= 0 || static_cast<std::size_t>(n) >= target.size()) {
            return false;  // failed, or the link changed meanwhile
        }
        std::string next(target.data(), static_cast<std::size_t>(n));
        if (next[0] != '/') {
            next.insert(0, DirPart(current));
        }
        current = std::move(next);
    }
    return false;
}

bool ProcessGone(unsigned long pid) {
    if (pid > static_cast<unsigned long>(std::numeric_limits<pid_t>::max())) {
        return true;
    }
    return static_cast<pid_t>(pid) == ::getpid() ||
           (::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH);
}

// Removes temporary files of `base` in `dir` left by saves of processes
// that no longer run (or of an earlier process with this id).
void RemoveStaleTemps(const std::string& dir, const std::string& base) {
    DIR* listing = ::opendir(dir.empty() ? "." : dir.c_str());
    if (listing == nullptr) {
        return;
    }
    while (const dirent* item = ::readdir(listing)) {
        const std::string name(item->d_name);
        const unsigned long pid = TempOwner(base, name);
        if (pid != 0 && ProcessGone(pid)) {
            ::unlink((dir + name).c_str());
        }
    }
    ::closedir(listing);
}

bool WriteAll(int fd, const char* data, std::size_t size) {
    while (size != 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

void SyncDirectory(const std::string& dir) {
    const int fd = OpenFile(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

}  // namespace

InputFile::~InputFile() {
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

bool InputFile::Open(const char* path) {
    // Checked before opening, so that a FIFO or device is never opened.
    struct stat st {};
    if (::stat(path, &st) != 0 || !S_ISREG(st.st_mode) || (st.st_mode & kWriteBits) == 0) {
        return false;
    }
    m_fd = OpenFile(path, O_RDWR | O_NONBLOCK);
    if (m_fd < 0) {
        return false;
    }
    // The name may have been replaced between the check and the opening.
    return ::fstat(m_fd, &st) == 0 && S_ISREG(st.st_mode) && (st.st_mode & kWriteBits) != 0;
}

std::ptrdiff_t InputFile::Read(char* buffer, std::size_t size) const {
    for (;;) {
        const ssize_t n = ::read(m_fd, buffer, size);
        if (n >= 0 || errno != EINTR) {
            return n;
        }
    }
}

OutputFile::~OutputFile() {
    Close();
    if (!m_temp.empty()) {
        ::unlink(m_temp.c_str());
    }
}

void OutputFile::Close() {
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

bool OutputFile::Open(const char* path) {
    if (path == nullptr || *path == '\0' || !ResolveLinks(path, m_target)) {
        return false;
    }
    struct stat st {};
    const bool exists = ::stat(m_target.c_str(), &st) == 0;
    if (!exists && errno != ENOENT) {
        return false;
    }
    int targetFd = -1;
    if (exists) {
        if (!S_ISREG(st.st_mode) || (st.st_mode & kWriteBits) == 0) {
            return false;
        }
        // The target must be writable by us, as for a rewrite in place.
        targetFd = OpenFile(m_target.c_str(), O_WRONLY | O_NONBLOCK);
        if (targetFd < 0) {
            return false;
        }
        if (::fstat(targetFd, &st) != 0 || !S_ISREG(st.st_mode)) {
            ::close(targetFd);
            return false;
        }
    }

    const std::string dir = DirPart(m_target);
    const std::string base = m_target.substr(dir.size());
    RemoveStaleTemps(dir, base);
    std::string temp = dir + TempName(base, static_cast<unsigned long>(::getpid()));
    m_fd = OpenFile(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW,
                    exists ? S_IRUSR | S_IWUSR : 0666);
    if (m_fd >= 0) {
        m_temp = std::move(temp);
        if (exists) {
            ::close(targetFd);
            // Only a privileged process may give a file away, and a user only
            // to a group of his own: keep the owner, else at least the group
            // the file is shared with. Neither is fatal: the user may replace
            // the file, and the new one is then his, as after any save by
            // rename, with the old permission bits. The bits are set after
            // the owner, since a change of owner clears set-id bits.
            if ((st.st_uid != ::geteuid() || st.st_gid != ::getegid()) &&
                ::fchown(m_fd, st.st_uid, st.st_gid) != 0 &&
                ::fchown(m_fd, static_cast<uid_t>(-1), st.st_gid) != 0) {
                // Saved under the user's own group.
            }
            if (::fchmod(m_fd, st.st_mode & 07777) != 0) {
                return false;
            }
        }
        return true;
    }
    if (errno == EEXIST || targetFd < 0) {
        // Another save of this process is under way, or there is nothing
        // to rewrite in place.
        if (targetFd >= 0) {
            ::close(targetFd);
        }
        return false;
    }
    m_fd = targetFd;
    return true;
}

bool OutputFile::Write(const char* data, std::size_t size) {
    if (m_failed || !WriteAll(m_fd, data, size)) {
        m_failed = true;
        return false;
    }
    m_written += static_cast<long long>(size);
    return true;
}

bool OutputFile::Commit() {
    if (m_fd < 0 || m_failed) {
        return false;
    }
    if (m_temp.empty() && ::ftruncate(m_fd, static_cast<off_t>(m_written)) != 0) {
        return false;
    }
    const bool synced = ::fsync(m_fd) == 0;
    const bool closed = ::close(m_fd) == 0;
    m_fd = -1;
    if (!synced || !closed) {
        return false;
    }
    if (m_temp.empty()) {
        return true;
    }
    if (::rename(m_temp.c_str(), m_target.c_str()) != 0) {
        return false;
    }
    m_temp.clear();
    SyncDirectory(DirPart(m_target));
    return true;
}

unsigned long LastSystemError() { return static_cast<unsigned long>(errno); }

bool IsNotFound(unsigned long code) { return code == ENOENT; }

}  // namespace ini

#endif  // _WIN32
