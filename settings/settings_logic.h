// The settings half of the settings dialog: what it shows when it opens and
// what it writes on OK. Each platform's dialog supplies the window operations.
#pragma once

#include <cstdint>

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

// What the settings logic needs from the dialog window.
class SettingsWindow {
public:
    virtual void FormToControls() = 0;             // UpdateData(FALSE)
    virtual void ControlsToForm() = 0;             // UpdateData(TRUE)
    virtual void Enable1024x768(bool enable) = 0;  // IDC_RES_1024X768
    virtual void EndWithOK() = 0;                  // the dialog's default OK handling
    // Tells the player that config.ini could not be saved and why (`nError`
    // is the system's error code); the dialog stays open.
    virtual void ShowSaveError(unsigned long nError) = 0;
    // Tells the player that config.ini exists but could not be read and why,
    // then ends the dialog before it is shown: the program ends with status 1.
    virtual void EndWithLoadError(unsigned long nError) = 0;

protected:
    ~SettingsWindow() = default;
};

// The dialog's initialisation: loads config.ini, creates it with first-run
// values when it does not exist, and fills the form and the controls. A file
// that exists but cannot be loaded (a directory, unreadable, too large,
// locked) ends the dialog with the reason, since showing other values would
// let OK write them over the player's own; one that cannot be written is
// shown as it is.
void InitializeSettings(SettingsForm& form, SettingsWindow& window);

// The dialog's OK: writes the form back into config.ini and ends the dialog.
// When the file cannot be loaded (other than missing) or saved, nothing is
// written, the window shows why and the dialog stays open.
void ConfirmSettings(SettingsForm& form, SettingsWindow& window);
