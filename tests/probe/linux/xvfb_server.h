// A private Xvfb for one test: started with -displayfd so it picks a free
// display number, stopped when the object goes.
#pragma once

#include <sys/types.h>

#include <string>

class XvfbServer {
public:
    // geometry: "1024x768x24". display() is empty when the server did not start.
    explicit XvfbServer(const char* geometry);
    ~XvfbServer();
    XvfbServer(const XvfbServer&) = delete;
    XvfbServer& operator=(const XvfbServer&) = delete;

    const std::string& display() const { return m_display; }

    // Runs `xrandr <args>` against this server; true when it exits with 0.
    bool Xrandr(const std::string& args) const;

private:
    pid_t m_pid = -1;
    std::string m_display;
};
