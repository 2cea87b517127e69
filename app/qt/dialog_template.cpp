#include "app/qt/dialog_template.h"

#include <QFontInfo>
#include <QFontMetrics>
#include <QLocale>

namespace {

// Windows' MulDiv for the small positive figures of a template: rounds halves up.
int MulDivRounded(int value, int numerator, int denominator) {
    return (value * numerator + denominator / 2) / denominator;
}

}  // namespace

DialogLanguage DialogLanguageFor(const QStringList& uiLanguages) {
    for (const QString& name : uiLanguages) {
        const QLocale locale(name);
        if (locale.language() == QLocale::Chinese) {
            return locale.script() == QLocale::TraditionalChineseScript
                       ? DialogLanguage::kChineseTaiwan
                       : DialogLanguage::kChinesePrc;
        }
    }
    return DialogLanguage::kChinesePrc;
}

int ResourceLanguage(DialogLanguage language) {
    return language == DialogLanguage::kChineseTaiwan ? kLanguageChineseTaiwan
                                                      : kLanguageChinesePrc;
}

// The tables are generated from the same script as the language list, so
// every template and string asked for here exists.
const DialogTemplate& SettingsDialogTemplate(DialogLanguage language) {
    return *FindDialogTemplate(IDD_SETTINGS_DIALOG, ResourceLanguage(language));
}

const DialogTemplate& AboutDialogTemplate() {
    return *FindDialogTemplate(IDD_ABOUTBOX, kLanguageChinesePrc);
}

QString ResourceString(int id, DialogLanguage language) {
    return QString::fromUtf8(FindString(id, ResourceLanguage(language)));
}

QFont DialogFont(DialogLanguage language) {
    QFont font(ResourceString(IDS_DIALOG_FONT, language), 9);
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

QRect DialogUnits::ToPixels(const ControlTemplate& control) const {
    return {MulDivRounded(control.x, m_baseX, 4), MulDivRounded(control.y, m_baseY, 8),
            MulDivRounded(control.cx, m_baseX, 4), MulDivRounded(control.cy, m_baseY, 8)};
}

QSize DialogUnits::ToPixels(const DialogTemplate& dialog) const {
    return {MulDivRounded(dialog.cx, m_baseX, 4), MulDivRounded(dialog.cy, m_baseY, 8)};
}
