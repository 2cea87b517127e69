#include "app/qt/dialog_template.h"

#include <QFontInfo>
#include <QFontMetrics>
#include <QLocale>

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

// The tables are generated from the same script as the language list, so
// every template and string asked for here exists.
const DialogTemplate& SettingsDialogTemplate(DialogLanguage language) {
    return *FindDialogTemplate(IDD_SETTINGS_DIALOG, static_cast<int>(language));
}

const DialogTemplate& AboutDialogTemplate() {
    return *FindDialogTemplate(IDD_ABOUTBOX, kLanguageChinesePrc);
}

QString ResourceString(int id, DialogLanguage language) {
    return QString::fromUtf8(FindString(id, static_cast<int>(language)));
}

QFont DialogFont(DialogLanguage language) {
    QFont font(ResourceString(IDS_DIALOG_FONT, language), 9);
    font.setStyleHint(QFont::SansSerif);
    return font;
}

QSize DialogBaseUnits(const QFont& font) {
    const int letters = QFontMetrics(font).horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    // The em, not the line height: CJK faces carry a tall line gap that
    // would stretch the template's shape.
    return {(letters / 26 + 1) / 2, QFontInfo(font).pixelSize()};
}

QRect DialogUnitsToPixels(const QRect& units, QSize base) {
    // Windows' MulDiv for the small positive figures of a template: rounds halves up.
    const auto x = [&](int value) { return (value * base.width() + 2) / 4; };
    const auto y = [&](int value) { return (value * base.height() + 4) / 8; };
    return {x(units.x()), y(units.y()), x(units.width()), y(units.height())};
}
