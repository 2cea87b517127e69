#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <vector>

#include "app/qt/about_dlg.h"
#include "app/qt/dialog_controls.h"
#include "app/qt/settings_dlg.h"
#include "dialog_test_support.h"
#include "tests/support/fake_probe.h"

namespace {

QAbstractButton* Control(const QDialog& dlg, int id) {
    return dlg.findChild<QAbstractButton*>(QString::number(id));
}

std::vector<QString> GroupBoxTitles(const QDialog& dlg) {
    std::vector<QString> titles;
    for (const QGroupBox* box : dlg.findChildren<QGroupBox*>()) {
        titles.push_back(box->title());
    }
    std::sort(titles.begin(), titles.end());
    return titles;
}

std::vector<QString> Sorted(std::vector<QString> texts) {
    std::sort(texts.begin(), texts.end());
    return texts;
}

// Which of the numbered controls are checked, as "1003 1006 ...".
QString CheckedControls(const QDialog& dlg) {
    QStringList ids;
    for (int id : {1003, 1004, 1005, 1006, 1008, 1009, 1012, 1013, 1014, 1015}) {
        if (Control(dlg, id)->isChecked()) {
            ids << QString::number(id);
        }
    }
    return ids.join(QLatin1Char(' '));
}

void ShowAndActivate(QDialog& dlg) {
    dlg.show();
    QApplication::setActiveWindow(&dlg);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dlg));
}

// The key goes where the user's key would go: to the focused control.
void PressKey(QDialog& dlg, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QWidget* target = QApplication::focusWidget() != nullptr ? QApplication::focusWidget() : &dlg;
    QTest::keyClick(target, key, modifiers);
}

// The message box that `trigger` opens, seen from inside its modal loop
// and closed with Return.
struct MessageSeen {
    QWidget* owner = nullptr;
    QString title;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QString text;
};

MessageSeen SeeMessage(const std::function<void()>& trigger) {
    MessageSeen seen;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        seen = {box->parentWidget(), box->windowTitle(), box->icon(), box->text()};
        QTest::keyClick(box, Qt::Key_Return);
    });
    trigger();
    return seen;
}

const char* kFirstRunFile =
    "[display]\ndrivertype=1\nwidth=800\nheight=600\ncolorbits=32\ndepthbits=16\nfullscreen=1\n"
    "sync=1\n\n[misc]\nxmusic=0\nxsnd=0\nmotionblur=1\nscursor=0\n";

const char* kFileWithExtras =
    "[display]\ndrivertype=2\nwidth=1024\nheight=768\ncolorbits=16\ndepthbits=24\nfullscreen=0\n"
    "sync=0\n\n[misc]\nxmusic=1\nxsnd=0\nmotionblur=0\nscursor=1\n\n[network]\nserver=a b;c\n"
    "port=4000\n";

}  // namespace

struct VariantTexts {
    DialogLanguage language;
    const char* caption;
    std::map<int, const char*> controls;
    std::vector<QString> groupBoxes;
};

void PrintTo(const VariantTexts& texts, std::ostream* out) { *out << texts.caption; }

class DialogTexts : public DialogTest, public ::testing::WithParamInterface<VariantTexts> {};

TEST_P(DialogTexts, CaptionControlsAndGroupBoxes) {
    const VariantTexts& expected = GetParam();
    CSettingsDlg dlg(expected.language);
    EXPECT_EQ(dlg.windowTitle(), QString::fromUtf8(expected.caption));
    for (const auto& [id, text] : expected.controls) {
        ASSERT_NE(Control(dlg, id), nullptr) << id;
        EXPECT_EQ(Control(dlg, id)->text(), QString::fromUtf8(text)) << id;
    }
    EXPECT_EQ(GroupBoxTitles(dlg), Sorted(expected.groupBoxes));
    // The picture, and nothing numbered that the template does not have.
    EXPECT_EQ(dlg.findChildren<QLabel*>().size(), 1);
    EXPECT_FALSE(dlg.findChildren<QLabel*>()[0]->pixmap().isNull());
    EXPECT_EQ(dlg.findChildren<QAbstractButton*>().size(), 12);
}

