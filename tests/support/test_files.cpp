#include "tests/support/test_files.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <system_error>

namespace fs = std::filesystem;

std::string OnDisk(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\n') {
            out += '\r';
        }
        out += c;
    }
    return out;
}

std::string FirstRunFile(int motionBlur) {
    return OnDisk(
        "[display]\ndrivertype=1\nwidth=800\nheight=600\ncolorbits=32\ndepthbits=16\n"
        "fullscreen=1\nsync=1\n\n[misc]\nxmusic=0\nxsnd=0\nmotionblur=" +
        std::to_string(motionBlur) + "\nscursor=0\n");
}

std::string ReadBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string OtherFiles(const fs::path& dir) {
    std::string names;
    for (const auto& item : fs::directory_iterator(dir)) {
        if (item.path().filename() != "config.ini") {
            names += item.path().filename().string() + " ";
        }
    }
    return names;
}

void WriteBytes(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

ScopedWorkDir::ScopedWorkDir() {
    std::string base = "zarv_test";
    if (const auto* info = ::testing::UnitTest::GetInstance()->current_test_info()) {
        base += std::string("_") + info->test_suite_name() + "_" + info->name();
    }
    // Parameterised names hold '/'.
    for (char& c : base) {
        if (c == '/') {
            c = '_';
        }
    }
    // A number no other directory has, so parallel runs never share one.
    for (int n = 0;; ++n) {
        m_dir = fs::temp_directory_path() / (base + "_" + std::to_string(n));
        if (fs::create_directory(m_dir)) {
            break;
        }
    }
    m_previous = fs::current_path();
    fs::current_path(m_dir);
}

ScopedWorkDir::~ScopedWorkDir() {
    std::error_code ec;
    fs::current_path(m_previous, ec);
    // Windows refuses to delete a read-only file, POSIX to empty a read-only
    // directory.
    fs::permissions(m_dir, fs::perms::owner_all, fs::perm_options::add, ec);
    for (fs::recursive_directory_iterator it(m_dir, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code ignored;
        fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
    }
    fs::remove_all(m_dir, ec);
}
