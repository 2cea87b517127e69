#include "settings/settings_logic.h"

#include "config/ini_file.h"
#include "probe/display_probe.h"

namespace {

// Opened by its relative name: the file lives in the current directory.
constexpr const char* kConfigPath = "config.ini";
constexpr const char* kDisplay = "display";
constexpr const char* kMisc = "misc";

// A new file switches motion blur on from this much video memory, in MiB.
constexpr std::uint32_t kMotionBlurMinMiB = 30;

// Check box members: any non-zero value counts as checked.
std::int32_t CheckState(std::int32_t value) { return value != 0 ? 1 : 0; }

void SetFirstRunValues(CIniFile& ini) {
    std::uint32_t totalBytes = 0;
    std::uint32_t freeBytes = 0;
    GetTotalVideoMemory(&totalBytes, &freeBytes);  // on failure the total stays 0
    const std::uint32_t totalMiB = totalBytes >> 20;

    ini.SetInt(kDisplay, "drivertype", 1);
    ini.SetInt(kDisplay, "width", 800);
    ini.SetInt(kDisplay, "height", 600);
    ini.SetInt(kDisplay, "colorbits", 32);
    ini.SetInt(kDisplay, "depthbits", 16);
    ini.SetInt(kDisplay, "fullscreen", 1);
    ini.SetInt(kDisplay, "sync", 1);
    ini.SetInt(kMisc, "xmusic", 0);
    ini.SetInt(kMisc, "xsnd", 0);
    ini.SetInt(kMisc, "motionblur", totalMiB >= kMotionBlurMinMiB ? 1 : 0);
    ini.SetInt(kMisc, "scursor", 0);
}

// Why `ini`'s last load or save failed, after string `prefixId`: the
// sentences of the failures follow one another in the order of ini::Failure.
SettingsMessage Why(int prefixId, const CIniFile& ini) {
    static_assert(IDS_FAILED_OTHER + static_cast<int>(ini::Failure::kDamaged) ==
                  IDS_FAILED_DAMAGED);
    return {prefixId, IDS_FAILED_OTHER + static_cast<int>(ini.GetFailure()), ini.GetErrorCode()};
}

}  // namespace

bool LoadSettings(SettingsForm& form, SettingsMessage& message) {
    CIniFile ini;
    if (!ini.Load(kConfigPath)) {
        if (!ini.NotFound()) {
            message = Why(IDS_LOAD_FAILED, ini);
            return false;
        }
        SetFirstRunValues(ini);
        if (!ini.Save(kConfigPath)) {
            message = Why(IDS_CREATE_FAILED, ini);
        }
    }

    EnumerateDisplayModes();

    // Keys missing from an existing file read as these fallbacks; note that
    // a missing xmusic or xsnd means switched off.
    const int width = ini.GetInt(kDisplay, "width", 800);
    const int colorBits = ini.GetInt(kDisplay, "colorbits", 32);
    const int sync = ini.GetInt(kDisplay, "sync", 1);
    const int musicOff = ini.GetInt(kMisc, "xmusic", 1);
    const int soundOff = ini.GetInt(kMisc, "xsnd", 1);
    const int motionBlur = ini.GetInt(kMisc, "motionblur", 0);
    const int softCursor = ini.GetInt(kMisc, "scursor", 0);

    form.m_nResolution = width != 800 && g_bHas1024WideMode != FALSE ? 1 : 0;
    form.m_nColorDepth = colorBits != 16 ? 1 : 0;
    form.m_nVSync = sync != 1 ? 1 : 0;
    form.m_bMusic = musicOff != 1 ? 1 : 0;
    form.m_bSound = soundOff != 1 ? 1 : 0;
    form.m_bMotionBlur = CheckState(motionBlur);
    form.m_bSoftCursor = CheckState(softCursor);
    return true;
}

void InitializeSettings(SettingsWindow& window) {
    window.Enable1024x768(g_bHas1024WideMode != FALSE);
    window.FormToControls();
}

void ConfirmSettings(SettingsForm& form, SettingsWindow& window) {
    window.ControlsToForm();
    const int width = form.m_nResolution != 0 ? 1024 : 800;
    const int height = width != 800 ? 768 : 600;
    const int colorBits = form.m_nColorDepth != 0 ? 32 : 16;
    const int sync = form.m_nVSync == 0 ? 1 : 0;
    const int musicOff = form.m_bMusic == 0 ? 1 : 0;
    const int soundOff = form.m_bSound == 0 ? 1 : 0;

    // Every other key and section of the file is kept in its place; keys that
    // are missing land at the end of their section.
    CIniFile ini;
    const bool loaded = ini.Load(kConfigPath);
    if (!loaded && !ini.NotFound()) {  // never replace what could not be read
        window.ShowMessage(Why(IDS_SAVE_FAILED, ini));
        return;
    }
    if (!loaded) {
        ini.SetInt(kDisplay, "drivertype", 1);
    }
    ini.SetInt(kDisplay, "width", width);
    ini.SetInt(kDisplay, "height", height);
    if (!loaded) {
        ini.SetInt(kDisplay, "depthbits", 16);
        ini.SetInt(kDisplay, "fullscreen", 1);
    }
    ini.SetInt(kDisplay, "colorbits", colorBits);
    ini.SetInt(kDisplay, "sync", sync);
    ini.SetInt(kMisc, "xmusic", musicOff);
    ini.SetInt(kMisc, "xsnd", soundOff);
    ini.SetInt(kMisc, "motionblur", CheckState(form.m_bMotionBlur));
    ini.SetInt(kMisc, "scursor", CheckState(form.m_bSoftCursor));
    if (!ini.Save(kConfigPath)) {
        window.ShowMessage(Why(IDS_SAVE_FAILED, ini));
        return;
    }
    window.EndWithOK();
}
