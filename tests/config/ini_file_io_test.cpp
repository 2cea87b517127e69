#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <random>
#include <span>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "config/file_io.h"
#include "config/ini_file.h"
#include "config/ini_text.h"
#include "tests/support/test_files.h"

#ifndef _WIN32
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "tests/support/fail_calls.h"
#include "tests/support/processes.h"
#endif

namespace fs = std::filesystem;

namespace {

const std::string kFirstRun = FirstRunFile(1);

class IniFileIo : public testing::Test {
protected:
    std::string OtherFiles() const { return ::OtherFiles(m_dir); }

    // A config.ini that Load and Save must not use: what they report, and
    // that they leave everything as it was. `loadError` kOther: Load
    // succeeds; `saveError` kOther: Save is not tried.
    struct Refusal {
        const char* name;
        std::function<void(const fs::path&)> make;
        ini::Failure loadError;
        ini::Failure saveError;
    };
    // `make` false: the rows' files are there, from a call before.
    void ExpectRefusedAndUnchanged(std::span<const Refusal> cases, bool make = true);

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
    EXPECT_EQ(ini.GetErrorCode(), 0U);
    EXPECT_EQ(ReadBytes(m_path), "[display]\r\nwidth=800\r\n");
    EXPECT_EQ(OtherFiles(), "");
}

constexpr auto kNone = ini::Failure::kOther;
constexpr auto kNoFile = ini::Failure::kNotFound;
constexpr auto kReadOnly = ini::Failure::kReadOnly;
constexpr auto kIsDirectory = ini::Failure::kIsDirectory;
constexpr auto kTooLarge = ini::Failure::kTooLarge;
#ifndef _WIN32
constexpr auto kNotAFile = ini::Failure::kNotAFile;
constexpr auto kLinkRefused = ini::Failure::kLinkRefused;
constexpr unsigned kNobody = 65534;

// Makes a symbolic link `link` to `target` that belongs to `owner`.
void LinkOwnedBy(const char* target, const fs::path& link, unsigned owner) {
    fs::create_symlink(target, link);
    ASSERT_EQ(::lchown(link.c_str(), owner, owner), 0);
}
#endif

// A file of LF lines that loads, but whose CR LF form is over the limit.
std::string GrowsPastTheLimitWhenSaved() {
    std::string text = "[s]\n";
    while (text.size() < ini::kMaxFileSize * 7 / 8) {
        text += "k=v\n";
    }
    return text;
}

TEST_F(IniFileIo, UnusableFilesFailWithTheirReasonAndStayAsTheyAre) {
    const std::string tooLarge(static_cast<std::size_t>(ini::kMaxFileSize) + 1, 'x');
    const Refusal cases[] = {
        {"missing", [](const fs::path&) {}, kNoFile, kNone},
        {"read-only: read, never written",
         [](const fs::path& file) {
             WriteBytes(file, kFirstRun);
             fs::permissions(file, fs::perms::owner_read | fs::perms::group_read);
         },
         kNone, kReadOnly},
        {"directory", [](const fs::path& file) { fs::create_directory(file); }, kIsDirectory,
         kIsDirectory},
        {"too large", [&](const fs::path& file) { WriteBytes(file, tooLarge); }, kTooLarge, kNone},
        {"too large once saved",
         [](const fs::path& file) { WriteBytes(file, GrowsPastTheLimitWhenSaved()); }, kNone,
         kTooLarge},
#ifndef _WIN32
        {"fifo", [](const fs::path& file) { ASSERT_EQ(::mkfifo(file.c_str(), 0666), 0); },
         kNotAFile, kNotAFile},
        {"link to a device", [](const fs::path& file) { fs::create_symlink("/dev/zero", file); },
         kNotAFile, kNotAFile},
        {"link loop", [](const fs::path& file) { fs::create_symlink("config.ini", file); },
         kLinkRefused, kLinkRefused},
#endif
    };
    ExpectRefusedAndUnchanged(cases);
}

#ifndef _WIN32
// Another user's link anywhere on the path would let him choose which file
// this user reads and overwrites: it is refused unless he owns the folder
// that holds it and no one else may write there; so also in a sandbox, where
// root and every user not mapped there show one owner.
TEST_F(IniFileIo, OtherUsersLinksAreFollowedOnlyFromTheirOwnFolders) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "making a link owned by another user needs root";
    }
    const auto othersLink = [](const fs::path& file, const char* target) {
        fs::permissions(file.parent_path(), fs::perms::all);
        LinkOwnedBy(target, file, kNobody);
    };
    const auto ownersLink = [](const fs::path& file, unsigned owner) {
        WriteBytes(file.parent_path() / "game.ini", kFirstRun);
        LinkOwnedBy("game.ini", file, owner);
        ASSERT_EQ(::chown(file.parent_path().c_str(), owner, owner), 0);
    };
    const Refusal cases[] = {
        {"another user's link",
         [&](const fs::path& file) {
             WriteBytes(file.parent_path() / "passwd", kFirstRun);
             othersLink(file, "passwd");
         },
         kLinkRefused, kLinkRefused},
        {"another user's dangling link: nothing is created",
         [&](const fs::path& file) { othersLink(file, "passwd"); }, kLinkRefused, kLinkRefused},
        {"another user's link to a folder on the way",
         [&](const fs::path& file) {
             const fs::path dir = file.parent_path();
             fs::create_directory(dir / "docs");
             WriteBytes(dir / "docs" / "alice.ini", kFirstRun);
             fs::create_symlink("profiles/alice.ini", file);
             othersLink(dir / "profiles", "docs");
         },
         kLinkRefused, kLinkRefused},
        {"root's link: followed", [&](const fs::path& file) { ownersLink(file, 0); }, kNone, kNone},
        {"the folder owner's link: followed",
         [&](const fs::path& file) { ownersLink(file, kNobody); }, kNone, kNone},
    };
    ExpectRefusedAndUnchanged(cases);
    const int status = InChild([&] {
        if (!EnterSandboxAs(4242)) {
            return kSkipped;
        }
        ExpectRefusedAndUnchanged(cases, false);
        return HasFailure() ? 1 : 0;
    });
    if (status == kSkipped) {
        GTEST_SKIP() << "no user namespace: " << NamespaceProblem();
    }
    EXPECT_EQ(status, 0) << "in a user namespace";
}
#endif

