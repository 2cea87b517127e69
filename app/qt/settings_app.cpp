#include "app/qt/settings_app.h"

#include <poll.h>
#include <pthread.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <future>
#include <memory>
#include <string_view>

#include "app/qt/settings_dlg.h"
#include "probe/linux/linux_probe.h"

namespace {

// How long a display server may take to answer the first request. A server
// that is alive answers within milliseconds; one that is stopped never does.
constexpr int kAnswerTimeoutSeconds = 5;

QByteArray Environment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? QByteArray(value) : QByteArray();
}

// Closes an X connection; xcb_connect's error objects too.
struct XcbDisconnect {
    void operator()(xcb_connection_t* connection) const { xcb_disconnect(connection); }
};
using XConnection = std::unique_ptr<xcb_connection_t, XcbDisconnect>;

// What connecting to an X server found.
struct XAnswer {
    XConnection connection;
    int error = 0;    // xcb_connection_has_error
    int screen = 0;   // the screen the display name asks for
    int screens = 0;  // the screens the server has
};

// One attempt to connect, owned by ConnectToX once handed to it. The answer
// reaches the caller through the future; when the caller has stopped waiting
// and dropped the future, the answer (with its connection) goes with the
// attempt.
struct XAttempt {
    QByteArray display;
    std::promise<XAnswer> answer;
};

void* ConnectToX(void* arg) {
    const std::unique_ptr<XAttempt> attempt(static_cast<XAttempt*>(arg));
    XAnswer answer;
    answer.connection.reset(xcb_connect(attempt->display.constData(), &answer.screen));
    answer.error = xcb_connection_has_error(answer.connection.get());
    if (answer.error == 0) {
        answer.screens = xcb_setup_roots_length(xcb_get_setup(answer.connection.get()));
    }
    attempt->answer.set_value(std::move(answer));
    return nullptr;
}

// Whether the X server named by DISPLAY answers and has the screen it names;
// `connection` then holds the connection made to find out. xcb_connect waits
// without limit for a server that does not answer, so it runs on a thread of
// its own, which is joined once it has answered. A thread still waiting when
// the time is up is left to end with the process, which ends at once.
bool CanOpenX(QByteArray* problem, XConnection* connection) {
    const QByteArray display = Environment("DISPLAY");
    if (display.isEmpty()) {
        *problem = "DISPLAY is not set";
        return false;
    }
    auto attempt = std::make_unique<XAttempt>();
    attempt->display = display;
    std::future<XAnswer> future = attempt->answer.get_future();
    XAttempt* const handedOver = attempt.release();  // ConnectToX owns it
    pthread_t thread{};
    if (pthread_create(&thread, nullptr, ConnectToX, handedOver) != 0) {
        // No thread to spare: connect here, without a time limit.
        ConnectToX(handedOver);
    } else if (future.wait_for(std::chrono::seconds(kAnswerTimeoutSeconds)) !=
               std::future_status::ready) {
        pthread_detach(thread);
        *problem = "the X server \"" + display + "\" does not answer";
        return false;
    } else {
        pthread_join(thread, nullptr);
    }
    XAnswer answer = future.get();
    if (answer.error != 0 && answer.error != XCB_CONN_CLOSED_INVALID_SCREEN) {
        *problem = "no X server at \"" + display + "\"";
        return false;
    }
    if (answer.screen < 0 || answer.screen >= answer.screens) {
        *problem =
            "the X server \"" + display + "\" has no screen " + QByteArray::number(answer.screen);
        return false;
    }
    *connection = std::move(answer.connection);
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

// The platforms QT_QPA_PLATFORM names, in order, without their options
// ("xcb:name=value").
QByteArrayList NamedPlatforms() {
    QByteArrayList platforms;
    for (const QByteArray& entry : Environment("QT_QPA_PLATFORM").split(';')) {
        const qsizetype options = entry.indexOf(':');
        const QByteArray name = options >= 0 ? entry.left(options) : entry;
        if (!name.isEmpty()) {
            platforms << name;
        }
    }
    return platforms;
}

// Whether a window system Qt will try can be reached, waiting a few seconds
// at most for a server that does not answer. When none can, Qt would abort
// or wait for ever; `problem` then holds a one-line explanation.
// `checkConnection` receives the X connection made to check: an X server
// resets when its last client leaves, which would cost the next connection
// (Qt's) tens of milliseconds, so it stays open until Qt has its own.
bool CanOpenDisplay(QByteArray* problem, XConnection* checkConnection) {
    // The platforms Qt will try, in order: those the user names, else
    // Wayland in a Wayland session, then X.
    QByteArrayList platforms = NamedPlatforms();
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

// Why Qt could start no platform, from its fatal message, which ends in the
// list of the plugins it found ("Available platform plugins are: minimal,
// offscreen, xcb."; no list when it found none): a platform QT_QPA_PLATFORM
// names that is not listed is not installed. Else the message's first line.
QString PlatformProblem(const QString& fatal) {
    const QString listHead = QStringLiteral("Available platform plugins are: ");
    const qsizetype list = fatal.indexOf(listHead);
    QStringList available;
    if (list >= 0) {
        QString listed = fatal.mid(list + listHead.size()).section(QLatin1Char('\n'), 0, 0);
        if (listed.endsWith(QLatin1Char('.'))) {
            listed.chop(1);
        }
        available = listed.split(QStringLiteral(", "));
    }
    for (const QByteArray& platform : NamedPlatforms()) {
        const QString name = QString::fromLocal8Bit(platform);
        if (available.contains(name, Qt::CaseInsensitive)) {
            continue;
        }
        if (name.startsWith(QLatin1String("wayland"), Qt::CaseInsensitive)) {
            return QStringLiteral(
                "Qt's Wayland platform plugin is not installed (package qt6-wayland)");
        }
        return QStringLiteral("Qt has no platform plugin \"%1\"").arg(name);
    }
    return fatal.section(QLatin1Char('\n'), 0, 0);
}

// Qt ends the process with a fatal message when no platform plugin starts.
// While the application is being made, that message becomes one line and
// exit status 1; the platform plugins' warnings before it are dropped.
void PlatformStartMessage(QtMsgType type, const QMessageLogContext& context,
                          const QString& message) {
    if (type == QtFatalMsg) {
        std::fprintf(stderr, "zarv_settings: cannot open the display: %s\n",
                     qPrintable(PlatformProblem(message)));
        std::_Exit(1);
    }
    if (context.category != nullptr && std::strncmp(context.category, "qt.qpa", 6) == 0) {
        return;
    }
    std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, message)));
}

