// The application object: one per process, it shows the settings dialog.
#pragma once

#include <QApplication>
#include <memory>

class CSettingsApp : public QApplication {
public:
    // argc and argv as Qt takes them; argc must outlive the application.
    CSettingsApp(int& argc, char** argv);

    // Shows the settings dialog modally; false when it has ended, so the
    // process ends with it.
    bool InitInstance();
};

// The whole program: checks the display, then shows the settings dialog.
// The command line is not looked at: Qt sees only the program name. An
// `eventFilter`, when given, watches the application's events (the start-up
// benchmark uses one to close the dialog once it is shown). Returns the exit
// status.
int RunSettingsProgram(char** argv, QObject* eventFilter = nullptr);

// Whether a window system Qt will try can be reached, waiting a few seconds
// at most for a server that does not answer. When none can, Qt would abort
// or wait for ever; `problem` then holds a one-line explanation.
// `checkConnection` keeps the X connection made to check open until it is
// dropped: an X server resets when its last client leaves, which would cost
// the next connection (Qt's) tens of milliseconds.
bool CanOpenDisplay(QByteArray* problem, std::shared_ptr<void>* checkConnection);