void IniFileIo::ExpectRefusedAndUnchanged(std::span<const Refusal> cases, bool make) {
    int row = 0;
    for (const Refusal& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path dir = m_dir / std::to_string(row++);
        const fs::path file = dir / "config.ini";
        if (make) {
            fs::create_directory(dir);
            c.make(file);
        }
        const auto snapshot = [&] {
            std::string all;
            for (const auto& item : fs::recursive_directory_iterator(dir)) {
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
        EXPECT_EQ(ini.Load(file.string().c_str()), c.loadError == kNone);
        EXPECT_EQ(ini.GetFailure(), c.loadError);
        EXPECT_EQ(ini.NotFound(), c.loadError == kNoFile);
        if (c.saveError != kNone) {
            ini.SetInt("display", "width", 1024);
            EXPECT_FALSE(ini.Save(file.string().c_str()));
            EXPECT_EQ(ini.GetFailure(), c.saveError);
        }
        EXPECT_EQ(snapshot(), before);
    }
}

#ifndef _WIN32

std::string Format(const std::vector<IniSection>& doc) {
    std::string text;
    EXPECT_TRUE(ini::FormatText(doc, text));
    return text;
}

mode_t ModeOf(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(::lstat(path.c_str(), &st), 0);
    return st.st_mode;
}

// A document of at least `size` bytes whose every line names `tag`.
std::string Document(const std::string& tag, std::size_t size) {
    std::vector<IniSection> doc = {{tag, {}}};
    for (std::size_t bytes = 0; bytes < size;) {
        doc[0].entries.push_back({"key" + std::to_string(doc[0].entries.size()), tag});
        bytes += doc[0].entries.back().key.size() + tag.size() + 3;
    }
    return Format(doc);
}

// Savers in one folder at once: every save succeeds and the file is always
// one of them.
TEST_F(IniFileIo, ConcurrentSavesAllSucceed) {
    constexpr int kSavers = 4;
    constexpr int kSaves = 200;
    std::vector<std::string> texts;
    for (int i = 0; i < kSavers; ++i) {
        texts.push_back(Document("saver" + std::to_string(i), 1000 + 3000 * i));
    }
    const auto status = RunSavers(kSavers, [&](int i) {
        for (int n = 0; n < kSaves; ++n) {
            ini::Error error;
            if (!ini::WriteFile(m_path.c_str(), texts[static_cast<std::size_t>(i)], error)) {
                return static_cast<int>(error.code);
            }
        }
        return 0;
    });
    EXPECT_EQ(status, std::vector<int>(kSavers, 0)) << "the error of a failed save, per saver";
    EXPECT_NE(std::find(texts.begin(), texts.end(), ReadBytes(m_path)), texts.end());
    EXPECT_EQ(OtherFiles(), "");
}

// A first save, saves over a file of each mode, and a load, on the file
// systems players keep games on (ramfs: none with access lists). Each save
// keeps mode, owner and group (root's of another user) with nothing beside.
TEST_F(IniFileIo, SavesKeepModeOwnerAndGroupOnEachFileSystem) {
    std::string skipped;
    for (const std::string type :
         {"", "tmpfs", "ramfs", "overlay", "ext4", "xfs", "btrfs", "ntfs-3g", "exfat-fuse"}) {
        SCOPED_TRACE(type);
        const fs::path disk = m_dir / (type.empty() ? "own" : type);
        fs::create_directory(disk);
        const std::string file = (disk / "config.ini").string();
        const int status = InChild([&] {
            if (!type.empty() && !MountScratch(type, disk)) {
                return kSkipped;
            }
            const std::string others = ::OtherFiles(disk);  // lost+found, say
            ini::Error error;
            EXPECT_TRUE(ini::WriteFile(file.c_str(), kFirstRun, error)) << error.code;
            for (const mode_t bits : {0640, 0600, 0604, 0200}) {
                SCOPED_TRACE(bits);
                ::chmod(file.c_str(), bits);
                (void)::chown(file.c_str(), kNobody, kNobody);  // only as root
                struct stat before {};
                struct stat after {};
                const std::string tag = "mode" + std::to_string(bits);
                EXPECT_EQ(::stat(file.c_str(), &before), 0);
                EXPECT_TRUE(ini::WriteFile(file.c_str(), Document(tag, 2000), error)) << error.code;
                EXPECT_EQ(::stat(file.c_str(), &after), 0);
                EXPECT_EQ(std::tie(after.st_mode, after.st_uid, after.st_gid),
                          std::tie(before.st_mode, before.st_uid, before.st_gid));
                EXPECT_EQ(::OtherFiles(disk), others);
                ::chmod(file.c_str(), 0600);
                CIniFile ini;
                EXPECT_TRUE(ini.Load(file.c_str()));
                EXPECT_EQ(ini.GetString(tag.c_str(), "key0", ""), tag);
            }
            ::umount2(disk.c_str(), 0);  // a FUSE daemon ends with its file system
            return HasFailure() ? 1 : 0;
        });
        skipped += status == kSkipped ? type + " " : "";
        EXPECT_TRUE(status == 0 || status == kSkipped) << status;
    }
    if (!skipped.empty()) {
        GTEST_SKIP() << "not mounted (reasons above): " << skipped;
    }
}

// Each system call of a save made to fail in turn, by rename and in place:
// the save fails with the old file as it was and nothing beside it, or
// succeeds with the new one. The old file is private, and its text is never
// written into a file that others may read, whatever the umask.
TEST_F(IniFileIo, EachFailedCallGivesTheOldFileOrTheNew) {
    const std::string old = Document("old", 3000);
    for (const bool inPlace : {false, true}) {
        for (const std::size_t size : {std::size_t{1000}, std::size_t{6000}}) {
            SCOPED_TRACE(std::string(inPlace ? "in place, " : "by rename, ") +
                         std::to_string(size));
            const std::string text = Document("new", size);
            const int status = InChild([&] {
                if (inPlace && !ForbidNewFiles(m_dir)) {
                    return kSkipped;
                }
                ::umask(0);
                WatchCalls([](const char* call, int fd) {  // statx: not a failing call
                    struct statx st {};
                    if (std::strcmp(call, "pwrite") == 0 &&
                        (::statx(fd, "", AT_EMPTY_PATH, STATX_MODE, &st) != 0 ||
                         (st.stx_mode & 07777) != 0600)) {
                        std::_Exit(3);  // the text in a file others may read
                    }
                });
                for (int n = 1;; ++n) {
                    WriteBytes(m_path, old);
                    ::chmod(m_path.c_str(), 0600);
                    ini::Error error;
                    FailNthCall(n);
                    const bool saved = ini::WriteFile(m_path.c_str(), text, error);
                    if (!FailNthCall(0)) {
                        return saved && ReadBytes(m_path) == text ? 0 : 1;
                    }
                    const std::string now = ReadBytes(m_path);
                    if (saved ? now != text
                              : now != old || (error.failure == kNone && error.code == 0) ||
                                    OtherFiles() != "") {
                        std::fprintf(stderr, "call %d: saved %d, error %lu, %zu bytes, %s\n", n,
                                     saved, error.code, now.size(), OtherFiles().c_str());
                        return 2;
                    }
                }
            });
            ::chmod(m_dir.c_str(), 0755);
            EXPECT_EQ(status, 0);
        }
    }
}

// An access control list (here: nobody may also write) and the user's own
// attributes come along with the permission bits.
TEST_F(IniFileIo, SaveKeepsExtendedAttributes) {
    WriteBytes(m_path, "[s]\n");
    ASSERT_EQ(::chmod(m_path.c_str(), 0660), 0);
    // The POSIX ACL's stored form: version 2, then tag, permissions, id.
    struct Entry {
        std::uint16_t tag;
        std::uint16_t perm;
        std::uint32_t id;
    };
    struct {
        std::uint32_t version = 2;
        Entry entries[5] = {
            {0x01, 6, ~0U}, {0x02, 6, kNobody}, {0x04, 6, ~0U}, {0x10, 6, ~0U}, {0x20, 0, ~0U}};
    } acl;
    const std::string user = "player's note";
    if (::setxattr(m_path.c_str(), "system.posix_acl_access", &acl, sizeof acl, 0) != 0 ||
        ::setxattr(m_path.c_str(), "user.zarv", user.data(), user.size(), 0) != 0) {
        GTEST_SKIP() << "the temporary folder's file system keeps no ACL or user attribute: "
                     << std::strerror(errno);
    }
    CIniFile ini;
    ASSERT_TRUE(ini.Load(m_path.c_str()));
    ini.SetInt("s", "k", 1);
    ASSERT_TRUE(ini.Save(nullptr));
    const auto attribute = [&](const char* name) {
        std::string value(256, '\0');
        const ssize_t n = ::getxattr(m_path.c_str(), name, value.data(), value.size());
        value.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
        return value;
    };
    EXPECT_EQ(attribute("system.posix_acl_access"),
              std::string(reinterpret_cast<const char*>(&acl), sizeof acl));
    EXPECT_EQ(attribute("user.zarv"), user);
    EXPECT_EQ(ReadBytes(m_path), "[s]\r\nk=1\r\n");
    // Nor does the folder's default list, where the old file has none: it
    // goes before the bits are set, which would open its mask.
    ASSERT_EQ(::setxattr(m_dir.c_str(), "system.posix_acl_default", &acl, sizeof acl, 0), 0);
    ASSERT_EQ(::removexattr(m_path.c_str(), "system.posix_acl_access"), 0);
    ASSERT_EQ(::chmod(m_path.c_str(), 0640), 0);
    bool listAtBits = false;
    WatchCalls([&](const char* call, int fd) {
        listAtBits = listAtBits || (std::strcmp(call, "fchmod") == 0 &&
                                    ::fgetxattr(fd, "system.posix_acl_access", nullptr, 0) >= 0);
    });
    ASSERT_TRUE(ini.Save(nullptr));
    WatchCalls(nullptr);
    EXPECT_FALSE(listAtBits);
    EXPECT_EQ(attribute("system.posix_acl_access"), "");
    EXPECT_EQ(ModeOf(m_path) & 07777, 0640U);
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
}

// Under a file size limit (ulimit -f), a save that would pass it fails as
// too large before writing a byte, by rename and in place, also when the old
// file is the larger: the process is not ended by SIGXFSZ and the file stays
// whole with nothing beside it.
TEST_F(IniFileIo, FileSizeLimitFailsTheSaveAsTooLarge) {
    struct Case {
        const char* name;
        std::size_t oldSize, newSize, limit;
        bool inPlace;
    };
    const Case cases[] = {
        {"by rename", 1000, 2276, 1024, false},
        {"in place, the new text past the limit", 1000, 2276, 1024, true},
        {"in place, the old text past the limit", 4000, 500, 1024, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string old = Document("old", c.oldSize);
        WriteBytes(m_path, old);
        const int status = InChild([&] {
            const rlimit limit{c.limit, c.limit};
            if ((c.inPlace && !ForbidNewFiles(m_dir)) || ::setrlimit(RLIMIT_FSIZE, &limit) != 0) {
                return 10;
            }
            ini::Error error;
            return !ini::WriteFile(m_path.c_str(), Document("new", c.newSize), error) &&
                           error.failure == kTooLarge
                       ? 0
                       : 1;
        });
        ::chmod(m_dir.c_str(), 0755);
        EXPECT_EQ(status, 0);
        EXPECT_EQ(ReadBytes(m_path), old);
        EXPECT_EQ(OtherFiles(), "");
    }
}

// Another program's lock on config.ini is waited for a bounded time, then
// Load fails as busy (a rewrite in place waits alike).
TEST_F(IniFileIo, ALockHeldElsewhereFailsTheLoadAsBusy) {
    WriteBytes(m_path, kFirstRun);
    const int holder = ::open(m_path.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(::flock(holder, LOCK_EX), 0);
    CIniFile ini;
    EXPECT_FALSE(ini.Load(m_path.c_str()));
    EXPECT_EQ(ini.GetFailure(), ini::Failure::kBusy);
    ::close(holder);
}

// Calls failing with chosen codes (from the `n`th on, `times` of them): no
// locks, lists or attributes is no failure; a failed random source fails the
// save; a new file without the old one's owner sends it in place, which
// keeps it; a failed put-back tells a damaged file.
TEST_F(IniFileIo, ChosenFailuresGiveTheirOutcome) {
    using F = ini::Failure;
    struct Case {
        const char* call;
        int code, n, times;
        bool save, inPlace;
        ini::Error error;  // none: done
        bool sameFile;     // rewritten in place
    };
    const Case cases[] = {
        {"flock", ENOLCK, 1, 1, false, false, {}, true},
        {"flock", EOPNOTSUPP, 1, 1, false, false, {}, true},
        {"flock", EIO, 1, 1, false, false, {F::kIoError, EIO}, true},
        {"flock", EINTR, 1, 1, false, false, {F::kOther, EINTR}, true},
        {"fremovexattr", EOPNOTSUPP, 1, 9, true, false, {}, false},
        {"flistxattr", ENODATA, 1, 9, true, false, {}, false},
        {"getrandom", EPERM, 1, 1, true, false, {F::kReadOnly, EPERM}, true},
        {"getrandom", EAGAIN, 1, 1, true, false, {F::kBusy, EAGAIN}, true},
        {"fchown", EPERM, 1, 9, true, false, {}, true},
        {"pwrite", EIO, 1, 9, true, true, {F::kDamaged, 0}, true},
        {"fsync", EIO, 2, 9, true, true, {F::kDamaged, 0}, true},
    };
    const std::string old = Document("old", 3000);
    const std::string text = Document("new", 1000);
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.call) + " " + std::strerror(c.code));
        fs::remove(m_path);
        WriteBytes(m_path, old);
        ::chmod(m_path.c_str(), 0640);
        if (std::string(c.call) == "fchown" && ::chown(m_path.c_str(), kNobody, kNobody) != 0) {
            continue;  // only root makes a file another user's
        }
        struct stat before {};
        ASSERT_EQ(::stat(m_path.c_str(), &before), 0);
        const int status = InChild([&] {
            if (c.inPlace && !ForbidNewFiles(m_dir)) {
                return kSkipped;
            }
            ini::Error error;
            std::string bytes;
            FailNthCall(c.n, c.code, c.call, c.times);
            const bool done = c.save ? ini::WriteFile(m_path.c_str(), text, error)
                                     : ini::ReadFile(m_path.c_str(), bytes, error);
            const bool expected = c.error.code == 0 && c.error.failure == F::kOther;
            const bool same = error.failure == c.error.failure && error.code == c.error.code;
            return FailNthCall(0) && done == expected && (done || same) ? 0 : 1;
        });
        ::chmod(m_dir.c_str(), 0755);
        EXPECT_EQ(status, 0);
        struct stat after {};
        ASSERT_EQ(::stat(m_path.c_str(), &after), 0);
        EXPECT_EQ(after.st_ino == before.st_ino, c.sameFile);
        EXPECT_EQ(std::tie(after.st_mode, after.st_uid, after.st_gid),
                  std::tie(before.st_mode, before.st_uid, before.st_gid));
        if (c.error.failure != F::kDamaged) {
            EXPECT_EQ(ReadBytes(m_path), c.save && c.error.code == 0 ? text : old);
        }
        EXPECT_EQ(OtherFiles(), "");
    }
}

class InPlace : public IniFileIo {
protected:
    void SetUp() override { fs::create_directory(m_locked); }

    const fs::path m_locked = m_dir / "locked";
    const std::string m_file = (m_locked / "config.ini").string();
};

// Processes loading, changing and saving in place at once: a load never
// sees a rewrite half done, so the file stays one whole document; a load or
// save that waits for the lock longer than the store does fails as busy.
TEST_F(InPlace, ConcurrentLoadsAndSavesLeaveOneWholeDocument) {
    constexpr int kSavers = 3;
    constexpr int kRounds = 150;
    WriteBytes(m_file, Document("misc", 60000));
    const auto status = RunSavers(kSavers, [&](int i) {
        if (!ForbidNewFiles(m_locked)) {
            return kSkipped;
        }
        const std::string key = "saver" + std::to_string(i);
        for (int round = 0; round < kRounds; ++round) {
            CIniFile ini;
            bool done = ini.Load(m_file.c_str());
            if (done) {
                ini.SetInt("misc", key.c_str(), round);
                done = ini.Save(nullptr);
            }
            if (!done && ini.GetFailure() != ini::Failure::kBusy) {
                return 1;
            }
        }
        return 0;
    });
    EXPECT_EQ(status, std::vector<int>(kSavers, 0));
    const std::string now = ReadBytes(m_file);
    const auto doc = ini::ParseText(now);
    ASSERT_EQ(doc.size(), 1U);
    EXPECT_LE(doc[0].entries.size(),
              ini::ParseText(Document("misc", 60000))[0].entries.size() + kSavers);
    EXPECT_EQ(Format(doc), now);
}

// Rewrites in place on file systems that make them harder, each on a
// loop-mounted image of its own: ext2 has no fallocate (the C library's
// fallback reads the file), and btrfs copies on write, so that even a
// rewrite of the same size needs free blocks. With room, the rewrite
// succeeds; on a nearly full disk each save gives the new bytes or keeps
// the old ones, never a mix.
TEST_F(InPlace, RewritesOnExt2AndBtrfsNeverMix) {
    for (const std::string type : {"ext2", "btrfs"}) {
        SCOPED_TRACE(type);
        const fs::path disk = m_dir / type;
        fs::create_directory(disk);
        const std::string file = (disk / "config.ini").string();
        const int status = InChild([&] {
            if (!MountScratch(type, disk)) {
                return kSkipped;
            }
            fs::create_directory(disk / "fill");
            WriteBytes(file, Document("old", 300000));
            if (!ForbidNewFiles(disk.string())) {
                return 10;
            }
            ini::Error error;
            const std::string grown = Document("grown", 400000);
            if (!ini::WriteFile(file.c_str(), grown, error) || ReadBytes(file) != grown) {
                std::fprintf(stderr, "with room: error %lu\n", error.code);
                return 11;
            }
            // Fill the disk but for a spare file, then remove that.
            const fs::path spare = disk / "fill" / "spare";
            WriteBytes(spare, std::string(100000, 's'));
            const int fd = ::open((disk / "fill" / "f").c_str(), O_WRONLY | O_CREAT, 0644);
            const std::string block(65536, 'f');
            while (::write(fd, block.data(), block.size()) > 0) {
            }
            ::close(fd);
            fs::remove(spare);
            ::sync();
            int failures = 0;
            std::string now = grown;
            for (const std::size_t size : {400000, 300000, 600000, 50000}) {
                const std::string text = Document("new" + std::to_string(size), size);
                const bool saved = ini::WriteFile(file.c_str(), text, error);
                const std::string after = ReadBytes(file);
                if (saved ? after != text
                          : error.failure != ini::Failure::kDiskFull || after != now) {
                    std::fprintf(stderr, "%zu: saved %d, error %lu, %zu bytes\n", size, saved,
                                 error.code, after.size());
                    return 12;
                }
                failures += saved ? 0 : 1;
                now = after;
            }
            std::printf("%s nearly full: %d of 4 saves failed, old bytes kept\n", type.c_str(),
                        failures);
            std::fflush(stdout);
            return 0;
        });
        if (status == kSkipped) {
            GTEST_SKIP() << "not mounted (reason above)";
        }
        EXPECT_EQ(status, 0);
    }
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
        const fs::path file = disk / "config.ini";
        const int status = InChild([&] {
            if (!EnterNamespaces(CLONE_NEWNS) ||
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
            if (c.inPlace && !ForbidNewFiles(disk)) {
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
            if (ini.GetFailure() != ini::Failure::kDiskFull) {
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
            GTEST_SKIP() << "no mount namespace or tmpfs: " << NamespaceProblem();
        }
        EXPECT_EQ(status, 0);
    }
}

// Sandboxes' mounts. A config.ini mounted on its name, as containers mount
// single files, cannot be replaced: it is rewritten in place. Without /proc
// a nameless file cannot be named: it is made with its name, by a first save
// and by one over the file, and nothing is left beside config.ini.
TEST_F(IniFileIo, SavesUnderSandboxMountsWork) {
    const std::string source = (m_dir / "mounted.ini").string();
    for (const bool mounted : {true, false}) {
        SCOPED_TRACE(mounted ? "a file mounted on config.ini" : "no /proc");
        fs::remove(source);
        fs::remove(m_path);
        if (mounted) {
            WriteBytes(source, "[display]\r\nwidth=800\r\n");
            WriteBytes(m_path, "");
        }
        const int status = InChild([&] {
            if (!EnterNamespaces(CLONE_NEWNS) ||
                ::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
                (mounted ? ::mount(source.c_str(), m_path.c_str(), nullptr, MS_BIND, nullptr)
                         : ::mount("tmpfs", "/proc", "tmpfs", 0, nullptr)) != 0) {
                return kSkipped;
            }
            for (int round = 0; round < 2; ++round) {
                CIniFile ini;
                ini.Load(m_path.c_str());
                ini.SetInt("display", "width", 1024);
                if (!ini.Save(m_path.c_str())) {
                    return 1;
                }
            }
            return 0;
        });
        if (status == kSkipped) {
            GTEST_SKIP() << "no mount namespace: " << NamespaceProblem();
        }
        EXPECT_EQ(status, 0);
        EXPECT_EQ(ReadBytes(mounted ? source : m_path), "[display]\r\nwidth=1024\r\n");
        EXPECT_EQ(OtherFiles(), mounted ? "mounted.ini " : "");
    }
}

// Whether `now` is the text `front` written over the text `old` up to some
// point: what a rewrite in place that was stopped leaves, which is never the
// old text cut short.
bool FrontOver(const std::string& now, const std::string& front, const std::string& old) {
    const auto diverge = std::mismatch(now.begin(), now.end(), front.begin(), front.end());
    const auto same = static_cast<std::size_t>(diverge.first - now.begin());
    if (same == now.size() && now.size() >= old.size()) {
        return true;  // the old text is wholly covered
    }
    if (now.size() != old.size()) {
        return false;
    }
    std::size_t last = now.size();  // the last byte that differs from the old text
    while (last > 0 && now[last - 1] == old[last - 1]) {
        --last;
    }
    return last <= same;
}

// Two different large documents; saves are interrupted at random moments.
// By rename the file is always one of them; in place, one written over the
// other up to some point.
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
    for (const bool inPlace : {false, true}) {
        SCOPED_TRACE(inPlace ? "in place" : "by rename");
        int killed = 0;
        for (int round = 0; round < 60; ++round) {
            // From a whole file: a save in place killed over one that another
            // left half rewritten would leave three texts.
            ASSERT_TRUE(a.Save(m_path.c_str()));
            const pid_t child = ::fork();
            ASSERT_GE(child, 0);
            if (child == 0) {
                if (inPlace && !ForbidNewFiles(m_dir)) {
                    ::_exit(1);
                }
                for (;;) {
                    a.Save(m_path.c_str());
                    b.Save(m_path.c_str());
                }
            }
            ::usleep(static_cast<useconds_t>(delayUs(rng)));
            ::kill(child, SIGKILL);
            int status = 0;
            ::waitpid(child, &status, 0);
            killed += WIFSIGNALED(status) ? 1 : 0;
            const std::string now = ReadBytes(m_path);
            ASSERT_TRUE(
                now == bytesA || now == bytesB ||
                (inPlace && (FrontOver(now, bytesA, bytesB) || FrontOver(now, bytesB, bytesA))))
                << "round " << round << ", " << now.size() << " bytes";
        }
        ::chmod(m_dir.c_str(), 0755);
        EXPECT_EQ(killed, 60);
        // A save killed between naming its new file and the rename leaves it.
        for (const auto& item : fs::directory_iterator(m_dir)) {
            const std::string name = item.path().filename().string();
            EXPECT_TRUE(name == "config.ini" ||
                        (name.starts_with("config.ini.") && name.ends_with(".tmp")))
                << name;
        }
    }
}

#endif  // _WIN32

}  // namespace
