// The settings half of the settings dialog: what it shows when it opens and
// what it writes on OK. Each platform's dialog supplies the window operations.
#pragma once

#include <cstdint>

#include "config/file_io.h"

// The dialog data, one integer per control group.
struct SettingsForm {
    std::int32_t m_bMusic = 1;        // check box IDC_MUSIC: 1 music on
    std::int32_t m_nColorDepth = 1;   // radio group IDC_COLOR_16/32: 0 16-bit, 1 32-bit
    std::int32_t m_bSound = 1;        // check box IDC_SOUND: 1 sound effects on
    std::int32_t m_nVSync = 0;        // radio group IDC_VSYNC_ON/OFF: 0 vertical sync on, 1 off
    std::int32_t m_bMotionBlur = 0;   // check box IDC_MOTION_BLUR: 1 motion blur on
    std::int32_t m_bSoftCursor = 0;   // check box IDC_SOFT_CURSOR: 1 software cursor on
    std::int32_t m_nResolution = -1;  // radio group IDC_RES_*: 0 800x600, 1 1024x768, -1 none
};

// The string that says what a failure of the store means and what to do.
int SentenceOf(ini::Failure failure);

// What the settings logic needs from the dialog window.
class SettingsWindow {
public:
    virtual void FormToControls() = 0;             // UpdateData(FALSE)
    virtual void ControlsToForm() = 0;             // UpdateData(TRUE)
    virtual void Enable1024x768(bool enable) = 0;  // IDC_RES_1024X768
    virtual void EndWithOK() = 0;                  // the dialog's default OK handling
    // A modal message box in the dialog's language: string nPrefixID ("无法保存
    // config.ini：") and then string nSentenceID, whose %1 is the system's
    // reason for nError. The dialog stays.
    virtual void ShowMessage(int nPrefixID, int nSentenceID, unsigned long nError) = 0;
    // Ends the dialog before it is shown: the program ends with status 1.
    virtual void EndUnshown() = 0;

protected:
    ~SettingsWindow() = default;
};

// The dialog's initialisation: loads config.ini, or creates it with first-run
// values when it does not exist (telling when that fails), and fills the form
// and the controls. A file that exists but cannot be loaded is told and ends
// the dialog, since OK would write other values over the player's own.
void InitializeSettings(SettingsForm& form, SettingsWindow& window);

// The dialog's OK: writes the form back into config.ini and ends the dialog.
// When the file cannot be loaded (other than missing) or saved, nothing is
// written, the window tells why and the dialog stays open.
void ConfirmSettings(SettingsForm& form, SettingsWindow& window);
