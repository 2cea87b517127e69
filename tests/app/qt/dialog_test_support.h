// Shared by the dialog tests: the offscreen application and a scratch
// working folder per test, since the dialog reads ./config.ini.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

// Text with each "\n" written as the file's CR LF.
std::string Crlf(const std::string& text);

std::string ReadFileBytes(const std::filesystem::path& path);
void WriteFileBytes(const std::filesystem::path& path, const std::string& bytes);

// Runs each test in an empty folder of its own; the test program holds an
// offscreen QApplication meanwhile.
class DialogTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    std::string ConfigBytes() const { return ReadFileBytes(m_folder / "config.ini"); }
    void WriteConfig(const std::string& bytes) const {
        WriteFileBytes(m_folder / "config.ini", bytes);
    }
    bool ConfigExists() const { return std::filesystem::exists(m_folder / "config.ini"); }

private:
    std::filesystem::path m_folder;
    std::filesystem::path m_previous;
};
