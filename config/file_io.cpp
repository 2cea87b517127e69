// ReadFile and WriteFile, the same on every platform.
#include "config/file_io.h"

#include <algorithm>
#include <string_view>
#include <vector>

#include "config/file_sys.h"

namespace ini {

namespace {

using sys::Path;

// An open file, closed (and so unlocked) when it goes.
class File {
public:
    File() = default;
    explicit File(Handle handle) : m_handle(handle) {}
    ~File() { Close(); }
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    Handle get() const { return m_handle; }
    bool IsOpen() const { return m_handle != kNoHandle; }
    void Reset(Handle handle) {
        Close();
        m_handle = handle;
    }
    Handle Release() {
        const Handle handle = m_handle;
        m_handle = kNoHandle;
        return handle;
    }
    bool Close() {
        const Handle handle = m_handle;
        m_handle = kNoHandle;
        return handle == kNoHandle || sys::Close(handle);
    }

private:
    Handle m_handle = kNoHandle;
};

// A failed step's error code, for the result of ReadFile or WriteFile.
bool Fail(unsigned long& error, unsigned long code) {
    error = code;
    return false;
}
bool Fail(unsigned long& error) { return Fail(error, sys::LastError()); }

Path DirPart(const Path& path) {
    const std::size_t slash = path.find_last_of(sys::kSeparators);
    return slash == Path::npos ? Path() : path.substr(0, slash + 1);
}

// "<base>.<digits>.tmp": a temporary file of a save of `base`.
Path TempName(const Path& base) {
    std::string suffix = ".";
    suffix += std::to_string(sys::ProcessId());
    suffix += ".tmp";
    return base + sys::Ascii(suffix);
}
bool IsTempName(const Path& base, const Path& name) {
    const Path suffix = sys::Ascii(".tmp");
    if (name.size() < base.size() + 2 + suffix.size() || name.compare(0, base.size(), base) != 0 ||
        name[base.size()] != '.' ||
        name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0) {
        return false;
    }
    for (std::size_t i = base.size() + 1; i < name.size() - suffix.size(); ++i) {
        if (name[i] < '0' || name[i] > '9') {
            return false;
        }
    }
    return true;
}

// Why a file cannot be read as the config file, or 0.
unsigned long ReadRefusal(const sys::Info& info) {
    if (info.kind == sys::Kind::kDirectory) {
        return sys::Code(sys::Failure::kIsDirectory);
    }
    if (info.kind != sys::Kind::kRegular) {
        return sys::Code(sys::Failure::kNotAFile);
    }
    if (info.size > kMaxFileSize) {
        return sys::Code(sys::Failure::kTooLarge);
    }
    return 0;
}

// Why a file cannot be replaced or rewritten as the config file, or 0.
unsigned long WriteRefusal(const sys::Info& info) {
    if (info.kind == sys::Kind::kDirectory) {
        return sys::Code(sys::Failure::kIsDirectory);
    }
    if (info.kind != sys::Kind::kRegular) {
        return sys::Code(sys::Failure::kNotAFile);
    }
    if (!info.writable) {
        return sys::Code(sys::Failure::kReadOnly);
    }
    return 0;
}

// Opens the file at `path` (already resolved) after checking what it is,
// then checks the open file again, since the name may have been replaced
// between the two. The first check keeps a FIFO or device from being opened.
bool OpenChecked(const Path& path, sys::Mode mode, unsigned long (*refusal)(const sys::Info&),
                 File& file, sys::Info& info, unsigned long& error) {
    if (!sys::PathInfo(path, info)) {
        return Fail(error);
    }
    if (const unsigned long code = refusal(info); code != 0) {
        return Fail(error, code);
    }
    File opened(sys::Open(path, mode));
    if (!opened.IsOpen() || !sys::HandleInfo(opened.get(), info)) {
        return Fail(error);
    }
    if (const unsigned long code = refusal(info); code != 0) {
        return Fail(error, code);
    }
    file.Reset(opened.Release());
    return true;
}

// Takes the lock, waiting at most kLockWaitMs for another program to
// release a conflicting one. A file system without locks reads and writes
// unlocked.
bool LockWithin(Handle file, sys::Lock lock, const WaitHook& wait, unsigned long& error) {
    for (unsigned waited = 0;; waited += kLockRetryMs) {
        if (sys::TryLock(file, lock)) {
            return true;
        }
        if (!sys::IsLockHeld(sys::LastError())) {
            return true;
        }
        if (waited >= kLockWaitMs) {
            return Fail(error, sys::Code(sys::Failure::kBusy));
        }
        if (wait) {
            wait();
        }
        sys::Sleep(kLockRetryMs);
    }
}

// Reads the open file from its start to its end; `size` is its size when it
// was opened.
bool ReadAll(Handle file, std::uint64_t size, std::string& bytes, unsigned long& error) {
    // The file may have grown since: one byte more than the limit tells.
    constexpr auto kLimit = static_cast<std::size_t>(kMaxFileSize) + 1;
    constexpr std::size_t kChunk = std::size_t{64} * 1024;
    bytes.resize(static_cast<std::size_t>(std::min<std::uint64_t>(size + 1, kLimit)));
    std::size_t used = 0;
    for (;;) {
        if (used == bytes.size()) {
            if (used >= kLimit) {
                return Fail(error, sys::Code(sys::Failure::kTooLarge));
            }
            bytes.resize(std::min(used + kChunk, kLimit));
        }
        const std::ptrdiff_t n = sys::Read(file, bytes.data() + used, bytes.size() - used);
        if (n < 0) {
            return Fail(error);
        }
        if (n == 0) {
            bytes.resize(used);
            return true;
        }
        used += static_cast<std::size_t>(n);
    }
}

// Removes temporary files of `base` in `dir` that no saver holds: left by
// saves that were interrupted. A live saver's lock holds across processes,
// PID namespaces and (over NFS) hosts.
void RemoveStaleTemps(const Path& dir, const Path& base) {
    std::vector<Path> names;
    sys::List(dir, base + sys::PathChar('.'), names);
    for (const Path& name : names) {
        if (!IsTempName(base, name)) {
            continue;
        }
        const Path path = dir + name;
        File file(sys::Open(path, sys::Mode::kRead));
        if (!file.IsOpen()) {
            file.Reset(sys::Open(path, sys::Mode::kWrite));
        }
        if (file.IsOpen() && sys::TryLock(file.get(), sys::Lock::kExclusive) &&
            sys::StillNamed(file.get(), path)) {
            sys::Remove(path);
        }
    }
}

// The saver's temporary file, created and locked. Where the system cannot
// create it locked, a concurrent save may take the new file for a stale one
// and remove it before it is locked: the lock is then had once that save lets
// go, the name is free, and creation is tried again, for a bounded time.
bool CreateTemp(const Path& path, File& temp, unsigned long& error) {
    for (unsigned waited = 0; waited < kLockWaitMs; waited += kLockRetryMs) {
        File file(sys::Open(path, sys::Mode::kCreate));
        if (!file.IsOpen()) {
            return Fail(error);
        }
        if (!LockWithin(file.get(), sys::Lock::kExclusive, nullptr, error)) {
            return false;
        }
        if (sys::StillNamed(file.get(), path)) {
            temp.Reset(file.Release());
            return true;
        }
    }
    return Fail(error, sys::Code(sys::Failure::kBusy));
}

// Writes `data` at `offset`; `written` counts the bytes written, also when
// the write fails part of the way.
bool WriteAll(Handle file, std::uint64_t offset, std::string_view data, std::size_t& written) {
    written = 0;
    while (written < data.size()) {
        const std::ptrdiff_t n = sys::WriteAt(file, offset + written, data.substr(written));
        if (n < 0) {
            return false;
        }
        written += static_cast<std::size_t>(n);
    }
    return true;
}

// Puts the old bytes back over a rewrite that failed: those of its first
// `changed` bytes, and those from `cut` on, where it was cut short. Only
// what changed is written, since on a file system that copies on write the
// blocks for it are just those the failed rewrite freed; they come free once
// its changes are committed, as they are before the next attempt.
void Restore(Handle file, const std::string& old, std::size_t changed, std::size_t cut) {
    constexpr int kAttempts = 3;
    const std::string_view bytes(old);
    std::size_t written = 0;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        if (WriteAll(file, 0, bytes.substr(0, std::min(changed, old.size())), written) &&
            (cut >= old.size() || WriteAll(file, cut, bytes.substr(cut), written)) &&
            sys::Truncate(file, old.size()) && sys::Flush(file)) {
            return;
        }
        sys::SyncFileSystem(file);
    }
}

// Rewrites the file where it stands, for a folder that forbids new files or a
// file that cannot be replaced. Loads and other saves are locked out, room
// for the new bytes is made and the file cut to their size before any of them
// is written, and on a failure after that the old bytes are put back.
bool RewriteInPlace(const Path& target, const std::string& bytes, const WaitHook& wait,
                    unsigned long& error) {
    File file;
    std::string old;
    sys::Info info;
    if (!OpenChecked(target, sys::Mode::kReadWrite, WriteRefusal, file, info, error) ||
        !LockWithin(file.get(), sys::Lock::kExclusive, wait, error) ||
        !ReadAll(file.get(), info.size, old, error)) {
        return false;
    }
    const std::uint64_t size = bytes.size();
    if (!sys::Reserve(file.get(), size)) {
        const unsigned long code = sys::LastError();
        sys::Truncate(file.get(), old.size());  // zeros it may have added
        return Fail(error, code);
    }
    // The cut comes first, since it can be refused (Windows, under another
    // program's mapped view).
    const std::size_t cut = std::min(bytes.size(), old.size());
    if (cut < old.size() && !sys::Truncate(file.get(), cut)) {
        const unsigned long code = sys::LastError();
        Restore(file.get(), old, 0, cut);
        return Fail(error, code);
    }
    std::size_t written = 0;
    if (!WriteAll(file.get(), 0, bytes, written) || !sys::Truncate(file.get(), size) ||
        !sys::Flush(file.get())) {
        const unsigned long code = sys::LastError();
        Restore(file.get(), old, written, cut);
        return Fail(error, code);
    }
    return file.Close() || Fail(error);
}

}  // namespace

