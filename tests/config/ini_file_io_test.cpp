#include <chrono>
#include <filesystem>
#include <random>
#include <string>

#include <gtest/gtest.h>

#include "config/file_io.h"
#include "config/ini_file.h"
#include "config/ini_text.h"
#include "tests/support/test_files.h"

#ifndef _WIN32
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

const char kFirstRun[] =
    "[display]\r\ndrivertype=1\r\nwidth=800\r\nheight=600\r\ncolorbits=32\r\n"
    "depthbits=16\r\nfullscreen=1\r\nsync=1\r\n\r\n"
    "[misc]\r\nxmusic=0\r\nxsnd=0\r\nmotionblur=1\r\nscursor=0\r\n";

class IniFileIo : public testing::Test {
protected:
    // Names in the directory other than config.ini, e.g. temporary files.
    std::string OtherFiles() const {
        std::string names;
        for (const auto& item : fs::directory_iterator(m_dir)) {
            if (item.path().filename() != "config.ini") {
                names += item.path().filename().string() + " ";
            }
        }
        return names;
    }

    ScopedWorkDir m_workDir;
    const fs::path m_dir = m_workDir.path();
    const std::string m_path = (m_dir / "config.ini").string();
};

TEST_F(IniFileIo, MissingFileFailsAndKeepsDocumentAndPath) {
    CIniFile ini;
    WriteBytes(m_path, "[s]\nk=1\n");
    ASSERT_TRUE(ini.Load(m_path.c_str()));
    const std::string missing = (m_dir / "missing.ini").string();
    EXPECT_FALSE(ini.Load(missing.c_str()));
    EXPECT_EQ(ini.GetInt("s", "k", 0), 1);
    ini.SetInt("s", "k", 2);
    ASSERT_TRUE(ini.Save(nullptr));  // still the path of the first load
    EXPECT_EQ(ReadBytes(m_path), "[s]\r\nk=2\r\n");
    EXPECT_FALSE(fs::exists(missing));
}

TEST_F(IniFileIo, EmptyFileLoadsAsEmptyDocument) {
    WriteBytes(m_path, "");
    CIniFile ini;
    ini.SetInt("old", "k", 1);
    ASSERT_TRUE(ini.Load(m_path.c_str()));
    EXPECT_EQ(ini.GetString("old", "k", nullptr), nullptr);
}

TEST_F(IniFileIo, LoadAndSaveReproduceTheFile) {
    WriteBytes(m_path, kFirstRun);
    CIniFile ini;
    ASSERT_TRUE(ini.Load(m_path.c_str()));
    EXPECT_EQ(ini.GetInt("display", "colorbits", 0), 32);
    EXPECT_EQ(ini.GetInt("misc", "motionblur", 0), 1);
    ASSERT_TRUE(ini.Save(nullptr));
    EXPECT_EQ(ReadBytes(m_path), kFirstRun);
    EXPECT_EQ(OtherFiles(), "");

    // The same file with LF line ends loads identically and is written back
    // with CR LF.
    std::string lf = kFirstRun;
    for (std::size_t at; (at = lf.find('\r')) != std::string::npos;) {
        lf.erase(at, 1);
    }
    WriteBytes(m_path, lf);
    CIniFile again;
    ASSERT_TRUE(again.Load(m_path.c_str()));
    ASSERT_TRUE(again.Save(m_path.c_str()));
    EXPECT_EQ(ReadBytes(m_path), kFirstRun);
}

TEST_F(IniFileIo, LargeFileReadsTheSameAcrossReadBuffers) {
    // CR LF pairs and Ctrl-Z-free text straddling every read boundary.
    std::string text = "[big]\r\n";
    for (int i = 0; text.size() < 300000; ++i) {
        text +=
            "key" + std::to_string(i) + "=" + std::string(static_cast<std::size_t>(i % 97), 'v');
        text += i % 5 == 0 ? "\r" : "\r\n";
    }
    WriteBytes(m_path, text);
    CIniFile ini;
    ASSERT_TRUE(ini.Load(m_path.c_str()));
    ASSERT_TRUE(ini.Save(nullptr));
    EXPECT_EQ(ReadBytes(m_path), ini::FormatText(ini::ParseText(text.data(), text.size())));
    EXPECT_STREQ(ini.GetString("big", "key2", ""), "vv");
    EXPECT_STREQ(ini.GetString("big", "key0", ""), "\rkey1=v");  // after a lone CR
}

