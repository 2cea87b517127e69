// The settings dialog: its controls are bound to the seven form members,
// which LoadSettings fills before it is shown; its initialisation and OK are
// the settings logic's, plus the window icon and the About entry in the
// context menu.
#pragma once

#include <QDialog>
#include <QIcon>

#include "app/qt/dialog_template.h"
#include "settings/settings_logic.h"

class CSettingsDlg : public QDialog, public SettingsForm, public SettingsWindow {
public:
    explicit CSettingsDlg(DialogLanguage language, QWidget* pParent = nullptr);

    void FormToControls() override;
    void ControlsToForm() override;
    void Enable1024x768(bool enable) override;
    void EndWithOK() override;
    void ShowMessage(const SettingsMessage& message) override;

protected:
    QIcon m_hIcon;

    // Moves the form into the controls, or back with bSaveAndValidate.
    void DoDataExchange(bool bSaveAndValidate);
    void OnInitDialog();
    void OnOK();
    void OnSysCommand(int nID);

    void showEvent(QShowEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    DialogLanguage m_language;
};

// Tells `message` in a modal box over `owner`, or centred on the screen when
// there is none (before the dialog), with the dialog's caption and icon.
void ShowSettingsMessage(QWidget* owner, DialogLanguage language, const SettingsMessage& message);
