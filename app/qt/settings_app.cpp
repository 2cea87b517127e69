#include "app/qt/settings_app.h"

#include <poll.h>
#include <pthread.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>

#include "app/qt/settings_dlg.h"

namespace {

// How long a display server may take to answer the first request. A server
// that is alive answers within milliseconds; one that is stopped never does.
constexpr int kAnswerTimeoutSeconds = 5;

QByteArray Environment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? QByteArray(value) : QByteArray();
}

// The outcome of connecting to an X server, filled in by a thread of its own,
// since xcb_connect waits without limit for a server that does not answer.
// The connection stays open as long as the last holder keeps the probe.
struct XProbe {
    QByteArray display;
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    xcb_connection_t* connection = nullptr;
    int error = 0;  // xcb_connection_has_error
    int screen = 0;
    int screens = 0;

    XProbe() = default;
    XProbe(const XProbe&) = delete;
    XProbe& operator=(const XProbe&) = delete;
    ~XProbe() {
        if (connection != nullptr) {
            xcb_disconnect(connection);
        }
    }
};

void* ConnectToX(void* arg) {
    // The thread owns one reference; the waiting side may have given up.
    const std::unique_ptr<std::shared_ptr<XProbe>> probe(
        static_cast<std::shared_ptr<XProbe>*>(arg));
    XProbe& p = **probe;
    int screen = 0;
    xcb_connection_t* connection = xcb_connect(p.display.constData(), &screen);
    const int error = xcb_connection_has_error(connection);
    const int screens = error == 0 ? xcb_setup_roots_length(xcb_get_setup(connection)) : 0;
    const std::lock_guard<std::mutex> lock(p.mutex);
    p.finished = true;
    p.connection = connection;
    p.error = error;
    p.screen = screen;
    p.screens = screens;
    p.done.notify_one();
    return nullptr;
}

// Whether the X server named by DISPLAY answers and has the screen it names;
// `connection` then keeps the connection made to find out.
bool CanOpenX(QByteArray* problem, std::shared_ptr<void>* connection) {
    const QByteArray display = Environment("DISPLAY");
    if (display.isEmpty()) {
        *problem = "DISPLAY is not set";
        return false;
    }
    auto probe = std::make_shared<XProbe>();
    probe->display = display;
    auto* threadRef = new std::shared_ptr<XProbe>(probe);
    pthread_t thread{};
    if (pthread_create(&thread, nullptr, ConnectToX, threadRef) != 0) {
        // No thread to spare: connect here, without a time limit.
        ConnectToX(threadRef);
    } else {
        pthread_detach(thread);
    }
    std::unique_lock<std::mutex> lock(probe->mutex);
    if (!probe->done.wait_for(lock, std::chrono::seconds(kAnswerTimeoutSeconds),
                              [&] { return probe->finished; })) {
        *problem = "the X server \"" + display + "\" does not answer";
        return false;
    }
    if (probe->error != 0 && probe->error != XCB_CONN_CLOSED_INVALID_SCREEN) {
        *problem = "no X server at \"" + display + "\"";
        return false;
    }
    if (probe->screen < 0 || probe->screen >= probe->screens) {
        *problem =
            "the X server \"" + display + "\" has no screen " + QByteArray::number(probe->screen);
        return false;
    }
    *connection = probe;
    return true;
}

