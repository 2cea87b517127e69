// The application object: shows the settings dialog and ends.
#pragma once

#include "app/win32/afx.h"

class CSettingsApp : public CWinApp {
public:
    BOOL InitInstance() override;
};
