#include <xcb/randr.h>
#include <xcb/xcb.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "probe/linux/linux_probe.h"

namespace linux_probe {
namespace {

constexpr unsigned kWantedWidth = 1024;

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
template <typename T>
using Reply = std::unique_ptr<T, FreeDeleter>;

// Errors come back as values through `error`, never to a handler of their own.
template <typename T>
Reply<T> Take(T* reply, xcb_generic_error_t* error) {
    std::free(error);
    return Reply<T>(reply);
}

bool ScreenHasOutputWith1024WideMode(xcb_connection_t* connection, xcb_window_t root) {
    xcb_generic_error_t* error = nullptr;
    auto resources =
        Take(xcb_randr_get_screen_resources_current_reply(
                 connection, xcb_randr_get_screen_resources_current(connection, root), &error),
             error);
    if (!resources) {
        return false;
    }
    const xcb_randr_mode_info_t* modes =
        xcb_randr_get_screen_resources_current_modes(resources.get());
    const int modeCount = xcb_randr_get_screen_resources_current_modes_length(resources.get());
    const xcb_randr_output_t* outputs =
        xcb_randr_get_screen_resources_current_outputs(resources.get());
    const int outputCount = xcb_randr_get_screen_resources_current_outputs_length(resources.get());

    // Send every request first, then collect: one round trip for all outputs.
    std::vector<xcb_randr_get_output_info_cookie_t> cookies;
    cookies.reserve(static_cast<std::size_t>(outputCount));
    for (int i = 0; i < outputCount; ++i) {
        cookies.push_back(
            xcb_randr_get_output_info(connection, outputs[i], resources->config_timestamp));
    }
    bool found = false;
    for (const auto& cookie : cookies) {
        error = nullptr;
        auto output = Take(xcb_randr_get_output_info_reply(connection, cookie, &error), error);
        if (!output || found) {
            continue;
        }
        const xcb_randr_mode_t* ids = xcb_randr_get_output_info_modes(output.get());
        const int idCount = xcb_randr_get_output_info_modes_length(output.get());
        for (int i = 0; i < idCount && !found; ++i) {
            for (int m = 0; m < modeCount; ++m) {
                if (modes[m].id == ids[i] && modes[m].width == kWantedWidth) {
                    found = true;
                    break;
                }
            }
        }
    }
    return found;
}

ModeSearch SearchConnection(xcb_connection_t* connection) {
    const xcb_query_extension_reply_t* extension =
        xcb_get_extension_data(connection, &xcb_randr_id);
    if (extension == nullptr || extension->present == 0) {
        return ModeSearch::kUnsupported;
    }
    xcb_generic_error_t* error = nullptr;
    auto version = Take(xcb_randr_query_version_reply(
                            connection, xcb_randr_query_version(connection, 1, 3), &error),
                        error);
    // get_screen_resources_current needs RandR 1.3.
    if (!version || (version->major_version == 1 && version->minor_version < 3)) {
        return ModeSearch::kUnsupported;
    }
    for (auto it = xcb_setup_roots_iterator(xcb_get_setup(connection)); it.rem > 0;
         xcb_screen_next(&it)) {
        if (ScreenHasOutputWith1024WideMode(connection, it.data->root)) {
            return ModeSearch::kFound;
        }
    }
    return ModeSearch::kNotFound;
}

// A line of a connector's mode list looks like "1024x768" (or "1024x768i").
bool ModeLineIs1024Wide(const std::string& line) {
    const std::string prefix = std::to_string(kWantedWidth) + "x";
    return line.compare(0, prefix.size(), prefix) == 0;
}

}  // namespace

ModeSearch SearchXServer(const char* display) {
    xcb_connection_t* connection = xcb_connect(display, nullptr);
    ModeSearch result = ModeSearch::kUnreachable;
    if (xcb_connection_has_error(connection) == 0) {
        result = SearchConnection(connection);
    }
    xcb_disconnect(connection);
    return result;
}

ModeSearch SearchXConnection(xcb_connection_t* connection) {
    if (xcb_connection_has_error(connection) != 0) {
        return ModeSearch::kUnreachable;
    }
    return SearchConnection(connection);
}

ModeSearch SearchKernelConnectors(const char* drmDir) {
    std::error_code ec;
    std::filesystem::directory_iterator it(drmDir, ec);
    if (ec) {
        return ModeSearch::kUnreachable;
    }
    bool anyList = false;
    for (const auto& entry : it) {
        std::ifstream modes(entry.path() / "modes");
        if (!modes) {
            continue;
        }
        anyList = true;
        std::string line;
        while (std::getline(modes, line)) {
            if (ModeLineIs1024Wide(line)) {
                return ModeSearch::kFound;
            }
        }
    }
    return anyList ? ModeSearch::kNotFound : ModeSearch::kUnreachable;
}

}  // namespace linux_probe
