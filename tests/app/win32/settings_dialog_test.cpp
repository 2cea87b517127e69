// The real settings dialog, opened from the real resources and driven with
// window messages while its modal loop runs; the probe is the stand-in.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <iterator>
#include <string>

#include "app/win32/settings_dlg.h"
#include "res/resource.h"
#include "tests/app/win32/dialog_template.h"
#include "tests/support/fake_probe.h"
#include "tests/support/test_files.h"

// The dialog loads its icon through the application object.
CWinApp testApp;

namespace {

// Runs `script` on the dialog of this thread once its modal loop is running.
class DialogDriver {
public:
    explicit DialogDriver(std::function<void(HWND)> script) : m_script(std::move(script)) {
        s_current = this;
        ::SetTimer(nullptr, 0, 10, &DialogDriver::OnTimer);
    }
    ~DialogDriver() { s_current = nullptr; }
    bool ran() const { return m_ran; }

    // The enabled, visible dialog window of this thread.
    static HWND FindDialog() {
        HWND found = nullptr;
        ::EnumThreadWindows(::GetCurrentThreadId(), &DialogDriver::IsDialog,
                            reinterpret_cast<LPARAM>(&found));
        return found;
    }

private:
    static BOOL CALLBACK IsDialog(HWND hWnd, LPARAM lParam) {
        wchar_t name[16] = {};
        ::GetClassNameW(hWnd, name, 16);
        if (std::wstring(name) == L"#32770" && ::IsWindowVisible(hWnd) && ::IsWindowEnabled(hWnd)) {
            *reinterpret_cast<HWND*>(lParam) = hWnd;
            return FALSE;
        }
        return TRUE;
    }

    static void CALLBACK OnTimer(HWND, UINT, UINT_PTR id, DWORD) {
        DialogDriver* self = s_current;
        const HWND dialog = FindDialog();
        if (self == nullptr || dialog == nullptr || self->m_ran) return;
        ::KillTimer(nullptr, id);
        self->m_ran = true;
        self->m_script(dialog);
    }

    static inline DialogDriver* s_current = nullptr;
    std::function<void(HWND)> m_script;
    bool m_ran = false;
};

std::wstring Text(HWND hWnd) {
    wchar_t text[256] = {};
    ::GetWindowTextW(hWnd, text, 256);
    return text;
}

// The template this locale should show: ZARV_EXPECT_CAPTION=zh_TW for the
// Taiwan template, the PRC template otherwise.
bool ExpectTaiwan() {
    const char* language = std::getenv("ZARV_EXPECT_CAPTION");
    return language != nullptr && std::string(language) == "zh_TW";
}

void Click(HWND dialog, int id) { ::SendMessageW(::GetDlgItem(dialog, id), BM_CLICK, 0, 0); }

// What the controls show, in the order of the form members.
struct Shown {
    bool music, color16, color32, sound, vsyncOn, vsyncOff, motionBlur, softCursor, res800, res1024;
    bool operator==(const Shown&) const = default;
};

Shown Read(HWND dialog) {
    auto checked = [dialog](int id) { return ::IsDlgButtonChecked(dialog, id) == BST_CHECKED; };
    return {checked(IDC_MUSIC),       checked(IDC_COLOR_16),    checked(IDC_COLOR_32),
            checked(IDC_SOUND),       checked(IDC_VSYNC_ON),    checked(IDC_VSYNC_OFF),
            checked(IDC_MOTION_BLUR), checked(IDC_SOFT_CURSOR), checked(IDC_RES_800X600),
            checked(IDC_RES_1024X768)};
}

const std::string kExisting = OnDisk(
    "[display]\ndrivertype=3\nwidth=1024\nheight=768\ncolorbits=16\ndepthbits=24\n"
    "fullscreen=0\nsync=0\n[misc]\nxmusic=1\nxsnd=0\nmotionblur=1\nscursor=1\n"
    "[game]\nlevel=7\n");

class SettingsDialogTest : public ::testing::Test {
protected:
    // Opens the dialog, runs `script` on it, and returns DoModal's result.
    INT_PTR Run(std::function<void(HWND)> script) {
        DialogDriver driver(std::move(script));
        CSettingsDlg dlg;
        const INT_PTR result = dlg.DoModal();
        EXPECT_TRUE(driver.ran());
        return result;
    }

