#define VK_NO_PROTOTYPES
#include <dlfcn.h>
#include <vulkan/vulkan.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "probe/linux/linux_probe.h"

namespace linux_probe {
namespace {

// A decimal count in a sysfs file.
std::optional<std::uint64_t> ReadCount(const std::filesystem::path& path) {
    std::ifstream in(path);
    std::uint64_t value = 0;
    if (in >> value) {
        return value;
    }
    return std::nullopt;
}

// Lower is preferred; -1: not counted.
int DeviceRank(VkPhysicalDeviceType type, CpuDevices cpuDevices) {
    switch (type) {
        case VK_PHYSICAL_DEVICE_TYPE_DISCRETE_GPU:
            return 0;
        case VK_PHYSICAL_DEVICE_TYPE_INTEGRATED_GPU:
            return 1;
        case VK_PHYSICAL_DEVICE_TYPE_VIRTUAL_GPU:
            return 2;
        case VK_PHYSICAL_DEVICE_TYPE_CPU:
            return cpuDevices == CpuDevices::kCount ? 3 : -1;
        default:
            return -1;
    }
}

// The Vulkan entry points the probe uses, resolved from a loaded libvulkan.
struct VulkanApi {
    PFN_vkCreateInstance createInstance = nullptr;
    PFN_vkDestroyInstance destroyInstance = nullptr;
    PFN_vkEnumeratePhysicalDevices enumeratePhysicalDevices = nullptr;
    PFN_vkGetPhysicalDeviceProperties getProperties = nullptr;
    PFN_vkGetPhysicalDeviceMemoryProperties getMemoryProperties = nullptr;
};

template <typename Fn>
Fn Resolve(PFN_vkGetInstanceProcAddr getProcAddr, VkInstance instance, const char* name) {
    return reinterpret_cast<Fn>(getProcAddr(instance, name));
}

std::uint64_t LargestDeviceLocalHeap(const VkPhysicalDeviceMemoryProperties& memory) {
    std::uint64_t largest = 0;
    for (std::uint32_t i = 0; i < memory.memoryHeapCount; ++i) {
        const VkMemoryHeap& heap = memory.memoryHeaps[i];
        if ((heap.flags & VK_MEMORY_HEAP_DEVICE_LOCAL_BIT) != 0 && heap.size > largest) {
            largest = heap.size;
        }
    }
    return largest;
}

std::uint64_t AskInstance(const VulkanApi& vk, VkInstance instance, CpuDevices cpuDevices) {
    std::uint32_t count = 0;
    if (vk.enumeratePhysicalDevices(instance, &count, nullptr) != VK_SUCCESS || count == 0) {
        return 0;
    }
    std::vector<VkPhysicalDevice> devices(count);
    const VkResult listed = vk.enumeratePhysicalDevices(instance, &count, devices.data());
    if (listed != VK_SUCCESS && listed != VK_INCOMPLETE) {
        return 0;
    }
    devices.resize(count);
    VkPhysicalDevice best = VK_NULL_HANDLE;
    int bestRank = std::numeric_limits<int>::max();
    for (VkPhysicalDevice device : devices) {
        VkPhysicalDeviceProperties properties{};
        vk.getProperties(device, &properties);
        const int rank = DeviceRank(properties.deviceType, cpuDevices);
        if (rank >= 0 && rank < bestRank) {
            best = device;
            bestRank = rank;
        }
    }
    if (best == VK_NULL_HANDLE) {
        return 0;
    }
    VkPhysicalDeviceMemoryProperties memory{};
    vk.getMemoryProperties(best, &memory);
    return LargestDeviceLocalHeap(memory);
}

// Adds globs to the loader's VK_LOADER_DRIVERS_DISABLE while it lives; the
// loader reads the variable when it creates an instance. The caller's own
// value is kept in front and comes back afterwards. The environment is the
// process's, so it is changed only around the instance's creation.
class DisabledDrivers {
public:
    explicit DisabledDrivers(const std::string& globs) {
        const char* before = std::getenv(kVariable);
        m_hadValue = before != nullptr;
        if (m_hadValue) {
            m_before = before;
        }
        if (globs.empty()) {
            return;
        }
        m_changed = true;
        const std::string value = m_before.empty() ? globs : m_before + "," + globs;
        setenv(kVariable, value.c_str(), 1);
    }
    ~DisabledDrivers() {
        if (!m_changed) {
            return;
        }
        if (m_hadValue) {
            setenv(kVariable, m_before.c_str(), 1);
        } else {
            unsetenv(kVariable);
        }
    }
    DisabledDrivers(const DisabledDrivers&) = delete;
    DisabledDrivers& operator=(const DisabledDrivers&) = delete;

private:
    static constexpr const char* kVariable = "VK_LOADER_DRIVERS_DISABLE";
    std::string m_before;
    bool m_hadValue = false;
    bool m_changed = false;
};

// False only when every render node's kernel driver is known and none is
// amdgpu.
bool SomeRenderNodeMayBeAmdgpu(const char* drmDir) {
    std::error_code ec;
    std::filesystem::directory_iterator it(drmDir, ec);
    if (ec) {
        return true;
    }
    for (const auto& entry : it) {
        if (entry.path().filename().string().rfind("renderD", 0) != 0) {
            continue;
        }
        const auto driver = std::filesystem::read_symlink(entry.path() / "device" / "driver", ec);
        if (ec || driver.filename() == "amdgpu") {
            return true;
        }
    }
    return false;
}

std::uint64_t AskLoadedVulkan(void* library, CpuDevices cpuDevices, const char* drmDir) {
    auto getProcAddr =
        reinterpret_cast<PFN_vkGetInstanceProcAddr>(dlsym(library, "vkGetInstanceProcAddr"));
    if (getProcAddr == nullptr) {
        return 0;
    }
    VulkanApi vk;
    vk.createInstance = Resolve<PFN_vkCreateInstance>(getProcAddr, nullptr, "vkCreateInstance");
    if (vk.createInstance == nullptr) {
        return 0;
    }
    VkApplicationInfo app{};
    app.sType = VK_STRUCTURE_TYPE_APPLICATION_INFO;
    app.pApplicationName = "zarv_settings";
    app.apiVersion = VK_API_VERSION_1_0;
    VkInstanceCreateInfo info{};
    info.sType = VK_STRUCTURE_TYPE_INSTANCE_CREATE_INFO;
    info.pApplicationInfo = &app;
    VkInstance instance = VK_NULL_HANDLE;
    VkResult created = VK_ERROR_INITIALIZATION_FAILED;
    {
        const DisabledDrivers skipped(DriversOfNoCountingDevice(cpuDevices, drmDir));
        created = vk.createInstance(&info, nullptr, &instance);
    }
    if (created != VK_SUCCESS) {
        return 0;
    }
    vk.destroyInstance = Resolve<PFN_vkDestroyInstance>(getProcAddr, instance, "vkDestroyInstance");
    vk.enumeratePhysicalDevices = Resolve<PFN_vkEnumeratePhysicalDevices>(
        getProcAddr, instance, "vkEnumeratePhysicalDevices");
    vk.getProperties = Resolve<PFN_vkGetPhysicalDeviceProperties>(getProcAddr, instance,
                                                                  "vkGetPhysicalDeviceProperties");
    vk.getMemoryProperties = Resolve<PFN_vkGetPhysicalDeviceMemoryProperties>(
        getProcAddr, instance, "vkGetPhysicalDeviceMemoryProperties");
    std::uint64_t bytes = 0;
    if (vk.enumeratePhysicalDevices != nullptr && vk.getProperties != nullptr &&
        vk.getMemoryProperties != nullptr) {
        bytes = AskInstance(vk, instance, cpuDevices);
    }
    if (vk.destroyInstance != nullptr) {
        vk.destroyInstance(instance, nullptr);
    }
    return bytes;
}

}  // namespace

std::uint64_t AmdgpuVramBytes(const char* drmDir, std::uint64_t* pFree) {
    *pFree = 0;
    std::error_code ec;
    std::filesystem::directory_iterator it(drmDir, ec);
    if (ec) {
        return 0;
    }
    std::uint64_t largest = 0;
    for (const auto& entry : it) {
        const std::string name = entry.path().filename().string();
        // card0, card1, ...; connectors such as card0-DP-1 share the device.
        if (name.rfind("card", 0) != 0 || name.find('-') != std::string::npos) {
            continue;
        }
        const auto device = entry.path() / "device";
        const std::optional<std::uint64_t> total = ReadCount(device / "mem_info_vram_total");
        if (!total || *total <= largest) {
            continue;
        }
        largest = *total;
        const std::optional<std::uint64_t> used = ReadCount(device / "mem_info_vram_used");
        *pFree = used && *used <= largest ? largest - *used : 0;
    }
    return largest;
}

bool HasGpuDeviceNode(const char* devDir) {
    const std::filesystem::path dev(devDir);
    std::error_code ec;
    for (const char* node : {"nvidiactl", "dxg"}) {
        if (std::filesystem::exists(dev / node, ec)) {
            return true;
        }
    }
    std::filesystem::directory_iterator it(dev / "dri", ec);
    if (ec) {
        return false;
    }
    return std::ranges::any_of(it, [](const std::filesystem::directory_entry& entry) {
        return entry.path().filename().string().rfind("renderD", 0) == 0;
    });
}

std::string DriversOfNoCountingDevice(CpuDevices cpuDevices, const char* drmDir) {
    std::string globs;
    if (cpuDevices == CpuDevices::kSkip) {
        globs = "lvp_icd.*,*swiftshader*";
    }
    if (!SomeRenderNodeMayBeAmdgpu(drmDir)) {
        globs += globs.empty() ? "radeon_icd.*" : ",radeon_icd.*";
    }
    return globs;
}

std::uint64_t VulkanDeviceLocalBytes(CpuDevices cpuDevices, const char* drmDir) {
    void* library = dlopen("libvulkan.so.1", RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        return 0;
    }
    const std::uint64_t bytes = AskLoadedVulkan(library, cpuDevices, drmDir);
    dlclose(library);
    return bytes;
}

std::uint32_t SaturateToU32(std::uint64_t bytes) {
    constexpr std::uint64_t kMax = std::numeric_limits<std::uint32_t>::max();
    return static_cast<std::uint32_t>(bytes < kMax ? bytes : kMax);
}

}  // namespace linux_probe
