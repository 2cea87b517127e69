#include <gtest/gtest.h>
#include <QAbstractButton>
#include <QApplication>
#include <QContextMenuEvent>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolTip>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/qt/about_dlg.h"
#include "app/qt/dialog_controls.h"
#include "app/qt/settings_dlg.h"
#include "tests/support/fake_probe.h"
#include "tests/support/test_files.h"

namespace {

// One offscreen QApplication for the whole test program, gone before main
// returns.
class QtEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        m_app = std::make_unique<QApplication>(m_argc, m_argv);
    }
    void TearDown() override { m_app.reset(); }

private:
    int m_argc = 1;
    char m_name[12] = "dialog_test";
    char* m_argv[2] = {m_name, nullptr};
    std::unique_ptr<QApplication> m_app;
};

[[maybe_unused]] const ::testing::Environment* const kQtEnvironment =
    ::testing::AddGlobalTestEnvironment(new QtEnvironment);

// Each test runs in an empty folder of its own, since the dialog reads
// ./config.ini.
class DialogTest : public ::testing::Test {
protected:
    void SetUp() override { ResetFakeProbe(); }

    void WriteConfig(const std::string& bytes) const {
        WriteBytes(m_workDir.path() / "config.ini", bytes);
    }

private:
    ScopedWorkDir m_workDir;
};

QAbstractButton* Control(const QDialog& dlg, int id) {
    return dlg.findChild<QAbstractButton*>(QString::number(id));
}

// Which of the numbered controls are checked.
std::vector<int> CheckedControls(const QDialog& dlg) {
    std::vector<int> ids;
    for (int id : {IDC_COLOR_16, IDC_COLOR_32, IDC_SOUND, IDC_MUSIC, IDC_VSYNC_ON, IDC_VSYNC_OFF,
                   IDC_MOTION_BLUR, IDC_SOFT_CURSOR, IDC_RES_800X600, IDC_RES_1024X768}) {
        if (Control(dlg, id)->isChecked()) {
            ids.push_back(id);
        }
    }
    return ids;
}

// Whether the template's picture is drawn at its place on `dlg`: the icon
// over the dialog's background.
bool PictureDrawn(QDialog& dlg, const DialogTemplate& tmpl) {
    for (const ControlTemplate& control : tmpl.controls) {
        if (control.kind == ControlKind::kIcon) {
            const QPixmap picture = ImageFromFile(QStringLiteral(":/icons/picture.png"));
            QImage expected(picture.size(), QImage::Format_RGB32);
            expected.fill(dlg.palette().color(QPalette::Window));
            QPainter(&expected).drawPixmap(0, 0, picture);
            const QRect place(DialogUnitsToPixels({control.x, control.y, control.cx, control.cy},
                                                  DialogBaseUnits(dlg.font()))
                                  .topLeft(),
                              picture.size());
            return dlg.grab(place).toImage().convertToFormat(QImage::Format_RGB32) == expected;
        }
    }
    return false;
}

// As the program opens it: the form loaded first.
void ShowAndActivate(CSettingsDlg& dlg) {
    SettingsMessage message;
    ASSERT_TRUE(LoadSettings(dlg, message));
    dlg.show();
    QApplication::setActiveWindow(&dlg);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dlg));
}

// The key goes where the user's key would go: to the focused control.
void PressKey(QDialog& dlg, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QWidget* target = QApplication::focusWidget() != nullptr ? QApplication::focusWidget() : &dlg;
    QTest::keyClick(target, key, modifiers);
}

// 1024 x 768, 16 bit, sync off, music off, sound on, no blur, soft cursor.
const char* kExistingFile =
    "[display]\ndrivertype=2\nwidth=1024\nheight=768\ncolorbits=16\ndepthbits=24\nfullscreen=0\n"
    "sync=0\n\n[misc]\nxmusic=1\nxsnd=0\nmotionblur=0\nscursor=1\n";

// The form's members in their order, to compare in one line.
std::vector<std::int32_t> FormValues(const SettingsForm& form) {
    return {form.m_bMusic,      form.m_nColorDepth, form.m_bSound,     form.m_nVSync,
            form.m_bMotionBlur, form.m_bSoftCursor, form.m_nResolution};
}

QString Utf8(const char* text) { return QString::fromUtf8(text); }

}  // namespace

