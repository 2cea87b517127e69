#include "app/qt/settings_app.h"

int main(int argc, char** argv) { return RunSettingsProgram(argc, argv); }