INSTANTIATE_TEST_SUITE_P(
    BothLanguages, DialogTexts,
    ::testing::Values(VariantTexts{DialogLanguage::kChinesePrc,
                                   "环境配置",
                                   {{1, "确定[&Y]"},
                                    {2, "取消[&C]"},
                                    {1003, "16位"},
                                    {1004, "32位"},
                                    {1005, "音效开关"},
                                    {1006, "音乐开关"},
                                    {1008, "开"},
                                    {1009, "关"},
                                    {1012, "动态模糊"},
                                    {1013, "软件光标"},
                                    {1014, "800 x 600"},
                                    {1015, "1024 x 768"}},
                                   {"颜色", "音乐音效", "垂直同步", "特效", "鼠标", "分辨率"}},
                      VariantTexts{DialogLanguage::kChineseTaiwan,
                                   "設定程式",
                                   {{1, "確定[&Y]"},
                                    {2, "取消[&C]"},
                                    {1003, "16位"},
                                    {1004, "32位"},
                                    {1005, "音效開關"},
                                    {1006, "音樂開關"},
                                    {1008, "開"},
                                    {1009, "關"},
                                    {1012, "動態模糊"},
                                    {1013, "軟體鼠標"},
                                    {1014, "800 x 600"},
                                    {1015, "1024 x 768"}},
                                   {"色彩", "音樂音效", "垂直同步", "特效", "滑鼠", "解析度"}}),
    [](const auto& param) {
        return param.param.language == DialogLanguage::kChineseTaiwan ? "Taiwan" : "Prc";
    });

TEST(DialogLanguage, TraditionalChineseLocalesGetTheTaiwanDialog) {
    for (const char* name : {"zh_TW", "zh_TW.UTF-8", "zh_HK.UTF-8", "zh_MO", "zh_Hant",
                             "zh_Hant_SG.UTF-8", "zh_TW.Big5@stroke"}) {
        EXPECT_EQ(DialogLanguageForLocale(QString::fromLatin1(name)),
                  DialogLanguage::kChineseTaiwan)
            << name;
    }
    for (const char* name :
         {"zh_CN.UTF-8", "zh_SG", "zh_Hans_HK", "zh", "en_US.UTF-8", "de_AT", "C", "POSIX", ""}) {
        EXPECT_EQ(DialogLanguageForLocale(QString::fromLatin1(name)), DialogLanguage::kChinesePrc)
            << name;
    }
}

TEST_F(DialogTest, TabOrderAndRadioGroupsFollowTheTemplate) {
    CSettingsDlg dlg(DialogLanguage::kChinesePrc);
    std::vector<QString> order;
    QWidget* widget = Control(dlg, 1);
    do {
        if ((widget->focusPolicy() & Qt::TabFocus) != 0 && dlg.isAncestorOf(widget)) {
            order.push_back(widget->objectName());
        }
        widget = widget->nextInFocusChain();
    } while (widget != Control(dlg, 1));
    EXPECT_EQ(order, (std::vector<QString>{"1", "2", "1003", "1004", "1005", "1006", "1008", "1009",
                                           "1012", "1013", "1014", "1015"}));

    // Three groups of two, each exclusive on its own.
    for (int first : {1003, 1008, 1014}) {
        QButtonGroup* group = RadioGroup(dlg, first);
        ASSERT_NE(group, nullptr);
        EXPECT_EQ(group->buttons(),
                  (QList<QAbstractButton*>{Control(dlg, first), Control(dlg, first + 1)}));
    }
    ShowAndActivate(dlg);
    QTest::mouseClick(Control(dlg, 1003), Qt::LeftButton);
    QTest::mouseClick(Control(dlg, 1009), Qt::LeftButton);
    QTest::mouseClick(Control(dlg, 1014), Qt::LeftButton);
    EXPECT_EQ(CheckedControls(dlg), "1003 1005 1006 1009 1012 1014");
    // OK is the default button and the first to have the focus.
    EXPECT_TRUE(static_cast<QPushButton*>(Control(dlg, 1))->isDefault());
}

