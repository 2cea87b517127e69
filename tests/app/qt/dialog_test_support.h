// Shared by the dialog tests: the offscreen application and a scratch
// working folder per test, since the dialog reads ./config.ini.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "tests/support/test_files.h"

// Runs each test in an empty folder of its own; the test program holds an
// offscreen QApplication meanwhile.
class DialogTest : public ::testing::Test {
protected:
    void SetUp() override;

    std::string ConfigBytes() const { return ReadBytes(m_workDir.path() / "config.ini"); }
    void WriteConfig(const std::string& bytes) const {
        WriteBytes(m_workDir.path() / "config.ini", bytes);
    }
    bool ConfigExists() const { return std::filesystem::exists(m_workDir.path() / "config.ini"); }

private:
    ScopedWorkDir m_workDir;
};
