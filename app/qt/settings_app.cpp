#include "app/qt/settings_app.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <QDir>
#include <QJsonArray>
#include <QJsonObject>
#include <QPluginLoader>
#include <cerrno>
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

// xcb writes the reason an X server gives for refusing a connection (most
// often: the user is not authorised) to file descriptor 2 itself, and then
// reports the refusal as XCB_CONN_ERROR, as it does a server that is not
// there. While a connection is attempted, descriptor 2 is therefore a pipe:
// a reason arriving there tells a refusal from an absent server, and goes
// into the program's one line instead of onto the terminal.
class RefusalReason {
public:
    RefusalReason() {
        int ends[2];
        if (::fcntl(STDERR_FILENO, F_GETFD) < 0 || ::pipe2(ends, O_CLOEXEC) != 0) {
            return;  // no descriptor 2, or none to spare: nothing is captured
        }
        m_saved = ::fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 3);
        if (m_saved >= 0 && ::dup2(ends[1], STDERR_FILENO) == STDERR_FILENO) {
            m_pipe = ends[0];
        } else {
            ::close(ends[0]);
            Restore();
        }
        ::close(ends[1]);  // descriptor 2 is now the only writing end
    }
    RefusalReason(const RefusalReason&) = delete;
    RefusalReason& operator=(const RefusalReason&) = delete;
    ~RefusalReason() {
        Restore();
        if (m_pipe >= 0) {
            ::close(m_pipe);
        }
    }

    // Gives descriptor 2 back.
    void Restore() {
        if (m_saved >= 0) {
            ::dup2(m_saved, STDERR_FILENO);
            ::close(m_saved);
            m_saved = -1;
        }
    }

    // The reason, on one line; empty when there is none. Only once the
    // attempt has ended and descriptor 2 is back, so that the read ends;
    // once.
    QByteArray Take() {
        QByteArray reason;
        char buffer[256];
        ssize_t n = 0;
        while (m_pipe >= 0 &&
               ((n = ::read(m_pipe, buffer, sizeof(buffer))) > 0 || (n < 0 && errno == EINTR))) {
            reason.append(buffer, n > 0 ? n : 0);
        }
        if (m_pipe >= 0) {
            ::close(m_pipe);
            m_pipe = -1;
        }
        return reason.simplified();
    }

private:
    int m_saved = -1;  // descriptor 2 as it was
    int m_pipe = -1;   // the pipe's reading end
};

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
    RefusalReason refusal;
    pthread_t thread{};
    if (pthread_create(&thread, nullptr, ConnectToX, handedOver) != 0) {
        // No thread to spare: connect here, without a time limit.
        ConnectToX(handedOver);
    } else if (future.wait_for(std::chrono::seconds(kAnswerTimeoutSeconds)) !=
               std::future_status::ready) {
        pthread_detach(thread);
        refusal.Restore();
        *problem = "the X server \"" + display + "\" does not answer";
        return false;
    } else {
        pthread_join(thread, nullptr);
    }
    refusal.Restore();
    XAnswer answer = future.get();
    if (answer.error != 0 && answer.error != XCB_CONN_CLOSED_INVALID_SCREEN) {
        const QByteArray reason = refusal.Take();
        *problem = reason.isEmpty()
                       ? "no X server at \"" + display + "\""
                       : "the X server \"" + display + "\" refused the connection: " + reason;
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

// The platforms Qt will try, in order: those the user names, else Wayland
// in a Wayland session, then X.
QByteArrayList PlatformsToTry() {
    QByteArrayList platforms = NamedPlatforms();
    if (platforms.isEmpty()) {
        if (!Environment("WAYLAND_DISPLAY").isEmpty() ||
            Environment("XDG_SESSION_TYPE") == "wayland") {
            platforms << "wayland";
        }
        platforms << "xcb";
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
    QByteArrayList problems;
    for (const QByteArray& platform : PlatformsToTry()) {
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

// Whether a platform plugin for `platform` is installed where Qt looks for
// one: the platforms/ folder of each plugin folder, and
// QT_QPA_PLATFORM_PLUGIN_PATH. A plugin serves the keys of its metadata,
// which is read without loading the plugin.
bool PlatformPluginInstalled(const QString& platform) {
    QStringList folders;
    for (const QString& pluginFolder : QCoreApplication::libraryPaths()) {
        folders << pluginFolder + QStringLiteral("/platforms");
    }
    folders << qEnvironmentVariable("QT_QPA_PLATFORM_PLUGIN_PATH");
    for (const QString& folder : folders) {
        const QDir dir(folder);
        for (const QString& file : dir.entryList(QDir::Files)) {
            const QJsonObject metaData = QPluginLoader(dir.filePath(file))
                                             .metaData()
                                             .value(QLatin1String("MetaData"))
                                             .toObject();
            for (const auto& key : metaData.value(QLatin1String("Keys")).toArray()) {
                if (key.toString().compare(platform, Qt::CaseInsensitive) == 0) {
                    return true;
                }
            }
        }
    }
    return false;
}

// Why Qt could start no platform, from what is installed: the first
// platform it tried that has no plugin, else a plugin that would not start.
QByteArray PlatformProblem() {
    const QByteArrayList platforms = PlatformsToTry();
    for (const QByteArray& platform : platforms) {
        if (PlatformPluginInstalled(QString::fromLocal8Bit(platform))) {
            continue;
        }
        if (platform.toLower().startsWith("wayland")) {
            return "Qt's Wayland platform plugin is not installed (package qt6-wayland)";
        }
        return "Qt has no platform plugin \"" + platform + "\"";
    }
    return "Qt's platform plugin \"" + platforms.join(';') + "\" did not start";
}

// Qt ends the process with a fatal message when no platform plugin starts.
// While the application is being made, that message becomes one line and
// exit status 1; the platform plugins' warnings before it are dropped.
void PlatformStartMessage(QtMsgType type, const QMessageLogContext& context,
                          const QString& message) {
    if (type == QtFatalMsg) {
        std::fprintf(stderr, "zarv_settings: cannot open the display: %s\n",
                     PlatformProblem().constData());
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
// a mistyped option need no display and must not touch config.ini. The
// program takes one argument at most. Returns the exit status, or -1 when
// there is no argument and the dialog is to be shown.
int AnswerCommandLine(int argc, char** argv) {
    if (argc < 2) {
        return -1;
    }
    const std::string_view argument = argv[1];
    const char* const answer = argument == "--help"      ? kHelp
                               : argument == "--version" ? "zarv_settings " ZARV_VERSION "\n"
                                                         : nullptr;
    if (answer == nullptr) {
        std::fprintf(stderr, "zarv_settings: %s \"%s\"; see zarv_settings --help\n",
                     argument.starts_with('-') ? "unknown option" : "unexpected argument", argv[1]);
        return 2;
    }
    if (argc > 2) {
        std::fprintf(
            stderr,
            "zarv_settings: unexpected argument \"%s\" after %s; see zarv_settings --help\n",
            argv[2], argv[1]);
        return 2;
    }
    // A full disk or a closed standard output shows at the flush at the
    // latest, and sets errno.
    if (std::fputs(answer, stdout) < 0 || std::fflush(stdout) != 0) {
        std::fprintf(stderr, "zarv_settings: cannot write to standard output: %s\n",
                     std::strerror(errno));
        return 1;
    }
    return 0;
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
