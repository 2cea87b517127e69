// The settings dialog: its controls are bound to the seven form members,
// which LoadSettings fills before it opens; its initialisation and OK are
// the settings logic's, plus the window icon, the About entry in the system
// menu and in the context menu, and the tooltip of a greyed 1024 x 768.
#pragma once

#include "app/win32/afx.h"
#include "settings/settings_logic.h"

class CSettingsDlg : public CDialog, public SettingsForm, public SettingsWindow {
public:
    explicit CSettingsDlg(CWnd* pParent = nullptr);

    void FormToControls() override;
    void ControlsToForm() override;
    void Enable1024x768(bool enable) override;
    void EndWithOK() override;
    void ShowMessage(const SettingsMessage& message) override;

protected:
    HICON m_hIcon;

    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;
    void OnOK() override;

    void OnSysCommand(UINT nID, LPARAM lParam);
    void OnPaint();
    HCURSOR OnQueryDragIcon();
    void OnContextMenu(CWnd* pWnd, POINT point);

private:
    DECLARE_MESSAGE_MAP()
};

// Tells `message` in a modal box owned by `hOwner`, or by none before the
// dialog exists, with the dialog's caption.
void ShowSettingsMessage(HWND hOwner, const SettingsMessage& message);
