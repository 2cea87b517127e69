#include "app/qt/settings_app.h"

#include <QApplication>
#include <QLocale>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <utility>
#include <vector>

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

// Answers the command line before anything else, since --help and --version
// need no display and must not touch config.ini. Other arguments are told in
// one line and otherwise ignored: a launcher or a game's script may pass
// some. Returns the exit status, or -1 when the dialog is to be shown.
int AnswerCommandLine(int argc, char** argv) {
    const std::string_view first = argc > 1 ? argv[1] : "";
    const char* const answer = first == "--help"      ? kHelp
                               : first == "--version" ? "zarv_settings " ZARV_VERSION "\n"
                                                      : nullptr;
    if (argc > (answer != nullptr ? 2 : 1)) {
        std::fputs("zarv_settings: ignoring the arguments", stderr);
        for (int i = answer != nullptr ? 2 : 1; i < argc; ++i) {
            std::fprintf(stderr, " \"%s\"", argv[i]);
        }
        std::fputs("; see zarv_settings --help\n", stderr);
    }
    if (answer == nullptr) {
        return -1;
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

// Qt's messages while it starts its platform, held until it has started and
// then passed on as Qt prints them.
struct HeldMessage {
    QtMsgType type;
    QByteArray category;
    QString text;
};

std::vector<HeldMessage>& HeldMessages() {
    static std::vector<HeldMessage> held;
    return held;
}

// When no platform starts, Qt's fatal message would abort. The program ends
// with status 1 instead, and one line: the first reason the platform plugin
// gave (no X server at DISPLAY, a missing plugin).
void HoldStartMessage(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (type != QtFatalMsg) {
        HeldMessages().push_back({type, context.category, message});
        return;
    }
    QString reason = message.section(QLatin1Char('\n'), 0, 0);
    for (const HeldMessage& held : HeldMessages()) {
        if (held.category.startsWith("qt.qpa.")) {
            reason = held.text;
            break;
        }
    }
    if (std::getenv("DISPLAY") == nullptr &&
        reason.startsWith(QLatin1String("could not connect"))) {
        // xcb, asked for no display, names none.
        reason = QStringLiteral("could not connect to a display: DISPLAY is not set");
    }
    std::fprintf(stderr, "zarv_settings: %s\n", qPrintable(reason));
    std::_Exit(1);
}

}  // namespace

int RunSettingsProgram(int argc, char** argv, QObject* eventFilter) {
    const int answered = AnswerCommandLine(argc, argv);
    if (answered >= 0) {
        return answered;
    }
    int argcForQt = 1;
    const QtMessageHandler previousHandler = qInstallMessageHandler(HoldStartMessage);
    QApplication app(argcForQt, argv);
    qInstallMessageHandler(previousHandler);
    for (const HeldMessage& held : std::exchange(HeldMessages(), {})) {
        qt_message_output(held.type, QMessageLogContext(nullptr, 0, nullptr, held.category.data()),
                          held.text);
    }
    if (eventFilter != nullptr) {
        app.installEventFilter(eventFilter);
    }
    const DialogLanguage language = DialogLanguageFor(QLocale::system().uiLanguages());
    CSettingsDlg dlg(language);
    SettingsMessage message;
    const bool loaded = LoadSettings(dlg, message);
    if (message.nSentenceID != 0) {
        ShowSettingsMessage(nullptr, language, message);
    }
    if (!loaded) {
        return 1;
    }
    dlg.exec();
    return 0;
}
