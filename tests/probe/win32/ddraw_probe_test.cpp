// The DirectDraw probe against Wine's DirectDraw. Each ctest entry runs it
// on one display, named by ZARV_PROBE_CASE: "1024" (a 1024 x 768 screen,
// 64 MiB), "800" (an 800 x 600 screen, 16 MiB) or "no-ddraw" (DirectDraw
// disabled).
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "probe/display_probe.h"
#include "settings/settings_logic.h"
#include "tests/support/test_files.h"

namespace {

std::string ProbeCase() {
    const char* value = std::getenv("ZARV_PROBE_CASE");
    return value != nullptr ? value : "";
}

// Loads the settings in an empty directory and returns the config.ini that
// was created.
std::string InitialFile() {
    const ScopedWorkDir dir;
    SettingsForm form;
    SettingsMessage message;
    LoadSettings(form, message);
    return ReadBytes("config.ini");
}

// Wine's video memory size, read when DirectDraw is first loaded.
void SetVideoMemoryMiB(int mib) {
    HKEY key = nullptr;
    ASSERT_EQ(::RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Wine\\Direct3D", 0, nullptr, 0,
                                KEY_SET_VALUE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    const std::string value = std::to_string(mib);
    ::RegSetValueExA(key, "VideoMemorySize", 0, REG_SZ,
                     reinterpret_cast<const BYTE*>(value.c_str()),
                     static_cast<DWORD>(value.size() + 1));
    ::RegCloseKey(key);
}

// The 1024 x 768 screen gets 64 MiB of video memory, the 800 x 600 one 16.
class DirectDrawProbe : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (ProbeCase() == "1024") SetVideoMemoryMiB(64);
        if (ProbeCase() == "800") SetVideoMemoryMiB(16);
    }
};

TEST_F(DirectDrawProbe, FirstRunFileAndThe1024Choice) {
    const bool wide = ProbeCase() == "1024";
    EXPECT_EQ(InitialFile(), FirstRunFile(wide ? 1 : 0));
    EXPECT_EQ(g_bHas1024WideMode, wide ? TRUE : FALSE);
}

TEST_F(DirectDrawProbe, TotalVideoMemory) {
    std::uint32_t total = 123;
    std::uint32_t free = 456;
    const BOOL ok = GetTotalVideoMemory(&total, &free);
    if (ProbeCase() == "no-ddraw") {
        EXPECT_FALSE(ok);
        EXPECT_EQ(total, 0u);
        EXPECT_EQ(free, 0u);
        return;
    }
    // Wine reports the size less what the screen itself takes.
    const std::uint32_t mib = ProbeCase() == "1024" ? 64 : 16;
    EXPECT_TRUE(ok);
    EXPECT_LE(total, mib << 20);
    EXPECT_GT(total, (mib - 8) << 20);
    EXPECT_LE(free, total);
}

TEST_F(DirectDrawProbe, ModeSearchFollowsTheScreen) {
    EXPECT_EQ(EnumerateDisplayModes(), ProbeCase() == "no-ddraw" ? FALSE : TRUE);
    EXPECT_EQ(g_bHas1024WideMode, ProbeCase() == "1024" ? TRUE : FALSE);
    // A second search cannot clear the flag.
    EnumerateDisplayModes();
    EXPECT_EQ(g_bHas1024WideMode, ProbeCase() == "1024" ? TRUE : FALSE);
}

}  // namespace
