#include "app/qt/dialog_template.h"

#include <QFontInfo>
#include <QFontMetrics>
#include <QLocale>
#include <array>
#include <cstdlib>

namespace {

using K = ControlKind;

// Template 102, Chinese (PRC).
constexpr std::array kSettingsPrc{
    ControlTemplate{1, K::kDefPushButton, "确定[&Y]", {31, 158, 50, 14}, false},
    ControlTemplate{2, K::kPushButton, "取消[&C]", {105, 158, 50, 14}, false},
    ControlTemplate{1003, K::kAutoRadioButton, "16位", {14, 56, 32, 10}, true},
    ControlTemplate{1004, K::kAutoRadioButton, "32位", {50, 56, 32, 10}, false},
    ControlTemplate{0, K::kGroupBox, "颜色", {7, 44, 79, 28}, false},
    ControlTemplate{0, K::kGroupBox, "音乐音效", {37, 7, 142, 28}, false},
    ControlTemplate{1005, K::kAutoCheckBox, "音效开关", {45, 19, 48, 10}, false},
    ControlTemplate{1006, K::kAutoCheckBox, "音乐开关", {118, 19, 48, 10}, false},
    ControlTemplate{0, K::kIcon, IDI_PICTURE, {9, 11, 21, 21}, false},
    ControlTemplate{0, K::kGroupBox, "垂直同步", {7, 82, 79, 28}, false},
    ControlTemplate{1008, K::kAutoRadioButton, "开", {14, 94, 24, 10}, true},
    ControlTemplate{1009, K::kAutoRadioButton, "关", {50, 94, 24, 10}, false},
    ControlTemplate{1012, K::kAutoCheckBox, "动态模糊", {118, 94, 48, 10}, false},
    ControlTemplate{0, K::kGroupBox, "特效", {101, 82, 78, 28}, false},
    ControlTemplate{1013, K::kAutoCheckBox, "软件光标", {118, 56, 48, 10}, false},
    ControlTemplate{0, K::kGroupBox, "鼠标", {101, 44, 78, 28}, false},
    ControlTemplate{0, K::kGroupBox, "分辨率", {7, 120, 172, 30}, false},
    ControlTemplate{1014, K::kAutoRadioButton, "800 x 600", {14, 132, 69, 12}, true},
    ControlTemplate{1015, K::kAutoRadioButton, "1024 x 768", {118, 133, 56, 10}, false},
};

// Template 102, Chinese (Taiwan).
constexpr std::array kSettingsTaiwan{
    ControlTemplate{1, K::kDefPushButton, "確定[&Y]", {31, 157, 50, 14}, false},
    ControlTemplate{2, K::kPushButton, "取消[&C]", {105, 157, 50, 14}, false},
    ControlTemplate{1003, K::kAutoRadioButton, "16位", {14, 56, 32, 10}, true},
    ControlTemplate{1004, K::kAutoRadioButton, "32位", {50, 56, 32, 10}, false},
    ControlTemplate{0, K::kGroupBox, "色彩", {7, 44, 79, 28}, false},
    ControlTemplate{0, K::kGroupBox, "音樂音效", {37, 7, 142, 28}, false},
    ControlTemplate{1005, K::kAutoCheckBox, "音效開關", {45, 19, 48, 10}, false},
    ControlTemplate{1006, K::kAutoCheckBox, "音樂開關", {118, 19, 48, 10}, false},
    ControlTemplate{0, K::kIcon, IDI_PICTURE, {10, 12, 20, 20}, false},
    ControlTemplate{0, K::kGroupBox, "垂直同步", {7, 82, 79, 28}, false},
    ControlTemplate{1008, K::kAutoRadioButton, "開", {14, 94, 24, 10}, true},
    ControlTemplate{1009, K::kAutoRadioButton, "關", {50, 94, 24, 10}, false},
    ControlTemplate{1012, K::kAutoCheckBox, "動態模糊", {118, 94, 48, 10}, false},
    ControlTemplate{0, K::kGroupBox, "特效", {101, 82, 78, 28}, false},
    ControlTemplate{1013, K::kAutoCheckBox, "軟體鼠標", {118, 56, 48, 10}, false},
    ControlTemplate{0, K::kGroupBox, "滑鼠", {101, 44, 78, 28}, false},
    ControlTemplate{0, K::kGroupBox, "解析度", {7, 121, 172, 27}, false},
    ControlTemplate{1014, K::kAutoRadioButton, "800 x 600", {14, 132, 52, 9}, true},
    ControlTemplate{1015, K::kAutoRadioButton, "1024 x 768", {118, 133, 48, 8}, false},
};

// Template 100.
constexpr std::array kAbout{
    ControlTemplate{0, K::kIcon, IDI_PICTURE, {11, 13, 20, 20}, false},
    ControlTemplate{0, K::kText, "zarv_settings 1.0 版", {40, 10, 119, 8}, true},
    ControlTemplate{0, K::kText, "游戏画面与声音设置工具", {40, 25, 119, 8}, true},
    ControlTemplate{1, K::kDefPushButton, "&OK", {178, 7, 50, 14}, true},
};

constexpr DialogTemplate kSettingsPrcTemplate{
    IDD_SETTINGS_DIALOG, "环境配置", {186, 179}, kSettingsPrc};
constexpr DialogTemplate kSettingsTaiwanTemplate{
    IDD_SETTINGS_DIALOG, "設定程式", {186, 178}, kSettingsTaiwan};
constexpr DialogTemplate kAboutTemplate{IDD_ABOUTBOX, "settings", {235, 55}, kAbout};

// Windows' MulDiv for the small positive figures of a template: rounds halves up.
int MulDivRounded(int value, int numerator, int denominator) {
    return (value * numerator + denominator / 2) / denominator;
}

}  // namespace

