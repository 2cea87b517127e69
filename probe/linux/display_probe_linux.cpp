#include "probe/display_probe.h"
#include "probe/linux/linux_probe.h"

namespace {
constexpr const char* kDrmDir = "/sys/class/drm";
constexpr const char* kDevDir = "/dev";

// The connection UseProgramXConnection lent; not owned.
xcb_connection_t* g_pProgramXConnection = nullptr;
}  // namespace

BOOL GetTotalVideoMemory(std::uint32_t* pTotal, std::uint32_t* pFree) {
    *pTotal = 0;
    *pFree = 0;
    std::uint64_t freeBytes = 0;
    std::uint64_t total = linux_probe::AmdgpuVramBytes(kDrmDir, &freeBytes);
    // Without a GPU's device node Vulkan has only CPU devices, which do not
    // count: its loader and drivers are not worth loading.
    if (total == 0 && linux_probe::HasGpuDeviceNode(kDevDir)) {
        // Vulkan tells no free count without extensions; it stays 0.
        freeBytes = 0;
        total = linux_probe::VulkanDeviceLocalBytes(linux_probe::CpuDevices::kSkip, kDrmDir);
    }
    if (total == 0) {
        return FALSE;
    }
    *pTotal = linux_probe::SaturateToU32(total);
    *pFree = linux_probe::SaturateToU32(freeBytes);
    return TRUE;
}

namespace linux_probe {

void UseProgramXConnection(xcb_connection_t* connection) { g_pProgramXConnection = connection; }

ModeSearch SearchDisplayModes(const char* display, const char* drmDir) {
    const ModeSearch result = g_pProgramXConnection != nullptr
                                  ? SearchXConnection(g_pProgramXConnection)
                                  : SearchXServer(display);
    return result == ModeSearch::kUnreachable ? SearchKernelConnectors(drmDir) : result;
}

}  // namespace linux_probe

BOOL EnumerateDisplayModes() {
    using linux_probe::ModeSearch;
    const ModeSearch result = linux_probe::SearchDisplayModes(nullptr, kDrmDir);
    if (result == ModeSearch::kFound) {
        g_bHas1024WideMode = TRUE;
    }
    return result == ModeSearch::kFound || result == ModeSearch::kNotFound ? TRUE : FALSE;
}
