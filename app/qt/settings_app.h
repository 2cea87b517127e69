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
};

// Whether the window system can be reached. When it cannot, Qt would abort;
// `problem` then holds a one-line explanation.
bool CanOpenDisplay(QByteArray* problem);