// A screen reader announces each control with its group: the control is a
// child of the group box in the accessibility tree, labelled by it.
TEST_F(DialogTest, AccessibilityTreeNestsControlsInTheirGroups) {
    CSettingsDlg dlg(DialogLanguage::kChineseTaiwan);
    const std::map<int, const char*> groups = {
        {1, nullptr},       {2, nullptr},       {1003, "色彩"},     {1004, "色彩"},
        {1005, "音樂音效"}, {1006, "音樂音效"}, {1008, "垂直同步"}, {1009, "垂直同步"},
        {1012, "特效"},     {1013, "滑鼠"},     {1014, "解析度"},   {1015, "解析度"}};
    for (const auto& [id, group] : groups) {
        QAccessibleInterface* control = QAccessible::queryAccessibleInterface(Control(dlg, id));
        ASSERT_NE(control, nullptr) << id;
        QAccessibleInterface* parent = control->parent();
        ASSERT_NE(parent, nullptr) << id;
        EXPECT_GE(parent->indexOfChild(control), 0) << id;
        if (group == nullptr) {
            EXPECT_EQ(parent->object(), &dlg) << id;
            continue;
        }
        EXPECT_EQ(parent->role(), QAccessible::Grouping) << id;
        EXPECT_EQ(parent->text(QAccessible::Name), QString::fromUtf8(group)) << id;
        EXPECT_EQ(parent->parent()->object(), &dlg) << id;
        const auto labels = control->relations(QAccessible::Label);
        ASSERT_EQ(labels.size(), 1) << id;
        EXPECT_EQ(labels[0].first, parent) << id;
    }
}

TEST_F(DialogTest, FirstRunCreatesTheFileBeforeTheUserChooses) {
    ResetFakeProbe({.totalVideoMemory = 64u << 20, .has1024WideMode = true});
    CSettingsDlg dlg(DialogLanguage::kChinesePrc);
    EXPECT_FALSE(ConfigExists());
    ShowAndActivate(dlg);
    EXPECT_EQ(ConfigBytes(), OnDisk(kFirstRunFile));
    // 32 bit, vertical sync on, sound and music on, motion blur, 800 x 600.
    EXPECT_EQ(CheckedControls(dlg), "1004 1005 1006 1008 1012 1014");
    EXPECT_TRUE(Control(dlg, 1015)->isEnabled());

    // Cancelling keeps the file the dialog made.
    PressKey(dlg, Qt::Key_Escape);
    EXPECT_EQ(dlg.result(), QDialog::Rejected);
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_EQ(ConfigBytes(), OnDisk(kFirstRunFile));
}

TEST_F(DialogTest, Without1024WideModeThe1024ChoiceIsGreyed) {
    ResetFakeProbe({.has1024WideMode = false});
    WriteConfig(OnDisk(kFileWithExtras));
    CSettingsDlg dlg(DialogLanguage::kChinesePrc);
    ShowAndActivate(dlg);
    EXPECT_FALSE(Control(dlg, 1015)->isEnabled());
    EXPECT_TRUE(Control(dlg, 1014)->isChecked());
    QTest::mouseClick(Control(dlg, 1015), Qt::LeftButton);
    EXPECT_FALSE(Control(dlg, 1015)->isChecked());

    PressKey(dlg, Qt::Key_Return);
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    const std::string written = ConfigBytes();
    EXPECT_NE(written.find(OnDisk("width=800\nheight=600\n")), std::string::npos) << written;
}