// Whether the Wayland compositor named by WAYLAND_DISPLAY (default
// "wayland-0") accepts a connection and answers a sync request.
bool CanOpenWayland(QByteArray* problem) {
    QByteArray name = Environment("WAYLAND_DISPLAY");
    if (name.isEmpty()) {
        name = "wayland-0";
    }
    QByteArray path = name;
    if (!name.startsWith('/')) {
        const QByteArray runtimeDir = Environment("XDG_RUNTIME_DIR");
        if (runtimeDir.isEmpty()) {
            *problem = "XDG_RUNTIME_DIR is not set for the Wayland display \"" + name + "\"";
            return false;
        }
        path = runtimeDir + '/' + name;
    }
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    bool reached = false;
    if (fd >= 0 && static_cast<std::size_t>(path.size()) < sizeof(address.sun_path)) {
        std::memcpy(address.sun_path, path.constData(), static_cast<std::size_t>(path.size()));
        // wl_display (object 1) request 0, sync, into a new callback object 2;
        // the compositor answers with its done event.
        const std::uint32_t sync[3] = {1, (12u << 16) | 0u, 2};
        pollfd answer{fd, POLLIN, 0};
        reached =
            ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0 &&
            ::write(fd, sync, sizeof(sync)) == static_cast<ssize_t>(sizeof(sync)) &&
            ::poll(&answer, 1, kAnswerTimeoutSeconds * 1000) == 1 && (answer.revents & POLLIN) != 0;
    }
    if (fd >= 0) {
        ::close(fd);
    }
    if (!reached) {
        *problem = "no Wayland compositor answers at \"" + name + "\"";
    }
    return reached;
}

// Qt ends the process with a fatal message when no platform plugin starts.
// While the application is being made, that message becomes one line and
// exit status 1; the platform plugins' warnings before it are dropped.
void PlatformStartMessage(QtMsgType type, const QMessageLogContext& context,
                          const QString& message) {
    if (type == QtFatalMsg) {
        std::fprintf(stderr, "zarv_settings: cannot open the display: %s\n",
                     qPrintable(message.section(QLatin1Char('\n'), 0, 0)));
        std::_Exit(1);
    }
    if (context.category != nullptr && std::strncmp(context.category, "qt.qpa", 6) == 0) {
        return;
    }
    std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, message)));
}

}  // namespace

CSettingsApp::CSettingsApp(int& argc, char** argv) : QApplication(argc, argv) {}

// A member although it reads no member: the dialog needs the application
// object to exist.
bool CSettingsApp::InitInstance() {  // NOLINT(readability-convert-member-functions-to-static)
    CSettingsDlg dlg(DialogLanguageFromEnvironment());
    dlg.exec();
    return false;
}

int RunSettingsProgram(char** argv, QObject* eventFilter) {
    QByteArray problem;
    std::shared_ptr<void> checkConnection;
    if (!CanOpenDisplay(&problem, &checkConnection)) {
        std::fprintf(stderr, "zarv_settings: %s\n", problem.constData());
        return 1;
    }
    int argcForQt = 1;
    const QtMessageHandler previousHandler = qInstallMessageHandler(PlatformStartMessage);
    CSettingsApp theApp(argcForQt, argv);
    qInstallMessageHandler(previousHandler);
    checkConnection.reset();
    if (eventFilter != nullptr) {
        theApp.installEventFilter(eventFilter);
    }
    theApp.InitInstance();
    return 0;
}

bool CanOpenDisplay(QByteArray* problem, std::shared_ptr<void>* checkConnection) {
    // The platforms Qt will try, in order: those the user names, else
    // Wayland in a Wayland session, then X.
    QByteArrayList platforms = Environment("QT_QPA_PLATFORM").split(';');
    platforms.removeAll(QByteArray());
    if (platforms.isEmpty()) {
        if (!Environment("WAYLAND_DISPLAY").isEmpty() ||
            Environment("XDG_SESSION_TYPE") == "wayland") {
            platforms << "wayland";
        }
        platforms << "xcb";
    }
    QByteArrayList problems;
    for (const QByteArray& platform : platforms) {
        QByteArray why;
        if (platform.startsWith("xcb")) {
            if (CanOpenX(&why, checkConnection)) {
                return true;
            }
        } else if (platform.startsWith("wayland")) {
            if (CanOpenWayland(&why)) {
                return true;
            }
        } else {
            // Another platform (offscreen, vnc...) is Qt's to check.
            return true;
        }
        problems << why;
    }
    *problem = "cannot open the display: " + problems.join("; ");
    return false;
}
