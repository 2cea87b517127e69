#include "settings/settings_logic.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <ostream>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "tests/support/processes.h"
#endif

#include "res/dialog_tables.h"
#include "res/resource.h"
#include "tests/support/fake_probe.h"
#include "tests/support/test_files.h"

namespace fs = std::filesystem;

bool operator==(const SettingsForm& a, const SettingsForm& b) {
    return std::tie(a.m_bMusic, a.m_nColorDepth, a.m_bSound, a.m_nVSync, a.m_bMotionBlur,
                    a.m_bSoftCursor, a.m_nResolution) ==
           std::tie(b.m_bMusic, b.m_nColorDepth, b.m_bSound, b.m_nVSync, b.m_bMotionBlur,
                    b.m_bSoftCursor, b.m_nResolution);
}

void PrintTo(const SettingsForm& f, std::ostream* os) {
    *os << "{music " << f.m_bMusic << ", colordepth " << f.m_nColorDepth << ", sound " << f.m_bSound
        << ", vsync " << f.m_nVSync << ", motionblur " << f.m_bMotionBlur << ", softcursor "
        << f.m_bSoftCursor << ", resolution " << f.m_nResolution << "}";
}

namespace {

// A dialog without a window: `controls` is what its controls would show.
class FakeDialog final : public SettingsWindow {
public:
    SettingsForm form;
    SettingsForm controls;
    std::optional<bool> enabled1024;
    std::vector<std::string> calls;

    // The program's start: what LoadSettings tells, then the dialog's
    // initialisation, or "NoDialog" (status 1).
    void Open() {
        SettingsMessage message;
        const bool loaded = LoadSettings(form, message);
        if (message.nSentenceID != 0) {
            ShowMessage(message);
        }
        if (loaded) {
            InitializeSettings(*this);
        } else {
            calls.emplace_back("NoDialog");
        }
    }
    void PressOK() { ConfirmSettings(form, *this); }

    void FormToControls() override {
        calls.emplace_back("FormToControls");
        controls = form;
    }
    void ControlsToForm() override {
        calls.emplace_back("ControlsToForm");
        form = controls;
    }
    void Enable1024x768(bool enable) override {
        calls.emplace_back(enable ? "Enable1024x768(true)" : "Enable1024x768(false)");
        enabled1024 = enable;
    }
    void EndWithOK() override { calls.emplace_back("EndWithOK"); }
    void ShowMessage(const SettingsMessage& message) override {
        calls.push_back(Shown(message.nPrefixID, message.nSentenceID));
    }

