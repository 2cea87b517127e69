// The file operations under Load and Save, written once over the small
// platform layer of config/file_sys.h. Both work only on regular files that
// grant write access; a symbolic link to one counts as the file when the
// link may be trusted (see ResolveLinks in file_sys.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "config/ini_text.h"

namespace ini {

// A file of the platform: a descriptor on POSIX, a HANDLE on Windows.
using Handle = std::intptr_t;
inline constexpr Handle kNoHandle = -1;

// The largest file Load reads; a larger one fails as too large. Reading a
// file of this size takes at most 64 times as much memory.
inline constexpr std::uint64_t kMaxFileSize = std::uint64_t{1} << 20;

// A file opened for reading, after checking it could also be written: a
// missing file, a directory, FIFO or device, a file on a pseudo file system,
// a file whose permission bits grant no write access (also to root) and a
// file larger than kMaxFileSize do not open.
class InputFile {
public:
    InputFile() = default;
    ~InputFile();
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    bool Open(const char* path);
    // Bytes read; 0 at the end of the file, -1 on a read error or once more
    // than kMaxFileSize bytes have come.
    std::ptrdiff_t Read(char* buffer, std::size_t size);
    // The system error code of the failed Open or Read.
    unsigned long Error() const { return m_error; }

private:
    Handle m_file = kNoHandle;
    std::uint64_t m_read = 0;
    unsigned long m_error = 0;
};

// Replaces a file as a whole. The text goes to a temporary file beside the
// target (the file a symbolic link names), which is locked while it is
// written, flushed to disk, given the target's permissions and put in the
// target's place in one step. Only when the folder forbids creating a file,
// or (Windows) another program's open handle forbids the replacement, is the
// target rewritten in place: locked against other saves, with room for the
// new size made before its first byte changes. Destroying an uncommitted
// file removes the temporary file; the target is then untouched.
class OutputFile : public ByteSink {
public:
    OutputFile() = default;
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // `size`: the exact number of bytes that will be written.
    bool Open(const char* path, std::uint64_t size);
    bool Write(const char* data, std::size_t size) override;
    // True when every write, the flush to disk and the replacement succeeded.
    bool Commit();
    // The system error code of the first failed step.
    unsigned long Error() const { return m_error; }

private:
    bool Fail();
    bool CreateTemp(const std::string& dir, const std::string& base);
    bool BeginInPlace(Handle target);
    bool CopyTempInPlace();
    void Close();

    std::string m_target;
    std::string m_temp;  // empty when writing the target in place
    Handle m_file = kNoHandle;
    std::uint64_t m_size = 0;
    std::uint64_t m_written = 0;
    bool m_exists = false;
    bool m_failed = false;
    unsigned long m_error = 0;
};

// True when `code` says that a path names no file.
bool IsNotFound(unsigned long code);

// Name of the temporary file for target base name `base` written by process
// `pid`: "<base>.<pid>.tmp". A saver holds a lock on its temporary file until
// it is renamed; one that nobody holds is left over from an interrupted save
// and is removed by the next save.
std::string TempName(const std::string& base, unsigned long pid);
// The process id of a temporary file name of `base`, or 0 if `name` is not one.
unsigned long TempOwner(const std::string& base, const std::string& name);

}  // namespace ini
