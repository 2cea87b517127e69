// The DirectDraw probe against the system's DirectDraw. Each ctest entry
// runs it on one display, named by ZARV_PROBE_CASE: "1024" (a 1024 x 768
// screen), "800" (an 800 x 600 screen) or "no-ddraw" (DirectDraw disabled).
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "probe/display_probe.h"
#include "settings/settings_logic.h"

namespace fs = std::filesystem;

namespace {

std::string ProbeCase() {
    const char* value = std::getenv("ZARV_PROBE_CASE");
    return value != nullptr ? value : "";
}

class RecordingWindow final : public SettingsWindow {
public:
    int enabled1024 = -1;
    void FormToControls() override {}
    void ControlsToForm() override {}
    void Enable1024x768(bool enable) override { enabled1024 = enable ? 1 : 0; }
    void EndWithOK() override {}
};

// Runs the dialog's initialisation in an empty directory and returns the
// config.ini it created.
std::string FirstRunFile(RecordingWindow& window) {
    const fs::path previous = fs::current_path();
    const fs::path dir =
        fs::temp_directory_path() / ("zarv_probe_" + std::to_string(::GetCurrentProcessId()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    fs::current_path(dir);
    SettingsForm form;
    InitializeSettings(form, window);
    std::ifstream in("config.ini", std::ios::binary);
    std::string text{std::istreambuf_iterator<char>(in), {}};
    in.close();
    fs::current_path(previous);
    fs::remove_all(dir);
    return text;
}

// Wine's reported video memory; read when DirectDraw is loaded, which the
// probe does for every call.
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

TEST(DirectDrawProbe, VideoMemoryDecidesMotionBlurOnFirstRun) {
    if (ProbeCase() != "1024") GTEST_SKIP() << "runs on the 1024 x 768 screen";
    const struct {
        int mib;
        const char* motionBlur;
    } cases[] = {{64, "motionblur=1\r\n"}, {16, "motionblur=0\r\n"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mib);
        SetVideoMemoryMiB(c.mib);
        std::uint32_t total = 1;
        std::uint32_t free = 1;
        EXPECT_TRUE(GetTotalVideoMemory(&total, &free));
        EXPECT_EQ(total >> 20, static_cast<std::uint32_t>(c.mib));
        EXPECT_LE(free, total);

        RecordingWindow window;
        const std::string file = FirstRunFile(window);
        EXPECT_NE(file.find(c.motionBlur), std::string::npos) << file;
        EXPECT_EQ(window.enabled1024, 1);
    }
}

TEST(DirectDrawProbe, ModeSearchFollowsTheScreen) {
    if (ProbeCase() != "1024" && ProbeCase() != "800") GTEST_SKIP() << "needs DirectDraw";
    EXPECT_TRUE(EnumerateDisplayModes());
    EXPECT_EQ(g_bHas1024WideMode, ProbeCase() == "1024" ? TRUE : FALSE);
}

TEST(DirectDrawProbe, WithoutDirectDrawTheFailureValues) {
    if (ProbeCase() != "no-ddraw") GTEST_SKIP() << "runs with DirectDraw disabled";
    std::uint32_t total = 123;
    std::uint32_t free = 456;
    EXPECT_FALSE(GetTotalVideoMemory(&total, &free));
    EXPECT_EQ(total, 0u);
    EXPECT_EQ(free, 0u);
    EXPECT_FALSE(EnumerateDisplayModes());
    EXPECT_FALSE(g_bHas1024WideMode);

    RecordingWindow window;
    const std::string file = FirstRunFile(window);
    EXPECT_NE(file.find("motionblur=0\r\n"), std::string::npos) << file;
    EXPECT_EQ(window.enabled1024, 0);
}

}  // namespace
