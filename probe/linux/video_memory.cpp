#define VK_NO_PROTOTYPES
#include <dlfcn.h>
#include <vulkan/vulkan.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <limits>
#include <memory>
#include <span>
#include <string>

#include "probe/display_probe.h"
#include "probe/linux/linux_probe.h"

namespace linux_probe {
namespace {

// A decimal count in a sysfs file, `otherwise` when there is none.
std::uint64_t ReadCount(const std::filesystem::path& path, std::uint64_t otherwise) {
    std::ifstream in(path);
    std::uint64_t value = 0;
    return in >> value ? value : otherwise;
}

template <typename Fn>
Fn Resolve(PFN_vkGetInstanceProcAddr getProcAddr, VkInstance instance, const char* name) {
    return reinterpret_cast<Fn>(getProcAddr(instance, name));
}

// The largest device-local heap of the preferred device of `instance`.
std::uint64_t AskInstance(PFN_vkGetInstanceProcAddr getProcAddr, VkInstance instance,
                          CpuDevices cpuDevices) {
    const auto enumerate = Resolve<PFN_vkEnumeratePhysicalDevices>(getProcAddr, instance,
                                                                   "vkEnumeratePhysicalDevices");
    const auto getProperties = Resolve<PFN_vkGetPhysicalDeviceProperties>(
        getProcAddr, instance, "vkGetPhysicalDeviceProperties");
    const auto getMemory = Resolve<PFN_vkGetPhysicalDeviceMemoryProperties>(
        getProcAddr, instance, "vkGetPhysicalDeviceMemoryProperties");
    VkPhysicalDevice devices[16];  // more devices than this are not looked at
    std::uint32_t count = 16;
    const VkResult listed = enumerate == nullptr || getProperties == nullptr || getMemory == nullptr
                                ? VK_ERROR_INITIALIZATION_FAILED
                                : enumerate(instance, &count, devices);
    if (listed != VK_SUCCESS && listed != VK_INCOMPLETE) {
        return 0;
    }
    constexpr VkPhysicalDeviceType kByPreference[] = {
        VK_PHYSICAL_DEVICE_TYPE_DISCRETE_GPU, VK_PHYSICAL_DEVICE_TYPE_INTEGRATED_GPU,
        VK_PHYSICAL_DEVICE_TYPE_VIRTUAL_GPU, VK_PHYSICAL_DEVICE_TYPE_CPU};
    // The first device of the most preferred type; CPU devices only when counted.
    const std::span preferred(kByPreference, cpuDevices == CpuDevices::kCount ? 4 : 3);
    VkPhysicalDevice best = VK_NULL_HANDLE;
    auto bestRank = std::ssize(preferred);
    for (VkPhysicalDevice device : std::span(devices, count)) {
        VkPhysicalDeviceProperties properties{};
        getProperties(device, &properties);
        const auto rank = std::ranges::find(preferred, properties.deviceType) - preferred.begin();
        if (rank < bestRank) {
            best = device;
            bestRank = rank;
        }
    }
    if (best == VK_NULL_HANDLE) {
        return 0;
    }
    VkPhysicalDeviceMemoryProperties memory{};
    getMemory(best, &memory);
    std::uint64_t largest = 0;
    for (const VkMemoryHeap& heap : std::span(memory.memoryHeaps, memory.memoryHeapCount)) {
        if ((heap.flags & VK_MEMORY_HEAP_DEVICE_LOCAL_BIT) != 0) {
            largest = std::max(largest, heap.size);
        }
    }
    return largest;
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
        if (!name.starts_with("card") || name.find('-') != std::string::npos) {
            continue;
        }
        const auto device = entry.path() / "device";
        const std::uint64_t total = ReadCount(device / "mem_info_vram_total", 0);
        if (total <= largest) {
            continue;
        }
        largest = total;
        // None free when the used count is missing or too large.
        *pFree = largest - std::min(ReadCount(device / "mem_info_vram_used", largest), largest);
    }
    return largest;
}

bool HasGpuDeviceNode(const char* devDir) {
    const std::filesystem::path dev(devDir);
    std::error_code ec;
    if (std::filesystem::exists(dev / "nvidiactl", ec) ||
        std::filesystem::exists(dev / "dxg", ec)) {
        return true;
    }
    std::filesystem::directory_iterator it(dev / "dri", ec);
    return !ec && std::ranges::any_of(it, [](const std::filesystem::directory_entry& entry) {
        return entry.path().filename().string().starts_with("renderD");
    });
}

std::uint64_t VulkanDeviceLocalBytes(CpuDevices cpuDevices) {
    const std::unique_ptr<void, int (*)(void*)> library(
        dlopen("libvulkan.so.1", RTLD_NOW | RTLD_LOCAL), dlclose);
    const auto getProcAddr = library ? reinterpret_cast<PFN_vkGetInstanceProcAddr>(
                                           dlsym(library.get(), "vkGetInstanceProcAddr"))
                                     : nullptr;
    const auto createInstance =
        getProcAddr != nullptr
            ? Resolve<PFN_vkCreateInstance>(getProcAddr, nullptr, "vkCreateInstance")
            : nullptr;
    VkApplicationInfo app{};
    app.sType = VK_STRUCTURE_TYPE_APPLICATION_INFO;
    app.pApplicationName = "zarv_settings";
    app.apiVersion = VK_API_VERSION_1_0;
    VkInstanceCreateInfo info{};
    info.sType = VK_STRUCTURE_TYPE_INSTANCE_CREATE_INFO;
    info.pApplicationInfo = &app;
    VkInstance instance = VK_NULL_HANDLE;
    if (createInstance == nullptr || createInstance(&info, nullptr, &instance) != VK_SUCCESS) {
        return 0;
    }
    const std::uint64_t bytes = AskInstance(getProcAddr, instance, cpuDevices);
    const auto destroyInstance =
        Resolve<PFN_vkDestroyInstance>(getProcAddr, instance, "vkDestroyInstance");
    if (destroyInstance != nullptr) {
        destroyInstance(instance, nullptr);
    }
    return bytes;
}

}  // namespace linux_probe

BOOL GetTotalVideoMemory(std::uint32_t* pTotal, std::uint32_t* pFree) {
    *pTotal = 0;
    *pFree = 0;
    std::uint64_t freeBytes = 0;  // stays 0 from Vulkan, which tells none without extensions
    std::uint64_t total = linux_probe::AmdgpuVramBytes("/sys/class/drm", &freeBytes);
    // Without a GPU's device node Vulkan has only CPU devices, which do not
    // count: its loader and drivers are not worth loading.
    if (total == 0 && linux_probe::HasGpuDeviceNode("/dev")) {
        total = linux_probe::VulkanDeviceLocalBytes(linux_probe::CpuDevices::kSkip);
    }
    // Counts of 4 GiB or more do not fit: they are reported as 0xFFFFFFFF.
    constexpr std::uint64_t kLargest = std::numeric_limits<std::uint32_t>::max();
    *pTotal = static_cast<std::uint32_t>(std::min(total, kLargest));
    *pFree = static_cast<std::uint32_t>(std::min(freeBytes, kLargest));
    return total != 0 ? TRUE : FALSE;
}
