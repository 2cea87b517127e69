// The Windows file layer on real files, run under Wine: other programs'
// handles, maps and locks, Unix links, access lists, concurrent saving
// processes, and folder names outside the ANSI code page.
#include <windows.h>
// After windows.h:
#include <sddl.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "config/file_io.h"
#include "config/ini_file.h"
#include "tests/support/test_files.h"

namespace fs = std::filesystem;

namespace {

const std::string kFirstRun = FirstRunFile(1);

// A text of at least `size` bytes whose every line names `tag`.
std::string Text(const std::string& tag, std::size_t size) {
    std::string text = "[" + tag + "]\r\n";
    for (int i = 0; text.size() < size; ++i) {
        text += "key" + std::to_string(i) + "=" + tag + "\r\n";
    }
    return text;
}

class WinFileIo : public testing::Test {
protected:
    std::string OtherFiles() const { return ::OtherFiles(m_dir); }

    ScopedWorkDir m_workDir;
    const fs::path m_dir = m_workDir.path();
    const std::string m_path = (m_dir / "config.ini").string();
};

// A handle like a running game's: reading and writing shared, deleting not.
HANDLE HoldOpen(const std::string& path) {
    return CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                       FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

// Another program holds config.ini open, reading and writing shared but
// not deleting, or maps it: the file cannot be replaced and is rewritten in
// place. A mapped file cannot be cut either; a save gives it the new bytes or
// leaves the old ones.
TEST_F(WinFileIo, HeldOrMappedFileGetsTheNewBytesOrKeepsTheOld) {
    const std::string old = Text("old", 3000);
    enum Holder { kOpen, kMappedOpen, kMapped };
    for (const Holder holding : {kOpen, kMappedOpen, kMapped}) {
        for (const std::size_t size : {std::size_t{300}, std::size_t{3000}, std::size_t{20000}}) {
            SCOPED_TRACE(std::to_string(holding) + ", " + std::to_string(size) + " bytes");
            WriteBytes(m_path, old);
            HANDLE holder = HoldOpen(m_path);
            ASSERT_NE(holder, INVALID_HANDLE_VALUE);
            HANDLE mapping = nullptr;
            const void* view = nullptr;
            if (holding != kOpen) {
                mapping = CreateFileMappingW(holder, nullptr, PAGE_READONLY, 0, 0, nullptr);
                view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0);
                ASSERT_NE(view, nullptr);
            }
            if (holding == kMapped) {
                CloseHandle(holder);
            }
            const std::string text = Text("new", size);
            ini::Error error;
            const bool saved = ini::WriteFile(m_path.c_str(), text, error);
            if (view != nullptr) {
                UnmapViewOfFile(view);
                CloseHandle(mapping);
            }
            if (holding != kMapped) {
                CloseHandle(holder);
            }
            EXPECT_TRUE(saved || holding != kOpen) << "error " << error.code;
            EXPECT_EQ(ReadBytes(m_path), saved ? text : old) << "error " << error.code;
            EXPECT_EQ(OtherFiles(), "");
            std::printf("holder %d, %zu bytes over %zu: %s (%lu)\n", holding, size, old.size(),
                        saved ? "saved" : "old bytes kept", error.code);
        }
    }
}

// Another handle locks one byte far past the end of the file: Load, and the
// rewrite in place that the holder forces, wait a bounded time and fail as
// busy; nothing changes.
TEST_F(WinFileIo, ALockOnOneBytePastTheEndEndsTheWaitAsBusy) {
    WriteBytes(m_path, kFirstRun);
    HANDLE holder = HoldOpen(m_path);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    OVERLAPPED at{};
    at.Offset = 100000;
    ASSERT_TRUE(
        LockFileEx(holder, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at));
    CIniFile ini;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(ini.Load(m_path.c_str()));
    EXPECT_EQ(ini.GetFailure(), ini::Failure::kBusy);
    const auto loaded = std::chrono::steady_clock::now();
    ini.SetInt("display", "width", 1024);
    EXPECT_FALSE(ini.Save(m_path.c_str()));
    EXPECT_EQ(ini.GetFailure(), ini::Failure::kBusy);
    const auto saved = std::chrono::steady_clock::now();
    CloseHandle(holder);
    using Ms = std::chrono::milliseconds;
    std::printf("busy after %lld ms (load) and %lld ms (save)\n",
                static_cast<long long>(std::chrono::duration_cast<Ms>(loaded - start).count()),
                static_cast<long long>(std::chrono::duration_cast<Ms>(saved - loaded).count()));
    EXPECT_EQ(ReadBytes(m_path), kFirstRun);
    EXPECT_EQ(OtherFiles(), "");
}

// The savers of ConcurrentSavesSucceedOrAreBusy, each a process of this program.
constexpr int kSavers = 4;
constexpr int kSaves = 200;
constexpr const char* kSaverVariable = "ZARV_SAVER";

std::wstring Named(const wchar_t* what, unsigned long pid) {
    return std::wstring(L"zarv_") + what + L"_" + std::to_wstring(pid);
}

// Savers in one folder at once: no save is refused by another's open handle
// (each rewrites in place what it cannot replace), one that waits for the
// lock longer than the store does fails as busy, and the file is always one
// of them.
TEST_F(WinFileIo, ConcurrentSavesSucceedOrAreBusy) {
    const unsigned long pid = GetCurrentProcessId();
    HANDLE ready = CreateSemaphoreW(nullptr, 0, kSavers, Named(L"ready", pid).c_str());
    HANDLE go = CreateEventW(nullptr, TRUE, FALSE, Named(L"go", pid).c_str());
    ASSERT_NE(ready, nullptr);
    ASSERT_NE(go, nullptr);
    wchar_t program[MAX_PATH];
    ASSERT_GT(GetModuleFileNameW(nullptr, program, MAX_PATH), 0U);
    std::vector<HANDLE> savers;
    for (int i = 0; i < kSavers; ++i) {
        const std::string value = std::to_string(i) + " " + std::to_string(pid);
        SetEnvironmentVariableA(kSaverVariable, value.c_str());
        std::wstring command = std::wstring(L"\"") + program +
                               L"\" --gtest_filter=WinFileIoSaver.DISABLED_Saves"
                               L" --gtest_also_run_disabled_tests";
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process{};
        ASSERT_TRUE(CreateProcessW(program, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                   m_dir.wstring().c_str(), &startup, &process));
        CloseHandle(process.hThread);
        savers.push_back(process.hProcess);
    }
    SetEnvironmentVariableA(kSaverVariable, nullptr);
    for (int i = 0; i < kSavers; ++i) {
        ASSERT_EQ(WaitForSingleObject(ready, 60000), WAIT_OBJECT_0);
    }
    SetEvent(go);
    for (HANDLE saver : savers) {
        EXPECT_EQ(WaitForSingleObject(saver, 240000), WAIT_OBJECT_0);
        DWORD status = 1;
        GetExitCodeProcess(saver, &status);
        EXPECT_EQ(status, 0U) << "a saver failed; its output tells";
        CloseHandle(saver);
    }
    CloseHandle(go);
    CloseHandle(ready);
    bool known = false;
    for (int i = 0; i < kSavers; ++i) {
        known = known || ReadBytes(m_path) == Text("saver" + std::to_string(i), 1000 + 3000 * i);
    }
    EXPECT_TRUE(known);
    EXPECT_EQ(OtherFiles(), "");
}

// One saver of ConcurrentSavesSucceedOrAreBusy, in the folder it was started in.
TEST(WinFileIoSaver, DISABLED_Saves) {
    const char* value = std::getenv(kSaverVariable);
    ASSERT_NE(value, nullptr);
    int index = 0;
    unsigned long parent = 0;
    ASSERT_EQ(std::sscanf(value, "%d %lu", &index, &parent), 2);
    HANDLE ready = OpenSemaphoreW(SEMAPHORE_MODIFY_STATE, FALSE, Named(L"ready", parent).c_str());
    HANDLE go = OpenEventW(SYNCHRONIZE, FALSE, Named(L"go", parent).c_str());
    ASSERT_NE(ready, nullptr);
    ASSERT_NE(go, nullptr);
    const std::string text = Text("saver" + std::to_string(index), 1000 + 3000 * index);
    ReleaseSemaphore(ready, 1, nullptr);
    ASSERT_EQ(WaitForSingleObject(go, 240000), WAIT_OBJECT_0);
    std::map<ini::Failure, int> failures;
    for (int n = 0; n < kSaves; ++n) {
        ini::Error error;
        if (!ini::WriteFile("config.ini", text, error)) {
            ++failures[error.failure];
        }
    }
    for (const auto& [failure, count] : failures) {
        std::printf("saver %d: %d saves failed as failure %d\n", index, count,
                    static_cast<int>(failure));
    }
    EXPECT_EQ(failures.size(), failures.count(ini::Failure::kBusy));
    CloseHandle(go);
    CloseHandle(ready);
}

bool UnderWine() {
    return GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr;
}

// Runs a Unix shell command in the current folder (Wine starts a Unix
// program as it is). Its process handle does not tell when it has ended,
// so the command makes a file when it is done.
bool RunUnix(const std::string& command) {
    const fs::path done = "zarv_unix.done";
    std::string line = "/bin/sh -c \"" + command + " && : >" + done.string() + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        return false;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    for (int i = 0; i < 1000 && !fs::exists(done); ++i) {
        Sleep(10);
    }
    return fs::remove(done);
}

// Wine shows a Unix link as the file it names: that file is saved and the
// link stays.
TEST_F(WinFileIo, SymbolicLinkUnderWineStaysAndItsFileIsSaved) {
    if (!UnderWine()) {
        GTEST_SKIP() << "not under Wine";
    }
    fs::create_directory(m_dir / "real");
    const fs::path target = m_dir / "real" / "game.ini";
    WriteBytes(target, "[s]\nk=1\n");
    ASSERT_TRUE(RunUnix("ln -s real/game.ini config.ini"));
    CIniFile ini;
    ASSERT_TRUE(ini.Load(m_path.c_str()));
    ini.SetInt("s", "k", 2);
    ASSERT_TRUE(ini.Save(nullptr));
    EXPECT_EQ(ReadBytes(target), "[s]\r\nk=2\r\n");
    // Still a link: the target's new bytes show through it.
    WriteBytes(target, "[s]\r\nk=3\r\n");
    EXPECT_EQ(ReadBytes(m_path), "[s]\r\nk=3\r\n");
    EXPECT_EQ(fs::directory_iterator(m_dir / "real")->path().filename(), "game.ini");
    EXPECT_EQ(OtherFiles(), "real ");
}

// A save keeps the old file's access list, not the one a new file gets.
TEST_F(WinFileIo, SaveKeepsTheAccessList) {
    const auto accessList = [&] {
        std::string list(65536, '\0');
        DWORD size = 0;
        GetFileSecurityA(m_path.c_str(), DACL_SECURITY_INFORMATION, list.data(), 65536, &size);
        return list.substr(0, size);
    };
    WriteBytes(m_path, kFirstRun);
    const std::string made = accessList();
    PSECURITY_DESCRIPTOR everyone = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA("D:P(A;;FA;;;WD)", 1,
                                                                     &everyone, nullptr));
    ASSERT_TRUE(SetFileSecurityA(m_path.c_str(), DACL_SECURITY_INFORMATION, everyone));
    LocalFree(everyone);
    const std::string old = accessList();
    ASSERT_NE(old, made);
    CIniFile ini;
    ini.SetInt("display", "width", 1024);
    ASSERT_TRUE(ini.Save(m_path.c_str()));
    EXPECT_EQ(accessList(), old);
    for (const char* mode : {"600", "640"}) {  // under Wine the file keeps its Unix mode
        ASSERT_TRUE(!UnderWine() || RunUnix(std::string("chmod ") + mode + " config.ini"));
        ASSERT_TRUE(ini.Save(m_path.c_str()));
        EXPECT_TRUE(!UnderWine() ||
                    RunUnix("test $(stat -c %a config.ini) = " + std::string(mode)));
    }
}

