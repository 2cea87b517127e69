// Builds a dialog's window from its template.
#pragma once

#include <QDialog>
#include <QIcon>
#include <QPixmap>

#include "app/qt/dialog_template.h"

// Creates the controls of `tmpl` on `dialog` with `font`, in the template's
// tab order, and gives the window the template's caption and size. Numbered
// controls get their number as object name; the radio buttons of a group
// form one exclusive QButtonGroup whose checked button is its one tab stop.
void CreateDialogControls(QDialog& dialog, const DialogTemplate& tmpl, const QFont& font);

// The window icon in the sizes window systems draw it at, 16 to 64 pixels
// (IDI_WINDOW is the 32 x 32 one), so that none scales a small one up.
QIcon ProgramIcon();

// An image file read by the reader its name's suffix names, without asking
// every image-format plugin to recognise it (a QPixmap or QIcon made from a
// file name loads each one, a millisecond and 400 KiB at start-up).
QPixmap ImageFromFile(const QString& path);
