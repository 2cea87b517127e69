// The stand-ins of tests/support/fail_calls.h. This file includes no header
// that declares the functions it defines, since the C library's declarations
// differ in their exception specifications; the C linkage takes only names.
#include "tests/support/fail_calls.h"

#include <dlfcn.h>

#include <cerrno>
#include <cstdarg>
#include <cstddef>
#include <cstring>
#include <utility>

namespace {

int g_callsLeft = 0;    // the chosen call's number from now on, 0 when none
int g_moreFailing = 0;  // calls that fail after the chosen one
int g_error = EIO;
const char* g_only = nullptr;  // the function whose calls count, or all
std::function<void(const char*, int)> g_watch;

bool FailsNow(const char* name) {
    if (g_only != nullptr && std::strcmp(g_only, name) != 0) {
        return false;
    }
    const bool chosen = g_callsLeft > 0 ? --g_callsLeft == 0 : g_moreFailing > 0 && g_moreFailing--;
    errno = chosen ? g_error : errno;
    return chosen;
}

template <class Function>
Function Real(const char* name) {
    return reinterpret_cast<Function>(::dlsym(RTLD_NEXT, name));
}

}  // namespace

bool FailNthCall(int n, int error, const char* only, int times) {
    const bool reached = g_callsLeft == 0;
    g_callsLeft = n;
    g_moreFailing = n > 0 ? times - 1 : 0;
    g_error = error;
    g_only = only;
    return reached;
}

void WatchCalls(std::function<void(const char*, int)> watch) { g_watch = std::move(watch); }

// The descriptor a call is given first, or -1.
template <class... Rest>
int First(int fd, Rest...) {
    return fd;
}
template <class... Rest>
int First(void* /*buffer*/, Rest...) {
    return -1;
}

// Each stand-in is watched, and fails when chosen, else calls the C
// library's function.
#define ZARV_FAILABLE(result, name, params, args)               \
    extern "C" result name params {                             \
        static const auto real = Real<result(*) params>(#name); \
        if (g_watch) {                                          \
            g_watch(#name, First args);                         \
        }                                                       \
        if (FailsNow(#name)) {                                  \
            return -1;                                          \
        }                                                       \
        return real args;                                       \
    }

ZARV_FAILABLE(int, fstat, (int fd, void* st), (fd, st))
ZARV_FAILABLE(int, fstatat, (int dir, const char* name, void* st, int flags),
              (dir, name, st, flags))
ZARV_FAILABLE(int, fstatfs, (int fd, void* st), (fd, st))
ZARV_FAILABLE(int, fchown, (int fd, unsigned uid, unsigned gid), (fd, uid, gid))
ZARV_FAILABLE(int, fchmod, (int fd, unsigned mode), (fd, mode))
ZARV_FAILABLE(long, flistxattr, (int fd, char* list, std::size_t size), (fd, list, size))
ZARV_FAILABLE(long, fgetxattr, (int fd, const char* name, void* value, std::size_t size),
              (fd, name, value, size))
ZARV_FAILABLE(int, fsetxattr,
              (int fd, const char* name, const void* value, std::size_t size, int flags),
              (fd, name, value, size, flags))
ZARV_FAILABLE(long, read, (int fd, void* buffer, std::size_t size), (fd, buffer, size))
ZARV_FAILABLE(int, fsync, (int fd), (fd))
ZARV_FAILABLE(int, ftruncate, (int fd, long size), (fd, size))
ZARV_FAILABLE(int, flock, (int fd, int operation), (fd, operation))
ZARV_FAILABLE(int, linkat, (int from, const char* a, int to, const char* b, int flags),
              (from, a, to, b, flags))
ZARV_FAILABLE(int, renameat, (int from, const char* a, int to, const char* b), (from, a, to, b))
ZARV_FAILABLE(int, unlinkat, (int dir, const char* name, int flags), (dir, name, flags))
ZARV_FAILABLE(long, pwrite, (int fd, const void* data, std::size_t size, long offset),
              (fd, data, size, offset))
ZARV_FAILABLE(int, fremovexattr, (int fd, const char* name), (fd, name))
ZARV_FAILABLE(long, getrandom, (void* buffer, std::size_t size, unsigned flags),
              (buffer, size, flags))
ZARV_FAILABLE(long, readlinkat, (int dir, const char* name, char* buffer, std::size_t size),
              (dir, name, buffer, size))

extern "C" int openat(int dir, const char* name, int flags, ...) {
    static const auto real = Real<int (*)(int, const char*, int, ...)>("openat");
    va_list rest;
    va_start(rest, flags);
    const unsigned mode = va_arg(rest, unsigned);  // read whether given or not, as libc does
    va_end(rest);
    if (FailsNow("openat")) {
        return -1;
    }
    return real(dir, name, flags, mode);
}

extern "C" int close(int fd) {
    static const auto real = Real<int (*)(int)>("close");
    const int result = real(fd);
    if (FailsNow("close")) {
        return -1;
    }
    return result;
}
