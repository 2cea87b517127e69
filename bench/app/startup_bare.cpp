// The yardstick: the least a Qt Widgets program needs to show a modal dialog
// with a line of text and a button, ending once it is shown. The text is
// argv[1], Chinese by default, so that both programs load a CJK font.
#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "close_when_shown.h"

int main(int argc, char** argv) {
    const QString text = QString::fromLocal8Bit(argc > 1 ? argv[1] : "音乐开关");
    QApplication app(argc, argv);
    CloseWhenShown closer;
    app.installEventFilter(&closer);
    QDialog dialog;
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(new QLabel(text, &dialog));
    auto* button = new QPushButton(QStringLiteral("OK"), &dialog);
    QObject::connect(button, &QPushButton::clicked, &dialog, &QDialog::accept);
    layout->addWidget(button);
    dialog.exec();
    return 0;
}
