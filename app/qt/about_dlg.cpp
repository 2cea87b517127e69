#include "app/qt/about_dlg.h"

#include <QAbstractButton>

#include "app/qt/dialog_controls.h"

CAboutDlg::CAboutDlg(QWidget* pParent) : QDialog(pParent) {
    CreateDialogControls(*this, AboutDialogTemplate(), DialogFont(DialogLanguage::kChinesePrc));
    setWindowIcon(ProgramIcon());
    connect(findChild<QAbstractButton*>(QString::number(IDOK)), &QAbstractButton::clicked, this,
            &QDialog::accept);
}
