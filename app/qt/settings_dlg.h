// The settings dialog: its controls are bound to the seven form members, its
// initialisation and OK are the settings logic's, plus the window icon and
// the About entry in the context menu.
#pragma once

#include <QDialog>
#include <QIcon>

#include "app/qt/dialog_template.h"
#include "settings/settings_logic.h"

class CSettingsDlg : public QDialog, public SettingsForm, public SettingsWindow {
public:
    explicit CSettingsDlg(DialogLanguage language, QWidget* pParent = nullptr);

    // The first of exec(), show() and open() runs the dialog's
    // initialisation, so that each sees a filled form. When that has ended
    // the dialog (config.ini exists but cannot be read) the dialog is never
    // shown: exec() returns IDABORT at once, show() and open() do nothing,
    // and result() is IDABORT.
    int exec() override;
    void setVisible(bool visible) override;

    void FormToControls() override;
    void ControlsToForm() override;
    void Enable1024x768(bool enable) override;
    void EndWithOK() override;
    void ShowMessage(int nPrefixID, int nSentenceID, unsigned long nError) override;
    void EndUnshown() override;

protected:
    QIcon m_hIcon;

    // Moves the form into the controls, or back with bSaveAndValidate.
    void DoDataExchange(bool bSaveAndValidate);
    void OnInitDialog();
    void InitializeOnce();
    void OnOK();
    void OnSysCommand(int nID);

    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    DialogLanguage m_language;
    bool m_bInitialized = false;
    bool m_bLoadFailed = false;
};