DialogLanguage DialogLanguageForLocale(const QString& localeName) {
    // "zh_TW.UTF-8@euro" -> "zh_TW"
    QString name = localeName.section(QLatin1Char('.'), 0, 0).section(QLatin1Char('@'), 0, 0);
    if (!name.startsWith(QLatin1String("zh"))) {
        return DialogLanguage::kChinesePrc;
    }
    const QLocale locale(name);
    return locale.language() == QLocale::Chinese &&
                   locale.script() == QLocale::TraditionalChineseScript
               ? DialogLanguage::kChineseTaiwan
               : DialogLanguage::kChinesePrc;
}

DialogLanguage DialogLanguageFromEnvironment() {
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value != nullptr && *value != '\0') {
            return DialogLanguageForLocale(QString::fromLocal8Bit(value));
        }
    }
    return DialogLanguage::kChinesePrc;
}

const DialogTemplate& SettingsDialogTemplate(DialogLanguage language) {
    return language == DialogLanguage::kChineseTaiwan ? kSettingsTaiwanTemplate
                                                      : kSettingsPrcTemplate;
}

const DialogTemplate& AboutDialogTemplate() { return kAboutTemplate; }

QString SaveErrorText(DialogLanguage language, const QString& reason) {
    QString text = QString::fromUtf8(
        language == DialogLanguage::kChineseTaiwan ? "無法儲存 config.ini" : "无法保存 config.ini");
    return text + (reason.isEmpty() ? QString::fromUtf8("。") : QString::fromUtf8("：") + reason);
}

QFont DialogFont(DialogLanguage language) {
    QFont font(QString::fromLatin1(language == DialogLanguage::kChineseTaiwan ? "Noto Sans CJK TC"
                                                                              : "Noto Sans CJK SC"),
               9);
    font.setStyleHint(QFont::SansSerif);
    return font;
}

DialogUnits::DialogUnits(const QFont& font) {
    const QFontMetrics metrics(font);
    const int letters = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    m_baseX = (letters / 26 + 1) / 2;
    // The em, not the line height: CJK faces carry a tall line gap that
    // would stretch the template's shape.
    m_baseY = QFontInfo(font).pixelSize();
}

QRect DialogUnits::ToPixels(const QRect& rect) const {
    return {MulDivRounded(rect.x(), m_baseX, 4), MulDivRounded(rect.y(), m_baseY, 8),
            MulDivRounded(rect.width(), m_baseX, 4), MulDivRounded(rect.height(), m_baseY, 8)};
}

QSize DialogUnits::ToPixels(const QSize& size) const {
    return {MulDivRounded(size.width(), m_baseX, 4), MulDivRounded(size.height(), m_baseY, 8)};
}