    ScopedWorkDir m_workDir;
};

TEST_F(SettingsDialogTest, FirstRunCreatesTheFileWhileOpenAndCancelKeepsIt) {
    ResetFakeProbe({.totalVideoMemory = 64u << 20, .has1024WideMode = true});
    std::string whileOpen;
    const INT_PTR result = Run([&](HWND dialog) {
        whileOpen = ReadBytes("config.ini");
        EXPECT_EQ(Read(dialog), (Shown{.music = true,
                                       .color16 = false,
                                       .color32 = true,
                                       .sound = true,
                                       .vsyncOn = true,
                                       .vsyncOff = false,
                                       .motionBlur = true,
                                       .softCursor = false,
                                       .res800 = true,
                                       .res1024 = false}));
        EXPECT_TRUE(::IsWindowEnabled(::GetDlgItem(dialog, IDC_RES_1024X768)));
        Click(dialog, IDC_MUSIC);
        Click(dialog, IDCANCEL);
    });
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_EQ(whileOpen, OnDisk("[display]\ndrivertype=1\nwidth=800\nheight=600\ncolorbits=32\n"
                                "depthbits=16\nfullscreen=1\nsync=1\n\n[misc]\nxmusic=0\nxsnd=0\n"
                                "motionblur=1\nscursor=0\n"));
    EXPECT_EQ(ReadBytes("config.ini"), whileOpen);
}

TEST_F(SettingsDialogTest, ShowsTheFileAndOkWritesTheChoices) {
    ResetFakeProbe({.has1024WideMode = true});
    WriteBytes("config.ini", kExisting);
    const INT_PTR result = Run([&](HWND dialog) {
        EXPECT_EQ(Read(dialog), (Shown{.music = false,
                                       .color16 = true,
                                       .color32 = false,
                                       .sound = true,
                                       .vsyncOn = false,
                                       .vsyncOff = true,
                                       .motionBlur = true,
                                       .softCursor = true,
                                       .res800 = false,
                                       .res1024 = true}));
        Click(dialog, IDC_MUSIC);
        Click(dialog, IDC_COLOR_32);
        Click(dialog, IDC_VSYNC_ON);
        Click(dialog, IDC_SOFT_CURSOR);
        Click(dialog, IDC_RES_800X600);
        EXPECT_EQ(Read(dialog), (Shown{.music = true,
                                       .color16 = false,
                                       .color32 = true,
                                       .sound = true,
                                       .vsyncOn = true,
                                       .vsyncOff = false,
                                       .motionBlur = true,
                                       .softCursor = false,
                                       .res800 = true,
                                       .res1024 = false}));
        Click(dialog, IDOK);
    });
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(ReadBytes("config.ini"),
              OnDisk("[display]\ndrivertype=3\nwidth=800\nheight=600\ncolorbits=32\ndepthbits=24\n"
                     "fullscreen=0\nsync=1\n\n[misc]\nxmusic=0\nxsnd=0\nmotionblur=1\nscursor=0\n"
                     "\n[game]\nlevel=7\n"));
}

TEST_F(SettingsDialogTest, ReturnAndEscapeEndTheDialogAsOkAndCancel) {
    ResetFakeProbe();
    WriteBytes("config.ini", kExisting);
    EXPECT_EQ(Run([](HWND dialog) {
                  Click(dialog, IDC_SOUND);
                  ::SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
              }),
              IDCANCEL);
    EXPECT_EQ(ReadBytes("config.ini"), kExisting);

    EXPECT_EQ(Run([](HWND dialog) {
                  Click(dialog, IDC_SOUND);
                  ::SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
              }),
              IDOK);
    EXPECT_NE(ReadBytes("config.ini").find("xsnd=1\r\n"), std::string::npos);
}

TEST_F(SettingsDialogTest, Without1024WideModeTheChoiceIsDisabled) {
    ResetFakeProbe({.has1024WideMode = false});
    WriteBytes("config.ini", kExisting);  // asks for 1024 x 768
    Run([](HWND dialog) {
        EXPECT_FALSE(::IsWindowEnabled(::GetDlgItem(dialog, IDC_RES_1024X768)));
        EXPECT_EQ(::IsDlgButtonChecked(dialog, IDC_RES_800X600), BST_CHECKED);
        Click(dialog, IDOK);
    });
    const std::string written = ReadBytes("config.ini");
    EXPECT_NE(written.find("width=800\r\nheight=600\r\n"), std::string::npos) << written;
}

// Gives new dialogs a system-menu box: Wine, unlike Windows, gives a window
// without one no system menu, so the About entry could not be added.
LRESULT CALLBACK AddSystemMenuBox(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_CREATEWND) {
        const auto* create = reinterpret_cast<const CBT_CREATEWNDW*>(lParam);
        if (reinterpret_cast<ULONG_PTR>(create->lpcs->lpszClass) == 0x8002) {  // dialog class
            const HWND hWnd = reinterpret_cast<HWND>(wParam);
            ::SetWindowLongW(hWnd, GWL_STYLE, ::GetWindowLongW(hWnd, GWL_STYLE) | WS_SYSMENU);
        }
    }
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

TEST_F(SettingsDialogTest, CaptionIconsAndAboutEntry) {
    ResetFakeProbe();
    const HHOOK hook =
        ::SetWindowsHookExW(WH_CBT, AddSystemMenuBox, nullptr, ::GetCurrentThreadId());
    Run([](HWND dialog) {
        // The template the system chose for this locale.
        EXPECT_EQ(Text(dialog), ExpectTaiwan() ? L"設定程式" : L"环境配置");

        const auto big = ::SendMessageW(dialog, WM_GETICON, ICON_BIG, 0);
        EXPECT_NE(big, 0);
        EXPECT_EQ(::SendMessageW(dialog, WM_GETICON, ICON_SMALL, 0), big);
        EXPECT_EQ(::SendMessageW(dialog, WM_QUERYDRAGICON, 0, 0), big);

        const HMENU menu = ::GetSystemMenu(dialog, FALSE);
        EXPECT_NE(menu, nullptr);
        const int count = menu != nullptr ? ::GetMenuItemCount(menu) : 0;
        EXPECT_GE(count, 2);
        if (count >= 2) {
            EXPECT_EQ(::GetMenuItemID(menu, count - 1), static_cast<UINT>(IDM_ABOUTBOX));
            wchar_t item[64] = {};
            ::GetMenuStringW(menu, count - 1, item, 64, MF_BYPOSITION);
            EXPECT_STREQ(item, L"settings(&A)...");
            EXPECT_TRUE(::GetMenuState(menu, count - 2, MF_BYPOSITION) & MF_SEPARATOR);
        }
        ::SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    });
    ::UnhookWindowsHookEx(hook);
}

TEST_F(SettingsDialogTest, AboutEntryOpensTheAboutBoxOverTheDialog) {
    ResetFakeProbe();
    Run([](HWND dialog) {
        const Shown before = Read(dialog);
        std::wstring aboutCaption;
        std::wstring aboutText;
        HWND aboutOwner = nullptr;
        DialogDriver about([&](HWND box) {
            aboutCaption = Text(box);
            for (HWND child = ::GetWindow(box, GW_CHILD); child != nullptr;
                 child = ::GetWindow(child, GW_HWNDNEXT)) {
                if (Text(child) == L"zarv_settings 1.0 版") aboutText = Text(child);
            }
            aboutOwner = ::GetWindow(box, GW_OWNER);
            Click(box, IDOK);
        });
        // The dialog is disabled while the About box runs, so the driver finds the box.
        ::SendMessageW(dialog, WM_SYSCOMMAND, IDM_ABOUTBOX, 0);
        EXPECT_TRUE(about.ran());
        EXPECT_EQ(aboutCaption, L"settings");
        EXPECT_EQ(aboutText, L"zarv_settings 1.0 版");
        EXPECT_EQ(aboutOwner, dialog);
        EXPECT_TRUE(::IsWindowEnabled(dialog));
        EXPECT_EQ(Read(dialog), before);
        ::SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    });
}

// Unicode windows: every text reads back as the template has it, whatever
// the locale's code page.
TEST_F(SettingsDialogTest, TextsAreTheTemplatesInAnyLocale) {
    ResetFakeProbe();
    const LANGID expected = ExpectTaiwan() ? MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_TRADITIONAL)
                                           : MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED);
    const Dialog dialogTemplate = LoadTemplate(IDD_SETTINGS_DIALOG, expected);
    ASSERT_FALSE(dialogTemplate.controls.empty());
    DialogDriver driver([&](HWND dialog) {
        EXPECT_EQ(Text(dialog), dialogTemplate.caption);
        HWND child = ::GetWindow(dialog, GW_CHILD);
        for (const Control& control : dialogTemplate.controls) {
            ASSERT_NE(child, nullptr);
            if (control.text.front() != L'#') {  // an icon's ordinal is no text
                EXPECT_EQ(Text(child), control.text);
            }
            child = ::GetWindow(child, GW_HWNDNEXT);
        }
        Click(dialog, IDCANCEL);
    });
    CSettingsDlg dlg;
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
    EXPECT_TRUE(driver.ran());
    EXPECT_EQ(dlg.GetTemplateLanguage(), expected);
}

