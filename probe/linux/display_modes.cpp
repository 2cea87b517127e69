#include <xcb/randr.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "probe/display_probe.h"
#include "probe/linux/linux_probe.h"

namespace linux_probe {
namespace {

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
    const std::span modes(xcb_randr_get_screen_resources_current_modes(resources.get()),
                          xcb_randr_get_screen_resources_current_modes_length(resources.get()));
    const std::span outputs(xcb_randr_get_screen_resources_current_outputs(resources.get()),
                            xcb_randr_get_screen_resources_current_outputs_length(resources.get()));
    // Send every request first, then collect: one round trip for all outputs.
    std::vector<xcb_randr_get_output_info_cookie_t> cookies;
    for (const xcb_randr_output_t output : outputs) {
        cookies.push_back(
            xcb_randr_get_output_info(connection, output, resources->config_timestamp));
    }
    const auto is1024Wide = [&](xcb_randr_mode_t id) {
        return std::ranges::any_of(modes, [&](const xcb_randr_mode_info_t& mode) {
            return mode.id == id && mode.width == 1024;
        });
    };
    bool found = false;
    for (const auto& cookie : cookies) {
        error = nullptr;
        auto output = Take(xcb_randr_get_output_info_reply(connection, cookie, &error), error);
        if (output && !found) {
            found =
                std::ranges::any_of(std::span(xcb_randr_get_output_info_modes(output.get()),
                                              xcb_randr_get_output_info_modes_length(output.get())),
                                    is1024Wide);
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

}  // namespace

ModeSearch SearchXServer(const char* display) {
    xcb_connection_t* connection = xcb_connect(display, nullptr);
    const ModeSearch result = xcb_connection_has_error(connection) == 0
                                  ? SearchConnection(connection)
                                  : ModeSearch::kUnreachable;
    xcb_disconnect(connection);
    return result;
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
        anyList = anyList || modes.is_open();
        std::string line;
        while (std::getline(modes, line)) {
            if (line.starts_with("1024x")) {  // "1024x768", or "1024x768i"
                return ModeSearch::kFound;
            }
        }
    }
    return anyList ? ModeSearch::kNotFound : ModeSearch::kUnreachable;
}

}  // namespace linux_probe

BOOL EnumerateDisplayModes() {
    using linux_probe::ModeSearch;
    // Without an X server, the kernel's lists.
    ModeSearch result = linux_probe::SearchXServer(nullptr);
    if (result == ModeSearch::kUnreachable) {
        result = linux_probe::SearchKernelConnectors("/sys/class/drm");
    }
    if (result == ModeSearch::kFound) {
        g_bHas1024WideMode = TRUE;
    }
    return result == ModeSearch::kFound || result == ModeSearch::kNotFound ? TRUE : FALSE;
}