bool ReadFile(const char* path, std::string& bytes, unsigned long& error, const WaitHook& wait) {
    if (path == nullptr || *path == '\0') {
        return Fail(error, sys::Code(sys::Failure::kNotFound));
    }
    Path target;
    if (!sys::ResolveLinks(sys::ToPath(path), target)) {
        return Fail(error);
    }
    File file;
    sys::Info info;
    return OpenChecked(target, sys::Mode::kRead, ReadRefusal, file, info, error) &&
           LockWithin(file.get(), sys::Lock::kShared, wait, error) &&
           ReadAll(file.get(), info.size, bytes, error);
}

bool WriteFile(const char* path, const std::string& bytes, unsigned long& error,
               const WaitHook& wait) {
    if (path == nullptr || *path == '\0') {
        return Fail(error, sys::Code(sys::Failure::kNotFound));
    }
    if (bytes.size() > kMaxFileSize) {
        return Fail(error, sys::Code(sys::Failure::kTooLarge));
    }
    Path target;
    if (!sys::ResolveLinks(sys::ToPath(path), target)) {
        return Fail(error);
    }
    sys::Info info;
    const bool exists = sys::PathInfo(target, info);
    if (!exists && !sys::IsNotFound(sys::LastError())) {
        return Fail(error);
    }
    // The file must be one we may write, whichever way it is then saved.
    File old;
    if (exists && !OpenChecked(target, sys::Mode::kWrite, WriteRefusal, old, info, error)) {
        return false;
    }

    const Path dir = DirPart(target);
    const Path base = target.substr(dir.size());
    RemoveStaleTemps(dir, base);
    const Path tempPath = dir + TempName(base);
    File temp;
    if (!CreateTemp(tempPath, temp, error)) {
        if (exists && sys::IsNoPermission(error)) {
            old.Close();
            return RewriteInPlace(target, bytes, wait, error);
        }
        return false;
    }
    // The temporary file stays locked until it has its final name, so that no
    // other save takes it for stale.
    std::size_t written = 0;
    bool replaced = WriteAll(temp.get(), 0, bytes, written) && sys::Flush(temp.get()) &&
                    (!exists || sys::CopyAccess(old.get(), target, temp.get(), tempPath));
    old.Close();
    replaced = replaced && sys::Replace(temp.get(), tempPath, target, exists);
    if (!replaced) {
        const unsigned long code = sys::LastError();
        temp.Close();
        sys::Remove(tempPath);
        // A file that another save made meanwhile counts as existing.
        if (sys::IsReplaceRefused(code) && (exists || sys::PathInfo(target, info))) {
            return RewriteInPlace(target, bytes, wait, error);
        }
        return Fail(error, code);
    }
    temp.Close();
    sys::SyncFolder(dir);
    return true;
}

bool IsNotFound(unsigned long code) { return sys::IsNotFound(code); }

}  // namespace ini
