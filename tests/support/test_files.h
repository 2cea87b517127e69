// Files for tests: a scratch working directory and a file's exact bytes.
#pragma once

#include <filesystem>
#include <string>

// The text as it lies on disk: every "\n" written as CR LF.
std::string OnDisk(const std::string& text);

// The bytes of a config.ini made at first run, as it lies on disk.
std::string FirstRunFile(int motionBlur);

// The file's bytes; empty if it cannot be opened.
std::string ReadBytes(const std::filesystem::path& path);

// The names in folder `dir` other than config.ini (temporary files, say),
// each followed by a space.
std::string OtherFiles(const std::filesystem::path& dir);

// Replaces the file's contents with `bytes`.
void WriteBytes(const std::filesystem::path& path, const std::string& bytes);

// A new, empty directory under the temporary directory, named after the
// running test and made the working directory while the object lives; then
// the previous working directory returns and the directory is removed, even
// with read-only entries in it.
class ScopedWorkDir {
public:
    ScopedWorkDir();
    ~ScopedWorkDir();
    ScopedWorkDir(const ScopedWorkDir&) = delete;
    ScopedWorkDir& operator=(const ScopedWorkDir&) = delete;

    const std::filesystem::path& path() const { return m_dir; }

private:
    std::filesystem::path m_dir;
    std::filesystem::path m_previous;
};
