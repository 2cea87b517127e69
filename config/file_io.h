// The file operations under Load and Save, one implementation per platform.
// Both work only on regular files that grant write access; a symbolic link
// to one counts as the file.
#pragma once

#include <cstddef>
#include <string>

#include "config/ini_text.h"

namespace ini {

// A file opened for reading, after checking it could also be written: a
// missing file, a directory, FIFO or device, and a file whose permission
// bits grant no write access (also to root) do not open.
class InputFile {
public:
    InputFile() = default;
    ~InputFile();
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    bool Open(const char* path);
    // Bytes read; 0 at the end of the file, -1 on a read error.
    std::ptrdiff_t Read(char* buffer, std::size_t size) const;

private:
#ifdef _WIN32
    void* m_handle = nullptr;
#else
    int m_fd = -1;
#endif
};

// Replaces a file as a whole. The text goes to a temporary file beside the
// target (the file a symbolic link names), which is flushed to disk, given
// the target's permissions and renamed over it in one step. Only when no
// temporary file can be created beside a writable target is the target
// rewritten in place. Destroying an uncommitted file removes the temporary
// file; the target is then untouched.
class OutputFile : public ByteSink {
public:
    OutputFile() = default;
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    bool Open(const char* path);
    bool Write(const char* data, std::size_t size) override;
    // True when every write, the flush to disk and the replacement succeeded.
    bool Commit();

private:
    void Close();

    std::string m_target;
    std::string m_temp;  // empty when writing the target in place
    bool m_failed = false;
#ifdef _WIN32
    void* m_handle = nullptr;
#else
    int m_fd = -1;
    long long m_written = 0;
#endif
};

// The calling thread's last system error code (errno, or GetLastError()).
unsigned long LastSystemError();
// True when `code` says that a path names no file.
bool IsNotFound(unsigned long code);

// Name of the temporary file for target base name `base` written by process
// `pid`: "<base>.<pid>.tmp". Files of this pattern whose process no longer
// runs are left over from interrupted saves and are removed by the next save.
std::string TempName(const std::string& base, unsigned long pid);
// The process id of a temporary file name of `base`, or 0 if `name` is not one.
unsigned long TempOwner(const std::string& base, const std::string& name);

}  // namespace ini