// The first Chinese entry of the user's languages decides.
TEST(DialogLanguage, TraditionalChineseLocalesGetTheTaiwanDialog) {
    const std::vector<std::pair<QStringList, DialogLanguage>> cases = {
        {{"zh_TW.UTF-8"}, DialogLanguage::kChineseTaiwan},
        {{"zh_HK.UTF-8"}, DialogLanguage::kChineseTaiwan},
        {{"zh_MO"}, DialogLanguage::kChineseTaiwan},
        {{"zh_Hant_SG.UTF-8"}, DialogLanguage::kChineseTaiwan},
        {{"zh_TW.Big5@stroke"}, DialogLanguage::kChineseTaiwan},
        // LANGUAGE=zh_TW with an English LANG, and a language without texts first.
        {{"zh-TW", "en-US"}, DialogLanguage::kChineseTaiwan},
        {{"de-DE", "zh-TW", "zh-CN"}, DialogLanguage::kChineseTaiwan},
        {{"zh_CN.UTF-8"}, DialogLanguage::kChinesePrc},
        {{"zh_SG"}, DialogLanguage::kChinesePrc},
        {{"zh_Hans_HK"}, DialogLanguage::kChinesePrc},
        {{"zh"}, DialogLanguage::kChinesePrc},
        {{"en-US", "zh-CN", "zh-TW"}, DialogLanguage::kChinesePrc},
        {{"C"}, DialogLanguage::kChinesePrc},
        {{}, DialogLanguage::kChinesePrc},
    };
    for (const auto& [languages, expected] : cases) {
        EXPECT_EQ(DialogLanguageFor(languages), expected) << languages.join(u' ').toStdString();
    }
}

// Tab goes through the controls in the template's order, stopping at a
// radio group's checked button only, and follows it when the form changes.
TEST_F(DialogTest, TabStopsFollowTheTemplateAndTheCheckedRadioButtons) {
    CSettingsDlg dlg(DialogLanguage::kChinesePrc);
    ShowAndActivate(dlg);
    // A first run: 32 bit, sync on, 800 x 600.
    const auto tabStops = [&] {
        std::vector<int> stops;
        do {
            PressKey(dlg, Qt::Key_Tab);
            stops.push_back(QApplication::focusWidget()->objectName().toInt());
        } while (stops.back() != IDOK && stops.size() < 20);
        return stops;
    };
    EXPECT_EQ(tabStops(),
              (std::vector<int>{IDCANCEL, IDC_COLOR_32, IDC_SOUND, IDC_MUSIC, IDC_VSYNC_ON,
                                IDC_MOTION_BLUR, IDC_SOFT_CURSOR, IDC_RES_800X600, IDOK}));
    dlg.m_nColorDepth = 0;
    dlg.m_nVSync = 1;
    dlg.m_nResolution = 1;
    dlg.FormToControls();
    EXPECT_EQ(tabStops(),
              (std::vector<int>{IDCANCEL, IDC_COLOR_16, IDC_SOUND, IDC_MUSIC, IDC_VSYNC_OFF,
                                IDC_MOTION_BLUR, IDC_SOFT_CURSOR, IDC_RES_1024X768, IDOK}));
    // OK is the default button and the first to have the focus.
    EXPECT_TRUE(static_cast<QPushButton*>(Control(dlg, IDOK))->isDefault());
}

// The greyed choice cannot be chosen, and its tooltip says why.
TEST_F(DialogTest, Without1024WideModeThe1024ChoiceIsGreyedWithItsReason) {
    ResetFakeProbe({.has1024WideMode = false});
    CSettingsDlg dlg(DialogLanguage::kChineseTaiwan);
    ShowAndActivate(dlg);
    QAbstractButton* button = Control(dlg, IDC_RES_1024X768);
    EXPECT_FALSE(button->isEnabled());
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_FALSE(button->isChecked());
    QHelpEvent help(QEvent::ToolTip, QPoint(2, 2), button->mapToGlobal(QPoint(2, 2)));
    QApplication::sendEvent(button, &help);
    EXPECT_EQ(QToolTip::text(), Utf8(FindString(IDS_NO_1024_MODE, kLanguageChineseTaiwan)));
}

// Each control shows its form member, and OK takes every control back into it.
TEST_F(DialogTest, EachControlIsBoundToItsFormMember) {
    WriteConfig(OnDisk(kExistingFile));
    CSettingsDlg dlg(DialogLanguage::kChinesePrc);
    ShowAndActivate(dlg);
    EXPECT_EQ(FormValues(dlg), (std::vector<std::int32_t>{0, 0, 1, 1, 0, 1, 1}));
    EXPECT_EQ(CheckedControls(dlg), (std::vector<int>{IDC_COLOR_16, IDC_SOUND, IDC_VSYNC_OFF,
                                                      IDC_SOFT_CURSOR, IDC_RES_1024X768}));

    for (const int id : {IDC_COLOR_32, IDC_VSYNC_ON, IDC_MUSIC, IDC_SOUND, IDC_MOTION_BLUR,
                         IDC_SOFT_CURSOR, IDC_RES_800X600, IDOK}) {
        QTest::mouseClick(Control(dlg, id), Qt::LeftButton);
    }
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_EQ(FormValues(dlg), (std::vector<std::int32_t>{1, 1, 0, 0, 1, 0, 0}));

    // Any non-zero value checks a check box; an index outside a radio group
    // clears the group.
    dlg.m_bMusic = 2;
    dlg.m_bSound = -1;
    dlg.m_nVSync = 2;
    dlg.FormToControls();
    EXPECT_EQ(CheckedControls(dlg), (std::vector<int>{IDC_COLOR_32, IDC_SOUND, IDC_MUSIC,
                                                      IDC_MOTION_BLUR, IDC_RES_800X600}));
}

