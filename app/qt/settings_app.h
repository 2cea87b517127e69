// The program's start-up around the settings dialog: the command line, Qt's
// start and the dialog.
#pragma once

#include <QObject>

// Answers --help or --version given first, telling any other argument as
// ignored in one line on stderr, and shows the settings dialog; Qt sees only
// the program name. An `eventFilter`, when given, watches the application's
// events (the start-up benchmark closes the dialog once shown). Returns the
// exit status: 0; 1 when Qt can open no display, config.ini exists but
// cannot be read, or the answer to --help or --version cannot be written.
int RunSettingsProgram(int argc, char** argv, QObject* eventFilter = nullptr);