TEST_F(IniFileIo, DuplicatesReadAndSetTheFirstAndSurviveSaving) {
    WriteBytes(m_path, "[display]\nw=1\nw=2\n[misc]\nm=0\n[display]\nw=3\nh=4\n");
    CIniFile ini;
    ASSERT_TRUE(ini.Load(m_path.c_str()));
    EXPECT_EQ(ini.GetInt("display", "w", 0), 1);
    EXPECT_EQ(ini.GetInt("display", "h", 0), 0);  // only in the second section
    EXPECT_EQ(ini.GetInt("display", "h", 9), 9);
    ini.SetInt("display", "w", 5);
    ini.SetInt("display", "h", 6);
    ASSERT_TRUE(ini.Save(nullptr));
    EXPECT_EQ(
        ReadBytes(m_path),
        "[display]\r\nw=5\r\nw=2\r\nh=6\r\n\r\n[misc]\r\nm=0\r\n\r\n[display]\r\nw=3\r\nh=4\r\n");
}

TEST_F(IniFileIo, SaveCreatesTheFileAndStoresThePathEvenOnFailure) {
    CIniFile ini;
    EXPECT_FALSE(ini.Save(nullptr));  // no path yet
    EXPECT_FALSE(ini.Save(""));
    ini.SetInt("display", "width", 800);
    const std::string bad = (m_dir / "no" / "such" / "config.ini").string();
    EXPECT_FALSE(ini.Save(bad.c_str()));
    EXPECT_FALSE(ini.Save(nullptr));  // the failed path is the stored one
    ASSERT_TRUE(ini.Save(m_path.c_str()));
    EXPECT_EQ(ReadBytes(m_path), "[display]\r\nwidth=800\r\n");
    EXPECT_EQ(OtherFiles(), "");
}

