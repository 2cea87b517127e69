#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>

#include "probe/display_probe.h"
#include "probe/linux/linux_probe.h"
#include "tests/support/test_files.h"
#include "xvfb_server.h"

namespace fs = std::filesystem;
using linux_probe::CpuDevices;
using linux_probe::ModeSearch;

namespace {

// A scratch folder laid out like /sys/class/drm.
class FakeDrmDir {
public:
    void Write(const std::string& relative, const std::string& text) {
        const fs::path path = m_root.path() / relative;
        fs::create_directories(path.parent_path());
        std::ofstream(path) << text;
    }
    std::string path() const { return m_root.path().string(); }

private:
    ScopedWorkDir m_root;
};

const char* kCvt1024x768 = "65.00 1024 1048 1184 1344 768 771 777 806 -hsync -vsync";

}  // namespace

TEST(RandrModes, TheScreenSizeDecides) {
    for (const auto& [screen, expected] : {std::pair{"1024x768x24", ModeSearch::kFound},
                                           std::pair{"800x600x24", ModeSearch::kNotFound}}) {
        XvfbServer server(screen);
        ASSERT_FALSE(server.display().empty());
        EXPECT_EQ(linux_probe::SearchXServer(server.display().c_str()), expected) << screen;

        // The public call asks the server named by DISPLAY and sets the flag;
        // an answer of "no" never clears a flag set before.
        setenv("DISPLAY", server.display().c_str(), 1);
        g_bHas1024WideMode = FALSE;
        EXPECT_TRUE(EnumerateDisplayModes());
        EXPECT_EQ(g_bHas1024WideMode, expected == ModeSearch::kFound ? TRUE : FALSE) << screen;
        g_bHas1024WideMode = TRUE;
        EXPECT_TRUE(EnumerateDisplayModes());
        EXPECT_TRUE(g_bHas1024WideMode);
    }
}

TEST(RandrModes, ExtraOutputModesOfOtherWidthsDoNotCount) {
    XvfbServer server("1280x1024x24");
    ASSERT_FALSE(server.display().empty());
    ASSERT_TRUE(server.Xrandr("--newmode m800 40.00 800 840 968 1056 600 601 605 628"));
    ASSERT_TRUE(server.Xrandr("--newmode m1152 81.62 1152 1216 1336 1520 864 865 868 895"));
    ASSERT_TRUE(server.Xrandr("--addmode screen m800"));
    ASSERT_TRUE(server.Xrandr("--addmode screen m1152"));
    EXPECT_EQ(linux_probe::SearchXServer(server.display().c_str()), ModeSearch::kNotFound);
}

TEST(RandrModes, OnlyModesAttachedToAnOutputCount) {
    XvfbServer server("1280x1024x24");
    ASSERT_FALSE(server.display().empty());
    // Known to the screen, listed by no output.
    ASSERT_TRUE(server.Xrandr(std::string("--newmode m1024 ") + kCvt1024x768));
    EXPECT_EQ(linux_probe::SearchXServer(server.display().c_str()), ModeSearch::kNotFound);

    ASSERT_TRUE(server.Xrandr("--addmode screen m1024"));
    EXPECT_EQ(linux_probe::SearchXServer(server.display().c_str()), ModeSearch::kFound);
}

TEST(RandrModes, NoServerIsUnreachable) {
    unsetenv("DISPLAY");
    EXPECT_EQ(linux_probe::SearchXServer(nullptr), ModeSearch::kUnreachable);
    EXPECT_EQ(linux_probe::SearchXServer(":999"), ModeSearch::kUnreachable);
}

TEST(KernelModes, ConnectorListsAreSearchedForA1024WideLine) {
    FakeDrmDir drm;
    EXPECT_EQ(linux_probe::SearchKernelConnectors(drm.path().c_str()), ModeSearch::kUnreachable);
    EXPECT_EQ(linux_probe::SearchKernelConnectors((drm.path() + "/missing").c_str()),
              ModeSearch::kUnreachable);

    drm.Write("card0-HDMI-A-1/modes", "1920x1080\n10240x4320\n1280x1024\n");
    drm.Write("card0-DP-1/modes", "");
    EXPECT_EQ(linux_probe::SearchKernelConnectors(drm.path().c_str()), ModeSearch::kNotFound);

    drm.Write("card0-DP-2/modes", "1280x720\n1024x768i\n");
    EXPECT_EQ(linux_probe::SearchKernelConnectors(drm.path().c_str()), ModeSearch::kFound);
}

