// The program's start-up, as in app/qt/main.cpp, ending once the dialog is shown.
#include <cstdio>

#include "app/qt/settings_app.h"
#include "close_when_shown.h"

int main(int /*argc*/, char** argv) {
    QByteArray problem;
    if (!CanOpenDisplay(&problem)) {
        std::fprintf(stderr, "zarv_settings: %s\n", problem.constData());
        return 1;
    }
    int argcForQt = 1;
    CSettingsApp theApp(argcForQt, argv);
    CloseWhenShown closer;
    theApp.installEventFilter(&closer);
    theApp.InitInstance();
    return 0;
}