TEST_F(DialogTest, OkWritesEveryChoiceAndKeepsOtherSections) {
    WriteConfig(OnDisk(kFileWithExtras));
    CSettingsDlg dlg(DialogLanguage::kChinesePrc);
    ShowAndActivate(dlg);
    // 16 bit, sync off, music off, sound on, no blur, soft cursor, 1024 x 768.
    EXPECT_EQ(CheckedControls(dlg), "1003 1005 1009 1013 1015");

    QTest::mouseClick(Control(dlg, 1004), Qt::LeftButton);
    QTest::mouseClick(Control(dlg, 1008), Qt::LeftButton);
    QTest::mouseClick(Control(dlg, 1006), Qt::LeftButton);
    QTest::mouseClick(Control(dlg, 1005), Qt::LeftButton);
    QTest::mouseClick(Control(dlg, 1012), Qt::LeftButton);
    QTest::mouseClick(Control(dlg, 1013), Qt::LeftButton);
    QTest::mouseClick(Control(dlg, 1014), Qt::LeftButton);
    QTest::mouseClick(Control(dlg, 1), Qt::LeftButton);

    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_EQ(ConfigBytes(),
              OnDisk("[display]\ndrivertype=2\nwidth=800\nheight=600\ncolorbits=32\ndepthbits=24\n"
                     "fullscreen=0\nsync=1\n\n[misc]\nxmusic=0\nxsnd=1\nmotionblur=1\nscursor=0\n\n"
                     "[network]\nserver=a b;c\nport=4000\n"));
}

TEST_F(DialogTest, CancelEscapeAndMnemonics) {
    const std::string original = OnDisk(kFileWithExtras);
    struct Case {
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        QDialog::DialogCode result;
    };
    for (const Case& c : {Case{Qt::Key_Escape, Qt::NoModifier, QDialog::Rejected},
                          Case{Qt::Key_C, Qt::AltModifier, QDialog::Rejected},
                          Case{Qt::Key_Y, Qt::AltModifier, QDialog::Accepted}}) {
        WriteConfig(original);
        CSettingsDlg dlg(DialogLanguage::kChineseTaiwan);
        ShowAndActivate(dlg);
        QTest::mouseClick(Control(dlg, 1004), Qt::LeftButton);
        QTest::mouseClick(Control(dlg, 1006), Qt::LeftButton);
        PressKey(dlg, c.key, c.modifiers);
        // A mnemonic clicks its button after a short press animation.
        EXPECT_TRUE(QTest::qWaitFor([&] { return !dlg.isVisible(); }));
        EXPECT_EQ(dlg.result(), c.result) << c.key;
        EXPECT_FALSE(dlg.isVisible()) << c.key;
        const std::string written = ConfigBytes();
        if (c.result == QDialog::Rejected) {
            EXPECT_EQ(written, original) << c.key;
        } else {
            EXPECT_NE(written.find(OnDisk("colorbits=32\n")), std::string::npos) << written;
            EXPECT_NE(written.find(OnDisk("xmusic=0\n")), std::string::npos) << written;
        }
    }

    WriteConfig(original);
    CSettingsDlg dlg(DialogLanguage::kChinesePrc);
    ShowAndActivate(dlg);
    QTest::mouseClick(Control(dlg, 1003), Qt::LeftButton);
    QTest::mouseClick(Control(dlg, 2), Qt::LeftButton);
    EXPECT_EQ(dlg.result(), QDialog::Rejected);
    EXPECT_EQ(ConfigBytes(), original);
}

