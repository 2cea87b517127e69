// Renders the dialogs to PNG files for the documentation:
//   qt_dialog_screenshot settings zh_CN out.png | about out.png
// The dialog runs on the stand-in probe (a 1024-wide mode, 64 MiB) in the
// current directory, so run it in a scratch folder.
#include <QApplication>
#include <QPainter>
#include <QPixmap>
#include <QStyle>
#include <cstdio>
#include <cstring>

#include "app/qt/about_dlg.h"
#include "app/qt/settings_dlg.h"
#include "tests/support/fake_probe.h"

namespace {

// The window with a plain caption strip above it (there is no window
// manager to draw one): the icon and the caption text.
QPixmap Framed(QWidget& window) {
    const QPixmap body = window.grab();
    const int captionHeight = 26;
    QPixmap framed(body.width() + 2, body.height() + captionHeight + 1);
    framed.fill(QColor(0x30, 0x3a, 0x4a));
    QPainter painter(&framed);
    painter.drawPixmap(1, captionHeight, body);
    const QPixmap icon = window.windowIcon().pixmap(20, 20);
    painter.drawPixmap(5, (captionHeight - icon.height()) / 2, icon);
    painter.setPen(Qt::white);
    painter.setFont(window.font());
    painter.drawText(QRect(30, 0, framed.width() - 34, captionHeight),
                     Qt::AlignVCenter | Qt::AlignLeft, window.windowTitle());
    return framed;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const bool settings = argc == 4 && std::strcmp(argv[1], "settings") == 0;
    const bool about = argc == 3 && std::strcmp(argv[1], "about") == 0;
    if (!settings && !about) {
        std::fprintf(stderr, "usage: %s settings LOCALE OUT.png | about OUT.png\n", argv[0]);
        return 2;
    }
    ResetFakeProbe();
    bool saved = false;
    if (settings) {
        CSettingsDlg dlg(DialogLanguageFor({QString::fromLocal8Bit(argv[2])}));
        SettingsMessage message;
        LoadSettings(dlg, message);
        dlg.show();
        QApplication::processEvents();
        saved = Framed(dlg).save(QString::fromLocal8Bit(argv[3]));
    } else {
        CAboutDlg dlg;
        dlg.show();
        QApplication::processEvents();
        saved = Framed(dlg).save(QString::fromLocal8Bit(argv[2]));
    }
    return saved ? 0 : 1;
}
