#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <new>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "config/file_io.h"
#include "config/ini_file.h"
#include "config/ini_text.h"
#include "tests/support/test_files.h"

#ifdef _WIN32
#include <malloc.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <malloc.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace fs = std::filesystem;

// Heap bytes in use by this program and their peak, counted by the
// operators below; the memory bound of Load is checked against them.
namespace {

std::atomic<std::size_t> g_heapInUse{0};
std::atomic<std::size_t> g_heapPeak{0};

std::size_t BlockSize(void* block) {
#ifdef _WIN32
    return _msize(block);
#else
    return malloc_usable_size(block);
#endif
}

void* Allocate(std::size_t size) {
    void* block = std::malloc(size == 0 ? 1 : size);
    if (block == nullptr) {
        std::abort();  // the Windows build has no exceptions
    }
    const std::size_t now = g_heapInUse += BlockSize(block);
    std::size_t peak = g_heapPeak.load();
    while (now > peak && !g_heapPeak.compare_exchange_weak(peak, now)) {
    }
    return block;
}

void Release(void* block) {
    if (block != nullptr) {
        g_heapInUse -= BlockSize(block);
        std::free(block);
    }
}

}  // namespace

void* operator new(std::size_t size) { return Allocate(size); }
void* operator new[](std::size_t size) { return Allocate(size); }
void operator delete(void* block) noexcept { Release(block); }
void operator delete[](void* block) noexcept { Release(block); }
void operator delete(void* block, std::size_t /*size*/) noexcept { Release(block); }
void operator delete[](void* block, std::size_t /*size*/) noexcept { Release(block); }

namespace {

const std::string kFirstRun = FirstRunFile(1);

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

#ifdef _WIN32
constexpr unsigned long kNoFile = ERROR_FILE_NOT_FOUND;
constexpr unsigned long kDenied = ERROR_ACCESS_DENIED;
constexpr unsigned long kIsDirectory = ERROR_ACCESS_DENIED;
constexpr unsigned long kTooLarge = ERROR_FILE_TOO_LARGE;
#else
constexpr unsigned long kNoFile = ENOENT;
constexpr unsigned long kDenied = EACCES;
constexpr unsigned long kIsDirectory = EISDIR;
constexpr unsigned long kTooLarge = EFBIG;
constexpr unsigned long kNotAFile = EINVAL;
constexpr unsigned kNobody = 65534;

// Makes a symbolic link `link` to `target` that belongs to `owner`.
void LinkOwnedBy(const char* target, const fs::path& link, unsigned owner) {
    fs::create_symlink(target, link);
    ASSERT_EQ(::lchown(link.c_str(), owner, owner), 0);
}
#endif

// What Load and Save report for a config.ini they must not use, and that
// they leave everything as it was. `saveError` 0: Save is not tried.
TEST_F(IniFileIo, UnusableFilesFailWithTheirReasonAndStayAsTheyAre) {
    const std::string tooLarge(static_cast<std::size_t>(ini::kMaxFileSize) + 1, 'x');
    struct Case {
        const char* name;
        std::function<void(const fs::path&)> make;
        unsigned long loadError;
        unsigned long saveError;
        bool rootOnly;
    };
    const Case cases[] = {
        {"missing", [](const fs::path&) {}, kNoFile, 0, false},
        {"read-only",
         [](const fs::path& file) {
             WriteBytes(file, kFirstRun);
             fs::permissions(file, fs::perms::owner_read | fs::perms::group_read);
         },
         kDenied, kDenied, false},
        {"directory", [](const fs::path& file) { fs::create_directory(file); }, kIsDirectory,
         kIsDirectory, false},
        {"too large", [&](const fs::path& file) { WriteBytes(file, tooLarge); }, kTooLarge, 0,
         false},
#ifndef _WIN32
        {"fifo", [](const fs::path& file) { ASSERT_EQ(::mkfifo(file.c_str(), 0666), 0); },
         kNotAFile, kNotAFile, false},
        {"link to a device", [](const fs::path& file) { fs::create_symlink("/dev/zero", file); },
         kNotAFile, kNotAFile, false},
        {"link into procfs",
         [](const fs::path& file) { fs::create_symlink("/proc/self/comm", file); }, kNotAFile,
         kNotAFile, false},
        {"link loop", [](const fs::path& file) { fs::create_symlink("config.ini", file); }, ELOOP,
         ELOOP, false},
        {"planted link",
         [](const fs::path& file) {
             WriteBytes(file.parent_path() / "passwd", kFirstRun);
             LinkOwnedBy("passwd", file, kNobody);
         },
         kDenied, kDenied, true},
        {"planted dangling link",
         [](const fs::path& file) { LinkOwnedBy("passwd", file, kNobody); }, kDenied, kDenied,
         true},
#endif
    };
    int row = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
#ifndef _WIN32
        if (c.rootOnly && ::geteuid() != 0) {
            continue;
        }
#endif
        const fs::path dir = m_dir / std::to_string(row++);
        fs::create_directory(dir);
        const fs::path file = dir / "config.ini";
        c.make(file);
        const auto snapshot = [&] {
            std::string all;
            for (const auto& item : fs::directory_iterator(dir)) {
                all +=
                    item.path().filename().string() + "=" +
                    (fs::is_regular_file(fs::symlink_status(item.path())) ? ReadBytes(item.path())
                                                                          : "") +
                    ";";
            }
            return all;
        };
        const std::string before = snapshot();
        CIniFile ini;
        EXPECT_FALSE(ini.Load(file.string().c_str()));
        EXPECT_EQ(ini.GetErrorCode(), c.loadError);
        EXPECT_EQ(ini.NotFound(), c.loadError == kNoFile);
        if (c.saveError != 0) {
            ini.SetInt("display", "width", 1024);
            EXPECT_FALSE(ini.Save(file.string().c_str()));
            EXPECT_EQ(ini.GetErrorCode(), c.saveError);
        }
        EXPECT_EQ(snapshot(), before);
    }
}

