// The About box, opened from the settings dialog's system menu or context menu.
#pragma once

#include "app/win32/afx.h"
#include "res/resource.h"

class CAboutDlg : public CDialog {
public:
    CAboutDlg() : CDialog(IDD_ABOUTBOX) {}
};
