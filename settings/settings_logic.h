// The settings half of the settings dialog: what it shows when it opens and
// what it writes on OK. Each platform's dialog supplies the window operations.
#pragma once

#include <cstdint>

#include "config/file_io.h"
#include "res/resource.h"

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

// The control each member is bound to, in the order the dialog moves them:
// a check box holds 1 or 0, a radio group the index of its checked button.
struct FormBinding {
    int nID;  // the check box, or a radio group's first button
    bool bRadio;
    std::int32_t SettingsForm::*pMember;
};
inline constexpr FormBinding kFormBindings[] = {
    {IDC_MUSIC, false, &SettingsForm::m_bMusic},
    {IDC_COLOR_16, true, &SettingsForm::m_nColorDepth},
    {IDC_SOUND, false, &SettingsForm::m_bSound},
    {IDC_VSYNC_ON, true, &SettingsForm::m_nVSync},
    {IDC_MOTION_BLUR, false, &SettingsForm::m_bMotionBlur},
    {IDC_SOFT_CURSOR, false, &SettingsForm::m_bSoftCursor},
    {IDC_RES_800X600, true, &SettingsForm::m_nResolution}};

// What the player is to be told: string nPrefixID (none when 0), then string
// nSentenceID; %1 in them is the system's reason for nError, %2 the folder
// of config.ini. Nothing to tell when nSentenceID is 0.
struct SettingsMessage {
    int nPrefixID = 0;
    int nSentenceID = 0;
    unsigned long nError = 0;
};

// The text of a message: prefix and sentence with %1 and %2 replaced in one
// pass, so that a reason or folder holding "%2" stays as it is.
template <class String>
String ComposeMessage(const String& prefix, const String& sentence, const String& reason,
                      const String& folder) {
    const String text = prefix + sentence;
    String result;
    for (decltype(text.size()) i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 1 < text.size() && (text[i + 1] == '1' || text[i + 1] == '2')) {
            result += text[++i] == '1' ? reason : folder;
        } else {
            result += text[i];
        }
    }
    return result;
}

// What the settings logic needs from the dialog window.
class SettingsWindow {
public:
    virtual void FormToControls() = 0;             // UpdateData(FALSE)
    virtual void ControlsToForm() = 0;             // UpdateData(TRUE)
    virtual void Enable1024x768(bool enable) = 0;  // IDC_RES_1024X768
    virtual void EndWithOK() = 0;                  // the dialog's default OK handling
    // A modal message box over the dialog, in its language. The dialog stays.
    virtual void ShowMessage(const SettingsMessage& message) = 0;

protected:
    ~SettingsWindow() = default;
};

// Run before the dialog's window exists: loads config.ini, or creates it with
// first-run values when it does not exist, asks for the display modes and
// fills the form. A failed creation is put in `message` and the dialog opens
// on the first-run values. A file that exists but cannot be loaded is put in
// `message` and the result is false: the program tells it and ends without a
// dialog, since OK would write other values over the player's own.
bool LoadSettings(SettingsForm& form, SettingsMessage& message);

// The dialog's initialisation: the 1024 x 768 choice as the display allows
// and the form, filled by LoadSettings, into the controls.
void InitializeSettings(SettingsWindow& window);

// The dialog's OK: writes the form back into config.ini and ends the dialog.
// When the file cannot be loaded (other than missing) or saved, nothing is
// written, the window tells why and the dialog stays open.
void ConfirmSettings(SettingsForm& form, SettingsWindow& window);
