#include "app/qt/settings_app.h"

#include <xcb/xcb.h>

#include <cstdio>
#include <cstdlib>

#include "app/qt/settings_dlg.h"

namespace {

QByteArray Environment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? QByteArray(value) : QByteArray();
}

}  // namespace

CSettingsApp::CSettingsApp(int& argc, char** argv) : QApplication(argc, argv) {}

bool CSettingsApp::InitInstance() {
    CSettingsDlg dlg(DialogLanguageFromEnvironment());
    dlg.exec();
    return false;
}

int RunSettingsProgram(char** argv, QObject* eventFilter) {
    QByteArray problem;
    if (!CanOpenDisplay(&problem)) {
        std::fprintf(stderr, "zarv_settings: %s\n", problem.constData());
        return 1;
    }
    int argcForQt = 1;
    CSettingsApp theApp(argcForQt, argv);
    if (eventFilter != nullptr) {
        theApp.installEventFilter(eventFilter);
    }
    theApp.InitInstance();
    return 0;
}

bool CanOpenDisplay(QByteArray* problem) {
    // Another platform chosen by the user (offscreen, wayland...) is Qt's to check.
    const QByteArray platform = Environment("QT_QPA_PLATFORM");
    if (!platform.isEmpty() && !platform.startsWith("xcb")) {
        return true;
    }
    if (platform.isEmpty() && !Environment("WAYLAND_DISPLAY").isEmpty()) {
        return true;
    }
    const QByteArray display = Environment("DISPLAY");
    if (display.isEmpty()) {
        *problem = "cannot open the display: DISPLAY is not set";
        return false;
    }
    xcb_connection_t* connection = xcb_connect(display.constData(), nullptr);
    const bool reached = xcb_connection_has_error(connection) == 0;
    xcb_disconnect(connection);
    if (!reached) {
        *problem = "cannot open the display \"" + display + "\"";
    }
    return reached;
}
