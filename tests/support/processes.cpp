#include "tests/support/processes.h"

#include <fcntl.h>
#include <grp.h>
#include <linux/capability.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

int Status(pid_t child) {
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

bool WriteProcFile(const char* path, const std::string& text) {
    const int fd = ::open(path, O_WRONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    const bool ok = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    ::close(fd);
    return ok;
}

}  // namespace

int InChild(const std::function<int()>& body) {
    const pid_t child = ::fork();
    if (child == 0) {
        ::_exit(body());
    }
    return child < 0 ? -1 : Status(child);
}

std::vector<int> RunSavers(int n, const std::function<int(int)>& body) {
    int start[2];
    if (::pipe(start) != 0) {
        return {};
    }
    std::vector<pid_t> children;
    for (int i = 0; i < n; ++i) {
        const pid_t child = ::fork();
        if (child == 0) {
            ::close(start[1]);
            char byte = 0;
            ::_exit(::read(start[0], &byte, 1) == 0 ? body(i) : 126);
        }
        children.push_back(child);
    }
    ::close(start[0]);
    ::close(start[1]);  // all start
    std::vector<int> statuses;
    for (const pid_t child : children) {
        statuses.push_back(child < 0 ? -1 : Status(child));
    }
    return statuses;
}

bool EnterNamespaces(int flags) {
    if (::geteuid() == 0) {
        return ::unshare(flags) == 0;
    }
    const std::string uid = std::to_string(::geteuid());
    const std::string gid = std::to_string(::getegid());
    return ::unshare(CLONE_NEWUSER | flags) == 0 && WriteProcFile("/proc/self/setgroups", "deny") &&
           WriteProcFile("/proc/self/uid_map", "0 " + uid + " 1") &&
           WriteProcFile("/proc/self/gid_map", "0 " + gid + " 1");
}

bool EnterSandboxAs(unsigned uid) {
    // A process whose user changed writes its maps only once dumpable again.
    return ::setgroups(0, nullptr) == 0 && ::setresgid(uid, uid, uid) == 0 &&
           ::setresuid(uid, uid, uid) == 0 && ::prctl(PR_SET_DUMPABLE, 1) == 0 &&
           EnterNamespaces(0);
}

bool MountScratch(const std::string& type, const std::string& dir) {
    const bool anyUser = type == "tmpfs" || type == "ramfs" || type == "overlay";
    const char* problem = !anyUser && ::geteuid() != 0 ? "mounting an image needs the host's root"
                          : !EnterNamespaces(CLONE_NEWNS) ||
                                  ::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0
                              ? "no mount namespace"
                              : nullptr;
    const std::string mkfs = type == "ntfs-3g"      ? "mkntfs -q -F -Q"
                             : type == "exfat-fuse" ? "mkfs.exfat"
                             : type == "btrfs"      ? "mkfs.btrfs -q --mixed"
                             : type == "xfs"        ? "mkfs.xfs -q -f"
                                                    : "mkfs." + type + " -q -F";
    const std::string layers = dir + ".layers";
    const std::string image = dir + ".img";
    const std::string script =
        type == "overlay"
            ? "mkdir -p " + layers + " && mount -t tmpfs tmpfs " + layers + " && cd " + layers +
                  " && mkdir lower upper work && mount -t overlay -o lowerdir=lower,upperdir=upper,"
                  "workdir=work overlay " +
                  dir
        : anyUser ? "mount -t " + type + " " + type + " " + dir
                  : "truncate -s " + std::string(type == "xfs" ? "320M " : "64M ") + image +
                        " && " + mkfs + " " + image + " >/dev/null && mount -o loop" +
                        (type == "ntfs-3g" || type == "exfat-fuse" ? " -t " + type : "") + " " +
                        image + " " + dir;
    if (problem == nullptr && std::system(script.c_str()) == 0) {
        return true;
    }
    std::printf("%s not mounted: %s\n", type.c_str(),
                problem != nullptr ? problem : script.c_str());
    std::fflush(stdout);
    return false;
}

std::string NamespaceProblem() {
    const int status = InChild([] { return EnterNamespaces(CLONE_NEWNS) ? 0 : errno; });
    return status == 0 ? "namespaces work, the mount failed" : std::strerror(status);
}

bool ForbidNewFiles(const std::string& dir) {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct none[_LINUX_CAPABILITY_U32S_3] = {};
    return ::chmod(dir.c_str(), 0555) == 0 && ::syscall(SYS_capset, &header, none) == 0;
}