TEST_F(DialogTest, ContextMenuOpensTheAboutBox) {
    // Right-clicking a control reaches the dialog's menu, and so does
    // Shift+F10 pressed on the focused control.
    const std::function<void(CSettingsDlg&)> openers[] = {
        [](CSettingsDlg& dlg) {
            QWidget* target = Control(dlg, 1005);
            QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(2, 2),
                                    target->mapToGlobal(QPoint(2, 2)));
            QApplication::sendEvent(target, &event);
        },
        [](CSettingsDlg& dlg) { PressKey(dlg, Qt::Key_F10, Qt::ShiftModifier); },
    };
    for (std::size_t opener = 0; opener < std::size(openers); ++opener) {
        SCOPED_TRACE(opener);
        WriteConfig(OnDisk(kFileWithExtras));
        CSettingsDlg dlg(DialogLanguage::kChinesePrc);
        ShowAndActivate(dlg);
        const QString checkedBefore = CheckedControls(dlg);

        QString menuText;
        QString aboutCaption;
        std::vector<QString> aboutTexts;
        bool aboutHasPicture = false;
        bool aboutHasIcon = false;
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
                aboutCaption = about->windowTitle();
                for (const QLabel* label : about->findChildren<QLabel*>()) {
                    if (label->pixmap().isNull()) {
                        aboutTexts.push_back(label->text());
                    } else {
                        aboutHasPicture = true;
                    }
                }
                auto* ok = about->findChild<QPushButton*>(QStringLiteral("1"));
                ASSERT_NE(ok, nullptr);
                aboutTexts.push_back(ok->text());
                aboutHasIcon = !about->windowIcon().isNull();
                EXPECT_TRUE(ok->isDefault());
                QTest::keyClick(ok, Qt::Key_Return);
            });
            menu->setActiveAction(menu->actions()[0]);
            QTest::keyClick(menu, Qt::Key_Return);
        });
        openers[opener](dlg);
        // Runs the inspection now should no menu have opened.
        QCoreApplication::processEvents();

        EXPECT_EQ(menuText, QStringLiteral("settings(&A)..."));
        EXPECT_EQ(aboutCaption, QStringLiteral("settings"));
        ASSERT_EQ(aboutTexts.size(), 3u);
        EXPECT_EQ(aboutTexts[0], QString::fromUtf8("zarv_settings 1.0 版"));
        EXPECT_FALSE(aboutTexts[1].isEmpty());
        EXPECT_EQ(aboutTexts[2], QStringLiteral("&OK"));
        EXPECT_TRUE(aboutHasPicture);
        EXPECT_TRUE(aboutHasIcon);

        // Back to the settings dialog, unchanged.
        EXPECT_TRUE(dlg.isVisible());
        EXPECT_EQ(CheckedControls(dlg), checkedBefore);
        EXPECT_EQ(ConfigBytes(), OnDisk(kFileWithExtras));
    }
}

// OK that cannot save (a directory named config.ini) shows an error box
// owned by the dialog, in the dialog's language, and the dialog stays open
// with the player's choices until Escape.
TEST_F(DialogTest, FailedSaveIsToldInTheDialogsLanguageAndTheDialogStays) {
    std::filesystem::create_directory("config.ini");
    struct Case {
        DialogLanguage language;
        const char* sentence;  // up to the reason
    };
    for (const Case& c : {Case{DialogLanguage::kChinesePrc, "无法保存 config.ini"},
                          Case{DialogLanguage::kChineseTaiwan, "無法儲存 config.ini"}}) {
        CSettingsDlg dlg(c.language);
        ShowAndActivate(dlg);
        QTest::mouseClick(Control(dlg, 1003), Qt::LeftButton);
        const QString checked = CheckedControls(dlg);

        const MessageSeen onOk = SeeMessage([&] { PressKey(dlg, Qt::Key_Return); });
        EXPECT_EQ(onOk.owner, &dlg);
        EXPECT_EQ(onOk.title, dlg.windowTitle());
        EXPECT_EQ(onOk.icon, QMessageBox::Critical);
        EXPECT_TRUE(onOk.text.startsWith(QString::fromUtf8(c.sentence))) << onOk.text.toStdString();
        EXPECT_TRUE(dlg.isVisible());
        EXPECT_EQ(CheckedControls(dlg), checked);

        const MessageSeen full = SeeMessage([&] { dlg.ShowSaveError(ENOSPC); });
        EXPECT_EQ(full.text, QString::fromUtf8(c.sentence) + QString::fromUtf8("：") +
                                 QString::fromLocal8Bit(std::strerror(ENOSPC)));

        PressKey(dlg, Qt::Key_Escape);
        EXPECT_EQ(dlg.result(), QDialog::Rejected);
    }
    EXPECT_TRUE(std::filesystem::is_empty("config.ini"));
}