// What a message box shows: caption, owner, text and whether it has the error icon.
struct MessageShown {
    std::wstring caption;
    HWND owner = nullptr;
    std::wstring text;
    bool errorIcon = false;
};

MessageShown ReadAndClose(HWND box) {
    MessageShown shown{Text(box), ::GetWindow(box, GW_OWNER), {}, false};
    const HICON errorIcon = ::LoadIconW(nullptr, MAKEINTRESOURCEW(32513));  // IDI_ERROR
    for (HWND child = ::GetWindow(box, GW_CHILD); child != nullptr;
         child = ::GetWindow(child, GW_HWNDNEXT)) {
        if (Text(child).find(L"config.ini") != std::wstring::npos) shown.text = Text(child);
        if (::SendMessageW(child, STM_GETICON, 0, 0) == reinterpret_cast<LRESULT>(errorIcon)) {
            shown.errorIcon = true;
        }
    }
    Click(box, IDOK);
    return shown;
}

TEST_F(SettingsDialogTest, OkThatCannotSaveTellsWhyAndTheDialogStays) {
    ResetFakeProbe();
    ASSERT_TRUE(::CreateDirectoryW(L"config.ini", nullptr));  // exists, cannot be loaded
    const std::wstring sentence =
        ExpectTaiwan() ? L"無法儲存 config.ini：" : L"无法保存 config.ini：";
    const INT_PTR result = Run([&](HWND dialog) {
        for (int attempt = 0; attempt < 2; ++attempt) {  // OK may be tried again
            MessageShown shown;
            DialogDriver box([&](HWND msg) { shown = ReadAndClose(msg); });
            Click(dialog, IDOK);
            ASSERT_TRUE(box.ran());
            EXPECT_EQ(shown.caption, Text(dialog));
            EXPECT_EQ(shown.owner, dialog);
            EXPECT_TRUE(shown.errorIcon);
            // The sentence, then the system's reason without a line end.
            EXPECT_EQ(shown.text.rfind(sentence, 0), 0u) << shown.text.size();
            EXPECT_GT(shown.text.size(), sentence.size() + 1);
            EXPECT_NE(shown.text.back(), L'\n');
            EXPECT_TRUE(::IsWindowVisible(dialog));
            EXPECT_TRUE(::IsWindowEnabled(dialog));
        }
        Click(dialog, IDCANCEL);
    });
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_TRUE(std::filesystem::is_directory("config.ini"));
    EXPECT_TRUE(std::filesystem::is_empty(m_workDir.path() / "config.ini"));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(m_workDir.path()),
                            std::filesystem::directory_iterator()),
              1);  // no temporary file left
}

}  // namespace