    static std::string Shown(int prefixId, int sentenceId) {
        return "ShowMessage(" + std::to_string(prefixId) + ", " + std::to_string(sentenceId) + ")";
    }
};

// What the dialog shows for a new file (motion blur aside).
SettingsForm FirstRunForm(int motionBlur) {
    return {.m_bMusic = 1,
            .m_nColorDepth = 1,
            .m_bSound = 1,
            .m_nVSync = 0,
            .m_bMotionBlur = motionBlur,
            .m_bSoftCursor = 0,
            .m_nResolution = 0};
}

const char* const kConfig = "config.ini";

void WriteConfig(const std::string& bytes) { WriteBytes(kConfig, bytes); }

std::optional<std::string> ReadConfig() {
    std::ifstream in(kConfig, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Each test runs in a fresh, empty working directory of its own.
class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override { ResetFakeProbe(); }

    ScopedWorkDir workDir_;
};

struct FirstRunCase {
    const char* name;
    std::uint32_t totalVideoMemory;
    int motionBlur;
    bool probed = true;  // false: both probe calls fail
};

void PrintTo(const FirstRunCase& c, std::ostream* os) { *os << c.name; }

class FirstRunTest : public SettingsTest, public ::testing::WithParamInterface<FirstRunCase> {};

TEST_P(FirstRunTest, CreatesFileShowsItsValuesAndOKKeepsIt) {
    ResetFakeProbe(
        {.available = GetParam().probed, .totalVideoMemory = GetParam().totalVideoMemory});
    FakeDialog dialog;
    dialog.Open();

    EXPECT_EQ(ReadConfig(), FirstRunFile(GetParam().motionBlur));
    EXPECT_EQ(dialog.controls, FirstRunForm(GetParam().motionBlur));
    EXPECT_EQ(dialog.calls, (std::vector<std::string>{GetParam().probed ? "Enable1024x768(true)"
                                                                        : "Enable1024x768(false)",
                                                      "FormToControls"}));
    EXPECT_EQ(GetFakeProbeCalls().totalVideoMemory, 1);
    EXPECT_EQ(GetFakeProbeCalls().displayModes, 1);
    EXPECT_TRUE(GetFakeProbeCalls().fileAtDisplayModes);

    dialog.PressOK();  // without changes: the same file
    EXPECT_EQ(ReadConfig(), FirstRunFile(GetParam().motionBlur));
    EXPECT_EQ(dialog.calls.back(), "EndWithOK");
}

constexpr std::uint32_t kMiB = 1u << 20;

INSTANTIATE_TEST_SUITE_P(VideoMemory, FirstRunTest,
                         ::testing::Values(FirstRunCase{"64MiB", 64 * kMiB, 1},
                                           FirstRunCase{"16MiB", 16 * kMiB, 0},
                                           FirstRunCase{"30MiB", 30 * kMiB, 1},
                                           FirstRunCase{"30MiBLessOneByte", 30 * kMiB - 1, 0},
                                           FirstRunCase{"4GiBOrMore", 0xFFFFFFFFu, 1},
                                           FirstRunCase{"WithoutProbe", 64 * kMiB, 0, false}),
                         [](const auto& test) { return std::string(test.param.name); });

// Cancel is the dialog ending after Open alone: an existing file, even one
// that a save would rewrite differently, must stay as it is.
TEST_F(SettingsTest, OpeningExistingFileWritesNothing) {
    const std::string text = "; comment\n[display]\nwidth = 1024\n\n[misc]\nxmusic=0";
    WriteConfig(text);
    FakeDialog dialog;
    dialog.Open();

    EXPECT_EQ(ReadConfig(), text);
    EXPECT_EQ(GetFakeProbeCalls().totalVideoMemory, 0);
    EXPECT_EQ(GetFakeProbeCalls().displayModes, 1);
}

struct ResolutionCase {
    const char* name;
    int width;
    bool has1024WideMode;
    int resolution;  // shown
    const char* written;
};

void PrintTo(const ResolutionCase& c, std::ostream* os) { *os << c.name; }

class ResolutionTest : public SettingsTest, public ::testing::WithParamInterface<ResolutionCase> {};

TEST_P(ResolutionTest, ShowsAndWrites) {
    const ResolutionCase& c = GetParam();
    ResetFakeProbe({.has1024WideMode = c.has1024WideMode});
    WriteConfig(OnDisk("[display]\nwidth=" + std::to_string(c.width) + "\nheight=1\n\n[misc]\n"));
    FakeDialog dialog;
    dialog.Open();
    EXPECT_EQ(dialog.controls.m_nResolution, c.resolution);
    EXPECT_EQ(dialog.enabled1024, c.has1024WideMode);

    dialog.PressOK();
    EXPECT_EQ(ReadConfig(), OnDisk(std::string("[display]\n") + c.written +
                                   "colorbits=32\nsync=1\n\n[misc]\n"
                                   "xmusic=1\nxsnd=1\nmotionblur=0\nscursor=0\n"));
}

INSTANTIATE_TEST_SUITE_P(
    Widths, ResolutionTest,
    ::testing::Values(
        ResolutionCase{"1024With1024Mode", 1024, true, 1, "width=1024\nheight=768\n"},
        ResolutionCase{"640With1024Mode", 640, true, 1, "width=1024\nheight=768\n"},
        ResolutionCase{"800With1024Mode", 800, true, 0, "width=800\nheight=600\n"},
        ResolutionCase{"1024Without1024Mode", 1024, false, 0, "width=800\nheight=600\n"},
        ResolutionCase{"640Without1024Mode", 640, false, 0, "width=800\nheight=600\n"}),
    [](const auto& test) { return std::string(test.param.name); });

TEST_F(SettingsTest, OddValuesShowAsTheirChoiceAndAreWrittenBackPlain) {
    WriteConfig(
        OnDisk("[display]\nwidth=800\ncolorbits=24\nsync=2\n\n[misc]\nxmusic=2\nxsnd=0\n"
               "motionblur=5\nscursor=-3\n"));
    FakeDialog dialog;
    dialog.Open();
    EXPECT_EQ(dialog.controls, (SettingsForm{.m_bMusic = 1,
                                             .m_nColorDepth = 1,
                                             .m_bSound = 1,
                                             .m_nVSync = 1,
                                             .m_bMotionBlur = 1,
                                             .m_bSoftCursor = 1,
                                             .m_nResolution = 0}));

    dialog.controls.m_bSoftCursor = 2;  // a window layer that hands over any non-zero value
    dialog.PressOK();
    EXPECT_EQ(ReadConfig(), OnDisk("[display]\nwidth=800\ncolorbits=32\nsync=0\nheight=600\n\n"
                                   "[misc]\nxmusic=0\nxsnd=0\nmotionblur=1\nscursor=1\n"));
}

TEST_F(SettingsTest, EmptyFileReadsAsMusicAndSoundOffAndGetsOnlyEightKeys) {
    WriteConfig("");
    FakeDialog dialog;
    dialog.Open();
    EXPECT_EQ(ReadConfig(), "");
    EXPECT_EQ(dialog.controls, (SettingsForm{.m_bMusic = 0,
                                             .m_nColorDepth = 1,
                                             .m_bSound = 0,
                                             .m_nVSync = 0,
                                             .m_bMotionBlur = 0,
                                             .m_bSoftCursor = 0,
                                             .m_nResolution = 0}));

    dialog.PressOK();
    EXPECT_EQ(ReadConfig(), OnDisk("[display]\nwidth=800\nheight=600\ncolorbits=32\nsync=1\n\n"
                                   "[misc]\nxmusic=1\nxsnd=1\nmotionblur=0\nscursor=0\n"));
}

TEST_F(SettingsTest, FileDeletedWhileOpenIsWrittenWithAllElevenKeys) {
    FakeDialog dialog;
    dialog.Open();
    ASSERT_TRUE(fs::remove(kConfig));
    dialog.controls = {.m_bMusic = 0,
                       .m_nColorDepth = 0,
                       .m_bSound = 1,
                       .m_nVSync = 1,
                       .m_bMotionBlur = 0,
                       .m_bSoftCursor = 1,
                       .m_nResolution = 1};
    dialog.PressOK();

    EXPECT_EQ(ReadConfig(), OnDisk("[display]\ndrivertype=1\nwidth=1024\nheight=768\n"
                                   "depthbits=16\nfullscreen=1\ncolorbits=16\nsync=0\n\n"
                                   "[misc]\nxmusic=1\nxsnd=0\nmotionblur=0\nscursor=1\n"));
    EXPECT_EQ(dialog.calls, (std::vector<std::string>{"Enable1024x768(true)", "FormToControls",
                                                      "ControlsToForm", "EndWithOK"}));
}

// The working folder's state to compare: each entry with its bytes and
// time stamp.
std::string FolderState() {
    std::string state;
    for (const auto& entry : fs::recursive_directory_iterator(".")) {
        state += entry.path().generic_string() + " " +
                 std::to_string(entry.last_write_time().time_since_epoch().count()) + " " +
                 (entry.is_regular_file() ? ReadBytes(entry.path()) : std::string()) + "\n";
    }
    return state;
}

const std::string kGameFile =
    OnDisk("[display]\nwidth=1024\ncolorbits=16\n\n[game]\nplayer=x\nlevel=7\n");

// A config.ini that cannot be read or saved is left as it is, and the player
// reads why and what to do: at open, which then ends the program, or on OK,
// after the dialog showed the file's values.
TEST_F(SettingsTest, WhatCannotBeReadOrSavedIsToldAndLeftAsItIs) {
    const auto loadFails = [](int sentenceId) {
        return std::vector<std::string>{FakeDialog::Shown(IDS_LOAD_FAILED, sentenceId), "NoDialog"};
    };
    const auto saveFails = [](int sentenceId) {
        return std::vector<std::string>{"Enable1024x768(true)", "FormToControls", "ControlsToForm",
                                        FakeDialog::Shown(IDS_SAVE_FAILED, sentenceId)};
    };
    struct Case {
        const char* name;
        std::function<void()> beforeOpen;
        std::function<void()> beforeOK;  // none: the dialog ends at open
        std::vector<std::string> calls;
    };
    std::vector<Case> cases = {
        {"directory",
         [] {
             fs::create_directory(kConfig);
             WriteBytes(fs::path(kConfig) / "inside", kGameFile);
         },
         nullptr, loadFails(IDS_FAILED_IS_DIRECTORY)},
        {"read-only",
         [] {
             WriteConfig(kGameFile);
             fs::permissions(
                 kConfig, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
         },
         [] {}, saveFails(IDS_FAILED_READ_ONLY)},
    };
#ifndef _WIN32
    int holder = -1;  // a lock another program holds
    const auto lock = [&] {
        holder = ::open(kConfig, O_RDONLY | O_CLOEXEC);
        ASSERT_EQ(::flock(holder, LOCK_EX), 0);
    };
    cases.push_back(
        {"locked on OK", [] { WriteConfig(kGameFile); }, lock, saveFails(IDS_FAILED_BUSY)});
#endif
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(kConfig);
        c.beforeOpen();
        const std::string before = FolderState();
        FakeDialog dialog;
        dialog.Open();
        if (c.beforeOK) {
            c.beforeOK();
            dialog.PressOK();
        }
        EXPECT_EQ(dialog.calls, c.calls);
        EXPECT_EQ(FolderState(), before);
#ifndef _WIN32
        ::close(holder);
        holder = -1;
#endif
    }
}

#ifndef _WIN32
// A first run in a folder where no file can be created (root too, without
// its capabilities) is told before the player chooses, on the first-run
// values, and OK tells again.
TEST_F(SettingsTest, FirstRunThatCannotCreateTheFileIsToldAtOpen) {
    const std::vector<std::string> calls = {
        FakeDialog::Shown(IDS_CREATE_FAILED, IDS_FAILED_NO_PERMISSION), "Enable1024x768(true)",
        "FormToControls", "ControlsToForm",
        FakeDialog::Shown(IDS_SAVE_FAILED, IDS_FAILED_NO_PERMISSION)};
    EXPECT_EQ(InChild([&] {
                  FakeDialog dialog;
                  if (ForbidNewFiles(".")) {
                      dialog.Open();
                      dialog.PressOK();
                  }
                  return dialog.calls == calls && dialog.form == FirstRunForm(1) ? 0 : 1;
              }),
              0);
}
#endif

// Every failure of the store has a sentence of its own, in both languages,
// that says what to do: eight Chinese characters at least. Only the one for
// an unforeseen failure gives the system's reason.
TEST(SettingsMessages, EveryFailureHasItsOwnSentenceInBothLanguages) {
    std::set<std::string> texts;
    for (int id = IDS_FAILED_OTHER; id <= IDS_FAILED_DAMAGED; ++id) {
        const char* prc = FindString(id, kLanguageChinesePrc);
        const char* taiwan = FindString(id, kLanguageChineseTaiwan);
        ASSERT_TRUE(prc != nullptr && taiwan != nullptr) << id;
        EXPECT_STRNE(prc, taiwan);
        for (const std::string text : {prc, taiwan}) {
            EXPECT_TRUE(texts.insert(text).second) << text;
            // Lead bytes of the characters from U+4000 to U+9FFF.
            EXPECT_GE(std::count_if(text.begin(), text.end(),
                                    [](unsigned char c) { return c >= 0xE4 && c <= 0xE9; }),
                      8)
                << text;
            EXPECT_EQ(text.find("%1") != std::string::npos, id == IDS_FAILED_OTHER) << text;
        }
    }
}

// The prefixes name the folder of config.ini; every other text the programs
// take from the string tables exists in both languages; the messages' caption
// is the dialog's.
TEST(SettingsMessages, TextsExistInBothLanguagesAndPrefixesNameTheFolder) {
    for (const int language : {kLanguageChinesePrc, kLanguageChineseTaiwan}) {
        for (const int id : {IDS_LOAD_FAILED, IDS_SAVE_FAILED, IDS_CREATE_FAILED}) {
            ASSERT_NE(FindString(id, language), nullptr) << id;
            EXPECT_NE(std::string(FindString(id, language)).find("%2"), std::string::npos) << id;
        }
        for (const int id : {IDS_WRONG_FOLDER, IDS_NO_1024_MODE, IDS_MESSAGE_OK, IDS_DIALOG_FONT}) {
            EXPECT_NE(FindString(id, language), nullptr) << id;
        }
        EXPECT_STREQ(FindString(IDS_CAPTION, language),
                     FindDialogTemplate(IDD_SETTINGS_DIALOG, language)->caption);
    }
    // One pass: a reason or folder that holds %1 or %2 is shown as it is.
    EXPECT_EQ(ComposeMessage<std::string>("无法保存（%2）：", "原因 %1，100%。", "disk %2 full",
                                          "D:\\游戏\\%1"),
              "无法保存（D:\\游戏\\%1）：原因 disk %2 full，100%。");
}

TEST_F(SettingsTest, OtherSectionsAndKeysKeepTheirPlace) {
    WriteConfig(
        OnDisk("[display]\ngamma=7\nwidth=800\ncolorbits=32\n\n[misc]\nxmusic=0\n"
               "lang=zh\n\n[extra]\nname = a b\nwidth=640\n"));
    FakeDialog dialog;
    dialog.Open();
    dialog.controls.m_bSoftCursor = 1;
    dialog.PressOK();

    EXPECT_EQ(ReadConfig(), OnDisk("[display]\ngamma=7\nwidth=800\ncolorbits=32\nheight=600\n"
                                   "sync=1\n\n[misc]\nxmusic=0\nlang=zh\nxsnd=1\nmotionblur=0\n"
                                   "scursor=1\n\n[extra]\nname = a b\nwidth=640\n"));
}

}  // namespace
