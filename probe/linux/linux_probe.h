// The parts of the Linux display probe, each asking one source.
#pragma once

#include <cstdint>

namespace linux_probe {

enum class ModeSearch {
    kFound,        // some output (or connector) lists a mode exactly 1024 wide
    kNotFound,     // the source answered: no such mode
    kUnsupported,  // an X server without RandR 1.3
    kUnreachable,  // no X server to connect to, or no connector lists
};

// Asks the X server `display` (null: $DISPLAY) through RandR, on a connection
// of its own. Only modes in some output's own mode list count, not every mode
// the screen knows.
ModeSearch SearchXServer(const char* display);

// Reads the kernel's connector mode lists, <drmDir>/*/modes.
ModeSearch SearchKernelConnectors(const char* drmDir);

// Largest amdgpu VRAM count, <drmDir>/card*/device/mem_info_vram_total, with
// the free count of that card. 0 when no card reports one.
std::uint64_t AmdgpuVramBytes(const char* drmDir, std::uint64_t* pFree);

// Whether <devDir> holds a node a GPU's Vulkan driver works through: a DRM
// render node (dri/renderD*), NVIDIA's control node or WSL's dxg. Without
// one, Vulkan can offer CPU devices only.
bool HasGpuDeviceNode(const char* devDir);

enum class CpuDevices { kSkip, kCount };

// Largest DEVICE_LOCAL heap of the first Vulkan device that is a real GPU
// (discrete, then integrated, then virtual; CPU devices such as lavapipe only
// with kCount). 0 when libvulkan.so.1 is missing or no device qualifies.
std::uint64_t VulkanDeviceLocalBytes(CpuDevices cpuDevices);

}  // namespace linux_probe
