// The program's own start-up, ending once the dialog is shown.
#include "app/qt/settings_app.h"
#include "close_when_shown.h"

int main(int argc, char** argv) {
    CloseWhenShown closer;
    return RunSettingsProgram(argc, argv, &closer);
}