TEST(VideoMemory, AmdgpuCountOfTheLargestCard) {
    FakeDrmDir drm;
    std::uint64_t freeBytes = 1;
    EXPECT_EQ(linux_probe::AmdgpuVramBytes(drm.path().c_str(), &freeBytes), 0u);
    EXPECT_EQ(freeBytes, 0u);

    drm.Write("card0/device/mem_info_vram_total", "536870912\n");
    drm.Write("card0/device/mem_info_vram_used", "100\n");
    drm.Write("card1/device/mem_info_vram_total", "8589934592\n");
    drm.Write("card1/device/mem_info_vram_used", "1073741824\n");
    drm.Write("card1-DP-1/device/mem_info_vram_total", "99999999999\n");
    drm.Write("card2/device/vendor", "0x10de\n");
    EXPECT_EQ(linux_probe::AmdgpuVramBytes(drm.path().c_str(), &freeBytes), 8589934592u);
    EXPECT_EQ(freeBytes, 7516192768u);
}

TEST(VideoMemory, VulkanIsAskedOnlyWithAGpuDeviceNode) {
    struct Row {
        const char* node;  // created in a scratch /dev; null: none
        bool expected;
    };
    for (const Row& row : {Row{nullptr, false}, Row{"dri/card0", false}, Row{"fb0", false},
                           Row{"dri/renderD128", true}, Row{"nvidiactl", true}, Row{"dxg", true}}) {
        FakeDrmDir dev;
        if (row.node != nullptr) {
            dev.Write(row.node, "");
        }
        EXPECT_EQ(linux_probe::HasGpuDeviceNode(dev.path().c_str()), row.expected)
            << (row.node != nullptr ? row.node : "(empty)");
    }
    EXPECT_FALSE(linux_probe::HasGpuDeviceNode("/nonexistent"));
}

namespace {

// Points the Vulkan loader at exactly one driver manifest.
void UseOnlyVulkanDriver(const std::string& manifest) {
    unsetenv("VK_DRIVER_FILES");
    unsetenv("VK_ADD_DRIVER_FILES");
    unsetenv("VK_LOADER_DRIVERS_SELECT");
    unsetenv("VK_LOADER_DRIVERS_DISABLE");
    setenv("VK_ICD_FILENAMES", manifest.c_str(), 1);
}

std::string LavapipeManifest() {
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator("/usr/share/vulkan/icd.d", ec)) {
        if (entry.path().filename().string().rfind("lvp_icd.", 0) == 0) {
            return entry.path().string();
        }
    }
    return {};
}

// The value of "library_path" in a driver manifest.
std::string ManifestLibrary(const std::string& manifest) {
    std::ifstream in(manifest);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::string key = "\"library_path\"";
    std::size_t at = text.find(key);
    at = at == std::string::npos ? at : text.find('"', text.find(':', at) + 1);
    const std::size_t end = at == std::string::npos ? at : text.find('"', at + 1);
    return end == std::string::npos ? std::string() : text.substr(at + 1, end - at - 1);
}

bool MachineHasAmdgpuCount() {
    std::uint64_t freeBytes = 0;
    return linux_probe::AmdgpuVramBytes("/sys/class/drm", &freeBytes) != 0;
}

}  // namespace

TEST(VideoMemory, NoVulkanDriverGivesZero) {
    UseOnlyVulkanDriver("/nonexistent/zarv_icd.json");
    EXPECT_EQ(linux_probe::VulkanDeviceLocalBytes(CpuDevices::kCount), 0u);
    if (MachineHasAmdgpuCount()) {
        GTEST_SKIP() << "this machine's amdgpu count answers before Vulkan";
    }
    std::uint32_t total = 7;
    std::uint32_t freeBytes = 7;
    EXPECT_FALSE(GetTotalVideoMemory(&total, &freeBytes));
    EXPECT_EQ(total, 0u);
    EXPECT_EQ(freeBytes, 0u);
}

TEST(VideoMemory, LavapipeIsACpuDeviceAndDoesNotCount) {
    const std::string manifest = LavapipeManifest();
    if (manifest.empty()) {
        GTEST_SKIP() << "lavapipe (mesa-vulkan-drivers) is not installed";
    }
    // Held for the whole process: the probe unloads the loader, and the
    // loader the driver, after each question, which would leave what they
    // keep in their globals (Mesa's CPU description, for one) unreachable and
    // their frames nameless for the leak checker, which then could not tell
    // their memory from ours.
    for (const std::string& library : {std::string("libvulkan.so.1"), ManifestLibrary(manifest)}) {
        ASSERT_NE(dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL), nullptr) << dlerror();
    }

    // The loader loads lavapipe; its CPU device is refused, unless counted.
    UseOnlyVulkanDriver(manifest);
    EXPECT_EQ(linux_probe::VulkanDeviceLocalBytes(CpuDevices::kSkip), 0u);
    EXPECT_GT(linux_probe::VulkanDeviceLocalBytes(CpuDevices::kCount), 1u << 20);
}