// Qt's own X connection; null on another platform.
xcb_connection_t* QtXConnection() {
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 != nullptr ? x11->connection() : nullptr;
}

constexpr const char* kHelp =
    "Usage: zarv_settings [--help | --version]\n"
    "\n"
    "Opens the game's settings dialog on config.ini in the current folder, the\n"
    "file the game reads: screen resolution, colour depth, vertical sync, music,\n"
    "sound effects, motion blur and software cursor. A missing config.ini is\n"
    "created at once with defaults; OK saves the choices, Cancel does not.\n"
    "The menu entry starts the program in the folder the game reads it from.\n"
    "\n"
    "  --help     print this help and exit\n"
    "  --version  print the version and exit\n"
    "\n"
    "The keys of config.ini, the exit status and the environment:\n"
    "man 6 zarv_settings\n";

// Answers the command line before anything else, since --help, --version and
// a mistyped option need no display and must not touch config.ini. Only the
// first argument counts, as in programs that act on an option when they meet
// it. Returns the exit status, or -1 when there is no argument and the
// dialog is to be shown.
int AnswerCommandLine(int argc, char** argv) {
    if (argc < 2) {
        return -1;
    }
    const std::string_view argument = argv[1];
    const char* const answer = argument == "--help"      ? kHelp
                               : argument == "--version" ? "zarv_settings " ZARV_VERSION "\n"
                                                         : nullptr;
    if (answer != nullptr) {
        std::fputs(answer, stdout);
        return std::fflush(stdout) == 0 ? 0 : 1;
    }
    std::fprintf(stderr, "zarv_settings: %s \"%s\"; see zarv_settings --help\n",
                 argument.starts_with('-') ? "unknown option" : "unexpected argument", argv[1]);
    return 2;
}

}  // namespace

CSettingsApp::CSettingsApp(int& argc, char** argv) : QApplication(argc, argv) {}

bool CSettingsApp::InitInstance() {
    CSettingsDlg dlg(DialogLanguageFromEnvironment());
    m_nExitCode = dlg.exec() == IDABORT ? 1 : 0;
    return false;
}

int RunSettingsProgram(int argc, char** argv, QObject* eventFilter) {
    const int answered = AnswerCommandLine(argc, argv);
    if (answered >= 0) {
        return answered;
    }
    QByteArray problem;
    XConnection checkConnection;
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
    // RandR is asked through Qt's connection: no second one at start-up.
    linux_probe::UseProgramXConnection(QtXConnection());
    theApp.InitInstance();
    linux_probe::UseProgramXConnection(nullptr);
    return theApp.ExitInstance();
}
