#include "app/qt/settings_app.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "app/qt/settings_dlg.h"

namespace {

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

// Qt's messages while it starts its platform, as the program's. When no
// platform starts, the platform plugin has said why (no X server at DISPLAY,
// a missing plugin), and Qt's fatal message, which would abort, ends the
// program with status 1.
void PlatformStartMessage(QtMsgType type, const QMessageLogContext& context,
                          const QString& message) {
    if (type == QtFatalMsg) {
        std::_Exit(1);
    }
    if (std::getenv("DISPLAY") == nullptr && qstrcmp(context.category, "qt.qpa.xcb") == 0) {
        // xcb, asked for no display, names none.
        std::fputs("zarv_settings: could not connect to a display: DISPLAY is not set\n", stderr);
    } else if (!message.endsWith(QLatin1String("even though it was found."))) {
        // (That one follows the reason the plugin gave, and adds none.)
        std::fprintf(stderr, "zarv_settings: %s\n", qPrintable(message));
    }
}

}  // namespace

CSettingsApp::CSettingsApp(int& argc, char** argv) : QApplication(argc, argv) {}

bool CSettingsApp::InitInstance() {
    const DialogLanguage language = DialogLanguageFromEnvironment();
    CSettingsDlg dlg(language);
    SettingsMessage message;
    const bool loaded = LoadSettings(dlg, message);
    if (message.nSentenceID != 0) {
        ShowSettingsMessage(nullptr, language, message);
    }
    if (loaded) {
        dlg.exec();
    }
    m_nExitCode = loaded ? 0 : 1;
    return false;
}

int RunSettingsProgram(int argc, char** argv, QObject* eventFilter) {
    const int answered = AnswerCommandLine(argc, argv);
    if (answered >= 0) {
        return answered;
    }
    int argcForQt = 1;
    const QtMessageHandler previousHandler = qInstallMessageHandler(PlatformStartMessage);
    CSettingsApp theApp(argcForQt, argv);
    qInstallMessageHandler(previousHandler);
    if (eventFilter != nullptr) {
        theApp.installEventFilter(eventFilter);
    }
    theApp.InitInstance();
    return theApp.ExitInstance();
}