// The worst case for memory is a file of the largest size read, made of the
// shortest lines that each add an entry or a section.
TEST_F(IniFileIo, LoadTakesAtMost48TimesTheFileSizePlus256KiB) {
    const auto size = static_cast<std::size_t>(ini::kMaxFileSize);
    for (const std::string line : {"=\n", "=\r\n", "[]\n"}) {
        SCOPED_TRACE(line);
        std::string text = "[s]\n";
        while (text.size() + line.size() <= size) {
            text += line;
        }
        WriteBytes(m_path, text);
        text = std::string();
        CIniFile ini;
        const std::size_t before = g_heapInUse;
        g_heapPeak = before;
        ASSERT_TRUE(ini.Load(m_path.c_str()));
        const std::size_t peak = g_heapPeak - before;
        EXPECT_LE(peak, 48 * size + 256 * 1024);
        std::string shown;
        for (const char c : line) {
            shown += c == '\n' ? "\\n" : c == '\r' ? "\\r" : std::string(1, c);
        }
        std::printf("lines of \"%s\": peak %zu bytes, %.1f times the file\n", shown.c_str(), peak,
                    static_cast<double>(peak) / static_cast<double>(size));
    }
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

#ifdef _WIN32

// config.ini held open for reading and writing by another program, as the C
// runtime's default sharing (a running game) does: the save still succeeds.
TEST_F(IniFileIo, FileHeldOpenWithReadWriteSharingIsSaved) {
    WriteBytes(m_path, kFirstRun);
    HANDLE holder = CreateFileA(m_path.c_str(), GENERIC_READ | GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    CIniFile ini;
    ASSERT_TRUE(ini.Load(m_path.c_str()));
    ini.SetInt("display", "width", 1024);
    EXPECT_TRUE(ini.Save(nullptr)) << ini.GetErrorCode();
    CloseHandle(holder);
    std::string expected = kFirstRun;
    expected.replace(expected.find("800"), 3, "1024");
    EXPECT_EQ(ReadBytes(m_path), expected);
    EXPECT_EQ(OtherFiles(), "");
}

// Wine shows a Unix symbolic link as a plain file: a save replaces the file
// it names and the link stays.
TEST_F(IniFileIo, SymbolicLinkUnderWineStays) {
    if (GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") == nullptr) {
        GTEST_SKIP() << "not under Wine";
    }
    fs::create_directory(m_dir / "real");
    const fs::path target = m_dir / "real" / "game.ini";
    WriteBytes(target, "[s]\nk=1\n");
    // Wine runs a Unix program as it is; this makes the link.
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    std::string command = "/bin/ln -s real/game.ini config.ini";
    ASSERT_TRUE(CreateProcessA("Z:\\bin\\ln", command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                               nullptr, &startup, &process));
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    // Its process handle does not tell when it has ended.
    for (int i = 0; i < 500 && GetFileAttributesA(m_path.c_str()) == INVALID_FILE_ATTRIBUTES; ++i) {
        Sleep(10);
    }
    CIniFile ini;
    ASSERT_TRUE(ini.Load(m_path.c_str()));
    ini.SetInt("s", "k", 2);
    ASSERT_TRUE(ini.Save(nullptr));
    EXPECT_EQ(ReadBytes(target), "[s]\r\nk=2\r\n");
    // Still a link: the target's new bytes show through it.
    WriteBytes(target, "[s]\r\nk=3\r\n");
    EXPECT_EQ(ReadBytes(m_path), "[s]\r\nk=3\r\n");
    EXPECT_EQ(fs::directory_iterator(m_dir / "real")->path().filename(), "game.ini");
}

#endif  // _WIN32

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

    // A dangling link: no file, and the file it names is created.
    fs::remove(target);
    EXPECT_FALSE(ini.Load(m_path.c_str()));
    EXPECT_TRUE(ini.NotFound());
    ASSERT_TRUE(ini.Save(nullptr));
    EXPECT_TRUE(fs::is_symlink(m_path));
    EXPECT_EQ(ReadBytes(target), "[s]\r\nk=2\r\n");

    // A link to a read-only file fails like the file.
    ASSERT_EQ(::chmod(target.c_str(), 0444), 0);
    EXPECT_FALSE(ini.Load(m_path.c_str()));
    EXPECT_FALSE(ini.Save(nullptr));
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

// Runs `body` in a child process and returns its exit status (a signal
// number plus 128 when one ended it).
template <class Body>
int InChild(Body body) {
    const pid_t child = ::fork();
    if (child == 0) {
        ::_exit(body());
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

constexpr int kSkipped = 77;

// Turns `dir` into a folder in which config.ini can be written but no file
// created, and the calling process into an ordinary user for whom that holds
// (root ignores folder permissions).
bool LockFolder(const fs::path& dir) {
    return ::chown((dir / "config.ini").c_str(), kNobody, kNobody) == 0 &&
           ::chmod(dir.c_str(), 0555) == 0 && ::setgid(kNobody) == 0 && ::setuid(kNobody) == 0;
}

// A document of about `size` bytes whose every line names `tag`.
std::string Document(const std::string& tag, std::size_t size) {
    CIniFile ini;
    for (int i = 0; static_cast<std::size_t>(i) * 24 < size; ++i) {
        ini.SetString(tag.c_str(), ("key" + std::to_string(i)).c_str(), tag.c_str());
    }
    const std::string path = "doc-" + tag + ".ini";
    ini.Save(path.c_str());
    std::string bytes = ReadBytes(path);
    fs::remove(path);
    return bytes;
}

class InPlace : public IniFileIo {
protected:
    void SetUp() override {
        if (::geteuid() != 0) {
            GTEST_SKIP() << "needs root to act as another user";
        }
        fs::create_directory(m_locked);
        ASSERT_EQ(::chmod(m_dir.c_str(), 0755), 0);
    }

    const fs::path m_locked = m_dir / "locked";
    const std::string m_file = (m_locked / "config.ini").string();
};

// Where no file can be created beside config.ini, it is rewritten in place,
// cut or extended to the new text, its mode kept.
TEST_F(InPlace, RewritesTheFileWhenTheFolderForbidsNewFiles) {
    for (const std::size_t size : {std::size_t{20000}, std::size_t{300}, std::size_t{5000}}) {
        WriteBytes(m_file, Document("old", 3000));
        ASSERT_EQ(::chmod(m_file.c_str(), 0640), 0);
        const std::string text = Document("new", size);
        const int status = InChild([&] {
            CIniFile ini;
            if (!LockFolder(m_locked) || !ini.Load(m_file.c_str())) {
                return 10;
            }
            ini.Clear();
            const auto doc = ini::ParseText(text.data(), text.size());
            for (const auto& section : doc) {
                for (const auto& entry : section.entries) {
                    ini.SetString(section.name.c_str(), entry.key.c_str(), entry.value.c_str());
                }
            }
            return ini.Save(nullptr) ? 0 : 1;
        });
        ASSERT_EQ(::chmod(m_locked.c_str(), 0755), 0);
        EXPECT_EQ(status, 0);
        EXPECT_EQ(ReadBytes(m_file), text);
        EXPECT_EQ(ModeOf(m_file) & 07777, 0640U);
        EXPECT_EQ(fs::directory_iterator(m_locked)->path().filename(), "config.ini");
    }
}

// Processes saving in place at once, started together: the file always
// ends as one of their documents, never a mix.
TEST_F(InPlace, ConcurrentSavesLeaveOneWholeDocument) {
    constexpr int kSavers = 8;
    std::vector<std::string> texts;
    for (int i = 0; i < kSavers; ++i) {
        texts.push_back(Document("saver" + std::to_string(i), 100000 + 60000 * (i % 5)));
    }
    WriteBytes(m_file, texts[0]);
    ASSERT_EQ(::chown(m_file.c_str(), kNobody, kNobody), 0);
    ASSERT_EQ(::chmod(m_locked.c_str(), 0555), 0);
    for (int round = 0; round < 10; ++round) {
        int start[2];
        ASSERT_EQ(::pipe(start), 0);
        std::vector<pid_t> savers;
        for (int i = 0; i < kSavers; ++i) {
            const pid_t child = ::fork();
            if (child == 0) {
                ::close(start[1]);
                char byte = 0;
                const std::string& text = texts[static_cast<std::size_t>(i)];
                ini::OutputFile file;
                ::_exit(::setgid(kNobody) == 0 && ::setuid(kNobody) == 0 &&
                                ::read(start[0], &byte, 1) == 0 &&
                                file.Open(m_file.c_str(), text.size()) &&
                                file.Write(text.data(), text.size()) && file.Commit()
                            ? 0
                            : 1);
            }
            savers.push_back(child);
        }
        ::close(start[0]);
        ::close(start[1]);  // all start
        for (const pid_t child : savers) {
            int status = -1;
            ::waitpid(child, &status, 0);
            EXPECT_EQ(status, 0);
        }
        const std::string now = ReadBytes(m_file);
        ASSERT_NE(std::find(texts.begin(), texts.end(), now), texts.end())
            << "round " << round << ", " << now.size() << " bytes";
    }
    ASSERT_EQ(::chmod(m_locked.c_str(), 0755), 0);
}

// A full disk leaves the old bytes, whichever way the save goes. Each row
// runs in a child with its own mount namespace and a small tmpfs.
TEST_F(IniFileIo, FullDiskKeepsTheOldFile) {
    std::string old = "[s]\r\npad=";
    old += std::string(4096 - old.size() - 12, 'p') + "\r\nlast=12345";
    ASSERT_EQ(old.size(), 4096U);
    struct Case {
        const char* name;
        const char* options;
        bool inPlace;
    };
    const Case cases[] = {
        {"temporary file cannot be written", "size=64k", false},
        {"temporary file cannot be created", "size=64k,nr_inodes=3", false},
        {"rewrite in place", "size=64k", true},
    };
    int row = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path disk = m_dir / std::to_string(row++);
        fs::create_directory(disk);
        ASSERT_EQ(::chmod(m_dir.c_str(), 0755), 0);
        const fs::path file = disk / "config.ini";
        const int status = InChild([&] {
            if (::unshare(CLONE_NEWNS) != 0 ||
                ::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
                ::mount("tmpfs", disk.c_str(), "tmpfs", 0, c.options) != 0) {
                return kSkipped;
            }
            WriteBytes(file, old);
            // Fill what is left: blocks, then names.
            for (int i = 0;; ++i) {
                const int fd =
                    ::open((disk / ("fill" + std::to_string(i))).c_str(), O_WRONLY | O_CREAT, 0644);
                if (fd < 0) {
                    break;
                }
                const std::string block(4096, 'f');
                long written = 0;
                while (::write(fd, block.data(), block.size()) > 0) {
                    ++written;
                }
                ::close(fd);
                if (written == 0) {
                    break;
                }
            }
            if (c.inPlace && !LockFolder(disk)) {
                return 10;
            }
            CIniFile ini;
            if (!ini.Load(file.c_str())) {
                return 11;
            }
            ini.SetString("s", "pad", std::string(100, 'q').c_str());
            ini.SetString("s", "more", std::string(20000, 'm').c_str());
            if (ini.Save(nullptr)) {
                return 1;
            }
            if (ini.GetErrorCode() != ENOSPC) {
                std::fprintf(stderr, "error %lu\n", ini.GetErrorCode());
                return 2;
            }
            if (ReadBytes(file) != old) {
                return 3;
            }
            for (const auto& item : fs::directory_iterator(disk)) {
                if (item.path().extension() == ".tmp") {
                    return 4;
                }
            }
            return 0;
        });
        if (status == kSkipped) {
            GTEST_SKIP() << "no mount namespace or tmpfs";
        }
        EXPECT_EQ(status, 0);
    }
}

// A save in progress in another PID namespace, whose process id means
// nothing here: its temporary file is kept, and it completes afterwards.
TEST_F(IniFileIo, TemporaryFileOfALiveSaverElsewhereIsKept) {
    const std::string theirs = Document("theirs", 2000);
    int ready[2];
    int go[2];
    ASSERT_EQ(::pipe(ready), 0);
    ASSERT_EQ(::pipe(go), 0);
    const pid_t outer = ::fork();
    if (outer == 0) {
        ::close(ready[0]);
        ::close(go[1]);
        if (::unshare(CLONE_NEWPID) != 0) {
            ::_exit(kSkipped);
        }
        ::_exit(InChild([&] {
            // Process 1 of the namespace. Ids are used up until the next
            // is one that no process has here (this /proc shows the outer
            // namespace).
            for (int i = 0; i < 5000; ++i) {
                const pid_t spent = ::fork();
                if (spent == 0) {
                    ::_exit(0);
                }
                ::waitpid(spent, nullptr, 0);
                if (!fs::exists("/proc/" + std::to_string(spent + 1))) {
                    break;
                }
            }
            return InChild([&] {
                ini::OutputFile file;
                char byte = 0;
                if (!file.Open(m_path.c_str(), theirs.size()) || ::write(ready[1], "r", 1) != 1 ||
                    ::read(go[0], &byte, 1) != 1) {
                    return 10;
                }
                return file.Write(theirs.data(), theirs.size()) && file.Commit() ? 0 : 1;
            });
        }));
    }
    ::close(ready[1]);
    ::close(go[0]);
    char byte = 0;
    const bool started = ::read(ready[0], &byte, 1) == 1;
    const std::string temps = OtherFiles();
    CIniFile ini;
    ini.SetInt("ours", "k", 1);
    const bool saved = started && ini.Save(m_path.c_str());
    const std::string tempsAfter = OtherFiles();
    EXPECT_EQ(::write(go[1], "g", 1), 1);
    ::close(go[1]);
    ::close(ready[0]);
    int status = 0;
    ::waitpid(outer, &status, 0);
    if (!started && WIFEXITED(status) && WEXITSTATUS(status) == kSkipped) {
        GTEST_SKIP() << "no PID namespace";
    }
    ASSERT_TRUE(started);
    EXPECT_TRUE(saved);
    EXPECT_NE(temps.find(".tmp"), std::string::npos);
    EXPECT_EQ(tempsAfter, temps);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(ReadBytes(m_path), theirs);
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
