// A read error on demand, for tests of real processes: preloaded with
// LD_PRELOAD, it makes reads of a regular file named config.ini fail with EIO
// from the Nth load of it on, N taken from ZARV_FAIL_READ_FROM (unset or 0:
// never). A load is counted at each read from offset 0, so how a load splits
// the file into reads does not matter.
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

using ReadFn = ssize_t (*)(int, void*, size_t);
using PreadFn = ssize_t (*)(int, void*, size_t, off_t);

std::atomic<long> g_loads{0};

long FailFrom() {
    static const long from = [] {
        const char* value = std::getenv("ZARV_FAIL_READ_FROM");
        return value != nullptr ? std::strtol(value, nullptr, 10) : 0L;
    }();
    return from;
}

bool IsConfigFile(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        return false;
    }
    std::array<char, 4096> target{};
    const std::string link = "/proc/self/fd/" + std::to_string(fd);
    const ssize_t n = ::readlink(link.c_str(), target.data(), target.size() - 1);
    if (n <= 0) {
        return false;
    }
    const std::string path(target.data(), static_cast<std::size_t>(n));
    return path == "config.ini" || path.ends_with("/config.ini");
}

// True when this read is to fail, with errno set; otherwise errno is kept.
// `offset` is where a pread starts, or -1 for a read at the file position.
bool Fails(int fd, off_t offset) {
    if (FailFrom() <= 0) {
        return false;
    }
    const int saved = errno;
    bool fails = false;
    if (IsConfigFile(fd)) {
        const off_t start = offset >= 0 ? offset : ::lseek(fd, 0, SEEK_CUR);
        fails = (start == 0 ? ++g_loads : g_loads.load()) >= FailFrom();
    }
    errno = fails ? EIO : saved;
    return fails;
}

template <typename Fn>
Fn Next(const char* name) {
    return reinterpret_cast<Fn>(::dlsym(RTLD_NEXT, name));
}

}  // namespace

extern "C" ssize_t read(int fd, void* buffer, size_t size) {
    static const auto next = Next<ReadFn>("read");
    return Fails(fd, -1) ? -1 : next(fd, buffer, size);
}

// The fortified read of programs built with _FORTIFY_SOURCE.
extern "C" ssize_t __read_chk(int fd, void* buffer, size_t size, size_t bufferSize) {
    using ReadChkFn = ssize_t (*)(int, void*, size_t, size_t);
    static const auto next = Next<ReadChkFn>("__read_chk");
    return Fails(fd, -1) ? -1 : next(fd, buffer, size, bufferSize);
}

extern "C" ssize_t pread(int fd, void* buffer, size_t size, off_t offset) {
    static const auto next = Next<PreadFn>("pread");
    return Fails(fd, offset) ? -1 : next(fd, buffer, size, offset);
}

extern "C" ssize_t pread64(int fd, void* buffer, size_t size, off_t offset) {
    static const auto next = Next<PreadFn>("pread64");
    return Fails(fd, offset) ? -1 : next(fd, buffer, size, offset);
}
