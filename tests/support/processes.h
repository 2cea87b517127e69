// Child processes for tests of real files (POSIX): a body run in a child, a
// group of children started together, and the privileges a child can take
// without being root (a user namespace) or give up (capabilities).
#pragma once

#include <functional>
#include <string>
#include <vector>

// A child's exit status meaning that it could not take what the test needs.
inline constexpr int kSkipped = 77;

// Runs `body` in a child process; its exit status, or 128 plus the number of
// the signal that ended it.
int InChild(const std::function<int()>& body);

// Runs `body(i)` for i = 0 .. n-1 in n children that start at once; their
// exit statuses as InChild gives them.
std::vector<int> RunSavers(int n, const std::function<int(int)>& body);

// Moves the calling process into new namespaces (`flags`: CLONE_NEWNS, ...).
// A normal user gets them inside a new user namespace in which he is root
// (his own files are root's there); false when the kernel allows neither.
bool EnterNamespaces(int flags);
// Moves a root process into a new user namespace as root there and user
// `uid` outside, as sandboxes run a user: root and all others show one owner.
bool EnterSandboxAs(unsigned uid);
// Mounts a new file system of `type` on `dir` in a new mount namespace of
// the calling child: tmpfs, ramfs or overlay for any user; for root an image
// "<dir>.img" of ext2, ext4, xfs, btrfs, ntfs-3g or exfat-fuse (whose FUSE
// daemon ends with an umount2). Else prints why not and returns false.
bool MountScratch(const std::string& type, const std::string& dir);
// Why a child could not enter a mount namespace, for a skip message.
std::string NamespaceProblem();

// Makes `dir` a folder in which no file can be created, also for the calling
// process: its mode becomes 0555 and the process drops its capabilities
// (which let root write anywhere). For a child only.
bool ForbidNewFiles(const std::string& dir);
