#include <cstdio>

#include "app/qt/settings_app.h"

int main(int /*argc*/, char** argv) {
    QByteArray problem;
    if (!CanOpenDisplay(&problem)) {
        std::fprintf(stderr, "zarv_settings: %s\n", problem.constData());
        return 1;
    }
    // The command line is not looked at: Qt sees only the program name.
    int argcForQt = 1;
    CSettingsApp theApp(argcForQt, argv);
    theApp.InitInstance();
    return 0;
}