TEST_F(IniFileIo, ReadOnlyFileCountsAsMissingEvenForRoot) {
    WriteBytes(m_path, kFirstRun);
    fs::permissions(m_path, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    CIniFile ini;
    EXPECT_FALSE(ini.Load(m_path.c_str()));
    ini.SetInt("display", "width", 1024);
    EXPECT_FALSE(ini.Save(m_path.c_str()));
    fs::permissions(m_path, fs::perms::owner_write, fs::perm_options::add);
    EXPECT_EQ(ReadBytes(m_path), kFirstRun);
    EXPECT_EQ(OtherFiles(), "");
}

TEST_F(IniFileIo, DirectoryIsNeitherReadNorReplaced) {
    fs::create_directory(m_path);
    CIniFile ini;
    EXPECT_FALSE(ini.Load(m_path.c_str()));
    ini.SetInt("display", "width", 800);
    EXPECT_FALSE(ini.Save(m_path.c_str()));
    EXPECT_TRUE(fs::is_directory(m_path));
    EXPECT_EQ(OtherFiles(), "");
}

TEST_F(IniFileIo, StaleTemporaryFilesOfDeadSavesAreRemoved) {
    EXPECT_EQ(ini::TempName("config.ini", 42), "config.ini.42.tmp");
    EXPECT_EQ(ini::TempOwner("config.ini", "config.ini.42.tmp"), 42U);
    EXPECT_EQ(ini::TempOwner("config.ini", "config.ini..tmp"), 0U);
    EXPECT_EQ(ini::TempOwner("config.ini", "config.ini.4x.tmp"), 0U);
    EXPECT_EQ(ini::TempOwner("config.ini", "other.ini.42.tmp"), 0U);
    EXPECT_EQ(ini::TempOwner("config.ini", "config.ini.4294967295.tmp"), 4294967295U);
    EXPECT_EQ(ini::TempOwner("config.ini", "config.ini.4294967296.tmp"), 0U);
    EXPECT_EQ(ini::TempOwner("config.ini", "config.ini.99999999999.tmp"), 0U);

    // Ids far above any real process id stand for processes that are gone.
    const std::string stale = (m_dir / "config.ini.4000000000.tmp").string();
    const std::string foreign = (m_dir / "other.ini.4000000000.tmp").string();
    WriteBytes(stale, "half");
    WriteBytes(foreign, "x");
    CIniFile ini;
    ini.SetInt("s", "k", 1);
    ASSERT_TRUE(ini.Save(m_path.c_str()));
    EXPECT_FALSE(fs::exists(stale));
    EXPECT_TRUE(fs::exists(foreign));
}

#ifndef _WIN32

mode_t ModeOf(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(::lstat(path.c_str(), &st), 0);
    return st.st_mode;
}

TEST_F(IniFileIo, SaveKeepsPermissionBits) {
    for (const mode_t bits : {0600, 0640, 0604, 0200}) {
        WriteBytes(m_path, "[s]\n");
        ASSERT_EQ(::chmod(m_path.c_str(), bits), 0);
        CIniFile ini;
        ini.SetInt("s", "k", 1);
        ASSERT_TRUE(ini.Save(m_path.c_str()));
        EXPECT_EQ(ModeOf(m_path) & 07777, bits);
        ASSERT_EQ(::chmod(m_path.c_str(), 0600), 0);
        EXPECT_EQ(ReadBytes(m_path), "[s]\r\nk=1\r\n");
    }
}

TEST_F(IniFileIo, SymbolicLinkStaysAndItsTargetIsReplaced) {
    fs::create_directory(m_dir / "real");
    const std::string target = (m_dir / "real" / "game.ini").string();
    WriteBytes(target, "[s]\nk=1\n");
    ASSERT_EQ(::chmod(target.c_str(), 0640), 0);
    // A relative link, resolved against the link's own directory.
    fs::create_symlink("real/game.ini", m_path);
    CIniFile ini;
    ASSERT_TRUE(ini.Load(m_path.c_str()));
    ini.SetInt("s", "k", 2);
    ASSERT_TRUE(ini.Save(nullptr));
    EXPECT_TRUE(fs::is_symlink(m_path));
    EXPECT_EQ(fs::read_symlink(m_path), "real/game.ini");
    EXPECT_EQ(ReadBytes(target), "[s]\r\nk=2\r\n");
    EXPECT_EQ(ModeOf(target) & 07777, 0640U);
    EXPECT_EQ(fs::directory_iterator(m_dir / "real")->path().filename(), "game.ini");

    // A dangling link: the file it names is created.
    fs::remove(target);
    ASSERT_TRUE(ini.Save(nullptr));
    EXPECT_TRUE(fs::is_symlink(m_path));
    EXPECT_EQ(ReadBytes(target), "[s]\r\nk=2\r\n");

    // A link to a read-only file fails like the file.
    ASSERT_EQ(::chmod(target.c_str(), 0444), 0);
    EXPECT_FALSE(ini.Load(m_path.c_str()));
    EXPECT_FALSE(ini.Save(nullptr));
}

TEST_F(IniFileIo, LinkLoopFails) {
    fs::create_symlink("config.ini", m_path);
    CIniFile ini;
    ini.SetInt("s", "k", 1);
    EXPECT_FALSE(ini.Load(m_path.c_str()));
    EXPECT_FALSE(ini.Save(m_path.c_str()));
    EXPECT_TRUE(fs::is_symlink(m_path));
}

TEST_F(IniFileIo, FifoAndDeviceAreNeitherReadNorReplaced) {
    ASSERT_EQ(::mkfifo(m_path.c_str(), 0666), 0);
    CIniFile ini;
    EXPECT_FALSE(ini.Load(m_path.c_str()));  // and does not wait for a writer
    ini.SetInt("s", "k", 1);
    EXPECT_FALSE(ini.Save(m_path.c_str()));
    EXPECT_TRUE(S_ISFIFO(ModeOf(m_path)));
    EXPECT_EQ(OtherFiles(), "");

    EXPECT_FALSE(ini.Load("/dev/null"));
    EXPECT_FALSE(ini.Load("/dev/zero"));
    EXPECT_FALSE(ini.Save("/dev/null"));
    EXPECT_TRUE(S_ISCHR(ModeOf("/dev/null")));
}

// Runs `body` with the file size limit set to `limit` bytes and SIGXFSZ
// ignored, so that writes past the limit fail with EFBIG.
template <class Body>
void WithFileSizeLimit(rlim_t limit, Body body) {
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = ::signal(SIGXFSZ, SIG_IGN);
    rlimit lowered = saved;
    lowered.rlim_cur = limit;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &lowered), 0);
    body();
    ::setrlimit(RLIMIT_FSIZE, &saved);
    ::signal(SIGXFSZ, oldHandler);
}

