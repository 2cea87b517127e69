// The settings dialog: the window half of the dialog whose settings half is
// InitializeSettings / ConfirmSettings.
#pragma once

#include <QDialog>
#include <QIcon>

#include "app/qt/dialog_template.h"
#include "settings/settings_logic.h"

class CSettingsDlg : public QDialog, public SettingsWindow {
public:
    explicit CSettingsDlg(DialogLanguage language, QWidget* pParent = nullptr);

    // Runs the dialog's initialisation the first time it is shown, so that
    // show(), open() and exec() all see a filled form.
    void setVisible(bool visible) override;

    void FormToControls() override;
    void ControlsToForm() override;
    void Enable1024x768(bool enable) override;
    void EndWithOK() override;
    void ShowSaveError(unsigned long nError) override;

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    // Moves the form into the controls, or back with bSaveAndValidate.
    void DoDataExchange(bool bSaveAndValidate);
    void OnInitDialog();
    void OnOK();
    void OnSysCommand(int nID);

    SettingsForm m_form;
    DialogLanguage m_language;
    QIcon m_hIcon;
    bool m_bInitialized = false;
};
