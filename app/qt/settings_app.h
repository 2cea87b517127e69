// The application object: one per process, it shows the settings dialog.
#pragma once

#include <QApplication>

class CSettingsApp : public QApplication {
public:
    // argc and argv as Qt takes them; argc must outlive the application.
    CSettingsApp(int& argc, char** argv);

    // Shows the settings dialog modally; false when it has ended, so the
    // process ends with it.
    bool InitInstance();
    // The exit status once InitInstance has returned: 1 when config.ini
    // exists but could not be read, else 0.
    int ExitInstance() const { return m_nExitCode; }

private:
    int m_nExitCode = 0;
};

// The whole program: answers --help or --version given alone (any other
// argument, and any second one, is refused) and shows the settings dialog;
// Qt sees only the program name. An `eventFilter`, when given, watches the
// application's events (the start-up benchmark closes the dialog once shown).
// Returns the exit status: 0; 1 when Qt can open no display, config.ini
// exists but cannot be read, or the answer to --help or --version cannot be
// written; 2 for a refused argument.
int RunSettingsProgram(int argc, char** argv, QObject* eventFilter = nullptr);
