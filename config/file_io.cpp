// The Load and Save sequences, the same on every platform.
#include "config/file_io.h"

#include <cctype>
#include <memory>
#include <utility>
#include <vector>

#include "config/file_sys.h"

namespace ini {

namespace {

constexpr std::size_t kCopyChunk = std::size_t{64} * 1024;
// Attempts at a temporary file that a concurrent save removed as stale in
// the moment between its creation and its lock.
constexpr int kTempAttempts = 3;

std::string DirPart(const std::string& path) {
    const std::size_t slash = path.find_last_of(sys::kSeparators);
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// The reason an existing file cannot be used as the config file, or 0.
unsigned long Unusable(const sys::Info& info, bool checkSize) {
    if (info.kind == sys::Kind::kDirectory) {
        return sys::Code(sys::Failure::kIsDirectory);
    }
    if (info.kind != sys::Kind::kRegular) {
        return sys::Code(sys::Failure::kNotAFile);
    }
    if (!info.writable) {
        return sys::Code(sys::Failure::kReadOnly);
    }
    if (checkSize && info.size > kMaxFileSize) {
        return sys::Code(sys::Failure::kTooLarge);
    }
    return 0;
}

// Checks the file at `path` (already resolved), then opens it in `mode` and
// checks the open file again, since the name may have been replaced between
// the two. The first check keeps a FIFO or device from being opened at all.
Handle OpenChecked(const std::string& path, sys::Mode mode, bool checkSize, unsigned long& error) {
    sys::Info info;
    if (!sys::PathInfo(path, info)) {
        error = sys::LastError();
        return kNoHandle;
    }
    error = Unusable(info, checkSize);
    if (error != 0) {
        return kNoHandle;
    }
    const Handle file = sys::Open(path, mode);
    if (file == kNoHandle) {
        error = sys::LastError();
        return kNoHandle;
    }
    if (!sys::HandleInfo(file, info)) {
        error = sys::LastError();
    } else {
        error = Unusable(info, checkSize);
    }
    if (error != 0) {
        sys::Close(file);
        return kNoHandle;
    }
    return file;
}

// Removes temporary files of `base` in `dir` that no saver holds: left by
// saves that were interrupted. A live saver's lock holds across processes,
// PID namespaces and (over NFS) hosts; on Windows its open handle, which
// shares nothing, keeps the file from being opened at all.
void RemoveStaleTemps(const std::string& dir, const std::string& base) {
    std::vector<std::string> names;
    sys::List(dir, base + ".", names);
    for (const std::string& name : names) {
        if (TempOwner(base, name) == 0) {
            continue;
        }
        const std::string path = dir + name;
        Handle file = sys::Open(path, sys::Mode::kRead);
        if (file == kNoHandle) {
            file = sys::Open(path, sys::Mode::kWrite);
        }
        if (file == kNoHandle) {
            continue;
        }
        if (sys::Lock(file, false) && sys::StillNamed(file, path)) {
            sys::Remove(path);
        }
        sys::Close(file);
    }
}

}  // namespace

InputFile::~InputFile() {
    if (m_file != kNoHandle) {
        sys::Close(m_file);
    }
}

bool InputFile::Open(const char* path) {
    std::string target;
    if (path == nullptr || *path == '\0') {
        m_error = sys::Code(sys::Failure::kNotFound);
        return false;
    }
    if (!sys::ResolveLinks(path, target)) {
        m_error = sys::LastError();
        return false;
    }
    m_file = OpenChecked(target, sys::Mode::kReadWrite, true, m_error);
    return m_file != kNoHandle;
}

std::ptrdiff_t InputFile::Read(char* buffer, std::size_t size) {
    const std::ptrdiff_t n = sys::Read(m_file, buffer, size);
    if (n < 0) {
        m_error = sys::LastError();
        return -1;
    }
    // The file may have grown since it was opened.
    m_read += static_cast<std::uint64_t>(n);
    if (m_read > kMaxFileSize) {
        m_error = sys::Code(sys::Failure::kTooLarge);
        return -1;
    }
    return n;
}

OutputFile::~OutputFile() {
    Close();
    if (!m_temp.empty()) {
        sys::Remove(m_temp);
    }
}

void OutputFile::Close() {
    if (m_file != kNoHandle) {
        sys::Close(m_file);
        m_file = kNoHandle;
    }
}

bool OutputFile::Fail() {
    if (!m_failed) {
        m_failed = true;
        m_error = sys::LastError();
    }
    return false;
}

bool OutputFile::Open(const char* path, std::uint64_t size) {
    m_size = size;
    if (path == nullptr || *path == '\0') {
        m_failed = true;
        m_error = sys::Code(sys::Failure::kNotFound);
        return false;
    }
    if (!sys::ResolveLinks(path, m_target)) {
        return Fail();
    }
    sys::Info info;
    m_exists = sys::PathInfo(m_target, info);
    if (!m_exists && !IsNotFound(sys::LastError())) {
        return Fail();
    }
    Handle target = kNoHandle;
    if (m_exists) {
        // The target must be a file we may write, as for a rewrite in place.
        target = OpenChecked(m_target, sys::Mode::kWrite, false, m_error);
        if (target == kNoHandle) {
            m_failed = true;
            return false;
        }
    }

    const std::string dir = DirPart(m_target);
    RemoveStaleTemps(dir, m_target.substr(dir.size()));
    if (CreateTemp(dir, m_target.substr(dir.size()))) {
        const bool kept = !m_exists || sys::CopyAccess(target, m_target, m_file, m_temp);
        if (!kept) {
            Fail();
        }
        if (target != kNoHandle) {
            sys::Close(target);
        }
        return kept;
    }
    const unsigned long error = sys::LastError();
    if (target == kNoHandle || !sys::IsPermission(error)) {
        if (target != kNoHandle) {
            sys::Close(target);
        }
        m_failed = true;
        m_error = error;
        return false;
    }
    return BeginInPlace(target);
}

bool OutputFile::CreateTemp(const std::string& dir, const std::string& base) {
    const std::string temp = dir + TempName(base, sys::ProcessId());
    for (int attempt = 0; attempt < kTempAttempts; ++attempt) {
        const Handle file = sys::Open(temp, sys::Mode::kCreate);
        if (file == kNoHandle) {
            return false;
        }
        if (sys::Lock(file, false) && sys::StillNamed(file, temp)) {
            m_file = file;
            m_temp = temp;
            return true;
        }
        sys::Close(file);
    }
    return false;
}

// Takes over the open target for a rewrite in place: waits for other saves
// in place to end, and makes room for the new text before a byte changes,
// so that a full disk leaves the old bytes.
bool OutputFile::BeginInPlace(Handle target) {
    m_file = target;
    if (!sys::Lock(m_file, true) || !sys::Reserve(m_file, m_size)) {
        Fail();
        Close();
        return false;
    }
    return true;
}

bool OutputFile::Write(const char* data, std::size_t size) {
    if (m_failed || m_file == kNoHandle) {
        return false;
    }
    if (m_temp.empty() && m_written + size > m_size) {
        // More than was announced and reserved.
        m_failed = true;
        m_error = sys::Code(sys::Failure::kTooLarge);
        return false;
    }
    if (!sys::Write(m_file, data, size)) {
        return Fail();
    }
    m_written += size;
    return true;
}

bool OutputFile::Commit() {
    if (m_failed || m_file == kNoHandle) {
        return false;
    }
    if (m_temp.empty() && !sys::Truncate(m_file, m_written)) {
        return Fail();
    }
    if (!sys::Flush(m_file)) {
        return Fail();
    }
    const Handle file = m_file;
    m_file = kNoHandle;
    if (!sys::Close(file)) {
        return Fail();
    }
    if (m_temp.empty()) {
        return true;
    }
    if (!sys::Replace(m_temp, m_target, m_exists)) {
        if (!m_exists || !sys::IsSharing(sys::LastError())) {
            return Fail();
        }
        // Another program holds the target open without letting it be
        // replaced, but lets it be written.
        if (!CopyTempInPlace()) {
            return false;
        }
        sys::Remove(m_temp);
        m_temp.clear();
        return true;
    }
    m_temp.clear();
    sys::SyncFolder(DirPart(m_target));
    return true;
}

bool OutputFile::CopyTempInPlace() {
    const Handle source = sys::Open(m_temp, sys::Mode::kRead);
    if (source == kNoHandle) {
        return Fail();
    }
    unsigned long error = 0;
    const Handle target = OpenChecked(m_target, sys::Mode::kWrite, false, error);
    if (target == kNoHandle) {
        sys::Close(source);
        m_failed = true;
        m_error = error;
        return false;
    }
    m_size = m_written;
    bool ok = BeginInPlace(target);
    const auto buffer = std::make_unique<char[]>(kCopyChunk);
    std::uint64_t copied = 0;
    while (ok) {
        const std::ptrdiff_t n = sys::Read(source, buffer.get(), kCopyChunk);
        if (n == 0) {
            break;
        }
        ok = n > 0 && sys::Write(m_file, buffer.get(), static_cast<std::size_t>(n));
        copied += n > 0 ? static_cast<std::uint64_t>(n) : 0;
    }
    ok = ok && sys::Truncate(m_file, copied) && sys::Flush(m_file);
    if (!ok) {
        Fail();
    }
    sys::Close(source);
    if (m_file != kNoHandle) {
        const Handle file = m_file;
        m_file = kNoHandle;
        if (!sys::Close(file) && ok) {
            ok = Fail();
        }
    }
    return ok;
}

bool IsNotFound(unsigned long code) { return sys::IsNotFound(code); }

std::string TempName(const std::string& base, unsigned long pid) {
    return base + "." + std::to_string(pid) + ".tmp";
}

unsigned long TempOwner(const std::string& base, const std::string& name) {
    static constexpr std::size_t kSuffix = 4;  // ".tmp"
    static constexpr unsigned long kMaxPid = 0xFFFFFFFFUL;
    if (name.size() <= base.size() + 1 + kSuffix || name.compare(0, base.size(), base) != 0 ||
        name[base.size()] != '.' || name.compare(name.size() - kSuffix, kSuffix, ".tmp") != 0) {
        return 0;
    }
    unsigned long pid = 0;
    for (std::size_t i = base.size() + 1; i < name.size() - kSuffix; ++i) {
        const auto c = static_cast<unsigned char>(name[i]);
        if (std::isdigit(c) == 0) {
            return 0;
        }
        const unsigned long digit = c - '0';
        if (pid > (kMaxPid - digit) / 10) {
            return 0;
        }
        pid = pid * 10 + digit;
    }
    return pid;
}

}  // namespace ini
