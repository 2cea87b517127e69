#include "xvfb_server.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

XvfbServer::XvfbServer(const char* geometry) {
    int fds[2];
    if (pipe(fds) != 0) {
        return;
    }
    m_pid = fork();
    if (m_pid == 0) {
        close(fds[0]);
        const std::string fd = std::to_string(fds[1]);
        execlp("Xvfb", "Xvfb", "-noreset", "-nolisten", "tcp", "-displayfd", fd.c_str(), "-screen",
               "0", geometry, static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    // The server writes its display number and a line feed once it accepts clients.
    std::string number;
    char c = 0;
    while (m_pid > 0 && read(fds[0], &c, 1) == 1 && c != '\n') {
        number += c;
    }
    close(fds[0]);
    if (!number.empty()) {
        m_display = ":" + number;
    }
}

XvfbServer::~XvfbServer() {
    if (m_pid > 0) {
        kill(m_pid, SIGTERM);
        waitpid(m_pid, nullptr, 0);
    }
}

bool XvfbServer::Xrandr(const std::string& args) const {
    const std::string command = "DISPLAY=" + m_display + " xrandr " + args + " >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
}