// Only OK takes the controls into the form (what is saved then is the
// settings logic's).
TEST_F(DialogTest, CancelEscapeAndMnemonics) {
    struct Case {
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        QDialog::DialogCode result;
    };
    for (const Case& c : {Case{Qt::Key_Escape, Qt::NoModifier, QDialog::Rejected},
                          Case{Qt::Key_C, Qt::AltModifier, QDialog::Rejected},
                          Case{Qt::Key_Y, Qt::AltModifier, QDialog::Accepted}}) {
        CSettingsDlg dlg(DialogLanguage::kChineseTaiwan);
        ShowAndActivate(dlg);  // 32 bit, as a first run made it
        QTest::mouseClick(Control(dlg, IDC_COLOR_16), Qt::LeftButton);
        PressKey(dlg, c.key, c.modifiers);
        // A mnemonic clicks its button after a short press animation.
        EXPECT_TRUE(QTest::qWaitFor([&] { return !dlg.isVisible(); }));
        EXPECT_EQ(dlg.result(), c.result) << c.key;
        EXPECT_EQ(dlg.m_nColorDepth, c.result == QDialog::Accepted ? 0 : 1) << c.key;
    }
}

TEST_F(DialogTest, ContextMenuOpensTheAboutBox) {
    // Right-clicking a control reaches the dialog's menu, and so does Shift+F10
    // (as the Menu key, for which the X11 platform sends a keyboard menu event
    // to the focused control). A menu opened from the keyboard starts on its
    // entry: Return chooses it.
    struct Opener {
        bool keyboard;
        std::function<void(CSettingsDlg&)> open;
    };
    const Opener openers[] = {
        {false,
         [](CSettingsDlg& dlg) {
             QWidget* target = Control(dlg, IDC_SOUND);
             QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(2, 2),
                                     target->mapToGlobal(QPoint(2, 2)));
             QApplication::sendEvent(target, &event);
         }},
        {true, [](CSettingsDlg& dlg) { PressKey(dlg, Qt::Key_F10, Qt::ShiftModifier); }},
    };
    for (std::size_t opener = 0; opener < std::size(openers); ++opener) {
        SCOPED_TRACE(opener);
        CSettingsDlg dlg(DialogLanguage::kChinesePrc);
        ShowAndActivate(dlg);
        const std::vector<int> checkedBefore = CheckedControls(dlg);

        QString menuText;
        bool aboutHasPicture = false;
        // Both the menu and the About box run their own modal loops: inspect and
        // close each from inside.
        QTimer::singleShot(0, [&] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            ASSERT_NE(menu, nullptr);
            ASSERT_EQ(menu->actions().size(), 1);
            menuText = menu->actions()[0]->text();
            QTimer::singleShot(0, [&] {
                auto* about = dynamic_cast<CAboutDlg*>(QApplication::activeModalWidget());
                ASSERT_NE(about, nullptr);
                aboutHasPicture = PictureDrawn(*about, AboutDialogTemplate());
                auto* ok = about->findChild<QPushButton*>(QString::number(IDOK));
                ASSERT_NE(ok, nullptr);
                QTest::keyClick(ok, Qt::Key_Return);
            });
            EXPECT_EQ(menu->activeAction() != nullptr, openers[opener].keyboard);
            if (!openers[opener].keyboard) {
                menu->setActiveAction(menu->actions()[0]);
            }
            QTest::keyClick(menu, Qt::Key_Return);
            menu->close();  // still open when Return chose nothing
        });
        openers[opener].open(dlg);
        // Runs the inspection now should no menu have opened.
        QCoreApplication::processEvents();

        EXPECT_EQ(menuText, Utf8(FindString(IDS_ABOUTBOX, kLanguageChinesePrc)));
        EXPECT_TRUE(aboutHasPicture);

        // Back to the settings dialog, unchanged.
        EXPECT_TRUE(dlg.isVisible());
        EXPECT_EQ(CheckedControls(dlg), checkedBefore);
    }
}