TEST_F(IniFileIo, FailingWriteReportsFalseAndKeepsTheOldFile) {
    WriteBytes(m_path, kFirstRun);
    CIniFile ini;
    ASSERT_TRUE(ini.Load(m_path.c_str()));
    ini.SetString("misc", "big", std::string(200000, 'x').c_str());
    WithFileSizeLimit(100000, [&] { EXPECT_FALSE(ini.Save(nullptr)); });
    EXPECT_EQ(ReadBytes(m_path), kFirstRun);
    EXPECT_EQ(OtherFiles(), "");
}

TEST_F(IniFileIo, FallsBackToInPlaceWriteOnlyWhenNoTemporaryFileCanBeMade) {
    WriteBytes(m_path, kFirstRun);
    CIniFile ini;
    ASSERT_TRUE(ini.Load(m_path.c_str()));
    // A first save also warms up run-time checkers that need descriptors.
    ini.SetInt("display", "width", 640);
    ASSERT_TRUE(ini.Save(nullptr));
    ini.SetInt("display", "width", 1024);
    // Leave exactly one free descriptor: the target opens, a temporary
    // file cannot. This works for root too, unlike a read-only directory.
    const int lowest = ::dup(0);
    ASSERT_GE(lowest, 0);
    ::close(lowest);
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
    rlimit lowered = saved;
    lowered.rlim_cur = static_cast<rlim_t>(lowest) + 1;
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &lowered), 0);
    const bool savedInPlace = ini.Save(nullptr);
    // With no descriptor left the save fails and changes nothing.
    lowered.rlim_cur = static_cast<rlim_t>(lowest);
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &lowered), 0);
    ini.SetInt("display", "width", 1);
    const bool savedWithout = ini.Save(nullptr);
    ::setrlimit(RLIMIT_NOFILE, &saved);
    EXPECT_TRUE(savedInPlace);
    EXPECT_FALSE(savedWithout);
    std::string expected = kFirstRun;
    expected.replace(expected.find("800"), 3, "1024");
    EXPECT_EQ(ReadBytes(m_path), expected);
    EXPECT_EQ(OtherFiles(), "");
}

// Two different large documents; a save is interrupted at random moments.
TEST_F(IniFileIo, KilledSaveLeavesOneWholeDocument) {
    CIniFile a;
    CIniFile b;
    for (int i = 0; i < 4000; ++i) {
        const std::string section = "section" + std::to_string(i % 50);
        const std::string key = "key" + std::to_string(i);
        a.SetString(section.c_str(), key.c_str(), std::string(100, 'a').c_str());
        b.SetString(section.c_str(), key.c_str(), std::string(150, 'b').c_str());
    }
    const std::string tempA = (m_dir / "a.ini").string();
    const std::string tempB = (m_dir / "b.ini").string();
    ASSERT_TRUE(a.Save(tempA.c_str()));
    ASSERT_TRUE(b.Save(tempB.c_str()));
    const std::string bytesA = ReadBytes(tempA);
    const std::string bytesB = ReadBytes(tempB);
    fs::remove(tempA);
    fs::remove(tempB);
    ASSERT_TRUE(a.Save(m_path.c_str()));

    std::mt19937 rng(777);
    std::uniform_int_distribution<int> delayUs(0, 30000);
    for (int round = 0; round < 60; ++round) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            for (;;) {
                a.Save(m_path.c_str());
                b.Save(m_path.c_str());
            }
        }
        ::usleep(static_cast<useconds_t>(delayUs(rng)));
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);
        const std::string now = ReadBytes(m_path);
        ASSERT_TRUE(now == bytesA || now == bytesB) << "round " << round << ", " << now.size();
    }
    // At most one temporary file per killed save is left, and the next
    // completed save removes them.
    ASSERT_TRUE(b.Save(m_path.c_str()));
    EXPECT_EQ(ReadBytes(m_path), bytesB);
    EXPECT_EQ(OtherFiles(), "");
}

#endif  // _WIN32

}  // namespace