// Every file and folder under `root`, with each file's bytes.
std::map<std::wstring, std::string> Tree(const fs::path& root) {
    std::map<std::wstring, std::string> tree;
    for (const auto& item : fs::recursive_directory_iterator(root)) {
        tree[item.path().wstring()] = item.is_regular_file() ? ReadBytes(item.path()) : "/";
    }
    return tree;
}

class FolderNames : public WinFileIo {};

// The player's game folder is named in letters the ANSI code page lacks, in
// look-alikes of "." and "\", or at length: Load and Save use ./config.ini
// there, and no other file anywhere. Each folder has a file that a name
// read as its look-alikes would reach.
TEST_F(FolderNames, OnlyConfigIniInTheCurrentFolderIsUsed) {
    struct Case {
        std::wstring folder;
        std::wstring lookAlike;  // holds a config.ini of its own
    };
    const std::size_t room = MAX_PATH - 6 - m_dir.wstring().size();
    const Case cases[] = {
        {L"\uff47\uff41\uff4d\uff45", L"game"},                            // ｇａｍｅ
        {L"x\\\uff0e\uff0e", L"."},                                        // x\．．
        {L"a\\b\\\uff0e\uff0e\uff3c\uff0e\uff0e\uff3cvictim", L"victim"},  // a\b\．．＼．．＼victim
        {L"\u6e38\u620f", L""},                                            // 游戏
        {L"\uac8c\uc784", L""},                                            // 게임
        {std::wstring(room, L'l'), L""},  // a current folder of MAX_PATH - 5 characters
    };
    std::printf("ANSI code page %u\n", GetACP());
    const std::string old = "[display]\r\nwidth=1024\r\n";
    const std::string saved = "[display]\r\nwidth=1024\r\nheight=768\r\n";
    const std::string firstRun = "[display]\r\nheight=768\r\n";
    int row = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(row++);
        const fs::path folder = m_dir / c.folder;
        fs::create_directories(folder);
        if (!c.lookAlike.empty()) {
            fs::create_directories(m_dir / c.lookAlike);
            WriteBytes(m_dir / c.lookAlike / "config.ini", "[display]\r\nwidth=640\r\n");
        }
        fs::current_path(folder);
        WriteBytes("config.ini", old);
        std::map<std::wstring, std::string> expected = Tree(m_dir);
        const std::wstring file = (folder / "config.ini").wstring();

        CIniFile ini;
        ASSERT_TRUE(ini.Load("config.ini")) << ini.GetErrorCode();
        EXPECT_EQ(ini.GetInt("display", "width", 0), 1024);
        ini.SetInt("display", "height", 768);
        ASSERT_TRUE(ini.Save(nullptr)) << ini.GetErrorCode();
        expected[file] = saved;
        EXPECT_EQ(Tree(m_dir), expected);

        // Made anew when it is missing, as when the dialog first opens.
        ASSERT_TRUE(fs::remove("config.ini"));
        CIniFile fresh;
        EXPECT_FALSE(fresh.Load("config.ini"));
        EXPECT_TRUE(fresh.NotFound());
        fresh.SetInt("display", "height", 768);
        ASSERT_TRUE(fresh.Save("config.ini")) << fresh.GetErrorCode();
        expected[file] = firstRun;
        EXPECT_EQ(Tree(m_dir), expected);
        fs::current_path(m_dir);
    }
}

}  // namespace
